#include <cstring>
#include <gtest/gtest.h>
#include <thread>

#include "csta32/include/csta32.h"
#include "csta32/test_fake_server.h"
#include "platform/platform.h"

namespace {

// An event buffer as the applications declare theirs.
struct EventBuf {
  union {
    CSTAEvent_t ev;
    char raw[4096];
  };
  std::uint16_t size = 4096;
  EventBuf() { std::memset(raw, 0, sizeof raw); }
};

// A PrivateData_t with `room` data bytes and guard bytes behind them.
struct PrivBuf {
  explicit PrivBuf(std::size_t room) : room(room), mem(PRIVATE_DATA_HEADER + room + 64, 0xAB) {
    pd()->length = static_cast<std::uint16_t>(room);
  }
  PrivateData_t* pd() { return reinterpret_cast<PrivateData_t*>(mem.data()); }
  const std::uint8_t* data() const { return mem.data() + PRIVATE_DATA_HEADER; }
  bool guardsIntact() const {
    for (std::size_t i = PRIVATE_DATA_HEADER + room; i < mem.size(); ++i)
      if (mem[i] != 0xAB) return false;
    return true;
  }
  std::size_t room;
  std::vector<std::uint8_t> mem;
};

class ClientTest : public ::testing::Test {
 protected:
  void SetUp() override { csta32::registerLocalHost("FAKE", &host); }
  void TearDown() override {
    csta32::abortAllStreams();  // none may outlive `host`
    csta32::registerLocalHost("FAKE", nullptr);
  }

  ACSHandle_t open(InvokeIDType_t type, InvokeID_t id, RetCode_t* rc = nullptr,
                   const char* login = "Telvanix") {
    ACSHandle_t h = 0;
    RetCode_t r = acsOpenStream(&h, type, id, ST_CSTA, "fake", login, "pw", "test",
                                ACS_LEVEL1, "TS1-2", 0, 0, 0, 0, nullptr);
    if (rc) *rc = r;
    return h;
  }

  RetCode_t poll(ACSHandle_t h, EventBuf& b, PrivateData_t* p = nullptr) {
    b.size = sizeof b.raw;
    return acsGetEventPoll(h, b.raw, &b.size, p, nullptr);
  }

  FakeHost host;
};

}  // namespace

TEST_F(ClientTest, LibraryInvokeIDsArePositiveAndConfirmationsCarryThem) {
  RetCode_t rc;
  ACSHandle_t h = open(LIB_GEN_ID, 0, &rc);
  ASSERT_GT(rc, 0);
  ASSERT_NE(h, 0u);
  EventBuf b;
  ASSERT_EQ(poll(h, b), 0);
  EXPECT_EQ(b.ev.eventHeader.acsHandle, h);
  EXPECT_EQ(b.ev.eventHeader.eventClass, ACSCONFIRMATION);
  EXPECT_EQ(b.ev.eventHeader.eventType, ACS_OPEN_STREAM_CONF);
  EXPECT_EQ(b.ev.event.acsConfirmation.invokeID, static_cast<InvokeID_t>(rc));
  EXPECT_STREQ(b.ev.event.acsConfirmation.u.acsopen.drvrVer, "3.1-12");

  ConnectionID_t c = wire::connection(5, "201");
  RetCode_t ids[3] = {cstaClearCall(h, 0, &c, nullptr), cstaAnswerCall(h, 0, &c, nullptr),
                      cstaSnapshotDeviceReq(h, 0, "201", nullptr)};
  EXPECT_GT(ids[0], rc);
  EXPECT_GT(ids[1], ids[0]);
  EXPECT_GT(ids[2], ids[1]);
  for (RetCode_t id : ids) {
    ASSERT_EQ(poll(h, b), 0);
    EXPECT_EQ(b.ev.event.cstaConfirmation.invokeID, static_cast<InvokeID_t>(id));
  }
  EXPECT_EQ(poll(h, b), ACSERR_NOMESSAGE);
  acsAbortStream(h, nullptr);
}

