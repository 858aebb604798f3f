#include "display/private_display.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"
#include "display/event.h"
#include "display/stamps.h"

namespace {

std::int32_t fakeNow = 0;
std::int32_t fakeClock() { return fakeNow; }

// What the display writes for a message, without tabs so columns are blanks.
std::string show(const TelvanixPrivateMessage& m) {
  FILE* file = std::tmpfile();
  if (!file) return "(no tmpfile)";
  FILE* previous = set_o_file(file);
  bool tabs = set_tabs_allowed(false);
  o_privateRecord(&m, "! ", 8);
  set_tabs_allowed(tabs);
  set_o_file(previous);
  std::rewind(file);
  std::string out;
  char buffer[256];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) out.append(buffer, n);
  std::fclose(file);
  return out;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

TelvanixPrivateMessage message(privateMessageID type, std::int32_t call = 0, const char* device = nullptr) {
  TelvanixPrivateMessage m;
  buildPrivateMessage(&m, type, call, device);
  return m;
}

void firmware(const char* text) { o_storeFirmwareVersion(text, 20); }

struct PrivateDisplay : ::testing::Test {
  void SetUp() override {
    firmware("3.1-12");
    o_setStampClockForTests(fakeClock);
    o_resetInvokeIDstamps();
    o_resetPlayEndedTime();
    o_enableInvokeIDdelayStamps(false);
    fakeNow = 0;
  }
  void TearDown() override {
    o_setStampClockForTests(nullptr);
    o_enableInvokeIDdelayStamps(true);
  }
};

TEST_F(PrivateDisplay, NamesCoverTheirRangesAndNothingElse) {
  EXPECT_STREQ(getPrivateTypeName(11), "kqPvtPlayStarted");
  EXPECT_STREQ(getPrivateTypeName(39), "kqPvtReportStreamInfo");
  EXPECT_STREQ(getPrivateTypeName(50), "kqPvtGetTranslation");
  EXPECT_STREQ(getPrivateTypeName(109), "kqPvtParkCallOccured");
  for (int t : {3, 19, 26, 40, 49, 110, 112, -1, 32767}) {
    char expected[16];
    std::snprintf(expected, sizeof expected, "?%d?", t);
    EXPECT_STREQ(getPrivateTypeName(t), expected);
  }
  EXPECT_STREQ(getDSlineStartName(5), "GroundStart");
  EXPECT_STREQ(getDSlineStartName(6), "Unknown");
  EXPECT_STREQ(getDSsignalingMode(0), "CAS(BitRobbed)");
}

TEST_F(PrivateDisplay, UnknownTypeFollowsItsNameOnThePassedLine) {
  TelvanixPrivateMessage m = message(kqPvtRecordTillDTMF, 0x1a, "201");
  EXPECT_EQ(show(m), "! ?19? 201..1A Unknown private message\n");
  m.header.msgType = static_cast<privateMessageID>(500);
  EXPECT_EQ(show(m), "! ?500? 201..1A Unknown private message\n");
}

TEST_F(PrivateDisplay, BroadcastNameAndDataStandAtTheirColumns) {
  TelvanixPrivateMessage m = message(kqPvtReportBroadcast);
  putPrivateText(m.broadcast.name, "Front desk");
  putPrivateText(m.broadcast.data, "VM 12 new");
  const std::string line = show(m);
  EXPECT_EQ(line.find("Front desk"), 23u);
  EXPECT_EQ(line.find("VM 12 new"), 37u);
  // Full fields carry no terminator: read no further than their width.
  std::memset(m.broadcast.name, 'N', sizeof m.broadcast.name);
  std::memset(m.broadcast.data, 'D', sizeof m.broadcast.data);
  const std::string full = show(m);
  EXPECT_NE(full.find(std::string(16, 'N') + " "), std::string::npos);
  EXPECT_EQ(full.find(std::string(129, 'D')), std::string::npos);
  EXPECT_NE(full.find(std::string(128, 'D') + "\n"), std::string::npos);
}

TEST_F(PrivateDisplay, LineInfoWithoutForwardsIsTwoLines) {
  TelvanixPrivateMessage m = message(kqPvtReportLineInfo, 0, "203");
  m.lineInfo.classOfService = 5;
  m.lineInfo.noAnswerTime = 125;
  m.lineInfo.waitNrings = 3;
  m.lineInfo.doNotDisturb = 1;
  std::vector<std::string> v = lines(show(m));
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0], "! kqPvtReportLineInfo 203 Extension Class 5 Pickup group 0 DND");
  EXPECT_EQ(v[1], "!                      No answer time 12.5 Seconds 3");

  putPrivateText(m.lineInfo.ifImmediate, "206");
  putPrivateText(m.lineInfo.devicePhysName, "X1#3");
  v = lines(show(m));
  ASSERT_EQ(v.size(), 4u);
  EXPECT_EQ(v[2], "!                      Immediate: 206");
  EXPECT_EQ(v[3], "!                      Physical deviceID: X1#3");
  firmware("2.2-230");  // not newer than 2.2.230: no names
  EXPECT_EQ(lines(show(m)).size(), 3u);
}

