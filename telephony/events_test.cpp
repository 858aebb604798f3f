// The poll, the dispatcher and the waits, against the simulated switch (and a
// scripted server for what the switch never sends).
#include "telephony/events.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "telephony/test_switch.h"

namespace stream_test {
namespace {

int secondsReads = 0;
std::int64_t countingSeconds() {
  ++secondsReads;
  return fakeSeconds();
}

// The call ID in the switch's answer "call N".
std::int32_t callOf(const std::string& answer) {
  EXPECT_EQ(answer.rfind("call ", 0), 0u) << answer;
  return static_cast<std::int32_t>(std::atol(answer.c_str() + 5));
}

class Poll : public StreamTest {};

TEST_F(Poll, WithoutAStreamReturnsAtOnce) {
  setEventClocksForTests(countingSeconds, nullptr);
  secondsReads = 0;
  EXPECT_EQ(poll(), "");
  EXPECT_EQ(secondsReads, 0);
  EXPECT_EQ(msgCount, 0);
}

std::uint64_t waitNow = 0;
std::uint64_t readWaitNow() { return waitNow; }

// Without a seconds clock of a test's own, reopens are paced by the clock
// every wait reads (a test run's stepped clock drives them too).
TEST_F(Poll, ReopensArePacedByTheWaitClock) {
  openStream();
  setEventClocksForTests(nullptr, readSteppingMillis);
  waitNow = 5000000;
  setWaitClock(readWaitNow);
  sw.control("down");
  poll();  // the first try goes at once, and is refused
  ASSERT_EQ(reopenWaitSeconds(), 1);
  const InvokeID_t before = invokeID;
  waitNow += 999;
  poll();
  EXPECT_EQ(invokeID, before) << "tried again within the second";
  waitNow += 1;
  poll();
  EXPECT_EQ(acsOpenInvokeID, before) << "not tried after a second";
  EXPECT_EQ(reopenWaitSeconds(), 2);
}

// The poll is installed before any stream; the profile read at CONNECT, or
// the command later, decides whether it also runs while the shell is idle.
TEST_F(Poll, RunsWhileIdleOnlyWithAutomaticEvents) {
  writeProfile("[PROBIX]\nAutoEventReport=0\n[Server]\nServerID=SCRIPTED\nUserID=Telvanix\n");
  openStream();
  const char wasUnattended = autoLogSMDR;
  autoLogSMDR = 0;
  const IdleRoutine idle = setCallWhileIdle(nullptr);
  setCallWhileIdle(idle);
  ASSERT_NE(idle, nullptr);
  scripted.push(wire::cstaUnsolicited(CSTA_HELD, 1));
  idle();
  EXPECT_EQ(msgCount, 0);
  doSetAutoEvents();
  idle();
  EXPECT_EQ(msgCount, 1);
  doClearAutoEvents();
  scripted.push(wire::cstaUnsolicited(CSTA_HELD, 1));
  idle();
  EXPECT_EQ(msgCount, 1);
  pauseNseconds(0);  // waits poll all the same
  EXPECT_EQ(msgCount, 2);
  // The unattended logger reads them whatever the setting: unread, they
  // would write no record.
  autoLogSMDR = 1;
  scripted.push(wire::cstaUnsolicited(CSTA_HELD, 1));
  idle();
  autoLogSMDR = wasUnattended;
  EXPECT_EQ(msgCount, 3);
}

TEST_F(Poll, FailedReopensBackOffFromASecondToAMinute) {
  openStream();
  sw.control("down");  // the server goes away: the stream fails

  // The failure marks the stream lost and the first reopen is tried at once;
  // the server is still down, so it is refused, and said so with the wait.
  std::string out = poll();
  EXPECT_NE(out.find("!? ACS ERROR ACSERR_NOSERVER: when trying to open stream"),
            std::string::npos)
      << out;
  EXPECT_NE(out.find("!? Stream reopen failed (ACSERR_NOSERVER), next try in 1 s"),
            std::string::npos)
      << out;
  EXPECT_TRUE(acsStreamAborted);
  EXPECT_EQ(acsHandle, 0u);
  EXPECT_EQ(errCount, 1);

  // Each failed try doubles the wait, up to a minute; a poll a second
  // early tries nothing.
  for (int wait : {1, 2, 4, 8, 16, 32, 60, 60}) {
    ASSERT_EQ(reopenWaitSeconds(), wait);
    const InvokeID_t before = invokeID;
    fakeSeconds() += wait - 1;
    poll();
    EXPECT_EQ(invokeID, before) << "tried again before " << wait << " s";
    fakeSeconds() += 1;
    out = poll();
    EXPECT_EQ(acsOpenInvokeID, before) << "not tried after " << wait << " s";
    EXPECT_NE(out.find("next try in"), std::string::npos) << out;
  }

  sw.control("up");
  const InvokeID_t lastTry = invokeID;
  fakeSeconds() += 60;
  eventReports = true;
  out = poll();
  EXPECT_EQ(acsOpenInvokeID, lastTry) << "not reopened with the next invoke ID";
  EXPECT_FALSE(acsStreamAborted);
  ASSERT_NE(acsHandle, 0u);
  EXPECT_EQ(sw.sessionCount(), 1u);
  EXPECT_NE(out.find("Api: TS2"), std::string::npos) << "reopened with another version:\n" << out;
  EXPECT_NE(out.find("! Stream reopened, acsHandle"), std::string::npos) << out;
  EXPECT_TRUE(confirmed(lastTry + 1)) << "the new stream has no private status reports";

  const InvokeID_t settled = invokeID;
  fakeSeconds() += 1;
  poll();
  EXPECT_EQ(invokeID, settled) << "a healthy stream was reopened";
  EXPECT_EQ(acsOpenInvokeID, lastTry);
}

TEST_F(Poll, StreamCutRightAfterAReopenWaitsASecond) {
  openStream();
  eventReports = true;
  monitorDevice("201");
  EXPECT_NE(poll().find("CSTA_MONITOR_CONF"), std::string::npos);

  // The first cut of a run is mended at once.
  sw.control("drop all");
  std::string out = poll();
  EXPECT_NE(out.find("TSERVER_STREAM_FAILED"), std::string::npos) << out;
  ASSERT_FALSE(acsStreamAborted) << out;
  const InvokeID_t firstReopen = acsOpenInvokeID;
  for (int i = 0; i < 3 && !confirmed(firstReopen + 1); ++i) out += poll();
  EXPECT_NE(out.find("Api: TS2"), std::string::npos) << out;
  monitorDevice("202");
  EXPECT_NE(poll().find("CSTA_MONITOR_CONF"), std::string::npos);

  // Cut again within the same second: lost, requests refused, and the
  // polls of that second reopen nothing.
  sw.control("drop all");
  poll();
  EXPECT_TRUE(acsStreamAborted);
  EXPECT_EQ(acsHandle, 0u);
  ::testing::internal::CaptureStdout();
  EXPECT_FALSE(ACS_CALL("monitor device",
                        cstaMonitorDevice(acsHandle, invokeID, "203", nullptr, nullptr)));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "!? ACS ERROR ACSERR_BADHDL: when trying to monitor device\n");
  poll();
  EXPECT_TRUE(acsStreamAborted);
  EXPECT_EQ(acsOpenInvokeID, firstReopen);

