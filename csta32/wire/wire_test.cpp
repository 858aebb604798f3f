#include "csta32/wire/wire.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>

namespace {

ConnectionID_t conn(int n) {
  return wire::connection(0x100 + n, ("D" + std::to_string(n)).c_str(),
                          n % 2 ? DYNAMIC_ID : STATIC_ID);
}

ExtendedDeviceID_t ext(int n) {
  ExtendedDeviceID_t d = wire::extendedDevice(("E" + std::to_string(n)).c_str(),
                                              n % 3 ? TRUNK_IDENTIFIER : DEVICE_IDENTIFIER);
  if (n == 4) d.deviceIDStatus = ID_NOT_REQUIRED;
  return d;
}

CSTAConnection_t party(int n) {
  CSTAConnection_t c;
  std::memset(&c, 0, sizeof c);
  c.party = conn(n);
  c.staticDevice = ext(n + 1);
  return c;
}

// One sample of every event shape, each field set to something non-zero.
std::vector<wire::Event> everyShape() {
  std::vector<wire::Event> v;
  auto fwd = [](ForwardingInfo_t& f, int n) {
    f.forwardingType = FWD_NO_ANS_EXT - n % 7;
    f.forwardingOn = static_cast<Boolean>(n % 2);
    wire::copyDevice(f.forwardDN, ("F" + std::to_string(n)).c_str());
  };

  v.push_back(wire::openStreamConf(7, "TS2", "lib 1.0", "tsrv 2", "3.1-12"));
  v.push_back(wire::acsConfirmation(ACS_CLOSE_STREAM_CONF, 8));
  v.push_back(wire::acsUniversalFailureConf(9, TSERVER_BAD_PASSWORD_OR_LOGIN));
  v.push_back(wire::acsUniversalFailure(DRIVER_LINK_UNAVAILABLE));
  {
    wire::Event e;
    e.ev.eventHeader.eventClass = CSTAREQUEST;
    e.ev.eventHeader.eventType = CSTA_ESCAPE_SVC_REQ;
    e.ev.event.cstaRequest.invokeID = 99;
    v.push_back(e);
    e = wire::Event();
    e.ev.eventHeader.eventClass = CSTAEVENTREPORT;
    e.ev.eventHeader.eventType = CSTA_SYS_STAT;
    v.push_back(e);
  }

  wire::Event e = wire::cstaConfirmation(CSTA_MAKE_CALL_CONF, 10);
  e.ev.event.cstaConfirmation.u.makeCall.newCall = conn(1);
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_MAKE_PREDICTIVE_CALL_CONF, 11);
  e.ev.event.cstaConfirmation.u.makePredictiveCall.newCall = conn(2);
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_CONSULTATION_CALL_CONF, 12);
  e.ev.event.cstaConfirmation.u.consultationCall.newCall = conn(3);
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_CONFERENCE_CALL_CONF, 13);
  e.ev.event.cstaConfirmation.u.conferenceCall.newCall = conn(4);
  e.connections = {party(1), party(2), party(3)};
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_TRANSFER_CALL_CONF, 14);
  e.ev.event.cstaConfirmation.u.transferCall.newCall = conn(5);
  e.connections = {party(6), party(7)};
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_QUERY_MWI_CONF, 15);
  e.ev.event.cstaConfirmation.u.queryMwi.messages = 1;
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_QUERY_DND_CONF, 16);
  e.ev.event.cstaConfirmation.u.queryDnd.doNotDisturb = 1;
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_QUERY_FWD_CONF, 17);
  e.ev.event.cstaConfirmation.u.queryFwd.queryFwd.count = 9;  // carried as sent
  for (int i = 0; i < MAX_FWD_PARAMS; ++i)
    fwd(e.ev.event.cstaConfirmation.u.queryFwd.queryFwd.param[i], i + 1);
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_QUERY_AGENT_STATE_CONF, 18);
  e.ev.event.cstaConfirmation.u.queryAgentState.agentState = AG_WORK_READY;
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_QUERY_LAST_NUMBER_CONF, 19);
  wire::copyDevice(e.ev.event.cstaConfirmation.u.queryLastNumber.lastNumber, "5551234");
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_QUERY_DEVICE_INFO_CONF, 20);
  // A device text filling all 64 characters travels without a terminator.
  std::memset(e.ev.event.cstaConfirmation.u.queryDeviceInfo.device, 'x', sizeof(DeviceID_t));
  e.ev.event.cstaConfirmation.u.queryDeviceInfo.deviceType = DT_TRUNK_GROUP;
  e.ev.event.cstaConfirmation.u.queryDeviceInfo.deviceClass = DC_VOICE | DC_DATA;
  v.push_back(e);
  v.push_back(wire::cstaUniversalFailureConf(21, INVALID_CSTA_DEVICE_IDENTIFIER));
  e = wire::cstaConfirmation(CSTA_ROUTE_REGISTER_REQ_CONF, 22);
  e.ev.event.cstaConfirmation.u.routeRegister.registerReqID = 4242;
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_MONITOR_CONF, 23);
  e.ev.event.cstaConfirmation.u.monitorStart.monitorCrossRefID = 0xDEADBEEF;
  e.ev.event.cstaConfirmation.u.monitorStart.monitorFilter = {CF_HELD | CF_QUEUED, FF_FORWARDING,
                                                              AF_READY, MF_OUT_OF_SERVICE, PF_DTMF};
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_CHANGE_MONITOR_FILTER_CONF, 24);
  e.ev.event.cstaConfirmation.u.changeMonitorFilter.monitorFilter = {0x8001, 1, 2, 3, 0x80000000u};
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_SNAPSHOT_CALL_CONF, 25);
  for (int i = 0; i < 3; ++i) {
    CSTASnapshotCallResponseInfo_t s;
    std::memset(&s, 0, sizeof s);
    s.deviceOnCall = ext(i);
    s.callIdentifier = conn(i + 10);
    s.localConnectionState = CS_HOLD - i;
    e.callSnapshot.push_back(s);
  }
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_SNAPSHOT_DEVICE_CONF, 26);
  for (int i = 0; i < 4; ++i) {
    wire::DeviceSnapshotEntry s;
    s.call = conn(i + 20);
    for (int k = 0; k <= i; ++k) s.states.push_back(k % 2 ? CS_HOLD : CS_CONNECT);
    e.deviceSnapshot.push_back(s);
  }
  e.deviceSnapshot.push_back(wire::DeviceSnapshotEntry());  // a call with no states
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_GETAPI_CAPS_CONF, 27);
  e.ev.event.cstaConfirmation.u.getAPICaps.alternateCall = 1;
  e.ev.event.cstaConfirmation.u.getAPICaps.snapshotDeviceReq = -2;
  e.ev.event.cstaConfirmation.u.getAPICaps.sysStatEvent = 3;
  v.push_back(e);
  e = wire::cstaConfirmation(CSTA_ESCAPE_SVC_CONF, 28);
  wire::setPrivate(e.priv, "Telvanix Version 1.0", "\x05\x00payload", 9);
  v.push_back(e);

  const CSTAMonitorCrossRefID_t x = 77;
  e = wire::cstaUnsolicited(CSTA_CALL_CLEARED, x);
  e.ev.event.cstaUnsolicited.u.callCleared = {conn(1), CS_NULL, EC_TRANSFER};
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_CONFERENCED, x);
  {
    CSTAConferencedEvent_t& c = e.ev.event.cstaUnsolicited.u.conferenced;
    c.primaryOldCall = conn(1);
    c.secondaryOldCall = conn(2);
    c.confController = ext(3);
    c.addedParty = ext(4);
    c.localConnectionInfo = CS_CONNECT;
    c.cause = EC_KEY_CONFERENCE;
    e.connections = {party(1), party(2), party(3), party(4)};
  }
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_CONNECTION_CLEARED, x);
  e.ev.event.cstaUnsolicited.u.connectionCleared = {conn(5), ext(5), CS_NULL, EC_NEW_CALL};
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_DELIVERED, x);
  e.ev.event.cstaUnsolicited.u.delivered = {conn(1), ext(1), ext(2), ext(3), ext(4),
                                            CS_ALERTING, EC_REDIRECTED};
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_DIVERTED, x);
  e.ev.event.cstaUnsolicited.u.diverted = {conn(2), ext(2), ext(3), CS_NULL,
                                           EC_CALL_FORWARD_BUSY};
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_ESTABLISHED, x);
  e.ev.event.cstaUnsolicited.u.established = {conn(3), ext(5), ext(6), ext(7), ext(8),
                                              CS_CONNECT, EC_NONE};
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_FAILED, x);
  e.ev.event.cstaUnsolicited.u.failed = {conn(4), ext(1), ext(2), CS_FAIL, EC_BUSY};
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_HELD, x);
  e.ev.event.cstaUnsolicited.u.held = {conn(5), ext(3), CS_HOLD, EC_NONE};
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_NETWORK_REACHED, x);
  e.ev.event.cstaUnsolicited.u.networkReached = {conn(6), ext(4), ext(5), CS_CONNECT,
                                                 EC_NONE};
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_ORIGINATED, x);
  e.ev.event.cstaUnsolicited.u.originated = {conn(7), ext(6), ext(7), CS_CONNECT, EC_NONE};
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_QUEUED, x);
  e.ev.event.cstaUnsolicited.u.queued = {conn(8), ext(1), ext(2), ext(3), ext(4), 5,
                                         CS_QUEUED, EC_OVERFLOW};
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_RETRIEVED, x);
  e.ev.event.cstaUnsolicited.u.retrieved = {conn(9), ext(9), CS_CONNECT, EC_NONE};
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_SERVICE_INITIATED, x);
  e.ev.event.cstaUnsolicited.u.serviceInitiated = {conn(10), CS_INITIATE, EC_NONE};
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_TRANSFERRED, x);
  {
    CSTATransferredEvent_t& t = e.ev.event.cstaUnsolicited.u.transferred;
    t.primaryOldCall = conn(1);
    t.secondaryOldCall = conn(2);
    t.transferringDevice = ext(1);
    t.transferredDevice = ext(2);
    t.localConnectionInfo = CS_CONNECT;
    t.cause = EC_TRANSFER;
    e.connections = {party(5)};
  }
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_CALL_INFORMATION, x);
  {
    CSTACallInformationEvent_t& c = e.ev.event.cstaUnsolicited.u.callInformation;
    c.connection = conn(3);
    c.device = ext(3);
    std::memset(c.accountInfo, 'a', sizeof c.accountInfo);  // full width
    std::strcpy(c.authorisationCode, "1234");
  }
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_DO_NOT_DISTURB, x);
  e.ev.event.cstaUnsolicited.u.doNotDisturb.device = ext(1);
  e.ev.event.cstaUnsolicited.u.doNotDisturb.doNotDisturbOn = 1;
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_FORWARDING, x);
  e.ev.event.cstaUnsolicited.u.forwarding.device = ext(2);
  fwd(e.ev.event.cstaUnsolicited.u.forwarding.forwardingInformation, 3);
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_MESSAGE_WAITING, x);
  e.ev.event.cstaUnsolicited.u.messageWaiting.deviceForMessage = ext(1);
  e.ev.event.cstaUnsolicited.u.messageWaiting.invokingDevice = ext(2);
  e.ev.event.cstaUnsolicited.u.messageWaiting.messageWaitingOn = 1;
  v.push_back(e);
  for (EventType_t t : {CSTA_LOGGED_ON, CSTA_LOGGED_OFF, CSTA_NOT_READY, CSTA_READY,
                        CSTA_WORK_NOT_READY, CSTA_WORK_READY}) {
    e = wire::cstaUnsolicited(t, x);
    e.ev.event.cstaUnsolicited.u.agent.agentDevice = ext(t);
    std::strcpy(e.ev.event.cstaUnsolicited.u.agent.agentID, "agent7");
    v.push_back(e);
  }
  for (EventType_t t : {CSTA_BACK_IN_SERVICE, CSTA_OUT_OF_SERVICE}) {
    e = wire::cstaUnsolicited(t, x);
    e.ev.event.cstaUnsolicited.u.serviceState.device = ext(t);
    e.ev.event.cstaUnsolicited.u.serviceState.cause = EC_MAINTENANCE;
    v.push_back(e);
  }
  e = wire::cstaUnsolicited(CSTA_MONITOR_ENDED, x);
  e.ev.event.cstaUnsolicited.u.monitorEnded.cause = EC_RESOURCES_NOT_AVAILABLE;
  v.push_back(e);
  e = wire::cstaUnsolicited(CSTA_PRIVATE_STATUS, x);
  std::vector<std::uint8_t> big(4000);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<std::uint8_t>(i * 7);
  wire::setPrivate(e.priv, "Telvanix Version 1.0", big.data(), big.size());
  v.push_back(e);
  return v;
}

