// The switch's inner state, shared by the request handlers (switch.cpp), the
// call model (calls.cpp) and the control interface (control.cpp). Everything
// here is used with Impl::mu held.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "csta32/wire/wire.h"
#include "private/telvanix_private.h"
#include "simulator/telsim.h"

namespace telsim {


// A device takes part in at most this many calls (what clients expect a
// device snapshot to list), and the switch carries at most kMaxCalls.
const size_t kMaxCallsPerDevice = 24;
const size_t kMaxCalls = 10000;

struct Forward {
  bool on = false;
  std::string dest;
};

struct Device {
  DeviceConfig cfg;
  std::string name;  // text used in events: the number, else the physical name
  bool dnd = false;
  bool mwi = false;
  Forward fwd[3];  // immediate, busy, no answer
  int autoAnswerRings = 0;
  // Line settings the private messages read and change.
  std::uint8_t classOfService = 1;
  std::uint8_t pickupGroup = 0;
  std::uint32_t noAnswerTime = 120;  // tenths of a second
  std::uint8_t waitNrings = 0;
  bool callWaiting = false;
  std::uint32_t trunkFlags = 0;
  TelvanixPrivateDSpanInfo span = {};  // spans only
};

struct Party {
  int dev = -1;             // device index; -1 for a number that names no device
  std::string name;         // device text in connection IDs
  std::string outside;      // outside number carried by a trunk party
  std::string outsideName;  // and its caller name, when given
  LocalConnectionState_t state = CS_NULL;
  CSTAEventCause_t cause = EC_NEW_CALL;  // why it was offered the call
  std::uint64_t alertSeq = 0;            // tells stale ring timers apart
  std::uint64_t voiceOp = 0;  // not 0: the "Playing" or "Recording" party of that operation
};

struct Call {
  std::int32_t id = 0;
  std::vector<Party> parties;
  std::string calling;  // the calling party as events name it
  DeviceIDType_t callingType = DEVICE_IDENTIFIER;
  std::string called;  // what was dialled
  std::string lastRedirection;
  bool answered = false;
  std::uint32_t cti = 0;     // the value a client placed on the call
  std::uint32_t parkID = 0;  // not 0 while parked
  std::uint64_t startMs = 0; // switch time the call began (caller-ID time)
};

struct Monitor {
  CSTAMonitorCrossRefID_t xref = 0;
  bool onCall = false;
  int dev = -1;
  std::int32_t callID = 0;
  CSTAMonitorFilter_t filter = {};
};

// A stream's monitors in the order they were started (cross-reference IDs
// grow), found by the device or call they watch without walking them all:
// a logger keeps a monitor on every call it follows, tens of thousands on a
// busy switch. Iterates as Monitor values; changed only through the switch
// (addMonitor, removeMonitor, clearMonitors), which keeps its own index of
// the streams watching each device and call.
class MonitorList {
  typedef std::map<CSTAMonitorCrossRefID_t, Monitor> ByXref;

 public:
  template <class It, class M>
  class Iter {
   public:
    explicit Iter(It it) : it_(it) {}
    M& operator*() const { return it_->second; }
    M* operator->() const { return &it_->second; }
    Iter& operator++() {
      ++it_;
      return *this;
    }
    bool operator==(const Iter& o) const { return it_ == o.it_; }
    bool operator!=(const Iter& o) const { return it_ != o.it_; }

   private:
    It it_;
  };
  typedef Iter<ByXref::const_iterator, const Monitor> const_iterator;

  const_iterator begin() const { return const_iterator(all_.begin()); }
  const_iterator end() const { return const_iterator(all_.end()); }
  std::size_t size() const { return all_.size(); }
  bool empty() const { return all_.empty(); }
  const Monitor* find(CSTAMonitorCrossRefID_t xref) const {
    auto it = all_.find(xref);
    return it == all_.end() ? nullptr : &it->second;
  }
  // Cross-reference IDs of the monitors of a device or a call; null for none.
  const std::vector<CSTAMonitorCrossRefID_t>* ofDevice(int dev) const {
    auto it = devs_.find(dev);
    return it == devs_.end() ? nullptr : &it->second;
  }
  const std::vector<CSTAMonitorCrossRefID_t>* ofCall(std::int32_t callID) const {
    auto it = calls_.find(callID);
    return it == calls_.end() ? nullptr : &it->second;
  }

