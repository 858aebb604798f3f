// TSAPI client library: the public declarations used by the applications.
//
// Every record that crosses the library boundary uses fixed-width members so
// that its layout is the same on 32-bit Windows and 64-bit Linux (the 72-byte
// ConnectionID_t above all). The only exceptions are the pointers inside the
// variable parts of an event (connection lists, snapshots); those point into
// the caller's own event buffer and never travel anywhere.
//
// Values the published interface leaves open and that we fixed here:
//   APP_GEN_ID 1, LIB_GEN_ID 2; ACS_LEVEL1..4 = 1..4; ST_ values as below;
//   STATIC_ID 0, DYNAMIC_ID 1; ID_PROVIDED 0, ID_NOT_KNOWN 1, ID_NOT_REQUIRED 2;
//   device types after DT_TRUNK (operator, groups, other); PF_DTMF 0x2 in the
//   private filter (digits seen on a monitored party).
//
// Server directory
// ----------------
// acsEnumServerNames reports the configured servers. A server is either the
// simulator embedded in the process (it runs on a thread of its own) or a
// telsim process reached over TCP at host:port. Configuration, later entries
// replacing earlier ones of the same name:
//   1. the file named by the environment variable CSTA32_CONFIG: one entry per
//      line, "NAME=host:port" or "NAME=embedded"; blank lines and lines
//      starting with '#' or ';' are ignored;
//   2. the environment variable CSTA32_SERVERS: the same entries separated
//      by ';', e.g. CSTA32_SERVERS="TELVANIX=127.0.0.1:4500;LAB=embedded".
// With nothing configured there is one server, "TELVANIX", and it is
// embedded. Names are compared without regard to case.
#pragma once

#include <cstddef>
#include <cstdint>

// ---- basic types -------------------------------------------------------------

typedef std::int32_t RetCode_t;
typedef std::uint32_t ACSHandle_t;
typedef std::uint32_t InvokeID_t;
typedef std::uint16_t EventClass_t;
typedef std::uint16_t EventType_t;
typedef std::uint8_t Boolean;

typedef char ServerID_t[49];
typedef char LoginID_t[49];
typedef char Passwd_t[49];
typedef char AppName_t[21];
typedef char Version_t[21];

typedef char DeviceID_t[64];
typedef char AccountInfo_t[32];
typedef char AuthCode_t[32];
typedef char AgentID_t[32];

typedef std::uint32_t CSTAMonitorCrossRefID_t;

typedef enum StreamType_t {
  ST_CSTA = 1,
  ST_OAM = 2,
  ST_DIRECTORY = 3,
  ST_NMSRV = 4
} StreamType_t;

typedef std::int32_t InvokeIDType_t;
enum {
  APP_GEN_ID = 1,  // the application chooses every invoke ID
  LIB_GEN_ID = 2   // the library assigns them and returns them from requests
};

typedef std::int32_t Level_t;
enum { ACS_LEVEL1 = 1, ACS_LEVEL2 = 2, ACS_LEVEL3 = 3, ACS_LEVEL4 = 4 };

// Return codes of the library's functions. A request that returns one of
// these was not sent; nothing will arrive for it.
enum {
  ACSPOSITIVE_ACK = 0,
  ACSERR_APIVERDENIED = -1,
  ACSERR_BADPARAMETER = -2,
  ACSERR_DUPSTREAM = -3,
  ACSERR_NODRIVER = -4,
  ACSERR_NOSERVER = -5,
  ACSERR_NORESOURCE = -6,
  ACSERR_UBUFSMALL = -7,
  ACSERR_NOMESSAGE = -8,
  ACSERR_UNKNOWN = -9,
  ACSERR_BADHDL = -10,
  ACSERR_STREAM_FAILED = -11,
  ACSERR_NOBUFFERS = -12,
  ACSERR_QUEUE_FULL = -13
};

// ---- event classes and types ---------------------------------------------

enum {
  ACSREQUEST = 0,
  ACSUNSOLICITED = 1,
  ACSCONFIRMATION = 2,
  CSTAREQUEST = 3,
  CSTAUNSOLICITED = 4,
  CSTACONFIRMATION = 5,
  CSTAEVENTREPORT = 6
};

enum {
  ACS_OPEN_STREAM = 1,
  ACS_OPEN_STREAM_CONF = 2,
  ACS_CLOSE_STREAM = 3,
  ACS_CLOSE_STREAM_CONF = 4,
  ACS_ABORT_STREAM = 5,
  ACS_UNIVERSAL_FAILURE_CONF = 6,
  ACS_UNIVERSAL_FAILURE = 7,
  ACS_KEY_REQUEST = 8,
  ACS_KEY_REPLY = 9,
  ACS_NAME_SRV_REQUEST = 10,
  ACS_NAME_SRV_REPLY = 11
};

