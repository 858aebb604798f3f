// Call tracking for SMDR logging: one CallInfo per live call, kept in
// activeCalls by call ID, updated by the event dispatcher's calls and turned
// into one record line when the call ends (records.cpp formats it, the
// writer set with setRecordWriter sends it to the call-log device).
//
// Everything runs on the program's one thread. Times are seconds since the
// epoch from the tracker's clock (the C library's time unless a test puts
// its own in).
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>

#include "platform/platform.h"

typedef std::int64_t CallTime;

enum CallType {
  callTypeUnknown = 0,
  callTypeInternal = 1,
  callTypeExternal = 2,
  callTypeExternalOutbound = 3,
};

enum PBXtype {
  PBXtypeUnknown = 0,
  PBXtypeTelvanix = 1,
  PBXtypeDefinityG3 = 2,
  PBXtypeMitelSX2000 = 3,
  PBXtypeMiVBStandard = 4,
  PBXtypeCMUnformatted = 5,
};

class CallInfo {
 public:
  explicit CallInfo(long callID = 0);
  // Calls are the same call when their IDs are; nothing else counts.
  bool operator==(const CallInfo& other) const { return callID == other.callID; }

  char snapshotInitiated;
  CallTime lastSeen;
  CallTime lastHeld;  // 0 while not held
  CallTime totalTimeHeld;
  std::string category;  // U new, C answered, M voice mail, X transfer, F conference
  long callID;
  CallTime creationTime;
  CallTime ringingTime;
  CallTime answeringTime;  // 0 while unanswered
  CallTime hangupTime;
  CallType callType;
  char callerSet;
  std::string callerNumber;
  char toSet;
  std::string toNumber;
  std::string trunkName;
  char dialedSet;
  std::string dialedNumber;
  std::string answerNumber;
  std::string xferInfo;
  // The line an incoming call arrived on ("L1#5"); empty when none was seen.
  std::string incomingLine;
  char wasDiverted = 0;  // forwarded on the way

  // The party setters: a field takes newer values until it holds digits
  // only, then it is fixed. Null or empty arguments change nothing.
  void setCallerNumber(const char* number);
  void setToNumber(const char* number);
  void setDialed(const char* number);
  void setAnswerNumber(const char* number);

  // ---- event methods (find or create: true when the call was tracked) ----
  static bool initiated(long callID, const char* numberCalling);
  static bool originated(long callID, const char* numberCalling, const char* numberDialed);
  static bool alerting(long callID, const char* numberCalling, const char* numberCalled,
                       const char* numberAlerting);
  static bool answered(long callID, const char* numberCalling, const char* numberCalled,
                       const char* numberAnswering);
  static bool netReached(long callID, const char* numberCalling, const char* numberDialed,
                         const char* trunkUsed);
  static bool diverted(long callID, const char* newDestination);
  // ---- lookup only ----
  static void held(long callID);
  static void retrieved(long callID);
  static void transferred(long newCallId, long primaryId, long secondaryId);
  static void conferenced(long newCallId, long primaryId, long secondaryId);
  // Writes the record (when `report` and the log is open) and forgets the
  // call; false when the call was not tracked.
  static bool ended(long callID, bool report);
  static bool voicemailCall(long callID);
  static void callSnapshoted(long callID);
  // Notes the line a tracked call came in on; names that are not lines
  // (extensions, numbers) and later lines change nothing.
  static void arrivedOn(long callID, const char* device);
  static bool isLineName(const char* device);

  // ---- snapshot rounds ----
  typedef void (*SnapshotRequest)(long callID);
  static void initializeSnapshot();
  // One step of the round: asks for at most one snapshot (through `request`)
  // or closes one inactive call. True when the round is finished.
  static bool pollNextSnapshot(SnapshotRequest request);

  // ---- numbers ----
  static void setLocalAreaCode(const char* number);
  static std::string normalizeNumber(const char* number);

  // ---- records (records.cpp) ----
  // The record line of this call in currentPBXformat, line end included;
  // empty when the layout writes nothing for it. Classifies the call first.
  std::string o_report(int indent);
  std::string o_reportTelvanix(int indent) const;
  std::string o_reportDefinityG3(int indent) const;
  std::string o_reportMitelSX2000(int indent) const;
  // These two always end in CR LF and ignore `indent`; a call may give
  // several lines (one per trunk, interim records of long calls).
  std::string o_reportMiVBStandard() const;
  std::string o_reportCMUnformatted() const;

  // Each returns the previous value.
  static plat_handle setOutputFile(plat_handle handle);
  static bool setOutputCR(bool on);
  static PBXtype setSMDRformat(PBXtype type);

  static CallTime lastSnapshotTime;
  static char outputCRenabled;
  static char reportUnansweredCalls;
  static PBXtype currentPBXformat;
  static std::string localAreaCode;
  // Three digits at the end of every MiVB record.
  static std::string systemID;
  // False (and the default kept) unless `id` is exactly three digits.
  static bool setSystemID(const char* id);
  static plat_handle callLogFile;

  // ---- the world around the tracker ----
  typedef CallTime (*Clock)();
  // Null restores the C library's time. Returns the previous clock.
  static Clock setClock(Clock clock);
  static CallTime now();
  // Sends one finished call's record to the open call log.
  typedef void (*RecordWriter)(CallInfo& call);
  static RecordWriter setRecordWriter(RecordWriter writer);

  // Forgets every call and puts the class-wide values back (tests, exit).
  static void reset();

 private:
  static CallInfo* find(long callID);
  static CallInfo* findOrCreate(long callID, bool* wasPresent);
  // Adds a new call (null when the set already has one with that ID).
  static CallInfo* add(long callID);
  static void forget(CallInfo& call);
  static void seen(CallInfo& call, CallTime when);
  static void writeAndForget(CallInfo& call);
};

// The tracked calls by call ID. Elements keep their place while others are
// added, so a method may hold one across an insert. Snapshot rounds take
// the calls in call-ID order.
extern std::unordered_map<long, CallInfo> activeCalls;
