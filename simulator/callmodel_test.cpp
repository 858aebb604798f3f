// The call model seen from client streams: which events each monitor gets,
// in which order, with which causes and local states.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "platform/net.h"
#include "private/telvanix_private.h"
#include "simulator/test_client.h"

using telsim_test::Client;
using telsim_test::describe;
using telsim_test::ofMonitor;

namespace {

struct CallModel : ::testing::Test {
  telsim::Switch sw{telsim::defaultConfig(), true};
  Client a{sw};
  Client b{sw};
  void SetUp() override {
    ASSERT_EQ(a.open().eventType(), ACS_OPEN_STREAM_CONF);
    ASSERT_EQ(b.open().eventType(), ACS_OPEN_STREAM_CONF);
  }
  std::string ctl(const std::string& line) {
    bool ok = false;
    std::string out = sw.control(line, &ok);
    EXPECT_TRUE(ok) << line << ": " << out;
    return out;
  }
};

TEST_F(CallModel, LoginIsCheckedAndVersionScans) {
  Client c(sw);
  wire::Event bad = c.open("Telvanix", "wrong");
  ASSERT_EQ(bad.eventClass(), ACSCONFIRMATION);
  ASSERT_EQ(bad.eventType(), ACS_UNIVERSAL_FAILURE_CONF);
  EXPECT_EQ(bad.ev.event.acsConfirmation.u.failureEvent.error, TSERVER_BAD_PASSWORD_OR_LOGIN);
  // Refused: requests still find no stream.
  c.send(Client::dev(wire::Op::QueryDnd, "201"));
  std::vector<wire::Event> v = c.take();
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0].eventType(), ACS_UNIVERSAL_FAILURE_CONF);

  wire::Event good = c.open("TELVANIX", "");  // the login ignores case
  ASSERT_EQ(good.eventType(), ACS_OPEN_STREAM_CONF);
  int major = 0, minor = 0, edit = 0;
  EXPECT_EQ(std::sscanf(good.ev.event.acsConfirmation.u.acsopen.drvrVer, " %d.%d-%d", &major, &minor, &edit), 3);
  EXPECT_GE(major, 3);  // call logging passes the trunk on only above 2
  EXPECT_EQ(wire::invokeIDOf(good), 3u);
}

TEST_F(CallModel, MakeCallSeenByMonitorsOnBothExtensions) {
  CSTAMonitorCrossRefID_t m201 = a.monitor("201");
  CSTAMonitorCrossRefID_t m202 = b.monitor("x1#2");  // by physical name, any case
  ASSERT_EQ(m201, 1u);
  ASSERT_EQ(m202, 1u);  // cross-references count per stream

  std::int32_t call = a.makeCall("201", "202");
  ASSERT_EQ(call, 1);
  EXPECT_EQ(describe(a.take()), "SI:201@I ORIG:201@C DELIV:202@C");
  std::vector<wire::Event> seen = b.take();
  EXPECT_EQ(describe(seen), "DELIV:202@A");
  const CSTADeliveredEvent_t& d = seen[0].ev.event.cstaUnsolicited.u.delivered;
  EXPECT_EQ(wire::deviceString(d.callingDevice.deviceID), "201");
  EXPECT_EQ(wire::deviceString(d.calledDevice.deviceID), "202");
  EXPECT_EQ(d.lastRedirectionDevice.deviceIDStatus, ID_NOT_KNOWN);
  EXPECT_EQ(d.cause, EC_NEW_CALL);
  EXPECT_EQ(d.connection.callID, call);

  b.send(Client::conn(wire::Op::AnswerCall, call, "202"));
  EXPECT_EQ(describe(b.take()), "CONF4 EST:202@C");
  EXPECT_EQ(describe(a.take()), "EST:202@C");

  a.send(Client::conn(wire::Op::ClearConnection, call, "201"));
  EXPECT_EQ(describe(a.take()), "CONF10 CONNCLR:201@0 CALLCLR@0");
  std::vector<wire::Event> end = b.take();
  EXPECT_EQ(describe(end), "CONNCLR:201@C CALLCLR@0");
  EXPECT_EQ(end[0].ev.event.cstaUnsolicited.u.connectionCleared.cause, EC_NONE);
  EXPECT_EQ(sw.callCount(), 0u);
}

TEST_F(CallModel, CallerGivingUpCancelsAndSnapshotsFollowTheCall) {
  a.monitor("202");
  std::int32_t call = a.makeCall("201", "202");
  a.take();
  a.send(Client::dev(wire::Op::SnapshotDevice, "202"));
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(v.size(), 1u);
  ASSERT_EQ(v[0].deviceSnapshot.size(), 1u);
  // The device's own state comes first.
  EXPECT_EQ(v[0].deviceSnapshot[0].states, (std::vector<LocalConnectionState_t>{CS_ALERTING, CS_CONNECT}));
  a.send(Client::conn(wire::Op::SnapshotCall, call, ""));
  v = a.take();
  ASSERT_EQ(v[0].callSnapshot.size(), 2u);
  EXPECT_EQ(wire::deviceString(v[0].callSnapshot[1].deviceOnCall.deviceID), "202");
  EXPECT_EQ(v[0].callSnapshot[1].localConnectionState, CS_ALERTING);

  ctl("hangup 201");
  v = a.take();
  ASSERT_EQ(describe(v), "CONNCLR:201@A CALLCLR@0");
  EXPECT_EQ(v[0].ev.event.cstaUnsolicited.u.connectionCleared.cause, EC_CALL_CANCELLED);
  a.send(Client::conn(wire::Op::SnapshotCall, call, ""));
  EXPECT_EQ(describe(a.take()), "FAIL(11)");
}

