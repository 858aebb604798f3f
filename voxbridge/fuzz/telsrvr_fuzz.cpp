// Fuzz target for telsrvr.ini: any text through the line reader, then the
// counts and the name check built on what it found.
#include <cstdint>
#include <cstdio>
#include <string>

#include "voxbridge/config.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* in, std::size_t size) {
  vox::configResetForTests();
  vox::configParseTextForTests(std::string(reinterpret_cast<const char*>(in), size));
  // With no board the name check would read the real file: not wanted here.
  const int boards = vox::configBoardCount();
  for (int b = 1; b <= boards && b < 4; ++b) {
    const int lines = vox::configLineCount(b);
    char name[32];
    std::snprintf(name, sizeof name, "dxxxB%dC%d", b, lines);
    vox::configCheckDeviceName(name);
    vox::configServer(b);
  }
  return 0;
}
