// The tracker: party setters, event methods, transfers and conferences,
// hold time, voice-resource rules and snapshot rounds, on a test clock.
#include "calllog/calllog_test_fixture.h"

#include <vector>

namespace {

using calllog_test::records;
using calllog_test::testNow;

class Tracking : public calllog_test::Tracker {};

TEST_F(Tracking, PartySettersFixOnDigits) {
  CallInfo c(1);
  c.setCallerNumber("L1#4");  // a trunk name: taken, but not fixed
  EXPECT_EQ(c.callerNumber, "L1#4");
  c.setCallerNumber("5085551234");
  EXPECT_EQ(c.callerNumber, "5085551234");
  c.setCallerNumber("6175550000");  // fixed now
  EXPECT_EQ(c.callerNumber, "5085551234");
  c.setCallerNumber("");
  c.setCallerNumber(nullptr);
  EXPECT_EQ(c.callerNumber, "5085551234");

  c.setToNumber("5085551234");  // the caller's own number
  EXPECT_EQ(c.toNumber, "?Unknown?");
  EXPECT_FALSE(c.toSet);
  c.setToNumber("202");
  c.setToNumber("203");
  EXPECT_EQ(c.toNumber, "202");

  c.setDialed("Playing");
  c.setDialed("95551234");
  c.setDialed("202");
  EXPECT_EQ(c.dialedNumber, "95551234");

  // The answering party: itself when all digits, else the called party.
  CallInfo a(2);
  a.setCallerNumber("201");
  a.setAnswerNumber("X1#5");
  EXPECT_EQ(a.answerNumber, "NONE");  // toNumber not digits yet
  a.setToNumber("202");
  a.setAnswerNumber("X1#5");
  EXPECT_EQ(a.answerNumber, "202");
  a.setAnswerNumber("204");
  EXPECT_EQ(a.answerNumber, "204");
  a.setAnswerNumber("201");  // the caller answering is no answer party
  EXPECT_EQ(a.answerNumber, "NONE");
}

TEST_F(Tracking, OutboundCallThroughTheNetwork) {
  EXPECT_FALSE(CallInfo::initiated(9, "201"));
  later(3);
  EXPECT_TRUE(CallInfo::originated(9, "201", "5551234"));
  later(2);
  EXPECT_TRUE(CallInfo::netReached(9, "201", "5551234", "T1#3"));
  CallInfo c = *call(9);
  EXPECT_EQ(c.callType, callTypeExternalOutbound);
  EXPECT_EQ(c.category, "C");
  EXPECT_EQ(c.callerNumber, "201");
  EXPECT_EQ(c.toNumber, "5551234");
  EXPECT_EQ(c.dialedNumber, "5551234");
  EXPECT_EQ(c.trunkName, "T1#3");
  EXPECT_EQ(c.answeringTime, c.ringingTime);
  EXPECT_EQ(c.answeringTime, testNow());
  later(30);
  EXPECT_TRUE(CallInfo::ended(9, true));
  EXPECT_FALSE(CallInfo::ended(9, true));
  EXPECT_EQ(records().size(), 1u);
  EXPECT_TRUE(activeCalls.empty());

  // Old firmware names no trunk: the default stays.
  CallInfo::netReached(10, "201", "5551234", nullptr);
  EXPECT_EQ(call(10)->trunkName, "L1#1");
}

TEST_F(Tracking, AnsweringAndVoiceResources) {
  CallInfo::setSMDRformat(PBXtypeTelvanix);
  // A voice resource answering an unknown call starts nothing.
  EXPECT_FALSE(CallInfo::answered(3, "201", "202", "playing"));
  EXPECT_FALSE(CallInfo::answered(3, "201", "202", "RECORDING 2"));
  EXPECT_TRUE(activeCalls.empty());

  CallInfo::alerting(4, "201", "202", "202");
  const CallTime rang = testNow();
  later(4);
  CallInfo::answered(4, "201", "202", "202");
  EXPECT_EQ(call(4)->answeringTime, rang + 4);
  EXPECT_EQ(call(4)->category, "C");
  // An answer again without ringing anew keeps the first answer time, but
  // the call was seen now.
  later(100);
  CallInfo::answered(4, "201", "202", "202");
  EXPECT_EQ(call(4)->answeringTime, rang + 4);
  EXPECT_EQ(call(4)->lastSeen, testNow());

  // A recording on a tracked call marks it "M" when it ends, a transfer
  // keeps its "X".
  CallInfo::alerting(5, "201", "Recording", "Recording");
  CallInfo::alerting(6, "201", "Recording", "Recording");
  call(6)->category = "X";
  CallInfo::ended(5, true);
  CallInfo::ended(6, true);
  ASSERT_EQ(records().size(), 2u);
  EXPECT_EQ(records()[0][0], 'M');
  EXPECT_EQ(records()[1][0], 'X');

  // Voice mail reports mark unanswered and answered calls only.
  EXPECT_FALSE(CallInfo::voicemailCall(77));
  CallInfo::alerting(7, "201", "202", "202");
  EXPECT_TRUE(CallInfo::voicemailCall(7));
  EXPECT_EQ(call(7)->category, "M");
  call(4)->category = "F";
  CallInfo::voicemailCall(4);
  EXPECT_EQ(call(4)->category, "F");
}

TEST_F(Tracking, DivertedAndRangAgain) {
  CallInfo::alerting(1, "5085551234", "202", "202");
  later(10);
  CallInfo::diverted(1, "203");
  // 202 was all digits, so it is fixed: the diversion only fills dialled.
  EXPECT_EQ(call(1)->toNumber, "202");
  EXPECT_EQ(call(1)->dialedNumber, "202");

  CallInfo::alerting(2, "5085551234", "Q1", "Q1");
  CallInfo::diverted(2, "205");
  EXPECT_EQ(call(2)->toNumber, "205");
  EXPECT_EQ(call(2)->dialedNumber, "Q1");

  // Answered, then ringing again (a recall): the second answer counts.
  CallInfo::answered(2, "5085551234", "Q1", "205");
  later(50);
  CallInfo::alerting(2, "5085551234", "Q1", "205");
  later(5);
  CallInfo::answered(2, "5085551234", "Q1", "205");
  EXPECT_EQ(call(2)->answeringTime, testNow());
}

TEST_F(Tracking, HoldTimeOverTwoHolds) {
  CallInfo::setSMDRformat(PBXtypeTelvanix);
  CallInfo::alerting(1, "201", "202", "202");
  CallInfo::answered(1, "201", "202", "202");
  const CallTime t = testNow();
  CallInfo::held(1);
  at(t + 30);
  CallInfo::retrieved(1);
  CallInfo::retrieved(1);  // a second monitor's copy adds nothing
  at(t + 40);
  CallInfo::held(1);
  CallInfo::held(99);  // untracked: nothing
  at(t + 50);
  CallInfo::ended(1, true);  // still on hold: held until the end
  ASSERT_EQ(records().size(), 1u);
  EXPECT_EQ(records()[0].substr(76, 4), "0:40");
}

TEST_F(Tracking, TransferWhereTheNewCallIsTheSecondary) {
  // 5085551234 talks to 202 (call 1); 202 consults 203 (call 2) and transfers.
  CallInfo::alerting(1, "5085551234", "202", "202");
  CallInfo::answered(1, "5085551234", "202", "202");
  CallInfo::originated(2, "202", "203");
  CallInfo::answered(2, "202", "203", "203");
  CallInfo::transferred(2, 1, 2);
  CallInfo& primary = *call(1);
  CallInfo& secondary = *call(2);
  EXPECT_EQ(primary.category, "X");
  EXPECT_EQ(primary.xferInfo, "203");
  EXPECT_EQ(secondary.category, "X");
  EXPECT_EQ(secondary.xferInfo, "5085551234");  // the party 202's calls do not share

  // Unknown old calls: nothing happens.
  CallInfo::transferred(3, 1, 42);
  EXPECT_EQ(call(3), nullptr);
}

TEST_F(Tracking, TransferAndConferenceMakeNewCalls) {
  CallInfo::alerting(1, "5085551234", "202", "202");
  CallInfo::answered(1, "5085551234", "202", "202");
  CallInfo::originated(2, "202", "203");
  CallInfo::answered(2, "202", "203", "203");
  later(7);
  CallInfo::transferred(3, 1, 2);
  ASSERT_NE(call(3), nullptr);
  CallInfo& made = *call(3);
  EXPECT_EQ(made.category, "X");
  EXPECT_EQ(made.callerNumber, "202");
  EXPECT_EQ(made.toNumber, "203");
  EXPECT_EQ(made.xferInfo, "5085551234");
  EXPECT_EQ(made.answeringTime, testNow());
  EXPECT_EQ(call(2)->category, "C");  // the secondary is left alone
  // The same event again (from a second monitor) makes nothing new.
  made.xferInfo = "kept";
  CallInfo::transferred(3, 1, 2);
  EXPECT_EQ(call(3)->xferInfo, "kept");

  CallInfo::alerting(4, "201", "204", "204");
  CallInfo::alerting(5, "201", "205", "205");
  CallInfo::conferenced(4, 4, 5);
  EXPECT_EQ(call(4)->category, "F");
  EXPECT_EQ(call(5)->category, "F");
  EXPECT_EQ(activeCalls.size(), 5u);
  CallInfo::conferenced(6, 4, 5);
  ASSERT_NE(call(6), nullptr);
  EXPECT_EQ(call(6)->category, "F");
  EXPECT_EQ(call(6)->toNumber, "205");
  EXPECT_EQ(call(6)->answeringTime, call(6)->ringingTime);
}

TEST_F(Tracking, NumberNormalisation) {
  CallInfo::setLocalAreaCode("508");
  EXPECT_EQ(CallInfo::normalizeNumber("5551234"), "5085551234");
  EXPECT_EQ(CallInfo::normalizeNumber("16175551234"), "6175551234");
  EXPECT_EQ(CallInfo::normalizeNumber("26175551234"), "26175551234");
  EXPECT_EQ(CallInfo::normalizeNumber("A551234"), "A551234");
  EXPECT_EQ(CallInfo::normalizeNumber("201"), "201");
  EXPECT_EQ(CallInfo::normalizeNumber("5x51234"), "5085x51234");  // only the first is tested
  EXPECT_EQ(CallInfo::normalizeNumber(nullptr), "");
  CallInfo::setLocalAreaCode(nullptr);
  EXPECT_EQ(CallInfo::localAreaCode, "508");
  CallInfo::setLocalAreaCode("1617");
  EXPECT_EQ(CallInfo::localAreaCode, "1617");
}

std::vector<long>& asked() {
  static std::vector<long> a;
  return a;
}
void askSnapshot(long callID) { asked().push_back(callID); }

TEST_F(Tracking, SnapshotRoundsAndInactiveCalls) {
  asked().clear();
  CallInfo::setSMDRformat(PBXtypeTelvanix);
  EXPECT_TRUE(CallInfo::pollNextSnapshot(askSnapshot));  // nothing tracked
  const CallTime t = testNow();
  CallInfo::alerting(3, "201", "203", "203");
  CallInfo::alerting(1, "201", "202", "202");
  CallInfo::alerting(2, "201", "204", "204");
  CallInfo::held(2);
  CallInfo::initializeSnapshot();

  EXPECT_FALSE(CallInfo::pollNextSnapshot(askSnapshot));
  EXPECT_FALSE(CallInfo::pollNextSnapshot(askSnapshot));  // within 5 seconds
  at(t + 4);
  EXPECT_FALSE(CallInfo::pollNextSnapshot(askSnapshot));
  EXPECT_EQ(asked(), std::vector<long>({1}));
  at(t + 5);
  EXPECT_FALSE(CallInfo::pollNextSnapshot(askSnapshot));
  EXPECT_EQ(asked(), std::vector<long>({1, 2}));
  // A confirmation lets the next request go at once.
  CallInfo::callSnapshoted(2);
  EXPECT_FALSE(CallInfo::pollNextSnapshot(askSnapshot));
  EXPECT_EQ(asked(), std::vector<long>({1, 2, 3}));
  at(t + 10);
  EXPECT_TRUE(CallInfo::pollNextSnapshot(askSnapshot));  // round done, none stale

  // Nothing heard of calls 1 and 3 for 601 seconds (2 was confirmed at t+5).
  at(t + 601);
  EXPECT_FALSE(CallInfo::pollNextSnapshot(askSnapshot));
  ASSERT_EQ(records().size(), 1u);
  EXPECT_EQ(call(1), nullptr);
  EXPECT_NE(call(3), nullptr);
  // Written with its last-seen time as its end: no talk, 0:00 rung.
  EXPECT_EQ(records()[0].substr(0, 20), "U 12/06/26 14:03:00 ");
  EXPECT_FALSE(CallInfo::pollNextSnapshot(askSnapshot));  // one call per poll
  EXPECT_EQ(records().size(), 2u);
  EXPECT_TRUE(CallInfo::pollNextSnapshot(askSnapshot));
  at(t + 606);
  EXPECT_FALSE(CallInfo::pollNextSnapshot(askSnapshot));
  // Call 2 has been on hold since t and was last seen at t+5: it gets the
  // hold time up to its end.
  ASSERT_EQ(records().size(), 3u);
  EXPECT_EQ(records()[2].substr(76, 4), "0:05");
  EXPECT_TRUE(activeCalls.empty());
  EXPECT_EQ(asked().size(), 3u);
}

TEST_F(Tracking, NewCallsAreSnapshottedInOrderWithoutStaleOnes) {
  asked().clear();
  const CallTime t = testNow();
  for (long id = 10; id > 0; --id) CallInfo::alerting(id, "201", "202", "202");
  CallInfo::initializeSnapshot();
  for (int i = 0; i < 10; ++i) {
    at(t + 5 * i);
    EXPECT_FALSE(CallInfo::pollNextSnapshot(askSnapshot));
  }
  at(t + 50);
  EXPECT_TRUE(CallInfo::pollNextSnapshot(askSnapshot));
  // A call that turns up during the round is asked for next.
  CallInfo::alerting(0, "201", "202", "202");
  at(t + 55);
  EXPECT_FALSE(CallInfo::pollNextSnapshot(askSnapshot));
  EXPECT_EQ(asked(), std::vector<long>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0}));
}

