#include "display/names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

std::string text(const char* s) { return s ? s : "(null)"; }

TEST(Names, ClassesAndTypes) {
  EXPECT_EQ(text(getClassName(0)), "ACSREQUEST");
  EXPECT_EQ(text(getClassName(6)), "CSTAEVENTREPORT");
  EXPECT_EQ(text(getClassName(7)), "?Unknown?");
  EXPECT_EQ(text(getClassName(8)), "?8?");

  EXPECT_EQ(text(getTypeName(5, 24)), "CSTA_MAKE_CALL_CONF");
  EXPECT_EQ(text(getTypeName(2, 13)), "?13?");
  EXPECT_EQ(text(getTypeName(0, 1)), "ACS_OPEN_STREAM");
  EXPECT_EQ(text(getTypeName(2, 12)), "ACS_?unknown?");
  EXPECT_EQ(text(getTypeName(1, 0)), "?0?");
  EXPECT_EQ(text(getTypeName(3, 1)), "CSTA_ALTERNATE_CALL");
  EXPECT_EQ(text(getTypeName(4, 57)), "CSTA_DELIVERED");
  EXPECT_EQ(text(getTypeName(6, 129)), "CSTA_QUERY_CALL_MONITOR_CONF");
  EXPECT_EQ(text(getTypeName(6, 130)), "?130?");
  EXPECT_EQ(text(getTypeName(7, 1)), "?1?");
}

TEST(Names, AcsFailures) {
  EXPECT_EQ(text(getACSfailureName(0)), "TSERVER_STREAM_FAILED");
  EXPECT_EQ(text(getACSfailureName(28)), "TSERVER_DEVICE_NOT_ON_LIST");
  EXPECT_EQ(text(getACSfailureName(29)), "?29?");
  EXPECT_EQ(text(getACSfailureName(30)), "TSERVER_USERS_RESTRICTED_HOME");
  EXPECT_EQ(text(getACSfailureName(79)), "TSERVER_ECB_OVERDUE");
  EXPECT_EQ(text(getACSfailureName(80)), "?80?");
  EXPECT_EQ(text(getACSfailureName(999)), "?999?");
  EXPECT_EQ(text(getACSfailureName(1000)), "DRIVER_DUPLICATE_ACSHANDLE");
  EXPECT_EQ(text(getACSfailureName(1008)), "DRIVER_OAM_IN_USE");
  EXPECT_EQ(text(getACSfailureName(1009)), "?1009?");
  EXPECT_EQ(text(getACSfailureName(-1)), "?-1?");
}

// The unassigned CSTA failure values carry placeholders and every other value
// a real name; a slip in the table would shift names onto wrong values.
TEST(Names, CstaFailurePlaceholdersSitOnUnassignedValues) {
  auto unassigned = [](long v) {
    return v == 20 || v == 30 || v == 39 || v == 40 || (v >= 45 && v <= 50) ||
           (v >= 53 && v <= 60) || (v >= 65 && v <= 69);
  };
  for (long v = 0; v < 80; ++v) {
    std::string name = text(getCSTAfailureName(v));
    if (unassigned(v))
      EXPECT_EQ(name, "?NO_FAILURE_OF_TYPE_" + std::to_string(v) + "?");
    else
      EXPECT_NE(name[0], '?') << v;
  }
  EXPECT_EQ(text(getCSTAfailureName(0)), "GENERIC_UNSPECIFIED");
  EXPECT_EQ(text(getCSTAfailureName(19)), "SECURITY_VIOLATION");
  EXPECT_EQ(text(getCSTAfailureName(21)), "GENERIC_STATE_INCOMPATIBILITY");
  EXPECT_EQ(text(getCSTAfailureName(44)), "OUTSTANDING_REQUEST_LIMIT_EXCEEDED");
  EXPECT_EQ(text(getCSTAfailureName(64)), "SEAL_VIOLATED");
  EXPECT_EQ(text(getCSTAfailureName(79)), "REQUESTS_ON_DEVICE_EXCEEDED_REJECTION");
  EXPECT_EQ(text(getCSTAfailureName(80)), "?80?");
}