enum {
  CSTA_ALTERNATE_CALL = 1,
  CSTA_ALTERNATE_CALL_CONF = 2,
  CSTA_ANSWER_CALL = 3,
  CSTA_ANSWER_CALL_CONF = 4,
  CSTA_CALL_COMPLETION = 5,
  CSTA_CALL_COMPLETION_CONF = 6,
  CSTA_CLEAR_CALL = 7,
  CSTA_CLEAR_CALL_CONF = 8,
  CSTA_CLEAR_CONNECTION = 9,
  CSTA_CLEAR_CONNECTION_CONF = 10,
  CSTA_CONFERENCE_CALL = 11,
  CSTA_CONFERENCE_CALL_CONF = 12,
  CSTA_CONSULTATION_CALL = 13,
  CSTA_CONSULTATION_CALL_CONF = 14,
  CSTA_DEFLECT_CALL = 15,
  CSTA_DEFLECT_CALL_CONF = 16,
  CSTA_PICKUP_CALL = 17,
  CSTA_PICKUP_CALL_CONF = 18,
  CSTA_GROUP_PICKUP_CALL = 19,
  CSTA_GROUP_PICKUP_CALL_CONF = 20,
  CSTA_HOLD_CALL = 21,
  CSTA_HOLD_CALL_CONF = 22,
  CSTA_MAKE_CALL = 23,
  CSTA_MAKE_CALL_CONF = 24,
  CSTA_MAKE_PREDICTIVE_CALL = 25,
  CSTA_MAKE_PREDICTIVE_CALL_CONF = 26,
  CSTA_QUERY_MWI = 27,
  CSTA_QUERY_MWI_CONF = 28,
  CSTA_QUERY_DND = 29,
  CSTA_QUERY_DND_CONF = 30,
  CSTA_QUERY_FWD = 31,
  CSTA_QUERY_FWD_CONF = 32,
  CSTA_QUERY_AGENT_STATE = 33,
  CSTA_QUERY_AGENT_STATE_CONF = 34,
  CSTA_QUERY_LAST_NUMBER = 35,
  CSTA_QUERY_LAST_NUMBER_CONF = 36,
  CSTA_QUERY_DEVICE_INFO = 37,
  CSTA_QUERY_DEVICE_INFO_CONF = 38,
  CSTA_RECONNECT_CALL = 39,
  CSTA_RECONNECT_CALL_CONF = 40,
  CSTA_RETRIEVE_CALL = 41,
  CSTA_RETRIEVE_CALL_CONF = 42,
  CSTA_SET_MWI = 43,
  CSTA_SET_MWI_CONF = 44,
  CSTA_SET_DND = 45,
  CSTA_SET_DND_CONF = 46,
  CSTA_SET_FWD = 47,
  CSTA_SET_FWD_CONF = 48,
  CSTA_SET_AGENT_STATE = 49,
  CSTA_SET_AGENT_STATE_CONF = 50,
  CSTA_TRANSFER_CALL = 51,
  CSTA_TRANSFER_CALL_CONF = 52,
  CSTA_UNIVERSAL_FAILURE_CONF = 53,
  CSTA_CALL_CLEARED = 54,
  CSTA_CONFERENCED = 55,
  CSTA_CONNECTION_CLEARED = 56,
  CSTA_DELIVERED = 57,
  CSTA_DIVERTED = 58,
  CSTA_ESTABLISHED = 59,
  CSTA_FAILED = 60,
  CSTA_HELD = 61,
  CSTA_NETWORK_REACHED = 62,
  CSTA_ORIGINATED = 63,
  CSTA_QUEUED = 64,
  CSTA_RETRIEVED = 65,
  CSTA_SERVICE_INITIATED = 66,
  CSTA_TRANSFERRED = 67,
  CSTA_CALL_INFORMATION = 68,
  CSTA_DO_NOT_DISTURB = 69,
  CSTA_FORWARDING = 70,
  CSTA_MESSAGE_WAITING = 71,
  CSTA_LOGGED_ON = 72,
  CSTA_LOGGED_OFF = 73,
  CSTA_NOT_READY = 74,
  CSTA_READY = 75,
  CSTA_WORK_NOT_READY = 76,
  CSTA_WORK_READY = 77,
  CSTA_ROUTE_REGISTER_REQ = 78,
  CSTA_ROUTE_REGISTER_REQ_CONF = 79,
  CSTA_ROUTE_REGISTER_CANCEL = 80,
  CSTA_ROUTE_REGISTER_CANCEL_CONF = 81,
  CSTA_ROUTE_REGISTER_ABORT = 82,
  CSTA_ROUTE_REQUEST = 83,
  CSTA_ROUTE_SELECT_REQUEST = 84,
  CSTA_RE_ROUTE_REQUEST = 85,
  CSTA_ROUTE_USED = 86,
  CSTA_ROUTE_END = 87,
  CSTA_ROUTE_END_REQUEST = 88,
  CSTA_ESCAPE_SVC = 89,
  CSTA_ESCAPE_SVC_CONF = 90,
  CSTA_ESCAPE_SVC_REQ = 91,
  CSTA_ESCAPE_SVC_REQ_CONF = 92,
  CSTA_PRIVATE = 93,
  CSTA_PRIVATE_STATUS = 94,
  CSTA_SEND_PRIVATE = 95,
  CSTA_BACK_IN_SERVICE = 96,
  CSTA_OUT_OF_SERVICE = 97,
  CSTA_REQ_SYS_STAT = 98,
  CSTA_SYS_STAT_REQ_CONF = 99,
  CSTA_SYS_STAT_START = 100,
  CSTA_SYS_STAT_START_CONF = 101,
  CSTA_SYS_STAT_STOP = 102,
  CSTA_SYS_STAT_STOP_CONF = 103,
  CSTA_CHANGE_SYS_STAT_FILTER = 104,
  CSTA_CHANGE_SYS_STAT_FILTER_CONF = 105,
  CSTA_SYS_STAT = 106,
  CSTA_SYS_STAT_ENDED = 107,
  CSTA_SYS_STAT_REQ = 108,
  CSTA_REQ_SYS_STAT_CONF = 109,
  CSTA_SYS_STAT_EVENT_SEND = 110,
  CSTA_MONITOR_DEVICE = 111,
  CSTA_MONITOR_CALL = 112,
  CSTA_MONITOR_CALLS_VIA_DEVICE = 113,
  CSTA_MONITOR_CONF = 114,
  CSTA_CHANGE_MONITOR_FILTER = 115,
  CSTA_CHANGE_MONITOR_FILTER_CONF = 116,
  CSTA_MONITOR_STOP = 117,
  CSTA_MONITOR_STOP_CONF = 118,
  CSTA_MONITOR_ENDED = 119,
  CSTA_SNAPSHOT_CALL = 120,
  CSTA_SNAPSHOT_CALL_CONF = 121,
  CSTA_SNAPSHOT_DEVICE = 122,
  CSTA_SNAPSHOT_DEVICE_CONF = 123,
  CSTA_GETAPI_CAPS = 124,
  CSTA_GETAPI_CAPS_CONF = 125,
  CSTA_GET_DEVICE_LIST = 126,
  CSTA_GET_DEVICE_LIST_CONF = 127,
  CSTA_QUERY_CALL_MONITOR = 128,
  CSTA_QUERY_CALL_MONITOR_CONF = 129,};

// ---- failures --------------------------------------------------------------