TEST_F(ClientTest, ApplicationInvokeIDsAreEchoedAndReachTheServer) {
  RetCode_t rc;
  ACSHandle_t h = open(APP_GEN_ID, 41, &rc);
  EXPECT_EQ(rc, 41);
  EXPECT_EQ(cstaMakeCall(h, 42, "201", "202", nullptr), 42);
  EXPECT_EQ(cstaQueryDoNotDisturb(h, 42, "201", nullptr), 42);  // the caller's business
  auto reqs = host.requests();
  ASSERT_EQ(reqs.size(), 3u);
  EXPECT_EQ(reqs[0].invokeID, 41u);
  EXPECT_EQ(reqs[0].loginID, "Telvanix");
  EXPECT_EQ(reqs[0].apiVersion, "TS1-2");
  EXPECT_EQ(reqs[1].op, wire::Op::MakeCall);
  EXPECT_EQ(reqs[1].device, "201");
  EXPECT_EQ(reqs[1].device2, "202");
  EventBuf b;
  ASSERT_EQ(poll(h, b), 0);
  EXPECT_EQ(b.ev.event.acsConfirmation.invokeID, 41u);
  ASSERT_EQ(poll(h, b), 0);
  EXPECT_EQ(b.ev.eventHeader.eventType, CSTA_MAKE_CALL_CONF);
  EXPECT_EQ(b.ev.event.cstaConfirmation.invokeID, 42u);
  EXPECT_EQ(acsAbortStream(h, nullptr), 0);
}

TEST_F(ClientTest, DeviceTextsAreCutAt64AndNullPointersRefused) {
  ACSHandle_t h = open(APP_GEN_ID, 1);
  // A device array filled to its 64 characters has no terminator: read no further.
  struct {
    DeviceID_t dev;
    char after[8];
  } s;
  std::memset(s.dev, '9', sizeof s.dev);
  std::memcpy(s.after, "XXXXXXX", 8);
  EXPECT_EQ(cstaSnapshotDeviceReq(h, 2, s.dev, nullptr), 2);
  EXPECT_EQ(host.requests().back().device, std::string(64, '9'));
  EXPECT_EQ(cstaClearCall(h, 3, nullptr, nullptr), ACSERR_BADPARAMETER);
  EXPECT_EQ(cstaEscapeService(h, 3, nullptr), ACSERR_BADPARAMETER);
  ACSHandle_t h2;
  std::string longName(49, 'n');
  EXPECT_EQ(acsOpenStream(&h2, APP_GEN_ID, 1, ST_CSTA, "fake", longName.c_str(), "", "",
                          ACS_LEVEL1, "TS2", 0, 0, 0, 0, nullptr),
            ACSERR_BADPARAMETER);
  EXPECT_EQ(acsOpenStream(&h2, 7, 1, ST_CSTA, "fake", "", "", "", ACS_LEVEL1, "TS2", 0, 0, 0, 0,
                          nullptr),
            ACSERR_BADPARAMETER);
  EXPECT_EQ(acsOpenStream(&h2, APP_GEN_ID, 1, ST_CSTA, "NO SUCH SERVER", "", "", "",
                          ACS_LEVEL1, "TS2", 0, 0, 0, 0, nullptr),
            ACSERR_NOSERVER);
  acsAbortStream(h, nullptr);
}

