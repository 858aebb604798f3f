#include "display/event.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"
#include "display/lines.h"
#include "display/names.h"
#include "display/private_display.h"
#include "display/stamps.h"

namespace {

std::int32_t fakeNow = 0;
std::int32_t fakeClock() { return fakeNow; }

// Formatted output written by body, without tabs so columns are blanks.
template <typename Body>
std::string capture(Body body) {
  FILE* file = std::tmpfile();
  if (!file) return "(no tmpfile)";
  FILE* previous = set_o_file(file);
  bool tabs = set_tabs_allowed(false);
  body();
  set_tabs_allowed(tabs);
  set_o_file(previous);
  std::rewind(file);
  std::string out;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
  std::fclose(file);
  return out;
}

std::string show(const CSTAEvent_t& event) {
  return capture([&] { o_event(&event, nullptr, true, "! "); });
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

void setDevice(char (&field)[64], const char* text) {
  std::snprintf(field, sizeof field, "%s", text);
}

ConnectionID_t conn(std::int32_t callID, const char* device, bool dynamic = false) {
  ConnectionID_t c = {callID, {}, dynamic ? DYNAMIC_ID : STATIC_ID};
  setDevice(c.deviceID, device);
  return c;
}

ExtendedDeviceID_t ext(const char* device, DeviceIDType_t type = DEVICE_IDENTIFIER) {
  ExtendedDeviceID_t d = {{}, type, ID_PROVIDED};
  setDevice(d.deviceID, device);
  return d;
}

ExtendedDeviceID_t absent() { return {{}, DEVICE_IDENTIFIER, ID_NOT_KNOWN}; }

CSTAEvent_t eventOf(EventClass_t eventClass, EventType_t type) {
  CSTAEvent_t e;
  std::memset(&e, 0, sizeof e);
  e.eventHeader = {1, eventClass, type};
  return e;
}

class EventDisplay : public ::testing::Test {
 protected:
  void SetUp() override {
    o_setStampClockForTests(fakeClock);
    o_resetInvokeIDstamps();
    fakeNow = 1000;
    o_setLocalACShandle(1);
    o_enableInvokeIDstamps(true);
    o_enableInvokeIDdelayStamps(true);
    o_enableTimestamps(false);
  }
  void TearDown() override {
    o_setStampClockForTests(nullptr);
    o_resetInvokeIDstamps();
    o_setLocalACShandle(0);
    o_enableTimestamps(false);
  }
};

// ---- unsolicited events --------------------------------------------------------------

TEST_F(EventDisplay, EveryUnsolicitedLayout) {
  std::vector<CSTAEvent_t> events;
  auto add = [&](EventType_t type) -> decltype(CSTAUnsolicitedEvent::u)& {
    events.push_back(eventOf(CSTAUNSOLICITED, type));
    return events.back().event.cstaUnsolicited.u;
  };
  CSTAConnection_t parties[2] = {{conn(0x1A, "201"), ext("201")},
                                 {conn(0x1A, "T5", true), ext("5551234", IMPLICIT_PUBLIC)}};
  const ExtendedDeviceID_t none = absent();

  add(CSTA_CALL_CLEARED).callCleared = {conn(0x2F, ""), CS_NULL, EC_CALL_CANCELLED};
  add(CSTA_CONFERENCED).conferenced = {conn(0x1A, "201"), conn(0x1B, "201"), ext("201"),
                                       ext("5551234", IMPLICIT_PUBLIC), {2, parties},
                                       CS_CONNECT, EC_NONE};
  add(CSTA_CONNECTION_CLEARED).connectionCleared = {conn(0x1A, "202"), ext("202"), CS_NULL,
                                                    EC_NONE};
  add(CSTA_DELIVERED).delivered = {conn(0x30, "202"), ext("202"), ext("201"), ext("202"),
                                   ext("203"), CS_ALERTING, EC_NEW_CALL};
  add(CSTA_DIVERTED).diverted = {conn(0x31, "202"), ext("202"), ext("204"), CS_NULL,
                                 EC_CALL_FORWARD_BUSY};
  add(CSTA_ESTABLISHED).established = {conn(0x30, "202"), ext("202"), ext("201"), ext("202"),
                                       none, CS_CONNECT, EC_NONE};
  add(CSTA_FAILED).failed = {conn(0x32, "205"), ext("205"), ext("205"), CS_FAIL, EC_BUSY};
  add(CSTA_HELD).held = {conn(0x30, "201"), ext("201"), CS_HOLD, EC_NONE};
  add(CSTA_NETWORK_REACHED).networkReached = {conn(0x33, "T1", true),
                                              ext("T1", TRUNK_IDENTIFIER), ext("5551234"),
                                              CS_NONE, EC_NONE};
  add(CSTA_ORIGINATED).originated = {conn(0x33, "201"), ext("201"), ext("5551234"), CS_CONNECT,
                                     EC_NONE};
  add(CSTA_QUEUED).queued = {conn(0x34, "300"), ext("300"), ext("201"), ext("300"), none, 3,
                             CS_QUEUED, EC_NONE};
  add(CSTA_RETRIEVED).retrieved = {conn(0x30, "201"), ext("201"), CS_CONNECT, EC_NONE};
  add(CSTA_SERVICE_INITIATED).serviceInitiated = {conn(0x35, "201"), CS_INITIATE, EC_NONE};
  add(CSTA_TRANSFERRED).transferred = {conn(0x30, "201"), conn(0x36, "201"), ext("201"),
                                       ext("202"), {0, nullptr}, CS_CONNECT, EC_TRANSFER};
  auto& info = add(CSTA_CALL_INFORMATION).callInformation;
  info = {conn(0x37, "201"), ext("201"), "ACCT-42", ""};
  std::memset(info.authorisationCode, 'Z', sizeof info.authorisationCode);  // no terminator
  add(CSTA_DO_NOT_DISTURB).doNotDisturb = {ext("201"), 1};
  add(CSTA_FORWARDING).forwarding = {ext("201"), {FWD_BUSY, 1, "250"}};
  add(CSTA_MESSAGE_WAITING).messageWaiting = {ext("201"), ext("299"), 0};
  for (EventType_t type = CSTA_LOGGED_ON; type <= CSTA_WORK_READY; type++) add(type);
  add(CSTA_BACK_IN_SERVICE);
  add(CSTA_OUT_OF_SERVICE);
  add(CSTA_MONITOR_ENDED).monitorEnded.cause = EC_MAINTENANCE;
  add(CSTA_ROUTE_REQUEST);  // not one we show

  std::string out = capture([&] {
    for (const CSTAEvent_t& e : events) o_event(&e, nullptr, true, "! ");
  });
  EXPECT_EQ(out,
            "!      Call cleared: ..2F Call_Cancelled\n"
            "!      Conference:\n"
            "           Primary call: 201..1A \n"
            "           Secondary call: 201..1B\n"
            "           Controller: 201\n"
            "           Added party: 5551234 ImplicitPublic Connected\n"
            "!          201..1A 201\n"
            "!          T5..1A:D 5551234 ImplicitPublic\n"
            "!      Connection cleared: 202..1A \n"
            "!          Subject: 202\n"
            "!      Delivered:\n"
            "!          Alerting: 202..30 New_Call\n"
            "!          Alerting: 202 Alerting\n"
            "!          Calling: 201\n"
            "!          Called: 202\n"
            "!          Last redirection: 203\n"
            "!      Diverted: 202..31 Call_Forward_Busy \n"
            "!          Diverting: 202\n"
            "!          New destination: 204\n"
            "!      Established: 202..30 Connected\n"
            "!          Answering: 202\n"
            "!          Calling: 201\n"
            "!          Called: 202\n"
            "!      Failed: 205..32 Busy Failed\n"
            "!          Failing: 205\n"
            "!          Called: 205\n"
            "!      Held: 201..30 Held\n"
            "!          Holding: 201\n"
            "!      Network reached: T1..33:D \n"
            "!          Trunk: T1 TrunkID\n"
            "!          Called: 5551234\n"
            "!      Originated: 201..33 Connected\n"
            "!          Calling: 201\n"
            "!          Called: 5551234\n"
            "!      Queued3: 300..34 Queued\n"
            "!          Queue: 300\n"
            "!          Calling: 201\n"
            "!          Called: 300\n"
            "!      Retrieved: 201..30 Connected\n"
            "!          Retrieving: 201\n"
            "!      Service initiated: 201..35 Initiated\n"
            "!      Transferred: 201..30 Transfer Connected\n"
            "!        Secondary: 201..36\n"
            "!          Transferring: 201\n"
            "!          Transferred: 202\n"
            "!      Call information: 201..37\n"
            "!          Device: 201\n"
            "!          Account Info: ACCT-42\n"
            "!          Authorisation code: ZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZZ\n"
            "!      Do not disturb: ON 201\n"
            "!      Forwarding: 201               250         ON  Busy\n"
            "!      Message waiting: OFF 201\n"
            "!          Device: 299\n"
            "!      CSTA_LOGGED_ON\n"
            "!      CSTA_LOGGED_OFF\n"
            "!      CSTA_NOT_READY\n"
            "!      CSTA_READY\n"
            "!      CSTA_WORK_NOT_READY\n"
            "!      CSTA_WORK_READY\n"
            "!      CSTA_BACK_IN_SERVICE\n"
            "!      CSTA_OUT_OF_SERVICE\n"
            "!      Monitor ended: Maintenance\n"
            "! CSTAunsolicited ?83?\n");
}

TEST_F(EventDisplay, DeliveredWithoutCallingDeviceHasNoCallingLine) {
  CSTAEvent_t e = eventOf(CSTAUNSOLICITED, CSTA_DELIVERED);
  ExtendedDeviceID_t notRequired = ext("999");  // its text is not shown
  notRequired.deviceIDStatus = ID_NOT_REQUIRED;
  e.event.cstaUnsolicited.u.delivered = {conn(0x40, "202"), ext("202"), notRequired,
                                         ext("202"), absent(), CS_ALERTING, EC_NONE};
  EXPECT_EQ(show(e),
            "!      Delivered:\n"
            "!          Alerting: 202..40 \n"
            "!          Alerting: 202 Alerting\n"
            "!          Called: 202\n");
  // Without verbose: no prefix, no device lines, no line end.
  EXPECT_EQ(capture([&] {
              o_event(&e, nullptr, false, "! ");
              o_newline(0);
            }),
            "       Delivered: Alerting: 202..40 \n");
}

// ---- snapshots and lists ----------------------------------------------------------------

TEST_F(EventDisplay, DeviceSnapshotOverTwentyFourIsRefusedWhole) {
  LocalConnectionState_t states[] = {CS_CONNECT, CS_HOLD, CS_NULL, CS_ALERTING};
  std::vector<CSTASnapshotDeviceResponseInfo_t> info(25);
  for (std::int32_t i = 0; i < 25; i++) info[i] = {conn(i + 1, "201"), {4, states}};
  CSTAEvent_t e = eventOf(CSTACONFIRMATION, CSTA_SNAPSHOT_DEVICE_CONF);
  auto& snap = e.event.cstaConfirmation.u.snapshotDevice.snapshotData;
  snap = {24, info.data()};

  std::vector<std::string> shown = lines(show(e));
  ASSERT_EQ(shown.size(), 25u);
  EXPECT_EQ(shown[1], "!      201..1 0:C 1:H 3:A");
  EXPECT_EQ(shown[24], "!      201..18 0:C 1:H 3:A");

  snap.count = 25;
  shown = lines(show(e));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1], "!      ? Illegal CSTASnapshotDeviceData_t count 25");