typedef std::int32_t ACSUniversalFailure_t;
enum {
  TSERVER_STREAM_FAILED = 0,
  TSERVER_NO_THREAD = 1,
  TSERVER_BAD_DRIVER_ID = 2,
  TSERVER_DEAD_DRIVER = 3,
  TSERVER_MESSAGE_HIGH_WATER_MARK = 4,
  TSERVER_FREE_BUFFER_FAILED = 5,
  TSERVER_SEND_TO_DRIVER = 6,
  TSERVER_RECEIVE_FROM_DRIVER = 7,
  TSERVER_REGISTRATION_FAILED = 8,
  TSERVER_SPX_FAILED = 9,
  TSERVER_TRACE = 10,
  TSERVER_NO_MEMORY = 11,
  TSERVER_ENCODE_FAILED = 12,
  TSERVER_DECODE_FAILED = 13,
  TSERVER_BAD_CONNECTION = 14,
  TSERVER_BAD_PDU = 15,
  TSERVER_NO_VERSION = 16,
  TSERVER_ECB_MAX_EXCEEDED = 17,
  TSERVER_NO_ECBS = 18,
  TSERVER_NO_SDB = 19,
  TSERVER_NO_SDB_CHECK_NEEDED = 20,
  TSERVER_SDB_CHECK_NEEDED = 21,
  TSERVER_BAD_SDB_LEVEL = 22,
  TSERVER_BAD_SERVERID = 23,
  TSERVER_BAD_STREAM_TYPE = 24,
  TSERVER_BAD_PASSWORD_OR_LOGIN = 25,
  TSERVER_NO_USER_RECORD = 26,
  TSERVER_NO_DEVICE_RECORD = 27,
  TSERVER_DEVICE_NOT_ON_LIST = 28,
  TSERVER_USERS_RESTRICTED_HOME = 30,
  TSERVER_NO_AWAYPERMISSION = 31,
  TSERVER_NO_HOMEPERMISSION = 32,
  TSERVER_NO_AWAY_WORKTOP = 33,
  TSERVER_BAD_DEVICE_RECORD = 34,
  TSERVER_DEVICE_NOT_SUPPORTED = 35,
  TSERVER_INSUFFICIENT_PERMISSION = 36,
  TSERVER_NO_RESOURCE_TAG = 37,
  TSERVER_INVALID_MESSAGE = 38,
  TSERVER_EXCEPTION_LIST = 39,
  TSERVER_NOT_ON_OAM_LIST = 40,
  TSERVER_PBX_ID_NOT_IN_SDB = 41,
  TSERVER_USER_LICENSES_EXCEEDED = 42,
  TSERVER_OAM_DROP_CONNECTION = 43,
  TSERVER_NO_VERSION_RECORD = 44,
  TSERVER_OLD_VERSION_RECORD = 45,
  TSERVER_BAD_PACKET = 46,
  TSERVER_OPEN_FAILED = 47,
  TSERVER_OAM_IN_USE = 48,
  TSERVER_DEVICE_NOT_ON_HOME_LIST = 49,
  TSERVER_DEVICE_NOT_ON_CALL_CONTROL_LIST = 50,
  TSERVER_DEVICE_NOT_ON_AWAY_LIST = 51,
  TSERVER_DEVICE_NOT_ON_ROUTE_LIST = 52,
  TSERVER_DEVICE_NOT_ON_MONITOR_DEVICE_LIST = 53,
  TSERVER_DEVICE_NOT_ON_MONITOR_CALL_DEVICE_LIST = 54,
  TSERVER_NO_CALL_CALL_MONITOR_PERMISSION = 55,
  TSERVER_HOME_DEVICE_LIST_EMPTY = 56,
  TSERVER_CALL_CONTROL_LIST_EMPTY = 57,
  TSERVER_AWAY_LIST_EMPTY = 58,
  TSERVER_ROUTE_LIST_EMPTY = 59,
  TSERVER_MONITOR_DEVICE_LIST_EMPTY = 60,
  TSERVER_MONITOR_CALL_DEVICE_LIST_EMPTY = 61,
  TSERVER_USER_AT_HOME_WORKTOP = 62,
  TSERVER_DEVICE_LIST_EMPTY = 63,
  TSERVER_BAD_GET_DEVICE_LEVEL = 64,
  TSERVER_DRIVER_UNREGISTERED = 65,
  TSERVER_NO_ACS_STREAM = 66,
  TSERVER_DROP_OAM = 67,
  TSERVER_ECB_TIMEOUT = 68,
  TSERVER_BAD_ECB = 69,
  TSERVER_ADVERTISE_FAILED = 70,
  TSERVER_NETWARE_FAILURE = 71,
  TSERVER_TDI_QUEUE_FAULT = 72,
  TSERVER_DRIVER_CONGESTION = 73,
  TSERVER_NO_TDI_BUFFERS = 74,
  TSERVER_OLD_INVOKEID = 75,
  TSERVER_HWMARK_TO_LARGE = 76,
  TSERVER_SET_ECB_TO_LOW = 77,
  TSERVER_NO_RECORD_IN_FILE = 78,
  TSERVER_ECB_OVERDUE = 79,  DRIVER_DUPLICATE_ACSHANDLE = 1000,
  DRIVER_INVALID_ACS_REQUEST = 1001,
  DRIVER_ACS_HANDLE_REJECTION = 1002,
  DRIVER_INVALID_CLASS_REJECTION = 1003,
  DRIVER_GENERIC_REJECTION = 1004,
  DRIVER_RESOURCE_LIMITATION = 1005,
  DRIVER_ACSHANDLE_TERMINATION = 1006,
  DRIVER_LINK_UNAVAILABLE = 1007,
  DRIVER_OAM_IN_USE = 1008
};

typedef std::int32_t CSTAUniversalFailure_t;
enum {
  GENERIC_UNSPECIFIED = 0,
  GENERIC_OPERATION = 1,
  REQUEST_INCOMPATIBLE_WITH_OBJECT = 2,
  VALUE_OUT_OF_RANGE = 3,
  OBJECT_NOT_KNOWN = 4,
  INVALID_CALLING_DEVICE = 5,
  INVALID_CALLED_DEVICE = 6,
  INVALID_FORWARDING_DESTINATION = 7,
  PRIVILEGE_VIOLATION_ON_SPECIFIED_DEVICE = 8,
  PRIVILEGE_VIOLATION_ON_CALLED_DEVICE = 9,
  PRIVILEGE_VIOLATION_ON_CALLING_DEVICE = 10,
  INVALID_CSTA_CALL_IDENTIFIER = 11,
  INVALID_CSTA_DEVICE_IDENTIFIER = 12,
  INVALID_CSTA_CONNECTION_IDENTIFIER = 13,
  INVALID_DESTINATION = 14,
  INVALID_FEATURE = 15,
  INVALID_ALLOCATION_STATE = 16,
  INVALID_CROSS_REF_ID = 17,
  INVALID_OBJECT_TYPE = 18,
  SECURITY_VIOLATION = 19,
  GENERIC_STATE_INCOMPATIBILITY = 21,
  INVALID_OBJECT_STATE = 22,
  INVALID_CONNECTION_ID_FOR_ACTIVE_CALL = 23,
  NO_ACTIVE_CALL = 24,
  NO_HELD_CALL = 25,
  NO_CALL_TO_CLEAR = 26,
  NO_CONNECTION_TO_CLEAR = 27,
  NO_CALL_TO_ANSWER = 28,
  NO_CALL_TO_COMPLETE = 29,
  GENERIC_SYSTEM_RESOURCE_AVAILABILITY = 31,
  SERVICE_BUSY = 32,
  RESOURCE_BUSY = 33,
  RESOURCE_OUT_OF_SERVICE = 34,
  NETWORK_BUSY = 35,
  NETWORK_OUT_OF_SERVICE = 36,
  OVERALL_MONITOR_LIMIT_EXCEEDED = 37,
  CONFERENCE_MEMBER_LIMIT_EXCEEDED = 38,
  GENERIC_SUBSCRIBED_RESOURCE_AVAILABILITY = 41,
  OBJECT_MONITOR_LIMIT_EXCEEDED = 42,
  EXTERNAL_TRUNK_LIMIT_EXCEEDED = 43,
  OUTSTANDING_REQUEST_LIMIT_EXCEEDED = 44,
  GENERIC_PERFORMANCE_MANAGEMENT = 51,
  PERFORMANCE_LIMIT_EXCEEDED = 52,
  SEQUENCE_NUMBER_VIOLATED = 61,
  TIME_STAMP_VIOLATED = 62,
  PAC_VIOLATED = 63,
  SEAL_VIOLATED = 64,
  GENERIC_UNSPECIFIED_REJECTION = 70,
  GENERIC_OPERATION_REJECTION = 71,
  DUPLICATE_INVOCATION_REJECTION = 72,
  UNRECOGNIZED_OPERATION_REJECTION = 73,
  MISTYPED_ARGUMENT_REJECTION = 74,
  RESOURCE_LIMITATION_REJECTION = 75,
  ACS_HANDLE_TERMINATION_REJECTION = 76,
  SERVICE_TERMINATION_REJECTION = 77,
  REQUEST_TIMEOUT_REJECTION = 78,
  REQUESTS_ON_DEVICE_EXCEEDED_REJECTION = 79,};

