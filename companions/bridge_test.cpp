// spanbridge and runbridge as an application meets them: loaded beside
// voxbridge, every export of each table found by name (and on Windows by
// ordinal) and called, its answer and its log lines compared with what its
// row says. runbridge's start-up calls are answered from voxbridge's
// configuration (two boards, of three lines and two) and devices.
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

// The behaviours of both tables (see each exports.h).
enum class Kind { OWN, LOG_NAME, RELEASE_CALL, SHARED };
struct Row {
  int ordinal;
  const char* name;
  Kind kind;
};
#define EXPORT_ROW(ordinal, name, kind) {ordinal, #name, Kind::kind},
const Row kSpanRows[] = {
#include "companions/spanbridge/exports.h"
};
const Row kRunRows[] = {
#include "companions/runbridge/exports.h"
};
#undef EXPORT_ROW

using OwnChecks = std::map<std::string, std::function<void(void*)>>;
using OpenFn = std::int32_t (*)(const char*, std::int32_t);
using CloseFn = std::int32_t (*)(std::int32_t);
using BoardCountFn = std::int32_t (*)(const char*, std::int32_t*);
using DeviceFn = std::int32_t (*)(std::int32_t);
using TextFn = const char* (*)(std::int32_t);

// ---- spanbridge's exports coded by hand, each called through the address
// it resolved to.
const OwnChecks kSpanChecks = {
    {"dt_open",
     [](void* fn) {
       auto dtOpen = reinterpret_cast<OpenFn>(fn);
       BridgeLog& log = BridgeLog::get();
       std::size_t at = log.mark();
       EXPECT_EQ(dtOpen("dtiB1T1", 0), -1);
       EXPECT_EQ(dtOpen(nullptr, 0), -1);
       EXPECT_EQ(log.since(at), (Lines{"dt_open(dtiB1T1)", "dt_open((null))"}));
     }},
    {"dt_close",
     [](void* fn) {
       auto dtClose = reinterpret_cast<CloseFn>(fn);
       BridgeLog& log = BridgeLog::get();
       std::size_t at = log.mark();
       EXPECT_EQ(dtClose(0x1f), 0);
       EXPECT_EQ(dtClose(-1), 0);
       EXPECT_EQ(log.since(at), (Lines{"dt_close(1f)", "dt_close(ffffffff)"}));
     }},
};

// ---- runbridge's. Devices are opened in voxbridge before the first mark,
// so that reading its configuration and opening log nothing inside the
// checks.
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

// Callers test for a null pointer: no text at all, not an empty one.
void checkText(void* fn, const char* name) {
  auto text = reinterpret_cast<TextFn>(fn);
  BridgeLog& log = BridgeLog::get();
  std::size_t at = log.mark();
  EXPECT_EQ(text(devices().board1), nullptr);
  EXPECT_EQ(text(kUnassigned), nullptr);
  EXPECT_EQ(log.since(at), (Lines{name, name}));
}

const OwnChecks kRunChecks = {
    {"sr_getboardcnt", checkBoardCount},
    {"ATDV_SUBDEVS", checkSubdevs},
    {"ATDV_LASTERR", checkLastError},
    {"ATDV_ERRMSGP", [](void* fn) { checkText(fn, "ATDV_ERRMSGP"); }},
    {"ATDV_NAMEP", [](void* fn) { checkText(fn, "ATDV_NAMEP"); }},
};

// ---- one companion: its table, its hand-coded checks, the entry points
// behind its shared names (never exported themselves) and the ordinals
// that must stay unassigned besides the table's gaps.
struct Bridge {
  const char* name;
  std::vector<Row> rows;
  const OwnChecks* own;
  std::vector<const char*> hidden;
  std::vector<int> reserved;

  void* library() const {
    static std::map<std::string, void*> loaded;
    auto it = loaded.find(name);
    if (it == loaded.end()) it = loaded.emplace(name, bridgetest::staged(name)).first;
    return it->second;
  }
};

const Bridge kSpanbridge{"spanbridge",
                         {std::begin(kSpanRows), std::end(kSpanRows)},
                         &kSpanChecks,
                         {"spanbridge_shared_entry", "spanbridge_release_entry"},
                         {24, 27, 33, 68}};
const Bridge kRunbridge{"runbridge",
                        {std::begin(kRunRows), std::end(kRunRows)},
                        &kRunChecks,
                        {"runbridge_shared_entry"},
                        {}};

class BridgeTable : public ::testing::TestWithParam<const Bridge*> {};

