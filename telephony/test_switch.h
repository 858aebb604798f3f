// Test support for the stream and event-loop tests: a simulated switch with
// a manual clock served in-process under the name TELVANIX, a host that
// hands the stream whatever events a test makes up, and a clean start for
// the program state those tests touch.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "calllog/smdr.h"
#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"
#include "csta32/internal.h"
#include "csta32/wire/wire.h"
#include "display/event.h"
#include "embedded/switch_host.h"
#include "private/telvanix_private.h"
#include "simulator/telsim.h"
#include "telephony/events.h"
#include "telephony/query.h"
#include "telephony/state.h"
#include "telephony/stream.h"
#include "telephony/waits.h"

namespace stream_test {

// Invoke IDs of the confirmations in the event frames a server sends.
inline void noteConfirmation(const std::uint8_t* data, std::size_t len,
                             std::vector<InvokeID_t>& confirmed) {
  wire::Event e;
  if (wire::frameKind(data, len) != wire::kEventFrame || !wire::decodeEvent(data, len, e)) return;
  const InvokeID_t id = wire::invokeIDOf(e);
  if (id) confirmed.push_back(id);
}

// The switch as the client library's in-process server. Its confirmations
// and events are delivered inside the request, so a test needs no waiting.
class SwitchHost : public embedded::SwitchHost {
 public:
  explicit SwitchHost(telsim::Switch& s) : embedded::SwitchHost(s), sw(s) {}
  std::uint32_t openSession(csta32::FrameSink deliver) override {
    return embedded::SwitchHost::openSession(
        [this, deliver](const std::uint8_t* data, std::size_t len) {
          noteConfirmation(data, len, confirmed);
          deliver(data, len);
        });
  }
  telsim::Switch& sw;
  std::vector<InvokeID_t> confirmed;  // as sent
};

// A server that confirms an open and the request for private status reports
// that follows it, as every server does, and otherwise sends what the test
// pushes.
class ScriptedHost : public csta32::SessionHost {
 public:
  std::uint32_t openSession(csta32::FrameSink deliver) override {
    sink = std::move(deliver);
    return 1;
  }
  void onFrame(std::uint32_t, const std::uint8_t* data, std::size_t len) override {
    wire::Request r;
    if (!wire::decodeRequest(data, len, r)) return;
    requests.push_back(r);
    if (r.op == wire::Op::OpenStream)
      push(wire::openStreamConf(r.invokeID, "TS1-2", "lib", "tsrv", "3.1-12"));
    if (startsPrivateStatus(r)) {
      // The reply is the request's own message.
      wire::Event conf = wire::cstaConfirmation(CSTA_ESCAPE_SVC_CONF, r.invokeID);
      conf.priv = r.priv;
      push(conf);
    }
  }
  void closeSession(std::uint32_t) override {}
  void push(const wire::Event& e) {
    std::vector<std::uint8_t> frame;
    ASSERT_TRUE(wire::encodeEvent(e, frame));
    noteConfirmation(frame.data(), frame.size(), confirmed);
    sink(frame.data(), frame.size());
  }
  static bool startsPrivateStatus(const wire::Request& r) {
    return r.op == wire::Op::EscapeService && r.priv.present && r.priv.data.size() >= 2 &&
           (r.priv.data[0] | r.priv.data[1] << 8) == kqPvtStartPrivateStatus;
  }
  csta32::FrameSink sink;
  std::vector<wire::Request> requests;  // as received
  std::vector<InvokeID_t> confirmed;    // as sent
};

inline telsim::Config anyPasswordConfig() {
  telsim::Config cfg = telsim::defaultConfig();
  cfg.password = "*";
  return cfg;
}

// Clocks the tests move by hand.
inline std::int64_t& fakeSeconds() {
  static std::int64_t s = 0;
  return s;
}
inline std::uint64_t& fakeMillis() {
  static std::uint64_t ms = 0;
  return ms;
}
inline int& millisReads() {
  static int n = 0;
  return n;
}
inline std::int64_t readFakeSeconds() { return fakeSeconds(); }
// Every read moves the clock on by a second, so a wait that does not
// return at once runs out after a few polls.
inline std::uint64_t readSteppingMillis() {
  ++millisReads();
  return fakeMillis() += 1000;
}

// Profile values, answers and program state back to the start; the switch
// serves the stream under TELVANIX.
class StreamTest : public ::testing::Test {
 protected:
  StreamTest() : sw(anyPasswordConfig(), true), host(sw) {}

