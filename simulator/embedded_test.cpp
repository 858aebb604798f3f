// The embedded switch set up from the environment: TELSIM_CONFIG and
// TELSIM_SCENARIO name files this test writes before the switch is first
// used (the switch reads them only then).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "simulator/test_client.h"

namespace {

bool writeFile(const char* variable, const char* text) {
  const char* path = std::getenv(variable);
  if (!path) return false;
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  std::fputs(text, f);
  return std::fclose(f) == 0;
}

TEST(Embedded, StartsWithTheConfiguredForwardingAndScenario) {
  ASSERT_TRUE(writeFile("TELSIM_CONFIG", "forward 205 noanswer 206\nforward X1#7 immediate 95551234\n"));
  ASSERT_TRUE(writeFile("TELSIM_SCENARIO",
                        "# an outside caller waits at reception\n"
                        "dialin L1#2 5551234 201 \"Ann Smith\"\n"
                        "forward 203 busy 204\n"));
  telsim::Switch& sw = telsim::embeddedSwitch();
  bool ok = false;
  EXPECT_EQ(sw.control("calls", &ok), "call 1: L1#2=5551234(C) 201(A)\n");
  const std::string devices = sw.control("devices", &ok);
  EXPECT_NE(devices.find("205    X1#5   extension\n       forward noanswer to 206\n"), std::string::npos) << devices;
  EXPECT_NE(devices.find("207    X1#7   extension\n       forward immediate to 95551234\n"), std::string::npos);
  EXPECT_NE(devices.find("203    X1#3   extension\n       forward busy to 204\n"), std::string::npos);

  // A client coming later finds the switch as the scenario left it.
  telsim_test::Client c(sw);
  ASSERT_EQ(c.open().eventType(), ACS_OPEN_STREAM_CONF);
  c.send(telsim_test::Client::dev(wire::Op::SnapshotDevice, "201"));
  std::vector<wire::Event> v = c.take();
  ASSERT_EQ(v.size(), 1u);
  ASSERT_EQ(v[0].deviceSnapshot.size(), 1u);
  EXPECT_EQ(v[0].deviceSnapshot[0].call.callID, 1);
  c.send(telsim_test::Client::dev(wire::Op::QueryFwd, "207"));
  v = c.take();
  ASSERT_EQ(v.size(), 1u);
  EXPECT_EQ(v[0].ev.event.cstaConfirmation.u.queryFwd.queryFwd.count, 1);
  EXPECT_EQ(c.makeCall("202", "207"), 2);
  EXPECT_EQ(sw.control("calls", &ok), "call 1: L1#2=5551234(C) 201(A)\ncall 2: 202(C) L1#1=95551234(C)\n");
}

}  // namespace
