// The call-log device: files appended to, profile keys, serial-port names,
// failed writes reported and counted, the console's line left alone, the
// prompts of manual mode and the error reports.
#include "calllog/smdr.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "calllog/calllog_test_fixture.h"
#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"
#include "platform/fileops.h"

namespace {

using calllog_test::localTime;
using calllog_test::testNow;

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

class CallLog : public ::testing::Test {
 protected:
  void SetUp() override {
    CallInfo::reset();
    resetCallLogging();
    testNow() = localTime(14, 3, 0);
    CallInfo::setClock(calllog_test::testClock);
    std::snprintf(savedIni, sizeof savedIni, "%s", iniFilename);
    char name[512];
    plat_temp_name(nullptr, name, sizeof name);
    profile = name;
    std::snprintf(iniFilename, sizeof iniFilename, "%s", profile.c_str());
    autoLogSMDR = 1;
    savedAreaCode = areaCode;
    areaCode = nullptr;
  }
  void TearDown() override {
    i_endUserInput();
    doSetCallLogging(false);
    resetCallLogging();
    CallInfo::reset();
    CallInfo::setClock(nullptr);
    autoLogSMDR = 0;
    std::snprintf(iniFilename, sizeof iniFilename, "%s", savedIni);
    areaCode = savedAreaCode;
    plat_delete_file(profile.c_str());
    for (const std::string& f : files) plat_delete_file(f.c_str());
  }

  // Runs a command with its answers pending; returns what it printed.
  std::string run(void (*command)(), const char* answers = nullptr) {
    if (answers) i_giveBackLine(answers);
    testing::internal::CaptureStdout();
    command();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }
  // A fresh file (existing, empty), removed after the test.
  std::string tempName(const char* suffix = "") {
    char name[512];
    EXPECT_TRUE(plat_temp_name(nullptr, name, sizeof name));
    files.push_back(name);
    const std::string path = std::string(name) + suffix;
    if (*suffix) {
      writeFile(path, "");
      files.push_back(path);
    }
    return path;
  }
  std::string openLog() {
    return run([] { doSetCallLogging(true); });
  }
  void call(long id) {
    testNow() = localTime(14, 3, 0);
    CallInfo::alerting(id, "201", "202", "202");
    testNow() = localTime(14, 3, 5);
    CallInfo::answered(id, "201", "202", "202");
    testNow() += 65;
    CallInfo::ended(id, true);
  }

