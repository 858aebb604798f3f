// Soak of unattended call logging: thousands of calls from several callers
// at once go through probix32's stream, dispatcher and tracker against the
// simulated switch, while the stream is dropped and reopened now and then.
// Calls that end while the stream is down produce no events; once the stream
// is back each is checked and written. Checked at the end: no call written
// twice, every call that ended while the stream was up written at once,
// every call that ended during a drop written within a minute of it. Every
// record is also served over TCP to a collector of the soak's own that
// disconnects and reconnects now and then: it must receive each record
// exactly once (those made while it was away wait for it). Calls made and
// ended wholly inside a drop are never seen and have no record; their number
// is printed. The program's own chatter goes to standard output (send it
// to /dev/null); the verdict goes to standard error.
//
//   calllog_soak [calls] [drops] [collector absences]   (default 5000, 5, 4)
//
// Time is the test's own: the switch runs on its manual clock and the
// program's clocks are moved by the soak, so a run takes seconds.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "calllog/outputs.h"
#include "calllog/smdr.h"
#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"
#include "csta32/internal.h"
#include "embedded/switch_host.h"
#include "platform/net.h"
#include "simulator/telsim.h"
#include "telephony/events.h"
#include "telephony/state.h"
#include "telephony/stream.h"

namespace {

std::int64_t fakeSeconds = 1765000000;
std::uint64_t fakeMillis = 0;
std::int64_t readSeconds() { return fakeSeconds; }
CallTime trackerSeconds() { return fakeSeconds; }
// Waits on unknown devices run out after a few looks.
std::uint64_t readMillis() { return fakeMillis += 500; }

using Host = embedded::SwitchHost;

std::map<long, int> writes;              // records written, by call
std::map<long, std::int64_t> writtenAt;  // when the last was
std::map<std::string, int> served;       // records handed to the TCP output, by text
long servedCount = 0;
void countRecord(CallInfo& call) {
  const std::string text = call.o_report(0);
  if (text.empty() && call.toSet) std::fprintf(stderr, "empty record\n");
  ++writes[call.callID];
  writtenAt[call.callID] = fakeSeconds;
  if (!text.empty()) {
    ++served[text];
    ++servedCount;
    smdrOutputsSend(text);
  }
}

// The soak's collector: reads whole lines from the serve output.
struct Collector {
  plat_socket sock = PLAT_INVALID_SOCKET;
  std::string pending;
  std::map<std::string, int> received;
  long count = 0;

  bool connect() {
    sock = plat_tcp_connect("127.0.0.1", smdrServePort(), 5000);
    return sock != PLAT_INVALID_SOCKET && smdrServeWaitCollectors(1, 5000);
  }
  // Takes what has come; waits up to waitMs for more when `waitMs` > 0.
  void read(int waitMs) {
    while (sock != PLAT_INVALID_SOCKET && plat_sock_wait_readable(sock, waitMs) == 1) {
      char buf[65536];
      const long n = plat_sock_recv(sock, buf, sizeof buf);
      if (n <= 0) break;
      pending.append(buf, static_cast<std::size_t>(n));
      std::size_t end;
      while ((end = pending.find('\n')) != std::string::npos) {
        ++received[pending.substr(0, end + 1)];
        ++count;
        pending.erase(0, end + 1);
      }
    }
  }
  // Everything served so far has come, at most a few seconds.
  void catchUp() {
    for (int i = 0; i < 50 && count < servedCount; ++i) read(100);
  }
  void disconnect() {
    catchUp();
    plat_sock_close(sock);
    sock = PLAT_INVALID_SOCKET;
    // The output has seen it go before the next record.
    smdrServeWaitCollectors(0, 5000);
  }
};

long callOf(const std::string& answer) {
  return answer.rfind("call ", 0) == 0 ? std::atol(answer.c_str() + 5) : 0;
}

void pollAWhile(int polls) {
  for (int i = 0; i < polls; ++i) doGetEvents();
}

}  // namespace

