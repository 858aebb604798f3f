// runbridge as an application meets it: loaded beside voxbridge, every
// export of its table found by name (and on Windows by ordinal) and called;
// the start-up calls answered from voxbridge's configuration (two boards,
// of three lines and two) and devices.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "companions/test_bridge_fixture.h"
#include "companions/test_loader.h"

using bridgetest::AnyEntry;
using bridgetest::BridgeLog;
using Lines = std::vector<std::string>;

namespace {

enum class Kind { OWN, SHARED };
struct Row {
  int ordinal;
  const char* name;
  Kind kind;
};
const Row kRows[] = {
#define EXPORT_ROW(ordinal, name, kind) {ordinal, #name, Kind::kind},
#include "companions/runbridge/exports.h"
#undef EXPORT_ROW
};

using BoardCountFn = std::int32_t (*)(const char*, std::int32_t*);
using DeviceFn = std::int32_t (*)(std::int32_t);
using TextFn = const char* (*)(std::int32_t);

void* runbridge() {
  static void* lib = bridgetest::staged("runbridge");
  return lib;
}

// Devices opened in voxbridge before the first mark, so that reading its
// configuration and opening log nothing inside the checks.
struct Devices {
  std::int32_t board1 = bridgetest::open_device("dxxxB1");
  std::int32_t board2 = bridgetest::open_device("dxxxB2");
  std::int32_t channel = bridgetest::open_device("dxxxB1C0");
  std::int32_t boards = bridgetest::voxbridge_board_count();
};
const Devices& devices() {
  static Devices d;
  return d;
}
const std::int32_t kUnassigned = 4000;

void checkBoardCount(void* fn) {
  auto count = reinterpret_cast<BoardCountFn>(fn);
  BridgeLog& log = BridgeLog::get();
  ASSERT_EQ(devices().boards, 2);
  struct Case {
    const char* deviceClass;
    std::int32_t boards;
  };
  // Only the exact class name counts boards.
  for (Case c : {Case{"Voice", 2}, Case{"voice", 0}, Case{"VOICE", 0}, Case{"Voice ", 0},
                 Case{"Voic", 0}, Case{"", 0}, Case{nullptr, 0}, Case{"DTI", 0}}) {
    SCOPED_TRACE(c.deviceClass ? c.deviceClass : "(null)");
    std::int32_t n = 77;
    std::size_t at = log.mark();
    EXPECT_EQ(count(c.deviceClass, &n), 0);
    EXPECT_EQ(n, c.boards);
    EXPECT_EQ(log.since(at), Lines{"sr_getboardcnt"});
  }
  // No place for the answer: nothing written, and the call says so.
  std::size_t at = log.mark();
  EXPECT_EQ(count("Voice", nullptr), -1);
  EXPECT_EQ(count(nullptr, nullptr), -1);
  EXPECT_EQ(log.since(at), (Lines{"sr_getboardcnt", "sr_getboardcnt"}));
}

void checkSubdevs(void* fn) {
  auto subdevs = reinterpret_cast<DeviceFn>(fn);
  const Devices& d = devices();
  ASSERT_GE(d.board1, 0);
  ASSERT_GE(d.board2, 0);
  ASSERT_GE(d.channel, 0);
  BridgeLog& log = BridgeLog::get();
  std::size_t at = log.mark();
  EXPECT_EQ(subdevs(d.board1), 3);
  EXPECT_EQ(subdevs(d.board2), 2);
  EXPECT_EQ(subdevs(d.channel), 0);
  EXPECT_EQ(subdevs(kUnassigned), 0);
  EXPECT_EQ(subdevs(-1), 0);
  EXPECT_EQ(log.since(at), (Lines{"ATDV_SUBDEVS(" + std::to_string(d.board1) + ")",
                                  "ATDV_SUBDEVS(" + std::to_string(d.board2) + ")",
                                  "ATDV_SUBDEVS(" + std::to_string(d.channel) + ")",
                                  "ATDV_SUBDEVS(4000)", "ATDV_SUBDEVS(-1)"}));
}

void checkLastError(void* fn) {
  auto lastErr = reinterpret_cast<DeviceFn>(fn);
  const Devices& d = devices();
  ASSERT_GE(d.board1, 0);
  BridgeLog& log = BridgeLog::get();
  std::size_t at = log.mark();
  EXPECT_EQ(lastErr(d.board1), 0);
  // Passed on from voxbridge, although it reads as a failure.
  EXPECT_EQ(lastErr(kUnassigned), -1);
  EXPECT_EQ(log.since(at), (Lines{"ATDV_LASTERR", "ATDV_LASTERR"}));
}

// Callers print these texts: never null.
void checkText(void* fn, const char* name) {
  auto text = reinterpret_cast<TextFn>(fn);
  BridgeLog& log = BridgeLog::get();
  std::size_t at = log.mark();
  const char* a = text(devices().board1);
  const char* b = text(kUnassigned);
  // Callers test for a null pointer: no text at all, not an empty one.
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b, nullptr);
  EXPECT_EQ(log.since(at), (Lines{name, name}));
}

