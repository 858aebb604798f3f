// Voice services of the switch: play and record of files on a call, at 8000
// bytes a second of the switch's clock. Clients (probix32, the voice library)
// rely on this order of events:
//
// Play (kqPvtPlay, kqPvtPlayTillDTMF) and record (kqPvtRecord,
// kqPvtRecordTillDTMF) of a connection (call and device, the device by
// number, physical name or its name on the call, talking on the call):
//   1. ESCAPE_SVC_CONF to the requester, its record as sent; or a universal
//      failure and nothing else: INVALID_CSTA_CALL_IDENTIFIER and the like
//      for a bad connection, INVALID_OBJECT_STATE when the device is not
//      talking, RESOURCE_BUSY when the connection already plays (records),
//      OBJECT_NOT_KNOWN when the file cannot be read (created).
//   2. ESTABLISHED to the monitors of the call: a party named "Playing"
//      ("Recording") joins, as the answering device; snapshots list it.
//   3. PRIVATE_STATUS kqPvtPlayStarted (kqPvtRecordStarted) to the requester.
//   4. Only for an end by a digit pressed on the call (the till-DTMF types):
//      kqPvtDigitsSeen to every stream that listens on the call, the
//      requester included.
//   5. PRIVATE_STATUS kqPvtPlayEnded (kqPvtRecordEnded) to the requester.
//   6. CONNECTION_CLEARED to the monitors of the call, the releasing device
//      being "Playing" ("Recording"). The call itself goes on.
// Reports (3 to 5) carry the request's connection and file record: the
// requester's file.invokeID, fileName and count as sent; file.position is 0
// in the started report and the bytes played (recorded) in the ended one.
// PRIVATE_STATUS reports reach a stream only after it sent
// kqPvtStartPrivateStatus.
//
// A play runs from file.position for file.count bytes (0: to the end of the
// file); a record writes from file.position (what the file held before that
// point stays) for file.count bytes (0 or 0xFFFFFFFF: until stopped, at most
// an hour). File names: bare or relative names are in the voice folder of the
// configuration; "\\dosdevices\\C:\\..." and other full server names go
// through plat_map_path.
//
// An operation ends (5, 6) when its bytes are done, at its stop request, on
// a digit (till-DTMF types), or when its call is cleared: then 5 and 6 come
// before the call's CALL_CLEARED. Stops (kqPvtPlayStop, kqPvtRecordStop) are
// answered first (ESCAPE_SVC_CONF, its record as sent, even when nothing
// runs), then 5 and 6. A stop matches by connection: the operations of its
// kind on its call and device; when none is of that device, all of its kind
// on the call (a stop sent for the party that pressed a digit still ends the
// play). Any stream may stop an operation; its reports still go to the
// requester.
//
// DTMF: kqPvtGetDigits arms the stream's detector on the call,
// kqPvtStopGetDigits releases it; digits pressed on the call (control
// "dtmf", or kqPvtPlayDigits from another party) come as kqPvtDigitsSeen.
#include "simulator/internal.h"
#include "simulator/text.h"

#include <algorithm>
#include <cstring>

#include "platform/platform.h"

namespace telsim {

namespace {

const std::uint64_t kBytesPerSecond = 8000;
const std::uint64_t kMaxRecordBytes = kBytesPerSecond * 3600;  // what one recording may grow to
const std::uint8_t kSilence = 0xFF;                             // mu-law

std::uint64_t msFor(std::uint64_t bytes) { return (bytes * 1000 + kBytesPerSecond - 1) / kBytesPerSecond; }

bool isFullServerName(const std::string& name) {
  if (name.empty()) return false;
  if (name[0] == '\\' || name[0] == '/') return true;
  return name.size() >= 2 && name[1] == ':';
}

// Reads up to `max` bytes of a file; -1 when it cannot be opened.
long long readFile(const std::string& path, std::uint64_t max, std::vector<std::uint8_t>* keep) {
  plat_handle h = plat_open(path.c_str(), PLAT_OPEN_READ);
  if (h == PLAT_INVALID_HANDLE) return -1;
  std::uint64_t total = 0;
  std::uint8_t buf[65536];
  while (total < max) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, max - total));
    long n = plat_read(h, buf, want);
    if (n <= 0) break;
    if (keep) keep->insert(keep->end(), buf, buf + n);
    total += static_cast<std::uint64_t>(n);
  }
  plat_close(h);
  return static_cast<long long>(total);
}