TEST_F(CallModel, ConsultationAndTransfer) {
  CSTAMonitorCrossRefID_t m201 = a.monitor("201");
  CSTAMonitorCrossRefID_t m203 = a.monitor("203");
  std::int32_t first = a.makeCall("201", "202");
  ctl("answer 202");
  a.take();

  wire::Request consult = Client::conn(wire::Op::ConsultationCall, first, "201");
  consult.device = "203";
  a.send(consult);
  std::vector<wire::Event> v = a.take();
  ASSERT_FALSE(v.empty());
  // The first call is held before the consultation call starts.
  EXPECT_EQ(describe(v), "HELD:201@H CONF14 SI:201@I ORIG:201@C DELIV:203@C DELIV:203@A");
  std::int32_t second = v[1].ev.event.cstaConfirmation.u.consultationCall.newCall.callID;
  EXPECT_EQ(second, 2);
  ctl("answer 203");
  a.take();

  wire::Request xfer = Client::conn(wire::Op::TransferCall, first, "201");
  xfer.call2 = wire::connection(second, "201");
  a.send(xfer);
  v = a.take();
  ASSERT_EQ(v.size(), 5u);
  // The consultation call is gone: both monitors saw it, both see it cleared.
  EXPECT_EQ(describe(ofMonitor(v, m201)), "XFER:201@0 CALLCLR@0");
  EXPECT_EQ(describe(ofMonitor(v, m203)), "XFER:201@C CALLCLR@0");
  const CSTACallClearedEvent_t& gone = v[2].ev.event.cstaUnsolicited.u.callCleared;
  EXPECT_EQ(gone.clearedCall.callID, second);
  EXPECT_EQ(gone.cause, EC_TRANSFER);
  const CSTATransferredEvent_t& t = v[0].ev.event.cstaUnsolicited.u.transferred;
  EXPECT_EQ(t.primaryOldCall.callID, first);
  EXPECT_EQ(t.secondaryOldCall.callID, second);
  EXPECT_EQ(wire::deviceString(t.transferredDevice.deviceID), "203");
  EXPECT_EQ(t.cause, EC_TRANSFER);
  ASSERT_EQ(v[0].connections.size(), 2u);
  EXPECT_EQ(wire::deviceString(v[0].connections[0].party.deviceID), "202");
  EXPECT_EQ(wire::deviceString(v[0].connections[1].party.deviceID), "203");
  EXPECT_EQ(v[0].connections[1].party.callID, first);
  ASSERT_EQ(v[4].eventType(), CSTA_TRANSFER_CALL_CONF);
  EXPECT_EQ(v[4].ev.event.cstaConfirmation.u.transferCall.newCall.callID, first);
  EXPECT_EQ(v[4].connections.size(), 2u);

  // 201 is free again; 202 and 203 talk on the first call.
  a.send(Client::dev(wire::Op::SnapshotDevice, "201"));
  v = a.take();
  EXPECT_TRUE(v[0].deviceSnapshot.empty());
  EXPECT_EQ(sw.callCount(), 1u);
  ctl("hangup 203");
  EXPECT_EQ(describe(a.take()), "CONNCLR:203@0 CALLCLR@0");
}

TEST_F(CallModel, ConferenceKeepsGoingUntilOnePartyIsLeft) {
  CSTAMonitorCrossRefID_t m202 = b.monitor("202");
  std::int32_t first = a.makeCall("201", "202");
  ctl("answer 202");
  a.send(Client::conn(wire::Op::HoldCall, first, "201"));
  std::int32_t second = a.makeCall("201", "203");
  ASSERT_NE(second, 0);
  ctl("answer 203");
  b.take();
  a.take();

  wire::Request conf = Client::conn(wire::Op::ConferenceCall, first, "201");
  conf.call2 = wire::connection(second, "201");
  a.send(conf);
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(describe(v), "CONF12");
  EXPECT_EQ(v[0].connections.size(), 3u);
  v = b.take();
  ASSERT_EQ(describe(v), "CONF:201@C");
  EXPECT_EQ(wire::deviceString(v[0].ev.event.cstaUnsolicited.u.conferenced.addedParty.deviceID), "203");
  EXPECT_EQ(v[0].connections.size(), 3u);
  EXPECT_EQ(v[0].ev.event.cstaUnsolicited.monitorCrossRefId, m202);

  ctl("hangup 201");
  EXPECT_EQ(describe(b.take()), "CONNCLR:201@C");
  EXPECT_EQ(sw.callCount(), 1u);
  ctl("hangup 203");
  EXPECT_EQ(describe(b.take()), "CONNCLR:203@C CALLCLR@0");
}

