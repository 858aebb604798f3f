// runbridge: the standard-runtime entry points a voice application loads
// beside voxbridge. Every export takes the C calling convention and returns
// a 32-bit value (the two text functions a pointer); those without a
// declaration of their own take any arguments.
#pragma once

#include <cstdint>

extern "C" {
// Boards of a device class: voxbridge's board count for "Voice" (exact
// case), 0 for any other class or none. Returns 0, or -1 without a place
// for the count.
std::int32_t sr_getboardcnt(const char* deviceClass, std::int32_t* count);
// Lines of a board device; 0 for a channel or an unknown handle.
std::int32_t ATDV_SUBDEVS(std::int32_t device);
// The device's last error; -1 for an unknown handle.
std::int32_t ATDV_LASTERR(std::int32_t device);
// No message or name is kept: both give an empty text, never null.
const char* ATDV_ERRMSGP(std::int32_t device);
const char* ATDV_NAMEP(std::int32_t device);

#define EXPORT_ROW(ordinal, name, kind) RUNBRIDGE_DECLARE_##kind(name)
#define RUNBRIDGE_DECLARE_OWN(name)
#define RUNBRIDGE_DECLARE_SHARED(name) std::int32_t name(...);
#include "exports.h"
#undef EXPORT_ROW
#undef RUNBRIDGE_DECLARE_OWN
#undef RUNBRIDGE_DECLARE_SHARED
}