bool writeSilence(plat_handle h, std::uint64_t bytes) {
  std::uint8_t buf[8192];
  std::memset(buf, kSilence, sizeof buf);
  while (bytes > 0) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, bytes));
    if (plat_write(h, buf, n) != static_cast<long>(n)) return false;
    bytes -= n;
  }
  return true;
}

}  // namespace

// The local file a server file name stands for; empty when it has none.
std::string Switch::Impl::voicePath(const std::string& name) {
  if (name.empty()) return "";
  std::string server = name;
  if (!isFullServerName(name)) {
    server = voiceFolder;
    if (!server.empty() && server.back() != '\\' && server.back() != '/') server += '\\';
    server += name;
  }
  char out[1024];
  if (!plat_map_path(server.c_str(), out, sizeof out)) return "";
  return out;
}

void Switch::Impl::resetVoice() {
  voiceOps.clear();
  nextVoiceOp = 1;
  voiceFolder = cfg.voiceFolder;
  resetPrivate();
}

bool Switch::Impl::voiceListens(std::uint32_t session, std::int32_t callID) const {
  for (const VoiceOp& op : voiceOps)
    if (op.session == session && op.callID == callID && op.tillDigit) return true;
  return false;
}

void Switch::Impl::startVoice(Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const int type = m.header.msgType;
  const bool record = type == kqPvtRecord || type == kqPvtRecordTillDTMF;
  Call* c = nullptr;
  CSTAUniversalFailure_t err = GENERIC_OPERATION;
  Party* p = privateParty(*this, m, &c, &err);
  if (!p) return fail(s, inv, err);
  if (p->state != CS_CONNECT || p->voiceOp != 0) return fail(s, inv, INVALID_OBJECT_STATE);
  for (const VoiceOp& op : voiceOps)
    if (op.callID == c->id && op.record == record && sameText(op.device, p->name))
      return fail(s, inv, RESOURCE_BUSY);

  VoiceOp op;
  op.record = record;
  op.tillDigit = type == kqPvtPlayTillDTMF || type == kqPvtRecordTillDTMF;
  op.session = s.id;
  op.callID = c->id;
  op.device = p->name;
  op.file = m.file;
  op.path = voicePath(getPrivateText(m.file.fileName));
  if (op.path.empty()) return fail(s, inv, OBJECT_NOT_KNOWN);
  const std::uint64_t position = m.file.position;
  const std::uint64_t count = m.file.count;
  if (record) {
    std::vector<std::uint8_t> before;
    if (position > 0) readFile(op.path, std::min(position, kMaxRecordBytes), &before);
    plat_handle h = plat_open(op.path.c_str(), PLAT_OPEN_WRITE_NEW);
    if (h == PLAT_INVALID_HANDLE) return fail(s, inv, OBJECT_NOT_KNOWN);
    const bool written = before.empty() || plat_write(h, before.data(), before.size()) == static_cast<long>(before.size());
    plat_close(h);
    if (!written) return fail(s, inv, OBJECT_NOT_KNOWN);
    op.limit = count == 0 || count == 0xFFFFFFFFu ? kMaxRecordBytes : std::min(count, kMaxRecordBytes);
  } else {
    const long long size = readFile(op.path, ~0ULL, nullptr);
    if (size < 0) return fail(s, inv, OBJECT_NOT_KNOWN);
    const std::uint64_t left = static_cast<std::uint64_t>(size) > position ? static_cast<std::uint64_t>(size) - position : 0;
    op.limit = count == 0 ? left : std::min(left, count);
  }
  ++(record ? pvt.recordRequests : pvt.playRequests);
  op.id = nextVoiceOp++;
  op.started = nowLocked();
  replyPrivate(s, inv, m);

  Party v;
  v.name = record ? "Recording" : "Playing";
  v.state = CS_CONNECT;
  v.cause = EC_NEW_CALL;
  v.voiceOp = op.id;
  c->parties.push_back(v);
  wire::Event e = wire::cstaUnsolicited(CSTA_ESTABLISHED, 0);
  CSTAEstablishedEvent_t& est = e.ev.event.cstaUnsolicited.u.established;
  est.establishedConnection = wire::connection(c->id, v.name.c_str());
  est.answeringDevice = extDev(v.name);
  est.callingDevice = extDev(c->calling, c->callingType);
  est.calledDevice = extDev(c->called);
  est.lastRedirectionDevice = extDev(c->lastRedirection);
  est.cause = EC_NEW_CALL;
  emit(e, scopeOf(*c, &c->parties.back()));

  TelvanixPrivateMessage started;
  buildPrivateMessage(&started, record ? kqPvtRecordStarted : kqPvtPlayStarted, op.callID, op.device.c_str());
  started.file = op.file;
  started.file.position = 0;
  reportPrivate(s, started, op.callID);

  const std::uint64_t id = op.id;
  const std::uint64_t ms = msFor(op.limit);
  voiceOps.push_back(op);
  schedule(ms, [this, id] { finishVoice(id); });
}