TEST_F(CallModel, OutsideCallsThroughTrunks) {
  a.monitor("201");
  CSTAMonitorCrossRefID_t trunk = b.monitor("L1#1");
  std::int32_t call = a.makeCall("201", "95551234");
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(describe(v), "SI:201@I ORIG:201@C NETREACH:L1#1@C");
  const CSTANetworkReachedEvent_t& n = v[2].ev.event.cstaUnsolicited.u.networkReached;
  EXPECT_EQ(wire::deviceString(n.trunkUsed.deviceID), "L1#1");
  EXPECT_EQ(n.trunkUsed.deviceIDType, TRUNK_IDENTIFIER);
  EXPECT_EQ(wire::deviceString(n.calledDevice.deviceID), "95551234");
  EXPECT_EQ(describe(ofMonitor(b.take(), trunk)), "NETREACH:L1#1@C");

  // Every line taken: the next outside call fails for want of a trunk.
  for (int i = 2; i <= 8; ++i) ctl("dialin L1#" + std::to_string(i) + " 5550000 299");
  a.monitor("202");
  a.makeCall("202", "5551212");
  v = a.take();
  ASSERT_EQ(describe(v), "SI:202@I ORIG:202@C FAILED:5551212@C");
  EXPECT_EQ(v[2].ev.event.cstaUnsolicited.u.failed.cause, EC_TRUNKS_BUSY);
  ctl("hangup 202");
  ctl("hangup L1#1 " + std::to_string(call));  // the far end hangs up
  EXPECT_EQ(describe(a.take()), "CONNCLR:202@0 CALLCLR@0 CONNCLR:L1#1@C CALLCLR@0");
  EXPECT_EQ(describe(b.take()), "CONNCLR:L1#1@0 CALLCLR@0");
}

TEST_F(CallModel, OutsideCallerDialsInAndVoicePortAnswersItself) {
  CSTAMonitorCrossRefID_t m = a.monitor("401");
  ctl("dialin L1#3 5551234 401 \"Ann Smith\"");
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(describe(v), "DELIV:401@A");
  const CSTADeliveredEvent_t& d = v[0].ev.event.cstaUnsolicited.u.delivered;
  EXPECT_EQ(wire::deviceString(d.callingDevice.deviceID), "5551234");
  EXPECT_EQ(d.callingDevice.deviceIDType, IMPLICIT_PUBLIC);
  EXPECT_EQ(v[0].ev.event.cstaUnsolicited.monitorCrossRefId, m);

  // Voice ports answer after two rings of three seconds.
  sw.advance(5999);
  EXPECT_TRUE(a.take().empty());
  sw.advance(1);
  EXPECT_EQ(describe(a.take()), "EST:401@C");
  ctl("autoanswer 202 1");
  ctl("dialin * 5550001 202");  // the first free line
  EXPECT_EQ(ctl("calls"), "call 1: L1#3=5551234(C) 401(C)\ncall 2: L1#1=5550001(C) 202(A)\n");
  sw.advance(3000);
  EXPECT_EQ(ctl("calls"), "call 1: L1#3=5551234(C) 401(C)\ncall 2: L1#1=5550001(C) 202(C)\n");
}

TEST_F(CallModel, BusyUnknownAndDoNotDisturbFail) {
  a.monitor("201");
  a.makeCall("202", "203");  // 202 is now busy
  a.take();
  std::int32_t call = a.makeCall("201", "202");
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(describe(v), "SI:201@I ORIG:201@C FAILED:202@C");
  EXPECT_EQ(v[2].ev.event.cstaUnsolicited.u.failed.cause, EC_BUSY);
  // The caller stays on the call (hearing busy tone) until it hangs up.
  a.send(Client::conn(wire::Op::ClearCall, call, ""));
  EXPECT_EQ(describe(a.take()), "CONF8 CALLCLR@0");

  a.makeCall("201", "299");
  v = a.take();
  ASSERT_EQ(describe(v), "SI:201@I ORIG:201@C FAILED:299@C");
  EXPECT_EQ(v[2].ev.event.cstaUnsolicited.u.failed.cause, EC_DEST_NOT_OBTAINABLE);
  ctl("hangup 201");
  a.take();

  b.monitor("205");
  b.send(Client::dev(wire::Op::SetDnd, "205"));
  wire::Request on = Client::dev(wire::Op::SetDnd, "205");
  on.flag = true;
  b.send(on);
  b.send(on);  // no change, no event
  EXPECT_EQ(describe(b.take()), "CONF46 CONF46 DND:on CONF46");
  a.makeCall("201", "205");
  v = a.take();
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[2].ev.event.cstaUnsolicited.u.failed.cause, EC_DO_NOT_DISTURB);
  b.send(Client::dev(wire::Op::QueryDnd, "205"));
  v = b.take();
  EXPECT_EQ(describe(v), "FAILED:205@F CONF30");
  EXPECT_EQ(v[1].ev.event.cstaConfirmation.u.queryDnd.doNotDisturb, 1);
}

