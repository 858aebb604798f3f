// CONNECT, DISCONNECT, ABORT_STREAM, the request routine and the stream
// report, against the simulated switch.
#include "telephony/stream.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "display/stamps.h"
#include "telephony/private_commands.h"
#include "telephony/test_switch.h"

namespace stream_test {
namespace {

std::int32_t fixedStampClock() { return 4321; }

// A wait clock that moves 10 ms at each look, for measuring what the waits
// of a start-up cost.
std::uint64_t startupMillis = 0;
std::uint64_t startupClock() { return startupMillis += 10; }

class RequestRoutine : public StreamTest {};

TEST_F(RequestRoutine, RefusedRequestIsReportedAndStillUsesItsInvokeID) {
  const StampClock before = o_setStampClockForTests(fixedStampClock);
  o_resetInvokeIDstamps();
  ::testing::internal::CaptureStdout();
  // No stream: the library refuses with a bad handle.
  const bool accepted =
      ACS_CALL("query do not disturb", cstaQueryDoNotDisturb(acsHandle, invokeID, "201", nullptr));
  std::fflush(stdout);
  const std::string out = ::testing::internal::GetCapturedStdout();
  o_setStampClockForTests(before);

  EXPECT_FALSE(accepted);
  EXPECT_EQ(out, "!? ACS ERROR ACSERR_BADHDL: when trying to query do not disturb\n");
  EXPECT_EQ(invokeID, 2u);
  EXPECT_EQ(getInvokeIDstamp(1), 4321);  // the send time of the refused request
}

TEST_F(RequestRoutine, ErrorNamesCoverTheLibraryCodesAndNothingElse) {
  EXPECT_STREQ(getACSerrorName(-1), "ACSERR_APIVERDENIED");
  EXPECT_STREQ(getACSerrorName(-7), "ACSERR_UBUFSMALL");
  EXPECT_STREQ(getACSerrorName(-13), "ACSERR_QUEUE_FULL");
  EXPECT_STREQ(getACSerrorName(-14), "?-14?");
  EXPECT_STREQ(getACSerrorName(0), "?0?");
  EXPECT_STREQ(getACSerrorName(-2147483647 - 1), "?-2147483648?");
}

class Connect : public StreamTest {
 protected:
  std::string connect() {
    ::testing::internal::CaptureStdout();
    doConnect();
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
  }
};

TEST_F(Connect, UnattendedTakesEverythingFromTheProfileAndWritesItBack) {
  std::memset(static_cast<void*>(&pvtSendArea.scratch), 0x5A, sizeof pvtSendArea.scratch);
  char secret[32];
  Encrypt("s3cret", secret);
  writeProfile(std::string("[PROBIX]\nAutoEventReport=0\n[Server]\nServerID=TELVANIX\n"
                           "UserID=Telvanix\nPassword=") +
               secret + "\n[SMDR]\nMonitorExt=true\nFirmwareVersion= 2.5\n");

  const std::string out = connect();

  EXPECT_EQ(out.find("Server ["), std::string::npos) << "asked in unattended mode:\n" << out;
  EXPECT_NE(out.find("set to [TELVANIX] from .INI file\n"), std::string::npos) << out;
  EXPECT_NE(out.find("SMDR monitor add extensions\n"), std::string::npos);
  EXPECT_NE(out.find("! Server: TELVANIX User Telvanix acsHandle "), std::string::npos);
  ASSERT_NE(acsHandle, 0u);
  EXPECT_EQ(sw.sessionCount(), 1u);
  EXPECT_STREQ(serverPassword, "s3cret");
  EXPECT_TRUE(SMDRmonitorExt);
  EXPECT_EQ(configFirmwareMajor, 2);
  EXPECT_EQ(configFirmwareMinor, 5);
  EXPECT_FALSE(autoEvents);  // AutoEventReport=0

  const std::string written = readProfile();
  EXPECT_NE(written.find(std::string("Password=") + secret + "\n"), std::string::npos) << written;
  EXPECT_NE(written.find("MonitorExt=TRUE\n"), std::string::npos) << written;
  // A new stream starts with a clean private-message scratch area.
  const unsigned char* scratch = reinterpret_cast<const unsigned char*>(&pvtSendArea.scratch);
  for (std::size_t i = 0; i < sizeof pvtSendArea.scratch; ++i)
    ASSERT_EQ(scratch[i], 0) << "scratch byte " << i;

  // The open is confirmed with the server's firmware version; the dispatcher
  // then asks for private status reports and, unattended, monitors every
  // line (L1#1..8 of the switch's 8, L1#9 unknown) and, with MonitorExt,
  // every extension (x1#1..16, x1#17 unknown).
  const InvokeID_t openID = acsOpenInvokeID;
  startupMillis = 0;
  setWaitClock(startupClock);
  poll();
  // Every monitor's wait ends with its own answer, the refusals of L1#9 and
  // x1#17 too: monitoring starts in well under a second, not after 6.
  EXPECT_LT(startupMillis, 1000u);
  EXPECT_EQ(firmwareMajor, 3);
  EXPECT_EQ(firmwareMinor, 1);
  EXPECT_EQ(firmwareEdit, 12);
  EXPECT_TRUE(confirmed(openID));
  EXPECT_TRUE(confirmed(openID + 1)) << "private status reports not asked for next";
  EXPECT_EQ(ackCount, 2 + 8 + 16);
  EXPECT_EQ(cstaFailCount, 2) << "the walks go one device past the last";
  EXPECT_EQ(invokeID, openID + 2 + 9 + 17);
  EXPECT_NE(sw.control("sessions").find(", 24 monitors (24 on devices),"), std::string::npos)
      << sw.control("sessions");
}

TEST_F(Connect, MissingProfileEntriesFallBackToTheDefaults) {
  writeProfile("[PROBIX]\nareaCode=617\n");
  const std::string out = connect();
  EXPECT_NE(out.find("? Server name unavailable, set to TELVANIX\n"), std::string::npos) << out;
  EXPECT_NE(out.find("? User name not specified in " + profile + "\n"), std::string::npos);
  EXPECT_NE(out.find("? User password not specified in " + profile + "\n"), std::string::npos);
  EXPECT_STREQ(userName, "Telvanix");
  EXPECT_STREQ(serverPassword, "");
  EXPECT_NE(acsHandle, 0u);
  EXPECT_TRUE(autoEvents);  // AutoEventReport defaults to on
}

TEST_F(Connect, AnswersChooseServerLoginAndPassword) {
  autoLogSMDR = 0;
  i_giveBackLine("TELVANIX Telvanix pw");
  connect();
  ASSERT_NE(acsHandle, 0u);
  EXPECT_STREQ(userName, "Telvanix");
  EXPECT_STREQ(serverPassword, "pw");
  char cipher[8];
  Encrypt("pw", cipher);
  EXPECT_NE(readProfile().find(std::string("Password=") + cipher), std::string::npos);
}

TEST_F(Connect, ServerNumbersOutsideOneToFiveOpenNothing) {
  autoLogSMDR = 0;
  for (const char* answer : {"0", "6", "-1"}) {
    i_giveBackLine(answer);
    const std::string out = connect();
    EXPECT_NE(out.find(std::string("! illegal server number ") + answer + "\n"),
              std::string::npos)
        << out;
    EXPECT_EQ(acsHandle, 0u);
    EXPECT_EQ(invokeID, 1u) << "a request went out for " << answer;
  }
  EXPECT_EQ(sw.sessionCount(), 0u);

  // A number in range picks that slot.
  const int slot = getLastServerName();
  i_giveBackLine((std::to_string(slot + 1) + " Telvanix ~").c_str());
  connect();
  EXPECT_NE(acsHandle, 0u);
  EXPECT_EQ(serverIndex, slot);
}

TEST_F(Connect, ConnectWhileConnectedClosesTheOldStreamFirst) {
  connectQuietly();
  const ACSHandle_t first = acsHandle;
  const std::string out = connect();
  const std::string closed = "!Stream " + std::to_string(first) + " closed\n";
  const std::size_t closedAt = out.find(closed);
  ASSERT_NE(closedAt, std::string::npos) << out;
  EXPECT_LT(closedAt, out.find("! Server: TELVANIX"));
  EXPECT_NE(acsHandle, first);

  // The server confirmed the close of the old stream after its open.
  union {
    CSTAEvent_t event;
    unsigned char bytes[EVENT_BUFFER_SIZE];
  } buf;
  std::uint16_t size = sizeof buf;
  ASSERT_EQ(acsGetEventPoll(first, buf.bytes, &size, nullptr, nullptr), ACSPOSITIVE_ACK);
  EXPECT_EQ(buf.event.eventHeader.eventType, ACS_OPEN_STREAM_CONF);
  size = sizeof buf;
  ASSERT_EQ(acsGetEventPoll(first, buf.bytes, &size, nullptr, nullptr), ACSPOSITIVE_ACK);
  EXPECT_EQ(buf.event.eventHeader.eventType, ACS_CLOSE_STREAM_CONF);
}

TEST_F(Connect, DisconnectKeepsTheHandleUntilTheCloseIsConfirmed) {
  openStream();
  const ACSHandle_t handle = acsHandle;
  ::testing::internal::CaptureStdout();
  doDisconnect();
  std::fflush(stdout);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "!Stream " + std::to_string(handle) + " closed\n");
  EXPECT_EQ(acsHandle, handle);
  poll();
  EXPECT_EQ(acsHandle, 0u);
  EXPECT_FALSE(acsStreamAborted);
  EXPECT_EQ(ackCount, 1);  // the close
}

TEST_F(Connect, AbortEndsTheStreamAtOnce) {
  openStream();
  const ACSHandle_t handle = acsHandle;
  ::testing::internal::CaptureStdout();
  doAbortStream();
  std::fflush(stdout);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "!Stream " + std::to_string(handle) + " aborted\n");
  EXPECT_EQ(acsHandle, 0u);
  EXPECT_FALSE(acsStreamAborted);
  EXPECT_EQ(sw.sessionCount(), 0u);
}

