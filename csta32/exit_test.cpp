// A program of its own: its first stream is opened here, after an exit
// handler that closes and aborts it was registered. Exit handlers run in
// the reverse order of registration, so objects the library makes on first
// use must still be there when this one runs.
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>

#include "csta32/include/csta32.h"
#include "csta32/internal.h"

namespace {

ACSHandle_t g_handle = 0;

void closeAtExit() {
  RetCode_t closed = acsCloseStream(g_handle, 7, nullptr);
  RetCode_t aborted = acsAbortStream(g_handle, nullptr);
  std::fprintf(stderr, "close %ld abort %ld\n", static_cast<long>(closed), static_cast<long>(aborted));
}

void openThenExit() {
  std::atexit(closeAtExit);
  csta32::ServerEntry e;
  e.name = "EXITTEST";  // the embedded switch, whatever the environment says
  csta32::addServer(e);
  if (acsOpenStream(&g_handle, APP_GEN_ID, 1, ST_CSTA, "EXITTEST", "Telvanix", "", "exit",
                    ACS_LEVEL1, "TS2", 0, 0, 0, 0, nullptr) != 1)
    std::_Exit(3);
  std::exit(0);
}

}  // namespace

TEST(ExitHandler, RegisteredBeforeTheFirstOpenClosesAndAbortsTheStream) {
  EXPECT_EXIT(openThenExit(), ::testing::ExitedWithCode(0), "close 7 abort 0");
}
