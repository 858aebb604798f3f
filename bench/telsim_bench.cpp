// Events per second from the simulator to 100 client streams, through the
// client library, over TCP and in-process. Each stream watches its own pair
// of extensions and places call after call between them (make, answer,
// clear); every confirmation and event it reads counts.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "csta32/include/csta32.h"
#include "csta32/internal.h"
#include "csta32/wire/wire.h"
#include "embedded/switch_host.h"
#include "platform/net.h"
#include "platform/platform.h"
#include "simulator/telsim.h"

namespace {

const int kStreams = 100;

using Host = embedded::SwitchHost;

telsim::Config benchConfig() {
  telsim::Config cfg = telsim::defaultConfig();
  std::string err;
  if (!telsim::parseConfig("extensions 1000-1299 X1#1\nlines L1#1-8\n", cfg, &err)) std::fprintf(stderr, "%s\n", err.c_str());
  return cfg;
}

// One switch per transport, made once and kept for the whole run.
struct Fixture {
  telsim::Switch tcpSwitch{benchConfig()};
  telsim::Switch localSwitch{benchConfig()};
  telsim::TcpServer server{tcpSwitch};
  Host host{localSwitch};
  Fixture() {
    std::string err;
    if (!server.start(nullptr, 0, &err)) std::fprintf(stderr, "telsim: %s\n", err.c_str());
    csta32::ServerEntry e;
    e.name = "BENCHTCP";
    e.embedded = false;
    e.host = "127.0.0.1";
    e.port = server.port();
    csta32::addServer(e);
    csta32::registerLocalHost("BENCHLOCAL", &host);
  }
};

Fixture& fixture() {
  static Fixture* f = new Fixture();  // lives until exit: streams may still point at it
  return *f;
}

struct Stream {
  ACSHandle_t h = 0;
  InvokeID_t inv = 1;
  alignas(8) unsigned char buf[4096];
  long read = 0;
  const CSTAEvent_t& ev() const { return *reinterpret_cast<const CSTAEvent_t*>(buf); }
  bool until(int cls, int type) {
    for (;;) {
      std::uint16_t size = sizeof buf;
      if (acsGetEventBlock(h, buf, &size, nullptr, nullptr) != 0) return false;
      ++read;
      if (ev().eventHeader.eventClass == cls && ev().eventHeader.eventType == type) return true;
    }
  }
};

void callCycles(benchmark::State& state, const char* server) {
  fixture();
  const int i = state.thread_index();
  Stream s;
  const std::string a = std::to_string(1000 + 2 * i), b = std::to_string(1001 + 2 * i);
  CSTAMonitorFilter_t f = {};
  if (acsOpenStream(&s.h, APP_GEN_ID, s.inv++, ST_CSTA, server, "Telvanix", "", "BENCH", ACS_LEVEL1, "TS2", 0, 0,
                    0, 0, nullptr) < 0 ||
      !s.until(ACSCONFIRMATION, ACS_OPEN_STREAM_CONF) || cstaMonitorDevice(s.h, s.inv++, a.c_str(), &f, nullptr) < 0 ||
      !s.until(CSTACONFIRMATION, CSTA_MONITOR_CONF) || cstaMonitorDevice(s.h, s.inv++, b.c_str(), &f, nullptr) < 0 ||
      !s.until(CSTACONFIRMATION, CSTA_MONITOR_CONF)) {
    state.SkipWithError("cannot open a stream");
    return;
  }
  s.read = 0;
  for (auto _ : state) {
    if (cstaMakeCall(s.h, s.inv++, a.c_str(), b.c_str(), nullptr) < 0 ||
        !s.until(CSTACONFIRMATION, CSTA_MAKE_CALL_CONF)) {
      state.SkipWithError("make call failed");
      break;
    }
    ConnectionID_t c = s.ev().event.cstaConfirmation.u.makeCall.newCall;
    ConnectionID_t called = c;
    std::snprintf(called.deviceID, sizeof called.deviceID, "%s", b.c_str());
    bool ok = s.until(CSTAUNSOLICITED, CSTA_DELIVERED) && s.until(CSTAUNSOLICITED, CSTA_DELIVERED) &&
              cstaAnswerCall(s.h, s.inv++, &called, nullptr) >= 0 && s.until(CSTAUNSOLICITED, CSTA_ESTABLISHED) &&
              s.until(CSTAUNSOLICITED, CSTA_ESTABLISHED) && cstaClearCall(s.h, s.inv++, &c, nullptr) >= 0 &&
              s.until(CSTAUNSOLICITED, CSTA_CALL_CLEARED) && s.until(CSTAUNSOLICITED, CSTA_CALL_CLEARED);
    if (!ok) {
      state.SkipWithError("call cycle failed");
      break;
    }
  }
  state.counters["events"] = benchmark::Counter(static_cast<double>(s.read), benchmark::Counter::kIsRate);
  acsAbortStream(s.h, nullptr);
}

void BM_Tcp100Streams(benchmark::State& state) { callCycles(state, "BENCHTCP"); }
void BM_Embedded100Streams(benchmark::State& state) { callCycles(state, "BENCHLOCAL"); }

// Connections accepted and served (open stream, its confirmation, close)
// per second while N other connections sit idle.
void BM_AcceptWithIdleConnections(benchmark::State& state) {
  const std::size_t idle = static_cast<std::size_t>(state.range(0));
  const unsigned long want = 2 * idle + 256;
  if (plat_open_limit() != 0 && plat_open_limit() < want && !plat_set_open_limit(want)) {
    state.SkipWithError("cannot open enough files");
    return;
  }
  telsim::Switch sw(telsim::defaultConfig(), true);
  telsim::TcpServer server(sw);
  std::string err;
  if (!server.start(nullptr, 0, &err)) {
    state.SkipWithError(err.c_str());
    return;
  }
  std::vector<plat_socket> held;
  for (std::size_t i = 0; i < idle; ++i) {
    plat_socket s = plat_tcp_connect("127.0.0.1", server.port(), 5000);
    if (s == PLAT_INVALID_SOCKET) break;
    held.push_back(s);
  }
  while (held.size() == idle && server.connections() < idle) plat_yield();
  wire::Request r;
  r.op = wire::Op::OpenStream;
  r.invokeID = 1;
  r.loginID = "Telvanix";
  std::vector<std::uint8_t> frame;
  wire::encodeRequest(r, frame);
  for (auto _ : state) {
    if (held.size() != idle) {
      state.SkipWithError("cannot hold the idle connections");
      break;
    }
    plat_socket s = plat_tcp_connect("127.0.0.1", server.port(), 5000);
    std::uint8_t buf[4096];
    std::size_t got = 0;
    long len = 0;
    if (s != PLAT_INVALID_SOCKET && plat_sock_send(s, frame.data(), frame.size()) > 0) {
      while (len <= 0 || got < static_cast<std::size_t>(len)) {
        long n = plat_sock_recv(s, buf + got, sizeof buf - got);
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
        len = wire::frameLength(buf, got);
        if (len < 0) break;
      }
    }
    plat_sock_close(s);
    if (len <= 0 || got < static_cast<std::size_t>(len)) {
      state.SkipWithError("no confirmation");
      break;
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
  for (plat_socket s : held) plat_sock_close(s);
  server.stop();
}

// A fixed count: each run sets its idle connections up afresh.
BENCHMARK(BM_AcceptWithIdleConnections)->Arg(0)->Arg(2000)->Arg(8000)->UseRealTime()->Iterations(2000);
BENCHMARK(BM_Tcp100Streams)->Threads(kStreams)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_Embedded100Streams)->Threads(kStreams)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
