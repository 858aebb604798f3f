// spanbridge as an application meets it: loaded beside voxbridge, every
// export of its table found by name (and on Windows by ordinal) and called,
// its answer and its log lines compared with what the table's row says.
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

enum class Kind { OWN, LOG_NAME, RELEASE_CALL, SHARED };
struct Row {
  int ordinal;
  const char* name;
  Kind kind;
};
const Row kRows[] = {
#define EXPORT_ROW(ordinal, name, kind) {ordinal, #name, Kind::kind},
#include "companions/spanbridge/exports.h"
#undef EXPORT_ROW
};

void* spanbridge() {
  static void* lib = bridgetest::staged("spanbridge");
  return lib;
}

using OpenFn = std::int32_t (*)(const char*, std::int32_t);
using CloseFn = std::int32_t (*)(std::int32_t);

// The exports coded by hand, each called through the address it resolved to.
const std::map<std::string, std::function<void(void*)>> kOwnChecks = {
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

TEST(Spanbridge, EveryExportAnswersAsItsRowSays) {
  void* lib = spanbridge();
  ASSERT_NE(lib, nullptr);
  BridgeLog& log = BridgeLog::get();
  for (const Row& row : kRows) {
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
        auto check = kOwnChecks.find(row.name);
        if (check == kOwnChecks.end()) ADD_FAILURE() << "no check for this export";
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
        EXPECT_EQ(any(-1, "x", 3, 4, 5), 50);
        EXPECT_EQ(log.since(at), Lines{});
        break;
    }
  }
}

// The shared names are one entry point each, and no other export is.
TEST(Spanbridge, SharedNamesShareOneEntryPoint) {
  void* lib = spanbridge();
  ASSERT_NE(lib, nullptr);
  std::map<Kind, std::set<void*>> byKind;
  std::set<void*> all;
  std::size_t own = 0;
  for (const Row& row : kRows) {
    void* fn = bridgetest::find_by_name(lib, row.name);
    byKind[row.kind].insert(fn);
    all.insert(fn);
    if (row.kind == Kind::OWN || row.kind == Kind::LOG_NAME) ++own;
  }
  EXPECT_EQ(byKind[Kind::SHARED].size(), 1u);
  EXPECT_EQ(byKind[Kind::RELEASE_CALL].size(), 1u);
  EXPECT_EQ(all.size(), own + 2);
}

TEST(Spanbridge, OnlyTheTableIsExported) {
  void* lib = spanbridge();
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(bridgetest::find_by_name(lib, "spanbridge_shared_entry"), nullptr);
  EXPECT_EQ(bridgetest::find_by_name(lib, "spanbridge_release_entry"), nullptr);
  if (!bridgetest::has_ordinals()) return;
  std::set<int> assigned;
  for (const Row& row : kRows) assigned.insert(row.ordinal);
  for (int ordinal : {24, 27, 33, 68}) EXPECT_EQ(assigned.count(ordinal), 0u) << ordinal;
  for (int ordinal = 1; ordinal <= *assigned.rbegin() + 16; ++ordinal)
    if (!assigned.count(ordinal)) {
      EXPECT_EQ(bridgetest::find_by_ordinal(lib, ordinal), nullptr) << "ordinal " << ordinal;
    }
}

}  // namespace
