// The event formatter. Each event becomes a first line (the line prefix, the
// optional time stamp, then the event's own text) and, when verbose,
// continuation lines that start with the same prefix.
#include "display/event.h"

#include <cstdint>

#include "display/filters.h"
#include "display/lines.h"
#include "display/names.h"
#include "display/private_display.h"
#include "display/stamps.h"

#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"

namespace {

// ---- state ---------------------------------------------------------------------------

ACSHandle_t localACShandle = 0;

const int MAX_SNAPSHOT = 24;  // entries of a snapshot, states of a call

const char* text(const char* s) { return s ? s : ""; }

void onOff(bool on) { o_lstring(on ? "ON" : "OFF", 0, true); }

// A name that may be absent: an absent one leaves only the separating blank.
void optionalName(const char* name) { o_lstring(text(name), 0, true); }

// A continuation line for one device, only when the device was provided.
bool deviceLine(const char* label, const ExtendedDeviceID_t& device, bool verbose,
                const char* comnt) {
  if (!verbose || device.deviceIDStatus != ID_PROVIDED) return false;
  o_newline(0);
  o_lstring(comnt, 0, false);
  o_lstring(label, 12, true);
  o_extendedDeviceID(&device, 0, true);
  return true;
}

// The common first line of most unsolicited events: label at column 8, then
// the connection, cause and state in the order the caller chooses.
void unsolicitedStart(const char* comnt, bool verbose, const char* label) {
  o_firstLineStart(comnt, verbose);
  o_lstring(label, 8, true);
}

// ---- capability names ------------------------------------------------------------

struct ApiCap {
  std::int16_t CSTAGetAPICapsConfEvent_t::*member;
  const char* name;
};

#define CAP(m) {&CSTAGetAPICapsConfEvent_t::m, #m}
const ApiCap apiCaps[] = {
    CAP(alternateCall),       CAP(answerCall),          CAP(callCompletion),
    CAP(clearCall),           CAP(clearConnection),     CAP(conferenceCall),
    CAP(consultationCall),    CAP(deflectCall),         CAP(pickupCall),
    CAP(groupPickupCall),     CAP(holdCall),            CAP(makeCall),
    CAP(makePredictiveCall),  CAP(queryMwi),            CAP(queryDnd),
    CAP(queryFwd),            CAP(queryAgentState),     CAP(queryLastNumber),
    CAP(queryDeviceInfo),     CAP(reconnectCall),       CAP(retrieveCall),
    CAP(setMwi),              CAP(setDnd),              CAP(setFwd),
    CAP(setAgentState),       CAP(transferCall),        CAP(eventReport),
    CAP(callClearedEvent),    CAP(conferencedEvent),    CAP(connectionClearedEvent),
    CAP(deliveredEvent),      CAP(divertedEvent),       CAP(establishedEvent),
    CAP(failedEvent),         CAP(heldEvent),           CAP(networkReachedEvent),
    CAP(originatedEvent),     CAP(queuedEvent),         CAP(retrievedEvent),
    CAP(serviceInitiatedEvent), CAP(transferredEvent),  CAP(callInformationEvent),
    CAP(doNotDisturbEvent),   CAP(forwardingEvent),     CAP(messageWaitingEvent),
    CAP(loggedOnEvent),       CAP(loggedOffEvent),      CAP(notReadyEvent),
    CAP(readyEvent),          CAP(workNotReadyEvent),   CAP(workReadyEvent),
    CAP(backInServiceEvent),  CAP(outOfServiceEvent),   CAP(privateEvent),
    CAP(routeRequestEvent),   CAP(reRoute),             CAP(routeSelect),
    CAP(routeUsedEvent),      CAP(routeEndEvent),       CAP(monitorDevice),
    CAP(monitorCall),         CAP(monitorCallsViaDevice), CAP(changeMonitorFilter),
    CAP(monitorStop),         CAP(monitorEnded),        CAP(snapshotDeviceReq),
    CAP(snapshotCallReq),     CAP(escapeService),       CAP(privateStatusEvent),
    CAP(escapeServiceEvent),  CAP(escapeServiceConf),   CAP(sendPrivateEvent),
    CAP(sysStatReq),          CAP(sysStatStart),        CAP(sysStatStop),
    CAP(changeSysStatFilter), CAP(sysStatReqEvent),     CAP(sysStatReqConf),
    CAP(sysStatEvent),
};
#undef CAP

static_assert(sizeof apiCaps / sizeof apiCaps[0] == 79, "79 capabilities");
static_assert(sizeof(CSTAGetAPICapsConfEvent_t) == 79 * sizeof(std::int16_t),
              "every capability has a name");

// Private data worth handing on: present and not empty.
const PrivateData_t* privateOf(const PrivateData_t* pvt) {
  return pvt && pvt->length > 0 ? pvt : nullptr;
}

}  // namespace