TEST(Names, CausesAndConnectionStates) {
  EXPECT_EQ(getCauseName(-1), nullptr);
  EXPECT_EQ(getCauseName(0), nullptr);
  EXPECT_EQ(text(getCauseName(1)), "Active_Monitor");
  EXPECT_EQ(text(getCauseName(22)), "New_Call");
  EXPECT_EQ(text(getCauseName(34)), "Voice_Unit_Initiator");
  EXPECT_EQ(text(getCauseName(35)), "?35?");
  EXPECT_EQ(text(getCauseName(-2)), "?-2?");

  const char* names[] = {"Initiated", "Alerting", "Connected", "Held", "Queued", "Failed"};
  const char* letters[] = {"I", "A", "C", "H", "Q", "F"};
  for (int s = 1; s <= 6; ++s) {
    EXPECT_EQ(text(getLocalStateName(s)), names[s - 1]);
    EXPECT_EQ(text(getLocalStateCharacter(s)), letters[s - 1]);
  }
  for (int s : {-1, 0}) {
    EXPECT_EQ(getLocalStateName(s), nullptr);
    EXPECT_EQ(getLocalStateCharacter(s), nullptr);
  }
  EXPECT_EQ(text(getLocalStateName(7)), "?7?");
  EXPECT_EQ(text(getLocalStateCharacter(7)), "?7?");
}

TEST(Names, DeviceClassListJoinsSetBitsInOrder) {
  EXPECT_EQ(text(getDeviceClassList(0)), "");
  EXPECT_EQ(text(getDeviceClassList(0x80)), "Voice");
  EXPECT_EQ(text(getDeviceClassList(0x50)), "Data,Other");
  EXPECT_EQ(text(getDeviceClassList(0xFF)), "Voice,Data,Image,Other");
  EXPECT_EQ(text(getDeviceClassList(0x0F)), "");
  // One buffer: a second call starts afresh rather than appending.
  getDeviceClassList(0xF0);
  EXPECT_EQ(text(getDeviceClassList(0x20)), "Image");
}

TEST(Names, DeviceIdentifierTypes) {
  EXPECT_EQ(text(getDevIDtypeName(0)), "DeviceID");
  EXPECT_EQ(text(getDevIDtypeName(20)), "ImplicitPublic");
  EXPECT_EQ(text(getDevIDtypeName(35)), "PublicAbbreviated");
  EXPECT_EQ(text(getDevIDtypeName(36)), "?36?");
  EXPECT_EQ(text(getDevIDtypeName(56)), "PrivateAbbreviated");
  EXPECT_EQ(text(getDevIDtypeName(60)), "OtherPlan");
  EXPECT_EQ(text(getDevIDtypeName(71)), "TrunkGroupID");
  EXPECT_EQ(text(getDevIDtypeName(72)), "?72?");
  EXPECT_EQ(text(getDevIDtypeName(1)), "?1?");
}

TEST(Names, SmallTablesAndTheirEdges) {
  EXPECT_EQ(text(getAgentStateName(0)), "AG_NOT_READY");
  EXPECT_EQ(text(getAgentStateName(4)), "AG_WORK_READY");
  EXPECT_EQ(text(getAgentStateName(5)), "?5?");
  EXPECT_EQ(text(getDeviceTypeName(4)), "TRUNK");
  EXPECT_EQ(text(getDeviceTypeName(-1)), "?-1?");
  EXPECT_EQ(text(getForwardingTypeName(6)), "NoAnswerExternal");
  EXPECT_EQ(text(getForwardingTypeName(7)), "?7?");
  EXPECT_EQ(text(getBoardTypeName(0)), "Unknown");
  EXPECT_EQ(text(getBoardTypeName(1)), "PBXOrion");
  EXPECT_EQ(text(getBoardTypeName(4)), "PBXDraco");
  EXPECT_EQ(text(getBoardTypeName(5)), "Unknown");
  EXPECT_EQ(text(getLineStyleName(0)), "Extension");
  EXPECT_EQ(text(getLineStyleName(2)), "Unknown");
  EXPECT_EQ(text(getLineStyleName(3)), "DigitalTrunk");
  EXPECT_EQ(text(getSoundIDname(5)), "Busy Tone");
  EXPECT_EQ(text(getSoundIDname(6)), "?6?");
}