  void add(const Monitor& m) {
    all_[m.xref] = m;
    (m.onCall ? calls_[m.callID] : devs_[m.dev]).push_back(m.xref);
  }
  bool remove(CSTAMonitorCrossRefID_t xref) {
    auto it = all_.find(xref);
    if (it == all_.end()) return false;
    const Monitor& m = it->second;
    if (m.onCall)
      unlist(calls_, m.callID, xref);
    else
      unlist(devs_, m.dev, xref);
    all_.erase(it);
    return true;
  }
  void clear() {
    all_.clear();
    devs_.clear();
    calls_.clear();
  }

 private:
  template <class K>
  static void unlist(std::unordered_map<K, std::vector<CSTAMonitorCrossRefID_t>>& index, K key,
                     CSTAMonitorCrossRefID_t xref) {
    auto it = index.find(key);
    if (it == index.end()) return;
    std::vector<CSTAMonitorCrossRefID_t>& v = it->second;
    for (std::size_t i = 0; i < v.size(); ++i)
      if (v[i] == xref) {
        v.erase(v.begin() + static_cast<std::ptrdiff_t>(i));
        break;
      }
    if (v.empty()) index.erase(it);
  }

  ByXref all_;
  std::unordered_map<int, std::vector<CSTAMonitorCrossRefID_t>> devs_;
  std::unordered_map<std::int32_t, std::vector<CSTAMonitorCrossRefID_t>> calls_;
};

// A play or record running on a call (voice.cpp).
struct VoiceOp {
  std::uint64_t id = 0;
  bool record = false;
  bool tillDigit = false;
  std::uint32_t session = 0;  // the requester: its reports go there only
  std::int32_t callID = 0;
  std::string device;         // the connection it was asked for
  TelvanixPrivateFile file;   // the request's file record, echoed in the reports
  std::string path;           // the local file
  std::uint64_t started = 0;  // switch time
  std::uint64_t limit = 0;    // bytes it runs to at most
  std::uint64_t base = 0;     // a recording's file bytes kept from before it
  std::uint64_t written = 0;  // a recording's bytes in its file so far
  bool failed = false;        // a recording's write failed
};

struct Session {
  std::uint32_t id = 0;
  std::function<void(const std::uint8_t*, std::size_t)> deliver;
  bool open = false;
  bool privateStatus = false;
  std::string app;
  MonitorList monitors;
  CSTAMonitorCrossRefID_t nextXref = 1;
  std::set<std::int32_t> detectors;  // calls this stream collects digits on
  std::uint64_t requests = 0;
  bool admin = false;  // gave the administration password
};

// The switch-wide settings of the private messages (private_ops.cpp).
struct PrivateState {
  TelvanixPrivateSystemInfo sysInfo = {};
  std::vector<std::pair<std::string, std::string>> translations;  // pattern, result
  std::vector<TelvanixPrivateSerialNumber> boardOrder;
  std::string operatorNumber = "0";
  bool multiAttendant = false;
  std::string adminPassword;
  std::uint32_t nextParkID = 1;
  std::vector<std::pair<std::uint32_t, std::int32_t>> parked;  // park ID, call; in parking order
  std::map<std::uint32_t, std::uint32_t> interlocks;           // value, holding session
  std::uint16_t dtmfRequests = 0, playRequests = 0, recordRequests = 0;
};

// Who an event concerns: the devices whose monitors see it, the calls whose
// monitors see it, and the call as it stands afterwards (for local states).
struct Scope {
  std::vector<int> devs;
  std::vector<std::int32_t> calls;
  const Call* after = nullptr;
  LocalConnectionState_t subjectState = CS_NONE;  // for call monitors
};

struct Switch::Impl {
  explicit Impl(const Config& c, bool manual, double spd);

  Config cfg;
  std::mutex mu;
  std::vector<Device> devices;
  std::map<std::int32_t, Call> calls;
  std::map<std::uint32_t, Session> sessions;
  // The open streams with monitors of each device and each call, and how
  // many; emit and endCallMonitors visit only these.
  std::unordered_map<int, std::map<std::uint32_t, int>> deviceWatchers;
  std::unordered_map<std::int32_t, std::map<std::uint32_t, int>> callWatchers;
  // Devices by number, and by physical name in lower case.
  std::unordered_map<std::string, int> deviceByNumber;
  std::unordered_map<std::string, int> deviceByName;
  std::int32_t nextCallID = 1;
  std::uint32_t nextSession = 1;
  std::uint64_t nextAlertSeq = 1;
  std::uint64_t eventsSent = 0;
  bool down = false;
  unsigned confirmDelayMs = 0;
  // Control commands waiting for a number of requests ("after"): run once
  // requestsHandled reaches the first of the pair.
  std::uint64_t requestsHandled = 0;
  std::vector<std::pair<std::uint64_t, std::string>> afterRequests;
  // Lines waiting on the clock ("at"), counted by their timers' lifetimes.
  std::size_t timedCount = 0, timedBytes = 0;
  std::uint64_t deferredFailures = 0;  // put-off commands that were refused