// ---- switches ------------------------------------------------------------------------

ACSHandle_t o_setLocalACShandle(ACSHandle_t handle) {
  ACSHandle_t previous = localACShandle;
  localACShandle = handle;
  return previous;
}

// ---- lines and headers ------------------------------------------------------------------

void o_eventHeader(const ACSEventHeader_t* eHdr, bool verbose) {
  if (!eHdr) return;
  if (verbose && eHdr->acsHandle != localACShandle) {
    o_lstring("Handle:", 0, true);
    o_lprintf(0, true, "%lu", static_cast<unsigned long>(eHdr->acsHandle));
  }
  if (verbose) o_lstring("Class:", 0, true);
  o_lstring(getClassName(eHdr->eventClass), 0, true);
  if (verbose) o_lstring("Type:", 0, true);
  o_lstring(getTypeName(eHdr->eventClass, eHdr->eventType), 0, true);
}

void o_connectionList(const CSTAConnectionList_t* conn, int column, const char* comnt) {
  if (!conn || !conn->connection) return;
  for (std::int32_t i = 0; i < conn->count; i++) {
    o_lstring(text(comnt), 0, false);
    o_connectionID(&conn->connection[i].party, column, true);
    o_extendedDeviceID(&conn->connection[i].staticDevice, 0, true);
    o_newline(0);
  }
}

void o_forwardingInfo(const ForwardingInfo_t* pInfo, int column, bool flag) {
  if (!pInfo) return;
  o_deviceID(pInfo->forwardDN, column, flag);
  o_lstring(pInfo->forwardingOn ? "ON" : "OFF", column + 12, true);
  o_lstring(getForwardingTypeName(pInfo->forwardingType), column + 16, true);
}

void o_forwardList(const ListForwardParameters_t* forward, int column, const char* comnt) {
  if (!forward) return;
  std::int32_t count = forward->count;
  if (count < 0 || count > MAX_FWD_PARAMS) {
    o_lstring(text(comnt), column, false);
    o_lstring("?Unreasonable number of forwarding paramters", 0, false);
    o_newline(0);
  }
  if (count > MAX_FWD_PARAMS) count = MAX_FWD_PARAMS;
  for (std::int32_t i = 0; i < count; i++) {
    o_lstring(text(comnt), 0, false);
    o_forwardingInfo(&forward->param[i], column, true);
    o_newline(0);
  }
}

void o_snapshotCall(const CSTASnapshotCallData_t* snapData, int column, const char* comnt) {
  if (!snapData || !snapData->info) return;
  std::int32_t count = snapData->count;
  if (count > MAX_SNAPSHOT) count = MAX_SNAPSHOT;
  for (std::int32_t i = 0; i < count; i++) {
    const CSTASnapshotCallResponseInfo_t& info = snapData->info[i];
    o_lstring(text(comnt), 0, false);
    o_connectionID(&info.callIdentifier, column, true);
    o_lstring(text(getLocalStateName(info.localConnectionState)), column + 20, true);
    o_extendedDeviceID(&info.deviceOnCall, column + 30, true);
    o_newline(0);
  }
}

void o_snapshotDevice(const CSTASnapshotDeviceData_t* pSnapData, int indent,
                      const char* comnt) {
  if (!pSnapData) return;
  if (pSnapData->count < 0 || pSnapData->count > MAX_SNAPSHOT) {
    o_lstring(text(comnt), 0, false);
    o_lprintf(indent, true, "? Illegal CSTASnapshotDeviceData_t count %ld",
              static_cast<long>(pSnapData->count));
    o_newline(0);
    return;
  }
  if (!pSnapData->info) return;
  for (std::int32_t i = 0; i < pSnapData->count; i++) {
    o_lstring(text(comnt), 0, false);
    o_deviceResponseInfo(&pSnapData->info[i], indent, true);
    o_newline(0);
  }
}