TEST_F(ClientTest, SmallBufferGivesSizeNeededAndKeepsTheEvent) {
  ACSHandle_t h = open(APP_GEN_ID, 1);
  EventBuf b;
  ASSERT_EQ(poll(h, b), 0);
  wire::Event snap = wire::cstaConfirmation(CSTA_SNAPSHOT_DEVICE_CONF, 9);
  for (int i = 0; i < 24; ++i) {
    wire::DeviceSnapshotEntry s;
    s.call = wire::connection(100 + i, "201");
    s.states = {CS_CONNECT, i % 2 ? CS_HOLD : CS_ALERTING};
    snap.deviceSnapshot.push_back(s);
  }
  host.send(host.lastSession(), snap);

  std::uint16_t size = 200;
  std::vector<char> small(200, 0x5A);
  ASSERT_EQ(acsGetEventPoll(h, small.data(), &size, nullptr, nullptr), ACSERR_UBUFSMALL);
  EXPECT_EQ(size, wire::layoutSize(snap));
  for (char c : small) ASSERT_EQ(c, 0x5A);  // nothing written

  // The console program's buffer holds it.
  std::vector<char> buf(2332);
  size = static_cast<std::uint16_t>(buf.size());
  std::uint16_t left = 99;
  ASSERT_EQ(acsGetEventPoll(h, buf.data(), &size, nullptr, &left), 0);
  EXPECT_EQ(left, 0);
  const CSTAEvent_t* ev = reinterpret_cast<const CSTAEvent_t*>(buf.data());
  const CSTASnapshotDeviceData_t& d = ev->event.cstaConfirmation.u.snapshotDevice.snapshotData;
  ASSERT_EQ(d.count, 24);
  EXPECT_EQ(d.info[23].callIdentifier.callID, 123);
  EXPECT_EQ(d.info[23].getCallState.state[1], CS_HOLD);
  EXPECT_EQ(poll(h, b), ACSERR_NOMESSAGE);
  acsAbortStream(h, nullptr);
}

// Private data beyond the caller's room: nothing written past the room, the
// event delivered without it and the drop told; the stream goes on.
TEST_F(ClientTest, PrivateDataTooBigForTheCallersRoomIsDroppedAndTold) {
  ACSHandle_t h = open(APP_GEN_ID, 1);
  EventBuf b;
  PrivBuf none(405);
  ASSERT_EQ(poll(h, b, none.pd()), 0);
  EXPECT_EQ(none.pd()->length, 0);  // no private data with the open confirmation

  std::vector<std::uint8_t> msg(334);
  for (std::size_t i = 0; i < msg.size(); ++i) msg[i] = static_cast<std::uint8_t>(i);
  PrivBuf out(334);
  std::memcpy(out.pd()->vendor, "Telvanix Version 1.0", 21);
  std::memcpy(out.mem.data() + PRIVATE_DATA_HEADER, msg.data(), msg.size());
  out.pd()->length = 299;  // only what length says is sent
  ASSERT_EQ(cstaEscapeService(h, 2, out.pd()), 2);
  EXPECT_EQ(host.requests().back().priv.data.size(), 299u);

  PrivBuf small(100);
  testing::internal::CaptureStderr();
  EXPECT_EQ(poll(h, b, small.pd()), 0);
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("private data of 299 bytes dropped from event type " +
                      std::to_string(CSTA_ESCAPE_SVC_CONF) + " (room for 100)"),
            std::string::npos)
      << said;
  EXPECT_EQ(b.ev.eventHeader.eventType, CSTA_ESCAPE_SVC_CONF);
  EXPECT_EQ(small.pd()->length, 0);
  EXPECT_TRUE(small.guardsIntact());

  ASSERT_EQ(cstaEscapeService(h, 4, out.pd()), 4);
  PrivBuf exact(299);
  ASSERT_EQ(poll(h, b, exact.pd()), 0);
  EXPECT_EQ(b.ev.eventHeader.eventType, CSTA_ESCAPE_SVC_CONF);
  EXPECT_EQ(exact.pd()->length, 299);
  EXPECT_STREQ(exact.pd()->vendor, "Telvanix Version 1.0");
  EXPECT_EQ(0, std::memcmp(exact.data(), msg.data(), 299));
  EXPECT_TRUE(exact.guardsIntact());

  ASSERT_EQ(cstaEscapeService(h, 3, out.pd()), 3);
  PrivBuf big(4062);
  ASSERT_EQ(poll(h, b, big.pd()), 0);
  EXPECT_EQ(big.pd()->length, 299);
  EXPECT_EQ(0, std::memcmp(big.data(), msg.data(), 299));
  acsAbortStream(h, nullptr);
}

