#include "csta32/include/csta32.h"

#include <cstring>

// The server directory. With nothing configured there is one server,
// "TELVANIX", served by the embedded simulator.
RetCode_t acsEnumServerNames(StreamType_t streamType, EnumServerNamesCB callback,
                             unsigned long lParam) {
  if (!callback) return -2;
  if (streamType != ST_CSTA) return 0;
  char name[sizeof(ServerID_t)];
  std::strncpy(name, "TELVANIX", sizeof name - 1);
  name[sizeof name - 1] = '\0';
  callback(name, lParam);
  return 0;
}
