// A client stream for tests: sends requests straight into a Switch and keeps
// the events it gets back, decoded.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "csta32/wire/wire.h"
#include "simulator/telsim.h"

namespace telsim_test {

struct Client {
  telsim::Switch& sw;
  std::uint32_t id = 0;
  std::mutex mu;
  std::vector<wire::Event> events;
  std::vector<wire::Control> controls;  // flow-control frames
  int badFrames = 0;
  bool dropped = false;
  InvokeID_t nextInvoke = 1;

  explicit Client(telsim::Switch& s) : sw(s) {
    id = sw.openSession([this](const std::uint8_t* d, std::size_t n) {
      std::lock_guard<std::mutex> lk(mu);
      if (!d) {
        dropped = true;
        return;
      }
      wire::Event e;
      wire::Control c;
      if (wire::decodeEvent(d, n, e)) events.push_back(e);
      else if (wire::decodeControl(d, n, c)) controls.push_back(c);
      else ++badFrames;
    });
  }
  ~Client() {
    if (id) sw.closeSession(id);
  }

  InvokeID_t send(wire::Request r) {
    r.invokeID = nextInvoke++;
    std::vector<std::uint8_t> f;
    if (!wire::encodeRequest(r, f)) return 0;
    sw.onFrame(id, f.data(), f.size());
    return r.invokeID;
  }
  std::vector<wire::Event> take() {
    std::lock_guard<std::mutex> lk(mu);
    std::vector<wire::Event> v;
    v.swap(events);
    return v;
  }