  char savedIni[260];
  char* savedAreaCode = nullptr;
  std::string profile;
  std::vector<std::string> files;
};

const std::string kRecord =
    "C 12/06/26 14:03:05 0:05 I 202    1:05 201               202                0:00\n";

TEST_F(CallLog, FileDeviceIsAppendedToAndRemembered) {
  const std::string log = tempName();
  writeFile(log, "earlier record\n");
  writeFile(profile, "[SMDR]\nLogDevice=" + log + "\n");

  const std::string out = openLog();
  ASSERT_TRUE(callLoggingEnabled) << out;
  EXPECT_EQ(logToSerialPort, 0);
  call(1);
  // Reopened (a restart, a SET SMDR_LOGGING): earlier records stay.
  openLog();
  call(2);
  run(doClearSMDRLogging);
  EXPECT_FALSE(callLoggingEnabled);
  call(3);  // logging closed: tracked, but not written
  EXPECT_EQ(readFile(log), "earlier record\n" + kRecord + kRecord);

  // The five keys as used; the name upper-cased as read.
  std::string upper = log;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_NE(out.find("Opening " + upper + " for SMDR call logging\n"), std::string::npos) << out;
  std::string keys;
  for (char c : readFile(profile))
    if (c != '\r') keys += c;
  EXPECT_NE(keys.find("LogDevice=" + upper + "\n"), std::string::npos) << keys;
  EXPECT_NE(keys.find("BaudRate=9600\nParity=NONE\nDataBits=8\nStopBits=1\n"), std::string::npos)
      << keys;
}

TEST_F(CallLog, LayoutAndAreaCodeAreTakenAtOpen) {
  const std::string log = tempName();
  writeFile(profile, "[SMDR]\nLogDevice=" + log + "\n");
  pbxType = PBXtypeDefinityG3;
  areaCode = alloc_str("617");
  openLog();
  pbxType = PBXtypeMitelSX2000;  // only at the next open
  CallInfo::initiated(1, "201");
  CallInfo::originated(1, "201", "5551234");
  CallInfo::netReached(1, "201", "5551234", "T1#2");
  testNow() += 60;
  CallInfo::ended(1, true);
  EXPECT_EQ(readFile(log).substr(9, 20), std::string(9, ' ') + "6175551234 ");
  errfree(areaCode);
  areaCode = nullptr;
}

TEST_F(CallLog, AFileNamedWithCOMIsAFile) {
  const std::string log = tempName("COMMS.LOG");
  writeFile(profile, "[SMDR]\nLogDevice=" + log + "\n");
  const std::string out = openLog();
  EXPECT_EQ(logToSerialPort, 0);
  EXPECT_TRUE(callLoggingEnabled) << out;
  EXPECT_EQ(out.find("UNable"), std::string::npos) << out;
}

TEST_F(CallLog, FailedWritesAreReportedAndCounted) {
  // A device that is always full.
  if (!plat_file_exists("/dev/full")) GTEST_SKIP() << "no always-full device here";
  writeFile(profile, "[SMDR]\nLogDevice=/dev/full\n");
  openLog();
  ASSERT_TRUE(callLoggingEnabled);
  testing::internal::CaptureStdout();
  call(0x1A);
  call(0x1B);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(lostCallRecords, 2);
  EXPECT_NE(out.find("? Unable to write the record of call 1A to \"/DEV/FULL\""), std::string::npos)
      << out;
  EXPECT_NE(out.find("2 records lost\n"), std::string::npos) << out;
  EXPECT_TRUE(callLoggingEnabled);  // logging goes on
  EXPECT_TRUE(activeCalls.empty());
}

TEST_F(CallLog, RecordLeavesTheConsoleLineAlone) {
  const std::string log = tempName();
  const std::string console = tempName();
  writeFile(profile, "[SMDR]\nLogDevice=" + log + "\n");
  openLog();
  FILE* screen = std::fopen(console.c_str(), "wb");
  ASSERT_NE(screen, nullptr);
  set_o_file(screen);
  o_lstring("PROBIX: 20", 1, false);  // half typed
  call(1);
  o_lstring("1", 0, false);
  o_newline(0);
  set_o_file(stdout);
  std::fclose(screen);
  EXPECT_EQ(readFile(console), "PROBIX: 201\n");
  EXPECT_EQ(readFile(log), kRecord);
}

TEST_F(CallLog, ManualModeAsks) {
  autoLogSMDR = 0;
  const std::string log = tempName(".TXT");
  std::string answers = "NO " + log;
  std::string out = run([] { doSetCallLogging(true); }, answers.c_str());
  // (The file name reader may trim or add an extension.)
  EXPECT_EQ(out.rfind("Opening ", 0), 0u) << out;
  EXPECT_NE(out.find(" for SMDR call logging\n"), std::string::npos) << out;
  EXPECT_TRUE(callLoggingEnabled);
  EXPECT_EQ(logToSerialPort, 0);

  // Port numbers out of range are asked again.
  out = run([] { doSetCallLogging(true); }, "YES 7 0 2");
  EXPECT_EQ(out.find("Use a serial port between 1 and 4\nUse a serial port between 1 and 4\n"
                     "Opening COM2 for SMDR call logging\n"),
            0u)
      << out;
  EXPECT_EQ(serialPortNumber, 2);
  run(doClearSMDRLogging);

  // PBX types by name; cancelling keeps the choice.
  run(doSetPBXtype, "MITEL");
  EXPECT_EQ(pbxType, PBXtypeMitelSX2000);
  run(doSetPBXtype, "~");
  EXPECT_EQ(pbxType, PBXtypeMitelSX2000);
  run(doSetPBXtype, "att");
  EXPECT_EQ(pbxType, PBXtypeDefinityG3);
  run(doSetPBXtype, "MIVB_STANDARD");
  EXPECT_EQ(pbxType, PBXtypeMiVBStandard);
  run(doSetPBXtype, "cm");
  EXPECT_EQ(pbxType, PBXtypeCMUnformatted);
}

TEST_F(CallLog, SystemIDFromTheProfile) {
  const std::string log = tempName();
  pbxType = PBXtypeMiVBStandard;
  const struct {
    const char* key;  // the line in [SMDR], if any
    const char* id;
    bool complaint;
  } cases[] = {
      {"SystemID=042\n", "042", false}, {"", "001", false},
      {"SystemID=42\n", "001", true},   {"SystemID=0420\n", "001", true},
      {"SystemID=4a2\n", "001", true},  {"SystemID=\n", "001", false},
  };
  for (const auto& k : cases) {
    writeFile(log, "");
    writeFile(profile, "[SMDR]\nLogDevice=" + log + "\n" + k.key);
    const std::string out = openLog();
    EXPECT_EQ(out.find("is not three digits, 001 is used") != std::string::npos, k.complaint)
        << k.key << out;
    call(1);
    const std::string record = readFile(log);
    ASSERT_EQ(record.size(), 92u) << k.key;
    EXPECT_EQ(record.substr(85), std::string(k.id) + "  \r\n") << k.key;
  }
}

TEST_F(CallLog, UnopenableDevicesAndErrorReports) {
  writeFile(profile, "[SMDR]\nLogDevice=" + tempName() + "/NO/SUCH/DIR/CALLS.LOG\n");
  std::string out = openLog();
  EXPECT_NE(out.find("? Unable to open call log file \""), std::string::npos) << out;

  testing::internal::CaptureStdout();
  reportCommError(0xFFFFFFFFul);
  out = testing::internal::GetCapturedStdout();
  const char* const order[] = {"break condition", "not selected", "framing error", "I/O error",
                               "CE_MODE is the only", "out of paper", "The character was lost",
                               "Timeout occurred", "Receiving queue overflowed", "parity error",
                               "Transmission queue was full"};
  std::size_t at = 0;
  for (const char* text : order) {
    const std::size_t found = out.find(text, at);
    ASSERT_NE(found, std::string::npos) << text << "\n" << out;
    at = found;
  }
  testing::internal::CaptureStdout();
  reportCommError(PLAT_CE_FRAME | PLAT_CE_RXPARITY);
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("    Hardware detected a framing error.\n"), std::string::npos);
  EXPECT_NE(out.find("    Hardware detected a parity error.\n"), std::string::npos);
  EXPECT_EQ(out.find("break"), std::string::npos);
}

