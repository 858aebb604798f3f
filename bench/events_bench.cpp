// Events per second through probix32's event loop: a mix of confirmations,
// call events and private reports recorded from the simulator is replayed
// into an open stream, and the poll hands every event to the dispatcher and
// the formatter, whose text goes to a report log file.
//
//   events_bench [events]      (default 1000000)
//
// Run it from a scratch directory: it writes events_bench.ini and
// events_bench.log there.
#include <cstdint>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "calllog/smdr.h"
#include "console/output.h"
#include "console/settings.h"
#include "csta32/include/csta32.h"
#include "csta32/internal.h"
#include "csta32/wire/wire.h"
#include "simulator/telsim.h"
#include "telephony/events.h"
#include "telephony/state.h"
#include "telephony/stream.h"
#include "telephony/waits.h"

namespace {

typedef std::vector<std::uint8_t> Frame;

const char kVendor[] = "Telvanix Version 1.0";

// ---- recording ---------------------------------------------------------------------

struct Recorder {
  telsim::Switch sw{telsim::defaultConfig(), true};
  std::uint32_t session = 0;
  InvokeID_t next = 1;
  std::vector<Frame> frames;

  Recorder() {
    session = sw.openSession([this](const std::uint8_t* d, std::size_t n) {
      if (d) frames.emplace_back(d, d + n);
    });
  }
  ~Recorder() { sw.closeSession(session); }

  void send(wire::Request r) {
    r.invokeID = next++;
    Frame f;
    if (wire::encodeRequest(r, f)) sw.onFrame(session, f.data(), f.size());
  }
  void device(wire::Op op, const char* name) {
    wire::Request r;
    r.op = op;
    r.device = name;
    send(r);
  }
  void startPrivateStatus() {
    unsigned char data[300] = {};
    data[0] = 1;  // start private status reports
    wire::Request r;
    r.op = wire::Op::EscapeService;
    wire::setPrivate(r.priv, kVendor, data, sizeof data);
    send(r);
  }
  void control(const char* line) { sw.control(line); }
};

// A day's worth of switch traffic in miniature: calls between extensions
// and from outside, holds, digits, snapshots and feature queries.
std::vector<Frame> recordMix() {
  Recorder rec;
  wire::Request open;
  open.op = wire::Op::OpenStream;
  open.serverID = "TELVANIX";
  open.loginID = "Telvanix";
  open.appName = "BENCH";
  open.apiVersion = "TS1-2";
  rec.send(open);
  rec.startPrivateStatus();
  const char* watched[] = {"201", "202", "203", "204", "L1#1", "L1#2"};
  for (const char* d : watched) {
    wire::Request r;
    r.op = wire::Op::MonitorDevice;
    r.device = d;
    rec.send(r);
  }
  for (int round = 0; round < 40; ++round) {
    rec.control("dial 201 202");
    rec.control("answer 202");
    rec.device(wire::Op::SnapshotDevice, "201");
    rec.control("hold 201");
    rec.control("retrieve 201");
    rec.control("dtmf 202 1234");
    rec.control("hangup 201");
    rec.control("dialin L1#2 5551234 203 \"Ann Smith\"");
    rec.control("answer 203");
    rec.device(wire::Op::QueryDnd, "203");
    rec.control("hangup 203");
    rec.device(wire::Op::QueryMwi, "204");
    rec.control("dial 204 95550100");
    rec.control("hangup 204");
  }

  // The stream's own open confirmation comes from the replaying server.
  std::vector<Frame> mix;
  for (const Frame& f : rec.frames) {
    wire::Event e;
    if (wire::decodeEvent(f.data(), f.size(), e) && e.eventClass() != ACSCONFIRMATION)
      mix.push_back(f);
  }
  return mix;
}

// ---- replaying -----------------------------------------------------------------------

// Confirms the open and keeps the stream's sink so the recording can be fed
// in; the dispatcher's own requests are taken and dropped.
struct ReplayHost : csta32::SessionHost {
  csta32::FrameSink sink;
  std::uint32_t openSession(csta32::FrameSink d) override {
    sink = std::move(d);
    return 1;
  }
  void onFrame(std::uint32_t, const std::uint8_t* data, std::size_t len) override {
    wire::Request r;
    if (!wire::decodeRequest(data, len, r) || r.op != wire::Op::OpenStream) return;
    Frame f;
    wire::encodeEvent(wire::openStreamConf(r.invokeID, "TS1-2", "replay", "replay", "3.1-12"), f);
    sink(f.data(), f.size());
  }
  void closeSession(std::uint32_t) override {}
};

double secondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  long total = argc > 1 ? std::atol(argv[1]) : 1000000;
  if (total <= 0) total = 1000000;
  // Events queued at a time: well inside what a stream holds (16,384 by
  // default), or the stream fails and the wait below never ends.
  const long batch = 8192;

