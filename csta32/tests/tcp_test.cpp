// The TCP transport against a stand-in telsim: the same frames as the
// embedded link, plus what only a byte stream can do (split frames, a server
// that goes away and comes back on its port).
#include <cstring>
#include <gtest/gtest.h>
#include <thread>

#include "csta32/include/csta32.h"
#include "csta32/tests/fake_server.h"

namespace {

class TcpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.start(0));
    point(server.port());
  }
  void TearDown() override {
    csta32::abortAllStreams();
    csta32::removeServer("TCPFAKE");
  }

  void point(int port) {
    csta32::ServerEntry e;
    e.name = "TCPFAKE";
    e.embedded = false;
    e.host = "127.0.0.1";
    e.port = port;
    csta32::addServer(e);
  }

  ACSHandle_t open(InvokeIDType_t type, InvokeID_t id, RetCode_t* rc = nullptr) {
    ACSHandle_t h = 0;
    RetCode_t r = acsOpenStream(&h, type, id, ST_CSTA, "tcpfake", "Telvanix", "", "test",
                                ACS_LEVEL1, "TS1-2", 0, 0, 0, 0, nullptr);
    if (rc) *rc = r;
    return h;
  }

  RetCode_t block(ACSHandle_t h, CSTAEvent_t* ev, PrivateData_t* p = nullptr) {
    std::uint16_t size = sizeof buf;
    RetCode_t rc = acsGetEventBlock(h, buf, &size, p, nullptr);
    std::memcpy(ev, buf, sizeof *ev);
    return rc;
  }

  FakeTcpServer server;
  char buf[4096];
};

}  // namespace

TEST_F(TcpTest, RequestsAndConfirmationsTravel) {
  RetCode_t rc;
  ACSHandle_t h = open(LIB_GEN_ID, 0, &rc);
  ASSERT_GT(rc, 0);
  CSTAEvent_t ev;
  ASSERT_EQ(block(h, &ev), 0);
  EXPECT_EQ(ev.eventHeader.eventType, ACS_OPEN_STREAM_CONF);
  EXPECT_EQ(ev.event.acsConfirmation.invokeID, static_cast<InvokeID_t>(rc));

  std::vector<std::uint8_t> msg(299, 0x11);
  std::vector<std::uint8_t> pmem(PRIVATE_DATA_HEADER + 4062);
  PrivateData_t* pd = reinterpret_cast<PrivateData_t*>(pmem.data());
  std::strcpy(pd->vendor, "Telvanix Version 1.0");
  pd->length = 299;
  std::memcpy(pmem.data() + PRIVATE_DATA_HEADER, msg.data(), msg.size());
  RetCode_t id = cstaEscapeService(h, 0, pd);
  ASSERT_GT(id, rc);
  pd->length = 4062;
  ASSERT_EQ(block(h, &ev, pd), 0);
  EXPECT_EQ(ev.eventHeader.eventType, CSTA_ESCAPE_SVC_CONF);
  EXPECT_EQ(ev.event.cstaConfirmation.invokeID, static_cast<InvokeID_t>(id));
  EXPECT_EQ(pd->length, 299);
  EXPECT_EQ(0, std::memcmp(pmem.data() + PRIVATE_DATA_HEADER, msg.data(), 299));

  ASSERT_GT(acsCloseStream(h, 0, nullptr), 0);
  ASSERT_EQ(block(h, &ev), 0);
  EXPECT_EQ(ev.eventHeader.eventType, ACS_CLOSE_STREAM_CONF);
  EXPECT_EQ(block(h, &ev), ACSERR_BADHDL);
}

TEST_F(TcpTest, FramesSplitIntoSingleBytesAreReassembled) {
  ACSHandle_t h = open(APP_GEN_ID, 1);
  CSTAEvent_t ev;
  ASSERT_EQ(block(h, &ev), 0);
  std::vector<std::uint8_t> bytes;
  wire::Event held = wire::cstaUnsolicited(CSTA_HELD, 12);
  held.ev.event.cstaUnsolicited.u.held.heldConnection = wire::connection(3, "201");
  wire::encodeEvent(held, bytes);
  wire::encodeEvent(wire::cstaUnsolicited(CSTA_RETRIEVED, 12), bytes);
  server.sendRawToAll(bytes, true);
  ASSERT_EQ(block(h, &ev), 0);
  EXPECT_EQ(ev.eventHeader.eventType, CSTA_HELD);
  EXPECT_EQ(ev.event.cstaUnsolicited.u.held.heldConnection.callID, 3);
  ASSERT_EQ(block(h, &ev), 0);
  EXPECT_EQ(ev.eventHeader.eventType, CSTA_RETRIEVED);
  acsAbortStream(h, nullptr);
}

