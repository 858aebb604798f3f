// Shared by the call and query command tests: a stream open on the embedded
// switch through a host that records every request as it reaches the
// switch, and answers fed to the console.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "calllog/smdr.h"
#include "console/input.h"
#include "console/output.h"
#include "console/settings.h"
#include "console/test_files.h"
#include "csta32/internal.h"
#include "csta32/wire/wire.h"
#include "embedded/switch_host.h"
#include "simulator/telsim.h"
#include "telephony/calls.h"
#include "telephony/events.h"
#include "telephony/state.h"
#include "telephony/stream.h"
#include "telephony/waits.h"

namespace calltest {

// A request as the switch received it, named after the library call that
// sends it.
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

inline const char* libraryCall(wire::Op op) {
  switch (op) {
    case wire::Op::OpenStream: return "acsOpenStream";
    case wire::Op::CloseStream: return "acsCloseStream";
    case wire::Op::AbortStream: return "acsAbortStream";
    case wire::Op::MakeCall: return "cstaMakeCall";
    case wire::Op::ClearCall: return "cstaClearCall";
    case wire::Op::ClearConnection: return "cstaClearConnection";
    case wire::Op::AnswerCall: return "cstaAnswerCall";
    case wire::Op::HoldCall: return "cstaHoldCall";
    case wire::Op::RetrieveCall: return "cstaRetrieveCall";
    case wire::Op::TransferCall: return "cstaTransferCall";
    case wire::Op::ConferenceCall: return "cstaConferenceCall";
    case wire::Op::ConsultationCall: return "cstaConsultationCall";
    case wire::Op::DeflectCall: return "cstaDeflectCall";
    case wire::Op::SnapshotDevice: return "cstaSnapshotDeviceReq";
    case wire::Op::SnapshotCall: return "cstaSnapshotCallReq";
    case wire::Op::QueryDeviceInfo: return "cstaQueryDeviceInfo";
    case wire::Op::QueryDnd: return "cstaQueryDoNotDisturb";
    case wire::Op::SetDnd: return "cstaSetDoNotDisturb";
    case wire::Op::QueryMwi: return "cstaQueryMsgWaitingInd";
    case wire::Op::SetMwi: return "cstaSetMsgWaitingInd";
    case wire::Op::QueryFwd: return "cstaQueryForwarding";
    case wire::Op::MonitorDevice: return "cstaMonitorDevice";
    case wire::Op::MonitorCall: return "cstaMonitorCall";
    case wire::Op::MonitorStop: return "cstaMonitorStop";
    case wire::Op::EscapeService: return "cstaEscapeService";
    case wire::Op::GetAPICaps: return "cstaGetAPICaps";
    default: return "?";
  }
}

inline void record(const wire::Request& r) {
  std::vector<unsigned char> message;
  if (r.priv.present) {
    message.assign(PRIVATE_DATA_HEADER, 0);
    std::memcpy(message.data(), r.priv.vendor,
                std::min<std::size_t>(sizeof r.priv.vendor, PRIVATE_DATA_HEADER - 2));
    message[PRIVATE_DATA_HEADER - 2] = static_cast<unsigned char>(r.priv.data.size() & 0xFF);
    message[PRIVATE_DATA_HEADER - 1] = static_cast<unsigned char>(r.priv.data.size() >> 8);
    message.insert(message.end(), r.priv.data.begin(), r.priv.data.end());
  }
  sent().push_back({libraryCall(r.op), r.invokeID, r.call.callID, r.call2.callID,
                    text(r.call.deviceID, sizeof r.call.deviceID),
                    text(r.call2.deviceID, sizeof r.call2.deviceID), r.device, r.device2,
                    r.flag ? 1 : 0, r.crossRefID, static_cast<std::uint16_t>(r.filter.call),
                    message});
}

// The embedded switch, with every request frame decoded on its way in.
class RecordingHost : public embedded::SwitchHost {
 public:
  RecordingHost() : embedded::SwitchHost(telsim::embeddedSwitch) {}
  void onFrame(std::uint32_t session, const std::uint8_t* data, std::size_t len) override {
    wire::Request r;
    if (wire::decodeRequest(data, len, r)) record(r);
    embedded::SwitchHost::onFrame(session, data, len);
  }
};

inline RecordingHost& recordingHost() {
  static RecordingHost host;
  return host;
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
    // Every pause passes at once; a wait for an answer still sees it come.
    setWaitClock(steppedWaitClock);
    // Waits poll as the program's do; answers are read with no idle polling
    // in between, so a command meets the stream as the test left it.
    setEventPoller(doGetEvents);
    sim("reset");
    clean();
    sent().clear();
    csta32::registerLocalHost("TELVANIX", &recordingHost());
    const InvokeID_t openID = invokeID;
    ASSERT_GE(acsOpenStream(&acsHandle, APP_GEN_ID, invokeID, ST_CSTA, "TELVANIX", "Telvanix", "",
                            "PROBIX", ACS_LEVEL1, "TS1-2", 0, 0, 0, 0, nullptr),
              0);
    ++invokeID;
    for (int i = 0; i < 5 && ackCount < 2; ++i) poll();
    ASSERT_EQ(ackCount, 2) << "stream open and private status reports not both confirmed";
    ASSERT_EQ(invokeID, openID + 2) << "the open was followed by more than one request";
    ASSERT_EQ(errCount + cstaFailCount, 0);
    ASSERT_EQ(sent().size(), 2u);
    EXPECT_EQ(sent()[0].op, "acsOpenStream");
    EXPECT_EQ(sent()[1].op, "cstaEscapeService") << "private status reports";
    sent().clear();
    resetEventState();
    firstInvokeID = invokeID;
  }

  void TearDown() override {
    if (acsHandle) acsAbortStream(acsHandle, nullptr);
    csta32::registerLocalHost("TELVANIX", nullptr);
    clean();
    eventReports = savedEventReports;
    autoLogSMDR = savedAutoLogSMDR;
    setWaitClock(nullptr);
    setCallWhileIdle(nullptr);
    setEventPoller(nullptr);
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