  const std::vector<Frame> mix = recordMix();
  if (mix.empty()) {
    std::fprintf(stderr, "events_bench: nothing recorded\n");
    return 1;
  }

  ReplayHost host;
  csta32::registerLocalHost("REPLAY", &host);
  FILE* profile = std::fopen("events_bench.ini", "w");
  if (!profile) {
    std::fprintf(stderr, "events_bench: cannot write events_bench.ini\n");
    return 1;
  }
  std::fputs("[PROBIX]\nAutoEventReport=0\n[Server]\nServerID=REPLAY\n", profile);
  std::fclose(profile);
  std::snprintf(iniFilename, sizeof iniFilename, "events_bench.ini");
  FILE* log = std::fopen("events_bench.log", "w");
  if (!log) {
    std::fprintf(stderr, "events_bench: cannot write events_bench.log\n");
    return 1;
  }

  userName = alloc_str("Telvanix");
  serverPassword = alloc_str("");
  autoLogSMDR = 1;  // CONNECT asks nothing
  installEventPoll();  // as the program does at start-up
  doConnect();
  autoLogSMDR = 0;
  if (!acsHandle) return 1;
  set_o_file(log);  // the formatter's text goes to the report log
  eventReports = true;
  doGetEvents();  // the open confirmation

  double inLibrary = 0;  // frames decoded and queued by the client library
  double inLoop = 0;     // poll, dispatcher and formatter
  long done = 0;
  std::size_t at = 0;
  while (done < total) {
    const long n = total - done < batch ? total - done : batch;
    auto start = std::chrono::steady_clock::now();
    for (long i = 0; i < n; ++i, at = (at + 1) % mix.size())
      host.sink(mix[at].data(), mix[at].size());
    inLibrary += secondsSince(start);

    const long target = msgCount + n;
    start = std::chrono::steady_clock::now();
    while (msgCount < target && acsHandle && !acsStreamAborted) doGetEvents();
    inLoop += secondsSince(start);
    if (!acsHandle || acsStreamAborted) {
      std::fprintf(stderr, "\nevents_bench: the stream was lost\n");
      return 1;
    }
    done += n;
  }
  std::fflush(log);
  const long logBytes = std::ftell(log);
  set_o_file(stdout);
  std::fclose(log);

  std::printf("\nevents_bench: %ld events (mix of %lu recorded), report log %ld bytes\n", done,
              static_cast<unsigned long>(mix.size()), logBytes);
  std::printf("  poll + dispatch + format: %.3f s, %.0f events/s\n", inLoop, done / inLoop);
  std::printf("  with queueing by the library: %.3f s, %.0f events/s\n", inLoop + inLibrary,
              done / (inLoop + inLibrary));
  // Quietly, while the replaying server still exists.
  acsAbortStream(acsHandle, nullptr);
  acsHandle = 0;
  csta32::registerLocalHost("REPLAY", nullptr);
  return 0;
}
