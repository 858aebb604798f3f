#include "telephony/ask.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "telephony/state.h"

const char* usePrimaryDevice() {
  if (!primaryDevice) primaryDevice = alloc_str(defaultDeviceString);
  return primaryDevice;
}

const char* useCallee() {
  if (!mkCallee) mkCallee = alloc_str(usePrimaryDevice());
  return mkCallee;
}

ConnectionID_t connectionOf(std::int32_t callID, const char* device) {
  ConnectionID_t c;
  std::memset(&c, 0, sizeof c);
  c.callID = callID;
  for (std::size_t i = 0; device && i < sizeof c.deviceID && device[i]; ++i)
    c.deviceID[i] = device[i];
  c.devIDType = STATIC_ID;
  return c;
}

bool inputEnded() { return i_noMoreInput(); }

bool askDevice(const char* prompt, char** variable) {
  char* answer = get_word(prompt, *variable, false);
  if (inputEnded()) {
    errfree(answer);
    return false;
  }
  // No answer to a question never answered before: still nothing chosen.
  if (!*variable && !*answer) {
    errfree(answer);
    return true;
  }
  errfree(*variable);
  *variable = answer;
  return true;
}

bool askCallID(const char* prompt, std::int32_t* variable) {
  // Offered as the 32 bits it has, not sign-extended to a wider long.
  const long answer =
      get_hexNumber(prompt, static_cast<long>(static_cast<std::uint32_t>(*variable)));
  if (inputEnded()) return false;
  // Call IDs are 32 bits however wide long is; the typed digits keep their bits.
  *variable = static_cast<std::int32_t>(static_cast<std::uint32_t>(answer));
  return true;
}

void complain(const char* message) {
  std::fputs(message, stdout);
  std::fflush(stdout);
}