// ---- causes, states, device and forwarding types --------------------------

typedef std::int32_t CSTAEventCause_t;
enum {
  EC_NONE = -1,
  EC_ACTIVE_MONITOR = 1,
  EC_ALTERNATE = 2,
  EC_BUSY = 3,
  EC_CALL_BACK = 4,
  EC_CALL_CANCELLED = 5,
  EC_CALL_FORWARD_ALWAYS = 6,
  EC_CALL_FORWARD_BUSY = 7,
  EC_CALL_FORWARD_NO_ANSWER = 8,
  EC_CALL_FORWARD = 9,
  EC_CALL_NOT_ANSWERED = 10,
  EC_CALL_PICKUP = 11,
  EC_CAMP_ON = 12,
  EC_DEST_NOT_OBTAINABLE = 13,
  EC_DO_NOT_DISTURB = 14,
  EC_INCOMPATIBLE_DESTINATION = 15,
  EC_INVALID_ACCOUNT_CODE = 16,
  EC_KEY_CONFERENCE = 17,
  EC_LOCKOUT = 18,
  EC_MAINTENANCE = 19,
  EC_NETWORK_CONGESTION = 20,
  EC_NETWORK_NOT_OBTAINABLE = 21,
  EC_NEW_CALL = 22,
  EC_NO_AVAILABLE_AGENTS = 23,
  EC_OVERRIDE = 24,
  EC_PARK = 25,
  EC_OVERFLOW = 26,
  EC_RECALL = 27,
  EC_REDIRECTED = 28,
  EC_REORDER_TONE = 29,
  EC_RESOURCES_NOT_AVAILABLE = 30,
  EC_SILENT_MONITOR = 31,
  EC_TRANSFER = 32,
  EC_TRUNKS_BUSY = 33,
  EC_VOICE_UNIT_INITIATOR = 34,};

typedef std::int32_t LocalConnectionState_t;
enum {
  CS_NONE = -1,
  CS_NULL = 0,
  CS_INITIATE = 1,
  CS_ALERTING = 2,
  CS_CONNECT = 3,
  CS_HOLD = 4,
  CS_QUEUED = 5,
  CS_FAIL = 6
};

typedef std::int32_t AgentState_t;
enum {
  AG_NOT_READY = 0,
  AG_NULL = 1,
  AG_READY = 2,
  AG_WORK_NOT_READY = 3,
  AG_WORK_READY = 4
};

typedef std::int32_t DeviceType_t;
enum {
  DT_STATION = 0,
  DT_LINE = 1,
  DT_BUTTON = 2,
  DT_ACD = 3,
  DT_TRUNK = 4,
  DT_OPERATOR = 5,
  DT_STATION_GROUP = 16,
  DT_LINE_GROUP = 17,
  DT_BUTTON_GROUP = 18,
  DT_ACD_GROUP = 19,
  DT_TRUNK_GROUP = 20,
  DT_OPERATOR_GROUP = 21,
  DT_OTHER = 255
};

// Device class bits.
typedef std::uint8_t DeviceClass_t;
enum { DC_VOICE = 0x80, DC_DATA = 0x40, DC_IMAGE = 0x20, DC_OTHER = 0x10 };

typedef std::int32_t DeviceIDType_t;
enum {
  DEVICE_IDENTIFIER = 0,
  IMPLICIT_PUBLIC = 20,
  EXPLICIT_PUBLIC_UNKNOWN = 30,
  EXPLICIT_PUBLIC_INTERNATIONAL = 31,
  EXPLICIT_PUBLIC_NATIONAL = 32,
  EXPLICIT_PUBLIC_NETWORK_SPECIFIC = 33,
  EXPLICIT_PUBLIC_SUBSCRIBER = 34,
  EXPLICIT_PUBLIC_ABBREVIATED = 35,
  IMPLICIT_PRIVATE = 40,
  EXPLICIT_PRIVATE_UNKNOWN = 50,
  EXPLICIT_PRIVATE_LEVEL3_REGIONAL_NUMBER = 51,
  EXPLICIT_PRIVATE_LEVEL2_REGIONAL_NUMBER = 52,
  EXPLICIT_PRIVATE_LEVEL1_REGIONAL_NUMBER = 53,
  EXPLICIT_PRIVATE_PTN_SPECIFIC_NUMBER = 54,
  EXPLICIT_PRIVATE_LOCAL_NUMBER = 55,
  EXPLICIT_PRIVATE_ABBREVIATED = 56,
  OTHER_PLAN = 60,
  TRUNK_IDENTIFIER = 70,
  TRUNK_GROUP_IDENTIFIER = 71
};

typedef std::int32_t DeviceIDStatus_t;
enum { ID_PROVIDED = 0, ID_NOT_KNOWN = 1, ID_NOT_REQUIRED = 2 };

typedef std::int32_t ConnectionID_Device_t;
enum { STATIC_ID = 0, DYNAMIC_ID = 1 };

typedef std::int32_t ForwardingType_t;
enum {
  FWD_IMMEDIATE = 0,
  FWD_BUSY = 1,
  FWD_NO_ANS = 2,
  FWD_BUSY_INT = 3,
  FWD_BUSY_EXT = 4,
  FWD_NO_ANS_INT = 5,
  FWD_NO_ANS_EXT = 6
};

// ---- monitor filter ----------------------------------------------------------
// A set bit keeps that event away from the monitor.

enum {
  CF_CALL_CLEARED = 0x8000,
  CF_CONFERENCED = 0x4000,
  CF_CONNECTION_CLEARED = 0x2000,
  CF_DELIVERED = 0x1000,
  CF_DIVERTED = 0x0800,
  CF_ESTABLISHED = 0x0400,
  CF_FAILED = 0x0200,
  CF_HELD = 0x0100,
  CF_NETWORK_REACHED = 0x0080,
  CF_ORIGINATED = 0x0040,
  CF_QUEUED = 0x0020,
  CF_RETRIEVED = 0x0010,
  CF_SERVICE_INITIATED = 0x0008,
  CF_TRANSFERRED = 0x0004
};
enum {
  FF_CALL_INFORMATION = 0x80,
  FF_DO_NOT_DISTURB = 0x40,
  FF_FORWARDING = 0x20,
  FF_MESSAGE_WAITING = 0x10
};
enum {
  AF_LOGGED_ON = 0x80,
  AF_LOGGED_OFF = 0x40,
  AF_NOT_READY = 0x20,
  AF_READY = 0x10,
  AF_WORK_NOT_READY = 0x08,
  AF_WORK_READY = 0x04
};
enum { MF_BACK_IN_SERVICE = 0x80, MF_OUT_OF_SERVICE = 0x40 };
enum { PF_DTMF = 0x00000002 };

