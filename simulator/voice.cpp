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
// an hour), writing as it goes; a write that fails ends it (5 with the bytes
// really written, 6 with the cause EC_RESOURCES_NOT_AVAILABLE).
//
// File names stay inside what the switch serves: bare or relative names are
// in the voice folder of the configuration (made, with the folders above it,
// on first use); "\\dosdevices\\C:\\...", "C:\\..." and "\\..." (drive C)
// are on a drive whose folder exists; a local full name ("/...") must lie in
// one of those. A name that climbs out with "..", or names anything else, is
// OBJECT_NOT_KNOWN, and so is a play of anything but a regular file and a
// record over one. Nothing of a played file is read: its size is its length.
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
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/fileops.h"
#include "platform/platform.h"

namespace telsim {

namespace {

const std::uint64_t kBytesPerSecond = 8000;
const std::uint64_t kMaxRecordBytes = kBytesPerSecond * 3600;  // what one recording may grow to
const std::uint8_t kSilence = 0xFF;                             // mu-law

std::uint64_t msFor(std::uint64_t bytes) { return (bytes * 1000 + kBytesPerSecond - 1) / kBytesPerSecond; }

const char kDosDevices[] = "\\dosdevices\\";
const std::uint64_t kRecordTickMs = 1000;  // a recording writes what it has this often

bool startsWithNoCase(const std::string& s, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  if (s.size() < n) return false;
  for (std::size_t i = 0; i < n; ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

// The folders and file a name goes through, "." dropped and ".." taken
// back. False when ".." would climb above the start, or a part could mean
// something else to a file system: a drive or stream (':'), or only dots
// and blanks, which Windows trims to "." or "..".
bool nameParts(const std::string& rest, std::vector<std::string>* parts) {
  std::string part;
  for (std::size_t i = 0; i <= rest.size(); ++i) {
    if (i < rest.size() && rest[i] != '\\' && rest[i] != '/') {
      part += rest[i];
      continue;
    }
    if (part == "..") {
      if (parts->empty()) return false;
      parts->pop_back();
    } else if (!part.empty() && part != ".") {
      if (part.find(':') != std::string::npos) return false;
      if (part.find_first_not_of(". ") == std::string::npos) return false;
      parts->push_back(part);
    }
    part.clear();
  }
  return true;
}

std::string joined(const std::vector<std::string>& parts, const char* separator) {
  std::string s;
  for (const std::string& p : parts) s += (s.empty() ? "" : separator) + p;
  return s;
}

std::string mapped(const std::string& serverName) {
  char out[1024];
  return plat_map_path(serverName.c_str(), out, sizeof out) ? out : "";
}

bool isFolder(const std::string& path) {
  plat_file_info info;
  return !path.empty() && plat_file_info_of(path.c_str(), &info) && info.directory;
}

// A drive letter is served when its folder exists.
std::string driveFolder(char letter) {
  const std::string root = mapped(std::string(1, letter) + ":\\");
  return isFolder(root) ? root : "";
}

// Whether local full name `parts` lies inside the folder `root` (a local
// full name too).
bool inside(const std::vector<std::string>& parts, const std::string& root) {
  if (root.empty() || (root[0] != '/' && root[0] != '\\')) return false;
  std::vector<std::string> base;
  if (!nameParts(root, &base) || base.size() > parts.size()) return false;
  return std::equal(base.begin(), base.end(), parts.begin());
}

// Makes a folder and any missing folders above it.
bool makeFolders(const std::string& path) {
  std::string sofar;
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || ((path[i] == '/' || path[i] == '\\') && i > 0)) {
      sofar = path.substr(0, i);
      if (!sofar.empty() && sofar.back() != ':' && !isFolder(sofar) && !plat_make_dir(sofar.c_str())) return false;
    }
  }
  return isFolder(path);
}

// What lies at a file name that exists: the kind matters, a device or a
// pipe can be read for ever or block at its opening.
bool isRegularFile(const std::string& path, bool* exists) {
  plat_file_info info;
  *exists = plat_file_info_of(path.c_str(), &info);
  return *exists && info.regular;
}

// The first `max` bytes of a regular file, read in pieces.
bool readStart(const std::string& path, std::uint64_t max, std::vector<std::uint8_t>* keep) {
  plat_handle h = plat_open(path.c_str(), PLAT_OPEN_READ);
  if (h == PLAT_INVALID_HANDLE) return false;
  std::uint8_t buf[65536];
  while (keep->size() < max) {
    const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, max - keep->size()));
    const long n = plat_read(h, buf, want);
    if (n <= 0) break;
    keep->insert(keep->end(), buf, buf + n);
  }
  plat_close(h);
  return true;
}

// Appends `bytes` of silence; returns how many really went in.
std::uint64_t writeSilence(const std::string& path, std::uint64_t bytes) {
  if (bytes == 0) return 0;
  plat_handle h = plat_open(path.c_str(), PLAT_OPEN_APPEND);
  if (h == PLAT_INVALID_HANDLE) return 0;
  std::uint8_t buf[8192];
  std::memset(buf, kSilence, sizeof buf);
  std::uint64_t done = 0;
  while (done < bytes) {
    const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof buf, bytes - done));
    const long wrote = plat_write(h, buf, n);
    if (wrote > 0) done += static_cast<std::uint64_t>(wrote);
    if (wrote != static_cast<long>(n)) break;
  }
  if (!plat_close(h)) return 0;
  return done;
}

}  // namespace