TEST_P(BridgeTable, EveryExportAnswersAsItsRowSays) {
  const Bridge& bridge = *GetParam();
  void* lib = bridge.library();
  ASSERT_NE(lib, nullptr);
  devices();
  BridgeLog& log = BridgeLog::get();
  for (const Row& row : bridge.rows) {
    SCOPED_TRACE(std::to_string(row.ordinal) + " " + row.name);
    void* fn = bridgetest::find_by_name(lib, row.name);
    ASSERT_NE(fn, nullptr);
    if (bridgetest::has_ordinals()) {
      EXPECT_EQ(bridgetest::find_by_ordinal(lib, row.ordinal), fn);
    }
    auto any = reinterpret_cast<AnyEntry>(fn);
    std::size_t at = log.mark();
    switch (row.kind) {
      case Kind::OWN: {
        auto check = bridge.own->find(row.name);
        if (check == bridge.own->end()) ADD_FAILURE() << "no check for this export";
        else check->second(fn);
        break;
      }
      case Kind::LOG_NAME:
        EXPECT_EQ(any(1, "dtiB1T1", 0x20), 0);
        EXPECT_EQ(log.since(at), Lines{row.name});
        break;
      case Kind::RELEASE_CALL:
        EXPECT_EQ(any(7, 0), 0);
        EXPECT_EQ(log.since(at), Lines{"cc_ReleaseCall"});
        break;
      case Kind::SHARED:
        EXPECT_EQ(any(), 50);
        EXPECT_EQ(any(devices().board1, -1, "Voice", 4, 5), 50);
        EXPECT_EQ(log.since(at), Lines{});
        break;
    }
  }
}

// The names of a shared behaviour are one entry point, and no other export
// is.
TEST_P(BridgeTable, SharedNamesShareOneEntryPoint) {
  const Bridge& bridge = *GetParam();
  void* lib = bridge.library();
  ASSERT_NE(lib, nullptr);
  std::map<Kind, std::set<void*>> byKind;
  std::set<void*> all;
  std::size_t own = 0;
  for (const Row& row : bridge.rows) {
    void* fn = bridgetest::find_by_name(lib, row.name);
    byKind[row.kind].insert(fn);
    all.insert(fn);
    if (row.kind == Kind::OWN || row.kind == Kind::LOG_NAME) ++own;
  }
  std::size_t shared = 0;
  for (Kind k : {Kind::SHARED, Kind::RELEASE_CALL}) {
    if (byKind.count(k) == 0) continue;
    EXPECT_EQ(byKind[k].size(), 1u);
    ++shared;
  }
  EXPECT_EQ(all.size(), own + shared);
}

TEST_P(BridgeTable, OnlyTheTableIsExported) {
  const Bridge& bridge = *GetParam();
  void* lib = bridge.library();
  ASSERT_NE(lib, nullptr);
  for (const char* name : bridge.hidden) EXPECT_EQ(bridgetest::find_by_name(lib, name), nullptr);
  if (!bridgetest::has_ordinals()) return;
  std::set<int> assigned;
  for (const Row& row : bridge.rows) assigned.insert(row.ordinal);
  for (int ordinal : bridge.reserved) EXPECT_EQ(assigned.count(ordinal), 0u) << ordinal;
  for (int ordinal = 1; ordinal <= *assigned.rbegin() + 16; ++ordinal)
    if (!assigned.count(ordinal)) {
      EXPECT_EQ(bridgetest::find_by_ordinal(lib, ordinal), nullptr) << "ordinal " << ordinal;
    }
}

INSTANTIATE_TEST_SUITE_P(Companions, BridgeTable, ::testing::Values(&kSpanbridge, &kRunbridge),
                         [](const ::testing::TestParamInfo<const Bridge*>& info) {
                           return std::string(info.param->name);
                         });

// An application waiting for events must not hang here: sr_waitevt with
// "wait for ever" answers at once (a hang would fail by the test's time
// limit, not by a clock here).
TEST(Runbridge, WaitForEventsReturnsAtOnce) {
  void* lib = kRunbridge.library();
  ASSERT_NE(lib, nullptr);
  for (const char* name : {"sr_waitevt", "sr_waitevtEx"}) {
    auto wait = reinterpret_cast<AnyEntry>(bridgetest::find_by_name(lib, name));
    ASSERT_NE(wait, nullptr) << name;
    EXPECT_EQ(wait(-1), 50) << name;
  }
}

}  // namespace
