#include "calllog/callinfo.h"

#include <cstring>
#include <ctime>
#include <set>

#include "shell/shell.h"

std::unordered_map<long, CallInfo> activeCalls;

CallTime CallInfo::lastSnapshotTime = 0;
char CallInfo::outputCRenabled = 0;
char CallInfo::reportUnansweredCalls = 1;
PBXtype CallInfo::currentPBXformat = PBXtypeMitelSX2000;
std::string CallInfo::localAreaCode = "999";
plat_handle CallInfo::callLogFile = PLAT_INVALID_HANDLE;

namespace {

const char kUnknown[] = "?Unknown?";
const char kNone[] = "NONE";
const CallTime kSnapshotSpacing = 5;  // seconds between snapshot requests
const CallTime kInactiveSeconds = 600;

CallTime realClock() { return static_cast<CallTime>(std::time(nullptr)); }

CallInfo::Clock clockNow = realClock;
CallInfo::RecordWriter recordWriter = nullptr;

// A snapshot poll acts on the first call, in call-ID order, that is not
// yet snapshotted in this round or was snapshotted and has been unseen too
// long. Two indexes find it without walking every call: the
// calls not yet snapshotted by call ID, and the snapshotted ones by the
// time they were last seen.
std::set<long> unsnapped;
std::set<std::pair<CallTime, long>> snappedBySeen;

bool present(const char* text) { return text && text[0]; }

bool allDigits(const std::string& text) {
  for (char c : text)
    if (c < '0' || c > '9') return false;
  return true;
}

bool allDigits(const char* text) {
  for (; *text; ++text)
    if (*text < '0' || *text > '9') return false;
  return true;
}

}  // namespace

CallInfo::CallInfo(long id)
    : snapshotInitiated(0),
      lastSeen(0),
      lastHeld(0),
      totalTimeHeld(0),
      category("U"),
      callID(id),
      creationTime(now()),
      ringingTime(creationTime),
      answeringTime(0),
      hangupTime(0),
      callType(callTypeUnknown),
      callerSet(0),
      callerNumber(kUnknown),
      toSet(0),
      toNumber(kUnknown),
      trunkName("L1#1"),
      dialedSet(0),
      dialedNumber(kUnknown),
      answerNumber(kNone),
      xferInfo(kNone) {
  lastSeen = creationTime;
}

// ---- the world ----------------------------------------------------------------------

CallInfo::Clock CallInfo::setClock(Clock clock) {
  Clock previous = clockNow;
  clockNow = clock ? clock : realClock;
  return previous;
}

CallTime CallInfo::now() { return clockNow(); }

CallInfo::RecordWriter CallInfo::setRecordWriter(RecordWriter writer) {
  RecordWriter previous = recordWriter;
  recordWriter = writer;
  return previous;
}

void CallInfo::reset() {
  activeCalls.clear();
  unsnapped.clear();
  snappedBySeen.clear();
  lastSnapshotTime = 0;
  outputCRenabled = 0;
  reportUnansweredCalls = 1;
  currentPBXformat = PBXtypeMitelSX2000;
  localAreaCode = "999";
  systemID = "001";
  callLogFile = PLAT_INVALID_HANDLE;
}

plat_handle CallInfo::setOutputFile(plat_handle handle) {
  plat_handle previous = callLogFile;
  callLogFile = handle;
  return previous;
}

bool CallInfo::setOutputCR(bool on) {
  bool previous = outputCRenabled != 0;
  outputCRenabled = on ? 1 : 0;
  return previous;
}

PBXtype CallInfo::setSMDRformat(PBXtype type) {
  PBXtype previous = currentPBXformat;
  currentPBXformat = type;
  return previous;
}

// ---- the set ----------------------------------------------------------------------

CallInfo* CallInfo::find(long callID) {
  auto found = activeCalls.find(callID);
  return found == activeCalls.end() ? nullptr : &found->second;
}

CallInfo* CallInfo::findOrCreate(long callID, bool* wasPresent) {
  auto found = activeCalls.find(callID);
  *wasPresent = found != activeCalls.end();
  if (*wasPresent) return &found->second;
  return add(callID);
}

CallInfo* CallInfo::add(long callID) {
  auto made = activeCalls.emplace(callID, CallInfo(callID));
  if (!made.second) return nullptr;
  unsnapped.insert(callID);
  return &made.first->second;
}

void CallInfo::forget(CallInfo& call) {
  const long id = call.callID;
  unsnapped.erase(id);
  if (call.snapshotInitiated) snappedBySeen.erase({call.lastSeen, id});
  activeCalls.erase(id);
}

void CallInfo::seen(CallInfo& call, CallTime when) {
  if (call.snapshotInitiated) {
    snappedBySeen.erase({call.lastSeen, call.callID});
    snappedBySeen.insert({when, call.callID});
  }
  call.lastSeen = when;
}

void CallInfo::writeAndForget(CallInfo& call) {
  if (callLogFile != PLAT_INVALID_HANDLE && recordWriter) recordWriter(call);
  forget(call);
}

