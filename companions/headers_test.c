/* Both public headers compile as C, and together, as voice programs include
 * them. The calls are only type-checked (sizeof): this program loads the
 * libraries at run time and does not link them. */
#include "runbridge.h"
#include "spanbridge.h"

int bridge_headers_compile_as_c(void) {
  int32_t boards = 0;
  return (int)(sizeof(sr_getboardcnt("Voice", &boards)) + sizeof(dt_open("dtiB1", 0)) +
               sizeof(*ATDV_NAMEP(0)) + sizeof(cc_MakeCall(1, 2, 3)) + sizeof(sr_waitevt(-1)));
}