void Switch::Impl::finishVoice(std::uint64_t id) {
  auto it = std::find_if(voiceOps.begin(), voiceOps.end(), [id](const VoiceOp& op) { return op.id == id; });
  if (it == voiceOps.end()) return;
  const VoiceOp op = *it;
  voiceOps.erase(it);
  const std::uint64_t elapsed = nowLocked() - op.started;
  const std::uint64_t done = std::min(op.limit, elapsed * kBytesPerSecond / 1000);
  if (op.record) {
    plat_handle h = plat_open(op.path.c_str(), PLAT_OPEN_APPEND);
    if (h != PLAT_INVALID_HANDLE) {
      writeSilence(h, done);
      plat_close(h);
    }
  }

  TelvanixPrivateMessage ended;
  buildPrivateMessage(&ended, op.record ? kqPvtRecordEnded : kqPvtPlayEnded, op.callID, op.device.c_str());
  ended.file = op.file;
  ended.file.position = static_cast<std::uint32_t>(done);
  auto sit = sessions.find(op.session);
  if (sit != sessions.end()) reportPrivate(sit->second, ended, op.callID);

  Call* c = findCall(op.callID);
  if (!c) return;
  for (size_t i = 0; i < c->parties.size(); ++i) {
    if (c->parties[i].voiceOp != id) continue;
    const std::string name = c->parties[i].name;
    Scope sc = scopeOf(*c, nullptr);
    c->parties.erase(c->parties.begin() + static_cast<std::ptrdiff_t>(i));
    sc.subjectState = CS_NULL;
    wire::Event e = wire::cstaUnsolicited(CSTA_CONNECTION_CLEARED, 0);
    CSTAConnectionClearedEvent_t& v = e.ev.event.cstaUnsolicited.u.connectionCleared;
    v.droppedConnection = wire::connection(op.callID, name.c_str());
    v.releasingDevice = extDev(name);
    v.cause = EC_NONE;
    emit(e, sc);
    return;
  }
}

void Switch::Impl::stopVoice(Session& s, InvokeID_t inv, TelvanixPrivateMessage& m) {
  const bool record = m.header.msgType == kqPvtRecordStop;
  const std::int32_t callID = m.header.connection.callID;
  const std::string dev = getPrivateText(m.header.connection.deviceID);
  const int d = findDevice(dev);
  Call* c = findCall(callID);
  replyPrivate(s, inv, m);
  auto sameDevice = [&](const VoiceOp& op) {
    if (sameText(op.device, dev)) return true;
    Party* p = c ? partyOf(*c, d) : nullptr;
    return p && sameText(p->name, op.device);
  };
  std::vector<std::uint64_t> mine, onCall;
  for (const VoiceOp& op : voiceOps) {
    if (op.callID != callID || op.record != record) continue;
    onCall.push_back(op.id);
    if (sameDevice(op)) mine.push_back(op.id);
  }
  for (std::uint64_t id : mine.empty() ? onCall : mine) finishVoice(id);
}

void Switch::Impl::endVoiceOnCall(std::int32_t callID) {
  std::vector<std::uint64_t> ids;
  for (const VoiceOp& op : voiceOps)
    if (op.callID == callID) ids.push_back(op.id);
  for (std::uint64_t id : ids) finishVoice(id);
}

void Switch::Impl::voiceHeardDigits(std::int32_t callID) {
  std::vector<std::uint64_t> ids;
  for (const VoiceOp& op : voiceOps)
    if (op.callID == callID && op.tillDigit) ids.push_back(op.id);
  for (std::uint64_t id : ids) finishVoice(id);
}

void Switch::Impl::moveVoice(std::int32_t from, std::int32_t to) {
  for (VoiceOp& op : voiceOps)
    if (op.callID == from) op.callID = to;
}

}  // namespace telsim
