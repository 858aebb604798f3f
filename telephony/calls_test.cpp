#include "telephony/calls.h"

#include "telephony/calls_test_fixture.h"

using calltest::Commands;
using calltest::Sent;
using calltest::sent;
using calltest::sim;
using testfiles::contains;

namespace {

typedef Commands CallCommands;

TEST_F(CallCommands, FirstMakeCallOffersTheDefaultDeviceTwiceThenTheLastAnswers) {
  EXPECT_EQ(run(doMakeCall, "\n\n"), "Caller [201]: \nCallee [201]: \n");
  ASSERT_EQ(requests("cstaMakeCall").size(), 1u);
  EXPECT_EQ(sent()[0].device, "201");
  EXPECT_EQ(sent()[0].device2, "201");

  EXPECT_EQ(run(doMakeCall, "202\n203\n"), "Caller [201]: \nCallee [201]: \n");
  EXPECT_EQ(run(doMakeCall, "\n\n"), "Caller [202]: \nCallee [203]: \n");
  EXPECT_EQ(sent().back().device, "202");
  EXPECT_EQ(sent().back().device2, "203");
}

TEST_F(CallCommands, MissingPreconditionsSayWhyAndSendNothing) {
  struct Case {
    void (*command)();
    const char* message;
  } cases[] = {
      {doAnswerCall, "? No current call.\n"},      {doHoldCall, "? No current call.\n"},
      {doConsultationCall, "? No current call.\n"}, {doDeflectCall, "? No current call.\n"},
      {doDialDigits, "? No current call.\n"},      {doHangupCurrentCall, "? No current call.\n"},
      {doTransferCall, "No Current Call\n"},       {doConferenceCall, "No Current Call\n"},
      {doRetrieveCall, "? No held call.\n"},       {doHangupCurrentDevice, "? No current device\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(run(c.command, "\n\n\n"), c.message);
  // With a device but no call, hanging up the device still needs the call.
  EXPECT_EQ(run(doSetCurrentDevice, "204\n"), "Device ID [201]: \n");
  EXPECT_EQ(run(doHangupCurrentDevice, ""), "? No current call.\n");
  EXPECT_TRUE(sent().empty());
}

TEST_F(CallCommands, CallMadeAnsweredHeldAndRetrievedOnTheSwitch) {
  run(doMakeCall, "201\n202\n");
  poll();
  ASSERT_NE(currentCall, 0) << "MAKE_CALL_CONF names the new call";
  const std::int32_t call = currentCall;
  run(doAnswerCall, "202\n");
  poll();
  EXPECT_EQ(sim("calls"), "call " + std::to_string(call) + ": 201(C) 202(C)\n");

  run(doHoldCall, "\n");
  EXPECT_EQ(heldCall, call);
  EXPECT_STREQ(heldDeviceString, "202");
  poll();
  EXPECT_TRUE(contains(sim("calls"), "202(H)"));

  char offer[64];
  std::snprintf(offer, sizeof offer, "Held call ID [%lx]: \nOn line [202]: \n",
                static_cast<unsigned long>(call));
  EXPECT_EQ(run(doRetrieveCall, "\n\n"), offer);
  EXPECT_EQ(heldCall, 0);
  const Sent& retrieve = sent().back();
  EXPECT_EQ(retrieve.op, "cstaRetrieveCall");
  EXPECT_EQ(retrieve.callID, call);
  EXPECT_EQ(retrieve.callDevice, "202");
  poll();
  EXPECT_TRUE(contains(sim("calls"), "202(C)"));
  EXPECT_EQ(cstaFailCount, 0);
}

TEST_F(CallCommands, RetrieveOffersTheCurrentCallWhenNothingIsHeld) {
  currentCall = 0x2a;
  EXPECT_EQ(run(doRetrieveCall, "\n\n"), "Held call ID [2a]: \nOn line [201]: \n");
  EXPECT_EQ(sent().back().callID, 0x2a);
}

TEST_F(CallCommands, CallIDsAreOfferedAndTakenAsTheir32Bits) {
  currentCall = -1;
  EXPECT_EQ(run(doSetCurrentCall, "\n"), "Call ID [ffffffff]: \n");
  EXPECT_EQ(currentCall, -1);
  EXPECT_EQ(run(doSetCurrentCall, "80000000\n"), "Call ID [ffffffff]: \n");
  EXPECT_EQ(currentCall, INT32_MIN);
  EXPECT_EQ(run(doSetCurrentCall, "\n"), "Call ID [80000000]: \n");
}

TEST_F(CallCommands, TransferBeforeAnyHoldSendsAnEmptyHeldDevice) {
  currentCall = 5;
  EXPECT_EQ(run(doTransferCall, "\n\n\n"), "Device ID: \nHeld Call ID [0]: \nActive Call ID [5]: \n");
  ASSERT_EQ(sent().size(), 1u);
  const Sent& t = sent()[0];
  EXPECT_EQ(t.op, "cstaTransferCall");
  EXPECT_EQ(t.callID, 0);
  EXPECT_EQ(t.callDevice, "");
  EXPECT_EQ(t.callID2, 5);
  EXPECT_EQ(t.callDevice2, "201");
}

TEST_F(CallCommands, ConsultThenConferenceUseTheHeldCall) {
  run(doMakeCall, "201\n202\n");
  poll();
  const std::int32_t first = currentCall;
  run(doAnswerCall, "202\n");
  run(doConsultationCall, "201\n203\n");
  EXPECT_EQ(heldCall, first);
  EXPECT_STREQ(heldDeviceString, "201");
  poll();
  const std::vector<Sent> consult = requests("cstaConsultationCall");
  ASSERT_EQ(consult.size(), 1u);
  EXPECT_EQ(consult[0].callID, first);
  EXPECT_EQ(consult[0].callDevice, "201");
  EXPECT_EQ(consult[0].device, "203");

  // The consultation call is the switch's next call ID.
  const std::int32_t second = first + 1;
  char answers[32];
  std::snprintf(answers, sizeof answers, "\n\n%lx\n", static_cast<unsigned long>(second));
  const std::string said = run(doConferenceCall, answers);
  EXPECT_TRUE(contains(said, "Device ID [201]: \nHeld Call ID ["));
  const Sent& conf = sent().back();
  EXPECT_EQ(conf.op, "cstaConferenceCall");
  EXPECT_EQ(conf.callID, first);
  EXPECT_EQ(conf.callDevice, "201");
  EXPECT_EQ(conf.callID2, second);
  EXPECT_EQ(conf.callDevice2, "201");
  poll();
  EXPECT_EQ(cstaFailCount, 0);
  EXPECT_EQ(sim("calls"), "call " + std::to_string(first) + ": 201(C) 202(C) 203(A)\n");
}

TEST_F(CallCommands, RefusedHoldStillRemembersTheHeldCall) {
  currentCall = 7;
  sim("refuse 1 queue_full");
  EXPECT_EQ(run(doHoldCall, "205\n"),
            "Call on line [201]: \n!? ACS ERROR ACSERR_QUEUE_FULL: when trying to hold a call\n");
  EXPECT_EQ(heldCall, 7);
  EXPECT_STREQ(heldDeviceString, "205");
  EXPECT_EQ(invokeID, firstInvokeID + 1) << "the refused request used up its invoke ID";
}

TEST_F(CallCommands, HangupsClearTheCallOrTheConnection) {
  currentCall = 0x11;
  run(doSetCurrentDevice, "206\n");
  EXPECT_EQ(run(doHangupCurrentDevice, ""), "");
  EXPECT_EQ(run(doHangupDevice, "\n12\n"), "Device [206]: \nCall ID [11]: \n");
  EXPECT_EQ(run(doHangupCall, "\n"), "Call ID [12]: \n");
  ASSERT_EQ(sent().size(), 3u);
  EXPECT_EQ(sent()[0].op + sent()[0].callDevice, "cstaClearConnection206");
  EXPECT_EQ(sent()[1].op + sent()[1].callDevice, "cstaClearConnection206");
  EXPECT_EQ(sent()[1].callID, 0x12);
  EXPECT_EQ(sent()[2].op + sent()[2].callDevice, "cstaClearCall") << "a call has no device";
}

TEST_F(CallCommands, DialDigitsCarriesAtMost64DigitsAndRemembersThem) {
  currentCall = 9;
  const std::string digits70 = std::string(60, '1') + "2345678901";
  run(doDialDigits, digits70 + "\n");
  ASSERT_EQ(sent().size(), 1u);
  const std::vector<unsigned char>& m = sent()[0].message;
  ASSERT_EQ(m.size(), 334u - 1) << "vendor, length 299 and the data it counts";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(m.data())), "Telvanix Version 1.0");
  EXPECT_EQ(m[32] | m[33] << 8, 299);
  EXPECT_EQ(m[34] | m[35] << 8, 23) << "play digits";
  EXPECT_EQ(m[36], 9);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&m[40])), "201");
  EXPECT_EQ(m[106] | m[107] << 8, 64) << "count";
  EXPECT_EQ(m[108], 1) << "clientID";
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&m[112]), 64), digits70.substr(0, 64));
  EXPECT_EQ(m[176], 1) << "lineOnly, right after the digits";

  // An empty answer sends the digits remembered; the default shows them all.
  EXPECT_EQ(run(doDialDigits, "\n"), "Digits to dial [" + digits70 + "]: \n");
  ASSERT_EQ(sent().size(), 2u);
  EXPECT_EQ(sent()[1].message[106], 64);
  run(doDialDigits, "55\n");
  EXPECT_EQ(sent()[2].message[106], 2);
  EXPECT_STREQ(digitsToPlay, "55");

  // With no digits at all nothing goes out.
  calltest::forget(&digitsToPlay);
  EXPECT_EQ(run(doDialDigits, "\n"), "Digits to dial: \n");
  EXPECT_EQ(sent().size(), 3u);
}

TEST_F(CallCommands, EndOfInputEndsTheCommandKeepingWhatWasAnswered) {
  run(doMakeCall, "204\n");
  EXPECT_TRUE(sent().empty());
  EXPECT_STREQ(primaryDevice, "204");
  EXPECT_STREQ(mkCallee, "204") << "the callee offered, taken from the caller answered";
  currentCall = 3;
  run(doHangupDevice, "");
  EXPECT_TRUE(sent().empty());
  EXPECT_STREQ(primaryDevice, "204");
}

}  // namespace
