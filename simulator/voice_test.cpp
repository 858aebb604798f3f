// Voice services seen from client streams: the order of confirmations,
// parties and reports of plays and records, their byte counts on the
// switch's clock, and the files they read and write.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#endif

#include "platform/platform.h"
#include "private/telvanix_private.h"
#include "simulator/test_client.h"

using telsim_test::Client;
using telsim_test::describe;

namespace {

// A fresh file in the temporary folder: its bare name and its full path.
struct VoiceFile {
  std::string path, folder, name;
  explicit VoiceFile(std::size_t bytes = 0, bool create = true) {
    char buf[512];
    EXPECT_TRUE(plat_temp_name(nullptr, buf, sizeof buf));
    path = buf;
    const std::size_t cut = path.find_last_of("/\\");
    folder = path.substr(0, cut);
    name = path.substr(cut + 1);
    if (create) write(std::string(bytes, 'v'));
    else plat_delete_file(path.c_str());
  }
  ~VoiceFile() { plat_delete_file(path.c_str()); }
  void write(const std::string& text) const {
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
  std::string read() const {
    std::string s;
    FILE* f = std::fopen(path.c_str(), "rb");
    for (int c; f && (c = std::fgetc(f)) != EOF;) s += static_cast<char>(c);
    if (f) std::fclose(f);
    return s;
  }
};

telsim::Config voiceConfig() {
  telsim::Config cfg = telsim::defaultConfig();
  cfg.voiceFolder = VoiceFile(0, false).folder;
  return cfg;
}

TelvanixPrivateMessage privateOf(const wire::Event& e) {
  TelvanixPrivateMessage m;
  std::vector<std::uint8_t> bytes(e.priv.vendor, e.priv.vendor + 32);
  bytes.push_back(static_cast<std::uint8_t>(e.priv.data.size()));
  bytes.push_back(static_cast<std::uint8_t>(e.priv.data.size() >> 8));
  bytes.insert(bytes.end(), e.priv.data.begin(), e.priv.data.end());
  EXPECT_TRUE(readPrivateBytes(bytes.data(), bytes.size(), &m));
  return m;
}

wire::Request privateRequest(const TelvanixPrivateMessage* m) {
  wire::Request r;
  r.op = wire::Op::EscapeService;
  wire::setPrivate(r.priv, asPrivateData(m));
  return r;
}

wire::Request fileRequest(privateMessageID type, std::int32_t call, const char* device, const std::string& file,
                          std::uint32_t position = 0, std::uint32_t count = 0, std::uint32_t tag = 77) {
  TelvanixPrivateMessage m;
  buildPrivateMessage(&m, type, call, device);
  putPrivateText(m.file.fileName, file.c_str());
  m.file.position = position;
  m.file.count = count;
  m.file.invokeID = tag;
  return privateRequest(&m);
}

wire::Request simpleRequest(privateMessageID type, std::int32_t call = 0, const char* device = nullptr) {
  TelvanixPrivateMessage m;
  buildPrivateMessage(&m, type, call, device);
  return privateRequest(&m);
}

// Events with private reports spelled out: "PVT13(16000,77)" is a play-ended
// report of 16000 bytes for tag 77, "PVT22(5)" digits seen.
std::string spell(const std::vector<wire::Event>& v) {
  std::string out;
  for (const wire::Event& e : v) {
    std::string one = describe(e);
    if (e.eventType() == CSTA_PRIVATE_STATUS) {
      TelvanixPrivateMessage m = privateOf(e);
      const int type = m.header.msgType;
      one = "PVT" + std::to_string(type);
      if (type == kqPvtDigitsSeen) {
        one += "(" + std::string(m.digits.digits, static_cast<size_t>(privateDigitsPresent(&m.digits))) + ")";
      } else {
        const std::uint32_t pos = m.file.position, tag = m.file.invokeID;
        one += "(" + std::to_string(pos) + "," + std::to_string(tag) + ")";
      }
    } else if (e.eventType() == CSTA_ESCAPE_SVC_CONF) {
      one = "ESC" + std::to_string(static_cast<int>(privateOf(e).header.msgType));
    }
    out += (out.empty() ? "" : " ") + one;
  }
  return out;
}

struct Voice : ::testing::Test {
  telsim::Switch sw{voiceConfig(), true};
  Client a{sw};
  Client b{sw};
  std::int32_t call = 0;
  void SetUp() override {
    ASSERT_EQ(a.open().eventType(), ACS_OPEN_STREAM_CONF);
    ASSERT_EQ(b.open().eventType(), ACS_OPEN_STREAM_CONF);
    a.send(simpleRequest(kqPvtStartPrivateStatus));
    b.send(simpleRequest(kqPvtStartPrivateStatus));
    a.monitor("201");
    b.monitor("202");
    call = a.makeCall("201", "202");
    ctl("answer 202");
    a.take();
    b.take();
  }
  std::string ctl(const std::string& line) {
    bool ok = false;
    std::string out = sw.control(line, &ok);
    EXPECT_TRUE(ok) << line << ": " << out;
    return out;
  }
};

TEST_F(Voice, PlayRunsAtEightThousandBytesASecondAndOnlyTheRequesterHearsOfIt) {
  VoiceFile f(16000);
  a.send(fileRequest(kqPvtPlay, call, "201", f.name));
  EXPECT_EQ(spell(a.take()), "ESC10 EST:Playing@C PVT11(0,77)");
  EXPECT_EQ(spell(b.take()), "EST:Playing@C");  // the other stream sees the party only
  ctl("advance 1999");
  EXPECT_EQ(spell(a.take()), "");
  ctl("advance 1");
  EXPECT_EQ(spell(a.take()), "PVT13(16000,77) CONNCLR:Playing@C");
  EXPECT_EQ(spell(b.take()), "CONNCLR:Playing@C");
  EXPECT_EQ(sw.callCount(), 1u);  // the call goes on

  // From byte 4000 for 8000 bytes: one second. Past the end: nothing to play.
  a.send(fileRequest(kqPvtPlay, call, "x1#1", f.name, 4000, 8000, 5));
  a.take();
  ctl("advance 1000");
  EXPECT_EQ(spell(a.take()), "PVT13(8000,5) CONNCLR:Playing@C");
  a.send(fileRequest(kqPvtPlay, call, "201", f.name, 20000, 0, 6));
  ctl("advance 0");
  EXPECT_EQ(spell(a.take()), "ESC10 EST:Playing@C PVT11(0,6) PVT13(0,6) CONNCLR:Playing@C");
}

TEST_F(Voice, PlayTillDigitEndsOnTheFirstDigitAfterItsReport) {
  VoiceFile f(16000);
  a.send(fileRequest(kqPvtPlayTillDTMF, call, "201", f.name));
  a.take();
  ctl("advance 500");
  ctl("dtmf 202 59");
  // No detector armed: the play's own requester still hears the digits.
  EXPECT_EQ(spell(a.take()), "PVT22(59) PVT13(4000,77) CONNCLR:Playing@C");
  // A plain play is not ended by digits.
  a.send(fileRequest(kqPvtPlay, call, "201", f.name));
  a.take();
  ctl("dtmf 202 1");
  EXPECT_EQ(spell(a.take()), "PVT22(1)");  // heard through the monitor of 201
}

TEST_F(Voice, StopsEndEarlyAndAreAnsweredEvenWithNothingRunning) {
  VoiceFile f(16000);
  a.send(simpleRequest(kqPvtPlayStop, call, "201"));
  EXPECT_EQ(spell(a.take()), "ESC12");
  a.send(fileRequest(kqPvtPlay, call, "201", f.name));
  a.take();
  ctl("advance 250");
  // Stopped from another stream, for the connection of the other party: the
  // reports still go to the requester.
  b.send(simpleRequest(kqPvtPlayStop, call, "202"));
  EXPECT_EQ(spell(b.take()), "EST:Playing@C ESC12 CONNCLR:Playing@C");
  EXPECT_EQ(spell(a.take()), "PVT13(2000,77) CONNCLR:Playing@C");
  ctl("advance 5000");
  EXPECT_EQ(spell(a.take()), "");  // its end timer finds nothing
}

TEST_F(Voice, RecordWritesTheBytesItReportsAndKeepsWhatWasBeforeItsPosition) {
  VoiceFile f;
  f.write("0123456789");
  a.send(fileRequest(kqPvtRecord, call, "201", f.name, 4, 0xFFFFFFFFu, 9));
  EXPECT_EQ(spell(a.take()), "ESC15 EST:Recording@C PVT16(0,9)");
  ctl("advance 1500");
  a.send(simpleRequest(kqPvtRecordStop, call, "201"));
  EXPECT_EQ(spell(a.take()), "ESC17 PVT18(12000,9) CONNCLR:Recording@C");
  const std::string got = f.read();
  ASSERT_EQ(got.size(), 4u + 12000u);
  EXPECT_EQ(got.substr(0, 4), "0123");

  // A count ends it by itself; record-till-digit ends on a digit.
  a.send(fileRequest(kqPvtRecord, call, "201", f.name, 0, 800, 1));
  a.take();
  ctl("advance 100");
  EXPECT_EQ(spell(a.take()), "PVT18(800,1) CONNCLR:Recording@C");
  EXPECT_EQ(f.read().size(), 800u);
  a.send(fileRequest(kqPvtRecordTillDTMF, call, "201", f.name, 0, 0, 2));
  a.take();
  ctl("advance 10");
  ctl("dtmf 202 *");
  EXPECT_EQ(spell(a.take()), "PVT22(*) PVT18(80,2) CONNCLR:Recording@C");
}

TEST_F(Voice, AHangUpEndsTheOperationBeforeTheCallClears) {
  VoiceFile f(16000);
  a.send(fileRequest(kqPvtPlay, call, "201", f.name));
  a.take();
  ctl("advance 125");
  // The player is no party that keeps the call up.
  ctl("hangup 202");
  EXPECT_EQ(spell(a.take()), "CONNCLR:202@C PVT13(1000,77) CONNCLR:Playing@C CALLCLR@0");
  EXPECT_EQ(sw.callCount(), 0u);
}

TEST_F(Voice, SnapshotsListThePlayer) {
  VoiceFile f(16000);
  a.send(fileRequest(kqPvtPlay, call, "201", f.name));
  a.take();
  a.send(Client::conn(wire::Op::SnapshotCall, call, ""));
  std::vector<wire::Event> v = a.take();
  ASSERT_EQ(v.size(), 1u);
  ASSERT_EQ(v[0].callSnapshot.size(), 3u);
  EXPECT_EQ(wire::deviceString(v[0].callSnapshot[2].deviceOnCall.deviceID), std::string("Playing"));
}

TEST_F(Voice, RefusalsComeAloneWithTheirReason) {
  VoiceFile f(16000);
  VoiceFile missing(0, false);
  a.send(fileRequest(kqPvtPlay, call, "201", missing.name));
  a.send(fileRequest(kqPvtPlay, call + 1, "201", f.name));
  a.send(fileRequest(kqPvtPlay, call, "203", f.name));
  a.send(fileRequest(kqPvtPlay, call, "201", ""));
  EXPECT_EQ(spell(a.take()), "FAIL(4) FAIL(11) FAIL(13) FAIL(4)");
  a.send(fileRequest(kqPvtPlay, call, "201", f.name));
  a.take();
  a.send(fileRequest(kqPvtPlay, call, "201", f.name));
  EXPECT_EQ(spell(a.take()), "FAIL(33)");  // one play per connection
  ctl("hold 201");
  a.send(fileRequest(kqPvtRecord, call, "201", f.name));
  EXPECT_EQ(spell(a.take()), "HELD:201@H FAIL(22)");  // only a talking party records
}

TEST_F(Voice, ADetectorHearsDigitsUntilReleased) {
  a.send(simpleRequest(kqPvtGetDigits, call, "201"));
  b.take();
  EXPECT_EQ(spell(a.take()), "ESC20");
  ctl("dtmf 202 12");
  EXPECT_EQ(spell(a.take()), "PVT22(12)");
  a.send(simpleRequest(kqPvtStopGetDigits, call, "201"));
  EXPECT_EQ(spell(a.take()), "ESC21");
}

#ifndef _WIN32
TEST(VoicePaths, ServerNamesMapToTheDrivesFolder) {
  VoiceFile root(0, false);
  const std::string drives = root.path + ".drives";
  ASSERT_EQ(std::system(("mkdir -p " + drives + "/c/Voice && printf 12345678 > " + drives + "/c/Voice/Hi.vox").c_str()), 0);
  setenv("TELVANIX_DRIVES", drives.c_str(), 1);
  telsim::Config cfg = telsim::defaultConfig();
  cfg.voiceFolder = "C:\\VOICE";
  telsim::Switch sw{cfg, true};
  Client a{sw};
  a.open();
  a.send(simpleRequest(kqPvtStartPrivateStatus));
  std::int32_t call = a.makeCall("401", "401");  // a voice port's call to itself
  a.take();
  a.send(fileRequest(kqPvtPlay, call, "401", "\\dosdevices\\c:\\voice\\HI.VOX", 0, 0, 3));
  a.send(fileRequest(kqPvtPlayTillDTMF, call, "V1#1", "hi.vox", 4, 0, 4));
  sw.advance(1);
  EXPECT_EQ(spell(a.take()), "ESC10 PVT11(0,3) FAIL(33) PVT13(8,3)");
  a.send(fileRequest(kqPvtPlayTillDTMF, call, "V1#1", "hi.vox", 4, 0, 4));
  sw.advance(1);
  EXPECT_EQ(spell(a.take()), "ESC26 PVT11(0,4) PVT13(4,4)");
  EXPECT_EQ(sw.callCount(), 1u);
  unsetenv("TELVANIX_DRIVES");
  std::system(("rm -rf " + drives).c_str());
}

// A switch whose drives live in a fresh folder: nothing there yet.
struct FreshDrives : ::testing::Test {
  std::string drives = VoiceFile(0, false).path + ".drives";
  telsim::Config cfg = telsim::defaultConfig();
  std::unique_ptr<telsim::Switch> sw;
  std::unique_ptr<Client> a;
  std::int32_t call = 0;
  void SetUp() override {
    setenv("TELVANIX_DRIVES", drives.c_str(), 1);
    cfg.voiceFolder = "C:\\KVR\\VOICE";
    sw.reset(new telsim::Switch(cfg, true));
    a.reset(new Client(*sw));
    a->open();
    a->send(simpleRequest(kqPvtStartPrivateStatus));
    call = a->makeCall("401", "401");  // a voice port's call to itself
    a->take();
  }
  void TearDown() override {
    a.reset();
    sw.reset();
    unsetenv("TELVANIX_DRIVES");
    std::system(("rm -rf " + drives).c_str());
  }
  std::string send(privateMessageID type, const std::string& file, std::uint32_t count = 0) {
    a->send(fileRequest(type, call, "401", file, 0, count, 5));
    return spell(a->take());
  }
  bool exists(const std::string& path) const { return plat_file_exists((drives + path).c_str()); }
  // Run in a child process: files of at most 5000 bytes, and a write past
  // that fails instead of killing the process.
  void recordOntoAFullDisk() {
    std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit;
    limit.rlim_cur = limit.rlim_max = 5000;
    setrlimit(RLIMIT_FSIZE, &limit);
    a->monitor("401");
    a->send(fileRequest(kqPvtRecord, call, "401", "full.vox", 0, 0, 5));
    a->take();
    sw->advance(3000);
    const std::vector<wire::Event> v = a->take();
    bool failedCause = false;
    for (const wire::Event& e : v)
      if (e.eventType() == CSTA_CONNECTION_CLEARED)
        failedCause = e.ev.event.cstaUnsolicited.u.connectionCleared.cause == EC_RESOURCES_NOT_AVAILABLE;
    const bool ended = spell(v) == "PVT18(5000,5) CONNCLR:Recording@C";
    std::exit(ended && failedCause && sw->callCount() == 1 ? 0 : 1);
  }
};


TEST_F(FreshDrives, TheFirstRecordMakesTheVoiceFolder) {
  EXPECT_EQ(send(kqPvtRecord, "greet.vox", 800), "ESC15 PVT16(0,5)");
  sw->advance(100);
  EXPECT_EQ(spell(a->take()), "PVT18(800,5)");
  EXPECT_TRUE(exists("/c/KVR/VOICE/greet.vox"));
}

// Names reach only the voice folder and the drives that exist: whatever
// climbs out, or lies elsewhere, is not known, and is not touched.
TEST_F(FreshDrives, NamesOutsideWhatIsServedAreNotKnown) {
  VoiceFile victim;
  victim.write("keep");
  ASSERT_EQ(std::system(("mkdir -p " + drives + "/d").c_str()), 0);
  for (const std::string& name :
       {std::string("../outside.vox"), std::string("a/../../outside.vox"), std::string("..\\..\\outside.vox"),
        std::string("C:\\..\\outside.vox"), std::string("\\dosdevices\\C:\\KVR\\..\\..\\x.vox"),
        victim.path, "\\dosdevices\\" + victim.path, std::string("E:\\x.vox"), std::string(".. \\x.vox"),
        std::string("sub\\c:x.vox")}) {
    EXPECT_EQ(send(kqPvtRecord, name), "FAIL(4)") << name;
  }
  EXPECT_EQ(victim.read(), "keep");
  EXPECT_FALSE(exists("/outside.vox"));
  EXPECT_FALSE(exists("/c/outside.vox"));
  // Inside, the same forms are fine.
  EXPECT_EQ(send(kqPvtRecord, "D:\\x\\..\\in.vox", 8), "ESC15 PVT16(0,5)");
  sw->advance(10);
  a->take();
  EXPECT_TRUE(exists("/d/in.vox"));
  EXPECT_EQ(send(kqPvtRecord, drives + "/c/KVR/VOICE/local.vox", 8), "ESC15 PVT16(0,5)");
  sw->advance(10);
  a->take();
  EXPECT_TRUE(exists("/c/KVR/VOICE/local.vox"));
}

// A device or a pipe is never read or opened: the switch answers at once.
TEST_F(FreshDrives, OnlyRegularFilesArePlayedOrRecordedOver) {
  const std::string voice = drives + "/c/KVR/VOICE";
  ASSERT_EQ(std::system(("mkdir -p " + voice + " && ln -s /dev/zero " + voice + "/zero.vox && mkfifo " + voice +
                         "/fifo.vox && mkdir " + voice + "/dir.vox")
                            .c_str()),
            0);
  for (const char* name : {"zero.vox", "fifo.vox", "dir.vox", "\\dosdevices\\C:\\KVR\\VOICE\\ZERO.VOX"}) {
    EXPECT_EQ(send(kqPvtPlay, name), "FAIL(4)") << name;
    EXPECT_EQ(send(kqPvtRecord, name), "FAIL(4)") << name;
  }
  EXPECT_EQ(send(kqPvtPlay, "/dev/zero"), "FAIL(4)");
}

// A recording whose file stops taking bytes (a full disk; here a size
// limit) ends there, with what really went in and a failure as its cause.
TEST_F(FreshDrives, ARecordingEndsWhenItsWritesFail) {
  EXPECT_EXIT(recordOntoAFullDisk(), ::testing::ExitedWithCode(0),
              "recording into .*full.vox failed after 5000 bytes");
}
#endif

}  // namespace
