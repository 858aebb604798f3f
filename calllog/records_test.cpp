// The record layouts to the byte, their limits and the classification.
#include "calllog/calllog_test_fixture.h"

namespace {

using calllog_test::localTime;
using calllog_test::records;
using calllog_test::testNow;

class Records : public calllog_test::Tracker {};

std::string spaces(int n) { return std::string(static_cast<std::size_t>(n), ' '); }

TEST_F(Records, InternalCallInEachLayout) {
  CallInfo::setSMDRformat(PBXtypeTelvanix);
  internalCall(1);
  CallInfo::setSMDRformat(PBXtypeDefinityG3);
  internalCall(2);
  CallInfo::setSMDRformat(PBXtypeMitelSX2000);
  internalCall(3);
  ASSERT_EQ(records().size(), 3u);

  const std::string telvanix = "C 12/06/26 14:03:05 0:05 I 202    1:05 201" + spaces(15) + "202" +
                               spaces(16) + "0:00\n";
  EXPECT_EQ(records()[0], telvanix);
  EXPECT_EQ(records()[0].size(), 81u);

  const std::string& g3 = records()[1];
  EXPECT_EQ(g3.substr(0, 9), "14030010I");
  EXPECT_EQ(g3.substr(26, 3), "201");  // column 27
  EXPECT_EQ(g3.substr(50, 3), "202");  // column 51
  EXPECT_EQ(g3, "14030010I" + spaces(17) + "201" + spaces(21) + "202" + spaces(2) + "01\n");

  const std::string mitel =
      " 12/06 14:03  00:01:05 201   9   202" + spaces(24) + "RT202  \n";
  EXPECT_EQ(records()[2], mitel);
  EXPECT_EQ(records()[2].size(), 68u);
}

TEST_F(Records, CarriageReturnAndUnsetCalledParty) {
  CallInfo::setSMDRformat(PBXtypeMitelSX2000);
  CallInfo::setOutputCR(true);
  internalCall(1);
  ASSERT_EQ(records().size(), 1u);
  EXPECT_EQ(records()[0].substr(records()[0].size() - 2), "\r\n");
  EXPECT_EQ(records()[0].size(), 69u);

  // No layout writes a call whose called party never showed up.
  for (PBXtype type : {PBXtypeTelvanix, PBXtypeDefinityG3, PBXtypeMitelSX2000}) {
    CallInfo c(7);
    c.answeringTime = c.creationTime;
    c.hangupTime = c.creationTime + 10;
    CallInfo::setSMDRformat(type);
    EXPECT_EQ(c.o_report(0), "") << type;
  }
}

TEST_F(Records, DurationLimits) {
  CallInfo c(1);
  c.setCallerNumber("201");
  c.setToNumber("202");
  c.setDialed("202");
  c.answeringTime = localTime(14, 3, 5);
  c.hangupTime = c.answeringTime + 10 * 3600;
  EXPECT_EQ(c.o_reportDefinityG3(0).substr(0, 9), "14039599I");
  c.hangupTime = c.answeringTime + 10 * 3600 - 1;  // 9 h 59 min 59 s
  EXPECT_EQ(c.o_reportDefinityG3(0).substr(0, 9), "14039599I");
  c.hangupTime = c.answeringTime + 3600 + 23 * 60 + 30;  // 1 h 23.5 min
  EXPECT_EQ(c.o_reportDefinityG3(0).substr(0, 9), "14031235I");

  c.hangupTime = c.answeringTime + 100 * 3600;
  std::string mitel = c.o_reportMitelSX2000(0);
  EXPECT_EQ(mitel.substr(0, 1), "+");
  EXPECT_EQ(mitel.substr(14, 8), "99:59:59");
  EXPECT_EQ(mitel.size(), 68u);
  // The marks: up to 5, 10 and 30 minutes.
  const struct {
    CallTime talk;
    char mark;
  } marks[] = {{300, ' '}, {301, '-'}, {600, '-'}, {601, '%'}, {1800, '%'}, {1801, '+'}};
  for (const auto& m : marks) {
    c.hangupTime = c.answeringTime + m.talk;
    EXPECT_EQ(c.o_reportMitelSX2000(0)[0], m.mark) << m.talk;
  }
}

TEST_F(Records, UnansweredCalls) {
  at(localTime(9, 15, 0));
  CallInfo::alerting(1, "201", "202", "202");
  CallInfo* c = call(1);
  ASSERT_NE(c, nullptr);
  later(12);
  c->hangupTime = testNow();
  c->o_report(0);  // classifies

  EXPECT_EQ(c->o_reportDefinityG3(0), "");
  EXPECT_EQ(c->o_reportTelvanix(0),
            "U 12/06/26 09:15:00 0:12 I 202    0:00 201" + spaces(15) + "202" + spaces(16) +
                "0:00\n");
  // Mitel: the creation time and no talk time, as the Telvanix layout does.
  EXPECT_EQ(c->o_reportMitelSX2000(0),
            " 12/06 09:15  00:00:00 201   9   202" + spaces(24) + "RT202  \n");
  CallInfo::reportUnansweredCalls = 0;
  EXPECT_EQ(c->o_reportTelvanix(0), "");
}

TEST_F(Records, OutboundCallsAndOverrunningFields) {
  CallInfo::setLocalAreaCode("508");
  at(localTime(10, 0, 0));
  CallInfo::initiated(5, "201");
  CallInfo::originated(5, "201", "5551234");
  CallInfo::netReached(5, "201", "5551234", "T1#3");
  CallInfo c = *call(5);
  c.hangupTime = c.answeringTime + 125;
  c.o_report(0);
  EXPECT_EQ(c.o_reportTelvanix(0),
            "C 12/06/26 10:00:00 0:00 O T1#3   2:05 201" + spaces(15) + "5551234" + spaces(12) +
                "0:00\n");
  // G3 "G": the number dialled whole at 19, the caller's first four at 33.
  EXPECT_EQ(c.o_reportDefinityG3(0),
            "10000020G" + spaces(9) + "5085551234" + spaces(4) + "201" + spaces(20) + "01\n");
  // Mitel: dialled number as stored, called party cut to three.
  EXPECT_EQ(c.o_reportMitelSX2000(0),
            " 12/06 10:00  00:02:05 201   9   5551234" + spaces(20) + "RT555  \n");

  // Long fields push the next ones along; separated ones keep one blank.
  CallInfo l(6);
  l.category = "X";
  l.callType = callTypeExternal;
  l.trunkName = "A-VERY-LONG-TRUNK-NAME";
  l.setCallerNumber("15085551234");
  l.setToNumber("203");
  l.answerNumber = "204";
  l.xferInfo = "205";
  l.answeringTime = localTime(11, 0, 0);
  l.ringingTime = l.answeringTime;
  l.hangupTime = l.answeringTime + 3;
  EXPECT_EQ(l.o_reportTelvanix(0),
            "X 12/06/26 11:00:00 0:00 E A-VERY-LONG-TRUNK-NAME 0:03 15085551234 203" +
                spaces(6) + "0:00 204  205\n");
  // G3 "I" with an eleven-digit caller loses the leading 1.
  EXPECT_EQ(l.o_reportDefinityG3(0).substr(26, 10), "5085551234");
}

TEST_F(Records, Classification) {
  struct Case {
    const char* caller;
    const char* to;
    CallType type;
  } cases[] = {
      {"901", "5085551234", callTypeExternal},   // three characters beginning with 9
      {"L1#4", "202", callTypeExternal},         // a trunk as caller
      {"2011", "202", callTypeInternal},         // both short
      {"5551234", "202", callTypeExternal},      // long caller to an extension
      {"201", "5551234", callTypeUnknown},       // outgoing, never reached the network
      {"5551234", "5085550000", callTypeUnknown},
  };
  for (const Case& k : cases) {
    CallInfo c(1);
    c.callerNumber = k.caller;
    c.toNumber = k.to;
    c.o_report(0);
    EXPECT_EQ(c.callType, k.type) << k.caller << " " << k.to;
  }
  CallInfo kept(2);
  kept.callType = callTypeExternalOutbound;
  kept.callerNumber = "201";
  kept.toNumber = "202";
  kept.o_report(0);
  EXPECT_EQ(kept.callType, callTypeExternalOutbound);
}

}  // namespace
