// The channel and voice-file tables and the diagnostic log.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "voxbridge/config.h"
#include "voxbridge/debuglog.h"
#include "voxbridge/exports_internal.h"
#include "voxbridge/include/voxlib.h"
#include "voxbridge/voicefiles.h"
#include "voxbridge/test_log_capture.h"
#include "voxbridge/test_util.h"

using namespace vox;

namespace {

std::string g_drives;

class Tables : public ::testing::Test {
 protected:
  void SetUp() override {
    if (g_drives.empty()) {
      g_drives = "set";
      voxtest::useScratchDrives();
      voxtest::makeDirs("C:\\temp");
      voxtest::makeDirs("C:\\kvr2\\telsrvr");
      voxtest::writeWin("C:\\kvr2\\telsrvr\\telsrvr.ini", "[Setup]\nServer=NOWHERE\nDeviceID=401\nKVRLine=1\n");
    }
    configResetForTests();
    plat_setenv("KVR", "c:\\kvr2");
  }
  std::string entryPath(int handle) {
    std::string path;
    withVoiceFile(handle, [&](const VoiceFileEntry& e) { path = e.path; });
    return path;
  }
};

TEST_F(Tables, ChannelHandlesAreReusedAndTheTableShrinksFromTheEnd) {
  EXPECT_EQ(0, dx_open("dxxxB1", 0));
  EXPECT_EQ(1, dx_open("dxxxB1", 0));
  EXPECT_EQ(2, dx_open("dxxxB1C0", 0));
  EXPECT_EQ(0, dx_close(0));
  EXPECT_EQ(nullptr, channelForTests(0));
  EXPECT_EQ(3u, channelSlotsForTests());
  EXPECT_EQ(0, dx_open("dxxxB1", 0));
  EXPECT_EQ(0, dx_close(2));
  EXPECT_EQ(2u, channelSlotsForTests());
  EXPECT_EQ(0, dx_close(7));  // nothing there: still 0
  EXPECT_EQ(0, dx_close(-1));
  EXPECT_EQ(2u, channelSlotsForTests());
  dx_close(1);
  dx_close(0);
  EXPECT_EQ(0u, channelSlotsForTests());
}

TEST_F(Tables, ChannelOperationsNeedAHandleAndTheirRecords) {
  const int board = dx_open("dxxxB1", 0);
  ASSERT_GE(board, 0);
  DV_TPT tpt[1] = {};
  tpt[0].tp_type = IO_EOT;
  DV_DIGIT digits;
  DX_IOTT iott[1] = {};
  EXPECT_EQ(-1, dx_getdig(board, tpt, nullptr, 0));
  EXPECT_EQ(-1, dx_getdig(board, nullptr, &digits, 0));
  EXPECT_EQ(-1, dx_play(board, nullptr, tpt, 0));
  EXPECT_EQ(-1, dx_rec(board, iott, nullptr, 0));
  EXPECT_EQ(-1, dx_playf(board, nullptr, tpt, 0));
  EXPECT_EQ(-1, dx_playf(99, "x.vox", tpt, 0));
  EXPECT_EQ(-1, dx_stopch(99, 0));
  EXPECT_EQ(-1, dx_clrdigbuf(99));
  EXPECT_EQ(-1, ATDX_BUFDIGS(99));
  EXPECT_EQ(-1, ATDX_TRCOUNT(99));
  EXPECT_EQ(0, dx_stopch(board, 0));  // nothing running
  EXPECT_EQ(-1, dx_dial(board, "5551234", nullptr, 0));
  EXPECT_EQ(1, LastError(board));
  dx_close(board);
}

TEST_F(Tables, VoiceFilesShrinkOverEmptySlotsAndRejectClosedHandles) {
  int a = dx_fileopen("a.vox", 0);
  int b = dx_fileopen("b.vox", 0);
  int c = dx_fileopen("c.vox", 0);
  ASSERT_EQ(0, a);
  ASSERT_EQ(1, b);
  ASSERT_EQ(2, c);
  EXPECT_EQ(0, dx_fileclose(b));
  EXPECT_EQ(87, dx_fileclose(b));
  EXPECT_EQ(-1, dx_fileseek(b, 0, 0));
  EXPECT_EQ(1, dx_fileopen("d.vox", 0));  // the empty slot first
  EXPECT_EQ(0, dx_fileclose(1));
  EXPECT_EQ(0, dx_fileclose(c));
  EXPECT_EQ(1u, voiceFileSlots());
  EXPECT_EQ(87, dx_fileclose(5));
  EXPECT_EQ(87, dx_fileclose(-1));
  EXPECT_EQ(0, dx_fileclose(a));
  EXPECT_EQ(0u, voiceFileSlots());
}

TEST_F(Tables, SeekFromStartHereAndEnd) {
  voxtest::writeWin("C:\\temp\\thousand.vox", std::string(1000, 'x'));
  int h = dx_fileopen("C:\\TEMP\\THOUSAND.VOX", 7);
  EXPECT_EQ(900, dx_fileseek(h, -100, 2));
  EXPECT_EQ(950, dx_fileseek(h, 50, 1));
  EXPECT_EQ(950, dx_fileseek(h, 5, 9));  // unknown origin: unchanged
  EXPECT_EQ(20, dx_fileseek(h, 20, 0));
  int missing = dx_fileopen("C:\\TEMP\\missing.vox", 0);
  EXPECT_EQ(-100, dx_fileseek(missing, -100, 2));
  dx_fileclose(missing);
  dx_fileclose(h);
}

TEST_F(Tables, BackslashNamesGetTheConfiguredDrive) {
  voxtest::LogCapture log;
  int before = dx_fileopen("\\voice\\greet.vox", 0);
  EXPECT_EQ("\\dosdevices\\C:\\voice\\greet.vox", entryPath(before));
  EXPECT_TRUE(log.has("dx_fileopen: \\dosdevices\\C:\\voice\\greet.vox"));
  EXPECT_EQ(1, CountBoards());  // reads c:\kvr2\telsrvr\telsrvr.ini
  int after = dx_fileopen("\\voice\\greet.vox", 0);
  EXPECT_EQ("\\dosdevices\\c:\\voice\\greet.vox", entryPath(after));
  int plain = dx_fileopen("D:\\x.vox", 0);
  EXPECT_EQ("\\dosdevices\\D:\\x.vox", entryPath(plain));
  EXPECT_EQ(-1, dx_fileopen(nullptr, 0));
  dx_fileclose(plain);
  dx_fileclose(after);
  dx_fileclose(before);
}

// The log file: decided once, at the first line.
class Log : public Tables {
 protected:
  std::string logPath() { return voxtest::local("C:\\temp\\kqkvrlog.txt"); }
  void TearDown() override {
    resetLogForTests();
    plat_delete_file(logPath().c_str());
  }
};

TEST_F(Log, NothingIsWrittenWhenTheFileWasMissingAtTheFirstLine) {
  resetLogForTests();  // closes the file, so that it can be deleted
  plat_delete_file(logPath().c_str());
  debug_log("first %d", 1);
  voxtest::writeFile(logPath(), "");
  debug_log("second %d", 2);
  EXPECT_EQ("", voxtest::readFile(logPath()));
}

TEST_F(Log, LinesAreCutToTheBufferAndNeverInterleave) {
  voxtest::writeFile(logPath(), "old contents\r\n");
  resetLogForTests();
  debug_log("%s", std::string(3000, 'L').c_str());
  std::string text = voxtest::readFile(logPath());
  ASSERT_EQ(1023u, text.size());  // 1021 characters and the line end
  EXPECT_EQ(std::string(1021, 'L') + "\r\n", text);

  voxtest::writeFile(logPath(), "");
  resetLogForTests();
  auto writer = [](char c) {
    for (int i = 0; i < 200; ++i) debug_log("%s", std::string(60, c).c_str());
  };
  std::thread t1(writer, 'a'), t2(writer, 'b');
  t1.join();
  t2.join();
  text = voxtest::readFile(logPath());
  ASSERT_EQ(400u * 62u, text.size());
  for (std::size_t at = 0; at < text.size(); at += 62) {
    std::string line = text.substr(at, 62);
    EXPECT_TRUE(line == std::string(60, 'a') + "\r\n" || line == std::string(60, 'b') + "\r\n") << at;
  }
}

}  // namespace