TEST_F(CallModel, ForwardingAndDeflection) {
  CSTAMonitorCrossRefID_t m = a.monitor("203");
  ctl("forward 202 immediate 203");
  ctl("forward 204 noanswer 206");
  a.send(Client::dev(wire::Op::QueryFwd, "202"));
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(v.size(), 1u);
  const ListForwardParameters_t& l = v[0].ev.event.cstaConfirmation.u.queryFwd.queryFwd;
  ASSERT_EQ(l.count, 1);
  EXPECT_EQ(l.param[0].forwardingType, FWD_IMMEDIATE);
  EXPECT_EQ(l.param[0].forwardingOn, 1);
  EXPECT_EQ(wire::deviceString(l.param[0].forwardDN), "203");

  std::int32_t call = b.makeCall("201", "202");
  v = a.take();
  ASSERT_EQ(describe(v), "DELIV:203@A");
  const CSTADeliveredEvent_t& d = v[0].ev.event.cstaUnsolicited.u.delivered;
  EXPECT_EQ(wire::deviceString(d.lastRedirectionDevice.deviceID), "202");
  EXPECT_EQ(wire::deviceString(d.calledDevice.deviceID), "202");
  EXPECT_EQ(d.cause, EC_CALL_FORWARD_ALWAYS);
  (void)m;

  // 203 deflects the call to 204, which forwards it after four rings.
  wire::Request deflect = Client::conn(wire::Op::DeflectCall, call, "203");
  deflect.device = "204";
  b.send(deflect);
  EXPECT_EQ(describe(b.take()), "CONF16");
  EXPECT_EQ(describe(a.take()), "DIV:203>204");
  b.monitor("206");
  sw.advance(4 * 3000);
  v = b.take();
  ASSERT_EQ(describe(v), "DELIV:206@A");
  EXPECT_EQ(v[0].ev.event.cstaUnsolicited.u.delivered.cause, EC_CALL_FORWARD_NO_ANSWER);
  EXPECT_EQ(ctl("calls"), "call 1: 201(C) 206(A)\n");

  // A forwarding loop ends at the fourth hop instead of running forever.
  ctl("forward 207 immediate 208");
  ctl("forward 208 immediate 207");
  b.makeCall("209", "207");
  EXPECT_EQ(ctl("calls"), "call 1: 201(C) 206(A)\ncall 2: 209(C) 207(A)\n");
}

TEST_F(CallModel, FiltersKeepEventsAway) {
  CSTAMonitorFilter_t f = {};
  f.call = CF_SERVICE_INITIATED | CF_ORIGINATED;
  f.feature = FF_MESSAGE_WAITING;
  CSTAMonitorCrossRefID_t filtered = a.monitor("201", f);
  CSTAMonitorCrossRefID_t plain = a.monitor("201");
  a.makeCall("201", "202");
  std::vector<wire::Event> v = a.take();
  EXPECT_EQ(describe(ofMonitor(v, filtered)), "DELIV:202@C");
  EXPECT_EQ(describe(ofMonitor(v, plain)), "SI:201@I ORIG:201@C DELIV:202@C");
  ctl("mwi 201 on");
  ctl("dnd 201 on");
  v = a.take();
  EXPECT_EQ(describe(ofMonitor(v, filtered)), "DND:on");
  EXPECT_EQ(describe(ofMonitor(v, plain)), "MWI:on DND:on");

  // Stopped monitors see nothing more; a second stop is refused.
  wire::Request stop;
  stop.op = wire::Op::MonitorStop;
  stop.crossRefID = plain;
  a.send(stop);
  a.send(stop);
  EXPECT_EQ(describe(a.take()), "CONF118 FAIL(17)");
  ctl("dnd 201 off");
  EXPECT_EQ(describe(a.take()), "DND:off");
}

TEST_F(CallModel, CallMonitorFollowsTheCallAndEndsWithIt) {
  std::int32_t first = a.makeCall("201", "202");
  ctl("answer 202");
  wire::Request mon = Client::conn(wire::Op::MonitorCall, 0, "");
  b.send(mon);
  EXPECT_EQ(describe(b.take()), "FAIL(11)");
  mon.call.callID = first;
  b.send(mon);
  b.take();

  a.send(Client::conn(wire::Op::HoldCall, first, "201"));
  std::int32_t second = a.makeCall("201", "203");
  ctl("answer 203");
  wire::Request xfer = Client::conn(wire::Op::TransferCall, first, "201");
  xfer.call2 = wire::connection(second, "201");
  a.send(xfer);
  ctl("hangup 202");
  // The subject's state: held, then gone from the joined call.
  EXPECT_EQ(describe(b.take()), "HELD:201@H XFER:201@0 CONNCLR:202@0 CALLCLR@0 ENDED");
}

TEST_F(CallModel, RequestsThatCannotBeDone) {
  std::int32_t call = a.makeCall("201", "202");
  a.take();
  struct Case {
    wire::Request r;
    CSTAUniversalFailure_t error;
  } cases[] = {
      {Client::conn(wire::Op::AnswerCall, 99, "202"), INVALID_CSTA_CALL_IDENTIFIER},
      {Client::conn(wire::Op::AnswerCall, call, "201"), NO_CALL_TO_ANSWER},
      {Client::conn(wire::Op::HoldCall, call, "202"), NO_ACTIVE_CALL},
      {Client::conn(wire::Op::RetrieveCall, call, "201"), NO_HELD_CALL},
      {Client::conn(wire::Op::ClearConnection, call, "203"), INVALID_CSTA_CONNECTION_IDENTIFIER},
      {Client::conn(wire::Op::ClearConnection, call, "nosuch"), INVALID_CSTA_DEVICE_IDENTIFIER},
      {Client::dev(wire::Op::SnapshotDevice, "X1#99"), INVALID_CSTA_DEVICE_IDENTIFIER},
      {Client::dev(wire::Op::MonitorDevice, "x1#17"), INVALID_CSTA_DEVICE_IDENTIFIER},
      {Client::dev(wire::Op::MakeCall, "201", "203"), RESOURCE_BUSY},
      {Client::dev(wire::Op::MakeCall, "L1#1", "201"), INVALID_CALLING_DEVICE},
      {Client::dev(wire::Op::MakeCall, "203", ""), INVALID_CALLED_DEVICE},
      {Client::conn(wire::Op::DeflectCall, call, "201"), INVALID_OBJECT_STATE},
  };
  for (const Case& c : cases) {
    a.send(c.r);
    std::vector<wire::Event> v = a.take();
    ASSERT_EQ(v.size(), 1u) << wire::opName(c.r.op);
    ASSERT_EQ(v[0].eventType(), CSTA_UNIVERSAL_FAILURE_CONF) << wire::opName(c.r.op);
    EXPECT_EQ(v[0].ev.event.cstaConfirmation.u.universalFailure.error, c.error) << wire::opName(c.r.op);
    EXPECT_EQ(wire::invokeIDOf(v[0]), a.nextInvoke - 1);
  }
  // Transfer with nothing held: 201 is talking, not holding.
  std::int32_t other = b.makeCall("204", "205");
  wire::Request xfer = Client::conn(wire::Op::TransferCall, call, "201");
  xfer.call2 = wire::connection(other, "201");
  a.send(xfer);
  EXPECT_EQ(describe(a.take()), "FAIL(13)");
  EXPECT_EQ(sw.callCount(), 2u);
}

