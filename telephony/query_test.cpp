#include "telephony/query.h"

#include "calllog/smdr.h"
#include "display/filters.h"
#include "telephony/calls_test_fixture.h"

using calltest::Commands;
using calltest::Sent;
using calltest::sent;
using calltest::sim;
using testfiles::contains;

namespace {

// Waits run on a clock that moves a quarter second at each look.
std::uint64_t fakeMillis = 0;
std::uint64_t steppingClock() { return fakeMillis += 250; }

// Pauses and waits read a clock of their own that moves a second at each
// look: a one-second pause that runs its time out looks three times, a wait
// that its answer ends looks once.
std::uint64_t waitedMillis = 0;
std::uint64_t waitClock() { return waitedMillis += 1000; }
long fullPauses() { return static_cast<long>(waitedMillis / 3000); }

class QueryCommands : public Commands {
 protected:
  void SetUp() override {
    Commands::SetUp();
    trunkCount = 6;
    lineCount = 18;
    waitedMillis = 0;
    setWaitClock(waitClock);
    setEventClocksForTests(nullptr, steppingClock);
    globalFilter = CSTAMonitorFilter_t();
  }
  void TearDown() override {
    setWaitClock(nullptr);
    setEventClocksForTests(nullptr, nullptr);
    globalFilter = CSTAMonitorFilter_t();
    callLoggingEnabled = 0;
    Commands::TearDown();
  }

  std::vector<std::string> devicesOf(const std::string& op) {
    std::vector<std::string> devices;
    for (const Sent& s : requests(op)) devices.push_back(s.device);
    return devices;
  }

