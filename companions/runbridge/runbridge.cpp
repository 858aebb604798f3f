// runbridge keeps no state and takes no lock: the few calls an application
// makes at start-up (board count, sub-devices, last error) are answered by
// voxbridge, everything else at once. Which name does what is the table in
// exports.h; this file gives each kind of row its body.
#include "runbridge.h"

#include <cstring>

#include "companions/common/bridge_export.h"
#include "voxlib.h"

extern "C" {

// The one entry point of every SHARED row.
int32_t runbridge_shared_entry(...) { return 50; }

int32_t sr_getboardcnt(const char* deviceClass, int32_t* count) {
  debug_log("sr_getboardcnt");
  // Without a place for the count there is nothing to answer.
  if (!count) return -1;
  *count = 0;
  if (deviceClass && std::strcmp(deviceClass, "Voice") == 0) *count = CountBoards();
  return 0;
}

int32_t ATDV_SUBDEVS(int32_t device) {
  debug_log("ATDV_SUBDEVS(%d)", static_cast<int>(device));
  return CountSubdevs(device);
}

int32_t ATDV_LASTERR(int32_t device) {
  debug_log("ATDV_LASTERR");
  return LastError(device);
}

const char* ATDV_ERRMSGP(int32_t) {
  debug_log("ATDV_ERRMSGP");
  return nullptr;
}

const char* ATDV_NAMEP(int32_t) {
  debug_log("ATDV_NAMEP");
  return nullptr;
}

#define EXPORT_ROW(ordinal, name, kind) RUNBRIDGE_DEFINE_##kind(name)
#define RUNBRIDGE_DEFINE_OWN(name)
#define RUNBRIDGE_DEFINE_SHARED(name) int32_t name(...) BRIDGE_ALIAS(runbridge_shared_entry);
#include "exports.h"

}  // extern "C"