TEST_F(CallLog, TheLayoutComesFromTheProfileBeforeTheLogOpens) {
  const std::string log = tempName();
  writeFile(profile, "[SMDR]\nLogDevice=" + log + "\nPBXType=mitel_sx2000\n");
  openLog();
  ASSERT_TRUE(callLoggingEnabled);
  call(1);
  const std::string text = readFile(log);
  EXPECT_EQ(text.size(), 68u) << text;  // the Mitel layout, from the first record on
  EXPECT_NE(readFile(profile).find("PBXType=MITEL_SX2000"), std::string::npos);

  // A word that names no layout: nothing is written rather than the wrong layout.
  const std::string other = tempName();
  run(doClearSMDRLogging);
  writeFile(profile, "[SMDR]\nLogDevice=" + other + "\nPBXType=SX200D\n");
  const std::string out = openLog();
  EXPECT_FALSE(callLoggingEnabled);
  EXPECT_NE(out.find("? PBXType \"SX200D\" in "), std::string::npos) << out;
  call(2);
  EXPECT_EQ(readFile(other), "");

  // Without the key the layout in use is written; chosen unattended, the
  // layout is kept for the next open.
  writeFile(profile, "[SMDR]\nLogDevice=" + other + "\n");
  pbxType = PBXtypeTelvanix;
  openLog();
  EXPECT_NE(readFile(profile).find("PBXType=TELVANIX"), std::string::npos);
  run(doSetPBXtype, "ATT_DEFINITY");
  openLog();
  EXPECT_EQ(CallInfo::currentPBXformat, PBXtypeDefinityG3);
}

