// Termination and hang-up signals become flags; the program acts on them
// between events, so no record is cut in half by a handler.
#include "platform/platform.h"

#include <csignal>
#include <cstring>

namespace {

volatile std::sig_atomic_t stopFlag = 0;
volatile std::sig_atomic_t hangupFlag = 0;

void onStop(int sig) {
  // Asked twice before the first was acted on: the program is stuck, so the
  // operator gets the plain signal.
  if (stopFlag) {
    std::signal(sig, SIG_DFL);
    std::raise(sig);
    return;
  }
  stopFlag = 1;
}

void onHangup(int) { hangupFlag = 1; }

void install(int sig, void (*handler)(int)) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // Reads and writes carry on; a wait for input still returns early.
  action.sa_flags = SA_RESTART;
  ::sigaction(sig, &action, nullptr);
}

}  // namespace

void plat_install_stop_handlers() {
  install(SIGTERM, onStop);
  install(SIGINT, onStop);
  install(SIGHUP, onHangup);
}

bool plat_stop_requested() {
  if (!stopFlag) return false;
  stopFlag = 0;
  return true;
}

bool plat_hangup_requested() {
  if (!hangupFlag) return false;
  hangupFlag = 0;
  return true;
}