TEST_F(ClientTest, BadHandlesAndFinishedStreams) {
  EventBuf b;
  EXPECT_EQ(poll(0, b), ACSERR_BADHDL);
  EXPECT_EQ(poll(0x7FFFFFF0u, b), ACSERR_BADHDL);
  EXPECT_EQ(acsGetEventBlock(0x7FFFFFF0u, b.raw, &b.size, nullptr, nullptr), ACSERR_BADHDL);
  EXPECT_EQ(cstaMakeCall(0x7FFFFFF0u, 1, "201", "202", nullptr), ACSERR_BADHDL);
  EXPECT_EQ(acsAbortStream(0x7FFFFFF0u, nullptr), ACSERR_BADHDL);

  // Closed: the confirmation is the last event, then the handle is dead.
  ACSHandle_t h = open(APP_GEN_ID, 1);
  ASSERT_EQ(acsCloseStream(h, 2, nullptr), 2);
  EXPECT_EQ(cstaMakeCall(h, 3, "201", "202", nullptr), ACSERR_BADHDL);
  ASSERT_EQ(poll(h, b), 0);
  ASSERT_EQ(poll(h, b), 0);
  EXPECT_EQ(b.ev.eventHeader.eventType, ACS_CLOSE_STREAM_CONF);
  EXPECT_EQ(poll(h, b), ACSERR_BADHDL);
  EXPECT_EQ(host.sessions(), 0u);

  // Aborted: queued events go with it; handles are not reused.
  ACSHandle_t h2 = open(APP_GEN_ID, 1);
  EXPECT_NE(h2, h);
  EXPECT_EQ(acsAbortStream(h2, nullptr), 0);
  EXPECT_EQ(poll(h2, b), ACSERR_BADHDL);
  EXPECT_EQ(acsAbortStream(h2, nullptr), ACSERR_BADHDL);

  // A refused login: the failure is the stream's last event.
  ACSHandle_t h3 = open(APP_GEN_ID, 5, nullptr, "bad");
  ASSERT_EQ(poll(h3, b), 0);
  EXPECT_EQ(b.ev.eventHeader.eventType, ACS_UNIVERSAL_FAILURE_CONF);
  EXPECT_EQ(b.ev.event.acsConfirmation.u.failureEvent.error, TSERVER_BAD_PASSWORD_OR_LOGIN);
  EXPECT_EQ(poll(h3, b), ACSERR_BADHDL);

  EXPECT_EQ(acsGetEventPoll(h3, nullptr, &b.size, nullptr, nullptr), ACSERR_BADPARAMETER);
}

// A channel closes its stream and never reads the confirmation: its session
// must not stay open for good, yet the confirmation is still there to read.
TEST_F(ClientTest, ClosedButUnreadStreamsGiveTheirLinkBackAtTheNextOpen) {
  ACSHandle_t h = open(LIB_GEN_ID, 0);
  ASSERT_GT(acsCloseStream(h, 0, nullptr), 0);
  EXPECT_EQ(host.sessions(), 1u);
  ACSHandle_t h2 = open(LIB_GEN_ID, 0);
  EXPECT_EQ(host.sessions(), 1u);  // only the new stream's
  EventBuf b;
  ASSERT_EQ(poll(h, b), 0);
  ASSERT_EQ(poll(h, b), 0);
  EXPECT_EQ(b.ev.eventHeader.eventType, ACS_CLOSE_STREAM_CONF);
  EXPECT_EQ(poll(h, b), ACSERR_BADHDL);
  acsAbortStream(h2, nullptr);
}

