// Reading telsrvr.ini: line rules, boards and channel maps, where the file
// is found, and the device-name check built on it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>

#include "platform/platform.h"
#include "voxbridge/config.h"
#include "voxbridge/test_log_capture.h"
#include "voxbridge/test_util.h"

using namespace vox;
using voxtest::LogCapture;

namespace {

std::string g_dir;

class Config : public ::testing::Test {
 protected:
  void SetUp() override {
    configResetForTests();
    if (g_dir.empty()) g_dir = voxtest::scratchDir("config");
  }
  void read(const std::string& text) {
    std::string path = g_dir + "/telsrvr.ini";
    ASSERT_TRUE(voxtest::writeFile(path, text));
    configReadFileForTests(path.c_str());
  }
};

TEST(ConfigLine, BlanksGoBeforeTheValueAndStayInsideAndBehindIt) {
  EXPECT_EQ("Server=TEL VANIX ", configNormaliseLine("  Server \t=  TEL VANIX \r\n"));
  EXPECT_EQ("[Setup]", configNormaliseLine("[ Setup ]\n"));
  EXPECT_EQ("User=a = b", configNormaliseLine("User = a = b"));
  EXPECT_EQ("A==B", configNormaliseLine("A = =B"));
  EXPECT_EQ("KVRLine=", configNormaliseLine("KVRLine =   "));
  EXPECT_EQ("", configNormaliseLine(" \t\r\n"));
}

TEST_F(Config, BoardsUsersAndChannelsFromTheSetupSection) {
  LogCapture log;
  read("[Setup]\n"
       "User = voice\n"
       "Password=secret word\n"
       "Server = TEL VANIX\n"
       "[Lines]\n"
       "DeviceID=401\nKVRLine=1\n"
       "DeviceID=402\nKVRLine= 2\n");
  ASSERT_EQ(1, configBoardCount());
  EXPECT_EQ("TEL VANIX", configServer(1));
  EXPECT_EQ("voice", configUser());
  EXPECT_EQ("secret word", configPassword());
  EXPECT_EQ(2, configLineCount(1));
  std::string dev;
  ASSERT_TRUE(configLookupLine(1, 2, &dev));
  EXPECT_EQ("402", dev);
  EXPECT_FALSE(configLookupLine(1, 3, &dev));
  EXPECT_EQ(0, configLineCount(0));
  EXPECT_EQ(0, configLineCount(2));
  EXPECT_EQ(0, configLineCount(-1));
  EXPECT_TRUE(log.has("Adding  KVR Line: 1 DeviceID: 401"));
  EXPECT_TRUE(log.has("Adding  KVR Line: 2 DeviceID: 402"));
}

TEST_F(Config, PairsNeedABoardAPendingDeviceAndAnUnusedDevice) {
  read("DeviceID=300\nKVRLine=9\n"          // before any board
       "[Setup]\nServer=A\n"
       "KVRLine=5\n"                         // no device pending
       "DeviceID=401\nKVRLine=1\n"
       "KVRLine=2\n"                         // the pending device was used
       "DeviceID=401\nKVRLine=3\n"           // device already taken
       "DeviceID=402\nKVRLine=1\n"           // line 1 keeps its device
       "DeviceID=403\nKVRLine=x\n"           // no number: nothing, pending cleared
       "KVRLine=4\n"
       "server=B\ndeviceid=404\nKVRline=6\n"  // prefixes are case-sensitive
       "[Other]\nServer=C\n");               // Server outside [Setup]
  ASSERT_EQ(1, configBoardCount());
  EXPECT_EQ(1, configLineCount(1));
  std::string dev;
  ASSERT_TRUE(configLookupLine(1, 1, &dev));
  EXPECT_EQ("401", dev);
}

TEST_F(Config, NumberDevicesLimitsEveryBoardReadAfterIt) {
  std::string pairs;
  read("[Setup]\nNumberDevices=2\nServer=A\n"
       "DeviceID=1\nKVRLine=1\nDeviceID=2\nKVRLine=2\nDeviceID=3\nKVRLine=3\n"
       "[Setup]\nServer=B\n"
       "DeviceID=4\nKVRLine=1\nDeviceID=5\nKVRLine=2\nDeviceID=6\nKVRLine=3\n"
       "[Setup]\nServer=C\nNumberDevices=junk\nDeviceID=7\nKVRLine=1\n");
  ASSERT_EQ(3, configBoardCount());
  EXPECT_EQ(2, configLineCount(1));
  EXPECT_EQ(2, configLineCount(2));
  EXPECT_EQ(0, configLineCount(3));  // a limit of 0
}

TEST_F(Config, OverLongLineIsSkippedAndALastLineWithoutEndIsRead) {
  read("[Setup]\nServer=A\n" + std::string("DeviceID=") + std::string(80, '9') + "\n" +
       "DeviceID=401\nKVRLine=1\nDeviceID=402\nKVRLine=2");
  EXPECT_EQ(2, configLineCount(1));
}

// Only a regular file of at most 1 MB is read: a device would never end, a
// pipe would hold the reader at the open; anything else is told.
TEST_F(Config, OnlyARegularFileOfAtMostAMegabyteIsRead) {
  LogCapture log;
  const std::string fine = "[Setup]\nServer=A\nDeviceID=401\nKVRLine=1\n";
  read(fine + std::string((1u << 20) - fine.size(), '\n'));
  EXPECT_EQ(1, configBoardCount());

  configResetForTests();
  const std::string path = g_dir + "/telsrvr.ini";
  read(fine + std::string((1u << 20) - fine.size() + 1, '\n'));
  EXPECT_EQ(0, configBoardCount());
  EXPECT_TRUE(log.has("Configuration file " + path + " is larger than 1048576 bytes, not read"));

  if (plat_file_exists("/dev/zero")) {
    configReadFileForTests("/dev/zero");
    EXPECT_TRUE(log.has("Configuration file /dev/zero is not a regular file, not read"));
  }

  const std::string fifo = g_dir + "/fifo.ini";
  std::remove(fifo.c_str());
  if (std::system(("mkfifo '" + fifo + "' 2>/dev/null").c_str()) != 0) return;  // no pipes here
  auto reading = std::async(std::launch::async, [&] { configReadFileForTests(fifo.c_str()); });
  const bool returned = reading.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  if (!returned) std::ofstream(fifo) << "\n";  // let the stuck reader go
  reading.wait();
  EXPECT_TRUE(returned) << "reading a pipe blocked";
  EXPECT_TRUE(log.has("Configuration file " + fifo + " is not a regular file, not read"));
  std::remove(fifo.c_str());
}

TEST_F(Config, NameCheck) {
  read("[Setup]\nServer=A\nDeviceID=401\nKVRLine=1\n");
  EXPECT_TRUE(configCheckDeviceName("dxxxB1"));
  EXPECT_TRUE(configCheckDeviceName("dxxxB1C1"));
  EXPECT_TRUE(configCheckDeviceName("dxxxB1C0"));  // opens without a stream
  EXPECT_FALSE(configCheckDeviceName("dxxxB1C2"));
  EXPECT_FALSE(configCheckDeviceName("dxxxB1C-1"));
  EXPECT_FALSE(configCheckDeviceName("dxxxB0C1"));
  EXPECT_FALSE(configCheckDeviceName("dxxxB2"));
  EXPECT_FALSE(configCheckDeviceName("dxxxB-1"));
  EXPECT_FALSE(configCheckDeviceName("DXXXB1"));
  EXPECT_FALSE(configCheckDeviceName("dxxxb1C1"));
  EXPECT_FALSE(configCheckDeviceName("dxxxB1X1"));
  EXPECT_FALSE(configCheckDeviceName("dxxxB1C"));
  EXPECT_FALSE(configCheckDeviceName("dxxxB"));
  EXPECT_FALSE(configCheckDeviceName(nullptr));
}

// Where the file is found: KVR, its length limit and its trailing backslash;
// names in Windows form reach the drive folders.
class ConfigFile : public ::testing::Test {
 protected:
  void SetUp() override {
    configResetForTests();
    voxtest::useScratchDrives();
    voxtest::makeDirs("C:\\KVR\\telsrvr");
    voxtest::makeDirs("C:\\voice\\telsrvr");
    voxtest::writeWin("C:\\KVR\\telsrvr\\telsrvr.ini", "[Setup]\nServer=ONE\nServer=TWO\nServer=THREE\n");
    voxtest::writeWin("C:\\voice\\telsrvr\\telsrvr.ini", "[Setup]\nServer=D\n");
  }
  void TearDown() override { plat_setenv("KVR", nullptr); }
};

TEST_F(ConfigFile, DefaultBaseIsCKvr) {
  LogCapture log;
  plat_setenv("KVR", nullptr);
  LoadConfiguration();
  EXPECT_TRUE(log.has("Reading config file C:\\KVR\\telsrvr\\telsrvr.ini"));
  EXPECT_EQ(3, configBoardCount());
  EXPECT_EQ("C:", configDrive());
  LoadConfiguration();  // read once
  EXPECT_EQ(3, configBoardCount());
}

TEST_F(ConfigFile, KvrGivesBaseAndDrive) {
  LogCapture log;
  plat_setenv("KVR", "c:\\voice\\");
  LoadConfiguration();
  EXPECT_TRUE(log.has("Reading config file c:\\voice\\telsrvr\\telsrvr.ini"));
  EXPECT_EQ(1, configBoardCount());
  EXPECT_EQ("D", configServer(1));
  EXPECT_EQ("c:", configDrive());
}

TEST_F(ConfigFile, KvrOf240CharactersIsNotUsed) {
  LogCapture log;
  plat_setenv("KVR", ("c:\\" + std::string(237, 'v')).c_str());
  LoadConfiguration();
  EXPECT_TRUE(log.has("Reading config file C:\\KVR\\telsrvr\\telsrvr.ini"));
  EXPECT_EQ(3, configBoardCount());
  EXPECT_EQ("C:", configDrive());

  configResetForTests();
  plat_setenv("KVR", ("c:\\" + std::string(236, 'v')).c_str());
  LoadConfiguration();
  EXPECT_EQ("c:", configDrive());
  EXPECT_EQ(0, configBoardCount());
}

TEST_F(ConfigFile, AFileWithoutServersIsReadAgainNextTime) {
  plat_setenv("KVR", "C:\\nowhere");
  LoadConfiguration();
  EXPECT_EQ(0, configBoardCount());
  plat_setenv("KVR", nullptr);
  EXPECT_TRUE(configCheckDeviceName("dxxxB3"));  // reads again and finds three
}

}  // namespace
