// The embedded server: the process's own switch, reached without sockets.
#include "csta32/internal.h"
#include "embedded/switch_host.h"
#include "simulator/telsim.h"

namespace csta32 {

SessionHost& embeddedHost() {
  // Never destroyed: an exit handler registered before the first stream
  // opened runs after static objects made later are gone, and may still
  // close or abort its stream.
  static embedded::SwitchHost* host = new embedded::SwitchHost(telsim::embeddedSwitch);
  return *host;
}

namespace {
// Linking this transport is what makes "embedded" servers reachable: the
// build links its archive whole, so this runs in every program that has it.
const bool installed = (installEmbeddedHost(embeddedHost()), true);
}  // namespace

}  // namespace csta32