TEST_F(CallModel, ADeviceIsOnTwentyFourCallsAtMost) {
  // Dial a number that goes nowhere, hold, and again: a client snapshotting
  // the device must never get more calls than it can show.
  for (int i = 0; i < 24; ++i) {
    ctl("dial 201 2" + std::to_string(50 + i));
    ctl("hold 201");
  }
  bool ok = true;
  sw.control("dial 201 299", &ok);
  EXPECT_FALSE(ok);
  a.send(Client::dev(wire::Op::MakeCall, "201", "202"));
  EXPECT_EQ(describe(a.take()), "FAIL(33)");
  a.send(Client::dev(wire::Op::SnapshotDevice, "201"));
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0].deviceSnapshot.size(), 24u);
  // A consultation that cannot be made leaves the first call as it was.
  ctl("retrieve 201 24");
  a.monitor("201");
  wire::Request consult = Client::conn(wire::Op::ConsultationCall, 24, "201");
  consult.device = "202";
  a.send(consult);
  EXPECT_EQ(describe(a.take()), "HELD:201@H RETR:201@C FAIL(33)");
  // Nor is it offered a 25th call: it counts as busy.
  ctl("dialin L1#1 5551234 201");
  EXPECT_NE(ctl("calls").find("L1#1=5551234(C) 201(F)"), std::string::npos);
  a.send(Client::dev(wire::Op::SnapshotDevice, "201"));
  EXPECT_EQ(a.take()[0].deviceSnapshot.size(), 24u);
}

TEST_F(CallModel, DigitsReachStreamsThatWantThem) {
  wire::Request start;
  start.op = wire::Op::EscapeService;
  std::uint8_t msg[300] = {};
  msg[0] = 1;  // start private status
  wire::setPrivate(start.priv, "Telvanix Version 1.0", msg, sizeof msg);
  a.send(start);
  b.send(start);
  EXPECT_EQ(describe(a.take()), "CONF90");
  b.take();
  CSTAMonitorFilter_t noDigits = {};
  noDigits.privateFilter = PF_DTMF;
  a.monitor("201");
  b.monitor("202", noDigits);

  std::int32_t call = a.makeCall("201", "202");
  ctl("answer 202");
  a.take();
  b.take();
  ctl("dtmf 202 12#");
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(describe(v), "PRIVATE");
  ASSERT_TRUE(v[0].priv.present);
  const std::vector<std::uint8_t>& p = v[0].priv.data;
  ASSERT_GE(p.size(), 300u - 34u);
  EXPECT_EQ(p[0], 22);  // digits seen
  EXPECT_EQ(p[2] | (p[3] << 8), call);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[6]), 3), "202");
  EXPECT_EQ(p[72] | (p[73] << 8), 3);  // count
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&p[78]), 3), "12#");
  EXPECT_TRUE(b.take().empty());  // its filter keeps digits away

  bool ok = true;
  sw.control("dtmf 203 1", &ok);
  EXPECT_FALSE(ok);
  sw.control("dtmf 201 1x", &ok);
  EXPECT_FALSE(ok);
}

// A play-digits request built the way probix32 builds it (334-byte record,
// 299 bytes carried).
wire::Request playDigits(std::int32_t call, const char* device, const char* digits) {
  TelvanixPrivateMessage m;
  buildPrivateMessage(&m, kqPvtPlayDigits, call, device);
  fillPlayDigits(&m.digits, digits);
  wire::Request r;
  r.op = wire::Op::EscapeService;
  wire::setPrivate(r.priv, asPrivateData(&m));
  return r;
}

std::string receivedDigits(const TelvanixPrivateDTMF& d) {
  return std::string(d.digits, static_cast<size_t>(privateDigitsPresent(&d)));
}

// The private message an event carries, read as a client reads it.
TelvanixPrivateMessage privateOf(const wire::Event& e) {
  TelvanixPrivateMessage m;
  std::vector<std::uint8_t> bytes(e.priv.vendor, e.priv.vendor + 32);
  bytes.push_back(static_cast<std::uint8_t>(e.priv.data.size()));
  bytes.push_back(static_cast<std::uint8_t>(e.priv.data.size() >> 8));
  bytes.insert(bytes.end(), e.priv.data.begin(), e.priv.data.end());
  EXPECT_TRUE(readPrivateBytes(bytes.data(), bytes.size(), &m));
  return m;
}