void expectSameEvent(const wire::Event& a, const wire::Event& b) {
  EXPECT_EQ(a.eventClass(), b.eventClass());
  EXPECT_EQ(a.eventType(), b.eventType());
  EXPECT_EQ(a.connections.size(), b.connections.size());
  for (std::size_t i = 0; i < std::min(a.connections.size(), b.connections.size()); ++i)
    EXPECT_EQ(0, std::memcmp(&a.connections[i], &b.connections[i], sizeof(CSTAConnection_t)));
  EXPECT_EQ(a.callSnapshot.size(), b.callSnapshot.size());
  for (std::size_t i = 0; i < std::min(a.callSnapshot.size(), b.callSnapshot.size()); ++i)
    EXPECT_EQ(0, std::memcmp(&a.callSnapshot[i], &b.callSnapshot[i],
                             sizeof(CSTASnapshotCallResponseInfo_t)));
  ASSERT_EQ(a.deviceSnapshot.size(), b.deviceSnapshot.size());
  for (std::size_t i = 0; i < a.deviceSnapshot.size(); ++i) {
    EXPECT_EQ(0, std::memcmp(&a.deviceSnapshot[i].call, &b.deviceSnapshot[i].call,
                             sizeof(ConnectionID_t)));
    EXPECT_EQ(a.deviceSnapshot[i].states, b.deviceSnapshot[i].states);
  }
  EXPECT_EQ(a.priv.present, b.priv.present);
  EXPECT_EQ(0, std::memcmp(a.priv.vendor, b.priv.vendor, sizeof a.priv.vendor));
  EXPECT_EQ(a.priv.data, b.priv.data);
}

