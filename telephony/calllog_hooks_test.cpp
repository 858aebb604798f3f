// Call logging fed by the dispatcher against the simulated switch: monitors
// kept under the device their request named, calls tracked, monitored and
// written when they end, and the snapshot polling of unattended mode that
// closes calls the server forgot.
#include <gtest/gtest.h>

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
void keep(CallInfo& call) { written().push_back(call.o_report(0)); }

class CallLogging : public StreamTest {
 protected:
  void SetUp() override {
    StreamTest::SetUp();
    CallInfo::reset();
    written().clear();
    CallInfo::setClock(readFakeSeconds);
    CallInfo::setRecordWriter(keep);
    CallInfo::setSMDRformat(PBXtypeTelvanix);
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
    CallInfo::setOutputFile(12345);
  }
  void openUnattended() {
    connectQuietly();
    for (int i = 0; i < 5; ++i) poll();
  }
  std::string sessions() { return sw.control("sessions"); }
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
  ASSERT_NE(sessions().find(", 24 monitors,"), std::string::npos) << sessions();

  sw.control("dial 201 202");
  poll();
  ASSERT_EQ(activeCalls.size(), 1u);
  // The new call got a monitor of its own, kept under no device.
  EXPECT_NE(sessions().find(", 25 monitors,"), std::string::npos) << sessions();
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
  CallInfo::setOutputFile(PLAT_INVALID_HANDLE);
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

}  // namespace
}  // namespace stream_test