TEST_F(CallModel, PlayDigitsAreConfirmedAndHeardOnTheCall) {
  wire::Request start;
  start.op = wire::Op::EscapeService;
  std::uint8_t msg[300] = {};
  msg[0] = 1;  // start private status
  wire::setPrivate(start.priv, "Telvanix Version 1.0", msg, sizeof msg);
  b.send(start);
  b.monitor("202");
  std::int32_t call = a.makeCall("201", "202");
  ctl("answer 202");
  a.take();
  b.take();

  a.send(playDigits(call, "x1#1", "12#"));  // the player by physical name
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(describe(v), "CONF90");
  TelvanixPrivateMessage reply = privateOf(v[0]);
  EXPECT_EQ(static_cast<int>(reply.header.msgType), kqPvtPlayDigits);
  EXPECT_EQ(receivedDigits(reply.digits), "12#");
  // 202 hears them from 201's side of the call.
  v = b.take();
  ASSERT_EQ(describe(v), "PRIVATE");
  TelvanixPrivateMessage seen = privateOf(v[0]);
  EXPECT_EQ(static_cast<int>(seen.header.msgType), kqPvtDigitsSeen);
  EXPECT_EQ(getPrivateText(seen.header.connection.deviceID), "201");
  EXPECT_EQ(receivedDigits(seen.digits), "12#");

  // 64 of seventy digits are carried; what no tone stands for is left out,
  // and the reply says what was played.
  a.send(playDigits(call, "201", std::string(70, '7').c_str()));
  a.send(playDigits(call, "201", "555-12 3a,*"));
  v = a.take();
  ASSERT_EQ(describe(v), "CONF90 CONF90");
  EXPECT_EQ(receivedDigits(privateOf(v[0]).digits), std::string(64, '7'));
  EXPECT_EQ(receivedDigits(privateOf(v[1]).digits), "555123A*");

  // Nothing is played, and nothing claimed, where no party can play.
  a.send(playDigits(call + 50, "201", "1"));
  a.send(playDigits(call, "203", "1"));
  a.send(Client::conn(wire::Op::HoldCall, call, "201"));
  a.send(playDigits(call, "201", "1"));
  EXPECT_EQ(describe(a.take()), "FAIL(11) FAIL(13) CONF22 FAIL(22)");
}

TEST_F(CallModel, JoinedCallsClearTheCallThatDisappears) {
  // 201 talks to 202, consults 203 and conferences: call 2 is gone.
  CSTAMonitorCrossRefID_t m203 = b.monitor("203");
  std::int32_t first = a.makeCall("201", "202");
  ctl("answer 202");
  wire::Request consult = Client::conn(wire::Op::ConsultationCall, first, "201");
  consult.device = "203";
  a.send(consult);
  ctl("answer 203");
  const std::int32_t second = 2;
  b.send(Client::conn(wire::Op::MonitorCall, second, ""));
  a.take();
  b.take();

  wire::Request conf = Client::conn(wire::Op::ConferenceCall, first, "201");
  conf.call2 = wire::connection(second, "201");
  a.send(conf);
  std::vector<wire::Event> v = b.take();
  // Call logging links the old calls on CONFERENCED: the clearing comes after.
  ASSERT_EQ(describe(v), "CONF:201@C CONF:201@C CALLCLR@0 CALLCLR@0 ENDED");
  EXPECT_EQ(describe(ofMonitor(v, m203)), "CONF:201@C CALLCLR@0");
  const CSTACallClearedEvent_t& gone = v[2].ev.event.cstaUnsolicited.u.callCleared;
  EXPECT_EQ(gone.clearedCall.callID, second);
  EXPECT_EQ(gone.cause, EC_KEY_CONFERENCE);

  // A transfer that leaves one party alone clears both calls, the
  // consultation call first.
  ctl("hangup 202");
  ctl("hangup 203");
  std::int32_t held = a.makeCall("204", "95551234");
  a.send(Client::conn(wire::Op::HoldCall, held, "204"));
  ctl("dial 204 299");  // reaches no one: 204 alone on it
  a.monitor("204");
  a.monitor("L1#1");
  a.take();
  wire::Request xfer = Client::conn(wire::Op::TransferCall, held, "204");
  xfer.call2 = wire::connection(held + 1, "204");
  a.send(xfer);
  v = a.take();
  ASSERT_EQ(describe(v), "XFER:204@0 XFER:204@C CALLCLR@0 CALLCLR@0 CONF52");
  EXPECT_EQ(v[2].ev.event.cstaUnsolicited.u.callCleared.clearedCall.callID, held + 1);
  EXPECT_EQ(v[3].ev.event.cstaUnsolicited.u.callCleared.clearedCall.callID, held);
}

TEST_F(CallModel, DevicesAnswerToTheirPhysicalNames) {
  // The bulk reports ask for more than there are: every unknown device gets
  // its own failure, in order.
  const InvokeID_t firstInvoke = a.nextInvoke;
  for (int i = 1; i <= 18; ++i) a.send(Client::dev(wire::Op::SnapshotDevice, ("X1#" + std::to_string(i)).c_str()));
  for (int i = 1; i <= 6; ++i) a.send(Client::dev(wire::Op::SnapshotDevice, ("L1#" + std::to_string(i)).c_str()));
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(v.size(), 24u);
  for (size_t i = 0; i < v.size(); ++i) {
    EXPECT_EQ(wire::invokeIDOf(v[i]), firstInvoke + i);
    EXPECT_EQ(describe(v[i]), i == 16 || i == 17 ? "FAIL(12)" : "CONF123") << i;
  }

  CSTAMonitorCrossRefID_t m = a.monitor("x1#3");
  std::int32_t call = a.makeCall("X1#2", "X1#3");
  a.send(Client::conn(wire::Op::AnswerCall, call, "X1#3"));
  a.send(Client::dev(wire::Op::QueryDeviceInfo, "L1#2"));
  a.send(Client::conn(wire::Op::ClearConnection, call, "X1#2"));
  v = a.take();
  // Events name devices by number.
  EXPECT_EQ(describe(ofMonitor(v, m)), "DELIV:203@A EST:203@C CONNCLR:202@C CALLCLR@0");
  EXPECT_EQ(describe(v), "DELIV:203@A CONF4 EST:203@C CONF38 CONF10 CONNCLR:202@C CALLCLR@0");
}