  snap.count = -1;
  shown = lines(show(e));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1], "!      ? Illegal CSTASnapshotDeviceData_t count -1");

  // A call whose state count is out of range says so instead of its states.
  snap.count = 2;
  info[1].getCallState.count = 25;
  shown = lines(show(e));
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[2], "!      201..2 ? Illegal CSTACallState_t count 25");
}

TEST_F(EventDisplay, CallSnapshotShowsAtMostTwentyFour) {
  std::vector<CSTASnapshotCallResponseInfo_t> info(30);
  for (int i = 0; i < 30; i++) {
    std::string device = std::to_string(200 + i);
    info[i] = {ext(device.c_str()), conn(0x50, device.c_str()), i % 2 ? CS_HOLD : CS_CONNECT};
  }
  info[1].deviceOnCall = absent();
  CSTAEvent_t e = eventOf(CSTACONFIRMATION, CSTA_SNAPSHOT_CALL_CONF);
  e.event.cstaConfirmation.invokeID = 8;
  e.event.cstaConfirmation.u.snapshotCall.snapshotData = {30, info.data()};

  std::vector<std::string> shown = lines(show(e));
  ASSERT_EQ(shown.size(), 25u);
  EXPECT_EQ(shown[0], "! CSTA_SNAPSHOT_CALL_CONF              8");
  EXPECT_EQ(shown[1], "!      200..50             Connected 200");
  EXPECT_EQ(shown[2], "!      201..50             Held");
  EXPECT_EQ(shown[24], "!      223..50             Held      223");
}

