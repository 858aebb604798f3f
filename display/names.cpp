#include "display/names.h"

#include <cstdio>
#include <cstring>

namespace {

template <typename T, std::size_t N>
constexpr long countOf(const T (&)[N]) {
  return static_cast<long>(N);
}

// The entry of a table whose first element names the value `first`, or null
// when value is outside it. Wide arithmetic: no value can overflow here.
template <std::size_t N>
const char* entry(const char* const (&table)[N], long long value, long long first = 0) {
  if (value < first || value - first >= static_cast<long long>(N)) return nullptr;
  return table[value - first];
}

const char* const classNames[] = {
    "ACSREQUEST",      "ACSUNSOLICITED",   "ACSCONFIRMATION", "CSTAREQUEST",
    "CSTAUNSOLICITED", "CSTACONFIRMATION", "CSTAEVENTREPORT", "?Unknown?",
};

const char* const acsTypeNames[] = {
    "OPEN_STREAM", "OPEN_STREAM_CONF", "CLOSE_STREAM", "CLOSE_STREAM_CONF", "ABORT_STREAM",
    "UNIVERSAL_FAILURE_CONF", "UNIVERSAL_FAILURE", "KEY_REQUEST", "KEY_REPLY",
    "NAME_SRV_REQUEST", "NAME_SRV_REPLY", "?unknown?",
};

const char* const cstaTypeNames[] = {
    "ALTERNATE_CALL", "ALTERNATE_CALL_CONF", "ANSWER_CALL", "ANSWER_CALL_CONF",
    "CALL_COMPLETION", "CALL_COMPLETION_CONF", "CLEAR_CALL", "CLEAR_CALL_CONF",
    "CLEAR_CONNECTION", "CLEAR_CONNECTION_CONF", "CONFERENCE_CALL", "CONFERENCE_CALL_CONF",
    "CONSULTATION_CALL", "CONSULTATION_CALL_CONF", "DEFLECT_CALL", "DEFLECT_CALL_CONF",
    "PICKUP_CALL", "PICKUP_CALL_CONF", "GROUP_PICKUP_CALL", "GROUP_PICKUP_CALL_CONF",
    "HOLD_CALL", "HOLD_CALL_CONF", "MAKE_CALL", "MAKE_CALL_CONF", "MAKE_PREDICTIVE_CALL",
    "MAKE_PREDICTIVE_CALL_CONF", "QUERY_MWI", "QUERY_MWI_CONF", "QUERY_DND", "QUERY_DND_CONF",
    "QUERY_FWD", "QUERY_FWD_CONF", "QUERY_AGENT_STATE", "QUERY_AGENT_STATE_CONF",
    "QUERY_LAST_NUMBER", "QUERY_LAST_NUMBER_CONF", "QUERY_DEVICE_INFO",
    "QUERY_DEVICE_INFO_CONF", "RECONNECT_CALL", "RECONNECT_CALL_CONF", "RETRIEVE_CALL",
    "RETRIEVE_CALL_CONF", "SET_MWI", "SET_MWI_CONF", "SET_DND", "SET_DND_CONF", "SET_FWD",
    "SET_FWD_CONF", "SET_AGENT_STATE", "SET_AGENT_STATE_CONF", "TRANSFER_CALL",
    "TRANSFER_CALL_CONF", "UNIVERSAL_FAILURE_CONF", "CALL_CLEARED", "CONFERENCED",
    "CONNECTION_CLEARED", "DELIVERED", "DIVERTED", "ESTABLISHED", "FAILED", "HELD",
    "NETWORK_REACHED", "ORIGINATED", "QUEUED", "RETRIEVED", "SERVICE_INITIATED", "TRANSFERRED",
    "CALL_INFORMATION", "DO_NOT_DISTURB", "FORWARDING", "MESSAGE_WAITING", "LOGGED_ON",
    "LOGGED_OFF", "NOT_READY", "READY", "WORK_NOT_READY", "WORK_READY", "ROUTE_REGISTER_REQ",
    "ROUTE_REGISTER_REQ_CONF", "ROUTE_REGISTER_CANCEL", "ROUTE_REGISTER_CANCEL_CONF",
    "ROUTE_REGISTER_ABORT", "ROUTE_REQUEST", "ROUTE_SELECT_REQUEST", "RE_ROUTE_REQUEST",
    "ROUTE_USED", "ROUTE_END", "ROUTE_END_REQUEST", "ESCAPE_SVC", "ESCAPE_SVC_CONF",
    "ESCAPE_SVC_REQ", "ESCAPE_SVC_REQ_CONF", "PRIVATE", "PRIVATE_STATUS", "SEND_PRIVATE",
    "BACK_IN_SERVICE", "OUT_OF_SERVICE", "REQ_SYS_STAT", "SYS_STAT_REQ_CONF", "SYS_STAT_START",
    "SYS_STAT_START_CONF", "SYS_STAT_STOP", "SYS_STAT_STOP_CONF", "CHANGE_SYS_STAT_FILTER",
    "CHANGE_SYS_STAT_FILTER_CONF", "SYS_STAT", "SYS_STAT_ENDED", "SYS_STAT_REQ",
    "REQ_SYS_STAT_CONF", "SYS_STAT_EVENT_SEND", "MONITOR_DEVICE", "MONITOR_CALL",
    "MONITOR_CALLS_VIA_DEVICE", "MONITOR_CONF", "CHANGE_MONITOR_FILTER",
    "CHANGE_MONITOR_FILTER_CONF", "MONITOR_STOP", "MONITOR_STOP_CONF", "MONITOR_ENDED",
    "SNAPSHOT_CALL", "SNAPSHOT_CALL_CONF", "SNAPSHOT_DEVICE", "SNAPSHOT_DEVICE_CONF",
    "GETAPI_CAPS", "GETAPI_CAPS_CONF", "GET_DEVICE_LIST", "GET_DEVICE_LIST_CONF",
    "QUERY_CALL_MONITOR", "QUERY_CALL_MONITOR_CONF",
};

const char* const tserverFailureNames[] = {
    "STREAM_FAILED", "NO_THREAD", "BAD_DRIVER_ID", "DEAD_DRIVER", "MESSAGE_HIGH_WATER_MARK",
    "FREE_BUFFER_FAILED", "SEND_TO_DRIVER", "RECEIVE_FROM_DRIVER", "REGISTRATION_FAILED",
    "SPX_FAILED", "TRACE", "NO_MEMORY", "ENCODE_FAILED", "DECODE_FAILED", "BAD_CONNECTION",
    "BAD_PDU", "NO_VERSION", "ECB_MAX_EXCEEDED", "NO_ECBS", "NO_SDB", "NO_SDB_CHECK_NEEDED",
    "SDB_CHECK_NEEDED", "BAD_SDB_LEVEL", "BAD_SERVERID", "BAD_STREAM_TYPE",
    "BAD_PASSWORD_OR_LOGIN", "NO_USER_RECORD", "NO_DEVICE_RECORD", "DEVICE_NOT_ON_LIST",
    nullptr,  // 29 is unassigned
    "USERS_RESTRICTED_HOME", "NO_AWAYPERMISSION", "NO_HOMEPERMISSION",
    "NO_AWAY_WORKTOP", "BAD_DEVICE_RECORD", "DEVICE_NOT_SUPPORTED", "INSUFFICIENT_PERMISSION",
    "NO_RESOURCE_TAG", "INVALID_MESSAGE", "EXCEPTION_LIST", "NOT_ON_OAM_LIST",
    "PBX_ID_NOT_IN_SDB", "USER_LICENSES_EXCEEDED", "OAM_DROP_CONNECTION", "NO_VERSION_RECORD",
    "OLD_VERSION_RECORD", "BAD_PACKET", "OPEN_FAILED", "OAM_IN_USE", "DEVICE_NOT_ON_HOME_LIST",
    "DEVICE_NOT_ON_CALL_CONTROL_LIST", "DEVICE_NOT_ON_AWAY_LIST", "DEVICE_NOT_ON_ROUTE_LIST",
    "DEVICE_NOT_ON_MONITOR_DEVICE_LIST", "DEVICE_NOT_ON_MONITOR_CALL_DEVICE_LIST",
    "NO_CALL_CALL_MONITOR_PERMISSION", "HOME_DEVICE_LIST_EMPTY", "CALL_CONTROL_LIST_EMPTY",
    "AWAY_LIST_EMPTY", "ROUTE_LIST_EMPTY", "MONITOR_DEVICE_LIST_EMPTY",
    "MONITOR_CALL_DEVICE_LIST_EMPTY", "USER_AT_HOME_WORKTOP", "DEVICE_LIST_EMPTY",
    "BAD_GET_DEVICE_LEVEL", "DRIVER_UNREGISTERED", "NO_ACS_STREAM", "DROP_OAM", "ECB_TIMEOUT",
    "BAD_ECB", "ADVERTISE_FAILED", "NETWARE_FAILURE", "TDI_QUEUE_FAULT", "DRIVER_CONGESTION",
    "NO_TDI_BUFFERS", "OLD_INVOKEID", "HWMARK_TO_LARGE", "SET_ECB_TO_LOW", "NO_RECORD_IN_FILE",
    "ECB_OVERDUE",
};

const char* const driverFailureNames[] = {
    "DUPLICATE_ACSHANDLE", "INVALID_ACS_REQUEST", "ACS_HANDLE_REJECTION",
    "INVALID_CLASS_REJECTION", "GENERIC_REJECTION", "RESOURCE_LIMITATION",
    "ACSHANDLE_TERMINATION", "LINK_UNAVAILABLE", "OAM_IN_USE",
};

const char* const cstaFailureNames[] = {
    "GENERIC_UNSPECIFIED", "GENERIC_OPERATION", "REQUEST_INCOMPATIBLE_WITH_OBJECT",
    "VALUE_OUT_OF_RANGE", "OBJECT_NOT_KNOWN", "INVALID_CALLING_DEVICE", "INVALID_CALLED_DEVICE",
    "INVALID_FORWARDING_DESTINATION", "PRIVILEGE_VIOLATION_ON_SPECIFIED_DEVICE",
    "PRIVILEGE_VIOLATION_ON_CALLED_DEVICE", "PRIVILEGE_VIOLATION_ON_CALLING_DEVICE",
    "INVALID_CSTA_CALL_IDENTIFIER", "INVALID_CSTA_DEVICE_IDENTIFIER",
    "INVALID_CSTA_CONNECTION_IDENTIFIER", "INVALID_DESTINATION", "INVALID_FEATURE",
    "INVALID_ALLOCATION_STATE", "INVALID_CROSS_REF_ID", "INVALID_OBJECT_TYPE",
    "SECURITY_VIOLATION", "?NO_FAILURE_OF_TYPE_20?", "GENERIC_STATE_INCOMPATIBILITY",
    "INVALID_OBJECT_STATE", "INVALID_CONNECTION_ID_FOR_ACTIVE_CALL", "NO_ACTIVE_CALL",
    "NO_HELD_CALL", "NO_CALL_TO_CLEAR", "NO_CONNECTION_TO_CLEAR", "NO_CALL_TO_ANSWER",
    "NO_CALL_TO_COMPLETE", "?NO_FAILURE_OF_TYPE_30?", "GENERIC_SYSTEM_RESOURCE_AVAILABILITY",
    "SERVICE_BUSY", "RESOURCE_BUSY", "RESOURCE_OUT_OF_SERVICE", "NETWORK_BUSY",
    "NETWORK_OUT_OF_SERVICE", "OVERALL_MONITOR_LIMIT_EXCEEDED",
    "CONFERENCE_MEMBER_LIMIT_EXCEEDED", "?NO_FAILURE_OF_TYPE_39?", "?NO_FAILURE_OF_TYPE_40?",
    "GENERIC_SUBSCRIBED_RESOURCE_AVAILABILITY", "OBJECT_MONITOR_LIMIT_EXCEEDED",
    "EXTERNAL_TRUNK_LIMIT_EXCEEDED", "OUTSTANDING_REQUEST_LIMIT_EXCEEDED",
    "?NO_FAILURE_OF_TYPE_45?", "?NO_FAILURE_OF_TYPE_46?", "?NO_FAILURE_OF_TYPE_47?",
    "?NO_FAILURE_OF_TYPE_48?", "?NO_FAILURE_OF_TYPE_49?", "?NO_FAILURE_OF_TYPE_50?",
    "GENERIC_PERFORMANCE_MANAGEMENT", "PERFORMANCE_LIMIT_EXCEEDED", "?NO_FAILURE_OF_TYPE_53?",
    "?NO_FAILURE_OF_TYPE_54?", "?NO_FAILURE_OF_TYPE_55?", "?NO_FAILURE_OF_TYPE_56?",
    "?NO_FAILURE_OF_TYPE_57?", "?NO_FAILURE_OF_TYPE_58?", "?NO_FAILURE_OF_TYPE_59?",
    "?NO_FAILURE_OF_TYPE_60?", "SEQUENCE_NUMBER_VIOLATED", "TIME_STAMP_VIOLATED",
    "PAC_VIOLATED", "SEAL_VIOLATED", "?NO_FAILURE_OF_TYPE_65?", "?NO_FAILURE_OF_TYPE_66?",
    "?NO_FAILURE_OF_TYPE_67?", "?NO_FAILURE_OF_TYPE_68?", "?NO_FAILURE_OF_TYPE_69?",
    "GENERIC_UNSPECIFIED_REJECTION", "GENERIC_OPERATION_REJECTION",
    "DUPLICATE_INVOCATION_REJECTION", "UNRECOGNIZED_OPERATION_REJECTION",
    "MISTYPED_ARGUMENT_REJECTION", "RESOURCE_LIMITATION_REJECTION",
    "ACS_HANDLE_TERMINATION_REJECTION", "SERVICE_TERMINATION_REJECTION",
    "REQUEST_TIMEOUT_REJECTION", "REQUESTS_ON_DEVICE_EXCEEDED_REJECTION",
};

const char* const causeNames[] = {
    "Active_Monitor", "Alternate", "Busy", "Call_Back", "Call_Cancelled", "Call_Forward_Always",
    "Call_Forward_Busy", "Call_Forward_No_Answer", "Call_Forward", "Call_Not_Answered",
    "Call_Pickup", "Camp_On", "Dest_Not_Obtainable", "Do_Not_Disturb",
    "Incompatible_Destination", "Invalid_Account_Code", "Key_Conference", "Lockout",
    "Maintenance", "Network_Congestion", "Network_Not_Obtainable", "New_Call",
    "No_Available_Agents", "Override", "Park", "Overflow", "Recall", "Redirected",
    "Reorder_Tone", "Resources_Not_Available", "Silent_Monitor", "Transfer", "Trunks_Busy",
    "Voice_Unit_Initiator",
};

const char* const localStateNames[] = {
    "Initiated", "Alerting", "Connected", "Held", "Queued", "Failed",
};
const char* const localStateCharacters[] = {"I", "A", "C", "H", "Q", "F"};

const char* const agentStateNames[] = {
    "AG_NOT_READY", "AG_NULL", "AG_READY", "AG_WORK_NOT_READY", "AG_WORK_READY",
};

const char* const deviceTypeNames[] = {"STATION", "LINE", "BUTTON", "ACD", "TRUNK"};

struct CodeName {
  long code;
  const char* name;
};

const CodeName devIDtypeNames[] = {
    {0, "DeviceID"},
    {20, "ImplicitPublic"},
    {30, "PublicUnknown"},
    {31, "PublicInternational"},
    {32, "PublicNational"},
    {33, "PublicNetworkSpecific"},
    {34, "PublicSubscriber"},
    {35, "PublicAbbreviated"},
    {40, "ImplicitPrivate"},
    {50, "PrivateUnknown"},
    {51, "Level3RegionalNumber"},
    {52, "Level2RegionalNumber"},
    {53, "Level1RegionalNumber"},
    {54, "PtnSpecificNumber"},
    {55, "LocalNumber"},
    {56, "PrivateAbbreviated"},
    {60, "OtherPlan"},
    {70, "TrunkID"},
    {71, "TrunkGroupID"},
};

const char* const forwardingTypeNames[] = {
    "Immediate",        "Busy",
    "NoAnswer",         "BusyInternal",
    "BusyExternal",     "NoAnswerInternal",
    "NoAnswerExternal",
};

const char* const soundNames[] = {
    "Quiet", "Stereo Jack", "Dial Tone", "Ring Tone", "Alert Tone", "Busy Tone",
};

static_assert(countOf(acsTypeNames) == 12, "ACS types are 1..12");
static_assert(countOf(cstaTypeNames) == 129, "CSTA types are 1..129");
static_assert(countOf(tserverFailureNames) == 80, "TSERVER failures are 0..79");
static_assert(countOf(driverFailureNames) == 9, "driver failures are 1000..1008");
static_assert(countOf(cstaFailureNames) == 80, "CSTA failures are 0..79");
static_assert(countOf(causeNames) == 34, "causes are 1..34");

const long driverFailureBase = 1000;

// "<prefix><name>" into buffer, cut to its size.
const char* prefixed(char* buffer, std::size_t size, const char* prefix, const char* name) {
  std::snprintf(buffer, size, "%s%s", prefix, name);
  return buffer;
}

}  // namespace

