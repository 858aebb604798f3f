// Locking: one mutex guards the table; it is held only for a table operation
// and, through withVoiceFile, while a play copies one segment.
#include "voxbridge/voicefiles.h"

#include <memory>
#include <mutex>
#include <vector>

#include "platform/fileops.h"
#include "platform/platform.h"
#include "voxbridge/config.h"
#include "voxbridge/debuglog.h"

namespace vox {

namespace {

std::mutex& tableMutex() {
  static std::mutex* m = new std::mutex;
  return *m;
}
std::vector<std::unique_ptr<VoiceFileEntry>>& table() {
  static auto* t = new std::vector<std::unique_ptr<VoiceFileEntry>>;
  return *t;
}

VoiceFileEntry* lookup(int handle) {
  auto& t = table();
  if (handle < 0 || static_cast<std::size_t>(handle) >= t.size()) return nullptr;
  return t[static_cast<std::size_t>(handle)].get();
}

}  // namespace

int voiceFileOpen(const char* name, int flags) {
  logLine("dx_fileopen");
  if (!name) return -1;
  std::string full = name[0] == '\\' ? configDrive() + name : std::string(name);
  std::unique_ptr<VoiceFileEntry> entry(new VoiceFileEntry);
  entry->path = kDosDevices + full;
  entry->flags = static_cast<std::uint32_t>(flags);
  std::string path = entry->path;
  int handle;
  {
    std::lock_guard<std::mutex> lock(tableMutex());
    auto& t = table();
    std::size_t slot = 0;
    while (slot < t.size() && t[slot]) ++slot;
    if (slot == t.size()) t.emplace_back();
    t[slot] = std::move(entry);
    handle = static_cast<int>(slot);
  }
  logLine("dx_fileopen: %s", path.c_str());
  return handle;
}

int voiceFileClose(int handle) {
  logLine("dx_fileclose");
  std::lock_guard<std::mutex> lock(tableMutex());
  auto& t = table();
  if (!lookup(handle)) return 87;
  t[static_cast<std::size_t>(handle)].reset();
  if (static_cast<std::size_t>(handle) + 1 == t.size())
    while (!t.empty() && !t.back()) t.pop_back();
  return 0;
}

int voiceFileSeek(int handle, int offset, int origin) {
  logLine("dx_fileseek(%d, %d, %d)", handle, offset, origin);
  std::lock_guard<std::mutex> lock(tableMutex());
  VoiceFileEntry* e = lookup(handle);
  if (!e) return -1;
  switch (origin) {
    case 0: e->position = offset; break;
    case 1: e->position = static_cast<std::int32_t>(static_cast<std::uint32_t>(e->position) +
                                                    static_cast<std::uint32_t>(offset));
      break;
    case 2: {
      char local[1024];
      long long size = -1;
      if (plat_map_path(e->path.c_str() + kDosDevicesLength, local, sizeof local))
        size = plat_file_size(local);
      e->position = size < 0 ? offset
                             : static_cast<std::int32_t>(static_cast<std::uint32_t>(size) +
                                                         static_cast<std::uint32_t>(offset));
      break;
    }
    default: break;
  }
  return e->position;
}

bool withVoiceFile(int handle, const std::function<void(const VoiceFileEntry&)>& fn) {
  std::lock_guard<std::mutex> lock(tableMutex());
  VoiceFileEntry* e = lookup(handle);
  if (!e) return false;
  fn(*e);
  return true;
}

std::size_t voiceFileSlots() {
  std::lock_guard<std::mutex> lock(tableMutex());
  return table().size();
}

}  // namespace vox
