#include "companions/test_bridge_fixture.h"

#include <gtest/gtest.h>

#include "companions/test_loader.h"
#include "platform/platform.h"

namespace bridgetest {

BridgeLog& BridgeLog::get() {
  static BridgeLog log;
  return log;
}

BridgeLog::BridgeLog() {
  char path[1024];
  if (!plat_map_path("C:\\temp\\kqkvrlog.txt", path, sizeof path)) {
    ADD_FAILURE() << "no local name for the voxbridge log";
    return;
  }
  path_ = path;
  make_dir(path_.substr(0, path_.find_last_of("/\\")));
  plat_handle h = plat_open(path, PLAT_OPEN_WRITE_NEW);
  if (h == PLAT_INVALID_HANDLE) {
    ADD_FAILURE() << "cannot create " << path_;
    return;
  }
  plat_close(h);
}

std::size_t BridgeLog::mark() const {
  std::string text;
  read_file(path_, &text);
  return text.size();
}

std::vector<std::string> BridgeLog::since(std::size_t mark) const {
  std::string text;
  std::vector<std::string> lines;
  if (!read_file(path_, &text) || text.size() < mark) return lines;
  std::size_t at = mark;
  while (at < text.size()) {
    std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      lines.push_back(text.substr(at) + "<no line end>");
      break;
    }
    lines.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return lines;
}

void* staged(const std::string& base) {
  // The log file must be there before anything of voxbridge runs.
  BridgeLog::get();
  std::string path = path_join(stage_dir(true), library_file(base));
  std::string error;
  void* lib = load_library(path, &error);
  EXPECT_NE(lib, nullptr) << path << ": " << error;
  return lib;
}

void* voxbridge_export(const char* name, int ordinal) {
  void* lib = staged("voxbridge");
  if (!lib) return nullptr;
  void* fn = find_by_name(lib, name);
  if (!fn) fn = find_by_ordinal(lib, ordinal);
  EXPECT_NE(fn, nullptr) << "voxbridge exports no " << name;
  return fn;
}

std::int32_t open_device(const char* name) {
  auto dxOpen = reinterpret_cast<std::int32_t (*)(const char*, std::int32_t)>(
      voxbridge_export("dx_open", 119));
  return dxOpen ? dxOpen(name, 0) : -1;
}

std::int32_t voxbridge_board_count() {
  auto countBoards =
      reinterpret_cast<std::int32_t (*)()>(voxbridge_export("CountBoards", 302));
  return countBoards ? countBoards() : -1;
}

}  // namespace bridgetest