// ---- clocks ----

CallTime& monoNow() {
  static CallTime t = 0;
  return t;
}
CallTime monoClock() { return monoNow(); }

TEST_F(Tracking, DurationsIgnoreTheWallClock) {
  CallInfo::setSMDRformat(PBXtypeTelvanix);
  CallInfo::setMonotonicClock(monoClock);
  monoNow() = 5000;
  CallInfo::alerting(1, "201", "202", "202");
  monoNow() += 3;
  later(3);
  CallInfo::answered(1, "201", "202", "202");
  CallInfo::held(1);
  // The wall clock is set two hours on, then back an hour, mid-call.
  later(2 * 3600);
  monoNow() += 10;
  CallInfo::retrieved(1);
  later(-3600);
  monoNow() += 47;
  CallInfo::ended(1, true);
  ASSERT_EQ(records().size(), 1u);
  // Rung 0:03, talked 0:57, held 0:10; dated when answered.
  EXPECT_EQ(records()[0].substr(0, 38), "C 12/06/26 14:03:03 0:03 I 202    0:57") << records()[0];
  EXPECT_EQ(records()[0].substr(76, 4), "0:10") << records()[0];
}

TEST_F(Tracking, AHoldEndingBeforeItBeganAddsNothing) {
  const CallTime t = testNow();
  CallInfo::answered(1, "201", "202", "202");
  CallInfo::held(1);
  at(t + 30);
  CallInfo::retrieved(1);
  at(t + 40);
  CallInfo::held(1);
  at(t + 20);  // the clock went back during the second hold
  CallInfo::retrieved(1);
  EXPECT_EQ(call(1)->totalTimeHeld, 30);
  EXPECT_EQ(call(1)->lastHeld, 0);
}