TEST_F(EventDisplay, ForwardListOverSevenWarnsAndShowsSeven) {
  CSTAEvent_t e = eventOf(CSTACONFIRMATION, CSTA_QUERY_FWD_CONF);
  auto& list = e.event.cstaConfirmation.u.queryFwd.queryFwd;
  for (int i = 0; i < MAX_FWD_PARAMS; i++) {
    list.param[i] = {i, static_cast<Boolean>(i % 2), "26"};
  }
  setDevice(list.param[0].forwardDN, "2500");
  list.count = 9;
  std::vector<std::string> shown = lines(show(e));
  ASSERT_EQ(shown.size(), 10u);
  EXPECT_EQ(shown[1], "!      Forwards:");
  EXPECT_EQ(shown[2], "       ! ?Unreasonable number of forwarding paramters");
  EXPECT_EQ(shown[3], "!      2500        OFF Immediate");
  EXPECT_EQ(shown[9], "!      26          OFF NoAnswerExternal");

  list.count = -3;
  shown = lines(show(e));
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[2], "       ! ?Unreasonable number of forwarding paramters");

  list.count = 2;
  shown = lines(show(e));
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[3], "!      26          ON  Busy");
}

TEST_F(EventDisplay, DeviceStringsStopAtSixtyFourCharacters) {
  ConnectionID_t c = {};
  std::memset(c.deviceID, 'D', sizeof c.deviceID);  // no terminator
  c.callID = 0xAB;
  c.devIDType = DYNAMIC_ID;
  std::string out = capture([&] {
    o_connectionID(&c, 0, false);
    o_newline(0);
  });
  EXPECT_EQ(out, std::string(64, 'D') + "..AB:D\n");
  // Null pointers write nothing.
  out = capture([] {
    o_deviceID(nullptr, 5, true);
    o_connectionID(nullptr, 5, true);
    EXPECT_FALSE(o_extendedDeviceID(nullptr, 5, true));
    o_connectionList(nullptr, 5, "! ");
    o_forwardList(nullptr, 5, "! ");
    o_snapshotCall(nullptr, 5, "! ");
    o_snapshotDevice(nullptr, 5, "! ");
    o_callState(nullptr, 5, true);
  });
  EXPECT_EQ(out, "");
}