TEST_F(ClientTest, ServerGoneBecomesStreamFailureThenBadHandleAndReopenWorks) {
  ACSHandle_t h = open(APP_GEN_ID, 1);
  EventBuf b;
  ASSERT_EQ(poll(h, b), 0);
  host.down = true;
  host.drop(host.lastSession());
  EXPECT_EQ(cstaMakeCall(h, 2, "201", "202", nullptr), ACSERR_STREAM_FAILED);
  ASSERT_EQ(poll(h, b), 0);
  EXPECT_EQ(b.ev.eventHeader.acsHandle, h);
  EXPECT_EQ(b.ev.eventHeader.eventClass, ACSCONFIRMATION);
  EXPECT_EQ(b.ev.eventHeader.eventType, ACS_UNIVERSAL_FAILURE_CONF);
  EXPECT_EQ(b.ev.event.acsConfirmation.u.failureEvent.error, TSERVER_STREAM_FAILED);
  EXPECT_EQ(poll(h, b), ACSERR_BADHDL);
  EXPECT_EQ(acsAbortStream(h, nullptr), ACSERR_BADHDL);

  RetCode_t rc;
  open(APP_GEN_ID, 3, &rc);
  EXPECT_EQ(rc, ACSERR_NOSERVER);
  host.down = false;
  ACSHandle_t again = open(APP_GEN_ID, 4, &rc);
  EXPECT_EQ(rc, 4);
  ASSERT_EQ(poll(again, b), 0);
  EXPECT_EQ(b.ev.eventHeader.eventType, ACS_OPEN_STREAM_CONF);
  acsAbortStream(again, nullptr);
}

TEST_F(ClientTest, MalformedFramesFromTheServerFailTheStreamCleanly) {
  std::vector<std::vector<std::uint8_t>> garbage;
  garbage.push_back({1, 2, 3});
  std::vector<std::uint8_t> good;
  wire::encodeEvent(wire::cstaConfirmation(CSTA_CLEAR_CALL_CONF, 1), good);
  std::vector<std::uint8_t> bad = good;
  bad.back() ^= 1;
  garbage.push_back(bad);
  bad = good;
  bad.resize(bad.size() - 1);
  garbage.push_back(bad);
  std::vector<std::uint8_t> req;
  wire::Request r;
  r.op = wire::Op::MakeCall;
  wire::encodeRequest(r, req);
  garbage.push_back(req);  // a request where an event belongs

  for (const auto& g : garbage) {
    ACSHandle_t h = open(APP_GEN_ID, 1);
    host.send(host.lastSession(), wire::cstaConfirmation(CSTA_HOLD_CALL_CONF, 7));
    host.sendRaw(host.lastSession(), g);
    host.sendRaw(host.lastSession(), good);  // ignored: the stream is over
    EventBuf b;
    ASSERT_EQ(poll(h, b), 0);
    ASSERT_EQ(poll(h, b), 0);
    EXPECT_EQ(b.ev.eventHeader.eventType, CSTA_HOLD_CALL_CONF);
    ASSERT_EQ(poll(h, b), 0);
    EXPECT_EQ(b.ev.event.acsConfirmation.u.failureEvent.error, TSERVER_STREAM_FAILED);
    EXPECT_EQ(poll(h, b), ACSERR_BADHDL);
  }
}

TEST_F(ClientTest, ServerShortOfRoomRefusesRequestsWithoutSendingThem) {
  ACSHandle_t h = open(APP_GEN_ID, 1);
  wire::Control c;
  c.refuse = ACSERR_QUEUE_FULL;
  c.count = 2;
  std::vector<std::uint8_t> f;
  ASSERT_TRUE(wire::encodeControl(c, f));
  host.sendRaw(host.lastSession(), f);
  std::size_t before = host.requests().size();
  EXPECT_EQ(cstaSnapshotDeviceReq(h, 2, "L1#1", nullptr), ACSERR_QUEUE_FULL);
  EXPECT_EQ(cstaSnapshotDeviceReq(h, 2, "L1#1", nullptr), ACSERR_QUEUE_FULL);
  EXPECT_EQ(host.requests().size(), before);
  EXPECT_EQ(cstaSnapshotDeviceReq(h, 2, "L1#1", nullptr), 2);
  EXPECT_EQ(host.requests().size(), before + 1);
  acsAbortStream(h, nullptr);
}

