/* spanbridge: the digital-interface, conferencing and call-control entry
 * points a voice application loads beside voxbridge. Every export takes the
 * C calling convention and returns a 32-bit value; those without a
 * declaration of their own take any arguments. */
#ifndef SPANBRIDGE_H
#define SPANBRIDGE_H

#include <stdint.h>

/* Exports that take whatever arguments their callers pass. */
#ifdef __cplusplus
#define SPANBRIDGE_ANYARGS ...
extern "C" {
#else
#define SPANBRIDGE_ANYARGS
#endif

/* Always refuses (-1): no digital-interface device can be opened. */
int32_t dt_open(const char* name, int32_t flags);
int32_t dt_close(int32_t device);

#define EXPORT_ROW(ordinal, name, kind) SPANBRIDGE_DECLARE_##kind(name)
#define SPANBRIDGE_DECLARE_OWN(name)
#define SPANBRIDGE_DECLARE_LOG_NAME(name) int32_t name(SPANBRIDGE_ANYARGS);
#define SPANBRIDGE_DECLARE_RELEASE_CALL(name) int32_t name(SPANBRIDGE_ANYARGS);
#define SPANBRIDGE_DECLARE_SHARED(name) int32_t name(SPANBRIDGE_ANYARGS);
#include "exports.h"
#undef EXPORT_ROW
#undef SPANBRIDGE_DECLARE_OWN
#undef SPANBRIDGE_DECLARE_LOG_NAME
#undef SPANBRIDGE_DECLARE_RELEASE_CALL
#undef SPANBRIDGE_DECLARE_SHARED
#ifdef __cplusplus
}
#endif
#endif /* SPANBRIDGE_H */
