// The embedded server: the process's own switch, reached without sockets.
#include "csta32/internal.h"
#include "simulator/telsim.h"

namespace csta32 {

namespace {

class EmbeddedHost : public SessionHost {
 public:
  std::uint32_t openSession(FrameSink deliver) override {
    return telsim::embeddedSwitch().openSession(std::move(deliver));
  }
  void onFrame(std::uint32_t session, const std::uint8_t* data, std::size_t len) override {
    telsim::embeddedSwitch().onFrame(session, data, len);
  }
  void closeSession(std::uint32_t session) override {
    telsim::embeddedSwitch().closeSession(session);
  }
};

}  // namespace

SessionHost& embeddedHost() {
  // Never destroyed: an exit handler registered before the first stream
  // opened runs after static objects made later are gone, and may still
  // close or abort its stream.
  static EmbeddedHost* host = new EmbeddedHost;
  return *host;
}

namespace {
// Linking this transport is what makes "embedded" servers reachable: the
// build links its archive whole, so this runs in every program that has it.
const bool installed = (installEmbeddedHost(embeddedHost()), true);
}  // namespace

}  // namespace csta32
