#include "telephony/servers.h"

#include "console/output.h"
#include "console/settings.h"

static char* serverNames[MAX_SERVER_NAMES] = {};
static int lastServerName = 0;

char* userName = nullptr;
char* serverPassword = nullptr;

int setServerName(const char* name) {
  if (serverNames[lastServerName] && lastServerName < MAX_SERVER_NAMES - 1) ++lastServerName;
  // Copy before freeing: the name may be the very text held in this slot.
  char* copy = alloc_str(name);
  errfree(serverNames[lastServerName]);
  serverNames[lastServerName] = copy;
  return lastServerName;
}

const char* getServerName(int slot) {
  if (slot < 0 || slot >= MAX_SERVER_NAMES) return nullptr;
  return serverNames[slot];
}

int getLastServerName() { return lastServerName; }

void clearServerNames() {
  for (char*& name : serverNames) {
    errfree(name);
    name = nullptr;
  }
}
