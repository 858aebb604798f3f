// The simulator and the client library together, as the programs use them:
// streams opened by server name, events read with acsGetEventBlock into the
// applications' buffers, over the embedded transport and over TCP.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "csta32/include/csta32.h"
#include "csta32/internal.h"
#include "embedded/switch_host.h"
#include "simulator/telsim.h"

namespace {

// A switch of this test put under a server name.
// The switch under a name for as long as the host lives.
struct Host : embedded::SwitchHost {
  std::string name;
  Host(telsim::Switch& s, const char* n) : embedded::SwitchHost(s), name(n) {
    csta32::registerLocalHost(name, this);
  }
  ~Host() override { csta32::registerLocalHost(name, nullptr); }
};

struct Stream {
  ACSHandle_t h = 0;
  InvokeID_t inv = 1;
  alignas(8) unsigned char buf[2332];  // probix32's event buffer
  RetCode_t lastRc = 0;

  const CSTAEvent_t& ev() const { return *reinterpret_cast<const CSTAEvent_t*>(buf); }

  RetCode_t open(const char* server, const char* password = "") {
    return acsOpenStream(&h, APP_GEN_ID, inv++, ST_CSTA, server, "Telvanix", password, "TEST",
                         ACS_LEVEL1, "TS1-2", 0, 0, 0, 0, nullptr);
  }
  // The next event; false when the stream has none to give any more.
  bool next() {
    std::uint16_t size = sizeof buf;
    lastRc = acsGetEventBlock(h, buf, &size, nullptr, nullptr);
    return lastRc == 0;
  }
  // Reads up to and including the first event of this class and type; the
  // types read on the way are appended to *seen.
  bool until(int cls, int type, std::vector<int>* seen = nullptr) {
    for (int guard = 0; guard < 1000; ++guard) {
      if (!next()) return false;
      if (seen) seen->push_back(ev().eventHeader.eventType);
      if (ev().eventHeader.eventClass == cls && ev().eventHeader.eventType == type) return true;
    }
    return false;
  }
  CSTAMonitorCrossRefID_t monitor(const char* dev) {
    CSTAMonitorFilter_t f = {};
    if (cstaMonitorDevice(h, inv++, dev, &f, nullptr) < 0) return 0;
    if (!until(CSTACONFIRMATION, CSTA_MONITOR_CONF)) return 0;
    return ev().event.cstaConfirmation.u.monitorStart.monitorCrossRefID;
  }
};

std::string dev(const DeviceID_t d) { return std::string(d, strnlen(d, sizeof(DeviceID_t))); }

TEST(TelsimClient, EmbeddedServerByDefault) {
  telsim::embeddedSwitch().reset();
  std::vector<std::string> names;
  acsEnumServerNames(
      ST_CSTA,
      [](char* name, EnumServerNamesParam_t p) {
        reinterpret_cast<std::vector<std::string>*>(p)->push_back(name);
        return false;
      },
      reinterpret_cast<EnumServerNamesParam_t>(&names));
  ASSERT_FALSE(names.empty());

  Stream bad;
  ASSERT_GE(bad.open(names[0].c_str(), "not the password"), 0);
  ASSERT_TRUE(bad.next());
  EXPECT_EQ(bad.ev().eventHeader.eventType, ACS_UNIVERSAL_FAILURE_CONF);
  EXPECT_EQ(bad.ev().event.acsConfirmation.u.failureEvent.error, TSERVER_BAD_PASSWORD_OR_LOGIN);
  acsAbortStream(bad.h, nullptr);

  Stream s;
  ASSERT_EQ(s.open(names[0].c_str()), 1);
  ASSERT_TRUE(s.until(ACSCONFIRMATION, ACS_OPEN_STREAM_CONF));
  int major = 0, minor = 0, edit = 0;
  EXPECT_EQ(std::sscanf(s.ev().event.acsConfirmation.u.acsopen.drvrVer, " %d.%d-%d", &major, &minor, &edit), 3);
  CSTAMonitorCrossRefID_t xref = s.monitor("201");
  ASSERT_EQ(xref, 1u);

  ASSERT_EQ(cstaMakeCall(s.h, s.inv++, "201", "202", nullptr), 3);
  ASSERT_TRUE(s.next());
  ASSERT_EQ(s.ev().eventHeader.eventType, CSTA_MAKE_CALL_CONF);
  EXPECT_EQ(s.ev().event.cstaConfirmation.invokeID, 3u);
  const std::int32_t call = s.ev().event.cstaConfirmation.u.makeCall.newCall.callID;
  std::vector<int> seen;
  ASSERT_TRUE(s.until(CSTAUNSOLICITED, CSTA_DELIVERED, &seen));
  EXPECT_EQ(seen, (std::vector<int>{CSTA_SERVICE_INITIATED, CSTA_ORIGINATED, CSTA_DELIVERED}));
  EXPECT_EQ(s.ev().event.cstaUnsolicited.monitorCrossRefId, xref);
  EXPECT_EQ(dev(s.ev().event.cstaUnsolicited.u.delivered.alertingDevice.deviceID), "202");

  bool ok = false;
  telsim::embeddedSwitch().control("answer 202", &ok);
  ASSERT_TRUE(ok);
  ASSERT_TRUE(s.next());
  EXPECT_EQ(s.ev().eventHeader.eventType, CSTA_ESTABLISHED);

  ConnectionID_t c = {};
  c.callID = call;
  ASSERT_GE(cstaSnapshotCallReq(s.h, s.inv++, &c, nullptr), 0);
  ASSERT_TRUE(s.until(CSTACONFIRMATION, CSTA_SNAPSHOT_CALL_CONF));
  const CSTASnapshotCallData_t& snap = s.ev().event.cstaConfirmation.u.snapshotCall.snapshotData;
  ASSERT_EQ(snap.count, 2);
  EXPECT_EQ(dev(snap.info[1].deviceOnCall.deviceID), "202");
  EXPECT_EQ(snap.info[1].localConnectionState, CS_CONNECT);

  ASSERT_GE(cstaClearCall(s.h, s.inv++, &c, nullptr), 0);
  seen.clear();
  ASSERT_TRUE(s.until(CSTAUNSOLICITED, CSTA_CALL_CLEARED, &seen));
  EXPECT_EQ(seen, (std::vector<int>{CSTA_CLEAR_CALL_CONF, CSTA_CALL_CLEARED}));
  ASSERT_GE(acsCloseStream(s.h, s.inv++, nullptr), 0);
  ASSERT_TRUE(s.until(ACSCONFIRMATION, ACS_CLOSE_STREAM_CONF));
  EXPECT_FALSE(s.next());
  EXPECT_EQ(s.lastRc, ACSERR_BADHDL);
}

// The server going away under open streams, in-process and over TCP: each
// stream fails, then refuses to read; nothing opens while the server is
// away, and a reopen works once it is back.
void expectFailedForGood(Stream& s) {
  ASSERT_TRUE(s.until(ACSCONFIRMATION, ACS_UNIVERSAL_FAILURE_CONF));
  EXPECT_EQ(s.ev().event.acsConfirmation.u.failureEvent.error, TSERVER_STREAM_FAILED);
  EXPECT_FALSE(s.next());
  EXPECT_EQ(s.lastRc, ACSERR_BADHDL);
}

TEST(TelsimClient, ServerGoingAwayFailsTheStreamsAndReopenWorks) {
  telsim::Switch sw(telsim::defaultConfig(), true);
  Host host(sw, "DOWNSIM");
  Stream s;
  ASSERT_GE(s.open("DOWNSIM"), 0);
  ASSERT_TRUE(s.until(ACSCONFIRMATION, ACS_OPEN_STREAM_CONF));
  ASSERT_NE(s.monitor("201"), 0u);
  bool ok = false;
  sw.control("down", &ok);
  ASSERT_TRUE(ok);
  expectFailedForGood(s);
  Stream refused;
  RetCode_t rc = refused.open("DOWNSIM");
  if (rc >= 0) {
    ASSERT_TRUE(refused.next());
    EXPECT_NE(refused.ev().eventHeader.eventType, ACS_OPEN_STREAM_CONF);
    acsAbortStream(refused.h, nullptr);
  }
  sw.control("up", &ok);
  Stream back;
  ASSERT_GE(back.open("DOWNSIM"), 0);
  ASSERT_TRUE(back.until(ACSCONFIRMATION, ACS_OPEN_STREAM_CONF));
  EXPECT_EQ(back.monitor("201"), 1u);
  acsAbortStream(back.h, nullptr);

  // Over TCP the server stops: every stream on it fails.
  telsim::TcpServer server(sw);
  std::string err;
  ASSERT_TRUE(server.start(nullptr, 0, &err)) << err;
  csta32::ServerEntry e;
  e.name = "DOWNTCP";
  e.embedded = false;
  e.host = "127.0.0.1";
  e.port = server.port();
  csta32::addServer(e);
  Stream one, two;
  ASSERT_GE(one.open("DOWNTCP"), 0);
  ASSERT_GE(two.open("downtcp"), 0);
  ASSERT_TRUE(one.until(ACSCONFIRMATION, ACS_OPEN_STREAM_CONF));
  ASSERT_TRUE(two.until(ACSCONFIRMATION, ACS_OPEN_STREAM_CONF));
  ASSERT_NE(two.monitor("203"), 0u);
  server.stop();
  expectFailedForGood(one);
  expectFailedForGood(two);
  EXPECT_EQ(refused.open("DOWNTCP"), ACSERR_NOSERVER);

  ASSERT_TRUE(server.start(nullptr, e.port, &err)) << err;
  Stream tcpBack;
  ASSERT_GE(tcpBack.open("DOWNTCP"), 0);
  ASSERT_TRUE(tcpBack.until(ACSCONFIRMATION, ACS_OPEN_STREAM_CONF));
  acsAbortStream(tcpBack.h, nullptr);
  csta32::removeServer("DOWNTCP");
}

TEST(TelsimClient, TransferOverTcp) {
  telsim::Switch sw(telsim::defaultConfig(), true);
  telsim::TcpServer server(sw);
  std::string err;
  ASSERT_TRUE(server.start(nullptr, 0, &err)) << err;
  csta32::ServerEntry e;
  e.name = "TCPSIM";
  e.embedded = false;
  e.host = "127.0.0.1";
  e.port = server.port();
  csta32::addServer(e);

  Stream phone, watcher;
  ASSERT_GE(phone.open("TCPSIM"), 0);
  ASSERT_GE(watcher.open("tcpsim"), 0);
  ASSERT_TRUE(phone.until(ACSCONFIRMATION, ACS_OPEN_STREAM_CONF));
  ASSERT_TRUE(watcher.until(ACSCONFIRMATION, ACS_OPEN_STREAM_CONF));
  ASSERT_NE(watcher.monitor("203"), 0u);

  ASSERT_GE(cstaMakeCall(phone.h, phone.inv++, "201", "202", nullptr), 0);
  ASSERT_TRUE(phone.until(CSTACONFIRMATION, CSTA_MAKE_CALL_CONF));
  ConnectionID_t held = phone.ev().event.cstaConfirmation.u.makeCall.newCall;
  bool ok = false;
  sw.control("answer 202", &ok);
  ASSERT_TRUE(ok);
  ASSERT_GE(cstaConsultationCall(phone.h, phone.inv++, &held, "203", nullptr), 0);
  ASSERT_TRUE(phone.until(CSTACONFIRMATION, CSTA_CONSULTATION_CALL_CONF));
  ConnectionID_t active = phone.ev().event.cstaConfirmation.u.consultationCall.newCall;
  ASSERT_TRUE(watcher.until(CSTAUNSOLICITED, CSTA_DELIVERED));
  sw.control("answer 203", &ok);
  ASSERT_GE(cstaTransferCall(phone.h, phone.inv++, &held, &active, nullptr), 0);
  ASSERT_TRUE(phone.until(CSTACONFIRMATION, CSTA_TRANSFER_CALL_CONF));
  EXPECT_EQ(phone.ev().event.cstaConfirmation.u.transferCall.connList.count, 2);

  std::vector<int> seen;
  ASSERT_TRUE(watcher.until(CSTAUNSOLICITED, CSTA_TRANSFERRED, &seen));
  EXPECT_EQ(seen, (std::vector<int>{CSTA_ESTABLISHED, CSTA_TRANSFERRED}));
  const CSTATransferredEvent_t& t = watcher.ev().event.cstaUnsolicited.u.transferred;
  EXPECT_EQ(t.primaryOldCall.callID, held.callID);
  EXPECT_EQ(t.secondaryOldCall.callID, active.callID);
  ASSERT_EQ(t.transferredConnections.count, 2);
  EXPECT_EQ(dev(t.transferredConnections.connection[0].party.deviceID), "202");
  EXPECT_EQ(dev(t.transferredConnections.connection[1].staticDevice.deviceID), "203");
  EXPECT_EQ(t.localConnectionInfo, CS_CONNECT);

  acsAbortStream(phone.h, nullptr);
  acsAbortStream(watcher.h, nullptr);
  csta32::removeServer("TCPSIM");
}

// Many streams placing calls at once, half over TCP and half in-process,
// each on its own thread; clean under the sanitizer build.
TEST(TelsimClient, LoadOfManyStreamsAndCalls) {
  telsim::Config cfg = telsim::defaultConfig();
  std::string err;
  ASSERT_TRUE(telsim::parseConfig("extensions 1000-1199 X1#1\nlines L1#1-8\n", cfg, &err)) << err;
  telsim::Switch sw(cfg);
  Host host(sw, "LOADSIM");
  telsim::TcpServer server(sw);
  ASSERT_TRUE(server.start(nullptr, 0, &err)) << err;
  csta32::ServerEntry e;
  e.name = "LOADTCP";
  e.embedded = false;
  e.host = "127.0.0.1";
  e.port = server.port();
  csta32::addServer(e);

  const int kStreams = 40;
  const int kCalls = 20;
  std::atomic<int> failures{0};
  std::atomic<long> events{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kStreams; ++i) {
    threads.emplace_back([&, i] {
      Stream s;
      if (s.open(i % 2 ? "LOADTCP" : "LOADSIM") < 0 || !s.until(ACSCONFIRMATION, ACS_OPEN_STREAM_CONF)) {
        ++failures;
        return;
      }
      const std::string a = std::to_string(1000 + 2 * i), b = std::to_string(1001 + 2 * i);
      if (!s.monitor(a.c_str()) || !s.monitor(b.c_str())) {
        ++failures;
        return;
      }
      long n = 0;
      for (int k = 0; k < kCalls; ++k) {
        std::vector<int> seen;
        if (cstaMakeCall(s.h, s.inv++, a.c_str(), b.c_str(), nullptr) < 0 ||
            !s.until(CSTACONFIRMATION, CSTA_MAKE_CALL_CONF, &seen)) {
          ++failures;
          return;
        }
        ConnectionID_t c = s.ev().event.cstaConfirmation.u.makeCall.newCall;
        ConnectionID_t called = c;
        std::snprintf(called.deviceID, sizeof called.deviceID, "%s", b.c_str());
        // Both monitors see the call ring, be answered and end.
        if (!s.until(CSTAUNSOLICITED, CSTA_DELIVERED, &seen) || !s.until(CSTAUNSOLICITED, CSTA_DELIVERED, &seen) ||
            cstaAnswerCall(s.h, s.inv++, &called, nullptr) < 0 ||
            !s.until(CSTAUNSOLICITED, CSTA_ESTABLISHED, &seen) || !s.until(CSTAUNSOLICITED, CSTA_ESTABLISHED, &seen) ||
            cstaClearCall(s.h, s.inv++, &c, nullptr) < 0 ||
            !s.until(CSTAUNSOLICITED, CSTA_CALL_CLEARED, &seen) || !s.until(CSTAUNSOLICITED, CSTA_CALL_CLEARED, &seen)) {
          ++failures;
          return;
        }
        n += static_cast<long>(seen.size());
      }
      events += n;
      acsCloseStream(s.h, s.inv++, nullptr);
      s.until(ACSCONFIRMATION, ACS_CLOSE_STREAM_CONF);
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  // Per call: make, answer and clear confirmations, SI and ORIGINATED on the
  // caller's monitor, DELIVERED, ESTABLISHED and CALL_CLEARED on both.
  EXPECT_EQ(events.load(), static_cast<long>(kStreams) * kCalls * 11);
  EXPECT_EQ(sw.callCount(), 0u);
  server.stop();
  csta32::removeServer("LOADTCP");
}

}  // namespace