std::vector<std::uint8_t> frameOf(const wire::Event& e) {
  std::vector<std::uint8_t> f;
  EXPECT_TRUE(wire::encodeEvent(e, f));
  return f;
}

wire::Request fullRequest() {
  wire::Request r;
  r.op = wire::Op::ConferenceCall;
  r.invokeID = 0xFFFFFFF0u;
  r.serverID = std::string(48, 'S');
  r.loginID = "Telvanix";
  r.password = "secret";
  r.appName = std::string(20, 'A');
  r.apiVersion = "TS1-2";
  r.level = ACS_LEVEL3;
  r.call = conn(1);
  std::memset(r.call2.deviceID, '7', sizeof r.call2.deviceID);  // full width
  r.call2.callID = -5;
  r.device = std::string(64, 'd');
  r.device2 = "202";
  r.flag = true;
  r.filter = {0xFFFF, 0xFF, 0x80, 0x40, 0x12345678};
  r.crossRefID = 31337;
  wire::setPrivate(r.priv, "Telvanix Version 1.0", "abc\0def", 7);
  return r;
}

}  // namespace

TEST(WireEvents, EveryShapeSurvivesTheRoundTripFieldForField) {
  for (const wire::Event& e : everyShape()) {
    SCOPED_TRACE("class " + std::to_string(e.eventClass()) + " type " +
                 std::to_string(e.eventType()));
    std::vector<std::uint8_t> f = frameOf(e);
    wire::Event d;
    ASSERT_TRUE(wire::decodeEvent(f.data(), f.size(), d));
    expectSameEvent(e, d);
    // The fixed parts as the application sees them, pointers aside.
    std::vector<std::uint8_t> la(wire::layoutSize(e), 0), lb(wire::layoutSize(d), 0xEE);
    ASSERT_EQ(la.size(), lb.size());
    ASSERT_TRUE(wire::layoutEvent(e, la.data(), la.size()));
    ASSERT_TRUE(wire::layoutEvent(d, lb.data(), lb.size()));
    CSTAEvent_t a, b;
    std::memset(&a, 0, sizeof a);
    std::memset(&b, 0, sizeof b);
    std::memcpy(&a, la.data(), std::min(la.size(), sizeof a));
    std::memcpy(&b, lb.data(), std::min(lb.size(), sizeof b));
    if (e.connections.empty() && e.callSnapshot.empty() && e.deviceSnapshot.empty()) {
      EXPECT_EQ(0, std::memcmp(&a, &b, sizeof a));
    }
    // Encoding what was decoded gives the same bytes.
    EXPECT_EQ(f, frameOf(d));
  }
}