  // ---- clock and timers
  bool manualClock;
  double speed;
  std::uint64_t manualNow = 0;
  std::uint64_t realStart = 0;
  std::uint64_t simOffset = 0;  // simulated time when realStart was taken
  std::multimap<std::pair<std::uint64_t, std::uint64_t>, std::function<void()>> timers;
  std::uint64_t timerSeq = 0;
  std::thread clockThread;
  std::condition_variable clockCv;
  bool stopping = false;
  std::condition_variable waitCv;  // "wait" on the real clock; stopWaits
  bool waitsStopped = false;

  std::uint64_t nowLocked();
  void schedule(std::uint64_t delayMs, std::function<void()> fn);
  void fireDue();  // runs the timers that are due
  void clockLoop();
  void stopClock(std::unique_lock<std::mutex>& lk);
  // Manual clock: moves time on, firing timers at their own times. Real
  // clock: lets that much simulated time pass (the lock is let go meanwhile).
  void advance(std::uint64_t ms, std::unique_lock<std::mutex>& lk);
  void resetState();

  // ---- sessions and delivery (switch.cpp)
  void send(Session& s, const wire::Event& e);
  void confirm(Session& s, wire::Event e, InvokeID_t invokeID);
  void fail(Session& s, InvokeID_t invokeID, CSTAUniversalFailure_t error);
  void dropSession(std::uint32_t id);
  // The only ways a stream's monitors change.
  void addMonitor(Session& s, const Monitor& m);
  bool removeMonitor(Session& s, CSTAMonitorCrossRefID_t xref);
  void clearMonitors(Session& s);
  void handleRequest(Session& s, const wire::Request& r);
  void handleEscape(Session& s, const wire::Request& r);
  // Sends an unsolicited event to every monitor in scope whose filter lets
  // it through, each with its cross-reference ID and its local state.
  void emit(wire::Event e, const Scope& scope);
  // Flow control (see telsim.h): a control frame, not an event.
  void sendFlowNotice(Session& s, int code, unsigned count);

  // ---- private messages (private_ops.cpp) and voice services (voice.cpp)
  std::vector<VoiceOp> voiceOps;
  std::uint64_t nextVoiceOp = 1;
  std::string voiceFolder;  // where bare file names are, as configured
  PrivateState pvt;
  void resetPrivate();
  // Sends a report to every open stream that asked for private status.
  void reportToAll(const TelvanixPrivateMessage& m, std::int32_t callID);
  // broadcast NAME TEXT [CALL] (private_ops.cpp).
  std::string broadcast(const std::vector<std::string>& w, bool& ok);
  // The reply to an escape-service request: ESCAPE_SVC_CONF carrying `m`.
  void replyPrivate(Session& s, InvokeID_t invokeID, const TelvanixPrivateMessage& m);
  // A PRIVATE_STATUS report to one stream, when it asked for private status.
  void reportPrivate(Session& s, const TelvanixPrivateMessage& m, std::int32_t callID);
  // Voice: the request's message is in `m`; it is answered from here.
  void startVoice(Session& s, InvokeID_t invokeID, TelvanixPrivateMessage& m);
  void stopVoice(Session& s, InvokeID_t invokeID, TelvanixPrivateMessage& m);
  void finishVoice(std::uint64_t id);  // ends an operation now, if it still runs
  void endVoiceOnCall(std::int32_t callID);
  void voiceHeardDigits(std::int32_t callID);  // ends the till-digit ones
  void moveVoice(std::int32_t from, std::int32_t to);
  void resetVoice();
  // A till-digit operation of this stream runs on the call: its digits count.
  bool voiceListens(std::uint32_t session, std::int32_t callID) const;
  std::string voicePath(const std::string& serverName);
  std::string voiceFolderPath();
  void recordTick(std::uint64_t id);
  bool catchUpRecording(VoiceOp& op);

