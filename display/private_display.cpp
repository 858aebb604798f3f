// Placeholder until the private message formatters are written: the event's
// own header line is all that shows of a private message for now.
#include "display/private_display.h"

void o_privateMessage(const PrivateData_t* message, const char* prefix, int indent) {
  (void)message;
  (void)prefix;
  (void)indent;
}