// ---- confirmations --------------------------------------------------------------------------

TEST_F(EventDisplay, ConfirmationLayouts) {
  std::vector<CSTAEvent_t> events;
  auto add = [&](EventType_t type, InvokeID_t id) -> decltype(CSTAConfirmationEvent::u)& {
    events.push_back(eventOf(CSTACONFIRMATION, type));
    events.back().event.cstaConfirmation.invokeID = id;
    return events.back().event.cstaConfirmation.u;
  };
  CSTAConnection_t parties[2] = {{conn(0x61, "201"), ext("201")}, {conn(0x61, "202"), absent()}};

  add(CSTA_ANSWER_CALL_CONF, 11);
  add(CSTA_CONFERENCE_CALL_CONF, 12).conferenceCall = {conn(0x61, "201"), {2, parties}};
  add(CSTA_MAKE_CALL_CONF, 13).makeCall.newCall = conn(0x62, "201");
  add(CSTA_QUERY_MWI_CONF, 14).queryMwi.messages = 1;
  add(CSTA_QUERY_DEVICE_INFO_CONF, 17).queryDeviceInfo = {"201", DT_STATION, DC_VOICE | DC_DATA};
  add(CSTA_UNIVERSAL_FAILURE_CONF, 18).universalFailure.error = NO_ACTIVE_CALL;
  add(CSTA_MONITOR_CONF, 19).monitorStart = {77, {CF_HELD, 0, 0, 0, 0}};
  add(CSTA_MONITOR_CONF, 20).monitorStart.monitorCrossRefID = 78;  // no filter bits
  add(CSTA_SYS_STAT_START_CONF, 22);
  add(CSTA_ESCAPE_SVC_CONF, 24);  // its private data is shown elsewhere
  add(CSTA_ROUTE_REQUEST, 25);    // not a confirmation type

  std::string out = capture([&] {
    for (const CSTAEvent_t& e : events) o_event(&e, nullptr, true, "! ");
  });
  EXPECT_EQ(out,
            "! CSTA_ANSWER_CALL_CONF                11\n"
            "! CSTA_CONFERENCE_CALL_CONF            12\n"
            "!      New call: 201..61\n"
            "!          201..61 201\n"
            "!          202..61\n"
            "! CSTA_MAKE_CALL_CONF                  13\n"
            "!      Making call: 201..62\n"
            "! CSTA_QUERY_MWI_CONF                  14\n"
            "!      Mwi: ON\n"
            "! CSTA_QUERY_DEVICE_INFO_CONF          17\n"
            "!      Device Info: 201 STATION Voice,Data\n"
            "! CSTA_UNIVERSAL_FAILURE_CONF          18\n"
            "!      NO_ACTIVE_CALL\n"
            "! CSTA_MONITOR_CONF                    19\n"
            "!      Monitor XrefID: 77 Filters:\n"
            "!      Filters:\n"
            "!          Call       : (0x0100) HELD\n"
            "!          feature    : (0x00) \n"
            "!          agent      : (0x00) \n"
            "!          maintenance: (0x00) \n"
            "!          private    : (0x00000000) \n"
            "! CSTA_MONITOR_CONF                    20\n"
            "!      Monitor XrefID: 78 Filters:\n"
            "! CSTA_SYS_STAT_START_CONF             22\n"
            "!      @@@ CSTA_SYS_STAT_START_CONF\n"
            "! CSTA_ESCAPE_SVC_CONF                 24\n"
            "! CSTA_ROUTE_REQUEST                   25\n"
            "!      CSTAconfirmation ?83?\n");
}