// ---- a lost stream ----

std::vector<long>& checked() {
  static std::vector<long> c;
  return c;
}
bool refuseChecks = false;
bool askCheck(long callID) {
  if (refuseChecks) return false;
  checked().push_back(callID);
  return true;
}

class Recovery : public Tracking {
 protected:
  void SetUp() override {
    Tracking::SetUp();
    CallInfo::setSMDRformat(PBXtypeTelvanix);
    checked().clear();
    refuseChecks = false;
  }
};

TEST_F(Recovery, ChecksArePacedAndEndedCallsWrittenWithTheirLastSighting) {
  const CallTime t = testNow();
  for (long id = 1; id <= 450; ++id) CallInfo::answered(id, "201", "202", "202");
  EXPECT_TRUE(CallInfo::pollRecovery(askCheck));  // nothing doubted while the link is up
  CallInfo::linkLost();
  at(t + 30);
  CallInfo::linkBack();

  const int pace = CallInfo::kChecksPerSecond;
  EXPECT_FALSE(CallInfo::pollRecovery(askCheck));
  EXPECT_EQ(checked().size(), static_cast<std::size_t>(pace));
  EXPECT_EQ(checked().front(), 1);
  EXPECT_FALSE(CallInfo::pollRecovery(askCheck));  // the same second
  EXPECT_EQ(checked().size(), static_cast<std::size_t>(pace));
  // A refused request waits for the next second, and is asked then.
  at(t + 31);
  refuseChecks = true;
  EXPECT_FALSE(CallInfo::pollRecovery(askCheck));
  refuseChecks = false;
  EXPECT_FALSE(CallInfo::pollRecovery(askCheck));
  EXPECT_EQ(checked().size(), static_cast<std::size_t>(pace));
  at(t + 32);
  // A call shown alive meanwhile is not asked for.
  const char* parties[] = {"201", "202"};
  CallInfo::snapshotShows(pace + 1, parties, 2, true, true, false);
  EXPECT_FALSE(CallInfo::pollRecovery(askCheck));
  EXPECT_EQ(checked()[pace], pace + 2);
  at(t + 33);
  EXPECT_TRUE(CallInfo::pollRecovery(askCheck));
  EXPECT_EQ(checked().size(), 449u);

  // Gone: written at once, ending when last seen, talk time up to then.
  EXPECT_TRUE(CallInfo::endedDuringOutage(7));
  EXPECT_FALSE(CallInfo::endedDuringOutage(7));
  ASSERT_EQ(records().size(), 1u);
  EXPECT_EQ(records()[0].substr(0, 38), "C 12/06/26 14:03:00 0:00 I 202    0:00");
  // Shown alive, a call is no longer doubted: it ends when it ends.
  EXPECT_FALSE(CallInfo::endedDuringOutage(pace + 1));
  at(t + 90);
  EXPECT_TRUE(CallInfo::ended(pace + 1, true));
  EXPECT_NE(records()[1].find(" 1:30 201 "), std::string::npos) << records()[1];
}