const std::map<std::string, std::function<void(void*)>> kOwnChecks = {
    {"sr_getboardcnt", checkBoardCount},
    {"ATDV_SUBDEVS", checkSubdevs},
    {"ATDV_LASTERR", checkLastError},
    {"ATDV_ERRMSGP", [](void* fn) { checkText(fn, "ATDV_ERRMSGP"); }},
    {"ATDV_NAMEP", [](void* fn) { checkText(fn, "ATDV_NAMEP"); }},
};

TEST(Runbridge, EveryExportAnswersAsItsRowSays) {
  void* lib = runbridge();
  ASSERT_NE(lib, nullptr);
  devices();
  BridgeLog& log = BridgeLog::get();
  for (const Row& row : kRows) {
    SCOPED_TRACE(std::to_string(row.ordinal) + " " + row.name);
    void* fn = bridgetest::find_by_name(lib, row.name);
    ASSERT_NE(fn, nullptr);
    if (bridgetest::has_ordinals()) {
      EXPECT_EQ(bridgetest::find_by_ordinal(lib, row.ordinal), fn);
    }
    if (row.kind == Kind::OWN) {
      auto check = kOwnChecks.find(row.name);
      if (check == kOwnChecks.end()) ADD_FAILURE() << "no check for this export";
      else check->second(fn);
      continue;
    }
    auto any = reinterpret_cast<AnyEntry>(fn);
    std::size_t at = log.mark();
    EXPECT_EQ(any(), 50);
    EXPECT_EQ(any(devices().board1, -1, "Voice"), 50);
    EXPECT_EQ(log.since(at), Lines{});
  }
}

// An application waiting for events must not hang here: sr_waitevt with
// "wait for ever" answers at once (a hang would fail by the test's time
// limit, not by a clock here).
TEST(Runbridge, WaitForEventsReturnsAtOnce) {
  void* lib = runbridge();
  ASSERT_NE(lib, nullptr);
  for (const char* name : {"sr_waitevt", "sr_waitevtEx"}) {
    auto wait = reinterpret_cast<AnyEntry>(bridgetest::find_by_name(lib, name));
    ASSERT_NE(wait, nullptr) << name;
    EXPECT_EQ(wait(-1), 50) << name;
  }
}

TEST(Runbridge, SharedNamesShareOneEntryPoint) {
  void* lib = runbridge();
  ASSERT_NE(lib, nullptr);
  std::set<void*> shared, all;
  std::size_t own = 0;
  for (const Row& row : kRows) {
    void* fn = bridgetest::find_by_name(lib, row.name);
    all.insert(fn);
    if (row.kind == Kind::SHARED) shared.insert(fn);
    else ++own;
  }
  EXPECT_EQ(shared.size(), 1u);
  EXPECT_EQ(all.size(), own + 1);
}

TEST(Runbridge, OnlyTheTableIsExported) {
  void* lib = runbridge();
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(bridgetest::find_by_name(lib, "runbridge_shared_entry"), nullptr);
  if (!bridgetest::has_ordinals()) return;
  std::set<int> assigned;
  for (const Row& row : kRows) assigned.insert(row.ordinal);
  for (int ordinal = 1; ordinal <= *assigned.rbegin() + 16; ++ordinal)
    if (!assigned.count(ordinal)) {
      EXPECT_EQ(bridgetest::find_by_ordinal(lib, ordinal), nullptr) << "ordinal " << ordinal;
    }
}

}  // namespace