void o_deviceResponseInfo(const CSTASnapshotDeviceResponseInfo_t* info, int indent, bool flag) {
  if (!info) return;
  o_connectionID(&info->callIdentifier, indent, flag);
  o_callState(&info->getCallState, indent, true);
}

void o_callState(const CSTACallState_t* pState, int indent, bool flag) {
  if (!pState) return;
  if (pState->count < 0 || pState->count > MAX_SNAPSHOT) {
    o_lprintf(indent, flag, "? Illegal CSTACallState_t count %ld",
              static_cast<long>(pState->count));
    return;
  }
  if (!pState->state) return;
  for (std::int32_t i = 0; i < pState->count; i++) {
    const char* letter = getLocalStateCharacter(pState->state[i]);
    if (!letter) continue;
    o_lprintf(0, true, "%ld:%s", static_cast<long>(i), letter);
  }
}

void o_APIcap(const char* comnt, const char* string) {
  o_lstring(text(comnt), 0, false);
  o_lstring(text(string), 0, false);
  o_newline(0);
}

void o_registerReqID(std::int32_t reqID, int column, bool flag) {
  (void)reqID;
  o_lstring("@@@NIY registerReqID", column, flag);
}

// ---- ACS confirmations -------------------------------------------------------------------

void o_ACSconfirmation(const CSTAEvent_t* event, bool verbose, const char* comnt) {
  if (!event) return;
  comnt = text(comnt);
  const ACSEventHeader_t& hdr = event->eventHeader;
  const ACSConfirmationEvent& conf = event->event.acsConfirmation;
  o_firstLineStart(comnt, verbose);
  o_lstring(getTypeName(hdr.eventClass, hdr.eventType), 0, true);
  o_invokeIDwithTime(conf.invokeID, 40, true);

  switch (hdr.eventType) {
    case ACS_OPEN_STREAM_CONF: {
      const ACSOpenStreamConfEvent_t& open = conf.u.acsopen;
      if (verbose) {
        const struct {
          const char* label;
          const char* version;
        } lines[] = {{"Api:", open.apiVer},
                     {"Lib:", open.libVer},
                     {"Tsrv:", open.tsrvVer},
                     {"dev:", open.drvrVer}};
        for (const auto& line : lines) {
          o_nextLine(comnt, verbose);
          o_lstring(line.label, 8, true);
          o_serverText(line.version, sizeof(Version_t), 12, true);
        }
      }
      o_storeFirmwareVersion(open.drvrVer, static_cast<int>(sizeof(Version_t)));
      break;
    }
    case ACS_CLOSE_STREAM_CONF:
      break;
    case ACS_UNIVERSAL_FAILURE_CONF:
      o_lstring(getACSfailureName(conf.u.failureEvent.error), 30, true);
      break;
    default:
      o_lprintf(8, true, "unknown type %s", errorNumber(hdr.eventType));
      break;
  }
  o_endLine(verbose);
}

// ---- CSTA confirmations -------------------------------------------------------------------

