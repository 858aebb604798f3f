// SMDR over TCP on loopback: every collector gets every record in order,
// records wait for a late collector within their bound, a collector that
// stops reading is cut without holding the others, a pushed stream survives
// its collector going away, and bad values are refused with a message.
#include "calllog/outputs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/net.h"

namespace {

const unsigned kWaitMs = 5000;

std::string record(int n, std::size_t width = 20) {
  std::string text = "record " + std::to_string(n);
  text.resize(width, '.');
  return text + "\n";
}

// A collector that connects to the serve output and reads whole lines.
struct Reader {
  plat_socket sock = PLAT_INVALID_SOCKET;
  std::string pending;

  explicit Reader(plat_socket s) : sock(s) {}
  ~Reader() {
    if (sock != PLAT_INVALID_SOCKET) plat_sock_close(sock);
  }
  // The next line, "" when the peer closed or nothing came in time.
  std::string line() {
    for (;;) {
      const std::size_t end = pending.find('\n');
      if (end != std::string::npos) {
        const std::string text = pending.substr(0, end + 1);
        pending.erase(0, end + 1);
        return text;
      }
      if (plat_sock_wait_readable(sock, static_cast<int>(kWaitMs)) != 1) return "";
      char buf[65536];
      const long n = plat_sock_recv(sock, buf, sizeof buf);
      if (n <= 0) return "";
      pending.append(buf, static_cast<std::size_t>(n));
    }
  }
};

plat_socket connectToServe() {
  return plat_tcp_connect("127.0.0.1", smdrServePort(), kWaitMs);
}

bool said(const std::vector<std::string>& messages, const std::string& part) {
  for (const std::string& m : messages)
    if (m.find(part) != std::string::npos) return true;
  return false;
}

class Outputs : public ::testing::Test {
 protected:
  void SetUp() override { smdrOutputsTakeMessages(); }
  void TearDown() override {
    smdrServeStop();
    smdrPushStop();
    smdrOutputsTakeMessages();
  }
};

TEST(OutputAddress, ServeAndPushValues) {
  std::string host;
  int port = -1;
  EXPECT_TRUE(smdrParseAddress("1752", false, &host, &port));
  EXPECT_EQ(host, "127.0.0.1");
  EXPECT_EQ(port, 1752);
  EXPECT_TRUE(smdrParseAddress("0.0.0.0:0", false, &host, &port));
  EXPECT_EQ(host, "0.0.0.0");
  EXPECT_EQ(port, 0);
  EXPECT_TRUE(smdrParseAddress("collector.example:9000", true, &host, &port));
  EXPECT_EQ(host, "collector.example");
  for (const char* bad : {"abc", "", ":1752", "host:", "65536", "17a2", "123456", "host:-1"})
    EXPECT_FALSE(smdrParseAddress(bad, false, &host, &port)) << bad;
  // Pushing needs a host and a real port.
  for (const char* bad : {"1752", "host:0", ":9000"})
    EXPECT_FALSE(smdrParseAddress(bad, true, &host, &port)) << bad;
}

TEST_F(Outputs, EveryCollectorGetsEveryRecordAndALateOneTheWaitingOnesFirst) {
  ASSERT_TRUE(smdrServeStart("0", 100));
  ASSERT_NE(smdrServePort(), 0);
  // Nobody listens yet: these wait.
  smdrOutputsSend(record(1));
  smdrOutputsSend(record(2));
  Reader first(connectToServe());
  ASSERT_TRUE(smdrServeWaitCollectors(1, kWaitMs));
  Reader second(connectToServe());
  ASSERT_TRUE(smdrServeWaitCollectors(2, kWaitMs));
  smdrOutputsSend(record(3));
  smdrOutputsSend(record(4));
  for (int n = 1; n <= 4; ++n) EXPECT_EQ(first.line(), record(n));
  EXPECT_EQ(second.line(), record(3));
  EXPECT_EQ(second.line(), record(4));

  const std::vector<std::string> status = smdrOutputsStatus();
  ASSERT_FALSE(status.empty());
  EXPECT_NE(status[0].find(": 2 collectors, "), std::string::npos) << status[0];
  EXPECT_NE(status[0].find(", 0 lost, 0 waiting"), std::string::npos) << status[0];
}

TEST_F(Outputs, WhatOverflowsTheQueueIsLostAndSaidOnce) {
  ASSERT_TRUE(smdrServeStart("0", 2));
  for (int n = 1; n <= 4; ++n) smdrOutputsSend(record(n));
  const std::vector<std::string> messages = smdrOutputsTakeMessages();
  EXPECT_TRUE(said(messages, "records are being lost"));
  int losses = 0;
  for (const std::string& m : messages) losses += m.find("being lost") != std::string::npos;
  EXPECT_EQ(losses, 1);
  EXPECT_NE(smdrOutputsStatus()[0].find(", 2 lost, 2 waiting"), std::string::npos);

  Reader late(connectToServe());
  EXPECT_EQ(late.line(), record(1));
  EXPECT_EQ(late.line(), record(2));
}

TEST_F(Outputs, ACollectorThatStopsReadingIsCutAndTheOthersGoOn) {
  ASSERT_TRUE(smdrServeStart("0", 4));
  Reader reading(connectToServe());
  ASSERT_TRUE(smdrServeWaitCollectors(1, kWaitMs));
  Reader stalled(connectToServe());
  ASSERT_TRUE(smdrServeWaitCollectors(2, kWaitMs));
  // Large records fill the stalled collector's socket buffers quickly.
  const std::size_t big = 256 * 1024;
  int n = 1;
  for (; n <= 200 && !smdrServeWaitCollectors(1, 0); ++n) {
    smdrOutputsSend(record(n, big));
    ASSERT_EQ(reading.line(), record(n, big)) << n;
  }
  ASSERT_TRUE(smdrServeWaitCollectors(1, 0)) << "never cut";
  EXPECT_TRUE(said(smdrOutputsTakeMessages(), "collector 2 on 127.0.0.1:"));
  // The one still reading gets what comes next.
  smdrOutputsSend(record(n));
  EXPECT_EQ(reading.line(), record(n));
}

TEST_F(Outputs, APushedStreamSurvivesItsCollectorGoingAway) {
  int port = 0;
  plat_socket listener = plat_tcp_listen("127.0.0.1", 0, &port);
  ASSERT_NE(listener, PLAT_INVALID_SOCKET);
  ASSERT_TRUE(smdrPushStart(("127.0.0.1:" + std::to_string(port)).c_str(), 100));
  ASSERT_EQ(plat_sock_wait_readable(listener, static_cast<int>(kWaitMs)), 1);
  {
    Reader collector(plat_tcp_accept(listener));
    smdrOutputsSend(record(1));
    EXPECT_EQ(collector.line(), record(1));
    // The collector stops: listener and connection gone.
    plat_sock_close(listener);
  }
  smdrOutputsSend(record(2));
  smdrOutputsSend(record(3));
  listener = plat_tcp_listen("127.0.0.1", port, nullptr);
  ASSERT_NE(listener, PLAT_INVALID_SOCKET);
  // Back after the first retry, a second away.
  ASSERT_EQ(plat_sock_wait_readable(listener, static_cast<int>(kWaitMs)), 1);
  Reader collector(plat_tcp_accept(listener));
  EXPECT_EQ(collector.line(), record(2));
  EXPECT_EQ(collector.line(), record(3));
  smdrOutputsSend(record(4));
  EXPECT_EQ(collector.line(), record(4));
  plat_sock_close(listener);
  const std::vector<std::string> messages = smdrOutputsTakeMessages();
  EXPECT_TRUE(said(messages, "went away, reconnecting"));
  // (The last record may be counted a moment after it arrived.)
  const std::string status = smdrOutputsStatus()[0];
  EXPECT_NE(status.find(": connected, "), std::string::npos) << status;
  EXPECT_NE(status.find(" sent, 0 lost, "), std::string::npos) << status;
}

TEST_F(Outputs, BadValuesAreRefusedWithAMessage) {
  // A mistyped value leaves the output that runs alone.
  ASSERT_TRUE(smdrServeStart("0", 10));
  const int running = smdrServePort();
  EXPECT_FALSE(smdrServeStart("abc", 10));
  EXPECT_TRUE(said(smdrOutputsTakeMessages(), "ServePort \"abc\" is not [ADDRESS:]PORT"));
  EXPECT_EQ(smdrServePort(), running);
  smdrServeStop();
  int port = 0;
  const plat_socket taken = plat_tcp_listen("127.0.0.1", 0, &port);
  ASSERT_NE(taken, PLAT_INVALID_SOCKET);
  EXPECT_FALSE(smdrServeStart(std::to_string(port).c_str(), 10));
  EXPECT_TRUE(said(smdrOutputsTakeMessages(), "Unable to listen on 127.0.0.1:"));
  plat_sock_close(taken);
  EXPECT_FALSE(smdrPushStart("no-such-host.invalid:1752", 10));
  EXPECT_TRUE(said(smdrOutputsTakeMessages(), "unknown host \"no-such-host.invalid\""));
  EXPECT_FALSE(smdrPushStart("1752", 10));
  EXPECT_TRUE(smdrOutputsStatus().empty());
  // Nothing running: records go nowhere and nothing waits.
  smdrOutputsSend(record(1));
}

}  // namespace
