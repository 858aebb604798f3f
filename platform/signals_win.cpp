// Ctrl+C, Ctrl+Break and closing the console become a flag the program acts
// on between events. Windows has no hang-up signal.
#include "platform/platform.h"

#include <windows.h>

namespace {

volatile LONG stopFlag = 0;
volatile LONG stopping = 0;

BOOL WINAPI onControl(DWORD type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      // Asked twice before the first was acted on: let the default end it.
      if (InterlockedExchange(&stopFlag, 1) != 0 && type != CTRL_CLOSE_EVENT) return FALSE;
      InterlockedExchange(&stopping, 1);
      // The process is ended as soon as this returns from a close: give the
      // main loop a moment to close the stream and the log.
      if (type == CTRL_CLOSE_EVENT || type == CTRL_LOGOFF_EVENT || type == CTRL_SHUTDOWN_EVENT)
        Sleep(3000);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

void plat_install_stop_handlers() { SetConsoleCtrlHandler(onControl, TRUE); }

bool plat_stop_requested() { return InterlockedExchange(&stopping, 0) != 0; }

bool plat_hangup_requested() { return false; }