void o_CSTAconfirmation(const CSTAEvent_t* event, const PrivateData_t* pvt, bool verbose,
                        const char* comnt) {
  if (!event) return;
  comnt = text(comnt);
  const ACSEventHeader_t& hdr = event->eventHeader;
  const CSTAConfirmationEvent& conf = event->event.cstaConfirmation;
  o_firstLineStart(comnt, verbose);
  o_lstring(getTypeName(hdr.eventClass, hdr.eventType), 0, true);
  o_invokeIDwithTime(conf.invokeID, 40, true);
  if (!verbose) return;
  o_newline(0);

  // Most types add one detail line: the prefix, a label at column 8, values.
  auto detail = [comnt](const char* label) {
    o_lstring(comnt, 0, false);
    o_lstring(label, 8, true);
  };

  switch (hdr.eventType) {
    case CSTA_ALTERNATE_CALL_CONF:
    case CSTA_ANSWER_CALL_CONF:
    case CSTA_CALL_COMPLETION_CONF:
    case CSTA_CLEAR_CALL_CONF:
    case CSTA_CLEAR_CONNECTION_CONF:
    case CSTA_DEFLECT_CALL_CONF:
    case CSTA_PICKUP_CALL_CONF:
    case CSTA_GROUP_PICKUP_CALL_CONF:
    case CSTA_HOLD_CALL_CONF:
    case CSTA_RECONNECT_CALL_CONF:
    case CSTA_RETRIEVE_CALL_CONF:
    case CSTA_SET_MWI_CONF:
    case CSTA_SET_DND_CONF:
    case CSTA_SET_FWD_CONF:
    case CSTA_SET_AGENT_STATE_CONF:
    case CSTA_ROUTE_REGISTER_CANCEL_CONF:
    case CSTA_MONITOR_STOP_CONF:
      break;

    case CSTA_CONFERENCE_CALL_CONF:
      detail("New call:");
      o_connectionID(&conf.u.conferenceCall.newCall, 8, true);
      o_newline(0);
      o_connectionList(&conf.u.conferenceCall.connList, 12, comnt);
      break;
    case CSTA_CONSULTATION_CALL_CONF:
      detail("New call:");
      o_connectionID(&conf.u.consultationCall.newCall, 8, true);
      o_newline(0);
      break;
    case CSTA_MAKE_CALL_CONF:
      detail("Making call:");
      o_connectionID(&conf.u.makeCall.newCall, 8, true);
      o_newline(0);
      break;
    case CSTA_MAKE_PREDICTIVE_CALL_CONF:
      detail("Making predictive call:");
      o_connectionID(&conf.u.makePredictiveCall.newCall, 8, true);
      o_newline(0);
      break;
    case CSTA_TRANSFER_CALL_CONF:
      detail("Transfer:");
      o_connectionID(&conf.u.transferCall.newCall, 8, true);
      o_newline(0);
      o_connectionList(&conf.u.transferCall.connList, 12, comnt);
      break;

    case CSTA_QUERY_MWI_CONF:
      detail("Mwi:");
      onOff(conf.u.queryMwi.messages != 0);
      o_newline(0);
      break;
    case CSTA_QUERY_DND_CONF:
      detail("Dnd:");
      onOff(conf.u.queryDnd.doNotDisturb != 0);
      o_newline(0);
      break;
    case CSTA_QUERY_FWD_CONF:
      detail("Forwards:");
      o_newline(0);
      o_forwardList(&conf.u.queryFwd.queryFwd, 8, comnt);
      break;
    case CSTA_QUERY_AGENT_STATE_CONF:
      detail("Agent state:");
      o_lstring(getAgentStateName(conf.u.queryAgentState.agentState), 0, true);
      o_newline(0);
      break;
    case CSTA_QUERY_LAST_NUMBER_CONF:
      detail("Last number:");
      o_deviceID(conf.u.queryLastNumber.lastNumber, 8, true);
      o_newline(0);
      break;
    case CSTA_QUERY_DEVICE_INFO_CONF: {
      const CSTAQueryDeviceInfoConfEvent_t& info = conf.u.queryDeviceInfo;
      detail("Device Info:");
      o_deviceID(info.device, 8, true);
      o_lstring(getDeviceTypeName(info.deviceType), 0, true);
      o_lstring(getDeviceClassList(info.deviceClass), 0, true);
      o_newline(0);
      break;
    }

    case CSTA_UNIVERSAL_FAILURE_CONF:
      detail(getCSTAfailureName(conf.u.universalFailure.error));
      o_newline(0);
      break;
    case CSTA_ROUTE_REGISTER_REQ_CONF:
      o_lstring(comnt, 0, false);
      o_registerReqID(conf.u.routeRegister.registerReqID, 8, true);
      o_newline(0);
      break;
    case CSTA_ESCAPE_SVC_CONF:
      o_privateMessage(privateOf(pvt), comnt, 8);
      break;
    case CSTA_SYS_STAT_REQ_CONF:
      detail("@@@ CSTA_SYS_STAT_REQ_CONF");
      o_newline(0);
      break;
    case CSTA_SYS_STAT_START_CONF:
      detail("@@@ CSTA_SYS_STAT_START_CONF");
      o_newline(0);
      break;
    case CSTA_SYS_STAT_STOP_CONF:
      detail("@@@ CSTA_SYS_STAT_STOP_CONF");
      o_newline(0);
      break;
    case CSTA_CHANGE_SYS_STAT_FILTER_CONF:
      detail("@@@ CSTA_SYS_STAT_FILTER_CONF");
      o_newline(0);
      break;
    case CSTA_REQ_SYS_STAT_CONF:
      detail("@@@ CSTA_SYS_STAT_CONF");
      o_newline(0);
      break;

    case CSTA_MONITOR_CONF:
      detail("Monitor XrefID:");
      o_lprintf(0, true, "%lu",
                static_cast<unsigned long>(conf.u.monitorStart.monitorCrossRefID));
      o_lstring("Filters:", 0, true);
      o_newline(0);
      o_monitorFilters(&conf.u.monitorStart.monitorFilter, 8, comnt);
      break;
    case CSTA_CHANGE_MONITOR_FILTER_CONF:
      detail("Change filters:");
      o_newline(0);
      o_monitorFilters(&conf.u.changeMonitorFilter.monitorFilter, 8, comnt);
      break;
    case CSTA_SNAPSHOT_CALL_CONF:
      o_snapshotCall(&conf.u.snapshotCall.snapshotData, 8, comnt);
      break;
    case CSTA_SNAPSHOT_DEVICE_CONF:
      o_snapshotDevice(&conf.u.snapshotDevice.snapshotData, 8, comnt);
      break;
    case CSTA_GETAPI_CAPS_CONF:
      for (const ApiCap& cap : apiCaps)
        if (conf.u.getAPICaps.*cap.member != 0) o_APIcap(comnt, cap.name);
      break;
    case CSTA_GET_DEVICE_LIST_CONF:
      detail("@@@ CSTA_GET_DEVICE_LIST_CONF");
      o_newline(0);
      break;
    case CSTA_QUERY_CALL_MONITOR_CONF:
      detail("@@@ CSTA_QUERY_CALL_MONITOR_CONF");
      o_newline(0);
      break;
    default:
      o_lstring(comnt, 0, false);
      o_lprintf(8, true, "CSTAconfirmation ?%d?", static_cast<int>(hdr.eventType));
      o_newline(0);
      break;
  }
}