TEST_F(CallModel, MonitorsOfOneStreamSeeAnEventInTheOrderTheyStarted) {
  std::int32_t call = a.makeCall("201", "202");
  a.take();
  wire::Request mon = Client::conn(wire::Op::MonitorCall, call, "");
  a.send(mon);  // cross-reference 1: the call
  a.take();
  const CSTAMonitorCrossRefID_t dev = a.monitor("202");  // 2: the device
  ASSERT_EQ(dev, 2u);
  ctl("answer 202");
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].ev.event.cstaUnsolicited.monitorCrossRefId, 1u);
  EXPECT_EQ(v[1].ev.event.cstaUnsolicited.monitorCrossRefId, 2u);
  // A stopped monitor hears nothing more; the call's ends with the call.
  wire::Request stop = Client::conn(wire::Op::MonitorStop, 0, "");
  stop.crossRefID = dev;
  a.send(stop);
  a.send(stop);
  EXPECT_EQ(describe(a.take()), "CONF118 FAIL(17)");
  ctl("hangup 201");
  EXPECT_EQ(describe(a.take()), "CONNCLR:201@0 CALLCLR@0 ENDED");
  ctl("dial 201 202");
  EXPECT_EQ(describe(a.take()), "");
}

TEST(Devices, TheFirstDeviceOfANumberOrNameIsFound) {
  telsim::Config cfg = telsim::defaultConfig();
  telsim::DeviceConfig odd;
  odd.number = "X1#3";  // a number that is another phone's name
  odd.physName = "X9#1";
  cfg.devices.push_back(odd);
  telsim::Switch sw(cfg, true);
  telsim_test::Client c(sw);
  ASSERT_EQ(c.open().eventType(), ACS_OPEN_STREAM_CONF);
  const CSTAMonitorCrossRefID_t m = c.monitor("X1#3");
  c.makeCall("201", "203");
  EXPECT_EQ(describe(ofMonitor(c.take(), m)), "DELIV:203@A");
  const CSTAMonitorCrossRefID_t n = c.monitor("x9#1");
  EXPECT_NE(n, 0u);
  c.makeCall("202", "x9#1");
  EXPECT_EQ(describe(ofMonitor(c.take(), n)), "DELIV:X1#3@A");
}

TEST_F(CallModel, DelayedConfirmationsAndDeterministicIDs) {
  ctl("delay 250");
  a.send(Client::dev(wire::Op::QueryMwi, "201"));
  EXPECT_TRUE(a.take().empty());
  sw.advance(249);
  EXPECT_TRUE(a.take().empty());
  sw.advance(1);
  EXPECT_EQ(describe(a.take()), "CONF28");
  ctl("delay 0");

  a.makeCall("201", "202");
  a.makeCall("203", "204");
  sw.reset();  // streams dropped, IDs start over
  EXPECT_TRUE(a.dropped);
  EXPECT_EQ(sw.callCount(), 0u);
  Client c(sw);
  c.open();
  EXPECT_EQ(c.monitor("201"), 1u);
  EXPECT_EQ(c.makeCall("201", "202"), 1);
}

TEST_F(CallModel, ServerTroubleOnDemand) {
  ctl("drop " + std::to_string(a.id));
  EXPECT_TRUE(a.dropped);
  EXPECT_FALSE(b.dropped);
  EXPECT_EQ(sw.sessionCount(), 1u);

  // The client library learns to refuse the next requests itself.
  ctl("refuse 2 queue_full " + std::to_string(b.id));
  EXPECT_TRUE(b.take().empty());  // not an event the application would see
  ASSERT_EQ(b.controls.size(), 1u);
  EXPECT_EQ(b.controls[0].refuse, ACSERR_QUEUE_FULL);
  EXPECT_EQ(b.controls[0].count, 2u);

  ctl("down");
  EXPECT_TRUE(b.dropped);
  Client refused(sw);
  EXPECT_EQ(refused.id, 0u);
  ctl("up");
  Client back(sw);
  EXPECT_NE(back.id, 0u);
  EXPECT_EQ(back.open().eventType(), ACS_OPEN_STREAM_CONF);
}

