// TSAPI client library: public declarations used by the applications.
#pragma once

#include <cstdint>

typedef std::int32_t RetCode_t;
typedef char ServerID_t[49];
typedef enum StreamType_t {
  ST_CSTA = 1,
  ST_OAM = 2,
  ST_DIRECTORY = 3,
  ST_NMSRV = 4
} StreamType_t;

// Called once per configured server name; returning non-zero stops the walk.
typedef bool (*EnumServerNamesCB)(char* serverName, unsigned long lParam);

RetCode_t acsEnumServerNames(StreamType_t streamType, EnumServerNamesCB callback,
                             unsigned long lParam);