// A misspelt label or a type that falls through to "CSTAconfirmation ?n?"
// shows up here.
TEST_F(EventDisplay, RemainingConfirmationLayouts) {
  const EventType_t bare[] = {
      CSTA_ALTERNATE_CALL_CONF,  CSTA_ANSWER_CALL_CONF,    CSTA_CALL_COMPLETION_CONF,
      CSTA_CLEAR_CALL_CONF,      CSTA_CLEAR_CONNECTION_CONF, CSTA_DEFLECT_CALL_CONF,
      CSTA_PICKUP_CALL_CONF,     CSTA_GROUP_PICKUP_CALL_CONF, CSTA_HOLD_CALL_CONF,
      CSTA_RECONNECT_CALL_CONF,  CSTA_RETRIEVE_CALL_CONF,  CSTA_SET_MWI_CONF,
      CSTA_SET_DND_CONF,         CSTA_SET_FWD_CONF,        CSTA_SET_AGENT_STATE_CONF,
      CSTA_ROUTE_REGISTER_CANCEL_CONF, CSTA_MONITOR_STOP_CONF};
  for (EventType_t type : bare) {
    CSTAEvent_t e = eventOf(CSTACONFIRMATION, type);
    EXPECT_EQ(lines(show(e)).size(), 1u) << getTypeName(CSTACONFIRMATION, type);
  }

  std::vector<CSTAEvent_t> events;
  auto add = [&](EventType_t type) -> decltype(CSTAConfirmationEvent::u)& {
    events.push_back(eventOf(CSTACONFIRMATION, type));
    return events.back().event.cstaConfirmation.u;
  };
  CSTAConnection_t parties[1] = {{conn(0x70, "203"), ext("203")}};
  add(CSTA_CONSULTATION_CALL_CONF).consultationCall.newCall = conn(0x71, "201");
  add(CSTA_MAKE_PREDICTIVE_CALL_CONF).makePredictiveCall.newCall = conn(0x72, "T3", true);
  add(CSTA_QUERY_DND_CONF).queryDnd.doNotDisturb = 0;
  add(CSTA_QUERY_AGENT_STATE_CONF).queryAgentState.agentState = AG_WORK_READY;
  setDevice(add(CSTA_QUERY_LAST_NUMBER_CONF).queryLastNumber.lastNumber, "5551234");
  add(CSTA_TRANSFER_CALL_CONF).transferCall = {conn(0x70, "202"), {1, parties}};
  add(CSTA_ROUTE_REGISTER_REQ_CONF).routeRegister.registerReqID = 5;
  add(CSTA_CHANGE_MONITOR_FILTER_CONF).changeMonitorFilter.monitorFilter = {0, 0, 0,
                                                                            MF_OUT_OF_SERVICE, 0};
  add(CSTA_SYS_STAT_REQ_CONF);
  add(CSTA_SYS_STAT_STOP_CONF);
  add(CSTA_CHANGE_SYS_STAT_FILTER_CONF);
  add(CSTA_REQ_SYS_STAT_CONF);
  add(CSTA_GET_DEVICE_LIST_CONF);
  add(CSTA_QUERY_CALL_MONITOR_CONF);
  o_enableInvokeIDstamps(false);  // invoke IDs are not what this checks
  std::string out = capture([&] {
    for (const CSTAEvent_t& e : events) o_event(&e, nullptr, true, "! ");
  });
  EXPECT_EQ(out,
            "! CSTA_CONSULTATION_CALL_CONF\n"
            "!      New call: 201..71\n"
            "! CSTA_MAKE_PREDICTIVE_CALL_CONF\n"
            "!      Making predictive call: T3..72:D\n"
            "! CSTA_QUERY_DND_CONF\n"
            "!      Dnd: OFF\n"
            "! CSTA_QUERY_AGENT_STATE_CONF\n"
            "!      Agent state: AG_WORK_READY\n"
            "! CSTA_QUERY_LAST_NUMBER_CONF\n"
            "!      Last number: 5551234\n"
            "! CSTA_TRANSFER_CALL_CONF\n"
            "!      Transfer: 202..70\n"
            "!          203..70 203\n"
            "! CSTA_ROUTE_REGISTER_REQ_CONF\n"
            "!      @@@NIY registerReqID\n"
            "! CSTA_CHANGE_MONITOR_FILTER_CONF\n"
            "!      Change filters:\n"
            "!      Filters:\n"
            "!          Call       : (0x0000) \n"
            "!          feature    : (0x00) \n"
            "!          agent      : (0x00) \n"
            "!          maintenance: (0x40) OUT_OF_SERVICE\n"
            "!          private    : (0x00000000) \n"
            "! CSTA_SYS_STAT_REQ_CONF\n"
            "!      @@@ CSTA_SYS_STAT_REQ_CONF\n"
            "! CSTA_SYS_STAT_STOP_CONF\n"
            "!      @@@ CSTA_SYS_STAT_STOP_CONF\n"
            "! CSTA_CHANGE_SYS_STAT_FILTER_CONF\n"
            "!      @@@ CSTA_SYS_STAT_FILTER_CONF\n"
            "! CSTA_REQ_SYS_STAT_CONF\n"
            "!      @@@ CSTA_SYS_STAT_CONF\n"
            "! CSTA_GET_DEVICE_LIST_CONF\n"
            "!      @@@ CSTA_GET_DEVICE_LIST_CONF\n"
            "! CSTA_QUERY_CALL_MONITOR_CONF\n"
            "!      @@@ CSTA_QUERY_CALL_MONITOR_CONF\n");
}