TEST_F(CallLog, ALogMovedAwayIsOpenedAgainByName) {
  const std::string log = tempName();
  const std::string moved = log + ".1";
  files.push_back(moved);
  writeFile(profile, "[SMDR]\nLogDevice=" + log + "\n");
  openLog();
  call(1);
  ASSERT_TRUE(plat_rename_file(log.c_str(), moved.c_str()));
  testing::internal::CaptureStdout();
  call(2);
  call(3);
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("was moved or deleted: opening it again\n"), std::string::npos) << out;
  EXPECT_EQ(readFile(moved), kRecord);
  EXPECT_EQ(readFile(log), kRecord + kRecord);
  EXPECT_EQ(writtenCallRecords, 3);
  EXPECT_EQ(lostCallRecords, 0);
}

// Unattended, a log that cannot be opened yet (its folder not made) stays
// open: each record tries it again, and is counted lost until it can.
TEST_F(CallLog, UnattendedALogNotYetOpenableIsTriedAtEveryRecord) {
  const std::string folder = tempName() + ".d";
  files.push_back(folder + "/CALLS.LOG");
  writeFile(profile, "[SMDR]\nLogDevice=" + folder + "/CALLS.LOG\n");
  std::string out = openLog();
  EXPECT_TRUE(callLoggingEnabled);
  EXPECT_NE(out.find("? Call logging goes on: each record tries"), std::string::npos) << out;
  testing::internal::CaptureStdout();
  call(1);
  out = testing::internal::GetCapturedStdout();
  EXPECT_NE(out.find("1 record lost"), std::string::npos) << out;
  ASSERT_TRUE(plat_make_dir(folder.c_str()));
  call(2);
  EXPECT_EQ(readFile(folder + "/CALLS.LOG"), kRecord);
  EXPECT_EQ(writtenCallRecords, 1);
  EXPECT_EQ(lostCallRecords, 1);
  doSetCallLogging(false);
  plat_delete_file((folder + "/CALLS.LOG").c_str());
  std::remove(folder.c_str());  // an empty folder, where the system allows
}

TEST_F(CallLog, APortNameAtTheFilePromptIsThePort) {
  autoLogSMDR = 0;
  plat_setenv("PROBIX_COM2", nullptr);
  // (Where COM2 is a device name anyway, there is no file to look for.)
  const bool deviceName = plat_file_exists("COM2");
  const std::string out = run([] { doSetCallLogging(true); }, "NO COM2");
  EXPECT_NE(out.find("Opening COM2 for SMDR call logging\n"), std::string::npos) << out;
  EXPECT_EQ(logToSerialPort, 1);
  if (!deviceName) {
    EXPECT_FALSE(plat_file_exists("COM2"));
  }
}

TEST(PortRules, ModeTextNamesThePortByItsNumber) {
  char mode[128];
  for (const char* name : {"COM2", "com2:", "\\\\.\\COM2"}) {
    smdrModeText(mode, sizeof mode, name, 9600, 'n', 8, 1);
    EXPECT_STREQ(mode, "COM2: baud=9600 parity=n data=8 stop=1") << name;
  }
  smdrModeText(mode, sizeof mode, "/dev/ttyUSB0", 2400, 'e', 7, 1);
  EXPECT_STREQ(mode, "/dev/ttyUSB0: baud=2400 parity=e data=7 stop=1");
}

TEST(PortRules, ARecordCutPartWayIsFollowedByALineEnd) {
  const std::string lf = "C 12/06/26 14:03:05\n";
  const std::string crlf = "C 12/06/26 14:03:05\r\n";
  EXPECT_EQ(smdrOwedLineEnd(lf, "", lf.size(), true), "");
  EXPECT_EQ(smdrOwedLineEnd(lf, "", 0, false), "");  // nothing went: nothing owed
  EXPECT_EQ(smdrOwedLineEnd(lf, "", 5, false), "\n");
  EXPECT_EQ(smdrOwedLineEnd(crlf, "", 5, false), "\r\n");
  // Still owing from before: the debt stays until it is paid.
  EXPECT_EQ(smdrOwedLineEnd(crlf, "\r\n", 0, false), "\r\n");
  EXPECT_EQ(smdrOwedLineEnd(crlf, "\r\n", 1, false), "\n");
  EXPECT_EQ(smdrOwedLineEnd(crlf, "\r\n", 2, false), "");
  EXPECT_EQ(smdrOwedLineEnd(crlf, "\r\n", 4, false), "\r\n");
}

}  // namespace