// One thread waits in acsGetEventBlock while another sends a stop on the same
// stream: the waiting thread wakes with the stop's confirmation.
TEST_F(ClientTest, BlockedReaderWakesForARequestSentFromAnotherThread) {
  for (int round = 0; round < 200; ++round) {
    ACSHandle_t h = open(LIB_GEN_ID, 0);
    EventBuf b;
    ASSERT_EQ(acsGetEventBlock(h, b.raw, &b.size, nullptr, nullptr), 0);
    RetCode_t got = -1;
    EventType_t type = 0;
    InvokeID_t id = 0;
    std::thread reader([&] {
      EventBuf rb;
      PrivBuf p(616);
      got = acsGetEventBlock(h, rb.raw, &rb.size, p.pd(), nullptr);
      type = rb.ev.eventHeader.eventType;
      id = rb.ev.event.cstaConfirmation.invokeID;
    });
    // Only once the reader waits does the test show it is woken.
    EXPECT_TRUE(waitUntil([&] { return csta32::waitingReaders(h) == 1; }));
    PrivBuf stop(308);
    std::memcpy(stop.pd()->vendor, "Telvanix Version 1.0", 21);
    stop.pd()->length = 274;
    RetCode_t sent = cstaEscapeService(h, 0, stop.pd());
    reader.join();
    ASSERT_GT(sent, 0);
    ASSERT_EQ(got, 0);
    EXPECT_EQ(type, CSTA_ESCAPE_SVC_CONF);
    EXPECT_EQ(id, static_cast<InvokeID_t>(sent));
    acsCloseStream(h, 0, nullptr);
  }
}

TEST_F(ClientTest, AbortWakesAThreadBlockedOnTheStream) {
  ACSHandle_t h = open(APP_GEN_ID, 1);
  EventBuf b;
  ASSERT_EQ(poll(h, b), 0);
  std::atomic<RetCode_t> got{1};
  std::thread reader([&] {
    EventBuf rb;
    got = acsGetEventBlock(h, rb.raw, &rb.size, nullptr, nullptr);
  });
  EXPECT_TRUE(waitUntil([&] { return csta32::waitingReaders(h) == 1; }));
  acsAbortStream(h, nullptr);
  reader.join();
  EXPECT_EQ(got.load(), ACSERR_BADHDL);
}

// Many channels, each with its own stream on its own thread, as the voice
// library runs them.
TEST_F(ClientTest, ManyStreamsOnManyThreads) {
  const int kThreads = 16, kRounds = 50;
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&] {
      ACSHandle_t h = 0;
      RetCode_t rc = acsOpenStream(&h, LIB_GEN_ID, 0, ST_CSTA, "fake", "u", "p", "vox",
                                   ACS_LEVEL1, "TS1-2", 0, 0, 0, 0, nullptr);
      EventBuf b;
      if (rc <= 0 || acsGetEventBlock(h, b.raw, &b.size, nullptr, nullptr) != 0) ++failures;
      for (int i = 0; i < kRounds; ++i) {
        ConnectionID_t c = wire::connection(i, "201");
        RetCode_t id = cstaSnapshotCallReq(h, 0, &c, nullptr);
        b.size = sizeof b.raw;
        if (id <= 0 || acsGetEventBlock(h, b.raw, &b.size, nullptr, nullptr) != 0 ||
            b.ev.event.cstaConfirmation.invokeID != static_cast<InvokeID_t>(id) ||
            b.ev.eventHeader.acsHandle != h)
          ++failures;
      }
      acsCloseStream(h, 0, nullptr);
      b.size = sizeof b.raw;
      while (acsGetEventBlock(h, b.raw, &b.size, nullptr, nullptr) == 0) b.size = sizeof b.raw;
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(host.sessions(), 0u);
}