const char* errorNumber(long n) {
  static char buffer[24];
  std::snprintf(buffer, sizeof buffer, "?%ld?", n);
  return buffer;
}

const char* getClassName(EventClass_t eventClass) {
  const char* name = entry(classNames, eventClass);
  return name ? name : errorNumber(eventClass);
}

const char* getTypeName(EventClass_t eventClass, EventType_t eventType) {
  static char acsBuffer[48];
  static char cstaBuffer[48];
  if (eventClass <= 2 && eventType >= 1 && eventType <= countOf(acsTypeNames))
    return prefixed(acsBuffer, sizeof acsBuffer, "ACS_", acsTypeNames[eventType - 1]);
  if (eventClass >= 3 && eventClass <= 6 && eventType >= 1 &&
      eventType <= countOf(cstaTypeNames))
    return prefixed(cstaBuffer, sizeof cstaBuffer, "CSTA_", cstaTypeNames[eventType - 1]);
  return errorNumber(eventType);
}

const char* getACSfailureName(ACSUniversalFailure_t failure) {
  static char tserverBuffer[64];
  static char driverBuffer[64];
  if (const char* name = entry(tserverFailureNames, failure))
    return prefixed(tserverBuffer, sizeof tserverBuffer, "TSERVER_", name);
  if (const char* name = entry(driverFailureNames, failure, driverFailureBase))
    return prefixed(driverBuffer, sizeof driverBuffer, "DRIVER_", name);
  return errorNumber(failure);
}

