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

// ---- the collector layouts ----------------------------------------------------------

std::string pad(const std::string& text, int width) {
  return text + spaces(width - static_cast<int>(text.size()));
}

// A MiVB record from its parts: the front up to the time to answer, the
// digits dialled, the flags and parties from column 60, the system id.
std::string mivb(const std::string& front, const std::string& digits, const std::string& back,
                 const std::string& system = "001") {
  return pad(front, 33) + pad(digits, 26) + pad(back, 26) + system + "  \r\n";
}

// A CM record: time, duration and code, the dialled and calling numbers.
std::string cm(const std::string& front, const std::string& dialled, const std::string& calling) {
  return front + spaces(8) + spaces(15 - static_cast<int>(dialled.size())) + dialled +
         spaces(10 - static_cast<int>(calling.size())) + calling + spaces(72) + "\r\n";
}

std::vector<CallInfo>& endedCalls() {
  static std::vector<CallInfo> c;
  return c;
}
void keepCall(CallInfo& call) { endedCalls().push_back(call); }

void setTime(CallTime t) { testNow() = t; }
void pass(CallTime seconds) { testNow() += seconds; }

// 201 rings 202 at 14:03:00; 202 answers 5 s later when `talk` is not
// negative, and the call ends after `talk` seconds (else after 20 s).
void internal(long id, CallTime talk) {
  setTime(localTime(14, 3, 0));
  CallInfo::originated(id, "201", "202");
  CallInfo::alerting(id, "201", "202", "202");
  if (talk >= 0) {
    pass(5);
    CallInfo::answered(id, "201", "202", "202");
  }
  pass(talk >= 0 ? talk : 20);
  CallInfo::ended(id, true);
}

// An outside caller on `line` rings `station` at 14:03:00.
void incoming(long id, const char* line, const char* caller, const char* station) {
  setTime(localTime(14, 3, 0));
  CallInfo::alerting(id, caller, station, station);
  CallInfo::arrivedOn(id, line);
}

class CollectorRecords : public calllog_test::Tracker {
 protected:
  void SetUp() override {
    Tracker::SetUp();
    fresh();
  }
  void fresh() {
    CallInfo::reset();
    endedCalls().clear();
    CallInfo::setRecordWriter(keepCall);
  }
  // The records of every call ended, in the order they ended.
  std::string written(PBXtype type) {
    CallInfo::setSMDRformat(type);
    std::string all;
    for (CallInfo& c : endedCalls()) all += c.o_report(0);
    return all;
  }
};

TEST_F(CollectorRecords, EachKindOfCall) {
  struct Case {
    const char* name;
    void (*flow)();
    std::string mivb;
    std::string cm;
  };
  const Case cases[] = {
      {"internal answered", [] { internal(1, 65); },
       mivb(" 12/06 14:03  00:01:05 201   005", "202", "I 202"),
       cm("14040010" "0", "202", "201")},
      {"internal unanswered", [] { internal(1, -1); },
       mivb(" 12/06 14:03  00:00:00 201   ***", "202", "I 202"), ""},
      {"incoming answered",
       [] {
         incoming(1, "L1#5", "5085551234", "202");
         pass(12);
         CallInfo::answered(1, "5085551234", "202", "202");
         pass(400);
         CallInfo::ended(1, true);
       },
       mivb("-12/06 14:03  00:06:40 T005  012", "202", "  202"),
       cm("14090066" "9", "202", "5085551234")},
      {"incoming unanswered",
       [] {
         incoming(1, "L1#12", "6175550000", "203");
         pass(30);
         CallInfo::ended(1, true);
       },
       mivb(" 12/06 14:03  00:00:00 T012  ***", "203", "  203"), ""},
      {"outgoing",
       [] {
         setTime(localTime(14, 3, 0));
         CallInfo::initiated(1, "201");
         CallInfo::originated(1, "201", "95551234");
         pass(2);
         CallInfo::netReached(1, "L1#3", "95551234", "L1#3");
         pass(125);
         CallInfo::ended(1, true);
       },
       mivb(" 12/06 14:03  00:02:05 201", "95551234", "A T003"),
       cm("14050020" "A", "95551234", "201")},
      {"transferred",
       [] {
         setTime(localTime(14, 3, 0));
         CallInfo::alerting(1, "201", "202", "202");
         CallInfo::answered(1, "201", "202", "202");
         pass(20);
         CallInfo::originated(2, "202", "204");
         CallInfo::alerting(2, "202", "204", "204");
         pass(4);
         CallInfo::answered(2, "202", "204", "204");
         pass(10);
         CallInfo::transferred(2, 1, 2);
         CallInfo::ended(1, true);
         pass(60);
         CallInfo::ended(2, true);
       },
       mivb(" 12/06 14:03  00:00:34 201   000", "202", "I 202 T 204") +
           mivb(" 12/06 14:03  00:01:10 202   004", "204", "I 204 T 201"),
       cm("14030005" "0", "202", "201") + cm("14040011" "0", "204", "202")},
      {"conference",
       [] {
         setTime(localTime(14, 3, 0));
         CallInfo::alerting(1, "201", "202", "202");
         CallInfo::answered(1, "201", "202", "202");
         pass(30);
         CallInfo::originated(2, "202", "203");
         CallInfo::alerting(2, "202", "203", "203");
         CallInfo::answered(2, "202", "203", "203");
         pass(10);
         CallInfo::conferenced(1, 1, 2);
         CallInfo::ended(2, true);
         pass(300);
         CallInfo::ended(1, true);
       },
       mivb(" 12/06 14:03  00:00:10 202   000", "203", "I 203 C") +
           mivb("-12/06 14:03  00:05:40 201   000", "202", "I 202 C"),
       cm("14030001" "C", "203", "202") + cm("14080056" "C", "202", "201")},
      {"forwarded",
       [] {
         setTime(localTime(14, 3, 0));
         // Reported by the monitors of 203 and of the line alike.
         CallInfo::diverted(1, "204");
         CallInfo::diverted(1, "204");
         CallInfo::arrivedOn(1, "L1#2");
         CallInfo::alerting(1, "6175550000", "203", "204");
         pass(6);
         CallInfo::answered(1, "6175550000", "203", "204");
         pass(61);
         CallInfo::ended(1, true);
       },
       mivb(" 12/06 14:03  00:01:01 T002  006", "203", " F204"),
       cm("14040010" "9", "203", "6175550000")},
      {"in on one line, out on another",
       [] {
         setTime(localTime(14, 3, 0));
         CallInfo::diverted(1, "95551234");
         CallInfo::arrivedOn(1, "L1#1");
         CallInfo::netReached(1, "L1#2", "95551234", "L1#2");
         pass(50);
         CallInfo::ended(1, true);
       },
       mivb(" 12/06 14:03  00:00:50 T001  000", "95551234", " FT002") +
           mivb(" 12/06 14:03  00:00:50 T001", "95551234", "AFT002"),
       cm("14030008" "A", "95551234", "")},
  };
  for (const Case& k : cases) {
    fresh();
    k.flow();
    EXPECT_EQ(written(PBXtypeMiVBStandard), k.mivb) << k.name;
    EXPECT_EQ(written(PBXtypeCMUnformatted), k.cm) << k.name;
  }
}