typedef struct CSTAMonitorFilter_t {
  std::uint16_t call;
  std::uint8_t feature;
  std::uint8_t agent;
  std::uint8_t maintenance;
  std::uint32_t privateFilter;
} CSTAMonitorFilter_t;

// ---- identifiers -------------------------------------------------------------

typedef struct ConnectionID_t {
  std::int32_t callID;
  DeviceID_t deviceID;
  ConnectionID_Device_t devIDType;
} ConnectionID_t;

typedef struct ExtendedDeviceID_t {
  DeviceID_t deviceID;
  DeviceIDType_t deviceIDType;
  DeviceIDStatus_t deviceIDStatus;
} ExtendedDeviceID_t;

typedef ExtendedDeviceID_t CallingDeviceID_t;
typedef ExtendedDeviceID_t CalledDeviceID_t;
typedef ExtendedDeviceID_t SubjectDeviceID_t;
typedef ExtendedDeviceID_t RedirectionDeviceID_t;

// Private data carried with a request or an event. Receivers set `length` to
// the capacity of `data` before a read; the library sets it to the number of
// bytes stored (0 when the event carried none). Callers allocate room for
// more than one byte of data: the record is a header followed by the bytes.
typedef struct PrivateData_t {
  char vendor[32];
  std::uint16_t length;
  char data[1];
} PrivateData_t;

enum { PRIVATE_DATA_HEADER = 34 };  // vendor + length: where data begins

// ---- payload pieces ------------------------------------------------------------

typedef struct CSTAConnection_t {
  ConnectionID_t party;
  SubjectDeviceID_t staticDevice;
} CSTAConnection_t;

typedef struct CSTAConnectionList_t {
  std::int32_t count;
  CSTAConnection_t* connection;
} CSTAConnectionList_t;

typedef struct CSTACallState_t {
  std::int32_t count;
  LocalConnectionState_t* state;
} CSTACallState_t;

typedef struct CSTASnapshotDeviceResponseInfo_t {
  ConnectionID_t callIdentifier;
  CSTACallState_t getCallState;
} CSTASnapshotDeviceResponseInfo_t;

typedef struct CSTASnapshotDeviceData_t {
  std::int32_t count;
  CSTASnapshotDeviceResponseInfo_t* info;
} CSTASnapshotDeviceData_t;

typedef struct CSTASnapshotCallResponseInfo_t {
  SubjectDeviceID_t deviceOnCall;
  ConnectionID_t callIdentifier;
  LocalConnectionState_t localConnectionState;
} CSTASnapshotCallResponseInfo_t;

typedef struct CSTASnapshotCallData_t {
  std::int32_t count;
  CSTASnapshotCallResponseInfo_t* info;
} CSTASnapshotCallData_t;

typedef struct ForwardingInfo_t {
  ForwardingType_t forwardingType;
  Boolean forwardingOn;
  DeviceID_t forwardDN;
} ForwardingInfo_t;

enum { MAX_FWD_PARAMS = 7 };
typedef struct ListForwardParameters_t {
  std::int32_t count;
  ForwardingInfo_t param[MAX_FWD_PARAMS];
} ListForwardParameters_t;

// ---- ACS payloads --------------------------------------------------------------

typedef struct ACSOpenStreamConfEvent_t {
  Version_t apiVer;
  Version_t libVer;
  Version_t tsrvVer;
  Version_t drvrVer;
} ACSOpenStreamConfEvent_t;

typedef struct ACSCloseStreamConfEvent_t {
  std::int32_t reserved;
} ACSCloseStreamConfEvent_t;

typedef struct ACSUniversalFailureConfEvent_t {
  ACSUniversalFailure_t error;
} ACSUniversalFailureConfEvent_t;

typedef struct ACSUniversalFailureEvent_t {
  ACSUniversalFailure_t error;
} ACSUniversalFailureEvent_t;

// ---- CSTA confirmation payloads ------------------------------------------------

// Answer, clear, hold, retrieve, deflect, set-feature, monitor-stop and
// escape-service confirmations carry nothing beyond their invoke ID (escape
// replies come as private data).

typedef struct CSTAMakeCallConfEvent_t {
  ConnectionID_t newCall;
} CSTAMakeCallConfEvent_t;

typedef struct CSTAMakePredictiveCallConfEvent_t {
  ConnectionID_t newCall;
} CSTAMakePredictiveCallConfEvent_t;

typedef struct CSTAConsultationCallConfEvent_t {
  ConnectionID_t newCall;
} CSTAConsultationCallConfEvent_t;

typedef struct CSTAConferenceCallConfEvent_t {
  ConnectionID_t newCall;
  CSTAConnectionList_t connList;
} CSTAConferenceCallConfEvent_t;

typedef struct CSTATransferCallConfEvent_t {
  ConnectionID_t newCall;
  CSTAConnectionList_t connList;
} CSTATransferCallConfEvent_t;

typedef struct CSTAQueryMwiConfEvent_t {
  Boolean messages;
} CSTAQueryMwiConfEvent_t;

typedef struct CSTAQueryDndConfEvent_t {
  Boolean doNotDisturb;
} CSTAQueryDndConfEvent_t;

typedef struct CSTAQueryFwdConfEvent_t {
  ListForwardParameters_t queryFwd;
} CSTAQueryFwdConfEvent_t;

typedef struct CSTAQueryAgentStateConfEvent_t {
  AgentState_t agentState;
} CSTAQueryAgentStateConfEvent_t;

typedef struct CSTAQueryLastNumberConfEvent_t {
  DeviceID_t lastNumber;
} CSTAQueryLastNumberConfEvent_t;

typedef struct CSTAQueryDeviceInfoConfEvent_t {
  DeviceID_t device;
  DeviceType_t deviceType;
  DeviceClass_t deviceClass;
} CSTAQueryDeviceInfoConfEvent_t;

typedef struct CSTAUniversalFailureConfEvent_t {
  CSTAUniversalFailure_t error;
} CSTAUniversalFailureConfEvent_t;

typedef struct CSTARouteRegisterReqConfEvent_t {
  std::int32_t registerReqID;
} CSTARouteRegisterReqConfEvent_t;

typedef struct CSTAMonitorConfEvent_t {
  CSTAMonitorCrossRefID_t monitorCrossRefID;
  CSTAMonitorFilter_t monitorFilter;
} CSTAMonitorConfEvent_t;

typedef struct CSTAChangeMonitorFilterConfEvent_t {
  CSTAMonitorFilter_t monitorFilter;
} CSTAChangeMonitorFilterConfEvent_t;

typedef struct CSTASnapshotCallConfEvent_t {
  CSTASnapshotCallData_t snapshotData;
} CSTASnapshotCallConfEvent_t;

typedef struct CSTASnapshotDeviceConfEvent_t {
  CSTASnapshotDeviceData_t snapshotData;
} CSTASnapshotDeviceConfEvent_t;