TEST(Names, ErrorNumberHoldsTheWidestValue) {
  EXPECT_EQ(text(errorNumber(-2147483647L - 1)), "?-2147483648?");
  EXPECT_EQ(text(errorNumber(2147483647L)), "?2147483647?");
}

// The tables are indexed by value; they must agree with the library header's
// numbering of every event type the formatter dispatches on.
struct Named {
  long value;
  const char* name;
};
#define NAMED(x) {x, #x}

const Named cstaTypes[] = {
    NAMED(CSTA_ALTERNATE_CALL), NAMED(CSTA_ALTERNATE_CALL_CONF), NAMED(CSTA_ANSWER_CALL),
    NAMED(CSTA_ANSWER_CALL_CONF), NAMED(CSTA_CALL_COMPLETION), NAMED(CSTA_CALL_COMPLETION_CONF),
    NAMED(CSTA_CLEAR_CALL), NAMED(CSTA_CLEAR_CALL_CONF), NAMED(CSTA_CLEAR_CONNECTION),
    NAMED(CSTA_CLEAR_CONNECTION_CONF), NAMED(CSTA_CONFERENCE_CALL),
    NAMED(CSTA_CONFERENCE_CALL_CONF), NAMED(CSTA_CONSULTATION_CALL),
    NAMED(CSTA_CONSULTATION_CALL_CONF), NAMED(CSTA_DEFLECT_CALL), NAMED(CSTA_DEFLECT_CALL_CONF),
    NAMED(CSTA_PICKUP_CALL), NAMED(CSTA_PICKUP_CALL_CONF), NAMED(CSTA_GROUP_PICKUP_CALL),
    NAMED(CSTA_GROUP_PICKUP_CALL_CONF), NAMED(CSTA_HOLD_CALL), NAMED(CSTA_HOLD_CALL_CONF),
    NAMED(CSTA_MAKE_CALL), NAMED(CSTA_MAKE_CALL_CONF), NAMED(CSTA_MAKE_PREDICTIVE_CALL),
    NAMED(CSTA_MAKE_PREDICTIVE_CALL_CONF), NAMED(CSTA_QUERY_MWI), NAMED(CSTA_QUERY_MWI_CONF),
    NAMED(CSTA_QUERY_DND), NAMED(CSTA_QUERY_DND_CONF), NAMED(CSTA_QUERY_FWD),
    NAMED(CSTA_QUERY_FWD_CONF), NAMED(CSTA_QUERY_AGENT_STATE), NAMED(CSTA_QUERY_AGENT_STATE_CONF),
    NAMED(CSTA_QUERY_LAST_NUMBER), NAMED(CSTA_QUERY_LAST_NUMBER_CONF),
    NAMED(CSTA_QUERY_DEVICE_INFO), NAMED(CSTA_QUERY_DEVICE_INFO_CONF), NAMED(CSTA_RECONNECT_CALL),
    NAMED(CSTA_RECONNECT_CALL_CONF), NAMED(CSTA_RETRIEVE_CALL), NAMED(CSTA_RETRIEVE_CALL_CONF),
    NAMED(CSTA_SET_MWI), NAMED(CSTA_SET_MWI_CONF), NAMED(CSTA_SET_DND), NAMED(CSTA_SET_DND_CONF),
    NAMED(CSTA_SET_FWD), NAMED(CSTA_SET_FWD_CONF), NAMED(CSTA_SET_AGENT_STATE),
    NAMED(CSTA_SET_AGENT_STATE_CONF), NAMED(CSTA_TRANSFER_CALL), NAMED(CSTA_TRANSFER_CALL_CONF),
    NAMED(CSTA_UNIVERSAL_FAILURE_CONF), NAMED(CSTA_CALL_CLEARED), NAMED(CSTA_CONFERENCED),
    NAMED(CSTA_CONNECTION_CLEARED), NAMED(CSTA_DELIVERED), NAMED(CSTA_DIVERTED),
    NAMED(CSTA_ESTABLISHED), NAMED(CSTA_FAILED), NAMED(CSTA_HELD), NAMED(CSTA_NETWORK_REACHED),
    NAMED(CSTA_ORIGINATED), NAMED(CSTA_QUEUED), NAMED(CSTA_RETRIEVED),
    NAMED(CSTA_SERVICE_INITIATED), NAMED(CSTA_TRANSFERRED), NAMED(CSTA_CALL_INFORMATION),
    NAMED(CSTA_DO_NOT_DISTURB), NAMED(CSTA_FORWARDING), NAMED(CSTA_MESSAGE_WAITING),
    NAMED(CSTA_LOGGED_ON), NAMED(CSTA_LOGGED_OFF), NAMED(CSTA_NOT_READY), NAMED(CSTA_READY),
    NAMED(CSTA_WORK_NOT_READY), NAMED(CSTA_WORK_READY), NAMED(CSTA_ROUTE_REGISTER_REQ),
    NAMED(CSTA_ROUTE_REGISTER_REQ_CONF), NAMED(CSTA_ROUTE_REGISTER_CANCEL),
    NAMED(CSTA_ROUTE_REGISTER_CANCEL_CONF), NAMED(CSTA_ROUTE_REGISTER_ABORT),
    NAMED(CSTA_ROUTE_REQUEST), NAMED(CSTA_ROUTE_SELECT_REQUEST), NAMED(CSTA_RE_ROUTE_REQUEST),
    NAMED(CSTA_ROUTE_USED), NAMED(CSTA_ROUTE_END), NAMED(CSTA_ROUTE_END_REQUEST),
    NAMED(CSTA_ESCAPE_SVC), NAMED(CSTA_ESCAPE_SVC_CONF), NAMED(CSTA_ESCAPE_SVC_REQ),
    NAMED(CSTA_ESCAPE_SVC_REQ_CONF), NAMED(CSTA_PRIVATE), NAMED(CSTA_PRIVATE_STATUS),
    NAMED(CSTA_SEND_PRIVATE), NAMED(CSTA_BACK_IN_SERVICE), NAMED(CSTA_OUT_OF_SERVICE),
    NAMED(CSTA_REQ_SYS_STAT), NAMED(CSTA_SYS_STAT_REQ_CONF), NAMED(CSTA_SYS_STAT_START),
    NAMED(CSTA_SYS_STAT_START_CONF), NAMED(CSTA_SYS_STAT_STOP), NAMED(CSTA_SYS_STAT_STOP_CONF),
    NAMED(CSTA_CHANGE_SYS_STAT_FILTER), NAMED(CSTA_CHANGE_SYS_STAT_FILTER_CONF),
    NAMED(CSTA_SYS_STAT), NAMED(CSTA_SYS_STAT_ENDED), NAMED(CSTA_SYS_STAT_REQ),
    NAMED(CSTA_REQ_SYS_STAT_CONF), NAMED(CSTA_SYS_STAT_EVENT_SEND), NAMED(CSTA_MONITOR_DEVICE),
    NAMED(CSTA_MONITOR_CALL), NAMED(CSTA_MONITOR_CALLS_VIA_DEVICE), NAMED(CSTA_MONITOR_CONF),
    NAMED(CSTA_CHANGE_MONITOR_FILTER), NAMED(CSTA_CHANGE_MONITOR_FILTER_CONF),
    NAMED(CSTA_MONITOR_STOP), NAMED(CSTA_MONITOR_STOP_CONF), NAMED(CSTA_MONITOR_ENDED),
    NAMED(CSTA_SNAPSHOT_CALL), NAMED(CSTA_SNAPSHOT_CALL_CONF), NAMED(CSTA_SNAPSHOT_DEVICE),
    NAMED(CSTA_SNAPSHOT_DEVICE_CONF), NAMED(CSTA_GETAPI_CAPS), NAMED(CSTA_GETAPI_CAPS_CONF),
    NAMED(CSTA_GET_DEVICE_LIST), NAMED(CSTA_GET_DEVICE_LIST_CONF), NAMED(CSTA_QUERY_CALL_MONITOR),
    NAMED(CSTA_QUERY_CALL_MONITOR_CONF),
};