const char* getCSTAfailureName(CSTAUniversalFailure_t failure) {
  const char* name = entry(cstaFailureNames, failure);
  return name ? name : errorNumber(failure);
}

const char* getCauseName(CSTAEventCause_t cause) {
  if (cause == -1 || cause == 0) return nullptr;
  const char* name = entry(causeNames, cause, 1);
  return name ? name : errorNumber(cause);
}

const char* getLocalStateName(LocalConnectionState_t state) {
  if (state == -1 || state == 0) return nullptr;
  const char* name = entry(localStateNames, state, 1);
  return name ? name : errorNumber(state);
}

const char* getLocalStateCharacter(LocalConnectionState_t state) {
  if (state == -1 || state == 0) return nullptr;
  const char* name = entry(localStateCharacters, state, 1);
  return name ? name : errorNumber(state);
}

const char* getAgentStateName(AgentState_t state) {
  const char* name = entry(agentStateNames, state);
  return name ? name : errorNumber(state);
}

const char* getDeviceTypeName(DeviceType_t type) {
  if (const char* name = entry(deviceTypeNames, type)) return name;
  // The rarer types, named the same way.
  static const CodeName moreTypes[] = {
      {DT_OPERATOR, "OPERATOR"},
      {DT_STATION_GROUP, "STATION_GROUP"},
      {DT_LINE_GROUP, "LINE_GROUP"},
      {DT_BUTTON_GROUP, "BUTTON_GROUP"},
      {DT_ACD_GROUP, "ACD_GROUP"},
      {DT_TRUNK_GROUP, "TRUNK_GROUP"},
      {DT_OPERATOR_GROUP, "OPERATOR_GROUP"},
      {DT_OTHER, "OTHER"},
  };
  for (const CodeName& more : moreTypes)
    if (more.code == type) return more.name;
  return errorNumber(type);
}