// One member per capability, in this order; non-zero when supported.
typedef struct CSTAGetAPICapsConfEvent_t {
  std::int16_t alternateCall;
  std::int16_t answerCall;
  std::int16_t callCompletion;
  std::int16_t clearCall;
  std::int16_t clearConnection;
  std::int16_t conferenceCall;
  std::int16_t consultationCall;
  std::int16_t deflectCall;
  std::int16_t pickupCall;
  std::int16_t groupPickupCall;
  std::int16_t holdCall;
  std::int16_t makeCall;
  std::int16_t makePredictiveCall;
  std::int16_t queryMwi;
  std::int16_t queryDnd;
  std::int16_t queryFwd;
  std::int16_t queryAgentState;
  std::int16_t queryLastNumber;
  std::int16_t queryDeviceInfo;
  std::int16_t reconnectCall;
  std::int16_t retrieveCall;
  std::int16_t setMwi;
  std::int16_t setDnd;
  std::int16_t setFwd;
  std::int16_t setAgentState;
  std::int16_t transferCall;
  std::int16_t eventReport;
  std::int16_t callClearedEvent;
  std::int16_t conferencedEvent;
  std::int16_t connectionClearedEvent;
  std::int16_t deliveredEvent;
  std::int16_t divertedEvent;
  std::int16_t establishedEvent;
  std::int16_t failedEvent;
  std::int16_t heldEvent;
  std::int16_t networkReachedEvent;
  std::int16_t originatedEvent;
  std::int16_t queuedEvent;
  std::int16_t retrievedEvent;
  std::int16_t serviceInitiatedEvent;
  std::int16_t transferredEvent;
  std::int16_t callInformationEvent;
  std::int16_t doNotDisturbEvent;
  std::int16_t forwardingEvent;
  std::int16_t messageWaitingEvent;
  std::int16_t loggedOnEvent;
  std::int16_t loggedOffEvent;
  std::int16_t notReadyEvent;
  std::int16_t readyEvent;
  std::int16_t workNotReadyEvent;
  std::int16_t workReadyEvent;
  std::int16_t backInServiceEvent;
  std::int16_t outOfServiceEvent;
  std::int16_t privateEvent;
  std::int16_t routeRequestEvent;
  std::int16_t reRoute;
  std::int16_t routeSelect;
  std::int16_t routeUsedEvent;
  std::int16_t routeEndEvent;
  std::int16_t monitorDevice;
  std::int16_t monitorCall;
  std::int16_t monitorCallsViaDevice;
  std::int16_t changeMonitorFilter;
  std::int16_t monitorStop;
  std::int16_t monitorEnded;
  std::int16_t snapshotDeviceReq;
  std::int16_t snapshotCallReq;
  std::int16_t escapeService;
  std::int16_t privateStatusEvent;
  std::int16_t escapeServiceEvent;
  std::int16_t escapeServiceConf;
  std::int16_t sendPrivateEvent;
  std::int16_t sysStatReq;
  std::int16_t sysStatStart;
  std::int16_t sysStatStop;
  std::int16_t changeSysStatFilter;
  std::int16_t sysStatReqEvent;
  std::int16_t sysStatReqConf;
  std::int16_t sysStatEvent;} CSTAGetAPICapsConfEvent_t;

// ---- CSTA unsolicited payloads -------------------------------------------------

