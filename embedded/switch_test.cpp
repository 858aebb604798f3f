// The library against the real switch in-process, for what the library
// itself must get right with it: login refusal and flow control (the
// default server and a server going away are in streams_test.cpp). The
// call model itself is the simulator's to test.
#include <cstring>
#include <gtest/gtest.h>

#include "csta32/include/csta32.h"
#include "csta32/internal.h"
#include "embedded/switch_host.h"
#include "simulator/telsim.h"

namespace {

using embedded::SwitchHost;

struct Ev {
  union {
    CSTAEvent_t ev;
    char raw[2332];
  };
};

ACSHandle_t openOn(const char* server, const char* login, RetCode_t* rc = nullptr) {
  ACSHandle_t h = 0;
  RetCode_t r = acsOpenStream(&h, APP_GEN_ID, 1, ST_CSTA, server, login, "", "PROBIX",
                              ACS_LEVEL1, "TS1-2", 0, 0, 0, 0, nullptr);
  if (rc) *rc = r;
  return h;
}

RetCode_t next(ACSHandle_t h, Ev& e, bool block = true) {
  std::uint16_t size = sizeof e.raw;
  return block ? acsGetEventBlock(h, e.raw, &size, nullptr, nullptr)
               : acsGetEventPoll(h, e.raw, &size, nullptr, nullptr);
}

// Reads until an event of `type` (at most 50 events).
bool readUntil(ACSHandle_t h, EventType_t type, Ev& e) {
  for (int i = 0; i < 50; ++i) {
    if (next(h, e) != 0) return false;
    if (e.ev.eventHeader.eventType == type) return true;
  }
  return false;
}

}  // namespace

TEST(WithTheSwitch, LoginRefusalAndFlowControl) {
  telsim::Switch sw(telsim::defaultConfig(), true);
  SwitchHost host(sw);
  csta32::registerLocalHost("SIM", &host);
  Ev e;

  ACSHandle_t bad = openOn("SIM", "intruder");
  ASSERT_EQ(next(bad, e), 0);
  EXPECT_EQ(e.ev.eventHeader.eventType, ACS_UNIVERSAL_FAILURE_CONF);
  EXPECT_EQ(e.ev.event.acsConfirmation.u.failureEvent.error, TSERVER_BAD_PASSWORD_OR_LOGIN);
  EXPECT_EQ(next(bad, e), ACSERR_BADHDL);

  ACSHandle_t h = openOn("SIM", "Telvanix");
  ASSERT_EQ(next(h, e), 0);
  ASSERT_EQ(e.ev.eventHeader.eventType, ACS_OPEN_STREAM_CONF);

  // A device on as many calls as the switch allows (24, some held, some
  // ringing, one connected): its snapshot fits the console program's buffer.
  bool ok = false;
  for (int i = 0; i < 24; ++i) {
    // Alternately a number that goes nowhere and an extension that rings.
    std::string to = i % 2 ? std::to_string(202 + i / 2) : "2" + std::to_string(50 + i);
    sw.control("dial 201 " + to, &ok);
    ASSERT_TRUE(ok) << to;
    sw.control("hold 201", &ok);
    ASSERT_TRUE(ok);
  }
  ASSERT_EQ(cstaSnapshotDeviceReq(h, 5, "201", nullptr), 5);
  ASSERT_TRUE(readUntil(h, CSTA_SNAPSHOT_DEVICE_CONF, e));
  EXPECT_EQ(e.ev.event.cstaConfirmation.invokeID, 5u);
  const CSTASnapshotDeviceData_t& d = e.ev.event.cstaConfirmation.u.snapshotDevice.snapshotData;
  EXPECT_EQ(d.count, 24);
  for (int i = 0; i < d.count; ++i) {
    ASSERT_GE(d.info[i].getCallState.count, 1);
    EXPECT_NE(d.info[i].callIdentifier.callID, 0);
  }

  sw.control("refuse 2 nobuffers", &ok);
  ASSERT_TRUE(ok);
  EXPECT_EQ(cstaQueryDoNotDisturb(h, 6, "201", nullptr), ACSERR_NOBUFFERS);
  EXPECT_EQ(cstaQueryDoNotDisturb(h, 7, "201", nullptr), ACSERR_NOBUFFERS);
  EXPECT_EQ(cstaQueryDoNotDisturb(h, 8, "201", nullptr), 8);
  ASSERT_TRUE(readUntil(h, CSTA_QUERY_DND_CONF, e));
  EXPECT_EQ(e.ev.event.cstaConfirmation.invokeID, 8u);

  acsAbortStream(h, nullptr);
  EXPECT_EQ(sw.sessionCount(), 0u);
  csta32::abortAllStreams();
  csta32::registerLocalHost("SIM", nullptr);
}
