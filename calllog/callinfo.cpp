#include "calllog/callinfo.h"

#include <cstring>
#include <ctime>
#include <deque>
#include <set>

#include "console/input.h"
#include "console/output.h"
#include "console/readers.h"
#include "console/settings.h"

std::unordered_map<long, CallInfo> activeCalls;

CallTime CallInfo::lastSnapshotTime = 0;
char CallInfo::outputCRenabled = 0;
char CallInfo::reportUnansweredCalls = 1;
PBXtype CallInfo::currentPBXformat = PBXtypeMitelSX2000;
std::string CallInfo::localAreaCode = "999";

namespace {

const char kUnknown[] = "?Unknown?";
const char kNone[] = "NONE";
const CallTime kSnapshotSpacing = 5;  // seconds between snapshot requests
const CallTime kInactiveSeconds = 600;

CallTime realClock() { return static_cast<CallTime>(std::time(nullptr)); }
CallTime realMonotonic() { return static_cast<CallTime>(plat_millis() / 1000); }

CallInfo::Clock clockNow = realClock;
CallInfo::Clock monotonicNow = realMonotonic;
CallInfo::RecordWriter recordWriter = nullptr;

// A snapshot poll acts on the first call, in call-ID order, that is not
// yet snapshotted in this round or was snapshotted and has been unseen too
// long. Two indexes find it without walking every call: the
// calls not yet snapshotted by call ID, and the snapshotted ones by the
// time they were last seen.
std::set<long> unsnapped;
std::set<std::pair<CallTime, long>> snappedBySeen;  // by monoSeen

// The link: its era goes up at each drop; calls confirmed in an older era
// are doubted. The checks still to ask after a reopen, and this second's
// share of them.
unsigned linkEra = 0;
std::deque<long> toCheck;
CallTime checkSecond = 0;
int checksThisSecond = 0;

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
      xferInfo(kNone),
      monoCreated(monoNow()),
      monoSeen(monoCreated),
      bornEra(linkEra),
      confirmedEra(linkEra),
      foundInSnapshot(false) {
  lastSeen = creationTime;
}

CallTime CallInfo::callNow() const { return creationTime + (monoNow() - monoCreated); }

// ---- the world ----------------------------------------------------------------------

CallInfo::Clock CallInfo::setClock(Clock clock) {
  Clock previous = clockNow;
  clockNow = clock ? clock : realClock;
  monotonicNow = clock ? clock : realMonotonic;
  return previous;
}

CallInfo::Clock CallInfo::setMonotonicClock(Clock clock) {
  Clock previous = monotonicNow;
  monotonicNow = clock ? clock : realMonotonic;
  return previous;
}

CallTime CallInfo::now() { return clockNow(); }
CallTime CallInfo::monoNow() { return monotonicNow(); }

CallInfo::RecordWriter CallInfo::setRecordWriter(RecordWriter writer) {
  RecordWriter previous = recordWriter;
  recordWriter = writer;
  return previous;
}

void CallInfo::reset() {
  activeCalls.clear();
  unsnapped.clear();
  snappedBySeen.clear();
  linkEra = 0;
  toCheck.clear();
  checkSecond = 0;
  checksThisSecond = 0;
  lastSnapshotTime = 0;
  outputCRenabled = 0;
  reportUnansweredCalls = 1;
  currentPBXformat = PBXtypeMitelSX2000;
  localAreaCode = "999";
  systemID = "001";
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

CallInfo* CallInfo::findLive(long callID) {
  CallInfo* call = find(callID);
  if (call && doubted(*call)) {
    closeAsOutage(*call);
    return nullptr;
  }
  return call;
}

CallInfo* CallInfo::findOrCreate(long callID, bool* wasPresent) {
  CallInfo* call = findLive(callID);
  *wasPresent = call != nullptr;
  if (call) return call;
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
  if (call.snapshotInitiated) snappedBySeen.erase({call.monoSeen, id});
  activeCalls.erase(id);
}

void CallInfo::seen(CallInfo& call) {
  const CallTime mono = monoNow();
  if (call.snapshotInitiated) {
    snappedBySeen.erase({call.monoSeen, call.callID});
    snappedBySeen.insert({mono, call.callID});
  }
  call.monoSeen = mono;
  call.lastSeen = call.callNow();
}

void CallInfo::writeAndForget(CallInfo& call) {
  if (recordWriter) recordWriter(call);
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
  seen(*call);
  return wasPresent;
}

bool CallInfo::originated(long callID, const char* numberCalling, const char* numberDialed) {
  bool wasPresent = false;
  CallInfo* call = findOrCreate(callID, &wasPresent);
  if (!call) return false;
  call->ringingTime = call->callNow();
  call->setCallerNumber(numberCalling);
  call->setToNumber(numberDialed);
  call->setDialed(numberDialed);
  seen(*call);
  return wasPresent;
}

bool CallInfo::alerting(long callID, const char* numberCalling, const char* numberCalled,
                        const char* numberAlerting) {
  bool wasPresent = false;
  CallInfo* call = findOrCreate(callID, &wasPresent);
  if (!call) return false;
  call->ringingTime = call->callNow();
  call->setCallerNumber(numberCalling);
  call->setToNumber(numberAlerting);
  call->setDialed(numberCalled);
  seen(*call);
  return wasPresent;
}

bool CallInfo::answered(long callID, const char* numberCalling, const char* numberCalled,
                        const char* numberAnswering) {
  // A play or a recording picking up a call nobody follows starts no record.
  if (!findLive(callID) && numberAnswering &&
      (compare_name(numberAnswering, "PLAYING", 7) == 0 ||
       compare_name(numberAnswering, "RECORDING", 9) == 0))
    return false;
  bool wasPresent = false;
  CallInfo* call = findOrCreate(callID, &wasPresent);
  if (!call) return false;
  const CallTime t = call->callNow();
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
  seen(*call);
  return wasPresent;
}

bool CallInfo::netReached(long callID, const char* numberCalling, const char* numberDialed,
                          const char* trunkUsed) {
  bool wasPresent = false;
  CallInfo* call = findOrCreate(callID, &wasPresent);
  if (!call) return false;
  call->category = "C";
  call->callType = callTypeExternalOutbound;
  call->ringingTime = call->answeringTime = call->callNow();
  call->setCallerNumber(numberCalling);
  call->setToNumber(numberDialed);
  call->setDialed(numberDialed);
  if (present(trunkUsed)) call->trunkName = trunkUsed;
  seen(*call);
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
  seen(*call);
  return wasPresent;
}

void CallInfo::held(long callID) {
  if (CallInfo* call = findLive(callID)) call->lastHeld = call->callNow();
}

void CallInfo::retrieved(long callID) {
  CallInfo* call = findLive(callID);
  if (!call || call->lastHeld == 0) return;
  // Never negative, whatever the clocks did: it would cancel earlier holds.
  const CallTime interval = call->callNow() - call->lastHeld;
  if (interval > 0) call->totalTimeHeld += interval;
  call->lastHeld = 0;
}

void CallInfo::transferred(long newCallId, long primaryId, long secondaryId) {
  CallInfo* primary = findLive(primaryId);
  CallInfo* secondary = findLive(secondaryId);
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
  call.answeringTime = call.ringingTime = call.callNow();
  call.xferInfo = originalCaller;
}

void CallInfo::conferenced(long newCallId, long primaryId, long secondaryId) {
  CallInfo* primary = findLive(primaryId);
  CallInfo* secondary = findLive(secondaryId);
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
  call.answeringTime = call.ringingTime = call.callNow();
}

bool CallInfo::voicemailCall(long callID) {
  CallInfo* call = findLive(callID);
  if (!call) return false;
  if (call->category == "U" || call->category == "C") call->category = "M";
  seen(*call);
  return true;
}

void CallInfo::callSnapshoted(long callID) {
  CallInfo* call = find(callID);
  if (!call) return;
  seen(*call);
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
  CallInfo* call = findLive(callID);
  if (!call) return false;
  call->hangupTime = call->callNow();
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
  const CallTime t = monoNow();
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
    snappedBySeen.insert({fresh->monoSeen, fresh->callID});
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

// ---- a lost stream ------------------------------------------------------------------

bool CallInfo::doubted(const CallInfo& call) { return call.confirmedEra != linkEra; }

void CallInfo::closeAsOutage(CallInfo& call) {
  log_error("?Logging a call that ended during a link outage, callID=%lX callerNumber=%s "
            "toNumber=%s\n",
            static_cast<unsigned long>(call.callID), call.callerNumber.c_str(),
            call.toNumber.c_str());
  call.hangupTime = call.lastSeen;
  closeCall(call);
  writeAndForget(call);
}

void CallInfo::linkLost() {
  toCheck.clear();
  ++linkEra;
}

void CallInfo::linkBack() {
  toCheck.clear();
  std::set<long> ids;
  for (const auto& entry : activeCalls)
    if (doubted(entry.second)) ids.insert(entry.first);
  toCheck.assign(ids.begin(), ids.end());
}

bool CallInfo::pollRecovery(CheckRequest request) {
  if (toCheck.empty()) return true;
  const CallTime t = monoNow();
  if (t != checkSecond) {
    checkSecond = t;
    checksThisSecond = 0;
  }
  while (!toCheck.empty() && checksThisSecond < kChecksPerSecond) {
    const long id = toCheck.front();
    const CallInfo* call = find(id);
    if (!call || !doubted(*call)) {
      toCheck.pop_front();  // ended or shown alive meanwhile
      continue;
    }
    // A request the library would not take waits for the next second.
    if (request && !request(id)) {
      checksThisSecond = kChecksPerSecond;
      break;
    }
    toCheck.pop_front();
    ++checksThisSecond;
  }
  return toCheck.empty();
}

bool CallInfo::endedDuringOutage(long callID) {
  CallInfo* call = find(callID);
  if (!call || !doubted(*call)) return false;
  closeAsOutage(*call);
  return true;
}

namespace {

bool sharesParty(const CallInfo& call, const char* const* devices, int count, bool* anyKnown) {
  const std::string* parties[] = {&call.callerNumber, &call.toNumber, &call.dialedNumber,
                                  &call.answerNumber};
  *anyKnown = false;
  for (const std::string* party : parties) {
    if (party->empty() || !allDigits(*party)) continue;
    *anyKnown = true;
    for (int i = 0; i < count; ++i)
      if (devices[i] && *party == devices[i]) return true;
  }
  return false;
}

}  // namespace

bool CallInfo::snapshotShows(long callID, const char* const* devices, int count, bool wholeCall,
                             bool answered, bool track) {
  CallInfo* call = find(callID);
  if (call && doubted(*call)) {
    bool anyKnown = false;
    if (sharesParty(*call, devices, count, &anyKnown) || !anyKnown) {
      call->confirmedEra = linkEra;
      seen(*call);
      return false;
    }
    // Only the whole call can tell: one device may be a trunk whose name
    // the call never showed.
    if (!wholeCall) return false;
    closeAsOutage(*call);
    call = nullptr;
    track = true;
  }
  bool added = false;
  if (!call) {
    if (!track || !(call = add(callID))) return false;
    call->foundInSnapshot = true;
    added = true;
  }
  // Parties only from the whole call, whose first party placed it.
  if (call->foundInSnapshot && wholeCall) {
    call->foundInSnapshot = false;
    if (count > 0) call->setCallerNumber(devices[0]);
    if (count > 1) {
      call->setToNumber(devices[1]);
      call->setDialed(devices[1]);
    }
    if (answered && call->answeringTime == 0) {
      call->answeringTime = call->callNow();
      if (call->category == "U") call->category = "C";
    }
  }
  if (added) seen(*call);
  return added;
}

void CallInfo::newCallAnnounced(long callID) {
  CallInfo* call = find(callID);
  if (call && call->bornEra != linkEra) closeAsOutage(*call);
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