TEST_F(EventDisplay, ApiCapabilitiesAreNamedInMemberOrder) {
  CSTAEvent_t e = eventOf(CSTACONFIRMATION, CSTA_GETAPI_CAPS_CONF);
  e.event.cstaConfirmation.invokeID = 30;
  auto& caps = e.event.cstaConfirmation.u.getAPICaps;
  caps.alternateCall = 1;
  caps.transferCall = -1;  // any non-zero value
  caps.routeEndEvent = 1;
  caps.sysStatEvent = 2;
  std::vector<std::string> shown = lines(show(e));
  ASSERT_EQ(shown.size(), 5u);
  EXPECT_EQ(shown[1], "! alternateCall");
  EXPECT_EQ(shown[2], "! transferCall");
  EXPECT_EQ(shown[3], "! routeEndEvent");
  EXPECT_EQ(shown[4], "! sysStatEvent");
}

std::string firmwareText() {
  FirmwareVersion fw = o_getFirmwareVersion();
  return std::to_string(fw.fwMajor) + "." + std::to_string(fw.fwMinor) + "-" +
         std::to_string(fw.fwEdit);
}

TEST_F(EventDisplay, OpenStreamShowsVersionsAndKeepsFirmware) {
  o_storeFirmwareVersion("9.9-9", 6);
  CSTAEvent_t e = eventOf(ACSCONFIRMATION, ACS_OPEN_STREAM_CONF);
  e.event.acsConfirmation.invokeID = 1;
  auto& open = e.event.acsConfirmation.u.acsopen;
  open = {"TS2", "csta32 1.0", "telsim 1.0", " 2.7-509"};
  EXPECT_EQ(show(e),
            "! ACS_OPEN_STREAM_CONF                 1\n"
            "!      Api: TS2\n"
            "!      Lib: csta32 1.0\n"
            "!      Tsrv: telsim 1.0\n"
            "!      dev:  2.7-509\n");
  EXPECT_EQ(firmwareText(), "2.7-509");

  // A terminal shown a version text acts on none of its control characters.
  std::snprintf(open.tsrvVer, sizeof open.tsrvVer, "%s", "x\x1b]0;pwn\x07");
  EXPECT_NE(show(e).find("!      Tsrv: x\\x1B]0;pwn\\x07\n"), std::string::npos);

  // A driver version that fills its field is read no further.
  std::memset(open.drvrVer, '7', sizeof open.drvrVer);
  std::memcpy(open.drvrVer, "3.", 2);
  show(e);
  EXPECT_EQ(firmwareText(), "3.65535-0");

  // What cannot be read is not kept from the last server.
  o_storeFirmwareVersion("unknown", 8);
  EXPECT_EQ(firmwareText(), "0.0-0");
  o_storeFirmwareVersion("3.1", 4);
  EXPECT_EQ(firmwareText(), "3.1-0");
}