// ---- private replies and the stream report ------------------------------------

wire::Event streamInfoReply(const char* vendor, unsigned streamID, bool inUse) {
  wire::Event e = wire::cstaConfirmation(CSTA_ESCAPE_SVC_CONF, 9);
  unsigned char data[300] = {};
  data[0] = 39;  // the stream information report
  unsigned char* info = data + 72;
  info[0] = static_cast<unsigned char>(streamID & 0xFF);
  info[1] = static_cast<unsigned char>(streamID >> 8);
  info[2] = 0xAB;  // session ID
  info[6] = inUse ? 1 : 0;
  info[7] = 1;     // private status on
  info[9] = 4;     // device monitors
  info[13] = 2;    // call monitors
  wire::setPrivate(e.priv, vendor, data, sizeof data);
  return e;
}

void dispatch(const wire::Event& e) {
  LaidOutEvent laid(e);
  union {
    PrivateData_t pvt;
    unsigned char bytes[PRIVATE_DATA_HEADER + 405];
  } p;
  std::memcpy(p.pvt.vendor, e.priv.vendor, sizeof p.pvt.vendor);
  p.pvt.length = static_cast<std::uint16_t>(e.priv.data.size());
  std::memcpy(p.bytes + PRIVATE_DATA_HEADER, e.priv.data.data(), e.priv.data.size());
  handleEvent(laid.event(), &p.pvt);
}

TEST_F(Connect, StreamReportListsTheStreamsInUse) {
  dispatch(streamInfoReply("telvanix version 1.0", 3, true));  // letter case does not matter
  dispatch(streamInfoReply("Telvanix Version 1.0", 1, false));
  dispatch(streamInfoReply("Telvanix Version 2.0", 5, true));  // not ours
  dispatch(streamInfoReply("Telvanix Version 1.0", 129, true));  // beyond the table
  dispatch(streamInfoReply("Telvanix Version 1.0", 65535, true));
  EXPECT_EQ(highestStreamSeen, 3);
  EXPECT_EQ(ackCount, 5);

  ::testing::internal::CaptureStdout();
  doReportStreamInfo();
  std::fflush(stdout);
  const std::string out = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(out.rfind("$STREAM", 0), 0u) << out;
  EXPECT_NE(out.find("Strm: 3 SessionID: AB ADMIN Dev: 4 call: 2 callOn: 0\n"), std::string::npos)
      << out;
  EXPECT_EQ(out.find("$STREAM", 1), std::string::npos) << "only stream 3 is in use:\n" << out;
}

}  // namespace
}  // namespace stream_test
