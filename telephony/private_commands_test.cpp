// The private commands seen from the switch: what their requests carry, as
// the simulator stores it and answers it back, and as a scripted server
// receives it; and the dispatcher's own private requests.
#include "telephony/private_commands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "console/test_files.h"
#include "display/private_display.h"
#include "platform/fileops.h"
#include "telephony/test_switch.h"

namespace stream_test {
namespace {

class PrivateCommands : public StreamTest {
 protected:
  void SetUp() override {
    StreamTest::SetUp();
    resetPrivateCommands();
    playCount = 0;
    lastSystemInfo = {};
    lastDSpanInfo = {};
  }
  void TearDown() override {
    release(playFilename);
    release(mkCallee);
    release(primarySpan);
    StreamTest::TearDown();
  }

  // Runs a command with `answers` as the console's lines; returns what it
  // printed. Events that arrive are handled as they come.
  std::string run(void (*command)(), const std::string& answers) {
    testfiles::TempFile console(answers);
    EXPECT_TRUE(testfiles::feedConsole(console));
    i_endUserInput();
    ::testing::internal::CaptureStdout();
    command();
    doGetEvents();
    std::fflush(stdout);
    std::string said = ::testing::internal::GetCapturedStdout();
    i_endUserInput();
    return said;
  }

  void useScripted() {
    writeProfile("[PROBIX]\nAutoEventReport=0\n[Server]\nServerID=SCRIPTED\nUserID=Telvanix\n");
    openStream();
  }

  // The private message of a request the scripted server received.
  static TelvanixPrivateMessage messageOf(const wire::Request& r) {
    std::vector<std::uint8_t> bytes(r.priv.vendor, r.priv.vendor + 32);
    bytes.push_back(static_cast<std::uint8_t>(r.priv.data.size()));
    bytes.push_back(static_cast<std::uint8_t>(r.priv.data.size() >> 8));
    bytes.insert(bytes.end(), r.priv.data.begin(), r.priv.data.end());
    TelvanixPrivateMessage m;
    EXPECT_TRUE(readPrivateBytes(bytes.data(), bytes.size(), &m));
    return m;
  }

  static wire::Event report(const TelvanixPrivateMessage& m) {
    wire::Event e = wire::cstaUnsolicited(CSTA_PRIVATE_STATUS, 0);
    wire::setPrivate(e.priv, asPrivateData(&m));
    return e;
  }

