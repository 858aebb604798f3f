// spanbridge: the digital-interface, conferencing and call-control entry
// points a voice application loads beside voxbridge. Every export takes the
// C calling convention and returns a 32-bit value; those without a
// declaration of their own take any arguments.
#pragma once

#include <cstdint>

extern "C" {
// Always refuses (-1): no digital-interface device can be opened.
std::int32_t dt_open(const char* name, std::int32_t flags);
std::int32_t dt_close(std::int32_t device);

#define EXPORT_ROW(ordinal, name, kind) SPANBRIDGE_DECLARE_##kind(name)
#define SPANBRIDGE_DECLARE_OWN(name)
#define SPANBRIDGE_DECLARE_LOG_NAME(name) std::int32_t name(...);
#define SPANBRIDGE_DECLARE_RELEASE_CALL(name) std::int32_t name(...);
#define SPANBRIDGE_DECLARE_SHARED(name) std::int32_t name(...);
#include "exports.h"
#undef EXPORT_ROW
#undef SPANBRIDGE_DECLARE_OWN
#undef SPANBRIDGE_DECLARE_LOG_NAME
#undef SPANBRIDGE_DECLARE_RELEASE_CALL
#undef SPANBRIDGE_DECLARE_SHARED
}