TEST(ServerDirectoryDefault, WithNothingConfiguredTelvanixIsEmbedded) {
  char env[8];
  if (plat_getenv("CSTA32_SERVERS", env, sizeof env) || plat_getenv("CSTA32_CONFIG", env, sizeof env))
    GTEST_SKIP() << "servers configured in the environment";
  auto dir = csta32::serverDirectory();
  ASSERT_EQ(dir.size(), 1u);
  EXPECT_EQ(dir[0].name, "TELVANIX");
  EXPECT_TRUE(dir[0].embedded);
}

// A program that connects again over an open stream closes the old one and
// never reads its confirmation: the library must not keep every such stream.
TEST_F(ClientTest, StreamsClosedAndNeverReadAreNotKeptForever) {
  std::size_t before = csta32::streamCount();
  ACSHandle_t last = 0;
  for (int i = 0; i < 200; ++i) {
    ACSHandle_t h = open(LIB_GEN_ID, 0);
    ASSERT_NE(h, 0u);
    if (last) {
      ASSERT_GT(acsCloseStream(last, 0, nullptr), 0);
    }
    last = h;
  }
  // The open stream, the one closed since the last open, the 16 latest before it.
  EXPECT_LE(csta32::streamCount(), before + 2 + 16);
  EXPECT_LE(host.sessions(), 2u);
  // The latest closed one still has its confirmation to give.
  ACSHandle_t h = open(LIB_GEN_ID, 0);
  ASSERT_GT(acsCloseStream(last, 0, nullptr), 0);
  ACSHandle_t next = open(LIB_GEN_ID, 0);
  EventBuf b;
  ASSERT_EQ(poll(last, b), 0);
  ASSERT_EQ(poll(last, b), 0);
  EXPECT_EQ(b.ev.eventHeader.eventType, ACS_CLOSE_STREAM_CONF);
  acsAbortStream(h, nullptr);
  acsAbortStream(next, nullptr);
}

// The receive queue holds what acsOpenStream asked for: requests are refused
// while it is full, and events that keep coming unread fail the stream as a
// server cuts a client that does not read.
TEST_F(ClientTest, AFullQueueRefusesRequestsAndOverflowFailsTheStream) {
  ACSHandle_t h = 0;
  ASSERT_EQ(acsOpenStream(&h, APP_GEN_ID, 1, ST_CSTA, "fake", "Telvanix", "pw", "test", ACS_LEVEL1,
                          "TS1-2", 0, 0, 10, 0, nullptr),
            1);
  for (int i = 0; i < 9; ++i) ASSERT_EQ(cstaQueryDoNotDisturb(h, 2, "201", nullptr), 2);
  std::size_t sent = host.requests().size();
  EXPECT_EQ(cstaQueryDoNotDisturb(h, 2, "201", nullptr), ACSERR_QUEUE_FULL);
  EXPECT_EQ(host.requests().size(), sent);  // refused, not sent
  EventBuf b;
  std::uint16_t count = 0;
  b.size = sizeof b.raw;
  ASSERT_EQ(acsGetEventPoll(h, b.raw, &b.size, nullptr, &count), 0);
  EXPECT_EQ(count, 9);
  EXPECT_EQ(cstaQueryDoNotDisturb(h, 2, "201", nullptr), 2);

  // Unsolicited events beyond the room end the stream.
  for (int i = 0; i < 5; ++i) host.send(host.lastSession(), wire::cstaUnsolicited(CSTA_HELD, 1));
  int events = 0;
  while (poll(h, b) == 0) {
    ++events;
    if (b.ev.eventHeader.eventType == ACS_UNIVERSAL_FAILURE_CONF) break;
  }
  EXPECT_EQ(events, 11);  // the ten that fitted, then the failure
  EXPECT_EQ(b.ev.event.acsConfirmation.u.failureEvent.error, TSERVER_STREAM_FAILED);
  EXPECT_EQ(poll(h, b), ACSERR_BADHDL);
}
