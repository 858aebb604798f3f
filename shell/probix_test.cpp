#include "shell/probix.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "calllog/smdr.h"
#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"
#include "telephony/servers.h"
#include "telephony/state.h"
#include "telephony/stream.h"

namespace {

class Startup : public ::testing::Test {
 protected:
  void SetUp() override { restore(); }
  void TearDown() override {
    i_endUserInput();
    restore();
    for (const std::string& f : files) std::remove(f.c_str());
  }
  void restore() {
    debugPrint = debugDetailed = 0;
    maxErrorPrintouts = 200;
    manualMode = 1;
    expert_mode = 1;
    exitFlag = 0;
    numberErrors = 0;
    autoLogSMDR = 0;
    eventReports = true;
    std::snprintf(iniFilename, sizeof iniFilename, "%s", "TELVANIX.INI");
    errfree(areaCode);
    areaCode = nullptr;
  }

  // Runs the switches as given on a command line; returns what was printed.
  std::string parse(std::vector<const char*> args) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("probix32"));
    for (const char* a : args) argv.push_back(const_cast<char*>(a));
    testing::internal::CaptureStdout();
    processArguments(static_cast<int>(argv.size()), argv.data());
    return testing::internal::GetCapturedStdout();
  }

  std::string capture(void (*routine)()) {
    testing::internal::CaptureStdout();
    routine();
    std::fflush(stdout);
    return testing::internal::GetCapturedStdout();
  }

  void writeFile(const std::string& name, const char* text) {
    FILE* f = std::fopen(name.c_str(), "w");
    ASSERT_TRUE(f);
    std::fputs(text, f);
    std::fclose(f);
    files.push_back(name);
  }

  std::vector<std::string> files;
};

TEST_F(Startup, DebugAndPrintoutSwitches) {
  EXPECT_EQ(parse({"-dd", "-e5"}), "");
  EXPECT_TRUE(debugPrint);
  EXPECT_TRUE(debugDetailed);
  EXPECT_EQ(maxErrorPrintouts, 5);
  parse({"-d"});
  EXPECT_TRUE(debugPrint);
  EXPECT_FALSE(debugDetailed);
  parse({"-dd", "-d-"});
  EXPECT_FALSE(debugPrint);
  EXPECT_FALSE(debugDetailed);
  parse({"-e"});
  EXPECT_EQ(maxErrorPrintouts, 0);
  parse({"-e99999999999999999999"});
  EXPECT_GT(maxErrorPrintouts, 0);
  EXPECT_EQ(numberErrors, 0);
}

TEST_F(Startup, SwitchLettersAndALoneDash) {
  // d, e and s are lower case only.
  parse({"-E5", "-Sfile", "-dd"});
  EXPECT_EQ(numberErrors, 2);
  EXPECT_EQ(maxErrorPrintouts, 200);
  EXPECT_TRUE(debugDetailed);  // later arguments still apply
  // A lone dash has no letter; nothing is read past its end.
  EXPECT_EQ(parse({"-"}), "? Unrecognized switch   in argument: -\n");
  EXPECT_EQ(numberErrors, 3);
}

TEST_F(Startup, ProfileNameSwitch) {
  parse({"-sother.ini"});
  EXPECT_STREQ(iniFilename, "other.ini");
  // A name that does not fit is refused, not cut to some other file's name.
  std::string tooLong = "-s" + std::string(300, 'x');
  EXPECT_NE(parse({tooLong.c_str()}).find("? "), std::string::npos);
  EXPECT_STREQ(iniFilename, "other.ini");
  EXPECT_EQ(numberErrors, 1);
}

TEST_F(Startup, AutomaticModeLocksExpertCommands) {
  writeFile("startup_smdr.ini", "[SMDR]\nLogDevice=startup_smdr.log\n");
  files.push_back("STARTUP_SMDR.LOG");
  parse({"-m-", "-sstartup_smdr.ini"});
  EXPECT_FALSE(manualMode);
  std::string out = capture(startupSettings);
  // Call logging opens from the profile.
  EXPECT_NE(out.find("Opening STARTUP_SMDR.LOG for SMDR call logging\n"), std::string::npos)
      << out;
  EXPECT_TRUE(callLoggingEnabled);
  // It connected too: leave no stream or log behind.
  capture([] {
    doSetCallLogging(false);
    doAbortStream();
    resetDefaults();
  });
  EXPECT_FALSE(expert_mode);
  EXPECT_TRUE(autoLogSMDR);
  EXPECT_FALSE(eventReports);

  parse({"-M"});
  EXPECT_TRUE(manualMode);
  capture(startupSettings);
  EXPECT_TRUE(expert_mode);
  EXPECT_FALSE(autoLogSMDR);
  EXPECT_TRUE(eventReports);
}

TEST_F(Startup, AreaCodeComesFromTheProfile) {
  writeFile("probix_test_area.ini", "[Server]\nareaCode=999\n[probix]\nAREACODE=617\n");
  std::snprintf(iniFilename, sizeof iniFilename, "%s", "probix_test_area.ini");
  std::string out = capture(startupSettings);
  EXPECT_EQ(out.find("Area code"), std::string::npos) << out;
  ASSERT_TRUE(areaCode);
  EXPECT_STREQ(areaCode, "617");

  // Once set, it is not read again.
  std::snprintf(iniFilename, sizeof iniFilename, "%s", "probix_test_none.ini");
  capture(startupSettings);
  EXPECT_STREQ(areaCode, "617");
}

TEST_F(Startup, ExitReleasesEverythingAndOnExitIsRepeatable) {
  const long before = number_blocks_out();
  primaryDevice = alloc_str("205");
  primarySpan = alloc_str("D1#2");
  mkCallee = alloc_str("206");
  digitsToPlay = alloc_str("123");
  playFilename = alloc_str("RECORD.MU");
  heldDeviceString = alloc_str("207");
  userName = alloc_str("Telvanix");
  serverPassword = alloc_str("secret");
  areaCode = alloc_str("617");
  setServerName("TESTSERVER");

  std::string out = capture(doExit);
  EXPECT_EQ(out, "");
  EXPECT_TRUE(exitFlag);
  EXPECT_EQ(number_blocks_out(), before);
  for (char* text : {primaryDevice, primarySpan, mkCallee, digitsToPlay, playFilename,
                     heldDeviceString, userName, serverPassword, areaCode})
    EXPECT_EQ(text, nullptr);
  for (int slot = 0; slot < MAX_SERVER_NAMES; ++slot) EXPECT_EQ(getServerName(slot), nullptr);

  // The exit clean-up runs again at process exit with nothing left to do.
  EXPECT_EQ(capture(doOnExit), "");
  EXPECT_EQ(capture(doOnExit), "");
  EXPECT_EQ(capture(resetDefaults), "");
}

}  // namespace