// ---- parties ------------------------------------------------------------------------

void CallInfo::setCallerNumber(const char* number) {
  if (!present(number)) return;
  if (!allDigits(callerNumber)) callerSet = 0;
  if (callerSet) return;
  callerSet = 1;
  callerNumber = number;
}

void CallInfo::setToNumber(const char* number) {
  if (!present(number)) return;
  if (!allDigits(toNumber)) toSet = 0;
  if (toSet) return;
  if (callerNumber == number) return;
  toSet = 1;
  toNumber = number;
}

void CallInfo::setDialed(const char* number) {
  if (!present(number)) return;
  if (!allDigits(dialedNumber)) dialedSet = 0;
  if (dialedSet) return;
  dialedSet = 1;
  dialedNumber = number;
}

void CallInfo::setAnswerNumber(const char* number) {
  if (!present(number)) return;
  if (allDigits(number))
    answerNumber = number;
  else if (allDigits(toNumber))
    answerNumber = toNumber;
  if (answerNumber == callerNumber) answerNumber = kNone;
}

// ---- events -----------------------------------------------------------------------

bool CallInfo::initiated(long callID, const char* numberCalling) {
  bool wasPresent = false;
  CallInfo* call = findOrCreate(callID, &wasPresent);
  if (!call) return false;
  call->setCallerNumber(numberCalling);
  seen(*call, now());
  return wasPresent;
}

bool CallInfo::originated(long callID, const char* numberCalling, const char* numberDialed) {
  bool wasPresent = false;
  CallInfo* call = findOrCreate(callID, &wasPresent);
  if (!call) return false;
  call->ringingTime = now();
  call->setCallerNumber(numberCalling);
  call->setToNumber(numberDialed);
  call->setDialed(numberDialed);
  seen(*call, call->ringingTime);
  return wasPresent;
}

bool CallInfo::alerting(long callID, const char* numberCalling, const char* numberCalled,
                        const char* numberAlerting) {
  bool wasPresent = false;
  CallInfo* call = findOrCreate(callID, &wasPresent);
  if (!call) return false;
  call->ringingTime = now();
  call->setCallerNumber(numberCalling);
  call->setToNumber(numberAlerting);
  call->setDialed(numberCalled);
  seen(*call, call->ringingTime);
  return wasPresent;
}

bool CallInfo::answered(long callID, const char* numberCalling, const char* numberCalled,
                        const char* numberAnswering) {
  // A play or a recording picking up a call nobody follows starts no record.
  if (!find(callID) && numberAnswering &&
      (compare_name(numberAnswering, "PLAYING", 7) == 0 ||
       compare_name(numberAnswering, "RECORDING", 9) == 0))
    return false;
  bool wasPresent = false;
  CallInfo* call = findOrCreate(callID, &wasPresent);
  if (!call) return false;
  const CallTime t = now();
  // A call that rang again after an earlier answer is answered anew.
  if (call->answeringTime < call->ringingTime) {
    call->answeringTime = t;
    if (call->category == "U") call->category = "C";
  }
  call->setAnswerNumber(numberAnswering);
  call->setCallerNumber(numberCalling);
  call->setToNumber(numberAnswering);
  call->setDialed(numberCalled);
  // The event's own time: an old answer time would move lastSeen back.
  seen(*call, t);
  return wasPresent;
}

bool CallInfo::netReached(long callID, const char* numberCalling, const char* numberDialed,
                          const char* trunkUsed) {
  bool wasPresent = false;
  CallInfo* call = findOrCreate(callID, &wasPresent);
  if (!call) return false;
  call->category = "C";
  call->callType = callTypeExternalOutbound;
  call->ringingTime = call->answeringTime = now();
  call->setCallerNumber(numberCalling);
  call->setToNumber(numberDialed);
  call->setDialed(numberDialed);
  if (present(trunkUsed)) call->trunkName = trunkUsed;
  seen(*call, call->answeringTime);
  return wasPresent;
}

bool CallInfo::diverted(long callID, const char* newDestination) {
  bool wasPresent = false;
  CallInfo* call = findOrCreate(callID, &wasPresent);
  if (!call) return false;
  if (newDestination) {
    call->wasDiverted = 1;
    // Each monitor on the call reports the same diversion: a repeat must
    // not make the new destination the number dialled.
    if (call->toNumber != newDestination) call->setDialed(call->toNumber.c_str());
    call->setToNumber(newDestination);
  }
  seen(*call, now());
  return wasPresent;
}

void CallInfo::held(long callID) {
  if (CallInfo* call = find(callID)) call->lastHeld = now();
}

void CallInfo::retrieved(long callID) {
  CallInfo* call = find(callID);
  if (!call || call->lastHeld == 0) return;
  call->totalTimeHeld += now() - call->lastHeld;
  call->lastHeld = 0;
}

