// Fuzz target for the profile file: any text as the file, read by section
// and key, as a list of key names, and rewritten with one key changed.
//
// Input: byte 0 is the caller's buffer size (1-256), then the section and
// the key, each ended by a line feed; the rest is the file.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "console/settings.h"
#include "platform/platform.h"

namespace {

const int kGuard = 16;

// Nothing may be written past the size the caller gave.
void checkGuard(const char* buf, int size) {
  for (int i = size; i < size + kGuard; ++i)
    if (buf[i] != '\x5A') std::abort();
}

std::string takeLine(const std::uint8_t*& in, std::size_t& size) {
  std::string out;
  while (size > 0 && *in != '\n') {
    out += static_cast<char>(*in++);
    --size;
  }
  if (size > 0) {
    ++in;
    --size;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* in, std::size_t size) {
  static char path[1024];
  if (!path[0] && !plat_temp_name(nullptr, path, sizeof path)) std::abort();
  if (size < 1) return 0;
  const int room = 1 + in[0];
  ++in;
  --size;
  const std::string section = takeLine(in, size);
  const std::string key = takeLine(in, size);
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return 0;
  std::fwrite(in, 1, size, f);
  std::fclose(f);

  char buf[256 + 1 + kGuard];
  std::memset(buf, 0x5A, sizeof buf);
  int n = ODB_GetPrivateProfileString(section.c_str(), key.c_str(), "dflt", buf, room, path);
  checkGuard(buf, room);
  if (n < 0 || n >= room || std::memchr(buf, '\0', static_cast<std::size_t>(room)) == nullptr) std::abort();

  std::memset(buf, 0x5A, sizeof buf);
  n = ODB_GetPrivateProfileString(section.c_str(), nullptr, "", buf, room, path);
  checkGuard(buf, room);
  if (n < 0 || n > room) std::abort();

  ODB_PutPrivateProfileString(section.c_str(), key.c_str(), "value", path);
  std::remove(path);
  return 0;
}
