// libFuzzer target for private messages as they arrive: any bytes of private
// data, any msgType, through the dispatcher's private branches (reply caches,
// repeated plays, the automatic stop) and the private display (built by
// cmake/fuzz.cmake).
//
// Input: byte 0 picks the event (even: a PRIVATE_STATUS report, odd: an
// ESCAPE_SVC_CONF reply), byte 1 the dispatcher's play state (bit 0: stop
// plays on digits, bits 1-3: plays left), byte 2 whether the vendor is ours
// (anything else: the next 32 bytes are the vendor); the rest is the data
// after the header's length field, at most what the event loop's buffer holds.
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "console/input.h"
#include "console/output.h"
#include "display/event.h"
#include "display/private_display.h"
#include "telephony/events.h"
#include "telephony/private_commands.h"
#include "telephony/state.h"

namespace {

struct PrivateBuffer {
  PrivateData_t data;
  char room[PRIVATE_BUFFER_SIZE];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* in, std::size_t size) {
  static FILE* sink = std::fopen("/dev/null", "w");
  if (sink) set_o_file(sink);
  if (size < 3) return 0;
  const bool reply = in[0] & 1;
  autoStopPlay = in[1] & 1;
  playCount = (in[1] >> 1) & 7;
  const bool ours = in[2] == 0;
  in += 3;
  size -= 3;

  static PrivateBuffer pvt;
  std::memset(&pvt, 0, sizeof pvt);
  if (ours) {
    std::memcpy(pvt.data.vendor, "Telvanix Version 1.0", 20);
  } else {
    const std::size_t n = size < 32 ? size : 32;
    std::memcpy(pvt.data.vendor, in, n);
    in += n;
    size -= n;
  }
  const std::size_t n = size < PRIVATE_BUFFER_SIZE ? size : PRIVATE_BUFFER_SIZE;
  std::memcpy(pvt.data.data, in, n);
  pvt.data.length = static_cast<std::uint16_t>(n);

  CSTAEvent_t event;
  std::memset(&event, 0, sizeof event);
  event.eventHeader.eventClass = reply ? CSTACONFIRMATION : CSTAUNSOLICITED;
  event.eventHeader.eventType = reply ? CSTA_ESCAPE_SVC_CONF : CSTA_PRIVATE_STATUS;
  event.event.cstaConfirmation.invokeID = 1;
  handleEvent(&event, n ? &pvt.data : nullptr);
  o_event(&event, n ? &pvt.data : nullptr, true, "! ");
  o_newline(0);
  return 0;
}
