#include "display/lines.h"

#include <cstddef>

#include "console/output.h"
#include "console/settings.h"
#include "display/names.h"

namespace {

bool timestampsOn = false;

const int DEVICE_CHARS = 64;  // DeviceID_t, possibly without a terminator

const char* text(const char* s) { return s ? s : ""; }

}  // namespace

bool o_enableTimestamps(bool on) {
  bool previous = timestampsOn;
  timestampsOn = on;
  return previous;
}

void o_firstLineStart(const char* comnt, bool verbose) {
  if (!verbose) return;
  o_lstring(text(comnt), 0, false);
  if (timestampsOn) o_lstring(timestamp(), 0, true);
  o_lstring("", 0, true);  // a separating blank unless the line has one
}

void o_nextLine(const char* comnt, bool verbose) {
  if (!verbose) return;
  o_newline(0);
  o_lstring(comnt, 0, false);
}

void o_endLine(bool verbose) {
  if (verbose) o_newline(0);
}

// Built in pieces on the stack: the event loop calls this for every device
// of every event.
void o_serverText(const char* text, std::size_t max, int column, bool flag) {
  if (!text) return;
  char piece[128];
  std::size_t n = 0;
  bool first = true;
  const auto put = [&]() {
    o_maxLstring(piece, first ? column : 0, first && flag, static_cast<int>(n));
    first = false;
    n = 0;
  };
  for (std::size_t i = 0; i < max && text[i]; ++i) {
    if (n + 4 > sizeof piece) put();
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c == 0x7F) {
      static const char hex[] = "0123456789ABCDEF";
      piece[n++] = '\\';
      piece[n++] = 'x';
      piece[n++] = hex[c >> 4];
      piece[n++] = hex[c & 15];
    } else {
      piece[n++] = static_cast<char>(c);
    }
  }
  if (first || n > 0) put();
}

void o_deviceID(const char* deviceID, int column, bool flag) {
  o_serverText(deviceID, DEVICE_CHARS, column, flag);
}

void o_connectionID(const ConnectionID_t* connID, int column, bool flag) {
  if (!connID) return;
  o_deviceID(connID->deviceID, column, flag);
  if (connID->callID != 0) {
    o_lstring("..", 0, false);
    o_lnumber(connID->callID, 0, false, 16);
  }
  if (connID->devIDType == DYNAMIC_ID) o_lstring(":D", 0, false);
}

bool o_extendedDeviceID(const ExtendedDeviceID_t* deviceID, int column, bool flag) {
  if (!deviceID || deviceID->deviceIDStatus != ID_PROVIDED) return false;
  o_deviceID(deviceID->deviceID, column, flag);
  if (deviceID->deviceIDType != DEVICE_IDENTIFIER)
    o_lstring(getDevIDtypeName(deviceID->deviceIDType), 0, true);
  return true;
}