// The voice folder as a local name, made when it is not there yet.
std::string Switch::Impl::voiceFolderPath() {
  const std::string folder = mapped(voiceFolder);
  if (folder.empty() || isFolder(folder)) return folder;
  if (!makeFolders(folder)) {
    std::fprintf(stderr, "telsim: cannot make the voice folder %s\n", folder.c_str());
    return "";
  }
  std::fprintf(stderr, "telsim: made the voice folder %s\n", folder.c_str());
  return folder;
}

// The drive letter of a server name in full form ("\\..." is on C), or 0.
static char driveOf(const std::string& name) {
  std::string rest = name;
  if (startsWithNoCase(rest, kDosDevices)) rest.erase(0, sizeof kDosDevices - 1);
  if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0])))
    return static_cast<char>(std::toupper(static_cast<unsigned char>(rest[0])));
  return !rest.empty() && rest[0] == '\\' ? 'C' : 0;
}

// The local file a server file name stands for; empty when the switch does
// not serve it. The voice folder is made when a name needs it.
std::string Switch::Impl::voicePath(const std::string& name) {
  std::string rest = name;
  if (startsWithNoCase(rest, kDosDevices)) rest.erase(0, sizeof kDosDevices - 1);
  if (rest.empty()) return "";
  std::vector<std::string> parts;
  if (const char drive = driveOf(rest)) {
    if (!nameParts(rest.substr(rest[0] == '\\' ? 0 : 2), &parts) || parts.empty()) return "";
    if (driveFolder(drive).empty() && (drive != driveOf(voiceFolder) || voiceFolderPath().empty())) return "";
    return mapped(std::string(1, drive) + ":\\" + joined(parts, "\\"));
  }
  if (rest[0] == '/') {
    if (!nameParts(rest, &parts) || parts.empty()) return "";
    bool served = inside(parts, mapped(voiceFolder)) && !voiceFolderPath().empty();
    for (char d = 'A'; d <= 'Z' && !served; ++d) served = inside(parts, driveFolder(d));
    return served ? "/" + joined(parts, "/") : "";
  }
  if (!nameParts(rest, &parts) || parts.empty() || voiceFolderPath().empty()) return "";
  return mapped(voiceFolder + "\\" + joined(parts, "\\"));
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
  bool exists = false;
  const bool regular = isRegularFile(op.path, &exists);
  if (record) {
    if (exists && !regular) return fail(s, inv, OBJECT_NOT_KNOWN);
    std::vector<std::uint8_t> before;
    if (position > 0 && exists) readStart(op.path, std::min(position, kMaxRecordBytes), &before);
    plat_handle h = plat_open(op.path.c_str(), PLAT_OPEN_WRITE_NEW);
    if (h == PLAT_INVALID_HANDLE) return fail(s, inv, OBJECT_NOT_KNOWN);
    const bool written = before.empty() || plat_write(h, before.data(), before.size()) == static_cast<long>(before.size());
    if (!plat_close(h) || !written) return fail(s, inv, OBJECT_NOT_KNOWN);
    op.base = before.size();
    op.limit = count == 0 || count == 0xFFFFFFFFu ? kMaxRecordBytes : std::min(count, kMaxRecordBytes);
  } else {
    const long long size = regular ? plat_file_size(op.path.c_str()) : -1;
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
  if (record && ms > kRecordTickMs) schedule(kRecordTickMs, [this, id] { recordTick(id); });
}

// A recording writes what it has heard so far, so a full disk ends it
// when it happens.
void Switch::Impl::recordTick(std::uint64_t id) {
  auto it = std::find_if(voiceOps.begin(), voiceOps.end(), [id](const VoiceOp& op) { return op.id == id; });
  if (it == voiceOps.end()) return;
  if (!catchUpRecording(*it)) return finishVoice(id);
  schedule(kRecordTickMs, [this, id] { recordTick(id); });
}

// Writes the bytes a recording owes its file; false when they did not all
// go in (the recording has then failed).
bool Switch::Impl::catchUpRecording(VoiceOp& op) {
  if (op.failed) return false;
  const std::uint64_t due = std::min(op.limit, (nowLocked() - op.started) * kBytesPerSecond / 1000);
  if (due <= op.written) return true;
  if (writeSilence(op.path, due - op.written) == due - op.written) {
    op.written = due;
  } else {
    // A write that fails part way says nothing of its part: the file does.
    const long long size = plat_file_size(op.path.c_str());
    const std::uint64_t now = size > 0 ? static_cast<std::uint64_t>(size) : 0;
    op.written = now > op.base ? std::min(now - op.base, due) : 0;
    op.failed = true;
    std::fprintf(stderr, "telsim: recording into %s failed after %llu bytes\n", op.path.c_str(),
                 static_cast<unsigned long long>(op.written));
  }
  return !op.failed;
}

void Switch::Impl::finishVoice(std::uint64_t id) {
  auto it = std::find_if(voiceOps.begin(), voiceOps.end(), [id](const VoiceOp& op) { return op.id == id; });
  if (it == voiceOps.end()) return;
  if (it->record) catchUpRecording(*it);
  const VoiceOp op = *it;
  voiceOps.erase(it);
  const std::uint64_t elapsed = nowLocked() - op.started;
  const std::uint64_t done = op.record ? op.written : std::min(op.limit, elapsed * kBytesPerSecond / 1000);

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
    v.cause = op.failed ? EC_RESOURCES_NOT_AVAILABLE : EC_NONE;
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