  // ---- devices and calls (calls.cpp)
  int findDevice(const std::string& text) const;
  bool isOutside(const std::string& text) const;
  // The device is on a call (dialling, talking or ringing), `except` aside.
  bool busy(int dev, std::int32_t except = 0) const;
  size_t callsOf(int dev) const;
  int freeTrunk() const;
  Call* findCall(std::int32_t id);
  Party* partyOf(Call& c, int dev);
  Scope scopeOf(const Call& c, const Party* subject);
  // The call made by a device (a client's make call or a phone dialling).
  // Returns 0 and the failure in *error when it cannot be made; `before`
  // runs once the call exists, before its first event (the confirmation).
  std::int32_t makeCall(int dev, const std::string& called, CSTAUniversalFailure_t* error,
                        const std::function<void(const Call&)>& before);
  std::int32_t dialIn(int trunk, const std::string& number, const std::string& name,
                      const std::string& dest);
  void offer(std::int32_t callID, const std::string& dest, CSTAEventCause_t cause,
             const std::string& redirectFrom, int depth);
  void failParty(Call& c, int dev, const std::string& name, CSTAEventCause_t cause);
  // The party `from` (ringing, or about to) hands the call on to `to`.
  void divert(Call& c, int dev, std::string from, std::string to, CSTAEventCause_t cause,
              int depth);
  void startRinging(Call& c, Party& p);
  // The party still ringing from the alert numbered `seq`, wherever the call went.
  Party* ringing(std::uint64_t seq, Call** call);
  void answer(Call& c, Party& p);
  void hold(Call& c, Party& p);
  void retrieve(Call& c, Party& p);
  void clearConnection(Call& c, size_t partyIndex);
  // `alsoDev`: a device that just left the call and still hears of its end.
  void clearCall(std::int32_t callID, CSTAEventCause_t cause, int alsoDev = -1);
  // Held call h and active call a of one device: both end in h.
  void transfer(Call& h, Call& a, int dev);
  void conference(Call& h, Call& a, int dev);
  void pressDigits(Call& c, Party& p, const std::string& digits);
  // A call that disappears into another (transfer, conference): its
  // monitors, and the devices in `devs` that were on it, see it cleared.
  void vanishCall(std::int32_t callID, const std::vector<int>& devs, CSTAEventCause_t cause);
  void endCallMonitors(std::int32_t callID);
  void setDnd(int dev, bool on);
  void setMwi(int dev, bool on);
  void setForward(int dev, int type, bool on, const std::string& dest);
  void connectionList(const Call& c, std::vector<CSTAConnection_t>& out) const;

  // ---- control interface (control.cpp)
  std::string control(const std::string& line, bool& ok, std::unique_lock<std::mutex>& lk);
  std::string describeCalls();
  std::string describeDevices();
  std::string describeSessions();
  // A command put off by "at" or "after"; what it says goes nowhere.
  void runDeferred(const std::string& line);
  void runAfterRequests();
};

ExtendedDeviceID_t extDev(const std::string& s, DeviceIDType_t type = DEVICE_IDENTIFIER);
// A private message as an event's private data: the whole 334-byte record.
void setPrivateMessage(wire::Private& p, const TelvanixPrivateMessage& m);
// The party a private message's connection names (by number, physical name
// or its name on the call), or null with the failure to report.
Party* privateParty(Switch::Impl& sw, const TelvanixPrivateMessage& m, Call** call,
                    CSTAUniversalFailure_t* err);

// ---- control commands: tables of {name, handler} rows ----------------------------

// One command line being run, with the switch's lock held.
struct ControlCall {
  Switch::Impl& sw;
  const std::string& line;
  const std::vector<std::string>& w;  // its words; w[0] the command as typed
  std::string cmd;                    // w[0] in lower case
  std::unique_lock<std::mutex>& lk;   // not owned for a put-off command
  bool ok = false;                    // the handler sets it when the command is done
  std::string usage(const char* u) const;  // "? usage: u"
};

// A handler returns what the command has to say.
typedef std::string (*ControlHandler)(ControlCall& c);
struct ControlCommand {
  const char* name;  // lower case
  ControlHandler run;
  const char* help;  // its line of the help text; null for a second name
};
struct ControlTable {
  const ControlCommand* rows;
  std::size_t count;
};
// The switch's own commands (control.cpp), which lists every table, and the
// private-message commands (private_ops.cpp).
extern const ControlTable kSwitchCommands;
extern const ControlTable kPrivateCommands;

}  // namespace telsim