  // A second on, the stream comes back by itself and events flow again.
  fakeSeconds() += 1;
  out = poll();
  EXPECT_FALSE(acsStreamAborted);
  ASSERT_NE(acsHandle, 0u);
  EXPECT_NE(acsOpenInvokeID, firstReopen);
  for (int i = 0; i < 3 && !confirmed(acsOpenInvokeID + 1); ++i) out += poll();
  EXPECT_NE(out.find("ACS_OPEN_STREAM_CONF"), std::string::npos) << out;
  monitorDevice("203");
  EXPECT_NE(poll().find("CSTA_MONITOR_CONF"), std::string::npos);
  EXPECT_EQ(sw.sessionCount(), 1u);
}

TEST_F(Poll, ConnectOverALostStreamIsNotReopenedOver) {
  openStream();
  sw.control("drop all");
  sw.control("down");
  poll();  // lost, and the reopen at once is refused
  ASSERT_TRUE(acsStreamAborted);
  sw.control("up");
  connectQuietly();
  const ACSHandle_t handle = acsHandle;
  const InvokeID_t openID = acsOpenInvokeID;
  fakeSeconds() += 61;
  poll();  // the open of CONNECT is confirmed and followed up meanwhile
  EXPECT_FALSE(acsStreamAborted);
  EXPECT_EQ(acsHandle, handle);
  EXPECT_EQ(acsOpenInvokeID, openID) << "reopened over the stream CONNECT opened";
  EXPECT_EQ(sw.sessionCount(), 1u);
}

TEST_F(Poll, BadHandleAbortsAndMarksTheStreamLost) {
  openStream();
  const ACSHandle_t handle = acsHandle;
  acsAbortStream(handle, nullptr);  // gone behind the program's back
  const std::string h = std::to_string(handle);
  const std::string out = poll();
  EXPECT_NE(out.find("!? Bad acsHandle " + h + " reported.\n"), std::string::npos) << out;
  EXPECT_NE(out.find("!Unable to abort stream " + h + " (TSERVER down?)\n"), std::string::npos);
  EXPECT_TRUE(acsStreamAborted);
  EXPECT_EQ(acsHandle, 0u);
  EXPECT_EQ(msgCount, 1);
  EXPECT_EQ(errCount, 1);
}

TEST_F(Poll, EventTooLargeForTheBufferAbortsTheStream) {
  writeProfile("[PROBIX]\nAutoEventReport=0\n[Server]\nServerID=SCRIPTED\nUserID=Telvanix\n");
  openStream();
  wire::Event big = wire::cstaUnsolicited(CSTA_CONFERENCED, 1);
  big.connections.resize(40);
  scripted.push(big);
  const ACSHandle_t handle = acsHandle;

  const std::string out = poll();
  EXPECT_NE(out.find("!? FATAL: buffer too small in acsGetEventPoll need "), std::string::npos)
      << out;
  EXPECT_NE(out.find("!  aborting stream " + std::to_string(handle) + "\n"), std::string::npos);
  EXPECT_NE(out.find("!Stream " + std::to_string(handle) + " aborted\n"), std::string::npos);
  EXPECT_TRUE(acsStreamAborted);
  EXPECT_EQ(ackCount, 0);  // nothing confirmed since the open
  EXPECT_EQ(msgCount, 1);
  EXPECT_EQ(errCount, 1);
}

TEST_F(Poll, EveryDeviceSnapshotThatFitsA32BitBufferIsReceived) {
  writeProfile("[PROBIX]\nAutoEventReport=0\n[Server]\nServerID=SCRIPTED\nUserID=Telvanix\n");
  openStream();
  // 24 calls with 97 different states between them fill the 2332 bytes of a
  // 32-bit build exactly.
  wire::Event snap = wire::cstaConfirmation(CSTA_SNAPSHOT_DEVICE_CONF, 77);
  int state = 0;
  for (int i = 0; i < 24; ++i) {
    wire::DeviceSnapshotEntry entry;
    entry.call = wire::connection(500 + i, "201");
    for (int k = 0; k < (i == 0 ? 5 : 4); ++k)
      entry.states.push_back(static_cast<LocalConnectionState_t>(state++));
    snap.deviceSnapshot.push_back(entry);
  }
  ASSERT_EQ(state, 97);
  if (sizeof(void*) == 4) {
    EXPECT_EQ(EVENT_BUFFER_SIZE, 2332u);
    EXPECT_EQ(wire::layoutSize(snap), 2332u);
  }
  EXPECT_LE(wire::layoutSize(snap), EVENT_BUFFER_SIZE);
  scripted.push(snap);
  const std::string out = poll();
  EXPECT_EQ(out.find("buffer too small"), std::string::npos) << out;
  EXPECT_FALSE(acsStreamAborted);
  EXPECT_EQ(deviceSnapshots, 1);
}

TEST_F(Poll, EventsAreCountedAndTrackedWithOrWithoutReports) {
  openStream();
  monitorDevice("201");
  eventReports = false;
  EXPECT_EQ(poll(), "") << "written with event reports off";
  EXPECT_EQ(ackCount, 1);  // the monitor
  EXPECT_EQ(msgCount, 1);
  EXPECT_EQ(lastMonitorID, monitorDictionary["201"]);
  EXPECT_NE(lastMonitorID, 0u);

  // A call of 201 clears; the current call is another one and stays.
  const std::int32_t call = callOf(sw.control("dial 201 202"));
  currentCall = call + 100;
  sw.control("hangup 201");
  EXPECT_EQ(poll(), "");
  EXPECT_GT(msgCount, 1);
  EXPECT_EQ(eventsProcessed, msgCount);
  EXPECT_EQ(currentCall, call + 100);

  // With reports on, the events follow a new line and the prompt comes back.
  const std::int32_t second = callOf(sw.control("dial 201 203"));
  currentCall = second;
  sw.control("hangup 201");
  eventReports = true;
  const std::string out = poll();
  EXPECT_EQ(out.rfind("\n! ", 0), 0u) << out;
  EXPECT_NE(out.find("Call cleared:"), std::string::npos) << out;
  EXPECT_EQ(out.substr(out.size() - 7), "PROBIX>") << out;
  EXPECT_EQ(currentCall, 0);
}

TEST_F(Poll, DeviceSnapshotOfThirtyCallsAsksTwentyFourCallSnapshots) {
  openStream();
  wire::Event snap = wire::cstaConfirmation(CSTA_SNAPSHOT_DEVICE_CONF, 77);
  for (int i = 0; i < 30; ++i) {
    wire::DeviceSnapshotEntry entry;
    entry.call = wire::connection(500 + i, "201");
    entry.states.push_back(CS_CONNECT);
    snap.deviceSnapshot.push_back(entry);
  }
  const InvokeID_t before = invokeID;
  LaidOutEvent laid(snap);
  handleEvent(laid.event(), nullptr);
  EXPECT_EQ(invokeID, before + 24);
  EXPECT_EQ(deviceSnapshots, 1);
  EXPECT_EQ(currentCall, 500);

  // The switch knows none of those calls: 24 failures come back.
  poll();
  EXPECT_EQ(cstaFailCount, 24);
  EXPECT_EQ(callSnapshots, 0);
}

TEST_F(Poll, LoadTestKeepsSnapshotsGoingAndMeasuresEachRound) {
  openStream();
  setEventClocksForTests(readFakeSeconds, readSteppingMillis);
  ::testing::internal::CaptureStdout();
  i_giveBackLine("11 1 201");  // more than 10 is asked again
  doSetContinuous();
  std::fflush(stdout);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "? value must not be larger than 10\n");
  EXPECT_TRUE(loadServer);
  EXPECT_STREQ(primaryDevice, "201");

