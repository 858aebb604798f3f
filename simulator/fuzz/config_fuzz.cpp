// Fuzz target for the switch's configuration text: any bytes on top of the
// built-in configuration. A refusal must say why; an accepted text must
// leave a configuration whose devices all have a port name.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "simulator/telsim.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* in, std::size_t size) {
  static const telsim::Config base = telsim::defaultConfig();
  telsim::Config cfg = base;
  std::string error;
  const std::string text(reinterpret_cast<const char*>(in), size);
  if (!telsim::parseConfig(text, cfg, &error)) {
    if (error.empty()) std::abort();
    return 0;
  }
  for (const telsim::DeviceConfig& d : cfg.devices)
    if (d.physName.empty()) std::abort();
  return 0;
}