void CallInfo::transferred(long newCallId, long primaryId, long secondaryId) {
  CallInfo* primary = find(primaryId);
  CallInfo* secondary = find(secondaryId);
  if (!primary || !secondary) return;
  primary->category = "X";
  primary->xferInfo = secondary->toNumber;
  // The primary call's party that the secondary call does not share.
  const std::string originalCaller =
      primary->callerNumber == secondary->callerNumber ? primary->toNumber : primary->callerNumber;
  if (newCallId == primaryId) return;
  if (newCallId == secondaryId) {
    secondary->category = "X";
    secondary->xferInfo = originalCaller;
    return;
  }
  CallInfo* made = add(newCallId);
  if (!made) return;
  CallInfo& call = *made;
  call.setCallerNumber(secondary->callerNumber.c_str());
  call.setToNumber(secondary->toNumber.c_str());
  call.category = "X";
  call.answeringTime = call.ringingTime = now();
  call.xferInfo = originalCaller;
}

void CallInfo::conferenced(long newCallId, long primaryId, long secondaryId) {
  CallInfo* primary = find(primaryId);
  CallInfo* secondary = find(secondaryId);
  if (!primary || !secondary) return;
  primary->category = "F";
  secondary->category = "F";
  if (newCallId == primaryId || newCallId == secondaryId) return;
  CallInfo* made = add(newCallId);
  if (!made) return;
  CallInfo& call = *made;
  call.setCallerNumber(secondary->callerNumber.c_str());
  call.setToNumber(secondary->toNumber.c_str());
  call.category = "F";
  call.answeringTime = call.ringingTime = now();
}

bool CallInfo::voicemailCall(long callID) {
  CallInfo* call = find(callID);
  if (!call) return false;
  if (call->category == "U" || call->category == "C") call->category = "M";
  seen(*call, now());
  return true;
}

void CallInfo::callSnapshoted(long callID) {
  CallInfo* call = find(callID);
  if (!call) return;
  seen(*call, now());
  lastSnapshotTime = 0;
}

namespace {

// The closing steps every ended call goes through, whatever ended it.
void closeCall(CallInfo& call) {
  if ((call.toNumber == "Playing" || call.toNumber == "Recording") && call.category != "X")
    call.category = "M";
  if (call.lastHeld != 0) {
    // A call closed for inactivity ends at its last sign of life, which may
    // come before the hold began.
    if (call.hangupTime > call.lastHeld) call.totalTimeHeld += call.hangupTime - call.lastHeld;
    call.lastHeld = 0;
  }
}

}  // namespace

bool CallInfo::ended(long callID, bool report) {
  CallInfo* call = find(callID);
  if (!call) return false;
  call->hangupTime = now();
  closeCall(*call);
  if (report)
    writeAndForget(*call);
  else
    forget(*call);
  return true;
}

// ---- snapshot rounds ------------------------------------------------------------------

void CallInfo::initializeSnapshot() {
  unsnapped.clear();
  snappedBySeen.clear();
  for (auto& entry : activeCalls) {
    entry.second.snapshotInitiated = 0;
    unsnapped.insert(entry.first);
  }
  lastSnapshotTime = 0;
}

bool CallInfo::pollNextSnapshot(SnapshotRequest request) {
  if (activeCalls.empty()) return true;
  const CallTime t = now();
  if (t - lastSnapshotTime < kSnapshotSpacing) return false;

  // The first snapshotted call unseen for too long (each is closed at the
  // poll that finds it, so there are few).
  CallInfo* stale = nullptr;
  for (const auto& entry : snappedBySeen) {
    if (t - entry.first <= kInactiveSeconds) break;
    if (!stale || entry.second < stale->callID) stale = find(entry.second);
  }
  CallInfo* fresh = unsnapped.empty() ? nullptr : find(*unsnapped.begin());
  if (!stale && !fresh) return true;

  if (fresh && (!stale || fresh->callID < stale->callID)) {
    fresh->snapshotInitiated = 1;
    unsnapped.erase(fresh->callID);
    snappedBySeen.insert({fresh->lastSeen, fresh->callID});
    lastSnapshotTime = t;
    if (request) request(fresh->callID);
    return false;
  }
  log_error("?Logging an inactive call, callID=%lX callerNumber=%s toNumber=%s\n",
            static_cast<unsigned long>(stale->callID), stale->callerNumber.c_str(),
            stale->toNumber.c_str());
  stale->hangupTime = stale->lastSeen;
  closeCall(*stale);
  writeAndForget(*stale);
  return false;
}

// ---- numbers ------------------------------------------------------------------------

std::string CallInfo::normalizeNumber(const char* number) {
  if (!number) return std::string();
  if (number[0] < '0' || number[0] > '9') return number;
  const std::size_t length = std::strlen(number);
  if (length == 7) return localAreaCode + number;
  if (length == 11 && number[0] == '1') return number + 1;
  return number;
}

void CallInfo::setLocalAreaCode(const char* number) {
  if (!number) return;
  localAreaCode = normalizeNumber(number);
}
