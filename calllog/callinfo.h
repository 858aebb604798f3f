// Call tracking for SMDR logging: one CallInfo per live call, kept in
// activeCalls by call ID, updated by the event dispatcher's calls and turned
// into one record line when the call ends (records.cpp formats it, the
// writer set with setRecordWriter sends it to the call-log device).
//
// Everything runs on the program's one thread. Times are seconds since the
// epoch from the tracker's clock (the C library's time unless a test puts
// its own in). A call reads the wall clock once, when it is created; its
// later times are that plus the time elapsed on a monotonic clock, so a
// clock set forward or back during a call changes none of its durations.
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

  // Recovery after a lost stream (not part of any record): the monotonic
  // second the call was created and last seen, and the link eras it was
  // created in and last shown to be alive in.
  CallTime monoCreated;
  CallTime monoSeen;
  unsigned bornEra;
  unsigned confirmedEra;
  bool foundInSnapshot;  // tracked from a snapshot, parties still unknown

  // Now on this call's own time line.
  CallTime callNow() const;

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

  // ---- a lost stream ----
  // While the stream is down events are lost: every call tracked at the
  // drop is doubted until a snapshot shows it alive again. Any event for a
  // doubted call ID, and an event announcing a new call on an ID tracked
  // from before the drop, closes the old call first (a restarted server
  // hands its IDs out again).
  static void linkLost();
  // The stream is back: every doubted call is to be checked.
  typedef bool (*CheckRequest)(long callID);  // false: not sent, try later
  static void linkBack();
  // Asks for the next checks, at most kChecksPerSecond in each second.
  // True when none is left to ask.
  static bool pollRecovery(CheckRequest request);
  // A check found the server no longer knows the call: it ended while the
  // stream was down and is written at once, ending when it was last seen.
  static bool endedDuringOutage(long callID);
  // A snapshot shows the call on `devices` (all of its parties when
  // `wholeCall`, else the one device snapshotted). A doubted call that
  // shares a party is alive; one whose parties are all different is another
  // call on a reused ID. With `track`, a call not tracked is taken up.
  // `answered`: two parties are connected. True when a call was taken up.
  static bool snapshotShows(long callID, const char* const* devices, int count, bool wholeCall,
                            bool answered, bool track);
  static void newCallAnnounced(long callID);
  static const int kChecksPerSecond = 200;
  static bool doubted(const CallInfo& call);

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

  // ---- the world around the tracker ----
  typedef CallTime (*Clock)();
  // Null restores the C library's time. Returns the previous clock. The
  // monotonic clock follows the one set here until setMonotonicClock puts
  // another in.
  static Clock setClock(Clock clock);
  static Clock setMonotonicClock(Clock clock);
  static CallTime now();
  static CallTime monoNow();
  // Takes every finished call; the writer knows whether the call log is
  // open, and writes nothing while it is closed.
  typedef void (*RecordWriter)(CallInfo& call);
  static RecordWriter setRecordWriter(RecordWriter writer);

  // Forgets every call and puts the class-wide values back (tests, exit).
  static void reset();

 private:
  static CallInfo* find(long callID);
  // As find, but a doubted call is closed first and counts as not there.
  static CallInfo* findLive(long callID);
  static CallInfo* findOrCreate(long callID, bool* wasPresent);
  static void closeAsOutage(CallInfo& call);
  // Adds a new call (null when the set already has one with that ID).
  static CallInfo* add(long callID);
  static void forget(CallInfo& call);
  static void seen(CallInfo& call);
  static void writeAndForget(CallInfo& call);
};

// The tracked calls by call ID. Elements keep their place while others are
// added, so a method may hold one across an insert. Snapshot rounds take
// the calls in call-ID order.
extern std::unordered_map<long, CallInfo> activeCalls;
