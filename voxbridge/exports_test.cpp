// The built library as an application sees it: every row of exports.tbl is
// declared by the public header and exported (by name here; by ordinal as
// well on Windows, where unassigned ordinals must not resolve), and each
// kind of export answers as its kind says. The library is loaded at run
// time, so this is the shared library itself, not the test's own copy.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/dynlib.h"
#include "platform/fileops.h"
#include "voxbridge/include/voxlib.h"
#include "voxbridge/test_util.h"

namespace {

struct Row {
  unsigned ordinal;
  const char* name;
  std::string kind;
};

const std::vector<Row>& table() {
  static const std::vector<Row> rows = {
#define VOX_EXPORT(ordinal, name, kind) {ordinal, #name, #kind},
#include "vox_exports.inc"
#undef VOX_EXPORT
  };
  return rows;
}

// The header declares every export of the table (checked when compiling).
#define VOX_EXPORT(ordinal, name, kind) static_assert(sizeof(decltype(&name)) > 0, #name);
#include "vox_exports.inc"
#undef VOX_EXPORT

#define VOX_COUNT(name) +1
const int kSharedInHeader = 0 VOX_SHARED_NAMES(VOX_COUNT);
#undef VOX_COUNT

// The records' byte layouts where pointers are 4 bytes (32-bit Windows);
// elsewhere only the pointer-free parts keep their offsets.
static_assert(offsetof(DX_IOTT, io_fhandle) == 4 && offsetof(DX_IOTT, io_bufp) == 8, "DX_IOTT");
static_assert(sizeof(DV_DIGIT) == 64 && offsetof(DV_DIGIT, dg_type) == 32, "DV_DIGIT");
static_assert(sizeof(CT_DEVINFO) == 16 && offsetof(CT_DEVINFO, ct_devfamily) == 4, "CT_DEVINFO");
static_assert(offsetof(DV_TPT, tp_flags) == 6 && offsetof(DV_TPT, rfu) == 10, "DV_TPT");
static_assert(sizeof(void*) != 4 ||
                  (sizeof(DX_IOTT) == 28 && offsetof(DX_IOTT, io_offset) == 12 &&
                   offsetof(DX_IOTT, io_length) == 16 && offsetof(DX_IOTT, io_nextp) == 20 &&
                   offsetof(DX_IOTT, io_prevp) == 24 && sizeof(DV_TPT) == 16 &&
                   offsetof(DV_TPT, tp_nextp) == 12),
              "32-bit layouts");

typedef int (*Fn0)();
typedef int (*Fn1)(int);
typedef int (*Fn4)(int, const void*, const void*, int);
typedef int (*Fn6)(int, int, int, int, int, int);

std::string g_log;  // the library's log file (local name)

void* library() {
  static void* lib = [] {
    // The library finds its configuration and log through Windows names.
    voxtest::useScratchDrives();
    voxtest::makeDirs("C:\\temp");
    voxtest::makeDirs("C:\\kvr3\\telsrvr");
    voxtest::writeWin("C:\\kvr3\\telsrvr\\telsrvr.ini",
                      "[Setup]\nServer=NOWHERE\nDeviceID=401\nKVRLine=1\nDeviceID=402\nKVRLine=2\n");
    g_log = voxtest::local("C:\\temp\\kqkvrlog.txt");
    voxtest::writeFile(g_log, "left over from an earlier run\r\n");
    plat_setenv("KVR", "C:\\kvr3");
    std::string path = VOXBRIDGE_LIBRARY;
#if defined(_WIN32)
    if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
    return plat_load_library(path.c_str());
  }();
  return lib;
}

void* symbol(const char* name) { return plat_library_symbol(library(), name); }

template <class F>
F fn(const char* name) {
  return reinterpret_cast<F>(symbol(name));
}

TEST(Exports, TableHeaderAndLibraryAgree) {
  ASSERT_NE(nullptr, library());
  int shared = 0;
  void* sharedEntry = nullptr;
  for (const Row& r : table()) {
    void* byName = symbol(r.name);
    EXPECT_NE(nullptr, byName) << r.name;
#if defined(_WIN32)
    EXPECT_EQ(byName, plat_library_ordinal(library(), r.ordinal)) << r.name << " @" << r.ordinal;
#endif
    if (r.kind == "shared") {
      ++shared;
      if (!sharedEntry) sharedEntry = byName;
      EXPECT_EQ(sharedEntry, byName) << r.name << " is the one shared entry point";
    }
  }
  EXPECT_EQ(166, shared);
  EXPECT_EQ(shared, kSharedInHeader);
  EXPECT_EQ(220u, table().size());
  // Inner names stay inside.
  EXPECT_EQ(nullptr, symbol("vox_shared_entry"));
  EXPECT_EQ(nullptr, symbol("acsOpenStream"));
#if defined(_WIN32)
  for (unsigned unassigned : {126u, 181u, 182u, 183u, 184u, 222u, 260u, 299u, 304u})
    EXPECT_EQ(nullptr, plat_library_ordinal(library(), unassigned)) << unassigned;
  EXPECT_EQ(symbol("CountSubdevs"), plat_library_ordinal(library(), 300));
  EXPECT_EQ(symbol("debug_log"), plat_library_ordinal(library(), 301));
  EXPECT_EQ(symbol("CountBoards"), plat_library_ordinal(library(), 302));
  EXPECT_EQ(symbol("LastError"), plat_library_ordinal(library(), 303));
  EXPECT_EQ(symbol("__dx_max_udata_sz"), plat_library_ordinal(library(), 163));
#endif
  const std::int32_t* data = static_cast<const std::int32_t*>(symbol("__dx_max_udata_sz"));
  ASSERT_NE(nullptr, data);
  EXPECT_EQ(0, *data);
}

// Every kind with a handle the table does not hold and with an open board
// device; the shared entry point with calls of different arity.
TEST(Exports, EachKindAnswersAsItsRowSays) {
  ASSERT_NE(nullptr, library());
  const int board = fn<int (*)(const char*, int)>("dx_open")("dxxxB1", 0);
  ASSERT_EQ(0, board);
  const int unassigned = 9;
  Fn1 lastError = fn<Fn1>("LastError");
  for (const Row& r : table()) {
    if (r.kind == "work" || r.kind == "data") continue;
    Fn4 f = fn<Fn4>(r.name);
    ASSERT_NE(nullptr, f) << r.name;
    if (r.kind == "unsupported") {
      EXPECT_EQ(-1, f(unassigned, nullptr, nullptr, 0)) << r.name;
      EXPECT_EQ(-1, f(board, nullptr, nullptr, 0)) << r.name;
      EXPECT_EQ(1, lastError(board)) << r.name;
    } else if (r.kind == "one" || r.kind == "zero") {
      EXPECT_EQ(-1, f(unassigned, nullptr, nullptr, 0)) << r.name;
      EXPECT_EQ(r.kind == "one" ? 1 : 0, f(board, nullptr, nullptr, 0)) << r.name;
    } else if (r.kind == "logonly") {
      EXPECT_EQ(0, f(unassigned, nullptr, nullptr, 0)) << r.name;
      EXPECT_EQ(0, f(board, nullptr, nullptr, 0)) << r.name;
    } else if (r.kind == "shared") {
      EXPECT_EQ(50, fn<Fn0>(r.name)()) << r.name;
      EXPECT_EQ(50, fn<Fn1>(r.name)(unassigned)) << r.name;
      EXPECT_EQ(50, fn<Fn6>(r.name)(board, 1, 2, 3, 4, 5)) << r.name;
    }
  }
  EXPECT_EQ(-1, lastError(unassigned));
  EXPECT_EQ(0, fn<Fn1>("dx_close")(unassigned));
  EXPECT_EQ(0, fn<Fn1>("dx_close")(board));

  // What the log shows of it: the rows' texts, and nothing of the shared
  // entry point; the old contents went at the first line.
  std::string log = voxtest::readFile(g_log);
  EXPECT_EQ(std::string::npos, log.find("left over"));
  EXPECT_NE(std::string::npos, log.find("dx_open(dxxxB1)\r\n"));
  EXPECT_NE(std::string::npos, log.find("dx_dial(0, (null), 0x0, 0)\r\n"));
  EXPECT_NE(std::string::npos, log.find("dx_wtring chdev 9, nrings 0, hstate 0, timeout 0\r\n"));
  EXPECT_NE(std::string::npos, log.find("dx_setparm(0,0x0,0x0)\r\n"));
  EXPECT_NE(std::string::npos, log.find("dx_bldst(9, 0, 0, 0)\r\n"));
  EXPECT_NE(std::string::npos, log.find("\r\ndx_route\r\n"));
  EXPECT_NE(std::string::npos, log.find("dx_close(0)\r\n"));
  EXPECT_EQ(std::string::npos, log.find("ATDX_STATE"));
}

TEST(Exports, CompanionEntriesAndFixedAnswers) {
  ASSERT_NE(nullptr, library());
  auto open = fn<int (*)(const char*, int)>("dx_open");
  Fn1 subdevs = fn<Fn1>("CountSubdevs");
  const int board = open("dxxxB1", 0);
  const int unmapped = open("dxxxB1C0", 0);  // no such line: open, no stream
  ASSERT_GE(board, 0);
  ASSERT_GE(unmapped, 0);
  EXPECT_EQ(1, fn<Fn0>("CountBoards")());
  EXPECT_EQ(2, subdevs(board));
  EXPECT_EQ(0, subdevs(unmapped));
  EXPECT_EQ(0, subdevs(42));
  EXPECT_EQ(-1, open("dxxxB2", 0));
  EXPECT_EQ(-1, open(nullptr, 0));

  CT_DEVINFO info;
  std::memset(&info, 0x55, sizeof info);
  EXPECT_EQ(0, fn<int (*)(int, CT_DEVINFO*)>("ag_getctinfo")(board, &info));
  EXPECT_EQ(204u, info.ct_prodid);
  EXPECT_EQ(2, info.ct_devfamily);
  EXPECT_EQ(3, info.ct_nettype);
  EXPECT_EQ(0, info.ct_rfu[6]);
  EXPECT_EQ(-1, fn<int (*)(int, CT_DEVINFO*)>("ag_getctinfo")(board, nullptr));
  EXPECT_EQ(-1, fn<int (*)(int, CT_DEVINFO*)>("ag_getctinfo")(42, &info));
  EXPECT_EQ(1, fn<Fn1>("ATDX_CONNTYPE")(board));
  EXPECT_EQ(0, fn<Fn1>("ATDX_TERMMSK")(board));
  EXPECT_EQ(-1, fn<Fn1>("ATDX_TERMMSK")(42));

  DX_CAP cap;
  std::memset(&cap, 0x55, sizeof cap);
  EXPECT_EQ(0, fn<int (*)(DX_CAP*)>("dx_clrcap")(&cap));
  EXPECT_EQ(0, cap.ca_parm[55]);
  EXPECT_EQ(0, fn<int (*)(DX_CAP*)>("dx_clrcap")(nullptr));

  fn<Fn1>("dx_close")(unmapped);
  fn<Fn1>("dx_close")(board);
}

}  // namespace