  // Opens the stream; returns the confirmation.
  wire::Event open(const char* login = "Telvanix", const char* password = "") {
    wire::Request r;
    r.op = wire::Op::OpenStream;
    r.serverID = "TELVANIX";
    r.loginID = login;
    r.password = password;
    r.appName = "TEST";
    r.apiVersion = "TS1-2";
    send(r);
    std::vector<wire::Event> v = take();
    return v.empty() ? wire::Event() : v.back();
  }
  static wire::Request dev(wire::Op op, const char* device, const char* device2 = "") {
    wire::Request r;
    r.op = op;
    r.device = device;
    r.device2 = device2;
    return r;
  }
  static wire::Request conn(wire::Op op, std::int32_t call, const char* device) {
    wire::Request r;
    r.op = op;
    r.call = wire::connection(call, device);
    return r;
  }
  // Starts a device monitor and returns its cross-reference ID (0 if refused).
  CSTAMonitorCrossRefID_t monitor(const char* device, CSTAMonitorFilter_t filter = {}) {
    wire::Request r = dev(wire::Op::MonitorDevice, device);
    r.filter = filter;
    send(r);
    std::vector<wire::Event> v = take();
    if (v.size() != 1 || v[0].eventType() != CSTA_MONITOR_CONF) return 0;
    return v[0].ev.event.cstaConfirmation.u.monitorStart.monitorCrossRefID;
  }
  // Makes a call and returns its ID, leaving the events that follow queued.
  std::int32_t makeCall(const char* from, const char* to) {
    send(dev(wire::Op::MakeCall, from, to));
    std::lock_guard<std::mutex> lk(mu);
    for (size_t i = 0; i < events.size(); ++i) {
      if (events[i].eventType() == CSTA_MAKE_CALL_CONF) {
        std::int32_t id = events[i].ev.event.cstaConfirmation.u.makeCall.newCall.callID;
        events.erase(events.begin() + static_cast<std::ptrdiff_t>(i));
        return id;
      }
    }
    return 0;
  }
};

// Compact text of a series of events, e.g. "DELIVERED:202@A" (type, the
// subject device, the local state letter) for unsolicited events and the
// type alone for confirmations, separated by blanks.
inline std::string describe(const wire::Event& e) {
  const CSTAUnsolicitedEvent& u = e.ev.event.cstaUnsolicited;
  auto st = [](LocalConnectionState_t s) {
    static const char* const l[] = {"0", "I", "A", "C", "H", "Q", "F"};
    return s >= 0 && s <= 6 ? l[s] : "-";
  };
  auto dv = [](const DeviceID_t d) { return wire::deviceString(d); };
  std::string t;
  if (e.eventClass() == CSTACONFIRMATION) {
    return e.eventType() == CSTA_UNIVERSAL_FAILURE_CONF
               ? "FAIL(" + std::to_string(e.ev.event.cstaConfirmation.u.universalFailure.error) + ")"
               : "CONF" + std::to_string(e.eventType());
  }
  if (e.eventClass() != CSTAUNSOLICITED) return "ACS" + std::to_string(e.eventType());
  switch (e.eventType()) {
    case CSTA_SERVICE_INITIATED:
      return std::string("SI:") + dv(u.u.serviceInitiated.initiatedConnection.deviceID) + "@" +
             st(u.u.serviceInitiated.localConnectionInfo);
    case CSTA_ORIGINATED:
      return std::string("ORIG:") + dv(u.u.originated.originatedConnection.deviceID) + "@" +
             st(u.u.originated.localConnectionInfo);
    case CSTA_DELIVERED:
      return std::string("DELIV:") + dv(u.u.delivered.connection.deviceID) + "@" + st(u.u.delivered.localConnectionInfo);
    case CSTA_ESTABLISHED:
      return std::string("EST:") + dv(u.u.established.establishedConnection.deviceID) + "@" +
             st(u.u.established.localConnectionInfo);
    case CSTA_HELD:
      return std::string("HELD:") + dv(u.u.held.heldConnection.deviceID) + "@" + st(u.u.held.localConnectionInfo);
    case CSTA_RETRIEVED:
      return std::string("RETR:") + dv(u.u.retrieved.retrievedConnection.deviceID) + "@" +
             st(u.u.retrieved.localConnectionInfo);
    case CSTA_CONNECTION_CLEARED:
      return std::string("CONNCLR:") + dv(u.u.connectionCleared.droppedConnection.deviceID) + "@" +
             st(u.u.connectionCleared.localConnectionInfo);
    case CSTA_CALL_CLEARED: return std::string("CALLCLR@") + st(u.u.callCleared.localConnectionInfo);
    case CSTA_FAILED:
      return std::string("FAILED:") + dv(u.u.failed.failedConnection.deviceID) + "@" + st(u.u.failed.localConnectionInfo);
    case CSTA_DIVERTED:
      return std::string("DIV:") + dv(u.u.diverted.connection.deviceID) + ">" + dv(u.u.diverted.newDestination.deviceID);
    case CSTA_NETWORK_REACHED:
      return std::string("NETREACH:") + dv(u.u.networkReached.trunkUsed.deviceID) + "@" +
             st(u.u.networkReached.localConnectionInfo);
    case CSTA_TRANSFERRED:
      return std::string("XFER:") + dv(u.u.transferred.transferringDevice.deviceID) + "@" +
             st(u.u.transferred.localConnectionInfo);
    case CSTA_CONFERENCED:
      return std::string("CONF:") + dv(u.u.conferenced.confController.deviceID) + "@" +
             st(u.u.conferenced.localConnectionInfo);
    case CSTA_DO_NOT_DISTURB: return std::string("DND:") + (u.u.doNotDisturb.doNotDisturbOn ? "on" : "off");
    case CSTA_MESSAGE_WAITING: return std::string("MWI:") + (u.u.messageWaiting.messageWaitingOn ? "on" : "off");
    case CSTA_FORWARDING: return std::string("FWD:") + dv(u.u.forwarding.forwardingInformation.forwardDN);
    case CSTA_MONITOR_ENDED: return "ENDED";
    case CSTA_PRIVATE_STATUS: return "PRIVATE";
    default: return "EV" + std::to_string(e.eventType());
  }
}

inline std::string describe(const std::vector<wire::Event>& v) {
  std::string s;
  for (const wire::Event& e : v) s += (s.empty() ? "" : " ") + describe(e);
  return s;
}

// The events of one monitor only (and nothing else).
inline std::vector<wire::Event> ofMonitor(const std::vector<wire::Event>& v, CSTAMonitorCrossRefID_t xref) {
  std::vector<wire::Event> r;
  for (const wire::Event& e : v)
    if (e.eventClass() == CSTAUNSOLICITED && e.ev.event.cstaUnsolicited.monitorCrossRefId == xref) r.push_back(e);
  return r;
}

}  // namespace telsim_test
