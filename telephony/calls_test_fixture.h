// Shared by the call and query command tests: a stream open on the embedded
// switch, answers fed to the console, and every request the commands send
// recorded as it goes out.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "shell/shell.h"
#include "shell/test_files.h"
#include "simulator/telsim.h"
#include "telephony/calls.h"
#include "telephony/events.h"
#include "telephony/state.h"
#include "telephony/stream.h"

namespace calltest {

// A request as it went out, with copies of what it pointed to.
struct Sent {
  std::string op;
  InvokeID_t invokeID;
  std::int32_t callID, callID2;
  std::string callDevice, callDevice2, device, device2;
  int flag;
  CSTAMonitorCrossRefID_t crossRefID;
  std::uint16_t filterCall;
  std::vector<unsigned char> message;  // private data: vendor, length, data
};

inline std::vector<Sent>& sent() {
  static std::vector<Sent> requests;
  return requests;
}

inline std::string text(const char* s, std::size_t width) {
  std::size_t n = 0;
  while (s && n < width && s[n]) ++n;
  return s ? std::string(s, n) : std::string();
}

inline void record(const SentRequest& r) {
  const unsigned char* pvt = reinterpret_cast<const unsigned char*>(r.privateData);
  sent().push_back({r.op, r.invokeID, r.call.callID, r.call2.callID, text(r.call.deviceID, 64),
                    text(r.call2.deviceID, 64), text(r.device, 64), text(r.device2, 64), r.flag,
                    r.crossRefID, static_cast<std::uint16_t>(r.filter ? r.filter->call : 0),
                    pvt ? std::vector<unsigned char>(
                              pvt, pvt + PRIVATE_DATA_HEADER + r.privateData->length)
                        : std::vector<unsigned char>()});
}

inline std::string sim(const std::string& command) {
  return telsim::embeddedSwitch().control(command);
}

inline void forget(char** s) {
  errfree(*s);
  *s = nullptr;
}

class Commands : public testing::Test {
 protected:
  // An open stream as the operator has it (attended): polls, a bounded
  // number of times, until the open and the private status reports the
  // dispatcher asks for on it are both confirmed. Counters then start
  // afresh; firstInvokeID is the one the first command uses.
  void SetUp() override {
    savedEventReports = eventReports;
    savedAutoLogSMDR = autoLogSMDR;
    eventReports = false;
    autoLogSMDR = 0;
    sim("reset");
    clean();
    sent().clear();
    setRequestObserverForTests(record);
    const InvokeID_t openID = invokeID;
    ASSERT_GE(acsOpenStream(&acsHandle, APP_GEN_ID, invokeID, ST_CSTA, "TELVANIX", "Telvanix", "",
                            "PROBIX", ACS_LEVEL1, "TS1-2", 0, 0, 0, 0, nullptr),
              0);
    ++invokeID;
    for (int i = 0; i < 5 && ackCount < 2; ++i) poll();
    ASSERT_EQ(ackCount, 2) << "stream open and private status reports not both confirmed";
    ASSERT_EQ(invokeID, openID + 2) << "the open was followed by more than one request";
    ASSERT_EQ(errCount + cstaFailCount, 0);
    ASSERT_TRUE(sent().empty()) << "the open sent a command's request";
    resetEventState();
    firstInvokeID = invokeID;
  }

  void TearDown() override {
    setRequestObserverForTests(nullptr);
    if (acsHandle) acsAbortStream(acsHandle, nullptr);
    clean();
    eventReports = savedEventReports;
    autoLogSMDR = savedAutoLogSMDR;
  }

  // No stream, no call context, nothing counted, no input pending.
  void clean() {
    resetStreamState();
    resetEventState();
    i_endUserInput();
    forget(&primaryDevice);
    forget(&mkCallee);
    forget(&heldDeviceString);
    forget(&digitsToPlay);
    currentCall = heldCall = 0;
    callSnapshots = deviceSnapshots = 0;
    lastLineInfo.doNotDisturb = 0;
    defaultMWI = false;
    callLoggingEnabled = 0;
  }

  // Runs a command with `answers` as the console's lines; returns what it
  // printed (prompts, complaints and request errors).
  std::string run(void (*command)(), const std::string& answers) {
    testfiles::TempFile console(answers);
    EXPECT_TRUE(testfiles::feedConsole(console));
    i_endUserInput();
    testing::internal::CaptureStdout();
    command();
    std::string said = testfiles::capturedStdout();
    i_endUserInput();
    return said;
  }

  void poll() { doGetEvents(); }

  std::vector<Sent> requests(const std::string& op) {
    std::vector<Sent> found;
    for (const Sent& s : sent())
      if (s.op == op) found.push_back(s);
    return found;
  }

  bool savedEventReports = true;
  char savedAutoLogSMDR = 0;
  InvokeID_t firstInvokeID = 0;
};

}  // namespace calltest