TEST_F(CollectorRecords, LongCalls) {
  // Marks change at 5, 10 and 30 minutes.
  const struct {
    CallTime talk;
    char mark;
  } marks[] = {{299, ' '}, {300, '-'}, {599, '-'}, {600, '%'}, {1799, '%'}, {1800, '+'}};
  for (const auto& m : marks) {
    fresh();
    internal(1, m.talk);
    EXPECT_EQ(written(PBXtypeMiVBStandard)[0], m.mark) << m.talk;
  }

  const struct {
    CallTime talk;
    std::string mivbDuration;
    std::string cm;
  } longCalls[] = {
      // Each full ten hours is an interim record at the end of its ten hours.
      {20 * 3600 + 30 * 60 + 36, "20:30:36",
       cm("00039599" "4", "202", "201") + cm("10039599" "4", "202", "201") +
           cm("10330306" "0", "202", "201")},
      {10 * 3600 - 1, "09:59:59", cm("00039599" "0", "202", "201")},
      {10 * 3600, "10:00:00", cm("00039599" "4", "202", "201") + cm("00030000" "0", "202", "201")},
      {100 * 3600 - 1, "99:59:59", ""},
      {100 * 3600, "99:99:99", ""},
      {250 * 3600, "99:99:99", ""},
  };
  for (const auto& l : longCalls) {
    fresh();
    internal(1, l.talk);
    const std::string m = written(PBXtypeMiVBStandard);
    EXPECT_EQ(m.substr(0, 23), "+12/06 14:03  " + l.mivbDuration + " ") << l.talk;
    EXPECT_EQ(m.size(), 92u) << l.talk;
    const std::string c = written(PBXtypeCMUnformatted);
    if (!l.cm.empty()) {
      EXPECT_EQ(c, l.cm) << l.talk;
    }
    EXPECT_EQ(c.size(), 116u * static_cast<std::size_t>(l.talk / 36000 + 1)) << l.talk;
  }
}

TEST_F(CollectorRecords, IncomingLines) {
  CallInfo::alerting(1, "5085551234", "202", "202");
  // Extensions and numbers are no lines; the first line seen stays.
  for (const char* device : {"X1#2", "202", "L1#", "L#5", "L1#5x", "LINE1", "", "L1#7", "L1#9"})
    CallInfo::arrivedOn(1, device);
  CallInfo::arrivedOn(1, nullptr);
  CallInfo::arrivedOn(2, "L1#3");  // not tracked
  EXPECT_EQ(activeCalls.at(1).incomingLine, "L1#7");
  EXPECT_EQ(activeCalls.count(2), 0u);
  EXPECT_TRUE(CallInfo::isLineName("t1#3"));
}

}  // namespace
