// A switch served in this process: the client library's sessions handed
// straight to a telsim::Switch, without sockets. The embedded transport and
// every test or benchmark that puts a switch of its own under a name use it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "csta32/internal.h"

namespace telsim {
class Switch;
}

namespace embedded {

class SwitchHost : public csta32::SessionHost {
 public:
  explicit SwitchHost(telsim::Switch& sw);
  // The switch is looked up at each use, so that one started on first use
  // (the process's own) is not started before a stream needs it.
  explicit SwitchHost(telsim::Switch& (*find)());

  std::uint32_t openSession(csta32::FrameSink deliver) override;
  void onFrame(std::uint32_t session, const std::uint8_t* data, std::size_t len) override;
  void closeSession(std::uint32_t session) override;

  telsim::Switch& target();

 private:
  telsim::Switch* sw_ = nullptr;
  telsim::Switch& (*find_)() = nullptr;
};

}  // namespace embedded