int main(int argc, char** argv) {
  const long total = argc > 1 ? std::atol(argv[1]) : 5000;
  const int drops = argc > 2 ? std::atoi(argv[2]) : 5;
  const int absences = argc > 3 ? std::atoi(argv[3]) : 4;
  telsim::Config cfg = telsim::defaultConfig();
  cfg.password = "*";
  telsim::Switch sw(cfg, true);
  Host host(sw);
  csta32::registerLocalHost("TELVANIX", &host);

  FILE* profile = std::fopen("calllog_soak.ini", "w");
  if (!profile) {
    std::fprintf(stderr, "calllog_soak: cannot write calllog_soak.ini\n");
    return 1;
  }
  std::fputs("[PROBIX]\nAutoEventReport=0\n[Server]\nServerID=TELVANIX\nUserID=Telvanix\n"
             "[SMDR]\nMonitorExt=TRUE\n",
             profile);
  std::fclose(profile);
  std::snprintf(iniFilename, sizeof iniFilename, "calllog_soak.ini");
  setEventClocksForTests(readSeconds, readMillis);
  CallInfo::setClock(trackerSeconds);
  CallInfo::setSMDRformat(PBXtypeTelvanix);
  CallInfo::setRecordWriter(countRecord);
  callLoggingEnabled = 1;
  autoLogSMDR = 1;
  manualMode = 0;
  eventReports = false;
  io_setPrintoutLimit(1000000);
  // Every record waits for the collector while it is away: room for all.
  if (!smdrServeStart("0", total + 100)) {
    for (const std::string& m : smdrOutputsTakeMessages()) std::fprintf(stderr, "%s\n", m.c_str());
    return 1;
  }
  Collector collector;
  if (!collector.connect()) {
    std::fprintf(stderr, "calllog_soak: the collector cannot connect\n");
    return 1;
  }
  installEventPoll();  // as the program does at start-up
  doConnect();
  pollAWhile(5);
  if (!acsHandle) {
    std::fprintf(stderr, "calllog_soak: no stream\n");
    return 1;
  }

  const int callers = 8;  // 201..208 call 209..216, all at once
  const long batches = total / callers;
  const long dropEvery = drops > 0 ? batches / (drops + 1) : batches + 1;
  // The collector is away for a stretch of batches now and then.
  const long awayEvery = absences > 0 ? batches / (absences + 1) : batches + 1;
  const long awayFor = awayEvery / 3 + 1;
  long awayUntil = -1;
  int absencesDone = 0;
  long unseen = 0;  // calls made and ended while the stream was down
  std::set<long> endedUp, endedDown;
  long late = 0;  // calls ended during a drop and written more than a minute on
  int dropsDone = 0;
  long made = 0;
  for (long b = 0; b < batches; ++b) {
    if (absencesDone < absences && (b + 1) % awayEvery == 0 && awayUntil < 0) {
      collector.disconnect();
      awayUntil = b + awayFor;
      ++absencesDone;
    } else if (b == awayUntil) {
      if (!collector.connect()) {
        std::fprintf(stderr, "calllog_soak: the collector cannot connect again\n");
        return 1;
      }
      awayUntil = -1;
    }
    collector.read(0);
    std::vector<long> ids;
    for (int c = 0; c < callers; ++c) {
      const int from = 201 + c, to = 209 + static_cast<int>((c + b) % callers);
      const long id = callOf(sw.control("dial " + std::to_string(from) + " " + std::to_string(to)));
      if (!id) continue;
      ids.push_back(id);
      ++made;
      doGetEvents();
      fakeSeconds += 1;
      sw.control("answer " + std::to_string(to));
      doGetEvents();
    }
    fakeSeconds += 30;
    const bool drop = dropsDone < drops && (b + 1) % dropEvery == 0;
    // The link goes while the calls are up; they end unseen.
    if (drop) sw.control("drop all");
    for (int c = 0; c < callers; ++c) {
      sw.control("hangup " + std::to_string(201 + c));
      if (!drop) doGetEvents();
    }
    for (long id : ids) (drop ? endedDown : endedUp).insert(id);
    const std::int64_t droppedAt = fakeSeconds;
    if (drop) {
      ++dropsDone;
      // Calls that come and go while nobody listens: no record can tell of them.
      for (int c = 0; c < callers; ++c) {
        const std::string to = std::to_string(209 + c);
        if (!callOf(sw.control("dial " + std::to_string(201 + c) + " " + to))) continue;
        sw.control("answer " + to);
        sw.control("hangup " + std::to_string(201 + c));
        ++unseen;
      }
      // The stream comes back at once and the calls of the drop are checked.
      for (int s = 0; s < 70 / 5; ++s) {
        fakeSeconds += 5;
        pollAWhile(2);
      }
      if (!acsHandle) {
        std::fprintf(stderr, "calllog_soak: the stream did not come back\n");
        return 1;
      }
      for (long id : ids)
        if (writtenAt.count(id) && writtenAt[id] - droppedAt > 60) ++late;
    }
    pollAWhile(2);
  }

  if (awayUntil >= 0 && !collector.connect()) {
    std::fprintf(stderr, "calllog_soak: the collector cannot connect again\n");
    return 1;
  }
  collector.catchUp();
  long servedTwice = 0, servedMissing = 0;
  for (const auto& r : served) {
    const auto got = collector.received.find(r.first);
    const int n = got == collector.received.end() ? 0 : got->second;
    if (n > r.second) servedTwice += n - r.second;
    if (n < r.second) servedMissing += r.second - n;
  }
  for (const auto& r : collector.received)
    if (!served.count(r.first)) servedTwice += r.second;
  std::fprintf(stderr,
               "calllog_soak: over TCP %ld records offered, %ld received across %d absences of "
               "the collector; doubled %ld, lost %ld\n",
               servedCount, collector.count, absencesDone, servedTwice, servedMissing);
  std::fprintf(stderr,
               "calllog_soak: %ld calls lived wholly inside a drop and have no record\n", unseen);
  long twice = 0, missingUp = 0, missingDown = 0;
  if (late) std::fprintf(stderr, "calllog_soak: %ld calls of a drop written late\n", late);
  for (const auto& w : writes)
    if (w.second > 1) ++twice;
  for (long id : endedUp)
    if (!writes.count(id)) ++missingUp;
  for (long id : endedDown)
    if (!writes.count(id)) ++missingDown;
  std::fprintf(stderr,
               "calllog_soak: %ld calls, %d drops (%zu calls ended during them), %zu records; "
               "written twice %ld, missing %ld (ended while up) and %ld (ended during a drop), "
               "%zu still tracked\n",
               made, dropsDone, endedDown.size(), writes.size(), twice, missingUp, missingDown,
               activeCalls.size());
  acsAbortStream(acsHandle, nullptr);
  acsHandle = 0;
  csta32::registerLocalHost("TELVANIX", nullptr);
  smdrServeStop();
  return twice || missingUp || missingDown || late || servedTwice || servedMissing ? 1 : 0;
}
