// The voice interface against the switch simulator with a manual clock: an
// outside caller dials a voice port; plays, records and digit collection run
// on a worker thread as an application would run them, while the test thread
// acts for the caller and moves the switch's clock. The library's own waits
// (record polling, digit time limits) move the same clock, so nothing here
// depends on the wall clock.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "csta32/include/csta32.h"
#include "csta32/internal.h"
#include "csta32/wire/wire.h"
#include "embedded/switch_host.h"
#include "platform/platform.h"
#include "simulator/telsim.h"
#include "voxbridge/channel.h"
#include "voxbridge/config.h"
#include "voxbridge/exports_internal.h"
#include "voxbridge/include/voxlib.h"
#include "voxbridge/test_util.h"

namespace {

// The switch, with the type of every private request noted on its way in.
class SwitchHost : public embedded::SwitchHost {
 public:
  explicit SwitchHost(telsim::Switch& sw) : embedded::SwitchHost(sw) {}
  void onFrame(std::uint32_t s, const std::uint8_t* p, std::size_t n) override {
    wire::Request r;
    if (wire::decodeRequest(p, n, r) && r.op == wire::Op::EscapeService && r.priv.data.size() >= 2) {
      std::lock_guard<std::mutex> lock(m_);
      escapes_.push_back(r.priv.data[0] | r.priv.data[1] << 8);
    }
    embedded::SwitchHost::onFrame(s, p, n);
  }
  std::vector<int> escapes() {
    std::lock_guard<std::mutex> lock(m_);
    return escapes_;
  }
  void forget() {
    std::lock_guard<std::mutex> lock(m_);
    escapes_.clear();
  }

 private:
  std::mutex m_;
  std::vector<int> escapes_;
};

// Process-lifetime: streams may still be closing when tests end.
telsim::Switch& sw() {
  static telsim::Switch* s = new telsim::Switch(telsim::defaultConfig(), true);
  return *s;
}

std::uint64_t switchMillis() { return sw().now(); }
void switchSleep(unsigned ms) { sw().advance(ms); }
const vox::Timing kSwitchTiming = {switchMillis, switchSleep};

// Waits (bounded by the wall clock) until `ready` holds; false if it never did.
bool waitUntil(const std::function<bool()>& ready) {
  const std::uint64_t until = plat_millis() + 10000;
  while (!ready()) {
    if (plat_millis() > until) return false;
    plat_yield();
  }
  return true;
}

bool partyOnCall(const char* name) { return sw().control("calls").find(name) != std::string::npos; }

class Voice : public ::testing::Test {
 protected:
  static SwitchHost& host() {
    static SwitchHost* h = new SwitchHost(sw());
    return *h;
  }
  static void SetUpTestSuite() {
    csta32::registerLocalHost("VOXSIM", &host());
    voxtest::useScratchDrives();
    voxtest::makeDirs("C:\\TEMP");
    voxtest::makeDirs("C:\\voice");
    std::string ini = voxtest::scratchDir("config") + "/telsrvr.ini";
    voxtest::writeFile(ini,
                       "[Setup]\nUser=Telvanix\nServer=VOXSIM\n"
                       "DeviceID=401\nKVRLine=1\nDeviceID=402\nKVRLine=2\n");
    vox::configResetForTests();
    vox::configReadFileForTests(ini.c_str());
    vox::setTimingForTests(&kSwitchTiming);
  }
  static void TearDownTestSuite() { vox::setTimingForTests(nullptr); }

  void SetUp() override {
    sw().reset();
    host().forget();
  }
  void TearDown() override {
    for (int h : channels) dx_close(h);
    for (int f : files) dx_fileclose(f);
  }

  // An outside caller on line `line` dials `port`, which answers.
  void callIn(const char* line, const char* port) {
    ASSERT_EQ(0u, sw().control(std::string("dialin ") + line + " 5551234 " + port).find("call "));
    sw().control(std::string("answer ") + port);
    ASSERT_TRUE(partyOnCall(port));
  }
  int open(const char* name) {
    int h = dx_open(name, 0);
    EXPECT_GE(h, 0) << name;
    channels.push_back(h);
    return h;
  }
  int voiceFile(const char* name, const std::string& bytes) {
    voxtest::writeWin(std::string("C:\\voice\\") + name, bytes);
    return fileHandle(name);
  }
  int fileHandle(const char* name) {
    int h = dx_fileopen((std::string("C:\\voice\\") + name).c_str(), 0);
    files.push_back(h);
    return h;
  }
  long long sizeOf(const char* name) { return plat_file_size(voxtest::local(std::string("C:\\voice\\") + name).c_str()); }