TEST(WireRequests, EveryFieldSurvivesAndEveryOperationIsKnown) {
  wire::Request r = fullRequest();
  std::vector<std::uint8_t> f;
  ASSERT_TRUE(wire::encodeRequest(r, f));
  wire::Request d;
  ASSERT_TRUE(wire::decodeRequest(f.data(), f.size(), d));
  EXPECT_EQ(d.op, r.op);
  EXPECT_EQ(d.invokeID, r.invokeID);
  EXPECT_EQ(d.serverID, r.serverID);
  EXPECT_EQ(d.loginID, r.loginID);
  EXPECT_EQ(d.password, r.password);
  EXPECT_EQ(d.appName, r.appName);
  EXPECT_EQ(d.apiVersion, r.apiVersion);
  EXPECT_EQ(d.level, r.level);
  EXPECT_EQ(0, std::memcmp(&d.call, &r.call, sizeof r.call));
  EXPECT_EQ(0, std::memcmp(&d.call2, &r.call2, sizeof r.call2));
  EXPECT_EQ(d.device, r.device);
  EXPECT_EQ(d.device2, r.device2);
  EXPECT_EQ(d.flag, r.flag);
  EXPECT_EQ(0, std::memcmp(&d.filter, &r.filter, sizeof(CSTAMonitorFilter_t) - 3));
  EXPECT_EQ(d.filter.privateFilter, r.filter.privateFilter);
  EXPECT_EQ(d.crossRefID, r.crossRefID);
  EXPECT_TRUE(d.priv.present);
  EXPECT_EQ(d.priv.data, r.priv.data);
  EXPECT_STREQ(d.priv.vendor, "Telvanix Version 1.0");

  for (std::uint16_t op = 1; op <= wire::kLastOp; ++op) {
    wire::Request q;
    q.op = static_cast<wire::Op>(op);
    std::vector<std::uint8_t> g;
    ASSERT_TRUE(wire::encodeRequest(q, g));
    ASSERT_TRUE(wire::decodeRequest(g.data(), g.size(), d));
    EXPECT_EQ(static_cast<std::uint16_t>(d.op), op);
    EXPECT_STRNE(wire::opName(d.op), "?");
  }
}