  static TelvanixPrivateMessage ended(std::uint32_t tag) {
    TelvanixPrivateMessage m;
    buildPrivateMessage(&m, kqPvtPlayEnded, 1, "401");
    m.file.invokeID = tag;
    return m;
  }
};

TEST_F(PrivateCommands, SystemInfoAgainstOldFirmwareAsksOnlyWhatItKnows) {
  openStream();
  o_storeFirmwareVersion("2.2-100", 8);
  const std::string said = run(doSetSystemInfo, "2\n3\nYES\n5\n6\n");
  EXPECT_EQ(said.find("Flash"), std::string::npos) << said;
  EXPECT_EQ(said.find("CallerID"), std::string::npos);
  EXPECT_EQ(said.find("Park"), std::string::npos);
  // The switch's answer holds what it was sent.
  const TelvanixPrivateSystemInfo got = lastSystemInfo;
  const soundType hold = got.audioOnHold;
  const std::uint16_t flash = got.flashTimeout, ringback = got.parkRingbackTime;
  EXPECT_EQ(got.trunksForIncoming, 2);
  EXPECT_EQ(hold, kqPvtContinuousRingToneSound);
  EXPECT_EQ(got.rotateTrunkUsage, 1);
  EXPECT_EQ(got.digitPlayTime, 5);
  EXPECT_EQ(got.digitQuietTime, 6);
  EXPECT_EQ(flash, 7);
  EXPECT_EQ(got.callerIDunavailable, 0);
  EXPECT_EQ(ringback, 0);
}

TEST_F(PrivateCommands, FlashTimeoutBeyondItsByteIsAskedAgain) {
  openStream();  // firmware 3.1: every question
  const std::string said = run(doSetSystemInfo, "1\n0\nNO\n4\n4\n300\n200\nNO\n650\n");
  EXPECT_NE(said.find("? 300 is too large"), std::string::npos) << said;
  const TelvanixPrivateSystemInfo got = lastSystemInfo;
  const std::uint16_t flash = got.flashTimeout, ringback = got.parkRingbackTime;
  EXPECT_EQ(flash, 200);
  EXPECT_EQ(got.callerIDunavailable, 1);
  EXPECT_EQ(ringback, 650);
}

// The switch's clock and a hook that moves it on when the operator is
// about to answer the second question: the get's reply, held back by the
// switch's delay, comes in while the questions are being answered.
telsim::Switch* lateSwitch = nullptr;
int idleCalls = 0;
void replyWhileAnswering() {
  if (++idleCalls == 2) lateSwitch->advance(1500);
  doGetEvents();
}

TEST_F(PrivateCommands, ALateReplyDoesNotUndoTheAnswersGiven) {
  openStream();
  sw.control("delay 1500");
  lateSwitch = &sw;
  idleCalls = 0;
  const IdleRoutine previous = setCallWhileIdle(replyWhileAnswering);
  run(doSetSystemInfo, "9\n3\nYES\n5\n6\n100\nNO\n650\n");
  setCallWhileIdle(previous);
  ASSERT_GE(idleCalls, 2);
  EXPECT_EQ(lastSystemInfo.trunksForIncoming, 9) << "as typed, kept till the set has gone";
  sw.advance(1500);  // the set's own reply
  doGetEvents();
  const TelvanixPrivateSystemInfo got = lastSystemInfo;
  const std::uint16_t flash = got.flashTimeout, ringback = got.parkRingbackTime;
  EXPECT_EQ(got.trunksForIncoming, 9);
  EXPECT_EQ(got.digitQuietTime, 6);
  EXPECT_EQ(flash, 100);
  EXPECT_EQ(ringback, 650);
}

// Input that runs out inside a read-modify-write command ends it after its
// get: no set goes out, whichever question was being asked.
TEST_F(PrivateCommands, EndOfInputInsideASettingCommandSendsNoSet) {
  openStream();  // firmware 3.1: every question
  const char* const system[] = {"9", "3", "YES", "5", "6", "100", "NO", "650"};
  for (std::size_t asked = 0; asked < sizeof system / sizeof system[0]; ++asked) {
    std::string answers;
    for (std::size_t i = 0; i < asked; ++i) answers += std::string(system[i]) + "\n";
    const InvokeID_t before = invokeID;
    run(doSetSystemInfo, answers);
    EXPECT_EQ(invokeID, before + 1) << "input ended at question " << asked + 1;
  }
  doGetSystemInfo();
  doGetEvents();
  const TelvanixPrivateSystemInfo got = lastSystemInfo;
  const std::uint16_t flash = got.flashTimeout;
  EXPECT_EQ(got.trunksForIncoming, 1);
  EXPECT_EQ(got.rotateTrunkUsage, 0);
  EXPECT_EQ(flash, 7);

  const char* const line[] = {"201", "3", "4", "250", "5", "ON", "YES", "555-1212"};
  for (std::size_t asked = 1; asked < sizeof line / sizeof line[0]; ++asked) {
    std::string answers;
    for (std::size_t i = 0; i < asked; ++i) answers += std::string(line[i]) + "\n";
    const InvokeID_t before = invokeID;
    run(doSetLineInfo, answers);
    EXPECT_EQ(invokeID, before + 1) << "input ended at question " << asked + 1;
  }
}

// "~" at the file question cancels the play, and the default stays.
TEST_F(PrivateCommands, TildeAtTheFileCancelsThePlay) {
  useScripted();
  const InvokeID_t before = invokeID;
  run(doPlayFile, "~\n");
  run(doMultiplePlay, "2\n~\n");
  EXPECT_EQ(invokeID, before);
  EXPECT_STREQ(playFilename, "RECORD.MU");
  EXPECT_EQ(playCount, 0);
}

TEST_F(PrivateCommands, StreamInfoRefusesTooManyAndRetriesAFullQueue) {
  openStream();
  InvokeID_t before = invokeID;
  EXPECT_EQ(run(doGetStreamInfo, "600\n"), "Number of streams to report on [64]: \n? Too many streams 600\n");
  EXPECT_EQ(run(doGetStreamInfo, "0\n"), "Number of streams to report on [600]: \n");
  EXPECT_EQ(invokeID, before);

  sw.control("refuse 2 queue_full");
  const std::string said = run(doGetStreamInfo, "2\n");
  EXPECT_EQ(said.find("ACS ERROR"), std::string::npos) << said;
  EXPECT_EQ(invokeID, before + 2);
  EXPECT_EQ(highestStreamSeen, 1);
  const TelvanixPrivateStreamInfo* ours = &streamStatus[1];
  EXPECT_EQ(ours->inUse, 1);
  EXPECT_EQ(ours->privateStatusEnabled, 1);
}

TEST_F(PrivateCommands, MultiplePlaysSendEachPlayWhenTheLastOneEnds) {
  openStream();
  testfiles::TempFile base;
  const std::string path = std::string(base.path()) + ".vox";  // a name with its own extension
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fputs(std::string(800, 'v').c_str(), f);
  std::fclose(f);
  // The switch plays only what lies on a drive it serves.
  plat_setenv("TELVANIX_DRIVE_T", path.substr(0, path.find_last_of("/\\")).c_str());
  sw.control("dial 401 401");  // a voice port's call to itself: call 1
  primaryDevice = alloc_str("401");
  const InvokeID_t first = invokeID;
  run(doMultiplePlay, "3\n" + path + "\n0\n1\n");
  EXPECT_EQ(invokeID, first + 1);
  for (int play = 2; play <= 3; ++play) {
    sw.advance(100);
    doGetEvents();
    EXPECT_EQ(invokeID, first + play) << "play " << play << " not sent";
    EXPECT_EQ(lastPlayInvokeID, first + play - 1);
  }
  sw.advance(100);
  doGetEvents();
  EXPECT_EQ(invokeID, first + 3) << "a fourth play";
  EXPECT_EQ(playCount, 0);
  plat_setenv("TELVANIX_DRIVE_T", nullptr);
  plat_delete_file(path.c_str());
}

TEST_F(PrivateCommands, OnlyTheLastPlaysEndCountsAndStopEndsTheRepeats) {
  useScripted();
  playCount = 3;
  lastPlayInvokeID = 40;
  currentCall = 1;
  scripted.push(report(ended(39)));  // a late report of an earlier play
  doGetEvents();
  EXPECT_TRUE(scripted.requests.empty());
  EXPECT_EQ(playCount, 3);
  scripted.push(report(ended(40)));
  doGetEvents();
  ASSERT_EQ(scripted.requests.size(), 1u);
  EXPECT_EQ(messageOf(scripted.requests[0]).header.msgType, kqPvtPlayTillDTMF);
  EXPECT_EQ(playCount, 2);

  run(doStopPlay, "");
  ASSERT_EQ(scripted.requests.size(), 2u);
  EXPECT_EQ(messageOf(scripted.requests[1]).header.msgType, kqPvtPlayStop);
  EXPECT_EQ(playCount, 0);
  scripted.push(report(ended(lastPlayInvokeID)));
  doGetEvents();
  EXPECT_EQ(scripted.requests.size(), 2u) << "a play after the stop";
}

TEST_F(PrivateCommands, TheAutomaticStopLeavesTheCommandsBufferAlone) {
  useScripted();
  // A command has built half its message when events are handled.
  TelvanixPrivateMessage* half = setupPrivateMessage(kqPvtSetTranslation, 0, nullptr);
  putPrivateText(half->xlate.pattern, "keep");
  autoStopPlay = true;
  playCount = 2;
  TelvanixPrivateMessage seen;
  buildPrivateMessage(&seen, kqPvtDigitsSeen, 7, "L1#2");
  scripted.push(report(seen));
  doGetEvents();
  ASSERT_EQ(scripted.requests.size(), 1u);
  const TelvanixPrivateMessage stop = messageOf(scripted.requests[0]);
  EXPECT_EQ(stop.header.msgType, kqPvtPlayStop);
  const std::int32_t stoppedCall = stop.header.connection.callID;
  EXPECT_EQ(stoppedCall, 7);
  EXPECT_EQ(getPrivateText(stop.header.connection.deviceID), "L1#2");
  EXPECT_EQ(playCount, 0);
  EXPECT_EQ(half->header.msgType, kqPvtSetTranslation);
  EXPECT_EQ(getPrivateText(half->xlate.pattern), "keep");
}

// A message built in the send buffer starts clean, scratch area included, and
// clearing the scratch area at a stream open leaves a built message alone.
TEST(SendArea, BuildingClearsTheScratchAndTheScratchAloneCanBeCleared) {
  std::memset(static_cast<void*>(&pvtSendArea), 0xAA, sizeof pvtSendArea);
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtPlay, 5, "201");
  ASSERT_EQ(m, &pvtSendArea.message);
  const std::uint16_t length = m->header.length;  // packed fields are read by value
  const std::uint32_t position = m->file.position;
  EXPECT_EQ(length, 299);
  EXPECT_EQ(position, 0u);
  const unsigned char* scratch = reinterpret_cast<const unsigned char*>(&pvtSendArea.scratch);
  for (std::size_t i = 0; i < sizeof pvtSendArea.scratch; ++i) ASSERT_EQ(scratch[i], 0) << i;