TEST_F(EventDisplay, AcsConfirmationsAndOtherClasses) {
  std::vector<CSTAEvent_t> events;
  auto add = [&](EventClass_t eventClass, EventType_t type) -> CSTAEvent_t& {
    events.push_back(eventOf(eventClass, type));
    return events.back();
  };
  add(ACSCONFIRMATION, ACS_CLOSE_STREAM_CONF).event.acsConfirmation.invokeID = 40;
  auto& failure = add(ACSCONFIRMATION, ACS_UNIVERSAL_FAILURE_CONF).event.acsConfirmation;
  failure.invokeID = 41;
  failure.u.failureEvent.error = TSERVER_BAD_PASSWORD_OR_LOGIN;
  add(ACSCONFIRMATION, ACS_KEY_REPLY).event.acsConfirmation.invokeID = 42;
  add(ACSUNSOLICITED, ACS_UNIVERSAL_FAILURE).event.acsUnsolicited.u.failureEvent.error =
      TSERVER_STREAM_FAILED;
  add(ACSUNSOLICITED, ACS_KEY_REQUEST);
  add(ACSREQUEST, ACS_OPEN_STREAM);
  add(CSTAREQUEST, CSTA_ROUTE_REQUEST).eventHeader.acsHandle = 9;  // another stream
  add(CSTAEVENTREPORT, 3);
  add(9, 1);
  std::string out = capture([&] {
    for (const CSTAEvent_t& e : events) o_event(&e, nullptr, true, "! ");
  });
  EXPECT_EQ(out,
            "! ACS_CLOSE_STREAM_CONF                40\n"
            "! ACS_UNIVERSAL_FAILURE_CONF           41 TSERVER_BAD_PASSWORD_OR_LOGIN\n"
            "! ACS_KEY_REPLY                        42 unknown type ?9?\n"
            "! TSERVER_STREAM_FAILED\n"
            "! ? Type ACS_KEY_REQUEST is not an expected ACSUnsolicitedEvent\n"
            "! Class: ACSREQUEST Type: ACS_OPEN_STREAM\n"
            "! ? Strange to find an ACSREQUEST from the server\n"
            "! Handle: 9 Class: CSTAREQUEST Type: CSTA_ROUTE_REQUEST\n"
            "! ? Found a CSTAREQUEST from the server\n"
            "! CSTAreport ?3?\n"
            "! Class: ?9? Type: ?1?\n");
}

