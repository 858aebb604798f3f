// A channel against a scripted stream: opening, the private request record,
// the confirmation wait and what it passes over, digits, and the play,
// record and digit operations with their termination reasons.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "voxbridge/channel.h"
#include "voxbridge/config.h"
#include "voxbridge/include/voxlib.h"
#include "voxbridge/tsapi.h"
#include "voxbridge/voicefiles.h"
#include "voxbridge/test_fake_stream.h"
#include "voxbridge/test_log_capture.h"
#include "voxbridge/test_util.h"

using namespace vox;
using voxtest::FakeStream;
using voxtest::LogCapture;
using voxtest::SentRequest;

namespace {

std::string g_drives;

bool contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

int count(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<int>(std::count(v.begin(), v.end(), s));
}

void setUpDrives() {
  if (!g_drives.empty()) return;
  g_drives = voxtest::scratchDir("config");
  voxtest::useScratchDrives();
  voxtest::makeDirs("C:\\TEMP");
  voxtest::makeDirs("C:\\voice");
  std::string ini = g_drives + "/telsrvr.ini";
  voxtest::writeFile(ini, "[Setup]\nServer=TEST\nDeviceID=401\nKVRLine=1\n");
  configResetForTests();
  configReadFileForTests(ini.c_str());
}

DV_TPT term(std::uint16_t termno, std::uint16_t length, std::uint16_t flags = 0, bool last = true) {
  DV_TPT t;
  std::memset(&t, 0, sizeof t);
  t.tp_type = last ? IO_EOT : IO_CONT;
  t.tp_termno = termno;
  t.tp_length = length;
  t.tp_flags = flags;
  return t;
}

class Channel : public ::testing::Test {
 protected:
  void SetUp() override {
    setUpDrives();
    ch.reset(new DialogicChannel("dxxxB1C1"));
    ASSERT_TRUE(ch->isOpen);
    fake.sent.clear();
  }
  void TearDown() override { ch.reset(); }
  // The device has a connected call 5.
  void callPresent() { fake.deviceCalls = {{5, CS_CONNECT}}; }
  std::vector<std::string> ops() { return fake.ops(); }

