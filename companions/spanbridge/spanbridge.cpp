// spanbridge keeps no state and takes no lock: each entry point answers at
// once, a few of them after a line in voxbridge's log. Which name does what
// is the table in exports.h; this file gives each kind of row its body.
#include "spanbridge.h"

#include "companions/common/bridge_export.h"
#include "voxlib.h"

extern "C" {

// The one entry point of every SHARED row.
int32_t spanbridge_shared_entry(...) { return 50; }

// The one entry point of every RELEASE_CALL row; it logs the same text
// whichever of its names was called.
int32_t spanbridge_release_entry(...) {
  debug_log("cc_ReleaseCall");
  return 0;
}

int32_t dt_open(const char* name, int32_t) {
  // A null name would reach the log's formatting as a text.
  debug_log("dt_open(%s)", name ? name : "(null)");
  return -1;
}

int32_t dt_close(int32_t device) {
  debug_log("dt_close(%x)", static_cast<unsigned>(device));
  return 0;
}

#define EXPORT_ROW(ordinal, name, kind) SPANBRIDGE_DEFINE_##kind(name)
#define SPANBRIDGE_DEFINE_OWN(name)
#define SPANBRIDGE_DEFINE_LOG_NAME(name) \
  int32_t name(...) {               \
    debug_log("%s", #name);              \
    return 0;                            \
  }
#define SPANBRIDGE_DEFINE_RELEASE_CALL(name) \
  int32_t name(...) BRIDGE_ALIAS(spanbridge_release_entry);
#define SPANBRIDGE_DEFINE_SHARED(name) int32_t name(...) BRIDGE_ALIAS(spanbridge_shared_entry);
#include "exports.h"

}  // extern "C"