TEST(WireRequests, FieldsBeyondTheirWidthAreNotEncoded) {
  std::vector<std::uint8_t> f;
  wire::Request r;
  r.op = wire::Op::MakeCall;
  r.device = std::string(65, '1');
  EXPECT_FALSE(wire::encodeRequest(r, f));
  r.device = "201";
  r.password = std::string(49, 'p');
  EXPECT_FALSE(wire::encodeRequest(r, f));
  r.password = "";
  r.op = wire::Op::None;
  EXPECT_FALSE(wire::encodeRequest(r, f));
  EXPECT_TRUE(f.empty());
}

TEST(WireFrames, EveryTruncationAndEverySingleByteChangeIsRefused) {
  std::vector<std::vector<std::uint8_t>> frames;
  for (const wire::Event& e : everyShape())
    if (!e.connections.empty() || !e.deviceSnapshot.empty() || e.priv.present)
      frames.push_back(frameOf(e));
  std::vector<std::uint8_t> rf;
  ASSERT_TRUE(wire::encodeRequest(fullRequest(), rf));

  wire::Event ev;
  wire::Request rq;
  for (const auto& f : frames) {
    for (std::size_t n = 0; n < f.size(); n += (n < 64 ? 1 : 97))
      EXPECT_FALSE(wire::decodeEvent(f.data(), n, ev)) << "truncated to " << n;
    std::vector<std::uint8_t> g = f;
    g.push_back(0);
    EXPECT_FALSE(wire::decodeEvent(g.data(), g.size(), ev)) << "trailing byte";
    EXPECT_FALSE(wire::decodeRequest(f.data(), f.size(), rq)) << "event taken as request";
  }
  for (std::size_t n = 0; n < rf.size(); ++n) EXPECT_FALSE(wire::decodeRequest(rf.data(), n, rq));
  for (std::size_t i = 0; i < rf.size(); ++i) {
    std::vector<std::uint8_t> g = rf;
    g[i] ^= 0x40;
    EXPECT_FALSE(wire::decodeRequest(g.data(), g.size(), rq)) << "byte " << i;
  }
  EXPECT_FALSE(wire::decodeEvent(nullptr, 0, ev));
}