const Named acsTypes[] = {
    NAMED(ACS_OPEN_STREAM), NAMED(ACS_OPEN_STREAM_CONF), NAMED(ACS_CLOSE_STREAM),
    NAMED(ACS_CLOSE_STREAM_CONF), NAMED(ACS_ABORT_STREAM), NAMED(ACS_UNIVERSAL_FAILURE_CONF),
    NAMED(ACS_UNIVERSAL_FAILURE), NAMED(ACS_KEY_REQUEST), NAMED(ACS_KEY_REPLY),
    NAMED(ACS_NAME_SRV_REQUEST), NAMED(ACS_NAME_SRV_REPLY),
   
};

TEST(Names, TypeTablesAgreeWithTheLibraryHeader) {
  for (const Named& n : cstaTypes)
    EXPECT_EQ(text(getTypeName(CSTACONFIRMATION, n.value)), n.name);
  for (const Named& n : acsTypes)
    EXPECT_EQ(text(getTypeName(ACSCONFIRMATION, n.value)), n.name);
}

TEST(Names, OtherTablesAgreeWithTheLibraryHeader) {
  EXPECT_EQ(text(getACSfailureName(TSERVER_DEVICE_NOT_ON_LIST)), "TSERVER_DEVICE_NOT_ON_LIST");
  EXPECT_EQ(text(getACSfailureName(TSERVER_ECB_OVERDUE)), "TSERVER_ECB_OVERDUE");
  EXPECT_EQ(text(getACSfailureName(DRIVER_LINK_UNAVAILABLE)), "DRIVER_LINK_UNAVAILABLE");
  EXPECT_EQ(text(getCSTAfailureName(NO_CALL_TO_COMPLETE)), "NO_CALL_TO_COMPLETE");
  EXPECT_EQ(text(getCSTAfailureName(PERFORMANCE_LIMIT_EXCEEDED)), "PERFORMANCE_LIMIT_EXCEEDED");
  EXPECT_EQ(text(getCSTAfailureName(GENERIC_UNSPECIFIED_REJECTION)),
            "GENERIC_UNSPECIFIED_REJECTION");
  EXPECT_EQ(text(getCauseName(EC_NEW_CALL)), "New_Call");
  EXPECT_EQ(text(getCauseName(EC_TRANSFER)), "Transfer");
  EXPECT_EQ(getCauseName(EC_NONE), nullptr);
  EXPECT_EQ(text(getLocalStateName(CS_HOLD)), "Held");
  EXPECT_EQ(text(getLocalStateCharacter(CS_FAIL)), "F");
  EXPECT_EQ(text(getAgentStateName(AG_WORK_NOT_READY)), "AG_WORK_NOT_READY");
  EXPECT_EQ(text(getDeviceTypeName(DT_TRUNK)), "TRUNK");
  EXPECT_EQ(text(getDeviceTypeName(DT_ACD_GROUP)), "ACD_GROUP");
  EXPECT_EQ(text(getDeviceTypeName(DT_OTHER)), "OTHER");
  EXPECT_EQ(text(getDeviceClassList(DC_VOICE | DC_OTHER)), "Voice,Other");
  EXPECT_EQ(text(getDevIDtypeName(EXPLICIT_PRIVATE_LOCAL_NUMBER)), "LocalNumber");
  EXPECT_EQ(text(getDevIDtypeName(TRUNK_IDENTIFIER)), "TrunkID");
  EXPECT_EQ(text(getForwardingTypeName(FWD_NO_ANS_INT)), "NoAnswerInternal");
}

}  // namespace