const char* getDeviceClassList(DeviceClass_t flags) {
  static const CodeName classBits[] = {
      {DC_VOICE, "Voice"}, {DC_DATA, "Data"}, {DC_IMAGE, "Image"}, {DC_OTHER, "Other"}};
  static char buffer[32];
  buffer[0] = '\0';
  for (const CodeName& bit : classBits) {
    if (!(flags & bit.code)) continue;
    if (buffer[0]) std::strncat(buffer, ",", sizeof buffer - std::strlen(buffer) - 1);
    std::strncat(buffer, bit.name, sizeof buffer - std::strlen(buffer) - 1);
  }
  return buffer;
}

const char* getDevIDtypeName(DeviceIDType_t type) {
  for (const CodeName& id : devIDtypeNames)
    if (id.code == type) return id.name;
  return errorNumber(type);
}

const char* getForwardingTypeName(ForwardingType_t type) {
  const char* name = entry(forwardingTypeNames, type);
  return name ? name : errorNumber(type);
}

const char* getBoardTypeName(std::uint8_t type) {
  static const char* const boards[] = {"PBXOrion", "PBXVega", "PBXLyra", "PBXDraco"};
  const char* name = entry(boards, type, 1);
  return name ? name : "Unknown";
}

const char* getLineStyleName(std::uint8_t style) {
  switch (style) {
    case 0: return "Extension";
    case 1: return "AnalogTrunk";
    case 3: return "DigitalTrunk";
    default: return "Unknown";
  }
}

const char* getSoundIDname(std::uint16_t sound) {
  const char* name = entry(soundNames, sound);
  return name ? name : errorNumber(sound);
}