TEST_F(PrivateDisplay, FirmwareIsComparedPartByPartInOrder) {
  TelvanixPrivateMessage m = message(kqPvtReportSystemInfo);
  auto extra = [&](const char* fw) {
    firmware(fw);
    std::vector<std::string> v = lines(show(m));
    std::string tail;
    for (size_t i = 5; i < v.size(); ++i) tail += v[i].substr(23, 5) + ";";
    return tail;
  };
  EXPECT_EQ(extra("2.2-100"), "");
  EXPECT_EQ(extra("2.2-231"), "Flash;");
  EXPECT_FALSE(firmwareNewerThan(2, 7, 508));
  // 2.6.600 is older than 2.7.508, whatever its edit number.
  EXPECT_EQ(extra("2.6-600"), "Flash;");
  EXPECT_EQ(extra("2.7-509"), "Flash;Calle;");
  EXPECT_EQ(extra("2.8-0"), "Flash;Calle;Park ;");
  EXPECT_EQ(extra("1.9-999"), "");
  firmware("3.0-0");
  EXPECT_TRUE(firmwareNewerThan(2, 7, 508));
  EXPECT_TRUE(firmwareAtLeast(2, 8));
}

TEST_F(PrivateDisplay, BoardListShowsOnlyFilledSlots) {
  TelvanixPrivateMessage m = message(kqPvtReportBoardOrder);
  m.boards.boardID[0] = {201405, 12};
  m.boards.boardID[3] = {0, 7};
  std::vector<std::string> v = lines(show(m));
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0], "! kqPvtReportBoardOrder ");
  EXPECT_EQ(v[1], "!      Board 0   2014050012");
  EXPECT_EQ(v[2], "!      Board 3   0000000007");
}

// A message about no call and no device still writes its connection, as a
// blank, so the type's name never runs into the payload.
TEST_F(PrivateDisplay, AnEmptyConnectionIsABlank) {
  TelvanixPrivateMessage m = message(kqPvtReportSystemInfo);
  m.sysInfo.trunksForIncoming = 1;
  EXPECT_EQ(lines(show(m))[0], "! kqPvtReportSystemInfo Trunks for incomming calls 1");
  m = message(kqPvtReportStreamInfo);
  EXPECT_EQ(lines(show(m))[0].substr(0, 32), "! kqPvtReportStreamInfo Strm: 0 ");
  m = message(kqPvtReportSwrID);
  EXPECT_EQ(show(m), "! kqPvtReportSwrID     \n");
}

// Escape sequences in what the server sends would retitle or clear the
// operator's terminal.
TEST_F(PrivateDisplay, ControlCharactersFromTheServerAreShownEscaped) {
  TelvanixPrivateMessage m = message(kqPvtReportSwrID, 0, "2\x1b[2J01");
  putPrivateText(m.textReport.string, "v1\x1b]0;pwn\x07\ttab\x7f");
  EXPECT_EQ(show(m), "! kqPvtReportSwrID 2\\x1B[2J01 v1\\x1B]0;pwn\\x07\\x09tab\\x7F\n");
  m = message(kqPvtReportBroadcast);
  putPrivateText(m.broadcast.name, "\n");
  EXPECT_EQ(lines(show(m)).size(), 1u);
}