  // The switch answers at once, so the queue never runs dry; the poll still
  // hands back control.
  const std::string out = poll();
  EXPECT_GE(deviceSnapshots, 101);
  // Each round reads the clock at its start and its end: one second apart.
  EXPECT_NE(out.find("1.000000 seconds 101.000000 snapsPerSecond\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" 1 seconds 100.000000 eventsPerSecond\n"), std::string::npos);
  EXPECT_FLOAT_EQ(maxSnapsPerSecond, 101.0f);
  EXPECT_FLOAT_EQ(minEventsPerSecond, 100.0f);

  doClearContinuous();
  poll();
  const long settled = deviceSnapshots;
  poll();
  EXPECT_EQ(deviceSnapshots, settled);
}

TEST_F(Poll, DigitsSeenStopThePlayWhenAsked) {
  writeProfile("[PROBIX]\nAutoEventReport=0\n[Server]\nServerID=SCRIPTED\nUserID=Telvanix\n");
  openStream();
  wire::Event digits = wire::cstaUnsolicited(CSTA_PRIVATE_STATUS, 1);
  unsigned char data[300] = {};
  data[0] = 22;  // digits seen
  data[2] = 0x34;
  data[3] = 0x12;  // call 0x1234
  std::memcpy(data + 6, "201", 3);
  wire::setPrivate(digits.priv, "Telvanix Version 1.0", data, sizeof data);
  scripted.push(digits);
  poll();
  EXPECT_TRUE(scripted.requests.empty()) << "stopped a play without being asked";

  autoStopPlay = true;
  scripted.push(digits);
  const InvokeID_t stopID = invokeID;
  poll();
  ASSERT_EQ(scripted.requests.size(), 1u);
  const wire::Request& stop = scripted.requests[0];
  EXPECT_EQ(stop.op, wire::Op::EscapeService);
  EXPECT_EQ(stop.invokeID, stopID);
  EXPECT_STREQ(stop.priv.vendor, "Telvanix Version 1.0");
  ASSERT_EQ(stop.priv.data.size(), 299u);
  const std::uint8_t* m = stop.priv.data.data();  // the message from its type on
  EXPECT_EQ(m[0] | m[1] << 8, 12);               // stop play
  EXPECT_EQ(m[2] | m[3] << 8, 0x1234);
  EXPECT_STREQ(reinterpret_cast<const char*>(m + 6), "201");
  EXPECT_EQ(m[72 + 4], 0) << "file name not empty";
  const std::uint32_t tagged = m[72 + 132] | m[73 + 132] << 8 | m[74 + 132] << 16;
  EXPECT_EQ(tagged, stopID);
}

TEST_F(Poll, OpenAsksForPrivateStatusReportsBeforeAnythingElse) {
  writeProfile("[PROBIX]\nAutoEventReport=0\n[Server]\nServerID=SCRIPTED\nUserID=Telvanix\n");
  autoLogSMDR = 0;
  i_giveBackLine("SCRIPTED Telvanix ~");
  connectQuietly();
  const InvokeID_t openID = acsOpenInvokeID;
  ASSERT_EQ(scripted.requests.size(), 1u) << "asked before the open was confirmed";

  poll();
  // Attended, the open is followed by that request alone: no monitors.
  ASSERT_EQ(scripted.requests.size(), 2u);
  const wire::Request& start = scripted.requests[1];
  EXPECT_EQ(start.op, wire::Op::EscapeService);
  EXPECT_EQ(start.invokeID, openID + 1);
  EXPECT_STREQ(start.priv.vendor, "Telvanix Version 1.0");
  ASSERT_EQ(start.priv.data.size(), 299u);
  const std::uint8_t* m = start.priv.data.data();  // the message from its type on
  EXPECT_EQ(m[0] | m[1] << 8, kqPvtStartPrivateStatus);
  for (int i = 2; i < 72; ++i) ASSERT_EQ(m[i], 0) << "a connection at byte " << i;
  EXPECT_EQ(ackCount, 2);  // the open and the request
  EXPECT_EQ(invokeID, openID + 2);
}

class Wait : public StreamTest {};

TEST_F(Wait, WatchOnAcknowledgementsReturnsWithTheFirstConfirmation) {
  openStream();
  monitorDevice("201");  // its confirmation waits in the queue
  millisReads() = 0;
  i_giveBackLine("5 ACK");
  doWatch();
  EXPECT_EQ(ackCount, 1);
  EXPECT_LE(millisReads(), 2) << "kept waiting after the confirmation";

  // Nothing more comes: the full time passes, and so does it for a name
  // that is not a counter.
  millisReads() = 0;
  EXPECT_FALSE(doWatchTime(5, &ackCount, ackCount));
  EXPECT_GE(millisReads(), 6);
  millisReads() = 0;
  i_giveBackLine("3 BOGUS");
  doWatch();
  EXPECT_GE(millisReads(), 4);
}

TEST_F(Wait, AReplyWaitEndsWithItsOwnAnswerAndNoOther) {
  openStream();
  // Two answers wait in the queue: a failure, then a confirmation.
  const InvokeID_t refused = invokeID;
  monitorDevice("x1#99");
  const InvokeID_t confirmed = invokeID;
  monitorDevice("201");
  millisReads() = 0;
  EXPECT_TRUE(waitForReply(confirmed, 3));
  EXPECT_LE(millisReads(), 2) << "kept waiting after its confirmation";
  EXPECT_EQ(cstaFailCount, 1);

  // Answered already (in the poll above) or never sent: nothing ends the
  // wait but its time, whatever else is answered meanwhile.
  monitorDevice("202");
  millisReads() = 0;
  EXPECT_FALSE(waitForReply(refused, 3));
  EXPECT_GE(millisReads(), 4);
  EXPECT_EQ(ackCount, 2);
  EXPECT_FALSE(waitForReply(invokeID + 5, 1));
}

TEST_F(Wait, WaitTakesWholeSecondsUpToADayAndRefusesTheRest) {
  struct Case {
    const char* answer;
    const char* message;
  } refused[] = {
      {"99999999999999999999", "? 99999999999999999999 is too large, must be less than 86401\n"},
      {"86401", "? 86401 is too large, must be less than 86401\n"},
      {"0-9223372036854775807", "? 0-9223372036854775807 is too large, must be less than 86401\n"},
      {"-9223372036854775808-9223372036854775807",
       "? Improper format for a number: \"-9223372036854775808-9223372036854775807\"\n"},
      {"nan", "? Improper format for a number: \"nan\"\n"},
      {"1e3", "? Improper format for a number: \"1e3\"\n"},
      {"-5", "? Improper format for a number: \"-5\"\n"},
      {"3-", "? Improper format for a number: \"3-\"\n"},
  };
  // Each refused answer is asked again; the next word answers (no wait).
  for (const Case& c : refused) {
    i_endUserInput();
    i_giveBackLine((std::string(c.answer) + " 0").c_str());
    millisReads() = 0;
    ::testing::internal::CaptureStdout();
    doWait();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), std::string(c.message)) << c.answer;
    EXPECT_LE(millisReads(), 2) << c.answer << " was waited for";
  }

  // A range waits its lower bound plus at most the difference.
  for (int i = 0; i < 5; ++i) {
    i_endUserInput();
    i_giveBackLine("1-3");
    millisReads() = 0;
    doWait();
    EXPECT_GE(millisReads(), 2);
    EXPECT_LE(millisReads(), 5);
  }
}

}  // namespace
}  // namespace stream_test