// ---- CSTA unsolicited events, one row each -----------------------------------------------

namespace {

// What most unsolicited events show: a connection, a cause and a local state
// on the first line, then a continuation line for each provided device.
struct UnsolicitedParts {
  const ConnectionID_t* connection;
  const CSTAEventCause_t* cause;
  const LocalConnectionState_t* local;
  bool localFirst;  // the call-cleared line puts the state before the cause
  struct {
    const char* label;
    const ExtendedDeviceID_t* device;
  } devices[4];
};

void unsolicitedParts(const UnsolicitedParts& p, bool verbose, const char* comnt) {
  if (p.connection) o_connectionID(p.connection, 0, true);
  if (p.localFirst && p.local) optionalName(getLocalStateName(*p.local));
  if (p.cause) optionalName(getCauseName(*p.cause));
  if (!p.localFirst && p.local) optionalName(getLocalStateName(*p.local));
  for (const auto& d : p.devices)
    if (d.label) deviceLine(d.label, *d.device, verbose, comnt);
}

using PartsOf = UnsolicitedParts (*)(const CSTAUnsolicitedEvent&);
// Prints what the parts cannot say; false when it already ended its lines.
using Rest = bool (*)(const CSTAUnsolicitedEvent&, bool verbose, const char* comnt);

struct UnsolicitedRow {
  EventType_t type;
  const char* title;  // null: the row's rest prints the first line itself
  PartsOf parts;
  Rest rest;
};

bool conferencedRest(const CSTAUnsolicitedEvent& un, bool verbose, const char* comnt) {
  const CSTAConferencedEvent_t& e = un.u.conferenced;
  if (!verbose) return true;
  // These party lines carry no prefix; the connection lines below do.
  o_newline(0);
  o_lstring("Primary call:", 12, true);
  o_connectionID(&e.primaryOldCall, 0, true);
  optionalName(getCauseName(e.cause));
  o_newline(0);
  o_lstring("Secondary call:", 12, true);
  o_connectionID(&e.secondaryOldCall, 0, true);
  if (e.confController.deviceIDStatus == ID_PROVIDED) {
    o_newline(0);
    o_lstring("Controller:", 12, true);
    o_extendedDeviceID(&e.confController, 0, true);
  }
  if (e.addedParty.deviceIDStatus == ID_PROVIDED) {
    o_newline(0);
    o_lstring("Added party:", 12, true);
    o_extendedDeviceID(&e.addedParty, 0, true);
    optionalName(getLocalStateName(e.localConnectionInfo));
  }
  o_newline(0);
  o_connectionList(&e.conferenceConnections, 12, comnt);
  return false;
}

bool deliveredRest(const CSTAUnsolicitedEvent& un, bool verbose, const char* comnt) {
  const CSTADeliveredEvent_t& e = un.u.delivered;
  o_nextLine(comnt, verbose);
  o_lstring("Alerting:", 12, true);
  o_connectionID(&e.connection, 0, true);
  optionalName(getCauseName(e.cause));
  if (deviceLine("Alerting:", e.alertingDevice, verbose, comnt))
    optionalName(getLocalStateName(e.localConnectionInfo));
  deviceLine("Calling:", e.callingDevice, verbose, comnt);
  deviceLine("Called:", e.calledDevice, verbose, comnt);
  deviceLine("Last redirection:", e.lastRedirectionDevice, verbose, comnt);
  return true;
}

bool queuedRest(const CSTAUnsolicitedEvent& un, bool verbose, const char* comnt) {
  const CSTAQueuedEvent_t& e = un.u.queued;
  o_firstLineStart(comnt, verbose);
  o_lprintf(8, true, "Queued%ld:", static_cast<long>(e.numberQueued));
  unsolicitedParts({&e.queuedConnection, &e.cause, &e.localConnectionInfo, false,
                      {{"Queue:", &e.queue},
                       {"Calling:", &e.callingDevice},
                       {"Called:", &e.calledDevice},
                       {"Last redirection:", &e.lastRedirectionDevice}}},
                     verbose, comnt);
  return true;
}

bool transferredRest(const CSTAUnsolicitedEvent& un, bool verbose, const char* comnt) {
  const CSTATransferredEvent_t& e = un.u.transferred;
  o_nextLine(comnt, verbose);
  o_lstring("Secondary:", 10, true);
  o_connectionID(&e.secondaryOldCall, 0, true);
  deviceLine("Transferring:", e.transferringDevice, verbose, comnt);
  deviceLine("Transferred:", e.transferredDevice, verbose, comnt);
  return true;
}

bool callInformationRest(const CSTAUnsolicitedEvent& un, bool verbose, const char* comnt) {
  const CSTACallInformationEvent_t& e = un.u.callInformation;
  if (!verbose) return true;
  o_nextLine(comnt, verbose);
  o_lstring("Account Info:", 12, true);
  o_serverText(e.accountInfo, sizeof(AccountInfo_t), 0, true);
  o_nextLine(comnt, verbose);
  o_lstring("Authorisation code:", 12, true);
  o_serverText(e.authorisationCode, sizeof(AuthCode_t), 0, true);
  return true;
}

bool doNotDisturbRest(const CSTAUnsolicitedEvent& un, bool, const char*) {
  onOff(un.u.doNotDisturb.doNotDisturbOn != 0);
  o_extendedDeviceID(&un.u.doNotDisturb.device, 0, true);
  return true;
}

bool forwardingRest(const CSTAUnsolicitedEvent& un, bool, const char*) {
  o_extendedDeviceID(&un.u.forwarding.device, 0, true);
  o_forwardingInfo(&un.u.forwarding.forwardingInformation, 38, true);
  return true;
}

bool messageWaitingRest(const CSTAUnsolicitedEvent& un, bool verbose, const char* comnt) {
  const CSTAMessageWaitingEvent_t& e = un.u.messageWaiting;
  onOff(e.messageWaitingOn != 0);
  o_extendedDeviceID(&e.deviceForMessage, 0, true);
  deviceLine("Device:", e.invokingDevice, verbose, comnt);
  return true;
}

const UnsolicitedRow unsolicitedRows[] = {
    {CSTA_CALL_CLEARED, "Call cleared:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       const auto& e = u.u.callCleared;
       return {&e.clearedCall, &e.cause, &e.localConnectionInfo, true, {}};
     },
     nullptr},
    {CSTA_CONFERENCED, "Conference:", nullptr, conferencedRest},
    {CSTA_CONNECTION_CLEARED, "Connection cleared:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       const auto& e = u.u.connectionCleared;
       return {&e.droppedConnection, &e.cause, nullptr, false,
               {{"Subject:", &e.releasingDevice}}};
     },
     nullptr},
    {CSTA_DELIVERED, "Delivered:", nullptr, deliveredRest},
    {CSTA_DIVERTED, "Diverted:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       const auto& e = u.u.diverted;
       return {&e.connection, &e.cause, &e.localConnectionInfo, false,
               {{"Diverting:", &e.divertingDevice}, {"New destination:", &e.newDestination}}};
     },
     nullptr},
    {CSTA_ESTABLISHED, "Established:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       const auto& e = u.u.established;
       return {&e.establishedConnection, &e.cause, &e.localConnectionInfo, false,
               {{"Answering:", &e.answeringDevice},
                {"Calling:", &e.callingDevice},
                {"Called:", &e.calledDevice},
                {"Last redirection:", &e.lastRedirectionDevice}}};
     },
     nullptr},
    {CSTA_FAILED, "Failed:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       const auto& e = u.u.failed;
       return {&e.failedConnection, &e.cause, &e.localConnectionInfo, false,
               {{"Failing:", &e.failingDevice}, {"Called:", &e.calledDevice}}};
     },
     nullptr},
    {CSTA_HELD, "Held:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       const auto& e = u.u.held;
       return {&e.heldConnection, &e.cause, &e.localConnectionInfo, false,
               {{"Holding:", &e.holdingDevice}}};
     },
     nullptr},
    {CSTA_NETWORK_REACHED, "Network reached:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       const auto& e = u.u.networkReached;
       return {&e.connection, &e.cause, &e.localConnectionInfo, false,
               {{"Trunk:", &e.trunkUsed}, {"Called:", &e.calledDevice}}};
     },
     nullptr},
    {CSTA_ORIGINATED, "Originated:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       const auto& e = u.u.originated;
       return {&e.originatedConnection, &e.cause, &e.localConnectionInfo, false,
               {{"Calling:", &e.callingDevice}, {"Called:", &e.calledDevice}}};
     },
     nullptr},
    {CSTA_QUEUED, nullptr, nullptr, queuedRest},
    {CSTA_RETRIEVED, "Retrieved:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       const auto& e = u.u.retrieved;
       return {&e.retrievedConnection, &e.cause, &e.localConnectionInfo, false,
               {{"Retrieving:", &e.retrievingDevice}}};
     },
     nullptr},
    {CSTA_SERVICE_INITIATED, "Service initiated:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       const auto& e = u.u.serviceInitiated;
       return {&e.initiatedConnection, &e.cause, &e.localConnectionInfo, false, {}};
     },
     nullptr},
    {CSTA_TRANSFERRED, "Transferred:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       const auto& e = u.u.transferred;
       return {&e.primaryOldCall, &e.cause, &e.localConnectionInfo, false, {}};
     },
     transferredRest},
    {CSTA_CALL_INFORMATION, "Call information:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       const auto& e = u.u.callInformation;
       return {&e.connection, nullptr, nullptr, false, {{"Device:", &e.device}}};
     },
     callInformationRest},
    {CSTA_DO_NOT_DISTURB, "Do not disturb:", nullptr, doNotDisturbRest},
    {CSTA_FORWARDING, "Forwarding:", nullptr, forwardingRest},
    {CSTA_MESSAGE_WAITING, "Message waiting:", nullptr, messageWaitingRest},
    {CSTA_LOGGED_ON, "CSTA_LOGGED_ON", nullptr, nullptr},
    {CSTA_LOGGED_OFF, "CSTA_LOGGED_OFF", nullptr, nullptr},
    {CSTA_NOT_READY, "CSTA_NOT_READY", nullptr, nullptr},
    {CSTA_READY, "CSTA_READY", nullptr, nullptr},
    {CSTA_WORK_NOT_READY, "CSTA_WORK_NOT_READY", nullptr, nullptr},
    {CSTA_WORK_READY, "CSTA_WORK_READY", nullptr, nullptr},
    {CSTA_BACK_IN_SERVICE, "CSTA_BACK_IN_SERVICE", nullptr, nullptr},
    {CSTA_OUT_OF_SERVICE, "CSTA_OUT_OF_SERVICE", nullptr, nullptr},
    {CSTA_MONITOR_ENDED, "Monitor ended:",
     [](const CSTAUnsolicitedEvent& u) -> UnsolicitedParts {
       return {nullptr, &u.u.monitorEnded.cause, nullptr, false, {}};
     },
     nullptr},
};

}  // namespace