TEST_F(PrivateDisplay, DigitsShowAtMostTwentyOfWhatIsThere) {
  TelvanixPrivateMessage m = message(kqPvtDigitsSeen, 1, "202");
  std::memset(m.digits.digits, '7', sizeof m.digits.digits);  // no terminator
  m.digits.count = 300;
  EXPECT_EQ(show(m), "! kqPvtDigitsSeen 202..1 300 digits for clientID 0 Digits: " + std::string(20, '7') + "\n");
  m.digits.count = -3;
  EXPECT_EQ(show(m), "! kqPvtDigitsSeen 202..1 -3 digits for clientID 0 Digits: \n");
  m.digits.count = 2;
  EXPECT_EQ(show(m), "! kqPvtDigitsSeen 202..1 2 digits for clientID 0 Digits: 77\n");
}

TEST_F(PrivateDisplay, PlayStartedCountsFromTheLastPlayEnded) {
  TelvanixPrivateMessage started = message(kqPvtPlayStarted, 1, "201");
  putPrivateText(started.file.fileName, "a.vox");
  started.file.invokeID = 5;
  fakeNow = 1500;
  stampInvokeID(5);
  // Before any play ended: the seconds since the stamps began.
  std::vector<std::string> v = lines(show(started));
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0], "! kqPvtPlayStarted 201..1     Since end: 1.500000");
  EXPECT_EQ(v[1], "!                      a.vox@0 Id: 5");

  TelvanixPrivateMessage ended = message(kqPvtPlayEnded, 1, "201");
  putPrivateText(ended.file.fileName, "a.vox");
  ended.file.invokeID = 5;
  ended.file.position = 8000;
  fakeNow = 2500;
  stampInvokeID(5);
  EXPECT_EQ(show(ended), "! kqPvtPlayEnded 201..1 a.vox@8000 Id: 5\n");
  started.file.invokeID = 6;
  fakeNow = 2750;
  stampInvokeID(6);
  EXPECT_EQ(lines(show(started))[0], "! kqPvtPlayStarted 201..1     Since end: 0.250000");
  // No time since: no figure, the file still on its own line.
  fakeNow = 2500;
  o_resetInvokeIDstamps();
  stampInvokeID(6);
  EXPECT_EQ(lines(show(started))[0], "! kqPvtPlayStarted 201..1");
}

TEST_F(PrivateDisplay, RawCallerIDStaysWithinItsBytes) {
  TelvanixPrivateMessage m = message(kqPvtReportRawCallerID, 1, "201");
  const unsigned char single[] = {4, 18, '0', '1', '0', '2', '1', '3', '4', '5',
                                  '5', '5', '5', '1', '2', '3', '4', '5', '6', '7', '8', '9'};
  std::memcpy(m.rawCallerID, single, sizeof single);
  std::vector<std::string> v = lines(show(m));
  ASSERT_EQ(v.size(), 1u + 13u);
  EXPECT_EQ(v[0], "! kqPvtReportRawCallerID 201..1 length 18 Single 01021345 5551234567");
  EXPECT_EQ(v[1], "!                      4 12 30 31 30 32 31 33 34 35");
  EXPECT_EQ(v[13], "!                      0 0 0 0 0 0 0 0");

  // Multiple form: a name, a reason, a type skipped, and a parameter whose
  // length runs past the 128 bytes.
  std::memset(m.rawCallerID, 0, 128);
  const unsigned char multi[] = {128, 200, 7, 3, 'A', 'n', 'n', 4, 1, 'P', 9, 2, 'x', 'y', 2, 250, '5', '5'};
  std::memcpy(m.rawCallerID, multi, sizeof multi);
  v = lines(show(m));
  ASSERT_GE(v.size(), 4u);
  EXPECT_EQ(v[0], "! kqPvtReportRawCallerID 201..1 length 200 Multi");
  EXPECT_EQ(v[1], "!                      Name: Ann");
  EXPECT_EQ(v[2], "!                      Number: P");
  EXPECT_EQ(v[3], "!                      Number: 55");
  EXPECT_EQ(v[4], "!                      -80 -38 7 3 41 6E 6E 4 1 50");

  // A parameter list may not even start when the length is 0 or 1.
  for (unsigned char length : {0, 1}) {
    std::memset(m.rawCallerID, 0, 128);
    const unsigned char shortOne[] = {128, length, 2, 3, '1', '2', '3'};
    std::memcpy(m.rawCallerID, shortOne, sizeof shortOne);
    v = lines(show(m));
    ASSERT_EQ(v.size(), 14u) << int(length);
    EXPECT_EQ(v[0], "! kqPvtReportRawCallerID 201..1 length " + std::to_string(length) + " Multi");
  }
  // The last parameter header may sit in the final two bytes.
  std::memset(m.rawCallerID, 'x', 128);
  m.rawCallerID[0] = 128;
  m.rawCallerID[1] = 255;
  m.rawCallerID[2] = 1;
  m.rawCallerID[3] = 123;
  m.rawCallerID[126] = 7;
  m.rawCallerID[127] = 100;
  EXPECT_EQ(lines(show(m)).size(), 15u);
}