// ---- headers and stamps -----------------------------------------------------------------------

TEST_F(EventDisplay, HandleShownOnlyForAnotherStream) {
  CSTAEvent_t local = eventOf(CSTAREQUEST, CSTA_ROUTE_REQUEST);
  CSTAEvent_t other = local;
  other.eventHeader.acsHandle = 3000000000u;
  std::string out = capture([&] {
    o_eventHeader(&local.eventHeader, true);
    o_newline(0);
    o_eventHeader(&other.eventHeader, true);
    o_newline(0);
    o_eventHeader(&other.eventHeader, false);
    o_newline(0);
  });
  EXPECT_EQ(out,
            "Class: CSTAREQUEST Type: CSTA_ROUTE_REQUEST\n"
            "Handle: 3000000000 Class: CSTAREQUEST Type: CSTA_ROUTE_REQUEST\n"
            "CSTAREQUEST CSTA_ROUTE_REQUEST\n");
}

TEST_F(EventDisplay, ConfirmationDelayFromItsRequest) {
  CSTAEvent_t e = eventOf(CSTACONFIRMATION, CSTA_HOLD_CALL_CONF);
  e.event.cstaConfirmation.invokeID = 300;

  fakeNow = 5000;
  EXPECT_EQ(stampInvokeID(300), 0.0f);  // request sent
  fakeNow = 5250;
  EXPECT_FLOAT_EQ(stampInvokeID(300), 0.25f);  // confirmation in
  EXPECT_EQ(getInvokeIDstamp(300), 5250);
  EXPECT_EQ(getInvokeIDstamp(428), 0);
  EXPECT_EQ(show(e), "! CSTA_HOLD_CALL_CONF                  300     0.250000\n");

  // Request 301, then 429 takes over its slot before 301's answer comes.
  fakeNow = 6000;
  stampInvokeID(301);
  fakeNow = 6100;
  stampInvokeID(429);
  fakeNow = 6400;
  EXPECT_EQ(stampInvokeID(301), 0.0f);
  e.event.cstaConfirmation.invokeID = 301;
  EXPECT_EQ(show(e), "! CSTA_HOLD_CALL_CONF                  301     0.000000\n");
  // 429's answer finds the slot gone too and shows no delay at all.
  e.event.cstaConfirmation.invokeID = 429;
  EXPECT_EQ(show(e), "! CSTA_HOLD_CALL_CONF                  429\n");
}

TEST_F(EventDisplay, StampSwitches) {
  CSTAEvent_t e = eventOf(CSTACONFIRMATION, CSTA_HOLD_CALL_CONF);
  e.event.cstaConfirmation.invokeID = 77;
  fakeNow = 100;
  stampInvokeID(77);
  fakeNow = 1600;
  stampInvokeID(77);

  EXPECT_TRUE(o_enableInvokeIDstamps(false));
  EXPECT_EQ(show(e), "! CSTA_HOLD_CALL_CONF                          1.500000\n");
  EXPECT_TRUE(o_enableInvokeIDdelayStamps(false));
  EXPECT_EQ(show(e), "! CSTA_HOLD_CALL_CONF\n");
  EXPECT_FALSE(o_enableInvokeIDstamps(true));
  EXPECT_EQ(show(e), "! CSTA_HOLD_CALL_CONF                  77\n");
  EXPECT_FALSE(o_enableInvokeIDdelayStamps(true));

  // The clock wrapping past 2^31 milliseconds still gives a small delay.
  fakeNow = 2147483600;  // 47 ms before the wrap
  stampInvokeID(78);
  fakeNow = -2147483496;  // 153 ms after it
  EXPECT_FLOAT_EQ(stampInvokeID(78), 0.2f);
}

TEST_F(EventDisplay, TimestampOnFirstLines) {
  EXPECT_FALSE(o_enableTimestamps(true));
  CSTAEvent_t e = eventOf(CSTAUNSOLICITED, CSTA_READY);
  std::string before = timestamp();
  std::string out = show(e);
  std::string after = timestamp();
  EXPECT_TRUE(out == "! " + before + " CSTA_READY\n" || out == "! " + after + " CSTA_READY\n")
      << out;
  EXPECT_TRUE(o_enableTimestamps(false));
  EXPECT_EQ(show(e), "!      CSTA_READY\n");
}

}  // namespace