  std::memset(static_cast<void*>(&pvtSendArea.scratch), 0xAA, sizeof pvtSendArea.scratch);
  clearPrivateScratchHeader();
  for (std::size_t i = 0; i < sizeof pvtSendArea.scratch; ++i) ASSERT_EQ(scratch[i], 0) << i;
  EXPECT_EQ(getPrivateText(m->header.connection.deviceID), "201");
}

TEST_F(PrivateCommands, SpanSignallingIsPRIOnlyWhenCASIsRefusedAndPRIChosen) {
  openStream();
  run(doSetSpanInfo, "D1#1\nE1\n\n\n\n\nNO\nNO\nNO\nYES\n9\n");
  EXPECT_EQ(lastDSpanInfo.spanSignal, qxPvtDSspanSigCAS);
  EXPECT_EQ(lastDSpanInfo.connectType, qxPvtDSconnectPBX);
  EXPECT_EQ(lastDSpanInfo.mode, qxPvtDSmodeE1);
  EXPECT_EQ(lastDSpanInfo.frame, qxPvtDSframeESF) << "the framing read back is the default";
  EXPECT_EQ(lastDSpanInfo.lineSignal, qxPvtDSsigEandM);
  EXPECT_EQ(lastDSpanInfo.expectedDIDdigits, 9);
  run(doSetSpanInfo, "D1#1\n\n\n\n\n\nNO\nYES\nYES\nYES\n9\n");
  EXPECT_EQ(lastDSpanInfo.spanSignal, qxPvtDSspanSigPRI);
  EXPECT_EQ(lastDSpanInfo.connectType, qxPvtDSconnectNet);
  // A cancelled choice sends nothing after the get.
  const InvokeID_t before = invokeID;
  run(doSetSpanInfo, "D1#1\n~\n");
  EXPECT_EQ(invokeID, before + 1);
}

TEST_F(PrivateCommands, CTICallSendsTheCallerAndItsValueAndRemembersTheCallee) {
  openStream();
  run(doMakeCTIcall, "205\n206\n77\n");
  EXPECT_STREQ(mkCallee, "206");
  EXPECT_EQ(sw.control("calls"), "call 1: 205(I)\n");
  EXPECT_EQ(currentCall, 1) << "the switch's call information names the call";
  EXPECT_EQ(clientCTIinfo, 77);
}

}  // namespace
}  // namespace stream_test
