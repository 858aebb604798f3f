// Private requests answered by the switch from its own state: what a set
// stores is what a get reads back, who hears the reports, and what never
// goes back on the wire.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "private/telvanix_private.h"
#include "simulator/test_client.h"

using telsim_test::Client;
using telsim_test::describe;

namespace {

TelvanixPrivateMessage privateOf(const wire::Event& e) {
  TelvanixPrivateMessage m;
  std::vector<std::uint8_t> bytes(e.priv.vendor, e.priv.vendor + 32);
  bytes.push_back(static_cast<std::uint8_t>(e.priv.data.size()));
  bytes.push_back(static_cast<std::uint8_t>(e.priv.data.size() >> 8));
  bytes.insert(bytes.end(), e.priv.data.begin(), e.priv.data.end());
  EXPECT_TRUE(readPrivateBytes(bytes.data(), bytes.size(), &m));
  return m;
}

struct Pvt : ::testing::Test {
  telsim::Switch sw{telsim::defaultConfig(), true};
  Client a{sw};
  Client b{sw};
  void SetUp() override {
    ASSERT_EQ(a.open().eventType(), ACS_OPEN_STREAM_CONF);
    ASSERT_EQ(b.open().eventType(), ACS_OPEN_STREAM_CONF);
  }
  // Sends a message and returns the one event that answers it.
  TelvanixPrivateMessage ask(Client& c, const TelvanixPrivateMessage& m, int* failure = nullptr) {
    wire::Request r;
    r.op = wire::Op::EscapeService;
    wire::setPrivate(r.priv, asPrivateData(&m));
    c.send(r);
    std::vector<wire::Event> v = c.take();
    EXPECT_GE(v.size(), 1u);
    if (v.empty()) return TelvanixPrivateMessage();
    if (failure) *failure = v[0].eventType() == CSTA_UNIVERSAL_FAILURE_CONF
                                ? v[0].ev.event.cstaConfirmation.u.universalFailure.error
                                : 0;
    return v[0].eventType() == CSTA_ESCAPE_SVC_CONF ? privateOf(v[0]) : TelvanixPrivateMessage();
  }
  // Fields of a packed record are copied before they are compared.
  static std::int32_t callOf(const TelvanixPrivateMessage& m) { return m.header.connection.callID; }
  static TelvanixPrivateMessage msg(privateMessageID type, std::int32_t call = 0, const char* device = nullptr) {
    TelvanixPrivateMessage m;
    buildPrivateMessage(&m, type, call, device);
    return m;
  }
  void privateStatus(Client& c) { ask(c, msg(kqPvtStartPrivateStatus)); }
};

TEST_F(Pvt, LineInfoSetIsReadBackAndMovesForwardingAndDnd) {
  a.monitor("203");
  TelvanixPrivateMessage set = msg(kqPvtSetLineInfo, 0, "x1#3");
  set.lineInfo.classOfService = 4;
  set.lineInfo.noAnswerTime = 95;
  set.lineInfo.doNotDisturb = 1;
  putPrivateText(set.lineInfo.ifBusy, "205");
  wire::Request r;
  r.op = wire::Op::EscapeService;
  wire::setPrivate(r.priv, asPrivateData(&set));
  a.send(r);
  // The standard events of the changes come with the answer.
  EXPECT_EQ(describe(a.take()), "FWD:205 DND:on CONF90");
  const TelvanixPrivateMessage got = ask(b, msg(kqPvtGetLineInfo, 0, "203"));
  EXPECT_EQ(got.header.msgType, kqPvtReportLineInfo);
  EXPECT_EQ(got.lineInfo.classOfService, 4);
  const std::uint32_t time = got.lineInfo.noAnswerTime;
  EXPECT_EQ(time, 95u);
  EXPECT_EQ(got.lineInfo.doNotDisturb, 1);
  EXPECT_EQ(getPrivateText(got.lineInfo.ifBusy), "205");
  EXPECT_EQ(getPrivateText(got.lineInfo.ifImmediate), "");
  EXPECT_EQ(getPrivateText(got.lineInfo.devicePhysName), "X1#3");
  int failure = 0;
  ask(b, msg(kqPvtGetLineInfo, 0, "999"), &failure);
  EXPECT_EQ(failure, INVALID_CSTA_DEVICE_IDENTIFIER);
}

TEST_F(Pvt, ThePasswordNeverGoesBack) {
  TelvanixPrivateMessage give = msg(kqPvtEnableAdministration);
  putPrivateText(give.textReport.string, "wrong");
  int failure = 0;
  ask(a, give, &failure);
  EXPECT_EQ(failure, SECURITY_VIOLATION);
  putPrivateText(give.textReport.string, "TELVANIX");
  TelvanixPrivateMessage back = ask(a, give, &failure);
  EXPECT_EQ(failure, 0);
  EXPECT_EQ(getPrivateText(back.textReport.string), "");
  // Stream information shows it, for this stream only.
  TelvanixPrivateMessage info = msg(kqPvtGetStreamInfo);
  info.streamInfo.streamID = static_cast<std::uint16_t>(a.id);
  EXPECT_EQ(ask(b, info).streamInfo.adminEnabled, 1);
  info.streamInfo.streamID = static_cast<std::uint16_t>(b.id);
  EXPECT_EQ(ask(b, info).streamInfo.adminEnabled, 0);
  info.streamInfo.streamID = 77;
  EXPECT_EQ(ask(b, info).streamInfo.inUse, 0);
  // A new password takes administration, and is not echoed either.
  TelvanixPrivateMessage change = msg(kqPvtSetAdminPassword);
  putPrivateText(change.textReport.string, "secret");
  ask(b, change, &failure);
  EXPECT_EQ(failure, SECURITY_VIOLATION);
  EXPECT_EQ(getPrivateText(ask(a, change).textReport.string), "");
  putPrivateText(give.textReport.string, "secret");
  ask(b, give, &failure);
  EXPECT_EQ(failure, 0);
}

TEST_F(Pvt, BoardOrderAndBroadcastsReachEveryStreamThatAsked) {
  privateStatus(a);
  TelvanixPrivateMessage set = msg(kqPvtSetBoardOrder);
  set.boards.boardID[0] = {5, 6};
  set.boards.boardID[1] = {7, 8};
  ask(b, set);  // b does not follow private status: its answer only
  EXPECT_TRUE(b.take().empty());
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(describe(v), "PRIVATE");
  const TelvanixPrivateMessage order = privateOf(v[0]);
  EXPECT_EQ(order.header.msgType, kqPvtReportBoardOrder);
  const std::uint32_t second = order.boards.boardID[1].number;
  EXPECT_EQ(second, 8u);
  const TelvanixPrivateMessage rom = ask(b, msg(kqPvtGetROMboardOrder));
  const std::uint32_t romFirst = rom.boards.boardID[0].number;
  EXPECT_EQ(romFirst, sw.config().boards[0].serialNumber);

  bool ok = false;
  sw.control("broadcast VMAIL \"VM 3 waiting\" 4", &ok);
  EXPECT_TRUE(ok);
  v = a.take();
  ASSERT_EQ(describe(v), "PRIVATE");
  const TelvanixPrivateMessage cast = privateOf(v[0]);
  EXPECT_EQ(cast.header.msgType, kqPvtReportBroadcast);
  EXPECT_EQ(callOf(cast), 4);
  EXPECT_EQ(getPrivateText(cast.broadcast.data), "VM 3 waiting");
  sw.control("broadcast", &ok);
  EXPECT_FALSE(ok);
  // A put-off broadcast is checked against the same commands as any other.
  sw.control("after 1 broadcast VMAIL later", &ok);
  EXPECT_TRUE(ok);
}

TEST_F(Pvt, ParkedCallsAreFoundByIDAndInOrder) {
  privateStatus(b);
  const std::int32_t first = a.makeCall("201", "202");
  const std::int32_t second = a.makeCall("203", "204");
  a.take();
  b.take();
  const TelvanixPrivateMessage p1 = ask(a, msg(kqPvtParkCall, first));
  const TelvanixPrivateMessage p2 = ask(a, msg(kqPvtParkCall, second));
  const std::uint32_t id1 = p1.callInfo.parkID, id2 = p2.callInfo.parkID;
  EXPECT_NE(id1, 0u);
  EXPECT_NE(id1, id2);
  EXPECT_EQ(describe(b.take()), "PRIVATE PRIVATE");  // park occurred, to followers
  TelvanixPrivateMessage q = msg(kqPvtGetParkInfo);
  q.callInfo.parkID = id2;
  EXPECT_EQ(callOf(ask(a, q)), second);
  q = msg(kqPvtGetNextParkedCall);
  q.callInfo.parkID = id1;
  EXPECT_EQ(callOf(ask(a, q)), second);
  q.callInfo.parkID = id2;  // after the last: round to the first
  EXPECT_EQ(callOf(ask(a, q)), first);
  q = msg(kqPvtGetParkInfo);
  q.callInfo.parkID = 999;
  int failure = 0;
  ask(a, q, &failure);
  EXPECT_EQ(failure, VALUE_OUT_OF_RANGE);
}

TEST_F(Pvt, CallerIDOfAnOutsideCallInBothRawForms) {
  bool ok = false;
  sw.advance(3 * 60 * 60 * 1000 + 5 * 60 * 1000);  // 03:05 on the switch's clock
  sw.control("dialin L1#1 5551234 201 \"Ann Smith\"", &ok);
  sw.control("dialin L1#2 5559876 202", &ok);
  TelvanixPrivateMessage id = ask(a, msg(kqPvtGetCallerIDinfo, 1, "201"));
  EXPECT_EQ(id.callerID.idFound, 1);
  EXPECT_EQ(id.callerID.isTrunk, 1);
  EXPECT_EQ(getPrivateText(id.callerID.callingNumber), "5551234");
  EXPECT_EQ(getPrivateText(id.callerID.callingName), "Ann Smith");
  EXPECT_EQ(getPrivateText(id.callerID.callTime), "01010305");

  const TelvanixPrivateMessage multi = ask(a, msg(kqPvtGetRawCallerID, 1, "201"));
  const unsigned char expectMulti[] = {128, 30, 1, 8, '0', '1', '0', '1', '0', '3', '0', '5',
                                       2,   7,  '5', '5', '5', '1', '2', '3', '4',
                                       7,   9,  'A', 'n', 'n', ' ', 'S', 'm', 'i', 't', 'h'};
  EXPECT_EQ(std::memcmp(multi.rawCallerID, expectMulti, sizeof expectMulti), 0);
  const TelvanixPrivateMessage single = ask(a, msg(kqPvtGetRawCallerID, 2, "202"));
  EXPECT_EQ(single.rawCallerID[0], 4);
  EXPECT_EQ(single.rawCallerID[1], 15);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(single.rawCallerID) + 2, 15), "010103055559876");
}

TEST_F(Pvt, ResourcesAndVersionsAreByBoard) {
  const TelvanixPrivateMessage sys = ask(a, msg(kqPvtGetSystemResources));
  EXPECT_EQ(sys.header.msgType, kqPvtReportSystemResources);
  EXPECT_EQ(sys.resources.numberBoards, 1);
  const std::uint16_t extensions = sys.resources.totalExtensions;
  EXPECT_EQ(extensions, 16);
  TelvanixPrivateMessage q = msg(kqPvtGetSoftwareVersion);
  q.version.boardID = 0;
  EXPECT_EQ(ask(a, q).version.boardType, kqPvtBoardTypeOrion);
  q.version.boardID = 1;
  int failure = 0;
  ask(a, q, &failure);
  EXPECT_EQ(failure, VALUE_OUT_OF_RANGE);
  ask(a, msg(static_cast<privateMessageID>(400)), &failure);
  EXPECT_EQ(failure, INVALID_FEATURE);
}

}  // namespace