typedef struct CSTACallClearedEvent_t {
  ConnectionID_t clearedCall;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTACallClearedEvent_t;

typedef struct CSTAConferencedEvent_t {
  ConnectionID_t primaryOldCall;
  ConnectionID_t secondaryOldCall;
  SubjectDeviceID_t confController;
  SubjectDeviceID_t addedParty;
  CSTAConnectionList_t conferenceConnections;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTAConferencedEvent_t;

typedef struct CSTAConnectionClearedEvent_t {
  ConnectionID_t droppedConnection;
  SubjectDeviceID_t releasingDevice;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTAConnectionClearedEvent_t;

typedef struct CSTADeliveredEvent_t {
  ConnectionID_t connection;
  SubjectDeviceID_t alertingDevice;
  CallingDeviceID_t callingDevice;
  CalledDeviceID_t calledDevice;
  RedirectionDeviceID_t lastRedirectionDevice;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTADeliveredEvent_t;

typedef struct CSTADivertedEvent_t {
  ConnectionID_t connection;
  SubjectDeviceID_t divertingDevice;
  CalledDeviceID_t newDestination;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTADivertedEvent_t;

typedef struct CSTAEstablishedEvent_t {
  ConnectionID_t establishedConnection;
  SubjectDeviceID_t answeringDevice;
  CallingDeviceID_t callingDevice;
  CalledDeviceID_t calledDevice;
  RedirectionDeviceID_t lastRedirectionDevice;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTAEstablishedEvent_t;

typedef struct CSTAFailedEvent_t {
  ConnectionID_t failedConnection;
  SubjectDeviceID_t failingDevice;
  CalledDeviceID_t calledDevice;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTAFailedEvent_t;

typedef struct CSTAHeldEvent_t {
  ConnectionID_t heldConnection;
  SubjectDeviceID_t holdingDevice;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTAHeldEvent_t;

typedef struct CSTANetworkReachedEvent_t {
  ConnectionID_t connection;
  SubjectDeviceID_t trunkUsed;
  CalledDeviceID_t calledDevice;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTANetworkReachedEvent_t;

typedef struct CSTAOriginatedEvent_t {
  ConnectionID_t originatedConnection;
  SubjectDeviceID_t callingDevice;
  CalledDeviceID_t calledDevice;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTAOriginatedEvent_t;

typedef struct CSTAQueuedEvent_t {
  ConnectionID_t queuedConnection;
  SubjectDeviceID_t queue;
  CallingDeviceID_t callingDevice;
  CalledDeviceID_t calledDevice;
  RedirectionDeviceID_t lastRedirectionDevice;
  std::int32_t numberQueued;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTAQueuedEvent_t;

typedef struct CSTARetrievedEvent_t {
  ConnectionID_t retrievedConnection;
  SubjectDeviceID_t retrievingDevice;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTARetrievedEvent_t;

typedef struct CSTAServiceInitiatedEvent_t {
  ConnectionID_t initiatedConnection;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTAServiceInitiatedEvent_t;

typedef struct CSTATransferredEvent_t {
  ConnectionID_t primaryOldCall;
  ConnectionID_t secondaryOldCall;
  SubjectDeviceID_t transferringDevice;
  SubjectDeviceID_t transferredDevice;
  CSTAConnectionList_t transferredConnections;
  LocalConnectionState_t localConnectionInfo;
  CSTAEventCause_t cause;
} CSTATransferredEvent_t;

typedef struct CSTACallInformationEvent_t {
  ConnectionID_t connection;
  SubjectDeviceID_t device;
  AccountInfo_t accountInfo;
  AuthCode_t authorisationCode;
} CSTACallInformationEvent_t;

typedef struct CSTADoNotDisturbEvent_t {
  SubjectDeviceID_t device;
  Boolean doNotDisturbOn;
} CSTADoNotDisturbEvent_t;

typedef struct CSTAForwardingEvent_t {
  SubjectDeviceID_t device;
  ForwardingInfo_t forwardingInformation;
} CSTAForwardingEvent_t;

typedef struct CSTAMessageWaitingEvent_t {
  CalledDeviceID_t deviceForMessage;
  SubjectDeviceID_t invokingDevice;
  Boolean messageWaitingOn;
} CSTAMessageWaitingEvent_t;

// Logged on/off, ready, not ready, work ready, work not ready.
typedef struct CSTAAgentEvent_t {
  SubjectDeviceID_t agentDevice;
  AgentID_t agentID;
} CSTAAgentEvent_t;

// Back in service, out of service.
typedef struct CSTAServiceStateEvent_t {
  SubjectDeviceID_t device;
  CSTAEventCause_t cause;
} CSTAServiceStateEvent_t;

typedef struct CSTAMonitorEndedEvent_t {
  CSTAEventCause_t cause;
} CSTAMonitorEndedEvent_t;

// ---- the event -------------------------------------------------------------------

typedef struct ACSEventHeader_t {
  ACSHandle_t acsHandle;
  EventClass_t eventClass;
  EventType_t eventType;
} ACSEventHeader_t;

typedef struct ACSUnsolicitedEvent {
  union {
    ACSUniversalFailureEvent_t failureEvent;
  } u;
} ACSUnsolicitedEvent;

typedef struct ACSConfirmationEvent {
  InvokeID_t invokeID;
  union {
    ACSOpenStreamConfEvent_t acsopen;
    ACSCloseStreamConfEvent_t acsclose;
    ACSUniversalFailureConfEvent_t failureEvent;
  } u;
} ACSConfirmationEvent;

typedef struct CSTARequestEvent {
  InvokeID_t invokeID;
} CSTARequestEvent;

typedef struct CSTAEventReport {
  std::int32_t reserved;
} CSTAEventReport;

typedef struct CSTAUnsolicitedEvent {
  CSTAMonitorCrossRefID_t monitorCrossRefId;
  union {
    CSTACallClearedEvent_t callCleared;
    CSTAConferencedEvent_t conferenced;
    CSTAConnectionClearedEvent_t connectionCleared;
    CSTADeliveredEvent_t delivered;
    CSTADivertedEvent_t diverted;
    CSTAEstablishedEvent_t established;
    CSTAFailedEvent_t failed;
    CSTAHeldEvent_t held;
    CSTANetworkReachedEvent_t networkReached;
    CSTAOriginatedEvent_t originated;
    CSTAQueuedEvent_t queued;
    CSTARetrievedEvent_t retrieved;
    CSTAServiceInitiatedEvent_t serviceInitiated;
    CSTATransferredEvent_t transferred;
    CSTACallInformationEvent_t callInformation;
    CSTADoNotDisturbEvent_t doNotDisturb;
    CSTAForwardingEvent_t forwarding;
    CSTAMessageWaitingEvent_t messageWaiting;
    CSTAAgentEvent_t agent;  // LOGGED_ON .. WORK_READY
    CSTAServiceStateEvent_t serviceState;  // BACK_IN_SERVICE, OUT_OF_SERVICE
    CSTAMonitorEndedEvent_t monitorEnded;
  } u;
} CSTAUnsolicitedEvent;

typedef struct CSTAConfirmationEvent {
  InvokeID_t invokeID;
  union {
    CSTAMakeCallConfEvent_t makeCall;
    CSTAMakePredictiveCallConfEvent_t makePredictiveCall;
    CSTAConsultationCallConfEvent_t consultationCall;
    CSTAConferenceCallConfEvent_t conferenceCall;
    CSTATransferCallConfEvent_t transferCall;
    CSTAQueryMwiConfEvent_t queryMwi;
    CSTAQueryDndConfEvent_t queryDnd;
    CSTAQueryFwdConfEvent_t queryFwd;
    CSTAQueryAgentStateConfEvent_t queryAgentState;
    CSTAQueryLastNumberConfEvent_t queryLastNumber;
    CSTAQueryDeviceInfoConfEvent_t queryDeviceInfo;
    CSTAUniversalFailureConfEvent_t universalFailure;
    CSTARouteRegisterReqConfEvent_t routeRegister;
    CSTAMonitorConfEvent_t monitorStart;
    CSTAChangeMonitorFilterConfEvent_t changeMonitorFilter;
    CSTASnapshotCallConfEvent_t snapshotCall;
    CSTASnapshotDeviceConfEvent_t snapshotDevice;
    CSTAGetAPICapsConfEvent_t getAPICaps;
  } u;
} CSTAConfirmationEvent;

// One event as the library hands it over. Events with a variable part
// (connection lists, snapshots) keep it in the same buffer, after the fixed
// part; their pointers point there. Such events may need more room than
// sizeof(CSTAEvent_t), and those with a variable part may need less: the
// library reports the size it needs when the caller's buffer is too small.
typedef struct CSTAEvent_t {
  ACSEventHeader_t eventHeader;
  union {
    ACSUnsolicitedEvent acsUnsolicited;
    ACSConfirmationEvent acsConfirmation;
    CSTARequestEvent cstaRequest;
    CSTAUnsolicitedEvent cstaUnsolicited;
    CSTAConfirmationEvent cstaConfirmation;
    CSTAEventReport cstaEventReport;
  } event;
} CSTAEvent_t;

static_assert(sizeof(ConnectionID_t) == 72, "ConnectionID_t must be 72 bytes");
static_assert(sizeof(ExtendedDeviceID_t) == 72, "ExtendedDeviceID_t must be 72 bytes");
static_assert(sizeof(ACSEventHeader_t) == 8, "ACSEventHeader_t must be 8 bytes");
static_assert(offsetof(PrivateData_t, data) == PRIVATE_DATA_HEADER, "PrivateData_t header");

// ---- functions -------------------------------------------------------------------
//
// Every request returns a negative ACSERR_ code when it was refused (nothing
// will arrive for it), otherwise a confirmation with its invoke ID follows:
// the request's _CONF type or a universal failure. On an APP_GEN_ID stream
// the return value is the caller's invoke ID; on a LIB_GEN_ID stream the
// library ignores the invoke ID passed and returns the positive one it chose.
// Device arguments are texts of at most 64 characters (longer ones are cut).
// `privateData` is optional everywhere (null) except for cstaEscapeService.
//
// All functions may be called from any thread, on any number of streams.
// They have C linkage; the Windows library CSTA32.dll also exports them by
// ordinal (csta32/csta32.def).

extern "C" {

// The caller's value handed to each callback: wide enough for a pointer.
// unsigned long already is, except on 64-bit Windows.
#if defined(_WIN64)
typedef unsigned long long EnumServerNamesParam_t;
#else
typedef unsigned long EnumServerNamesParam_t;
#endif

// Called once per configured server name; returning non-zero stops the walk.
typedef bool (*EnumServerNamesCB)(char* serverName, EnumServerNamesParam_t lParam);

RetCode_t acsEnumServerNames(StreamType_t streamType, EnumServerNamesCB callback,
                             EnumServerNamesParam_t lParam);

// Opens a stream to `serverID`. *acsHandle receives the new stream's handle
// at once; ACS_OPEN_STREAM_CONF (or ACS_UNIVERSAL_FAILURE_CONF) follows.
// recvQSize is the number of events the stream holds at most (0: 16384):
// while that many wait unread, requests are refused with ACSERR_QUEUE_FULL,
// and a stream whose events keep coming unread fails (its last event is
// ACS_UNIVERSAL_FAILURE_CONF with TSERVER_STREAM_FAILED). Other queue sizes
// are accepted and ignored.
RetCode_t acsOpenStream(ACSHandle_t* acsHandle, InvokeIDType_t invokeIDType,
                        InvokeID_t invokeID, StreamType_t streamType,
                        const char* serverID, const char* loginID,
                        const char* passwd, const char* applicationName,
                        Level_t acsLevelReq, const char* apiVer,
                        std::uint16_t sendQSize, std::uint16_t sendExtraBufs,
                        std::uint16_t recvQSize, std::uint16_t recvExtraBufs,
                        const PrivateData_t* privateData);
// Asks the server to close; ACS_CLOSE_STREAM_CONF is the stream's last event
// and the handle is no longer valid once it has been read.
RetCode_t acsCloseStream(ACSHandle_t acsHandle, InvokeID_t invokeID,
                         const PrivateData_t* privateData);
// Ends the stream at once; queued events are dropped and the handle is gone.
RetCode_t acsAbortStream(ACSHandle_t acsHandle, const PrivateData_t* privateData);

// Takes the next event of the stream into `eventBuf` (*eventBufSize bytes).
// Returns 0 with *eventBufSize set to the bytes used; ACSERR_NOMESSAGE when
// nothing is queued (poll only: acsGetEventBlock waits); ACSERR_UBUFSMALL
// with *eventBufSize set to the size needed (the event stays queued);
// ACSERR_BADHDL for an unknown, closed or failed stream. `privateData`, when
// given, receives the event's private data when it fits the capacity its
// `length` states on entry; `length` then holds the bytes stored (0 for
// none). When it does not fit: ACSERR_UBUFSMALL with `length` set to the
// size needed, and the event stays queued. When
// the server has gone away the stream's last event is an
// ACS_UNIVERSAL_FAILURE_CONF with TSERVER_STREAM_FAILED; reads after it
// return ACSERR_BADHDL. `numEvents`, when given, receives the number of
// events still queued.
RetCode_t acsGetEventPoll(ACSHandle_t acsHandle, void* eventBuf,
                          std::uint16_t* eventBufSize, PrivateData_t* privateData,
                          std::uint16_t* numEvents);
RetCode_t acsGetEventBlock(ACSHandle_t acsHandle, void* eventBuf,
                           std::uint16_t* eventBufSize, PrivateData_t* privateData,
                           std::uint16_t* numEvents);

RetCode_t cstaMakeCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                       const char* callingDevice, const char* calledDevice,
                       const PrivateData_t* privateData);
RetCode_t cstaClearCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                        const ConnectionID_t* call, const PrivateData_t* privateData);
RetCode_t cstaClearConnection(ACSHandle_t acsHandle, InvokeID_t invokeID,
                              const ConnectionID_t* call,
                              const PrivateData_t* privateData);
RetCode_t cstaAnswerCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                         const ConnectionID_t* alertingCall,
                         const PrivateData_t* privateData);
RetCode_t cstaHoldCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                       const ConnectionID_t* activeCall, Boolean reservation,
                       const PrivateData_t* privateData);
RetCode_t cstaRetrieveCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                           const ConnectionID_t* heldCall,
                           const PrivateData_t* privateData);
RetCode_t cstaTransferCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                           const ConnectionID_t* heldCall,
                           const ConnectionID_t* activeCall,
                           const PrivateData_t* privateData);
RetCode_t cstaConferenceCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                             const ConnectionID_t* heldCall,
                             const ConnectionID_t* activeCall,
                             const PrivateData_t* privateData);
RetCode_t cstaConsultationCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                               const ConnectionID_t* activeCall,
                               const char* calledDevice,
                               const PrivateData_t* privateData);
RetCode_t cstaDeflectCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                          const ConnectionID_t* deflectCall, const char* calledDevice,
                          const PrivateData_t* privateData);

RetCode_t cstaSnapshotDeviceReq(ACSHandle_t acsHandle, InvokeID_t invokeID,
                                const char* snapshotObject,
                                const PrivateData_t* privateData);
RetCode_t cstaSnapshotCallReq(ACSHandle_t acsHandle, InvokeID_t invokeID,
                              const ConnectionID_t* snapshotObject,
                              const PrivateData_t* privateData);
RetCode_t cstaQueryDeviceInfo(ACSHandle_t acsHandle, InvokeID_t invokeID,
                              const char* device, const PrivateData_t* privateData);
RetCode_t cstaQueryDoNotDisturb(ACSHandle_t acsHandle, InvokeID_t invokeID,
                                const char* device, const PrivateData_t* privateData);
RetCode_t cstaSetDoNotDisturb(ACSHandle_t acsHandle, InvokeID_t invokeID,
                              const char* device, Boolean doNotDisturb,
                              const PrivateData_t* privateData);
RetCode_t cstaQueryMsgWaitingInd(ACSHandle_t acsHandle, InvokeID_t invokeID,
                                 const char* device, const PrivateData_t* privateData);
RetCode_t cstaSetMsgWaitingInd(ACSHandle_t acsHandle, InvokeID_t invokeID,
                               const char* device, Boolean messages,
                               const PrivateData_t* privateData);
RetCode_t cstaQueryForwarding(ACSHandle_t acsHandle, InvokeID_t invokeID,
                              const char* device, const PrivateData_t* privateData);
RetCode_t cstaGetAPICaps(ACSHandle_t acsHandle, InvokeID_t invokeID);

RetCode_t cstaMonitorDevice(ACSHandle_t acsHandle, InvokeID_t invokeID,
                            const char* deviceID,
                            const CSTAMonitorFilter_t* monitorFilter,
                            const PrivateData_t* privateData);
RetCode_t cstaMonitorCall(ACSHandle_t acsHandle, InvokeID_t invokeID,
                          const ConnectionID_t* call,
                          const CSTAMonitorFilter_t* monitorFilter,
                          const PrivateData_t* privateData);
RetCode_t cstaMonitorStop(ACSHandle_t acsHandle, InvokeID_t invokeID,
                          CSTAMonitorCrossRefID_t monitorCrossRefID,
                          const PrivateData_t* privateData);

// Sends one private message (the `length` bytes of privateData->data under
// its vendor); ESCAPE_SVC_CONF carries the reply as private data.
RetCode_t cstaEscapeService(ACSHandle_t acsHandle, InvokeID_t invokeID,
                            const PrivateData_t* privateData);

}  // extern "C"