TEST_F(Recovery, ACallIDTrackedFromBeforeTheDropIsNotANewCallsID) {
  const CallTime t = testNow();
  CallInfo::answered(1, "201", "202", "202");
  CallInfo::answered(2, "203", "204", "204");
  CallInfo::answered(3, "205", "206", "206");
  CallInfo::answered(4, "207", "208", "208");
  CallInfo::linkLost();
  CallInfo::linkLost();  // lost again before it was back: nothing more
  at(t + 20);
  CallInfo::linkBack();

  // Any event for a doubted call closes it first, then is a call of its own.
  EXPECT_FALSE(CallInfo::alerting(1, "211", "212", "212"));
  ASSERT_EQ(records().size(), 1u);
  EXPECT_NE(records()[0].find(" 201 "), std::string::npos) << records()[0];
  EXPECT_EQ(call(1)->callerNumber, "211");
  EXPECT_EQ(call(1)->ringingTime, t + 20);

  // A device snapshot shows a shared party: alive. A device it does not
  // share proves nothing (a trunk's name is not among its parties).
  const char* device204[] = {"204"};
  const char* trunk[] = {"L1#3"};
  EXPECT_FALSE(CallInfo::snapshotShows(2, device204, 1, false, false, true));
  EXPECT_FALSE(CallInfo::snapshotShows(3, trunk, 1, false, false, true));
  EXPECT_TRUE(CallInfo::alerting(2, "203", "204", "209"));
  EXPECT_EQ(records().size(), 1u);
  // The whole call with other parties: another call on the same ID.
  const char* others[] = {"221", "222"};
  EXPECT_TRUE(CallInfo::snapshotShows(3, others, 2, true, true, false));
  ASSERT_EQ(records().size(), 2u);
  EXPECT_NE(records()[1].find(" 205 "), std::string::npos) << records()[1];
  EXPECT_EQ(call(3)->callerNumber, "221");
  EXPECT_EQ(call(3)->toNumber, "222");
  EXPECT_EQ(call(3)->answeringTime, t + 20);

  // An event saying a call is new closes a call from before the drop even
  // when it was shown alive; a call from after the drop keeps its ID.
  CallInfo::newCallAnnounced(2);
  EXPECT_EQ(records().size(), 3u);
  EXPECT_EQ(call(2), nullptr);
  CallInfo::newCallAnnounced(1);
  CallInfo::newCallAnnounced(3);
  EXPECT_EQ(records().size(), 3u);
  EXPECT_NE(call(1), nullptr);

  // Calls taken up from a device snapshot get their parties from the call's.
  const char* device231[] = {"231"};
  EXPECT_TRUE(CallInfo::snapshotShows(9, device231, 1, false, false, true));
  EXPECT_EQ(call(9)->callerNumber, "?Unknown?");
  const char* parties[] = {"230", "231"};
  EXPECT_FALSE(CallInfo::snapshotShows(9, parties, 2, true, false, false));
  EXPECT_EQ(call(9)->callerNumber, "230");
  EXPECT_EQ(call(9)->toNumber, "231");
  EXPECT_EQ(call(9)->answeringTime, 0);
  // ... and a snapshot of a call nobody tracks takes nothing up unasked.
  EXPECT_FALSE(CallInfo::snapshotShows(10, parties, 2, true, false, false));
  EXPECT_EQ(call(10), nullptr);
}

}  // namespace
