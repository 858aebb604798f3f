/* runbridge: the standard-runtime entry points a voice application loads
 * beside voxbridge. Every export takes the C calling convention and returns
 * a 32-bit value (the two text functions a pointer); those without a
 * declaration of their own take any arguments. */
#ifndef RUNBRIDGE_H
#define RUNBRIDGE_H

#include <stdint.h>

/* Exports that take whatever arguments their callers pass. */
#ifdef __cplusplus
#define RUNBRIDGE_ANYARGS ...
extern "C" {
#else
#define RUNBRIDGE_ANYARGS
#endif

/* Boards of a device class: voxbridge's board count for "Voice" (exact
 * case), 0 for any other class or none. Returns 0, or -1 without a place
 * for the count. */
int32_t sr_getboardcnt(const char* deviceClass, int32_t* count);
/* Lines of a board device; 0 for a channel or an unknown handle. */
int32_t ATDV_SUBDEVS(int32_t device);
/* The device's last error; -1 for an unknown handle. */
int32_t ATDV_LASTERR(int32_t device);
/* No message or name is kept: both return a null pointer. */
const char* ATDV_ERRMSGP(int32_t device);
const char* ATDV_NAMEP(int32_t device);

#define EXPORT_ROW(ordinal, name, kind) RUNBRIDGE_DECLARE_##kind(name)
#define RUNBRIDGE_DECLARE_OWN(name)
#define RUNBRIDGE_DECLARE_SHARED(name) int32_t name(RUNBRIDGE_ANYARGS);
#include "exports.h"
#undef EXPORT_ROW
#undef RUNBRIDGE_DECLARE_OWN
#undef RUNBRIDGE_DECLARE_SHARED
#ifdef __cplusplus
}
#endif
#endif /* RUNBRIDGE_H */