TEST_F(TcpTest, GarbageFromTheServerFailsTheStream) {
  ACSHandle_t h = open(APP_GEN_ID, 1);
  CSTAEvent_t ev;
  ASSERT_EQ(block(h, &ev), 0);
  server.sendRawToAll({'G', 'E', 'T', ' ', '/', ' ', 'H', 'T', 'T', 'P'});
  ASSERT_EQ(block(h, &ev), 0);
  EXPECT_EQ(ev.eventHeader.eventType, ACS_UNIVERSAL_FAILURE_CONF);
  EXPECT_EQ(ev.event.acsConfirmation.u.failureEvent.error, TSERVER_STREAM_FAILED);
  EXPECT_EQ(block(h, &ev), ACSERR_BADHDL);
}

TEST_F(TcpTest, ServerGoneFailsEveryStreamAndReopenWorksOnceItIsBack) {
  ACSHandle_t a = open(APP_GEN_ID, 1), b = open(APP_GEN_ID, 1);
  CSTAEvent_t ev;
  ASSERT_EQ(block(a, &ev), 0);
  ASSERT_EQ(block(b, &ev), 0);
  int port = server.port();
  server.stop();
  for (ACSHandle_t h : {a, b}) {
    ASSERT_EQ(block(h, &ev), 0);
    EXPECT_EQ(ev.eventHeader.acsHandle, h);
    EXPECT_EQ(ev.eventHeader.eventClass, ACSCONFIRMATION);
    EXPECT_EQ(ev.event.acsConfirmation.u.failureEvent.error, TSERVER_STREAM_FAILED);
    EXPECT_EQ(block(h, &ev), ACSERR_BADHDL);
    EXPECT_EQ(cstaMakeCall(h, 2, "201", "202", nullptr), ACSERR_BADHDL);
  }
  RetCode_t rc;
  open(APP_GEN_ID, 2, &rc);
  EXPECT_EQ(rc, ACSERR_NOSERVER);

  FakeTcpServer again;
  ASSERT_TRUE(again.start(port));
  ACSHandle_t c = open(APP_GEN_ID, 3, &rc);
  EXPECT_EQ(rc, 3);
  ASSERT_EQ(block(c, &ev), 0);
  EXPECT_EQ(ev.eventHeader.eventType, ACS_OPEN_STREAM_CONF);
  acsAbortStream(c, nullptr);
}

TEST_F(TcpTest, StopFromAnotherThreadWakesTheBlockedReader) {
  ACSHandle_t h = open(LIB_GEN_ID, 0);
  CSTAEvent_t ev;
  ASSERT_EQ(block(h, &ev), 0);
  for (int round = 0; round < 50; ++round) {
    RetCode_t got = -1;
    InvokeID_t id = 0;
    std::thread reader([&] {
      char rb[4096];
      std::uint16_t size = sizeof rb;
      got = acsGetEventBlock(h, rb, &size, nullptr, nullptr);
      id = reinterpret_cast<CSTAEvent_t*>(rb)->event.cstaConfirmation.invokeID;
    });
    std::vector<std::uint8_t> pmem(PRIVATE_DATA_HEADER + 308);
    PrivateData_t* pd = reinterpret_cast<PrivateData_t*>(pmem.data());
    pd->length = 274;
    RetCode_t sent = cstaEscapeService(h, 0, pd);
    reader.join();
    ASSERT_EQ(got, 0);
    EXPECT_EQ(id, static_cast<InvokeID_t>(sent));
  }
  acsAbortStream(h, nullptr);
}

TEST_F(TcpTest, AbortReachesTheServerAsTheConnectionsEnd) {
  ACSHandle_t h = open(APP_GEN_ID, 1);
  server.waitForRequests(1);
  EXPECT_EQ(acsAbortStream(h, nullptr), 0);
  auto reqs = server.waitForRequests(2);
  EXPECT_EQ(reqs[1].op, wire::Op::AbortStream);
}
