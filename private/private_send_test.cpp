// The sending step with the request routine and the escape service replaced,
// so that what goes to the server can be looked at.
#include "private/private_send.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "telephony/stream.h"

ACSHandle_t acsHandle = 0;
InvokeID_t invokeID = 1;

namespace {

struct Sent {
  ACSHandle_t handle;
  InvokeID_t invoke;
  std::vector<unsigned char> bytes;  // vendor, length and the data carried
};
std::vector<Sent> sent;
std::vector<std::string> tags;
RetCode_t escapeResult = 0;

}  // namespace

RetCode_t cstaEscapeService(ACSHandle_t handle, InvokeID_t invoke, const PrivateData_t* privateData) {
  const unsigned char* p = reinterpret_cast<const unsigned char*>(privateData);
  sent.push_back({handle, invoke,
                  std::vector<unsigned char>(p, p + PRIVATE_DATA_HEADER + privateData->length)});
  return escapeResult;
}

bool ACS_CALL(const char* error, RetCode_t rCode) {
  tags.push_back(error);
  ++invokeID;
  return rCode >= 0;
}

namespace {

class PrivateSend : public ::testing::Test {
 protected:
  void SetUp() override {
    sent.clear();
    tags.clear();
    acsHandle = 3;
    invokeID = 40;
    escapeResult = 0;
  }
};

}  // namespace

TEST_F(PrivateSend, ReportingSwitchSendsStartAndStopWithNoConnection) {
  setupPrivateMessage(kqPvtPlay, 0x99, "201");  // leftovers of an earlier message
  EXPECT_TRUE(setPrivateReporting(true));
  EXPECT_TRUE(setPrivateReporting(false));
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(tags, (std::vector<std::string>{"set/clear private reporting", "set/clear private reporting"}));
  EXPECT_EQ(sent[0].handle, 3u);
  EXPECT_EQ(sent[0].invoke, 40u);
  EXPECT_EQ(sent[1].invoke, 41u);
  for (std::size_t i = 0; i < 2; ++i) {
    const std::vector<unsigned char>& b = sent[i].bytes;
    ASSERT_EQ(b.size(), 333u);  // 34 + 299: the record less its last byte
    EXPECT_EQ(std::string(b.begin(), b.begin() + 20), "Telvanix Version 1.0");
    EXPECT_EQ(b[32], 0x2B);
    EXPECT_EQ(b[33], 0x01);
    EXPECT_EQ(b[34], i == 0 ? kqPvtStartPrivateStatus : kqPvtStopPrivateStatus);
    EXPECT_EQ(b[35], 0);
    for (std::size_t k = 36; k < b.size(); ++k) ASSERT_EQ(b[k], 0) << "byte " << k;
  }
}

TEST_F(PrivateSend, RefusedRequestIsReportedAsFailure) {
  escapeResult = ACSERR_QUEUE_FULL;
  EXPECT_FALSE(setPrivateReporting(true));
  EXPECT_EQ(tags.size(), 1u);
  EXPECT_EQ(invokeID, 41u);

  escapeResult = 0;
  TelvanixPrivateMessage* m = setupPrivateMessage(kqPvtGetCTIctrl, 0x1234, "201");
  EXPECT_TRUE(sendPrivateMessage(m, "get CTI info"));
  EXPECT_EQ(tags.back(), "get CTI info");
  EXPECT_EQ(sent.back().invoke, 41u);
}
