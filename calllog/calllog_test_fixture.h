// A tracker on a clock the test moves, whose finished records are kept in
// `records` instead of going to a device.
#pragma once

#include <gtest/gtest.h>

#include <ctime>
#include <string>
#include <vector>

#include "calllog/callinfo.h"

namespace calllog_test {

inline CallTime& testNow() {
  static CallTime t = 0;
  return t;
}
inline CallTime testClock() { return testNow(); }

inline std::vector<std::string>& records() {
  static std::vector<std::string> r;
  return r;
}
inline void keepRecord(CallInfo& call) { records().push_back(call.o_report(0)); }

// 6 December 2026 at the given local time.
inline CallTime localTime(int hour, int minute, int second) {
  std::tm tm = {};
  tm.tm_year = 2026 - 1900;
  tm.tm_mon = 11;
  tm.tm_mday = 6;
  tm.tm_hour = hour;
  tm.tm_min = minute;
  tm.tm_sec = second;
  tm.tm_isdst = -1;
  return static_cast<CallTime>(std::mktime(&tm));
}

class Tracker : public ::testing::Test {
 protected:
  void SetUp() override {
    CallInfo::reset();
    records().clear();
    testNow() = localTime(14, 3, 0);
    CallInfo::setClock(testClock);
    previousWriter = CallInfo::setRecordWriter(keepRecord);
  }
  void TearDown() override {
    CallInfo::reset();
    CallInfo::setClock(nullptr);
    CallInfo::setRecordWriter(previousWriter);
  }
  void at(CallTime t) { testNow() = t; }
  void later(CallTime seconds) { testNow() += seconds; }
  CallInfo* call(long id) {
    auto found = activeCalls.find(id);
    return found == activeCalls.end() ? nullptr : &found->second;
  }
  // 201 rings 202 at 14:03:00, 202 answers at 14:03:05 and both talk 65 s.
  void internalCall(long id) {
    at(localTime(14, 3, 0));
    CallInfo::alerting(id, "201", "202", "202");
    at(localTime(14, 3, 5));
    CallInfo::answered(id, "201", "202", "202");
    later(65);
    CallInfo::ended(id, true);
  }

  CallInfo::RecordWriter previousWriter = nullptr;
};

}  // namespace calllog_test