// Trouble at a chosen moment: after so many requests (the last one still
// answered), or at a time on the switch's clock.
TEST_F(CallModel, PutOffCommandsRunWhenTheirMomentComes) {
  ctl("after 2 drop " + std::to_string(a.id));
  ctl("at 500 dnd 201 on");
  a.send(Client::dev(wire::Op::QueryMwi, "201"));
  EXPECT_FALSE(a.dropped);
  b.send(Client::dev(wire::Op::QueryMwi, "201"));  // every stream's requests count
  EXPECT_TRUE(a.dropped);
  EXPECT_EQ(describe(a.take()), "CONF28");
  EXPECT_EQ(describe(b.take()), "CONF28");

  sw.advance(499);
  EXPECT_EQ(sw.control("devices").find("201    X1#1   extension dnd"), std::string::npos);
  sw.advance(1);
  EXPECT_NE(sw.control("devices").find("201    X1#1   extension dnd"), std::string::npos);

  // Counted from when the line ran; a reset forgets what is still waiting.
  ctl("after 1 after 1 drop all");
  b.send(Client::dev(wire::Op::QueryMwi, "201"));
  EXPECT_FALSE(b.dropped);
  b.send(Client::dev(wire::Op::QueryMwi, "201"));
  EXPECT_TRUE(b.dropped);
  ctl("at 100 dial 202 203");
  ctl("after 1 dial 203 204");
  sw.reset();
  Client c(sw);
  c.open();
  sw.advance(1000);
  EXPECT_EQ(sw.callCount(), 0u);

  const char* bad[] = {"at", "at 100", "at soon drop all", "after 0 drop all", "after 2 wait 10",
                       "at 5 ADVANCE 100"};
  for (const char* line : bad) {
    bool ok = true;
    std::string out = sw.control(line, &ok);
    EXPECT_FALSE(ok) << line;
    EXPECT_EQ(out.compare(0, 2, "? "), 0) << line << ": " << out;
  }
}

TEST_F(CallModel, MalformedFramesAreDroppedQuietly) {
  std::vector<std::uint8_t> frame;
  wire::Request r = Client::dev(wire::Op::QueryDnd, "201");
  r.invokeID = 77;
  ASSERT_TRUE(wire::encodeRequest(r, frame));
  for (size_t cut = 0; cut < frame.size(); ++cut) sw.onFrame(a.id, frame.data(), cut);
  std::vector<std::uint8_t> bad = frame;
  bad[bad.size() - 1] ^= 0x55;
  sw.onFrame(a.id, bad.data(), bad.size());
  sw.onFrame(a.id, nullptr, 0);
  sw.onFrame(999, frame.data(), frame.size());  // no such session
  EXPECT_TRUE(a.take().empty());
  sw.onFrame(a.id, frame.data(), frame.size());
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(wire::invokeIDOf(v[0]), 77u);
}

TEST_F(CallModel, ControlCommandsCheckTheirArguments) {
  const char* bad[] = {"frobnicate", "dial 201", "dial 999 202", "answer 201", "hangup 201 zz",
                       "dialin L1#1 555", "dialin 201 555 202", "dnd 201 maybe", "forward 201 sideways 202",
                       "forward 201 busy on", "refuse 1 later", "delay -5", "drop 12345", "autoanswer 201 x",
                       "dialin L1#1 \"unterminated 201"};
  for (const char* line : bad) {
    bool ok = true;
    std::string out = sw.control(line, &ok);
    EXPECT_FALSE(ok) << line;
    EXPECT_EQ(out.compare(0, 2, "? "), 0) << line << ": " << out;
  }
  ctl("dialin L1#1 555 201");
  bool ok = true;
  sw.control("dialin L1#1 556 202", &ok);  // the line is taken
  EXPECT_FALSE(ok);
  ctl("dialin D1#1 557 202");  // a span carries several calls
  ctl("dialin D1#1 558 203");
  EXPECT_EQ(sw.callCount(), 3u);
}

TEST(ControlPort, AnswersEachLineAndHandsOnQuit) {
  telsim::Switch sw{telsim::defaultConfig(), true};
  bool quit = false;
  telsim::ControlServer ctl(sw, [&quit] { quit = true; });
  std::string err;
  ASSERT_TRUE(ctl.start(nullptr, 0, &err)) << err;
  plat_socket s = plat_tcp_connect("127.0.0.1", ctl.port(), 5000);
  ASSERT_NE(s, PLAT_INVALID_SOCKET);
  const char cmds[] = "dial 201 202\ncalls\nbogus\nquit\n";
  ASSERT_EQ(plat_sock_send(s, cmds, sizeof cmds - 1), static_cast<long>(sizeof cmds - 1));
  std::string got;
  char buf[512];
  long n;
  while ((n = plat_sock_recv(s, buf, sizeof buf)) > 0) {
    got.append(buf, static_cast<size_t>(n));
    if (got.size() >= 9 && got.compare(got.size() - 9, 9, "ERROR\nOK\n") == 0) break;
  }
  EXPECT_EQ(got, "call 1\nOK\ncall 1: 201(C) 202(A)\nOK\n? unknown command bogus (help lists them)\nERROR\nOK\n");
  plat_sock_close(s);
  ctl.stop();
  EXPECT_TRUE(quit);
}

TEST(Scenario, ExampleFilesRun) {
  const char* dir = std::getenv("TELSIM_SCENARIOS");
  ASSERT_NE(dir, nullptr);
  const char* files[] = {"demo.scn", "busy-day.scn"};
  for (const char* f : files) {
    telsim::Switch sw{telsim::defaultConfig(), true};
    std::string out;
    EXPECT_TRUE(sw.runScenario((std::string(dir) + "/" + f).c_str(), &out)) << f << ":\n" << out;
  }
  telsim::Switch sw{telsim::defaultConfig(), true};
  std::string out;
  EXPECT_FALSE(sw.runScenario("/nonexistent/file.scn", &out));
  EXPECT_NE(out.find("cannot open"), std::string::npos);
}

}  // namespace