  FakeStream fake;
  std::unique_ptr<DialogicChannel> ch;
};

// ---- opening ------------------------------------------------------------------

TEST_F(Channel, OpeningSubscribesOnItsOwnStreamAndClosingClosesIt) {
  ch.reset();
  fake.sent.clear();
  LogCapture log;
  ch.reset(new DialogicChannel("dxxxB1C1"));
  EXPECT_TRUE(ch->isOpen);
  EXPECT_EQ(7u, ch->acsHandle);
  EXPECT_STREQ("401", ch->deviceID);
  EXPECT_EQ((std::vector<std::string>{"open", "escape 1"}), ops());
  EXPECT_EQ("TEST", fake.sent[0].device);
  EXPECT_EQ(308u, fake.sent[1].privateBytes);
  EXPECT_TRUE(log.has("Device set to: 401 for Channel: 1"));
  ch.reset();
  EXPECT_EQ("close", ops().back());
}

TEST_F(Channel, BoardDevicesAndUnmappedChannelsOpenWithoutAStream) {
  LogCapture log;
  DialogicChannel board("dxxxB1");
  EXPECT_TRUE(board.isOpen);
  EXPECT_EQ(static_cast<ACSHandle_t>(-1), board.acsHandle);
  EXPECT_EQ(1, board.board);
  EXPECT_EQ(-1, board.channel);
  DialogicChannel unmapped("dxxxB1C0");
  EXPECT_TRUE(unmapped.isOpen);
  EXPECT_EQ(static_cast<ACSHandle_t>(-1), unmapped.acsHandle);
  EXPECT_TRUE(log.has("Cannot find channel number: 0 from DeviceID map"));
  EXPECT_TRUE(fake.sent.empty());
}

TEST_F(Channel, AFailedOpenOrSubscriptionLeavesTheChannelClosed) {
  LogCapture log;
  fake.failNext("open", ACSCONFIRMATION);
  DialogicChannel a("dxxxB1C1");
  EXPECT_FALSE(a.isOpen);
  EXPECT_TRUE(log.has("ACS Universal Failure. Error 12."));
  EXPECT_TRUE(log.has("OpenStream or confirmation error. Error -1"));
  fake.refuseNext("escape", ACSERR_NOSERVER);
  DialogicChannel b("dxxxB1C1");
  EXPECT_FALSE(b.isOpen);
  EXPECT_TRUE(log.has("Can't subscribe to private messages: -5"));
  fake.failNext("open", CSTACONFIRMATION);
  EXPECT_EQ(-1, dx_open("dxxxB1C1", 0));
}

TEST(PrivateRequest, IsThe308ByteRecordWithTheWholeDevice) {
  ConnectionID_t conn;
  std::memset(&conn, 'x', sizeof conn);
  conn.callID = 0x1234;
  TelvanixPrivateVoxMessage area;
  std::memset(&area, 0xEE, sizeof area);
  DialogicChannel::BuildPrivateRequest(&area, kqPvtPlay, conn);
  const unsigned char* b = reinterpret_cast<const unsigned char*>(&area);
  ASSERT_EQ(308u, sizeof area);
  EXPECT_EQ(0, std::memcmp(b, "Telvanix Version 1.0\0\0\0\0\0\0\0\0\0\0\0", 32));
  EXPECT_EQ(274, b[32] | b[33] << 8);
  EXPECT_EQ(10, b[34]);
  EXPECT_EQ(0x34, b[36]);
  EXPECT_EQ(0x12, b[37]);
  EXPECT_EQ(std::string(64, 'x'), std::string(reinterpret_cast<const char*>(b + 40), 64));
  EXPECT_EQ(0, b[104]);
  EXPECT_EQ(0, b[105]);
  EXPECT_EQ(0, b[307]);
}

// ---- the confirmation wait ---------------------------------------------------------

// Passed over while a request waits: events of the channel's call are read
// next, digits are kept, the rest is dropped; call 0 is no call.
TEST_F(Channel, OnlyTheCallsEventsAndDigitsOutliveAConfirmationWait) {
  ch->connection.callID = 9;
  fake.pushCallCleared(8);  // another call
  fake.pushCallCleared(0);
  fake.pushCallCleared(9);
  fake.pushEvent(ACSUNSOLICITED, ACS_KEY_REPLY);
  fake.pushEvent(CSTACONFIRMATION, CSTA_SNAPSHOT_CALL_CONF, 999);
  fake.pushDigits("12");
  fake.pushPrivate(kqPvtPlayEnded, 9, 1, 40);
  EXPECT_EQ(0, ch->GetDTMFDetector());
  EXPECT_EQ(2, ch->digitCount);
  EXPECT_EQ(2u, ch->heldEvents());
  EventType_t type = 0;
  EXPECT_EQ(0, ch->WaitUnsolicitedEvent(&type, true));
  EXPECT_EQ(CSTA_CALL_CLEARED, type);
  EXPECT_EQ(9, ch->event().event.cstaUnsolicited.u.callCleared.clearedCall.callID);

  // Once the channel works on another call, what is left of the old one is
  // not replayed.
  ch->connection.callID = 10;
  EXPECT_EQ(ACSERR_NOMESSAGE, ch->GetUnsolicitedEvent(&type, true));
  EXPECT_EQ(0u, ch->heldEvents());
}

TEST_F(Channel, FailuresEndTheWait) {
  LogCapture log;
  fake.pushUniversalFailure(ACSUNSOLICITED, 0, 33);
  EXPECT_EQ(-1, ch->GetDTMFDetector());
  EXPECT_TRUE(log.has("ACS Unsolicited Universal Failure. Error 33."));
  EXPECT_FALSE(ch->detectorHeld);

  fake.failNext("escape", CSTACONFIRMATION);
  EXPECT_EQ(-1, ch->GetDTMFDetector());
  EXPECT_TRUE(log.has("CSTA Universal Failure. Error 12."));

  RetCode_t id = tsapi().snapshotCall(7, 0, &ch->connection, nullptr);
  EXPECT_EQ(-1, ch->GetConfirmationEvent(7, id, CSTA_MAKE_CALL_CONF, ch->eventBuffer));
  EXPECT_TRUE(log.has("Got wrong type confirmation event. Expecting 24, Got 121"));

  std::size_t before = fake.queued();
  EXPECT_EQ(ACSERR_QUEUE_FULL, ch->GetConfirmationEvent(7, ACSERR_QUEUE_FULL, CSTA_MAKE_CALL_CONF, ch->eventBuffer));
  EXPECT_EQ(before, fake.queued());
}

TEST_F(Channel, TheSixthBufferTooSmallEndsTheWaitWhateverCameBetween) {
  LogCapture log;
  fake.pushTooSmall();
  fake.pushTooSmall();
  fake.pushEvent(CSTACONFIRMATION, CSTA_SNAPSHOT_CALL_CONF, 999);
  for (int i = 0; i < 4; ++i) fake.pushTooSmall();
  EXPECT_EQ(-1, ch->GetDTMFDetector());
  EXPECT_TRUE(log.has("EventBuffer too small -7 5000 616"));
  EXPECT_EQ(1u, fake.queued());  // the confirmation was never read
}

// ---- digits -------------------------------------------------------------------

TEST_F(Channel, DigitsAreReadAsFarAsPresentAndBoundedByTheBuffer) {
  LogCapture log;
  TelvanixPrivateMessage m;
  buildPrivateMessage(&m, kqPvtDigitsSeen, 5, "401");
  std::memset(m.digits.digits, '1', sizeof m.digits.digits);
  m.digits.count = 300;  // more than a record holds
  ch->ProcessDialedDigits(m, 0);
  EXPECT_EQ(64, ch->digitCount);
  m.digits.count = 2;
  ch->ProcessDialedDigits(m, 0);
  EXPECT_EQ(64, ch->digitCount);
  EXPECT_TRUE(log.has("Digit buffer full: 2 digits dropped"));

  DV_DIGIT d;
  d.dg_type[0] = static_cast<char>(0xFF);
  std::uint32_t received = 0;
  EXPECT_EQ(10, ch->CollectDigits(&d, 0, 10, &received));
  m.digits.count = 3;
  m.digits.digits[0] = '7';
  ch->ProcessDialedDigits(m, 0);  // room made by the digits taken
  EXPECT_EQ(57, ch->digitCount - ch->digitsTaken);
  EXPECT_EQ('7', ch->digitBuffer[54]);

  m.digits.count = -4;
  int before = ch->digitCount;
  ch->ProcessDialedDigits(m, 0);
  EXPECT_EQ(before, ch->digitCount);
}

TEST_F(Channel, CheckDigitMasks) {
  const char* digits = "1234567890*#ABCD";
  const std::uint32_t masks[] = {DM_1, DM_2, DM_3, DM_4, DM_5, DM_6, DM_7, DM_8, DM_9, DM_0,
                                 DM_S, DM_P, DM_A, DM_B, DM_C, DM_D};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(masks[i], ch->CheckDigit(digits[i])) << digits[i];
  EXPECT_EQ(0u, ch->CheckDigit('x'));
  EXPECT_EQ(0u, ch->CheckDigit('a'));
}

TEST_F(Channel, GetDigitCountLimitLeavesTheRestBuffered) {
  callPresent();
  fake.pushDigits("123456");
  ch->GetDTMFDetector();
  DV_TPT t = term(DX_MAXDTMF, 4);
  DV_DIGIT d;
  EXPECT_EQ(5, ch->GetDigit(&t, &d));
  EXPECT_STREQ("1234", d.dg_value);
  EXPECT_EQ(static_cast<char>(0xFF), d.dg_type[4]);
  EXPECT_EQ(static_cast<std::uint32_t>(TM_MAXDTMF), ch->pendingTermMask & ch->actualTermMask);
  EXPECT_EQ(2, ch->digitCount - ch->digitsTaken);
}

TEST_F(Channel, GetDigitTimeLimitCountsPollsAndSleeps) {
  DV_TPT t = term(DX_MAXTIME, 15);
  DV_DIGIT d;
  EXPECT_EQ(1, ch->GetDigit(&t, &d));
  EXPECT_EQ(15, fake.pollCount);
  EXPECT_EQ(14, fake.sleeps);
  EXPECT_EQ(1400u, fake.sleptMs);
  EXPECT_EQ(static_cast<std::uint32_t>(TM_MAXTIME), ch->pendingTermMask & ch->actualTermMask);

  fake.pollCount = fake.sleeps = 0;
  t.tp_flags = TF_10MS;
  EXPECT_EQ(1, ch->GetDigit(&t, &d));
  EXPECT_EQ(2, fake.pollCount);
  EXPECT_EQ(1, fake.sleeps);
}

TEST_F(Channel, GetDigitWithoutACallMakesAndMonitorsNothing) {
  DV_TPT t = term(DX_MAXTIME, 1);
  DV_DIGIT d;
  EXPECT_EQ(1, ch->GetDigit(&t, &d));
  EXPECT_EQ((std::vector<std::string>{"snapshotDevice"}), ops());
  EXPECT_EQ(0, ch->actualTermMask & TM_ERROR);
}

TEST_F(Channel, GetDigitStopsAtAMaskedDigitAndRefusesUnknownConditions) {
  callPresent();
  fake.onEscape(kqPvtGetDigits, [this] { fake.pushDigits("5#9"); });
  DV_TPT t[2] = {term(DX_DIGMASK, DM_P, 0, false), term(DX_MAXDTMF, 10)};
  DV_DIGIT d;
  EXPECT_EQ(3, ch->GetDigit(t, &d));
  EXPECT_STREQ("5#", d.dg_value);
  EXPECT_EQ(static_cast<std::uint32_t>(TM_DIGIT), ch->pendingTermMask & ch->actualTermMask);
  EXPECT_EQ(1, ch->digitCount - ch->digitsTaken);

  LogCapture log;
  DV_TPT bad = term(3, 1);
  EXPECT_EQ(-1, ch->GetDigit(&bad, &d));
  EXPECT_EQ(8, ch->lastError);
  EXPECT_TRUE(log.has("GetDigit: Unsupported termination condition 3"));
}

TEST_F(Channel, HangUpReleasesTheDetectorAndTheNextCallIsMonitoredAgain) {
  callPresent();
  fake.pushDigits("77");
  fake.pushCallCleared(77);  // an earlier call: not ours
  fake.onEscape(kqPvtGetDigits, [this] { fake.pushCallCleared(5); });
  DV_TPT t = term(DX_MAXDTMF, 5);
  DV_DIGIT d;
  EXPECT_EQ(3, ch->GetDigit(&t, &d));  // the two digits, then the hang-up
  EXPECT_EQ(static_cast<std::uint32_t>(TM_LCOFF), ch->actualTermMask & TM_LCOFF);
  EXPECT_EQ(0, ch->digitCount - ch->digitsTaken);  // dropped at the hang-up
  EXPECT_TRUE(contains(ops(), "escape 21"));
  EXPECT_TRUE(contains(ops(), "monitorStop"));
  EXPECT_FALSE(ch->detectorHeld);

  fake.sent.clear();
  DV_TPT quick = term(DX_MAXTIME, 1);
  ch->GetDigit(&quick, &d);
  EXPECT_TRUE(contains(ops(), "monitorCall"));
  EXPECT_TRUE(contains(ops(), "escape 20"));
}

// ---- play -----------------------------------------------------------------------

class Play : public Channel {
 protected:
  int openFile(const char* name, const std::string& bytes) {
    voxtest::writeWin(std::string("C:\\voice\\") + name, bytes);
    int h = dx_fileopen((std::string("C:\\voice\\") + name).c_str(), 0);
    handles.push_back(h);
    return h;
  }
  void TearDown() override {
    for (int h : handles) dx_fileclose(h);
    Channel::TearDown();
  }
  std::uint32_t termMask() { return ch->pendingTermMask & ch->actualTermMask; }
  // A one-entry list for a new voice file holding `bytes`.
  DX_IOTT only(const char* name, const std::string& bytes) {
    DX_IOTT iott;
    std::memset(&iott, 0, sizeof iott);
    iott.io_type = IO_EOT;
    iott.io_fhandle = openFile(name, bytes);
    iott.io_length = static_cast<std::int32_t>(bytes.size());
    return iott;
  }
  const SentRequest* request(int msgType) {
    for (const auto& r : fake.sent)
      if (r.op == "escape" && r.message.header.msgType == msgType) return &r;
    return nullptr;
  }
  std::vector<int> handles;
};


TEST_F(Play, SegmentsGoIntoOneTemporaryFileThatIsDeletedAfterwards) {
  int a = openFile("a.vox", std::string(100, 'A'));
  int b = openFile("b.vox", std::string(30, 'B'));
  DX_IOTT iott[2];
  DX_IOTT tail;
  std::memset(iott, 0, sizeof iott);
  std::memset(&tail, 0, sizeof tail);
  iott[0].io_type = IO_CONT;
  iott[0].io_fhandle = a;
  iott[0].io_length = 100;
  iott[1].io_type = IO_LINK;
  iott[1].io_fhandle = b;
  iott[1].io_offset = 5;
  iott[1].io_length = 20;
  iott[1].io_nextp = &tail;
  tail.io_type = IO_EOT;
  tail.io_fhandle = a;
  tail.io_offset = 10;
  tail.io_length = -1;  // the rest of the file
  DV_TPT t = term(DX_LCOFF, 0);
  fake.onEscape(kqPvtPlay, [this] { fake.pushPrivate(kqPvtPlayEnded, 5, 1, 210); });

  EXPECT_EQ(0, ch->Play(iott, &t));
  EXPECT_EQ(std::string(100, 'A') + std::string(20, 'B') + std::string(90, 'A'), fake.playedBytes);
  EXPECT_EQ(iott, iott[1].io_prevp);
  EXPECT_EQ(&iott[1], tail.io_prevp);
  const SentRequest* play = request(kqPvtPlay);
  ASSERT_NE(nullptr, play);
  EXPECT_EQ(210u, std::uint32_t(play->message.file.count));
  EXPECT_EQ(1u, std::uint32_t(play->message.file.invokeID));
  std::string name = getPrivateText(play->message.file.fileName);
  EXPECT_EQ(0u, name.find("\\dosdevices\\C:\\TEMP\\Kqkvr")) << name;
  char local[1024];
  ASSERT_TRUE(plat_map_path(name.c_str(), local, sizeof local));
  EXPECT_FALSE(plat_file_exists(local));
  EXPECT_EQ(210, ch->bytesTransferred);
  EXPECT_EQ(0u, termMask());
  // The channel made its own call for the play and cleared it.
  EXPECT_TRUE(contains(ops(), "makeCall"));
  EXPECT_EQ("clearCall", ops().back());
}

TEST_F(Play, ALateEndReportIsIgnoredAndFewPartiesMeanAHangUp) {
  callPresent();
  int a = openFile("c.vox", std::string(8, 'C'));
  DX_IOTT iott;
  std::memset(&iott, 0, sizeof iott);
  iott.io_type = IO_EOT;
  iott.io_fhandle = a;
  iott.io_length = 8;
  DV_TPT t = term(DX_LCOFF, 0);
  fake.onEscape(kqPvtPlay, [this] {
    fake.pushPrivate(kqPvtPlayEnded, 5, 99, 4);        // an earlier play's end
    fake.pushConnectionCleared(5, "Playing");          // the player leaving
    fake.pushConnectionCleared(5, "95551234");         // someone else leaving
  });
  fake.callSnapshotParties = 2;
  fake.onEscape(kqPvtPlayStop, [this] { fake.pushPrivate(kqPvtPlayEnded, 5, 1, 3); });
  EXPECT_EQ(0, ch->Play(&iott, &t));
  EXPECT_EQ(1, count(ops(), "snapshotCall"));
  EXPECT_EQ(1, count(ops(), "escape 12"));
  EXPECT_EQ(static_cast<std::uint32_t>(TM_LCOFF), termMask());
  EXPECT_EQ(3, ch->bytesTransferred);
  EXPECT_TRUE(contains(ops(), "escape 21"));  // detector given back on hang-up
  EXPECT_EQ(0, count(ops(), "clearCall"));      // not our call
}

TEST_F(Play, AHangUpThatArrivesWhileThePlayIsConfirmedStillEndsIt) {
  callPresent();
  int a = openFile("d.vox", std::string(8, 'D'));
  DX_IOTT iott;
  std::memset(&iott, 0, sizeof iott);
  iott.io_type = IO_EOT;
  iott.io_fhandle = a;
  iott.io_length = 8;
  DV_TPT t = term(DX_LCOFF, 0);
  fake.onEscape(kqPvtPlay, [this] { fake.pushCallCleared(5); }, true);
  EXPECT_EQ(0, ch->Play(&iott, &t));
  EXPECT_EQ(static_cast<std::uint32_t>(TM_LCOFF), termMask());
  EXPECT_EQ(0, ch->digitCount);
}

TEST_F(Play, TheCallersLeavingIsJudgedWhenTheServerEndsThePlayFirst) {
  callPresent();
  int a = openFile("h.vox", std::string(8, 'H'));
  DX_IOTT iott;
  std::memset(&iott, 0, sizeof iott);
  iott.io_type = IO_EOT;
  iott.io_fhandle = a;
  iott.io_length = 8;
  DV_TPT t = term(DX_LCOFF, 0);
  // The caller leaves and the server ends the play before the snapshot asked
  // for on the way is answered; its answer still counts.
  fake.callSnapshotParties = 2;
  fake.onEscape(kqPvtPlay, [this] {
    fake.pushConnectionCleared(5, "95551234");
    fake.pushPrivate(kqPvtPlayEnded, 5, 1, 4);
    fake.pushDigits("8");
  });
  EXPECT_EQ(0, ch->Play(&iott, &t));
  EXPECT_EQ(static_cast<std::uint32_t>(TM_LCOFF), termMask());

  // A refused snapshot: the call is gone.
  fake.sent.clear();
  fake.failNext("snapshotCall", CSTACONFIRMATION);
  fake.onEscape(kqPvtPlay, [this] {
    fake.pushConnectionCleared(5, "95551234");
    fake.pushPrivate(kqPvtPlayEnded, 5, 2, 4);
  });
  EXPECT_EQ(0, ch->Play(&iott, &t));
  EXPECT_EQ(static_cast<std::uint32_t>(TM_LCOFF), termMask());

  // Enough parties left: a normal end.
  fake.callSnapshotParties = 3;
  fake.onEscape(kqPvtPlay, [this] {
    fake.pushConnectionCleared(5, "95551234");
    fake.pushPrivate(kqPvtPlayEnded, 5, 3, 8);
  });
  EXPECT_EQ(0, ch->Play(&iott, &t));
  EXPECT_EQ(0u, termMask());
}

TEST_F(Channel, AnAnswerToAnotherSnapshotNeverEndsADigitWait) {
  callPresent();
  fake.onEscape(kqPvtGetDigits, [this] {
    fake.pushSnapshotCall(999, 0);  // not asked for by this wait
    fake.pushDigits("4");
  });
  DV_TPT t[2] = {term(DX_LCOFF, 0, 0, false), term(DX_MAXDTMF, 1)};
  DV_DIGIT d;
  EXPECT_EQ(2, ch->GetDigit(t, &d));
  EXPECT_EQ(static_cast<std::uint32_t>(TM_MAXDTMF), ch->pendingTermMask & ch->actualTermMask);
}

TEST_F(Play, LevelModeDigitAlreadyBufferedEndsAtOnce) {
  callPresent();
  fake.pushDigits("3");
  ch->GetDTMFDetector();
  int a = openFile("e.vox", "x");
  DX_IOTT iott;
  std::memset(&iott, 0, sizeof iott);
  iott.io_type = IO_EOT;
  iott.io_fhandle = a;
  iott.io_length = 1;
  DV_TPT t = term(DX_DIGMASK, DM_3 | DM_4, TF_LEVEL);
  fake.sent.clear();
  EXPECT_EQ(0, ch->Play(&iott, &t));
  EXPECT_EQ(static_cast<std::uint32_t>(TM_DIGIT), termMask());
  EXPECT_EQ(1, ch->digitCount - ch->digitsTaken);
  EXPECT_EQ(nullptr, request(kqPvtPlay));
}

TEST_F(Play, PlayTillAnyDigitLetsTheServerStop) {
  callPresent();
  int a = openFile("f.vox", "xy");
  DX_IOTT iott;
  std::memset(&iott, 0, sizeof iott);
  iott.io_type = IO_EOT;
  iott.io_fhandle = a;
  iott.io_length = 2;
  DV_TPT t = term(DX_DIGMASK, 0xFFFF, TF_LEVEL);
  fake.onEscape(kqPvtPlayTillDTMF, [this] {
    fake.pushDigits("9");
    fake.pushPrivate(kqPvtPlayEnded, 5, 1, 1);
  });
  EXPECT_EQ(0, ch->Play(&iott, &t));
  EXPECT_NE(nullptr, request(kqPvtPlayTillDTMF));
  EXPECT_EQ(0, count(ops(), "escape 12"));
  EXPECT_EQ(static_cast<std::uint32_t>(TM_DIGIT), termMask());
  EXPECT_EQ(1, ch->digitCount - ch->digitsTaken);
}

TEST_F(Play, TenFailedReadsGiveUp) {
  callPresent();
  int a = openFile("g.vox", "z");
  DX_IOTT iott;
  std::memset(&iott, 0, sizeof iott);
  iott.io_type = IO_EOT;
  iott.io_fhandle = a;
  iott.io_length = 1;
  DV_TPT t = term(DX_LCOFF, 0);
  EXPECT_EQ(-1, ch->Play(&iott, &t));
  EXPECT_EQ(ACSERR_BADHDL, ch->lastError);
  EXPECT_EQ(static_cast<std::uint32_t>(TM_ERROR), termMask());
}

TEST_F(Play, MissingSourcesAreSkipped) {
  LogCapture log;
  callPresent();
  int missing = dx_fileopen("C:\\voice\\none.vox", 0);
  handles.push_back(missing);
  DX_IOTT iott[2];
  std::memset(iott, 0, sizeof iott);
  iott[0].io_fhandle = missing;
  iott[0].io_length = 10;
  iott[1].io_type = IO_EOT;
  iott[1].io_fhandle = 55;  // no such voice file
  iott[1].io_length = 10;
  DV_TPT t = term(DX_LCOFF, 0);
  fake.onEscape(kqPvtPlay, [this] { fake.pushPrivate(kqPvtPlayEnded, 5, 1, 0); });
  EXPECT_EQ(0, ch->Play(iott, &t));
  EXPECT_TRUE(log.has("Cannot open file: C:\\voice\\none.vox"));
  EXPECT_EQ(0u, std::uint32_t(request(kqPvtPlay)->message.file.count));
}

// ---- record ----------------------------------------------------------------------

class Record : public Play {
 protected:
  DX_IOTT target(const char* name, std::int32_t length) {
    DX_IOTT iott;
    std::memset(&iott, 0, sizeof iott);
    iott.io_type = IO_EOT;
    iott.io_fhandle = dx_fileopen(name, 0);
    handles.push_back(iott.io_fhandle);
    iott.io_offset = 0;
    iott.io_length = length;
    return iott;
  }
};

TEST_F(Record, ALengthBelowOneSecondStopsAtTheFirstEmptyPoll) {
  LogCapture log;
  callPresent();
  DX_IOTT iott = target("C:\\voice\\msg.vox", 3071);
  DV_TPT t = term(DX_LCOFF, 0);
  fake.onEscape(kqPvtRecordStop, [this] { fake.pushPrivate(kqPvtRecordEnded, 5, 0, 1200); });
  EXPECT_EQ(0, ch->Record(&iott, &t));
  EXPECT_TRUE(log.has("Record timeout: 0 seconds"));
  EXPECT_TRUE(log.has("Recording in: \\dosdevices\\C:\\voice\\msg.vox"));
  EXPECT_EQ(1, fake.pollCount - 1);  // one empty poll, then the end report
  EXPECT_EQ(static_cast<std::uint32_t>(TM_MAXTIME), termMask());
  EXPECT_EQ(1200, ch->bytesTransferred);
  const SentRequest* rec = request(kqPvtRecord);
  ASSERT_NE(nullptr, rec);
  EXPECT_EQ(3071u, std::uint32_t(rec->message.file.count));
  EXPECT_EQ(0u, std::uint32_t(rec->message.file.invokeID));
}

TEST_F(Record, TheLimitIsTakenFromTheLengthAndWaitsWithoutSpinning) {
  LogCapture log;
  callPresent();
  DX_IOTT iott = target("C:\\voice\\msg.vox", 8000);  // 2 seconds
  DV_TPT t = term(DX_LCOFF, 0);
  fake.onEscape(kqPvtRecordStop, [this] { fake.pushPrivate(kqPvtRecordEnded, 5, 0, 16000); });
  EXPECT_EQ(0, ch->Record(&iott, &t));
  EXPECT_TRUE(log.has("Record timeout: 2 seconds"));
  EXPECT_GE(fake.clockMs, 2000u);
  EXPECT_LT(fake.clockMs, 3000u);
  EXPECT_EQ(fake.pollCount - 1, fake.sleeps);  // every empty poll paused
}

TEST_F(Record, NoLengthMeansNoTimeLimit) {
  LogCapture log;
  callPresent();
  DX_IOTT iott = target("C:\\voice\\msg.vox", -1);
  DV_TPT t = term(DX_LCOFF, 0);
  fake.onEscape(kqPvtRecord, [this] {
    fake.pushConnectionCleared(5, "Recording");  // the recorder leaving is no hang-up
    fake.pushPrivate(kqPvtRecordEnded, 5, 0, 500);
  });
  EXPECT_EQ(0, ch->Record(&iott, &t));
  EXPECT_TRUE(log.has("Record timeout: none"));
  EXPECT_EQ(0, count(ops(), "escape 17"));
  EXPECT_EQ(0, count(ops(), "snapshotCall"));
  EXPECT_EQ(0u, termMask());
}

TEST_F(Record, RecordTillAnyDigitStopsOnTheDigit) {
  callPresent();
  DX_IOTT iott = target("C:\\voice\\msg.vox", -1);
  DV_TPT t = term(DX_DIGMASK, 0xFFFF, TF_LEVEL);
  fake.onEscape(kqPvtRecordTillDTMF, [this] { fake.pushDigits("#"); });
  fake.onEscape(kqPvtRecordStop, [this] { fake.pushPrivate(kqPvtRecordEnded, 5, 0, 77); });
  EXPECT_EQ(0, ch->Record(&iott, &t));
  EXPECT_NE(nullptr, request(kqPvtRecordTillDTMF));
  EXPECT_EQ(static_cast<std::uint32_t>(TM_DIGIT), termMask());
  EXPECT_EQ(77, ch->bytesTransferred);
}

TEST_F(Record, AnEndThatArrivesDuringTheStopIsNotLost) {
  callPresent();
  DX_IOTT iott = target("C:\\voice\\msg.vox", 100);
  DV_TPT t = term(DX_LCOFF, 0);
  fake.onEscape(kqPvtRecordStop, [this] { fake.pushPrivate(kqPvtRecordEnded, 5, 0, 100); }, true);
  EXPECT_EQ(0, ch->Record(&iott, &t));
  EXPECT_EQ(100, ch->bytesTransferred);
}

TEST_F(Record, RefusedRecordsClearTheChannelsOwnCall) {
  LogCapture log;
  DX_IOTT iott = target("C:\\voice\\msg.vox", 100);
  DV_TPT bad = term(DX_MAXDTMF, 1);
  EXPECT_EQ(-1, ch->Record(&iott, &bad));
  EXPECT_EQ(8, ch->lastError);
  EXPECT_TRUE(log.has("Unsupported termination conditions"));
  EXPECT_EQ("clearCall", ops().back());

  fake.sent.clear();
  DX_IOTT longName = target(("C:\\" + std::string(120, 'n') + ".vox").c_str(), 100);
  DV_TPT t = term(DX_LCOFF, 0);
  EXPECT_EQ(-1, ch->Record(&longName, &t));
  EXPECT_EQ(nullptr, request(kqPvtRecord));
  EXPECT_EQ("clearCall", ops().back());
}

TEST_F(Record, AnEndReportThatNeverComesIsGivenUpOn) {
  LogCapture log;
  callPresent();
  DX_IOTT iott = target("C:\\voice\\msg.vox", 100);  // stopped at the first empty poll
  DV_TPT t = term(DX_LCOFF, 0);
  EXPECT_EQ(-1, ch->Record(&iott, &t));
  EXPECT_EQ(VOX_ERR_TIMEOUT, ch->lastError);
  EXPECT_EQ(static_cast<std::uint32_t>(TM_MAXTIME | TM_ERROR), termMask());
  EXPECT_GE(fake.clockMs, kRecordEndWaitMs);
  EXPECT_LT(fake.clockMs, kRecordEndWaitMs + 100);
  EXPECT_FALSE(ch->isRecording);
}

TEST_F(Record, ANameTooLongForTheRequestIsAnArgumentError) {
  callPresent();
  DX_IOTT longName = target(("C:\\" + std::string(120, 'n') + ".vox").c_str(), 100);
  DV_TPT t = term(DX_LCOFF, 0);
  EXPECT_EQ(-1, ch->Record(&longName, &t));
  EXPECT_EQ(8, ch->lastError);
  EXPECT_EQ(static_cast<std::uint32_t>(TM_ERROR), termMask());
}

TEST_F(Play, ASilentServerEndsTheWaitForAConfirmation) {
  LogCapture log;
  callPresent();
  DX_IOTT iott = only("s.vox", "s");
  DV_TPT t = term(DX_LCOFF, 0);
  ch->PrepareCall(true);
  fake.confirmWithoutQueueing("escape");
  fake.silent = true;
  EXPECT_EQ(-1, ch->Play(&iott, &t));
  EXPECT_EQ(VOX_ERR_TIMEOUT, ch->lastError);
  EXPECT_TRUE(log.has("No confirmation within 15000 ms"));
  EXPECT_FALSE(ch->isPlaying);
}

// Segments are copied through a buffer of a few bytes, across its edges.
TEST_F(Play, SegmentsAreCopiedInPiecesNotWhole) {
  callPresent();
  std::string bytes;
  for (int i = 0; i < 1000; ++i) bytes += static_cast<char>('a' + i % 26);
  int a = openFile("p.vox", bytes);
  DX_IOTT iott[2];
  std::memset(iott, 0, sizeof iott);
  iott[0].io_fhandle = a;
  iott[0].io_offset = 3;
  iott[0].io_length = 20;
  iott[1].io_type = IO_EOT;
  iott[1].io_fhandle = a;
  iott[1].io_offset = 990;
  iott[1].io_length = -1;
  DV_TPT t = term(DX_LCOFF, 0);
  fake.onEscape(kqPvtPlay, [this] { fake.pushPrivate(kqPvtPlayEnded, 5, 1, 30); });
  setPlayPieceForTests(7);
  int rc = ch->Play(iott, &t);
  std::size_t highWater = playPieceHighWaterForTests();
  setPlayPieceForTests(0);
  EXPECT_EQ(0, rc);
  EXPECT_EQ(bytes.substr(3, 20) + bytes.substr(990), fake.playedBytes);
  EXPECT_EQ(30u, std::uint32_t(request(kqPvtPlay)->message.file.count));
  EXPECT_EQ(7u, highWater);
}

// A second operation while one runs (here: from inside the play, as a
// second thread would find it) is refused and leaves the first alone.
TEST_F(Play, ABusyChannelRefusesASecondOperation) {
  callPresent();
  DX_IOTT iott = only("b.vox", "bb");
  DV_TPT t = term(DX_LCOFF, 0);
  int second = 0, third = 0;
  std::int32_t error = 0;
  fake.onEscape(kqPvtPlay, [&] {
    DV_DIGIT d;
    DV_TPT quick = term(DX_MAXTIME, 1);
    second = ch->GetDigit(&quick, &d);
    third = ch->Record(&iott, &t);
    error = ch->lastError;
    fake.pushPrivate(kqPvtPlayEnded, 5, 1, 2);
  });
  EXPECT_EQ(0, ch->Play(&iott, &t));
  EXPECT_EQ(-1, second);
  EXPECT_EQ(-1, third);
  EXPECT_EQ(VOX_ERR_BUSY, error);
  EXPECT_EQ(2, ch->bytesTransferred);
  EXPECT_EQ(1, count(ops(), "escape 10"));
  EXPECT_EQ(0, count(ops(), "escape 15"));
}

TEST_F(Channel, ClosingGivesBackTheDetectorAndClearsTheChannelsOwnCall) {
  ch->PrepareCall(true);
  EXPECT_TRUE(ch->privateCallMade);
  EXPECT_TRUE(ch->detectorHeld);
  fake.sent.clear();
  ch.reset();
  EXPECT_EQ((std::vector<std::string>{"clearCall", "escape 21", "monitorStop", "close"}), ops());
}

}  // namespace