TEST_F(PrivateDisplay, CallerIDShowsTimeAndFlags) {
  TelvanixPrivateMessage m = message(kqPvtReportCallerIDinfo, 2, "201");
  TelvanixPrivateCallerIDinfo& c = m.callerID;
  c.idFound = 1;
  c.isTrunk = 1;
  c.idOutArea = 1;
  putPrivateText(c.callingNumber, "5551234");
  putPrivateText(c.callingName, "Ann Smith");
  putPrivateText(c.callTime, "12311459");
  std::vector<std::string> v = lines(show(m));
  ASSERT_EQ(v.size(), 3u);
  EXPECT_EQ(v[0], "! kqPvtReportCallerIDinfo 201..2");
  EXPECT_EQ(v[1], "!                      Calling: 5551234 Trunk Found Out of area");
  EXPECT_EQ(v[2], "!                      Ann Smith 12/31 14:59");
  putPrivateText(c.callTime, "1231");
  EXPECT_EQ(lines(show(m))[2], "!                      Ann Smith 1231");
}

TEST_F(PrivateDisplay, StatusInfoListsGrantedChannelsOnly) {
  TelvanixPrivateMessage m = message(kqPvtReportStatusInfo);
  m.status.block = 2;
  m.status.dtmfRequests = 9;
  m.status.dtmfGrants[5] = 4;
  m.status.dtmfGrants[31] = 1;
  m.status.playGrants[15] = 12;
  std::vector<std::string> v = lines(show(m));
  ASSERT_EQ(v.size(), 7u);
  EXPECT_EQ(v[0], "! kqPvtReportStatusInfo Status Info for block: 2");
  EXPECT_EQ(v[1], "!      DTMF requests 9 DTMFs now in use 0");
  EXPECT_EQ(v[2], "!          DTMF    5 grants    4       SEND_DTMF");
  EXPECT_EQ(v[3], "!          DTMF   31 grants    1");
  EXPECT_EQ(v[5], "!      Play requests 0 Play channels now in use 0");
  EXPECT_EQ(v[6], "!          Chanl  15 grants   12");
}

TEST_F(PrivateDisplay, OtherVendorsAndShortDataShowNothingOrZeros) {
  struct {
    PrivateData_t d;
    char room[400];
  } pvt = {};
  TelvanixPrivateMessage m = message(kqPvtReportOperatorNumber);
  putPrivateText(m.textReport.string, "0");
  std::memcpy(&pvt, &m, sizeof m);
  pvt.d.length = 300;
  std::memcpy(pvt.d.vendor, "Telvanix Version 2.0", 21);
  FILE* file = std::tmpfile();
  ASSERT_NE(file, nullptr);
  FILE* previous = set_o_file(file);
  o_privateMessage(&pvt.d, "! ", 8);
  o_privateMessage(nullptr, "! ", 8);
  std::memcpy(pvt.d.vendor, "TELVANIX VERSION 1.0", 21);
  pvt.d.length = 2;  // only msgType came: the rest reads as zero
  o_privateMessage(&pvt.d, "! ", 8);
  set_o_file(previous);
  std::rewind(file);
  char buffer[256] = {};
  const size_t n = std::fread(buffer, 1, sizeof buffer - 1, file);
  std::fclose(file);
  EXPECT_EQ(std::string(buffer, n), "! kqPvtReportOperatorNumber \n");
}

}  // namespace