  std::vector<int> channels;
  std::vector<int> files;
};

DX_IOTT segment(int file, std::int32_t length, bool last) {
  DX_IOTT e;
  std::memset(&e, 0, sizeof e);
  e.io_type = last ? IO_EOT : IO_CONT;
  e.io_fhandle = file;
  e.io_length = length;
  return e;
}

DV_TPT term(std::uint16_t termno, std::uint16_t length = 0, std::uint16_t flags = 0, bool last = true) {
  DV_TPT t;
  std::memset(&t, 0, sizeof t);
  t.tp_type = last ? IO_EOT : IO_CONT;
  t.tp_termno = termno;
  t.tp_length = length;
  t.tp_flags = flags;
  return t;
}

// Arms the channel's detector on the call (a short digit wait with none).
void armDetector(int h) {
  DV_TPT t = term(DX_MAXTIME, 1);
  DV_DIGIT d;
  ASSERT_EQ(1, dx_getdig(h, &t, &d, EV_SYNC));
}

TEST_F(Voice, SegmentsPlayToTheirEnd) {
  callIn("L1#1", "401");
  int h = open("dxxxB1C1");
  DX_IOTT iott[2] = {segment(voiceFile("one.vox", std::string(4000, '\x11')), 4000, false),
                     segment(voiceFile("two.vox", std::string(2000, '\x22')), 2000, true)};
  DV_TPT t = term(DX_LCOFF);
  int result = -9;
  std::thread app([&] { result = dx_play(h, iott, &t, EV_SYNC); });
  ASSERT_TRUE(waitUntil([] { return partyOnCall("Playing"); }));
  sw().advance(800);  // 6000 bytes take 750 ms
  app.join();
  EXPECT_EQ(0, result);
  EXPECT_EQ(0, ATDX_TERMMSK(h));
  EXPECT_EQ(6000, ATDX_TRCOUNT(h));

  // A whole file by name.
  std::thread again([&] { result = dx_playf(h, "C:\\voice\\two.vox", &t, EV_SYNC); });
  ASSERT_TRUE(waitUntil([] { return partyOnCall("Playing"); }));
  sw().advance(300);
  again.join();
  EXPECT_EQ(0, result);
  EXPECT_EQ(2000, ATDX_TRCOUNT(h));
}

TEST_F(Voice, HangUpEndsAPlayAndDropsBufferedDigits) {
  callIn("L1#1", "401");
  int h = open("dxxxB1C1");
  DX_IOTT iott = segment(voiceFile("long.vox", std::string(80000, '\x33')), 80000, true);
  DV_TPT t = term(DX_LCOFF);
  int result = -9;
  std::thread app([&] { result = dx_play(h, &iott, &t, EV_SYNC); });
  ASSERT_TRUE(waitUntil([] { return partyOnCall("Playing"); }));
  sw().advance(500);
  sw().control("dtmf L1#1 12");
  sw().control("hangup L1#1");
  app.join();
  EXPECT_EQ(0, result);
  EXPECT_EQ(TM_LCOFF, ATDX_TERMMSK(h));
  EXPECT_EQ(0, ATDX_BUFDIGS(h));
  EXPECT_LT(ATDX_TRCOUNT(h), 80000);
}

TEST_F(Voice, PlayTillAnyDigitEndsOnTheDigit) {
  callIn("L1#1", "401");
  int h = open("dxxxB1C1");
  DX_IOTT iott = segment(voiceFile("menu.vox", std::string(40000, '\x44')), 40000, true);
  DV_TPT t = term(DX_DIGMASK, 0xFFFF, TF_LEVEL);
  int result = -9;
  std::thread app([&] { result = dx_play(h, &iott, &t, EV_SYNC); });
  ASSERT_TRUE(waitUntil([] { return partyOnCall("Playing"); }));
  sw().advance(200);
  sw().control("dtmf L1#1 7");
  app.join();
  EXPECT_EQ(0, result);
  EXPECT_EQ(TM_DIGIT, ATDX_TERMMSK(h));
  EXPECT_EQ(1, ATDX_BUFDIGS(h));
  EXPECT_GT(ATDX_TRCOUNT(h), 0);
}

// The limit is io_length / 3072 seconds, whole seconds; the server ends a
// record of io_length bytes itself after io_length / 8000 seconds, so only a
// length below 3072 (a limit of 0) is ended by the library's clock.
TEST_F(Voice, RecordEndsByItsTimeLimitAndTheFileHoldsTheBytes) {
  callIn("L1#1", "401");
  int h = open("dxxxB1C1");
  DX_IOTT iott = segment(fileHandle("timed.vox"), 3000, true);
  DV_TPT t = term(DX_LCOFF);
  EXPECT_EQ(0, dx_rec(h, &iott, &t, EV_SYNC));
  EXPECT_EQ(TM_MAXTIME, ATDX_TERMMSK(h));
  EXPECT_EQ(80, ATDX_TRCOUNT(h));  // the one 10 ms pause before the stop
  EXPECT_EQ(80, sizeOf("timed.vox"));

  // A longer record is ended by the server when its bytes are done.
  iott.io_length = 8000;
  EXPECT_EQ(0, dx_rec(h, &iott, &t, EV_SYNC));
  EXPECT_EQ(0, ATDX_TERMMSK(h));
  EXPECT_EQ(8000, ATDX_TRCOUNT(h));
  EXPECT_EQ(8000, sizeOf("timed.vox"));
}

TEST_F(Voice, HangUpEndsARecord) {
  callIn("L1#1", "401");
  int h = open("dxxxB1C1");
  DX_IOTT iott = segment(fileHandle("gone.vox"), -1, true);
  DV_TPT t = term(DX_LCOFF);
  int result = -9;
  std::thread app([&] { result = dx_rec(h, &iott, &t, EV_SYNC); });
  ASSERT_TRUE(waitUntil([] { return partyOnCall("Recording"); }));
  sw().control("hangup L1#1");
  app.join();
  EXPECT_EQ(0, result);
  EXPECT_EQ(TM_LCOFF, ATDX_TERMMSK(h));
  EXPECT_EQ(ATDX_TRCOUNT(h), sizeOf("gone.vox"));
}

TEST_F(Voice, RecordEndsByADigitOfItsMask) {
  callIn("L1#1", "401");
  int h = open("dxxxB1C1");
  DX_IOTT iott = segment(fileHandle("digit.vox"), -1, true);  // until something ends it
  DV_TPT t[2] = {term(DX_DIGMASK, DM_5, TF_LEVEL, false), term(DX_LCOFF)};
  int result = -9;
  std::thread app([&] { result = dx_rec(h, &iott, t, EV_SYNC); });
  ASSERT_TRUE(waitUntil([] { return partyOnCall("Recording"); }));
  sw().advance(500);
  sw().control("dtmf L1#1 4");  // not in the mask
  sw().control("dtmf L1#1 5");
  app.join();
  EXPECT_EQ(0, result);
  EXPECT_EQ(TM_DIGIT, ATDX_TERMMSK(h));
  EXPECT_GE(ATDX_TRCOUNT(h), 4000);
  EXPECT_EQ(ATDX_TRCOUNT(h), sizeOf("digit.vox"));
}

TEST_F(Voice, DigitsByCountMaskAndTime) {
  callIn("L1#1", "401");
  int h = open("dxxxB1C1");
  armDetector(h);
  sw().control("dtmf L1#1 1234#9");
  DV_DIGIT d;
  DV_TPT count = term(DX_MAXDTMF, 3);
  EXPECT_EQ(4, dx_getdig(h, &count, &d, EV_SYNC));
  EXPECT_STREQ("123", d.dg_value);
  EXPECT_EQ(TM_MAXDTMF, ATDX_TERMMSK(h));

  DV_TPT mask[2] = {term(DX_DIGMASK, DM_P, 0, false), term(DX_MAXDTMF, 10)};
  EXPECT_EQ(3, dx_getdig(h, mask, &d, EV_SYNC));
  EXPECT_STREQ("4#", d.dg_value);
  EXPECT_EQ(TM_DIGIT, ATDX_TERMMSK(h));
  EXPECT_EQ(1, ATDX_BUFDIGS(h));
  dx_clrdigbuf(h);

  const std::uint64_t before = sw().now();
  DV_TPT time = term(DX_MAXTIME, 15, TF_10MS);
  EXPECT_EQ(1, dx_getdig(h, &time, &d, EV_SYNC));
  EXPECT_EQ(TM_MAXTIME, ATDX_TERMMSK(h));
  EXPECT_EQ(100u, sw().now() - before);  // one 100 ms pause, then time was up
  time.tp_flags = 0;
  time.tp_length = 5;
  EXPECT_EQ(1, dx_getdig(h, &time, &d, EV_SYNC));
  EXPECT_EQ(400u, sw().now() - before - 100);  // the fifth empty poll ends it
}

TEST_F(Voice, StopFromAnotherThreadEndsADigitWait) {
  callIn("L1#1", "401");
  int h = open("dxxxB1C1");
  armDetector(h);
  DV_TPT t = term(DX_LCOFF);
  DV_DIGIT d;
  int result = -9;
  std::thread app([&] { result = dx_getdig(h, &t, &d, EV_SYNC); });
  ASSERT_TRUE(waitUntil([&] { return vox::channelForTests(h)->isCollecting.load() != 0; }));
  EXPECT_EQ(0, dx_stopch(h, EV_SYNC));
  app.join();
  EXPECT_EQ(1, result);
  EXPECT_EQ(TM_USRSTOP, ATDX_TERMMSK(h));
}

TEST_F(Voice, TwoChannelsPlayAtOnce) {
  callIn("L1#1", "401");
  callIn("L1#2", "402");
  int a = open("dxxxB1C1");
  int b = open("dxxxB1C2");
  DX_IOTT ia = segment(voiceFile("a.vox", std::string(4000, 'a')), 4000, true);
  DX_IOTT ib = segment(voiceFile("b.vox", std::string(6000, 'b')), 6000, true);
  DV_TPT t = term(DX_LCOFF);
  int ra = -9, rb = -9;
  std::thread ta([&] { ra = dx_play(a, &ia, &t, EV_SYNC); });
  std::thread tb([&] { rb = dx_play(b, &ib, &t, EV_SYNC); });
  ASSERT_TRUE(waitUntil([] {
    std::string calls = sw().control("calls");
    std::size_t first = calls.find("Playing");
    return first != std::string::npos && calls.find("Playing", first + 1) != std::string::npos;
  }));
  sw().advance(1000);
  ta.join();
  tb.join();
  EXPECT_EQ(0, ra);
  EXPECT_EQ(0, rb);
  EXPECT_EQ(4000, ATDX_TRCOUNT(a));
  EXPECT_EQ(6000, ATDX_TRCOUNT(b));
}

// ---- what was mended ----------------------------------------------------------------

int count(const std::vector<int>& v, int x) { return static_cast<int>(std::count(v.begin(), v.end(), x)); }

// Each digit wait below has DX_MAXTIME 1 s and DX_LCOFF armed: with nobody
// left on a call it must run its full time, not end on what an earlier
// call left behind.
void expectFullTimeDigitWait(int h) {
  DV_TPT t[2] = {term(DX_MAXTIME, 10, 0, false), term(DX_LCOFF)};
  DV_DIGIT d;
  const std::uint64_t before = sw().now();
  EXPECT_EQ(1, dx_getdig(h, t, &d, EV_SYNC));
  EXPECT_EQ(TM_MAXTIME, ATDX_TERMMSK(h));
  EXPECT_EQ(900u, sw().now() - before);  // nine pauses of 100 ms, the tenth poll ends it
}

TEST_F(Voice, ADigitWaitIgnoresWhatAnEndedCallLeftBehind) {
  // A play on an idle channel: the library makes its own call and clears it.
  int h = open("dxxxB1C2");
  DX_IOTT iott = segment(voiceFile("idle.vox", std::string(800, 'i')), 800, true);
  DV_TPT lcoff = term(DX_LCOFF);
  int result = -9;
  std::thread app([&] { result = dx_play(h, &iott, &lcoff, EV_SYNC); });
  ASSERT_TRUE(waitUntil([] { return partyOnCall("Playing"); }));
  sw().advance(200);
  app.join();
  ASSERT_EQ(0, result);
  expectFullTimeDigitWait(h);

  // A caller who hangs up between two operations.
  callIn("L1#1", "401");
  int caller = open("dxxxB1C1");
  armDetector(caller);
  sw().control("hangup L1#1");
  expectFullTimeDigitWait(caller);
}

TEST_F(Voice, AStopAfterARefusedRecordStopsThePlayThatRuns) {
  callIn("L1#1", "401");
  int h = open("dxxxB1C1");
  DX_IOTT nowhere = segment(fileHandle("no such folder\\x.vox"), 8000, true);
  DV_TPT t = term(DX_LCOFF);
  EXPECT_EQ(-1, dx_rec(h, &nowhere, &t, EV_SYNC));
  EXPECT_LT(LastError(h), 0);  // refused by the server

  DX_IOTT iott = segment(voiceFile("stop.vox", std::string(80000, 's')), 80000, true);
  int result = -9;
  std::thread app([&] { result = dx_play(h, &iott, &t, EV_SYNC); });
  ASSERT_TRUE(waitUntil([] { return partyOnCall("Playing"); }));
  host().forget();
  EXPECT_EQ(0, dx_stopch(h, EV_SYNC));
  sw().advance(10000);  // the play's own end, should the stop miss it
  app.join();
  EXPECT_EQ(0, result);
  EXPECT_LT(ATDX_TRCOUNT(h), 80000);
  EXPECT_EQ(1, count(host().escapes(), kqPvtPlayStop));
  EXPECT_EQ(0, count(host().escapes(), kqPvtRecordStop));
}

// Stops from another thread race two plays, from the start of each (its
// call, monitor and request) to its end; a refused record comes first, as
// its flag once stayed set and let every stop read the connection.
TEST_F(Voice, StopsFromAnotherThreadRaceConsecutivePlays) {
  callIn("L1#1", "401");
  int h = open("dxxxB1C1");
  DX_IOTT nowhere = segment(fileHandle("no such folder\\y.vox"), 8000, true);
  DV_TPT t = term(DX_LCOFF);
  EXPECT_EQ(-1, dx_rec(h, &nowhere, &t, EV_SYNC));
  DX_IOTT iott = segment(voiceFile("race.vox", std::string(4000, 'r')), 4000, true);
  int first = -9, second = -9;
  std::atomic<bool> done{false};
  std::thread app([&] {
    first = dx_play(h, &iott, &t, EV_SYNC);
    second = dx_play(h, &iott, &t, EV_SYNC);
    done = true;
  });
  // The switch's clock is the library's too: moved on every turn, it ran
  // past the 15-s confirmation deadline while the playing thread waited for
  // its turn, and a play failed that nothing was wrong with. Moved a little,
  // a play that every stop missed still ends.
  std::uint64_t moved = 0;
  while (!done) {
    dx_stopch(h, EV_SYNC);
    if (moved < 5000) {
      sw().advance(1);
      ++moved;
    }
  }
  app.join();
  EXPECT_EQ(0, first) << LastError(h);
  EXPECT_EQ(0, second) << LastError(h);
}

// A digit wait from a second thread while a play runs: refused at once,
// and the play goes on to be stopped as usual.
TEST_F(Voice, ASecondOperationOnABusyChannelIsRefusedAtOnce) {
  callIn("L1#1", "401");
  int h = open("dxxxB1C1");
  DX_IOTT iott = segment(voiceFile("busy.vox", std::string(80000, 'b')), 80000, true);
  DV_TPT lcoff = term(DX_LCOFF);
  int result = -9;
  std::thread app([&] { result = dx_play(h, &iott, &lcoff, EV_SYNC); });
  ASSERT_TRUE(waitUntil([] { return partyOnCall("Playing"); }));
  DV_TPT quick = term(DX_MAXTIME, 1);
  DV_DIGIT d;
  EXPECT_EQ(-1, dx_getdig(h, &quick, &d, EV_SYNC));
  EXPECT_EQ(VOX_ERR_BUSY, LastError(h));
  EXPECT_EQ(-1, dx_rec(h, &iott, &lcoff, EV_SYNC));
  EXPECT_EQ(0, dx_stopch(h, EV_SYNC));
  app.join();
  EXPECT_EQ(0, result);
  EXPECT_LT(ATDX_TRCOUNT(h), 80000);
}

TEST_F(Voice, AStalledServerIsGivenUpOn) {
  sw().control("delay 600000");  // no confirmation comes while the test runs
  const std::uint64_t before = sw().now();
  EXPECT_EQ(-1, dx_open("dxxxB1C1", 0));
  EXPECT_GE(sw().now() - before, static_cast<std::uint64_t>(vox::kConfirmationWaitMs));
  sw().control("delay 0");
}

}  // namespace
