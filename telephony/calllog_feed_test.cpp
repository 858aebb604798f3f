// Call logging fed by the dispatcher against the simulated switch: monitors
// kept under the device their request named, calls tracked, monitored and
// written when they end, and the snapshot polling of unattended mode that
// closes calls the server forgot.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "calllog/smdr.h"
#include "telephony/events.h"
#include "telephony/test_switch.h"

namespace stream_test {
namespace {

std::vector<std::string>& written() {
  static std::vector<std::string> w;
  return w;
}
// As the call log's own writer: nothing while the log is closed.
void keep(CallInfo& call) {
  if (callLoggingEnabled) written().push_back(call.o_report(0));
}

// What a record says of its call, and when it was written.
struct Record {
  long callID;
  CallTime answered, ended, writtenAt;
  std::string caller, to;
};
std::vector<Record>& records() {
  static std::vector<Record> r;
  return r;
}
void keepRecord(CallInfo& call) {
  records().push_back({call.callID, call.answeringTime, call.hangupTime, fakeSeconds(),
                       call.callerNumber, call.toNumber});
}

long callOf(const std::string& answer) {
  return answer.rfind("call ", 0) == 0 ? std::atol(answer.c_str() + 5) : 0;
}

std::size_t count(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

class CallLogging : public StreamTest {
 protected:
  void SetUp() override {
    StreamTest::SetUp();
    CallInfo::reset();
    written().clear();
    CallInfo::setClock(readFakeSeconds);
    CallInfo::setRecordWriter(keep);
    CallInfo::setSMDRformat(PBXtypeTelvanix);
    io_setPrintoutLimit(200);  // messages counted afresh for each test
  }
  void TearDown() override {
    callLoggingEnabled = 0;
    manualMode = 1;
    CallInfo::reset();
    CallInfo::setClock(nullptr);
    CallInfo::setRecordWriter(nullptr);
    StreamTest::TearDown();
  }
  // Logging "open" onto the writer above.
  void startLogging() {
    callLoggingEnabled = 1;
  }
  void openUnattended() {
    connectQuietly();
    for (int i = 0; i < 5; ++i) poll();
  }
  std::string sessions() { return sw.control("sessions"); }
  // The stream served by a switch of `extensions` more phones, numbered
  // from 3000.
  telsim::Switch& biggerSwitch(int extensions) {
    telsim::Config cfg = anyPasswordConfig();
    for (int i = 0; i < extensions; ++i) {
      telsim::DeviceConfig d;
      d.number = std::to_string(3000 + i);
      d.physName = "X2#" + std::to_string(i + 1);
      cfg.devices.push_back(d);
    }
    big.reset(new telsim::Switch(cfg, true));
    bigHost.reset(new SwitchHost(*big));
    csta32::registerLocalHost("TELVANIX", bigHost.get());
    return *big;
  }
  std::unique_ptr<telsim::Switch> big;
  std::unique_ptr<SwitchHost> bigHost;
};

TEST_F(CallLogging, UnattendedMonitorsAreKeptUnderTheirDevices) {
  openUnattended();
  for (int i = 1; i <= 8; ++i)
    EXPECT_EQ(monitorDictionary.count("L1#" + std::to_string(i)), 1u) << i;
  EXPECT_EQ(monitorDictionary.count("201"), 0u);
  EXPECT_EQ(monitorDictionary.size(), 8u);
}

TEST_F(CallLogging, CallsAreTrackedMonitoredAndWrittenOnce) {
  SMDRmonitorExt = true;
  startLogging();
  openUnattended();
  const std::size_t monitors = monitorDictionary.size();
  ASSERT_NE(sessions().find(", 24 monitors (24 on devices),"), std::string::npos) << sessions();

  sw.control("dial 201 202");
  poll();
  ASSERT_EQ(activeCalls.size(), 1u);
  // The new call got a monitor of its own, kept under no device.
  EXPECT_NE(sessions().find(", 25 monitors (24 on devices),"), std::string::npos) << sessions();
  EXPECT_EQ(monitorDictionary.size(), monitors);

  fakeSeconds() += 3;
  sw.control("answer 202");
  poll();
  fakeSeconds() += 65;
  sw.control("hangup 201");
  poll();
  // Every monitor saw the clearing; the record was written once.
  ASSERT_EQ(written().size(), 1u);
  EXPECT_EQ(written()[0].substr(0, 2), "C ");
  EXPECT_NE(written()[0].find(" 0:03 I 202    1:05 201 "), std::string::npos) << written()[0];
  EXPECT_TRUE(activeCalls.empty());

  // Logging closed: calls are still followed, but nothing is written.
  callLoggingEnabled = 0;
  sw.control("dial 203 204");
  poll();
  EXPECT_EQ(activeCalls.size(), 1u);
  sw.control("hangup 203");
  poll();
  EXPECT_EQ(written().size(), 1u);
  EXPECT_TRUE(activeCalls.empty());
}

TEST_F(CallLogging, UnattendedPollingClosesCallsTheServerForgot) {
  startLogging();
  openUnattended();
  manualMode = 0;
  // A call the switch knows nothing of: its snapshot is refused, nothing
  // more is heard of it.
  CallInfo::alerting(999, "201", "202", "202");
  const long snapshotsBefore = callSnapshots;
  poll();
  EXPECT_EQ(callSnapshots, snapshotsBefore);
  EXPECT_GE(cstaFailCount, 1);
  EXPECT_EQ(activeCalls.size(), 1u);

  // A new round (every 300 s) asks once more; 5 s later the call, unseen
  // for over 600 s, is closed.
  fakeSeconds() += 601;
  poll();
  EXPECT_EQ(written().size(), 0u);
  fakeSeconds() += 5;
  const std::string out = poll();
  EXPECT_NE(out.find("?Logging an inactive call, callID=3E7 callerNumber=201 toNumber=202\n"),
            std::string::npos)
      << out;
  ASSERT_EQ(written().size(), 1u);
  EXPECT_TRUE(activeCalls.empty());
}

TEST_F(CallLogging, LinesTellWhereCallsCameIn) {
  SMDRmonitorExt = true;
  startLogging();
  openUnattended();
  CallInfo::setSMDRformat(PBXtypeMiVBStandard);
  // In on line 5 and answered; out on the first free line; in on line 6
  // and straight out again on another.
  sw.control("autoanswer 202 1");
  sw.control("dialin L1#5 5085551234 202");
  sw.advance(3000);
  poll();
  sw.control("hangup 202");
  poll();
  sw.control("dial 203 95551234");
  poll();
  sw.control("hangup 203");
  poll();
  sw.control("forward 204 immediate 95550000");
  sw.control("dialin L1#6 6175550000 204");
  poll();
  sw.control("hangup L1#6");
  poll();

  ASSERT_EQ(written().size(), 3u);
  EXPECT_EQ(written()[0].substr(23, 4), "T005") << written()[0];
  EXPECT_EQ(written()[1].substr(23, 4), "203 ") << written()[1];
  EXPECT_EQ(written()[1].substr(61, 4), "T001") << written()[1];
  // One record per trunk, both from line 6 to the line it left on.
  ASSERT_EQ(written()[2].size(), 2 * 92u) << written()[2];
  EXPECT_EQ(written()[2].substr(23, 4), "T006") << written()[2];
  EXPECT_EQ(written()[2].substr(92 + 23, 4), "T006") << written()[2];
  EXPECT_EQ(written()[2].substr(92 + 61, 4), "T001") << written()[2];
}

TEST_F(CallLogging, CallsThatEndedDuringADropAreWrittenSoonAfterTheReopen) {
  telsim::Switch& s = biggerSwitch(2000);
  startLogging();
  CallInfo::setRecordWriter(keepRecord);
  records().clear();
  openUnattended();
  manualMode = 0;
  io_setPrintoutLimit(100000);
  // A thousand calls up and tracked, each seen last when it was answered.
  std::vector<long> ids;
  for (int i = 0; i < 1000; ++i) {
    const std::string from = std::to_string(3000 + i), to = std::to_string(4000 + i);
    const long id = callOf(s.control("dial " + from + " " + to));
    ASSERT_NE(id, 0) << i;
    s.control("answer " + to);
    ASSERT_FALSE(CallInfo::answered(id, from.c_str(), to.c_str(), to.c_str()));
    ids.push_back(id);
  }
  const std::int64_t lastSeen = fakeSeconds();
  poll();

  // The link goes; 700 calls end while it is down.
  s.control("drop all");
  for (int i = 0; i < 700; ++i) s.control("hangup " + std::to_string(3000 + i));
  fakeSeconds() += 5;
  const std::int64_t reopenedAt = fakeSeconds();
  std::string out = poll();
  ASSERT_NE(acsHandle, 0u);
  EXPECT_NE(out.find("! Stream reopened"), std::string::npos) << out;
  // Paced: no more checks than a second allows.
  EXPECT_LE(records().size(), static_cast<std::size_t>(CallInfo::kChecksPerSecond));
  EXPECT_GT(records().size(), 0u);
  while (fakeSeconds() < reopenedAt + 10) {
    fakeSeconds() += 1;
    out += poll();
  }
  ASSERT_EQ(records().size(), 700u);
  for (const Record& r : records()) EXPECT_LE(r.writtenAt, reopenedAt + 10) << r.callID;
  EXPECT_EQ(count(out, "?Logging a call that ended during a link outage, callID="), 700u);
  std::map<long, int> times;
  for (const Record& r : records()) {
    ++times[r.callID];
    EXPECT_EQ(r.ended, lastSeen) << r.callID;  // the last time it was seen
  }
  for (int i = 0; i < 1000; ++i) EXPECT_EQ(times.count(ids[i]), i < 700 ? 1u : 0u) << i;
  EXPECT_EQ(activeCalls.size(), 300u);

  // The 300 still up were shown alive: they end when they end, not when
  // they were last seen.
  fakeSeconds() += 30;
  for (int i = 700; i < 1000; ++i) ASSERT_TRUE(CallInfo::ended(ids[i], true)) << i;
  ASSERT_EQ(records().size(), 1000u);
  for (std::size_t i = 700; i < 1000; ++i) EXPECT_EQ(records()[i].ended, fakeSeconds());
}

TEST_F(CallLogging, AfterAServerRestartReusedCallIDsAreNewCalls) {
  SMDRmonitorExt = true;
  startLogging();
  CallInfo::setRecordWriter(keepRecord);
  records().clear();
  openUnattended();
  manualMode = 0;
  // Two calls up before the restart: IDs 1 and 2.
  ASSERT_EQ(callOf(sw.control("dial 201 202")), 1);
  ASSERT_EQ(callOf(sw.control("dial 203 204")), 2);
  poll();
  fakeSeconds() += 2;
  sw.control("answer 202");
  sw.control("answer 204");
  poll();
  const std::int64_t oldAnswered = fakeSeconds();
  ASSERT_EQ(activeCalls.size(), 2u);

  // The server restarts and numbers calls from 1 again; one new call
  // begins and is answered before we are back.
  fakeSeconds() += 10;
  sw.control("reset");
  ASSERT_EQ(callOf(sw.control("dial 205 206")), 1);
  sw.control("answer 206");
  const std::int64_t foundAnswered = fakeSeconds();
  std::string out = poll();
  ASSERT_NE(acsHandle, 0u);
  fakeSeconds() += 1;
  out += poll();
  // One more begins after, on ID 2.
  ASSERT_EQ(callOf(sw.control("dial 207 208")), 2);
  out += poll();
  fakeSeconds() += 3;
  sw.control("answer 208");
  out += poll();
  const std::int64_t newAnswered = fakeSeconds();
  fakeSeconds() += 40;
  sw.control("hangup 205");
  sw.control("hangup 207");
  out += poll();

  // The old calls end with their own times; the new ones have records of
  // their own.
  ASSERT_EQ(records().size(), 4u) << out;
  EXPECT_EQ(count(out, "?Logging a call that ended during a link outage"), 2u) << out;
  std::map<std::string, Record> byCaller;
  for (const Record& r : records()) byCaller[r.caller] = r;
  ASSERT_EQ(byCaller.size(), 4u);
  EXPECT_EQ(byCaller["201"].to, "202");
  EXPECT_EQ(byCaller["201"].ended, oldAnswered);
  EXPECT_EQ(byCaller["203"].to, "204");
  EXPECT_EQ(byCaller["203"].answered, oldAnswered);
  EXPECT_EQ(byCaller["205"].to, "206");
  EXPECT_EQ(byCaller["205"].answered, foundAnswered);
  EXPECT_EQ(byCaller["205"].ended, newAnswered + 40);
  EXPECT_EQ(byCaller["207"].to, "208");
  EXPECT_EQ(byCaller["207"].answered, newAnswered);
  EXPECT_EQ(byCaller["207"].ended, newAnswered + 40);
  EXPECT_TRUE(activeCalls.empty());
}

// Only the lines are watched: their monitors hear parties leave, never the
// call end, so a call found after the restart must be followed by a call
// monitor of its own, as every call first seen in an event is.
TEST_F(CallLogging, ACallFoundOnALineAfterARestartIsWrittenWhenItEnds) {
  SMDRmonitorExt = false;
  startLogging();
  CallInfo::setRecordWriter(keepRecord);
  records().clear();
  openUnattended();
  manualMode = 0;
  sw.control("reset");
  sw.control("dialin L1#5 5085551234 202");
  sw.control("answer 202");
  std::string out = poll();
  ASSERT_NE(out.find("! Stream reopened"), std::string::npos) << out;
  fakeSeconds() += 30;
  sw.control("hangup 202");
  out += poll();
  ASSERT_EQ(records().size(), 1u) << out;
  EXPECT_EQ(records()[0].caller, "5085551234");
  EXPECT_EQ(records()[0].ended, fakeSeconds());
}

// A service may start before its server: the logger keeps trying to open
// the stream, with the back-off of a reopen, and logs once it is up.
TEST_F(CallLogging, AServerDownAtStartIsTriedUntilItAnswers) {
  SMDRmonitorExt = true;
  startLogging();
  CallInfo::setRecordWriter(keepRecord);
  records().clear();
  manualMode = 0;
  sw.control("down");
  ::testing::internal::CaptureStdout();
  doConnect();
  std::fflush(stdout);
  std::string out = ::testing::internal::GetCapturedStdout();
  ASSERT_EQ(acsHandle, 0u);
  out += poll();
  EXPECT_NE(out.find("!? Stream reopen failed (ACSERR_NOSERVER), next try in 1 s"),
            std::string::npos)
      << out;
  fakeSeconds() += 1;
  out += poll();
  EXPECT_NE(out.find("next try in 2 s"), std::string::npos) << out;
  sw.control("up");
  fakeSeconds() += 2;
  for (int i = 0; i < 5; ++i) out += poll();
  ASSERT_NE(acsHandle, 0u) << out;
  EXPECT_NE(out.find("! Stream reopened, acsHandle"), std::string::npos) << out;
  EXPECT_NE(sessions().find("(24 on devices)"), std::string::npos) << sessions();
  sw.control("dial 201 202");
  sw.control("answer 202");
  poll();
  sw.control("hangup 201");
  poll();
  ASSERT_EQ(records().size(), 1u);
  EXPECT_EQ(records()[0].caller, "201");
}

TEST_F(CallLogging, ShortOutageWhileShortCallsKeepComing) {
  SMDRmonitorExt = true;
  startLogging();
  CallInfo::setRecordWriter(keepRecord);
  records().clear();
  openUnattended();
  manualMode = 0;
  // Each second a call begins on the next of eight pairs; it is answered a
  // second later and hung up three seconds after that. The server goes
  // away for three seconds in the middle of the run.
  struct Life {
    std::int64_t start = 0, end = 0;
  };
  std::map<long, Life> lives;
  std::map<int, long> callOnPair;
  const std::int64_t t0 = fakeSeconds();
  const std::int64_t downAt = t0 + 20, upAt = t0 + 23;
  for (int t = 0; t < 45; ++t) {
    const std::int64_t now = t0 + t;
    fakeSeconds() = now;
    if (now == downAt) sw.control("down");
    if (now == upAt) sw.control("up");
    const int pair = t % 8;
    const std::string from = std::to_string(201 + pair), to = std::to_string(209 + pair);
    if (t < 40) {
      const long id = callOf(sw.control("dial " + from + " " + to));
      ASSERT_NE(id, 0) << t;
      lives[id].start = now;
      callOnPair[pair] = id;
    }
    const int answering = (t + 7) % 8, ending = (t + 4) % 8;
    if (t >= 1 && t - 1 < 40) sw.control("answer " + std::to_string(209 + answering));
    if (t >= 4 && t - 4 < 40) {
      sw.control("hangup " + std::to_string(201 + ending));
      lives[callOnPair[ending]].end = now;
    }
    poll();
  }
  for (int i = 0; i < 60; ++i) {
    fakeSeconds() += 1;
    poll();
  }

  std::map<long, int> times;
  for (const Record& r : records()) ++times[r.callID];
  long missing = 0;
  for (const auto& entry : lives) {
    const Life& life = entry.second;
    const bool insideOutage = life.start >= downAt && life.end <= upAt;
    if (insideOutage) continue;
    const auto found = times.find(entry.first);
    if (found == times.end()) {
      ++missing;
      ADD_FAILURE() << "call " << entry.first << " " << life.start - t0 << "-" << life.end - t0
                    << " not written";
      continue;
    }
    EXPECT_EQ(found->second, 1) << "call " << entry.first << " written twice";
  }
  for (const Record& r : records())
    EXPECT_LE(r.writtenAt - lives[r.callID].end, 60) << "call " << r.callID << " written late";
  EXPECT_EQ(missing, 0);
}

}  // namespace
}  // namespace stream_test
