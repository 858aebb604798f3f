// What both companion tests share: the libraries loaded from the stage
// folder beside the test program (voxbridge with them), voxbridge's log
// file read back line by line, and a few voxbridge calls to set up devices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace bridgetest {

// Any-argument entry point, the type of every export without one of its own.
using AnyEntry = std::int32_t (*)(...);

// The log voxbridge writes: C:\temp\kqkvrlog.txt, which must exist before the
// process logs its first line. The first use creates it empty.
class BridgeLog {
 public:
  static BridgeLog& get();
  // Where the log ends now.
  std::size_t mark() const;
  // The lines written after `mark`, without their "\r\n".
  std::vector<std::string> since(std::size_t mark) const;

 private:
  BridgeLog();
  std::string path_;
};

// A library from the stage folder (the companions beside voxbridge); the
// test fails when it cannot be loaded.
void* staged(const std::string& base);
// An export of voxbridge by name, else by its ordinal.
void* voxbridge_export(const char* name, int ordinal);
// Opens a device in voxbridge ("dxxxB1", "dxxxB1C0"); -1 when refused.
std::int32_t open_device(const char* name);
std::int32_t voxbridge_board_count();

}  // namespace bridgetest