  static std::vector<std::string> numbered(const char* prefix, int from, int to) {
    std::vector<std::string> names;
    for (int i = from; i <= to; ++i) names.push_back(prefix + std::to_string(i));
    return names;
  }
};

TEST_F(QueryCommands, ReportsSnapshotTrunksAndLinesByPhysicalName) {
  EXPECT_EQ(run(doTrunkReport, "\n"), "Number of trunks to report on [6]: \n");
  EXPECT_EQ(devicesOf("cstaSnapshotDeviceReq"), numbered("L1#", 1, 6));
  sent().clear();
  EXPECT_EQ(run(doLineReport, "\n"), "Number of lines to report on [18]: \n");
  EXPECT_EQ(devicesOf("cstaSnapshotDeviceReq"), numbered("X1#", 1, 17)) << "the switch has 16 extensions";
  // One invoke ID each.
  for (std::size_t i = 1; i < sent().size(); ++i)
    EXPECT_EQ(sent()[i].invokeID, sent()[i - 1].invokeID + 1);
  poll();
  EXPECT_EQ(deviceSnapshots, 6 + 16);
  EXPECT_EQ(cstaFailCount, 1);

  waitedMillis = 0;
  run(doTrunkReport, "2\n");
  EXPECT_EQ(trunkCount, 2);
  EXPECT_LE(waitedMillis, 2000u) << "a snapshot's wait outlasted its answer";
}

TEST_F(QueryCommands, FullQueueIsRetriedTenTimesWithTheSameInvokeIDThenReported) {
  sim("refuse 11 queue_full");
  const InvokeID_t first = invokeID;
  EXPECT_EQ(run(doTrunkReport, "1\n"),
            "Number of trunks to report on [6]: \n"
            "!? ACS ERROR ACSERR_QUEUE_FULL: when trying to snapshot for report\n");
  EXPECT_EQ(fullPauses(), 10);
  EXPECT_TRUE(sent().empty()) << "a refused request reached the switch";
  EXPECT_EQ(invokeID, first + 1);

  // Buffers that come free in time: the snapshot goes out, nothing to report.
  sent().clear();
  waitedMillis = 0;
  sim("refuse 3 nobuffers");
  const InvokeID_t retried = invokeID;
  EXPECT_EQ(run(doTrunkReport, "1\n"), "Number of trunks to report on [1]: \n");
  EXPECT_EQ(fullPauses(), 3);
  ASSERT_EQ(sent().size(), 1u);
  EXPECT_EQ(sent()[0].invokeID, retried) << "the tries did not keep their invoke ID";
  EXPECT_EQ(sent()[0].device, "L1#1");
  poll();
  EXPECT_EQ(deviceSnapshots, 1);
}

// However large the count, a report ends at the first device the switch
// refuses, and at once when the stream is gone.
TEST_F(QueryCommands, ReportsEndWithTheDevicesAndAtTheFirstStreamFailure) {
  run(doTrunkReport, "2147483647\n");
  EXPECT_EQ(devicesOf("cstaSnapshotDeviceReq"), numbered("L1#", 1, 9)) << "the switch has 8 lines";
  EXPECT_EQ(trunkCount, 2147483647L);

  sent().clear();
  waitedMillis = 0;
  acsAbortStream(acsHandle, nullptr);  // the library no longer knows the handle
  const std::string said = run(doTrunkReport, "2\n");
  acsHandle = 0;
  EXPECT_EQ(waitedMillis, 0u);
  EXPECT_TRUE(devicesOf("cstaSnapshotDeviceReq").empty());
  EXPECT_EQ(said, "Number of trunks to report on [2147483647]: \n"
                  "!? ACS ERROR ACSERR_BADHDL: when trying to snapshot for report\n");
}

TEST_F(QueryCommands, MonitorLinesStopsAtTheFirstLineNotConfirmed) {
  run(doMonitorLines, "");
  EXPECT_EQ(devicesOf("cstaMonitorDevice"), numbered("L1#", 1, 9)) << "the switch has 8 lines";
  EXPECT_EQ(ackCount, 8);
  // Each wait, the refused ninth's too, ends with its own answer.
  EXPECT_EQ(waitedMillis, 9000u);
  sent().clear();
  globalFilter.call = CF_DELIVERED;
  run(doMonitorExtensions, "");
  EXPECT_EQ(devicesOf("cstaMonitorDevice"), numbered("x1#", 1, 17));
  EXPECT_EQ(sent()[0].filterCall, CF_DELIVERED) << "operator's monitors use the global filter";

  // A refused request ends the walk without waiting.
  sent().clear();
  sim("refuse 1 queue_full");
  run(doMonitorLines, "");
  EXPECT_TRUE(sent().empty());
}

TEST_F(QueryCommands, EndingAMonitorFindsItByDeviceOrOffersTheLastOne) {
  EXPECT_EQ(run(doMonitors, "\n203\n"), "Choose what to Monitor [DEVICE]: \nLine [201]: \n");
  poll();
  ASSERT_EQ(monitorDictionary.count("203"), 1u);
  const CSTAMonitorCrossRefID_t xref = monitorDictionary["203"];

  EXPECT_EQ(run(doEndMonitor, "\n"),
            "Line [203]: \nFound monitor " + std::to_string(xref) + " for device 203\n");
  EXPECT_EQ(sent().back().op, "cstaMonitorStop");
  EXPECT_EQ(sent().back().crossRefID, xref);
  EXPECT_EQ(monitorDictionary.count("203"), 0u);
  poll();
  EXPECT_EQ(cstaFailCount, 0);

  lastMonitorID = 77;
  EXPECT_EQ(run(doEndMonitor, "\n\n"),
            "Line [203]: \nMonitor on device not found, Monitor to end [77]: \n");
  EXPECT_EQ(sent().back().crossRefID, 77u);
}

TEST_F(QueryCommands, NumberAfterSnapOrMonitorNamesTheDevice) {
  // As typed on the command's own line: no question is asked.
  testing::internal::CaptureStdout();
  i_giveBackLine("207");
  doSnapshots();
  i_giveBackLine("208");
  doMonitors();
  EXPECT_EQ(testfiles::capturedStdout(), "");
  ASSERT_EQ(sent().size(), 2u);
  EXPECT_EQ(sent()[0].op + " " + sent()[0].device, "cstaSnapshotDeviceReq 207");
  EXPECT_EQ(sent()[1].op + " " + sent()[1].device, "cstaMonitorDevice 208");

  EXPECT_EQ(run(doSnapshots, "call\n"), "Choose what to snapshot [CURRENT_DEVICE]: \n? No current call.\n");
  EXPECT_EQ(run(doSnapshots, "~\n"), "Choose what to snapshot [CURRENT_DEVICE]: \n");
  EXPECT_EQ(sent().size(), 2u);
}

TEST_F(QueryCommands, SettingAFeatureOffersItsCurrentState) {
  sim("dnd 203 on");
  EXPECT_EQ(run(doSetDoNotDisturb, "203\nOFF\n"), "Device [201]: \nDo not disturb [ON]: \n");
  EXPECT_EQ(waitedMillis, 1000u) << "the wait outlasted the query's answer";
  ASSERT_EQ(sent().size(), 2u);
  EXPECT_EQ(sent()[0].op, "cstaQueryDoNotDisturb");
  EXPECT_EQ(sent()[1].op, "cstaSetDoNotDisturb");
  EXPECT_EQ(sent()[1].flag, 0);
  poll();
  EXPECT_FALSE(contains(sim("devices"), "dnd"));

  EXPECT_EQ(run(doSetMessageWaiting, "\nON\n"), "Device [203]: \nMessage waiting [OFF]: \n");
  EXPECT_EQ(sent().back().op, "cstaSetMsgWaitingInd");
  EXPECT_EQ(sent().back().flag, 1);
  poll();
  EXPECT_TRUE(contains(sim("devices"), "mwi"));
  EXPECT_EQ(run(doSetMessageWaiting, "\n\n"), "Device [203]: \nMessage waiting [ON]: \n");

  // Nothing left to answer with: the query went out, the change does not.
  sent().clear();
  run(doSetDoNotDisturb, "\n");
  EXPECT_EQ(sent().size(), 1u);
}

TEST_F(QueryCommands, ForwardingIsAskedForWithoutADefaultDevice) {
  EXPECT_EQ(run(doGetForwarding, "202\n"), "Get forwarding for device: \n");
  EXPECT_EQ(sent().back().device, "202");
  EXPECT_EQ(run(doGetForwarding, "\n"), "Get forwarding for device [202]: \n");
}

TEST_F(QueryCommands, AutomaticCallMonitorsOnlyWhileLoggingAndNotForPlayOrRecord) {
  globalFilter.call = CF_DELIVERED;
  startCallMonitor(5, nullptr);
  callLoggingEnabled = 1;
  startCallMonitor(0, nullptr);
  startCallMonitor(5, "Playing");
  startCallMonitor(5, "Recording");
  EXPECT_TRUE(sent().empty());
  startCallMonitor(5, "203");
  ASSERT_EQ(sent().size(), 1u);
  EXPECT_EQ(sent()[0].op, "cstaMonitorCall");
  EXPECT_EQ(sent()[0].callID, 5);
  EXPECT_EQ(sent()[0].callDevice, "");
  EXPECT_EQ(sent()[0].filterCall, 0) << "every event of the call passes";
}

}  // namespace
