// Call tracking and SMDR record writing: the cost of one event on a tracked
// call as the number of live calls grows to 100,000 (it must not grow in
// step with it), a snapshot poll over that many calls, and records written
// per second through the call-log writer to a file.
//
//   calllog_bench [calls]      (default 100000)
//
// Run it from a scratch directory: it writes calllog_bench.ini and
// CALLLOG_BENCH.LOG there.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "calllog/callinfo.h"
#include "calllog/smdr.h"
#include "console/settings.h"
#include "platform/platform.h"

namespace {

CallTime fakeNow = 1765000000;
CallTime fakeClock() { return fakeNow; }

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void noSnapshot(long) {}

// Live calls 1..n, each ringing from an outside number to an extension.
void fill(long n) {
  char caller[16], called[8];
  for (long id = 1; id <= n; ++id) {
    std::snprintf(caller, sizeof caller, "508555%04ld", id % 10000);
    std::snprintf(called, sizeof called, "%ld", 200 + id % 100);
    CallInfo::alerting(id, caller, called, called);
  }
}

// Nanoseconds per event: answer, hold and retrieve on calls spread over
// the whole set, in an order that defeats the cache.
double eventCost(long live, long events) {
  const auto start = std::chrono::steady_clock::now();
  unsigned long x = 12345;
  for (long i = 0; i < events; ++i) {
    x = x * 1103515245ul + 12345ul;
    const long id = static_cast<long>((x >> 8) % static_cast<unsigned long>(live)) + 1;
    switch (i % 3) {
      case 0: CallInfo::answered(id, nullptr, nullptr, "201"); break;
      case 1: CallInfo::held(id); break;
      default: CallInfo::retrieved(id); break;
    }
  }
  return secondsSince(start) * 1e9 / static_cast<double>(events);
}

}  // namespace

int main(int argc, char** argv) {
  const long most = argc > 1 ? std::atol(argv[1]) : 100000;
  if (most < 1000) {
    std::fprintf(stderr, "calllog_bench: at least 1000 calls\n");
    return 2;
  }
  CallInfo::setClock(fakeClock);

  std::printf("calllog_bench: events on tracked calls, nanoseconds each\n");
  for (long live = 1000; live <= most; live *= 10) {
    CallInfo::reset();
    const auto start = std::chrono::steady_clock::now();
    fill(live);
    const double fillSeconds = secondsSince(start);
    const double ns = eventCost(live, 300000);
    std::printf("  %7ld live calls: created at %.0f ns each, %.0f ns per event\n", live,
                fillSeconds * 1e9 / static_cast<double>(live), ns);
  }

  // A round of snapshot polls over every live call, nothing stale.
  CallInfo::initializeSnapshot();
  long polls = 0;
  auto start = std::chrono::steady_clock::now();
  while (!CallInfo::pollNextSnapshot(noSnapshot) && polls < 2 * most) {
    CallInfo::lastSnapshotTime = 0;  // as if each was confirmed at once
    ++polls;
  }
  std::printf("  snapshot round over %zu calls: %ld polls, %.0f ns each\n", activeCalls.size(),
              polls, secondsSince(start) * 1e9 / static_cast<double>(polls ? polls : 1));

  // Every live call ends and is written, through the writer, to a file.
  FILE* profile = std::fopen("calllog_bench.ini", "w");
  if (!profile) {
    std::fprintf(stderr, "calllog_bench: cannot write calllog_bench.ini\n");
    return 1;
  }
  std::fputs("[SMDR]\nLogDevice=calllog_bench.log\n", profile);
  std::fclose(profile);
  std::snprintf(iniFilename, sizeof iniFilename, "calllog_bench.ini");
  plat_delete_file("CALLLOG_BENCH.LOG");
  autoLogSMDR = 1;
  doSetCallLogging(true);
  if (!callLoggingEnabled) return 1;
  const long calls = static_cast<long>(activeCalls.size());
  fakeNow += 95;
  start = std::chrono::steady_clock::now();
  for (long id = 1; id <= calls; ++id) CallInfo::ended(id, true);
  const double writeSeconds = secondsSince(start);
  doSetCallLogging(false);
  std::printf("  %ld records written in %.3f s: %.0f records/s (%ld lost)\n", calls, writeSeconds,
              static_cast<double>(calls) / writeSeconds, lostCallRecords);
  return 0;
}