  void SetUp() override {
    savedAutoLogSMDR = autoLogSMDR;
    savedMonitorExt = SMDRmonitorExt;
    csta32::registerLocalHost("TELVANIX", &host);
    csta32::registerLocalHost("SCRIPTED", &scripted);
    installEventPoll();  // as the program does at start-up
    i_endUserInput();
    resetStreamState();
    resetEventState();
    clearServerNames();
    release(userName);
    release(serverPassword);
    release(primaryDevice);
    currentCall = 0;
    autoEvents = true;
    userSetAutoEvents = false;
    eventReports = false;
    autoLogSMDR = 1;
    autoStopPlay = false;
    SMDRmonitorExt = false;
    configFirmwareMajor = configFirmwareMinor = 0;
    callSnapshots = deviceSnapshots = 0;
    fakeSeconds() = 1000000;
    fakeMillis() = 0;
    millisReads() = 0;
    // Waits that see no confirmation (the last line monitor of an
    // unattended open) run out after a few polls instead of seconds.
    setEventClocksForTests(readFakeSeconds, readSteppingMillis);
    setWaitClock(readSteppingMillis);
    profile = ::testing::TempDir() + "probix_stream_test.ini";
    writeProfile("[PROBIX]\nAutoEventReport=0\n[Server]\nServerID=TELVANIX\nUserID=Telvanix\n");
  }

  void TearDown() override {
    if (acsHandle) acsAbortStream(acsHandle, nullptr);
    resetStreamState();
    // Leave no text behind for tests that count allocated blocks.
    clearServerNames();
    release(userName);
    release(serverPassword);
    release(primaryDevice);
    setEventClocksForTests(nullptr, nullptr);
    setWaitClock(nullptr);
    setCallWhileIdle(nullptr);
    setEventPoller(nullptr);
    i_endUserInput();
    csta32::registerLocalHost("TELVANIX", nullptr);
    csta32::registerLocalHost("SCRIPTED", nullptr);
    std::remove(profile.c_str());
    // Tests of other fixtures open their streams attended.
    autoLogSMDR = savedAutoLogSMDR;
    SMDRmonitorExt = savedMonitorExt;
  }

  static void release(char*& text) {
    errfree(text);
    text = nullptr;
  }

  void writeProfile(const std::string& text) {
    FILE* f = std::fopen(profile.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(text.c_str(), f);
    std::fclose(f);
    std::snprintf(iniFilename, sizeof iniFilename, "%s", profile.c_str());
  }

  std::string readProfile() {
    std::string text;
    FILE* f = std::fopen(profile.c_str(), "r");
    if (!f) return text;
    char buf[256];
    while (std::fgets(buf, sizeof buf, f)) text += buf;
    std::fclose(f);
    return text;
  }

  // CONNECT from the profile alone (as unattended logging does), its
  // messages swallowed.
  void connectQuietly() {
    ::testing::internal::CaptureStdout();
    doConnect();
    std::fflush(stdout);
    ::testing::internal::GetCapturedStdout();
    ASSERT_NE(acsHandle, 0u);
  }

  // An open stream as every test starts from: CONNECT from the profile, then
  // polls (a bounded number of times) until the server has confirmed both
  // the open and the private status reports the dispatcher asks for on it.
  // The unattended open also walks the line monitors. Counters, monitors
  // and the requests the scripted server saw start afresh from there.
  void openStream() {
    connectQuietly();
    const InvokeID_t reportingID = acsOpenInvokeID + 1;
    for (int i = 0; i < 5 && !(ackCount >= 2 && confirmed(reportingID)); ++i) poll();
    ASSERT_TRUE(confirmed(acsOpenInvokeID)) << "open not confirmed";
    ASSERT_TRUE(confirmed(reportingID)) << "private status reports not confirmed";
    ASSERT_GE(ackCount, 2);
    ASSERT_EQ(errCount, 0);
    ASSERT_NE(acsHandle, 0u);
    resetEventState();
    scripted.requests.clear();
  }

  bool confirmed(InvokeID_t id) const {
    for (const std::vector<InvokeID_t>* list : {&host.confirmed, &scripted.confirmed})
      for (InvokeID_t c : *list)
        if (c == id) return true;
    return false;
  }

  // One poll with its console output returned.
  std::string poll() {
    ::testing::internal::CaptureStdout();
    doGetEvents();
    std::fflush(stdout);
    return ::testing::internal::GetCapturedStdout();
  }

  // A request through the request routine, as the command rooms send them.
  void monitorDevice(const char* device) {
    CSTAMonitorFilter_t filter = {};
    ASSERT_TRUE(ACS_CALL("monitor device",
                         cstaMonitorDevice(acsHandle, invokeID, device, &filter, nullptr)));
  }

  std::string profile;
  char savedAutoLogSMDR = 0;
  bool savedMonitorExt = false;
  // Either serves the stream, as the profile's ServerID says.
  telsim::Switch sw;
  SwitchHost host;
  ScriptedHost scripted;
};

// An event laid out as the library hands it over, in storage of its own.
struct LaidOutEvent {
  explicit LaidOutEvent(const wire::Event& e) : storage(wire::layoutSize(e) / 8 + 1) {
    EXPECT_TRUE(wire::layoutEvent(e, storage.data(), storage.size() * 8));
  }
  const CSTAEvent_t* event() const { return reinterpret_cast<const CSTAEvent_t*>(storage.data()); }
  std::vector<std::uint64_t> storage;
};

}  // namespace stream_test
