// The client side of bench/soak.sh: 100 streams placing calls over TCP
// through a telsim that the script stops, continues and cuts at random.
// Each stream reopens when told it failed. At the end each one must either
// work (a request is answered) or have been told it failed; a new stream
// must open. Prints one line per phase for the script; exits 0 when all
// held, 1 otherwise.
//
//   telsim_soak PORT SECONDS
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "csta32/include/csta32.h"
#include "csta32/internal.h"
#include "platform/platform.h"

namespace {

const int kStreams = 100;
std::atomic<bool> g_stop{false};
std::atomic<long> g_events{0}, g_calls{0}, g_failed{0}, g_reopened{0};

struct Stream {
  ACSHandle_t h = 0;
  InvokeID_t inv = 1;
  bool dead = true;
  alignas(8) unsigned char buf[4096];
  const CSTAEvent_t& ev() const { return *reinterpret_cast<const CSTAEvent_t*>(buf); }

  // The next event; false when the stream is over (told it failed, or gone).
  bool next() {
    std::uint16_t size = sizeof buf;
    if (acsGetEventBlock(h, buf, &size, nullptr, nullptr) != 0) return fail();
    ++g_events;
    if (ev().eventHeader.eventClass == ACSCONFIRMATION && ev().eventHeader.eventType == ACS_UNIVERSAL_FAILURE_CONF)
      return fail();
    return true;
  }
  bool fail() {
    if (!dead) ++g_failed;
    dead = true;
    return false;
  }
  // Reads until the confirmation of `id` (a CSTA failure counts); false when
  // the stream is over.
  bool confirmed(InvokeID_t id, EventType_t* type) {
    for (;;) {
      if (!next()) return false;
      if (ev().eventHeader.eventClass == CSTACONFIRMATION && ev().event.cstaConfirmation.invokeID == id) {
        *type = ev().eventHeader.eventType;
        return true;
      }
    }
  }
  bool open() {
    if (h) acsAbortStream(h, nullptr);
    h = 0;
    if (acsOpenStream(&h, APP_GEN_ID, inv++, ST_CSTA, "SOAK", "Telvanix", "", "SOAK", ACS_LEVEL1, "TS2", 0, 0, 0,
                      0, nullptr) < 0)
      return false;
    dead = false;
    return next() && ev().eventHeader.eventType == ACS_OPEN_STREAM_CONF;
  }
  bool request(RetCode_t rc, EventType_t* type) { return rc >= 0 ? confirmed(static_cast<InvokeID_t>(rc), type) : fail(); }
};

void run(int i, std::atomic<int>* works, std::atomic<int>* told, std::atomic<int>* stuck) {
  Stream s;
  const std::string a = std::to_string(1000 + 2 * i), b = std::to_string(1001 + 2 * i);
  CSTAMonitorFilter_t f = {};
  EventType_t t = 0;
  while (!g_stop) {
    if (s.dead) {
      if (!s.open()) {
        plat_sleep_ms(100);  // the server is away: try again shortly
        continue;
      }
      ++g_reopened;
      if (!s.request(cstaMonitorDevice(s.h, s.inv++, a.c_str(), &f, nullptr), &t) ||
          !s.request(cstaMonitorDevice(s.h, s.inv++, b.c_str(), &f, nullptr), &t))
        continue;
    }
    InvokeID_t id = s.inv++;
    if (!s.request(cstaMakeCall(s.h, id, a.c_str(), b.c_str(), nullptr), &t)) continue;
    if (t != CSTA_MAKE_CALL_CONF) {
      // Calls left over from a cut stream: clear what the two phones are on.
      for (const std::string* dev : {&a, &b}) {
        if (!s.request(cstaSnapshotDeviceReq(s.h, s.inv++, dev->c_str(), nullptr), &t)) break;
        if (t != CSTA_SNAPSHOT_DEVICE_CONF) continue;
        const CSTASnapshotDeviceData_t& d = s.ev().event.cstaConfirmation.u.snapshotDevice.snapshotData;
        std::vector<ConnectionID_t> calls;
        for (std::int32_t k = 0; k < d.count; ++k) calls.push_back(d.info[k].callIdentifier);
        for (ConnectionID_t& call : calls)
          if (!s.request(cstaClearCall(s.h, s.inv++, &call, nullptr), &t)) break;
      }
      continue;
    }
    ConnectionID_t c = s.ev().event.cstaConfirmation.u.makeCall.newCall;
    ConnectionID_t called = c;
    std::snprintf(called.deviceID, sizeof called.deviceID, "%s", b.c_str());
    if (!s.request(cstaAnswerCall(s.h, s.inv++, &called, nullptr), &t)) continue;
    if (!s.request(cstaClearCall(s.h, s.inv++, &c, nullptr), &t)) continue;
    ++g_calls;
  }
  // The end: the stream works, or it has been told it failed.
  if (s.dead) {
    ++*told;
  } else {
    RetCode_t id = cstaQueryDeviceInfo(s.h, s.inv++, a.c_str(), nullptr);
    bool answered = false, over = false;
    const std::uint64_t deadline = plat_millis() + 30000;
    while (!answered && !over && plat_millis() < deadline) {
      std::uint16_t size = sizeof s.buf;
      RetCode_t rc = acsGetEventPoll(s.h, s.buf, &size, nullptr, nullptr);
      if (rc == ACSERR_NOMESSAGE) {
        plat_sleep_ms(10);
        continue;
      }
      if (rc != 0 || s.ev().eventHeader.eventType == ACS_UNIVERSAL_FAILURE_CONF) over = true;
      else if (s.ev().eventHeader.eventClass == CSTACONFIRMATION &&
               s.ev().event.cstaConfirmation.invokeID == static_cast<InvokeID_t>(id))
        answered = true;
    }
    if (answered) ++*works;
    else if (over) ++*told;
    else ++*stuck;
  }
  if (s.h) acsAbortStream(s.h, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: telsim_soak PORT SECONDS\n");
    return 2;
  }
  csta32::ServerEntry e;
  e.name = "SOAK";
  e.embedded = false;
  e.host = "127.0.0.1";
  e.port = std::atoi(argv[1]);
  csta32::addServer(e);
  const long seconds = std::atol(argv[2]);
  std::atomic<int> works{0}, told{0}, stuck{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kStreams; ++i) threads.emplace_back(run, i, &works, &told, &stuck);
  for (long t = 0; t < seconds; ++t) {
    plat_sleep_ms(1000);
    if (t % 10 == 9)
      std::printf("soak: %lds calls %ld events %ld failures told %ld reopened %ld\n", t + 1, g_calls.load(),
                  g_events.load(), g_failed.load(), g_reopened.load());
    std::fflush(stdout);
  }
  g_stop = true;
  for (auto& t : threads) t.join();
  std::printf("soak: end: %d streams work, %d were told they failed, %d neither\n", works.load(), told.load(),
              stuck.load());
  Stream fresh;
  bool opens = fresh.open();
  std::printf("soak: a new stream %s\n", opens ? "opens" : "does NOT open");
  if (fresh.h) acsAbortStream(fresh.h, nullptr);
  csta32::abortAllStreams();
  std::printf("soak: idle\n");
  std::fflush(stdout);
  // The script measures this process now; it closes our input when done.
  char line[16];
  while (std::fgets(line, sizeof line, stdin)) {
  }
  return stuck.load() == 0 && opens ? 0 : 1;
}