// Frames with a correct checksum but a lying body: the decoder must check
// the content itself, not trust the checksum.
TEST(WireFrames, WellSealedButInconsistentBodiesAreRefused) {
  auto reseal = [](std::vector<std::uint8_t>& f) {
    std::uint32_t c = wire::crc32(f.data() + wire::kHeaderSize, f.size() - wire::kHeaderSize);
    for (int i = 0; i < 4; ++i) f[8 + i] = static_cast<std::uint8_t>(c >> (8 * i));
  };
  wire::Event ev;
  wire::Event e = wire::cstaConfirmation(CSTA_SNAPSHOT_DEVICE_CONF, 1);
  wire::DeviceSnapshotEntry s;
  s.call = conn(1);
  s.states = {CS_CONNECT};
  e.deviceSnapshot = {s};
  std::vector<std::uint8_t> f = frameOf(e);
  // body: handle 4, class 2, type 2, invokeID 4, then the entry count.
  std::size_t countAt = wire::kHeaderSize + 12;
  for (std::uint32_t lie : {2u, 1000u, 0x40000000u, 0xFFFFFFFFu}) {
    std::vector<std::uint8_t> g = f;
    for (int i = 0; i < 4; ++i) g[countAt + i] = static_cast<std::uint8_t>(lie >> (8 * i));
    reseal(g);
    EXPECT_FALSE(wire::decodeEvent(g.data(), g.size(), ev)) << "count " << lie;
  }
  // A text length beyond its field: the device of the entry's connection.
  std::vector<std::uint8_t> g = f;
  std::size_t textLenAt = countAt + 4 + 4;
  ASSERT_EQ(g[textLenAt], 2);  // "D1"
  g[textLenAt] = 65;
  reseal(g);
  EXPECT_FALSE(wire::decodeEvent(g.data(), g.size(), ev));
  // Class and type outside the tables.
  for (auto ct : {std::make_pair(7, 1), std::make_pair(2, 13), std::make_pair(5, 130),
                  std::make_pair(4, 0)}) {
    g = f;
    g[wire::kHeaderSize + 4] = static_cast<std::uint8_t>(ct.first);
    g[wire::kHeaderSize + 6] = static_cast<std::uint8_t>(ct.second);
    reseal(g);
    EXPECT_FALSE(wire::decodeEvent(g.data(), g.size(), ev))
        << ct.first << "/" << ct.second;
  }
  // The header's length field disagreeing with the bytes given.
  g = f;
  g[4] += 1;
  EXPECT_FALSE(wire::decodeEvent(g.data(), g.size(), ev));
}

TEST(WireFrames, FrameLengthSplitsAByteStream) {
  std::vector<std::uint8_t> a = frameOf(wire::acsConfirmation(ACS_CLOSE_STREAM_CONF, 1));
  EXPECT_EQ(wire::frameLength(a.data(), 0), 0);
  EXPECT_EQ(wire::frameLength(a.data(), wire::kHeaderSize - 1), 0);
  EXPECT_EQ(wire::frameLength(a.data(), 3), 0);
  EXPECT_EQ(wire::frameLength(a.data(), wire::kHeaderSize), static_cast<long>(a.size()));
  EXPECT_EQ(wire::frameKind(a.data(), a.size()), wire::kEventFrame);
  std::uint8_t junk[] = {'T', 'Y'};
  EXPECT_EQ(wire::frameLength(junk, 2), -1);
  std::vector<std::uint8_t> huge = a;
  huge[7] = 0x7F;  // body length far beyond the limit
  EXPECT_EQ(wire::frameLength(huge.data(), huge.size()), -1);
  huge = a;
  huge[2] = wire::kWireVersion + 1;
  EXPECT_EQ(wire::frameLength(huge.data(), huge.size()), -1);

  wire::Control c;
  c.refuse = ACSERR_NOBUFFERS;
  c.count = 3;
  std::vector<std::uint8_t> cf;
  ASSERT_TRUE(wire::encodeControl(c, cf));
  wire::Control d;
  ASSERT_TRUE(wire::decodeControl(cf.data(), cf.size(), d));
  EXPECT_EQ(d.refuse, ACSERR_NOBUFFERS);
  EXPECT_EQ(d.count, 3u);
  c.refuse = ACSERR_BADHDL;  // only the two flow-control codes make sense
  cf.clear();
  EXPECT_FALSE(wire::encodeControl(c, cf));
}

