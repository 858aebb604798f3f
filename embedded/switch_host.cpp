#include "embedded/switch_host.h"

#include <utility>

#include "simulator/telsim.h"

namespace embedded {

SwitchHost::SwitchHost(telsim::Switch& sw) : sw_(&sw) {}
SwitchHost::SwitchHost(telsim::Switch& (*find)()) : find_(find) {}

telsim::Switch& SwitchHost::target() { return sw_ ? *sw_ : find_(); }

std::uint32_t SwitchHost::openSession(csta32::FrameSink deliver) {
  return target().openSession(std::move(deliver));
}

void SwitchHost::onFrame(std::uint32_t session, const std::uint8_t* data, std::size_t len) {
  target().onFrame(session, data, len);
}

void SwitchHost::closeSession(std::uint32_t session) { target().closeSession(session); }

}  // namespace embedded