void o_CSTAunsolicited(const CSTAEvent_t* event, const PrivateData_t* pvt, bool verbose,
                       const char* comnt) {
  if (!event) return;
  comnt = text(comnt);
  const CSTAUnsolicitedEvent& un = event->event.cstaUnsolicited;
  const EventType_t type = event->eventHeader.eventType;

  // The private display starts its own line.
  if (type == CSTA_PRIVATE_STATUS) {
    o_privateMessage(privateOf(pvt), comnt, 8);
    return;
  }

  for (const UnsolicitedRow& row : unsolicitedRows) {
    if (row.type != type) continue;
    if (row.title) unsolicitedStart(comnt, verbose, row.title);
    if (row.parts) unsolicitedParts(row.parts(un), verbose, comnt);
    if (row.rest && !row.rest(un, verbose, comnt)) return;
    o_endLine(verbose);
    return;
  }
  o_firstLineStart(comnt, verbose);
  o_lprintf(0, false, "CSTAunsolicited ?%d?", static_cast<int>(type));
  o_endLine(verbose);
}

// ---- the entry point -------------------------------------------------------------------------

void o_event(const CSTAEvent_t* event, const PrivateData_t* pvt, bool verbose,
             const char* comnt) {
  if (!event) return;
  comnt = text(comnt);
  const ACSEventHeader_t& hdr = event->eventHeader;
  switch (hdr.eventClass) {
    case ACSREQUEST:
    case CSTAREQUEST:
      o_firstLineStart(comnt, verbose);
      o_eventHeader(&hdr, verbose);
      if (verbose) {
        o_newline(0);
        o_lstring(comnt, 0, false);
        o_lstring(hdr.eventClass == ACSREQUEST
                      ? "? Strange to find an ACSREQUEST from the server"
                      : "? Found a CSTAREQUEST from the server",
                  0, false);
        o_newline(0);
      }
      break;
    case ACSUNSOLICITED:
      o_firstLineStart(comnt, verbose);
      if (hdr.eventType == ACS_UNIVERSAL_FAILURE)
        o_lstring(getACSfailureName(event->event.acsUnsolicited.u.failureEvent.error), 0, true);
      else
        o_lprintf(0, true, "? Type %s is not an expected ACSUnsolicitedEvent",
                  getTypeName(hdr.eventClass, hdr.eventType));
      o_endLine(verbose);
      break;
    case ACSCONFIRMATION:
      o_ACSconfirmation(event, verbose, comnt);
      break;
    case CSTAUNSOLICITED:
      o_CSTAunsolicited(event, pvt, verbose, comnt);
      break;
    case CSTACONFIRMATION:
      o_CSTAconfirmation(event, pvt, verbose, comnt);
      break;
    case CSTAEVENTREPORT:
      o_firstLineStart(comnt, verbose);
      o_lprintf(0, true, "CSTAreport ?%d?", static_cast<int>(hdr.eventType));
      o_endLine(verbose);
      break;
    default:
      o_firstLineStart(comnt, verbose);
      o_eventHeader(&hdr, verbose);
      o_endLine(verbose);
      break;
  }
}