TEST(WireLayout, BusyDeviceSnapshotFitsTheApplicationsBuffers) {
  // 24 calls, each listing the states of its parties: the most a device
  // snapshot shows, read into the 2332-byte buffer of the console program.
  wire::Event e = wire::cstaConfirmation(CSTA_SNAPSHOT_DEVICE_CONF, 5);
  const LocalConnectionState_t patterns[3][3] = {{CS_CONNECT, CS_CONNECT, 0},
                                                 {CS_HOLD, CS_CONNECT, 0},
                                                 {CS_CONNECT, CS_ALERTING, CS_HOLD}};
  for (int i = 0; i < 24; ++i) {
    wire::DeviceSnapshotEntry s;
    s.call = conn(i);
    const LocalConnectionState_t* p = patterns[i % 3];
    s.states.assign(p, p + (i % 3 == 2 ? 3 : 2));
    e.deviceSnapshot.push_back(s);
  }
  ASSERT_LE(wire::layoutSize(e), 2332u);
  std::vector<std::uint8_t> buf(2332, 0xCC);
  ASSERT_TRUE(wire::layoutEvent(e, buf.data(), buf.size()));
  const CSTAEvent_t* ev = reinterpret_cast<const CSTAEvent_t*>(buf.data());
  const CSTASnapshotDeviceData_t& d = ev->event.cstaConfirmation.u.snapshotDevice.snapshotData;
  ASSERT_EQ(d.count, 24);
  for (int i = 0; i < 24; ++i) {
    const CSTASnapshotDeviceResponseInfo_t& info = d.info[i];
    // Everything points inside the buffer, after the fixed part.
    const std::uint8_t* lo = buf.data() + sizeof(ACSEventHeader_t);
    const std::uint8_t* hi = buf.data() + wire::layoutSize(e);
    ASSERT_GE(reinterpret_cast<const std::uint8_t*>(&info), lo);
    ASSERT_LE(reinterpret_cast<const std::uint8_t*>(&info + 1), hi);
    EXPECT_EQ(info.callIdentifier.callID, 0x100 + i);
    ASSERT_EQ(info.getCallState.count, i % 3 == 2 ? 3 : 2);
    ASSERT_LE(reinterpret_cast<const std::uint8_t*>(info.getCallState.state + info.getCallState.count), hi);
    for (int k = 0; k < info.getCallState.count; ++k)
      EXPECT_EQ(info.getCallState.state[k], patterns[i % 3][k]) << i << ":" << k;
  }
  // Nothing written beyond what layoutSize promised.
  for (std::size_t i = wire::layoutSize(e); i < buf.size(); ++i) ASSERT_EQ(buf[i], 0xCC);
  EXPECT_FALSE(wire::layoutEvent(e, buf.data(), wire::layoutSize(e) - 1));
}

TEST(WireLayout, ConnectionListsFollowTheFixedPart) {
  for (const wire::Event& e : everyShape()) {
    if (e.connections.empty()) continue;
    std::vector<std::uint8_t> buf(wire::layoutSize(e));
    ASSERT_TRUE(wire::layoutEvent(e, buf.data(), buf.size()));
    const CSTAEvent_t* ev = reinterpret_cast<const CSTAEvent_t*>(buf.data());
    const CSTAConnectionList_t* l = nullptr;
    switch (e.eventType()) {
      case CSTA_CONFERENCE_CALL_CONF: l = &ev->event.cstaConfirmation.u.conferenceCall.connList; break;
      case CSTA_TRANSFER_CALL_CONF: l = &ev->event.cstaConfirmation.u.transferCall.connList; break;
      case CSTA_CONFERENCED: l = &ev->event.cstaUnsolicited.u.conferenced.conferenceConnections; break;
      case CSTA_TRANSFERRED: l = &ev->event.cstaUnsolicited.u.transferred.transferredConnections; break;
    }
    ASSERT_NE(l, nullptr);
    ASSERT_EQ(l->count, static_cast<int>(e.connections.size()));
    EXPECT_GE(reinterpret_cast<const std::uint8_t*>(l->connection), reinterpret_cast<const std::uint8_t*>(l + 1));
    EXPECT_EQ(reinterpret_cast<const std::uint8_t*>(l->connection + l->count), buf.data() + buf.size());
    for (int i = 0; i < l->count; ++i)
      EXPECT_EQ(0, std::memcmp(&l->connection[i], &e.connections[i], sizeof(CSTAConnection_t)));
  }
}
