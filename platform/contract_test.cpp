// The behaviour callers rely on from both platform implementations. The
// POSIX calls give most of it for free; most of these cases are where a
// Win32 port differs unless it takes care (replacing renames, append
// handles, sharing, untranslated bytes, empty and over-long environment
// values, clock steps).
#include "platform/platform.h"

#include <csignal>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

struct TempFile {
  char name[512];
  TempFile() { EXPECT_TRUE(plat_temp_name(nullptr, name, sizeof name)); }
  ~TempFile() { plat_delete_file(name); }
};

std::string read_all(const char* name) {
  std::string out;
  plat_handle h = plat_open(name, PLAT_OPEN_READ);
  if (h == PLAT_INVALID_HANDLE) return "<cannot open>";
  char buf[64];
  long n;
  while ((n = plat_read(h, buf, sizeof buf)) > 0) out.append(buf, static_cast<std::size_t>(n));
  plat_close(h);
  return out;
}

void write_file(const char* name, const std::string& data) {
  plat_handle h = plat_open(name, PLAT_OPEN_WRITE_NEW);
  ASSERT_NE(h, PLAT_INVALID_HANDLE);
  ASSERT_EQ(plat_write(h, data.data(), data.size()), static_cast<long>(data.size()));
  plat_close(h);
}

std::string dir_of(const std::string& path) {
  std::size_t cut = path.find_last_of("/\\");
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

}  // namespace

TEST(PlatformContract, OpenModesTruncateOverwriteOrRefuse) {
  TempFile f;
  write_file(f.name, "abcdef");
  // Read-write on an existing file writes from the start and keeps the rest.
  plat_handle h = plat_open(f.name, PLAT_OPEN_READ_WRITE);
  ASSERT_NE(h, PLAT_INVALID_HANDLE);
  EXPECT_EQ(plat_write(h, "XY", 2), 2);
  plat_close(h);
  EXPECT_EQ(read_all(f.name), "XYcdef");
  write_file(f.name, "z");
  EXPECT_EQ(read_all(f.name), "z");

  // Modes for existing files do not create one.
  std::string missing = std::string(f.name) + ".none";
  EXPECT_EQ(plat_open(missing.c_str(), PLAT_OPEN_READ), PLAT_INVALID_HANDLE);
  EXPECT_EQ(plat_open(missing.c_str(), PLAT_OPEN_READ_WRITE), PLAT_INVALID_HANDLE);
  EXPECT_FALSE(plat_file_exists(missing.c_str()));

  // Reading a write-only handle is an error, not an empty file.
  h = plat_open(f.name, PLAT_OPEN_WRITE_NEW);
  char c;
  EXPECT_EQ(plat_read(h, &c, 1), -1);
  plat_close(h);
}

TEST(PlatformContract, BytesAreNotTranslated) {
  TempFile f;
  const std::string data("a\r\nb\n\x1a\0c", 8);
  write_file(f.name, data);
  EXPECT_EQ(read_all(f.name), data);
}

TEST(PlatformContract, AppendHandlesNeverOverwriteEachOther) {
  TempFile f;
  plat_delete_file(f.name);
  // Two appenders (say two SMDR writers) interleaving: each write lands at
  // the current end, wherever the other one left it.
  plat_handle a = plat_open(f.name, PLAT_OPEN_APPEND);
  plat_handle b = plat_open(f.name, PLAT_OPEN_APPEND);
  ASSERT_NE(a, PLAT_INVALID_HANDLE);
  ASSERT_NE(b, PLAT_INVALID_HANDLE);
  EXPECT_EQ(plat_write(a, "1111", 4), 4);
  EXPECT_EQ(plat_write(b, "22", 2), 2);
  EXPECT_EQ(plat_write(a, "3", 1), 1);
  plat_close(a);
  plat_close(b);
  // A later appender finds the file as they left it.
  plat_handle c = plat_open(f.name, PLAT_OPEN_APPEND);
  ASSERT_NE(c, PLAT_INVALID_HANDLE);
  EXPECT_EQ(plat_write(c, "4", 1), 1);
  plat_close(c);
  EXPECT_EQ(read_all(f.name), "11112234");
}

TEST(PlatformContract, OpenFileCanBeReadAlongside) {
  TempFile f;
  // A log being written stays readable by another handle.
  plat_handle w = plat_open(f.name, PLAT_OPEN_WRITE_NEW);
  ASSERT_NE(w, PLAT_INVALID_HANDLE);
  EXPECT_EQ(plat_write(w, "first", 5), 5);
  plat_handle r = plat_open(f.name, PLAT_OPEN_READ);
  ASSERT_NE(r, PLAT_INVALID_HANDLE);
  char buf[16] = {0};
  EXPECT_EQ(plat_read(r, buf, sizeof buf), 5);
  EXPECT_EQ(plat_write(w, "+", 1), 1);
  EXPECT_EQ(plat_read(r, buf, sizeof buf), 1);
  EXPECT_EQ(buf[0], '+');
  EXPECT_EQ(plat_read(r, buf, sizeof buf), 0);
  plat_close(r);
  plat_close(w);
}

TEST(PlatformContract, RenameReplacesTargetAndDeleteReportsMissing) {
  TempFile from, to;
  write_file(from.name, "new");
  write_file(to.name, "old");
  ASSERT_TRUE(plat_rename_file(from.name, to.name));
  EXPECT_FALSE(plat_file_exists(from.name));
  EXPECT_EQ(read_all(to.name), "new");
  EXPECT_FALSE(plat_rename_file(from.name, to.name));
  EXPECT_EQ(read_all(to.name), "new");
  EXPECT_FALSE(plat_delete_file(from.name));
  EXPECT_TRUE(plat_delete_file(to.name));
  EXPECT_FALSE(plat_file_exists(to.name));
}

TEST(PlatformContract, TempNamesAreFreshAndSitNextToTheGivenFile) {
  TempFile first;
  // Each name is created at once, so a second call cannot hand it out again.
  EXPECT_TRUE(plat_file_exists(first.name));
  char second[512];
  ASSERT_TRUE(plat_temp_name(first.name, second, sizeof second));
  EXPECT_STRNE(second, first.name);
  EXPECT_TRUE(plat_file_exists(second));
  EXPECT_EQ(dir_of(second), dir_of(first.name));
  plat_delete_file(second);

  // A result that does not fit is refused rather than cut.
  char tiny[4];
  EXPECT_FALSE(plat_temp_name(nullptr, tiny, sizeof tiny));
}

// PROBIX_EMPTY_VAR is set to "" and PROBIX_LONG_VAR to 300 characters
// (0123456789 repeated) by the test registration.
TEST(PlatformContract, EnvironmentValuesMissingEmptyAndOverLong) {
  char buf[400];
  std::strcpy(buf, "junk");
  EXPECT_FALSE(plat_getenv("PROBIX_SURELY_NOT_SET_123", buf, sizeof buf));
  EXPECT_STREQ(buf, "");
  std::strcpy(buf, "junk");
  EXPECT_TRUE(plat_getenv("PROBIX_EMPTY_VAR", buf, sizeof buf));
  EXPECT_STREQ(buf, "");

  std::string whole;
  for (int i = 0; i < 30; ++i) whole += "0123456789";
  ASSERT_TRUE(plat_getenv("PROBIX_LONG_VAR", buf, sizeof buf));
  EXPECT_EQ(std::string(buf), whole);
  // One short of room, exactly enough room, and a small buffer.
  ASSERT_TRUE(plat_getenv("PROBIX_LONG_VAR", buf, whole.size()));
  EXPECT_EQ(std::string(buf), whole.substr(0, whole.size() - 1));
  ASSERT_TRUE(plat_getenv("PROBIX_LONG_VAR", buf, whole.size() + 1));
  EXPECT_EQ(std::string(buf), whole);
  char small[11];
  ASSERT_TRUE(plat_getenv("PROBIX_LONG_VAR", small, sizeof small));
  EXPECT_STREQ(small, "0123456789");
}

TEST(PlatformContract, ClockMovesInSmallSteps) {
  // Timeouts of a few milliseconds need a clock finer than the 10-16 ms
  // system tick: the smallest of several observed steps must be small.
  std::uint64_t smallest = ~0ull;
  for (int seen = 0; seen < 5; ++seen) {
    std::uint64_t a = plat_millis(), b;
    while ((b = plat_millis()) == a) {
    }
    ASSERT_GT(b, a);
    if (b - a < smallest) smallest = b - a;
  }
  EXPECT_LE(smallest, 2u);
  // A sleep is seen by the clock.
  const std::uint64_t before = plat_millis();
  plat_sleep_ms(2);
  EXPECT_GE(plat_millis(), before + 1);
}

namespace {

TEST(PlatformContract, ResizeCutsAndExtendsWithZeros) {
  TempFile f;
  write_file(f.name, "abcdef");
  ASSERT_TRUE(plat_resize_file(f.name, 3));
  EXPECT_EQ(read_all(f.name), "abc");
  ASSERT_TRUE(plat_resize_file(f.name, 5));
  EXPECT_EQ(read_all(f.name), std::string("abc\0\0", 5));
  EXPECT_FALSE(plat_resize_file((std::string(f.name) + ".missing").c_str(), 1));
}

// Standard input that is a file never keeps a reader waiting, and its end
// reads as 0 bytes (not an error), however often it is asked.
TEST(PlatformContract, StandardInputFromAFileIsReadyAndEnds) {
  TempFile f;
  write_file(f.name, "ab\r\nc");
  ASSERT_NE(std::freopen(f.name, "rb", stdin), nullptr);
  ASSERT_FALSE(plat_stdin_is_terminal());
  EXPECT_TRUE(plat_stdin_wait(0));
  char buf[16];
  EXPECT_EQ(plat_stdin_read(buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf, 5), "ab\r\nc");
  EXPECT_TRUE(plat_stdin_wait(0));
  EXPECT_EQ(plat_stdin_read(buf, sizeof buf), 0);
  EXPECT_EQ(plat_stdin_read(buf, sizeof buf), 0);
}

#ifdef SIGHUP
// A signal only sets its flag (the process lives on), and each flag is
// handed out once.
TEST(PlatformContract, SignalsBecomeFlagsTakenOnce) {
  plat_install_stop_handlers();
  EXPECT_FALSE(plat_stop_requested());
  std::raise(SIGHUP);
  EXPECT_FALSE(plat_stop_requested());
  EXPECT_TRUE(plat_hangup_requested());
  EXPECT_FALSE(plat_hangup_requested());
  std::raise(SIGTERM);
  EXPECT_TRUE(plat_stop_requested());
  EXPECT_FALSE(plat_stop_requested());
  std::raise(SIGINT);
  EXPECT_TRUE(plat_stop_requested());
}
#endif

}  // namespace

#ifndef _WIN32
// The zone is read once: a changed TZ counts only after the reload.
TEST(PlatformContract, LocalTimeKeepsItsZoneUntilReloaded) {
  char saved[256] = "";
  const bool hadTZ = plat_getenv("TZ", saved, sizeof saved);
  setenv("TZ", "UTC0", 1);
  plat_reload_time_zone();
  struct tm tm = {};
  ASSERT_TRUE(plat_local_time(86400 + 3600, &tm));
  EXPECT_EQ(tm.tm_hour, 1);
  EXPECT_EQ(tm.tm_mday, 2);
  setenv("TZ", "EST5", 1);
  ASSERT_TRUE(plat_local_time(86400 + 3600, &tm));
  EXPECT_EQ(tm.tm_hour, 1);
  plat_reload_time_zone();
  ASSERT_TRUE(plat_local_time(86400 + 3600, &tm));
  EXPECT_EQ(tm.tm_hour, 20);
  EXPECT_EQ(tm.tm_mday, 1);
  if (hadTZ)
    setenv("TZ", saved, 1);
  else
    unsetenv("TZ");
  plat_reload_time_zone();
}

TEST(PlatformContract, ServerNamesLandOnDriveFoldersIgnoringCase) {
  char root[512];
  ASSERT_TRUE(plat_temp_name(nullptr, root, sizeof root));
  plat_delete_file(root);
  ASSERT_EQ(::mkdir(root, 0700), 0);
  std::string c = std::string(root) + "/c";
  ASSERT_EQ(::mkdir(c.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir((c + "/Temp").c_str(), 0700), 0);
  setenv("TELVANIX_DRIVES", root, 1);
  setenv("TELVANIX_DRIVE_D", "/srv/d", 1);

  char out[600];
  ASSERT_TRUE(plat_map_path("\\dosdevices\\C:\\TEMP\\Kqkvr1.vox", out, sizeof out));
  EXPECT_EQ(std::string(out), c + "/Temp/Kqkvr1.vox");
  ASSERT_TRUE(plat_map_path("\\temp\\x", out, sizeof out));
  EXPECT_EQ(std::string(out), c + "/Temp/x");
  ASSERT_TRUE(plat_map_path("d:\\Voice\\greet.vox", out, sizeof out));
  EXPECT_EQ(std::string(out), "/srv/d/Voice/greet.vox");
  ASSERT_TRUE(plat_map_path("/var/tmp/a.vox", out, sizeof out));
  EXPECT_EQ(std::string(out), "/var/tmp/a.vox");
  ASSERT_TRUE(plat_map_path("sub\\greet.vox", out, sizeof out));
  EXPECT_EQ(std::string(out), "sub/greet.vox");

  char tiny[8];
  EXPECT_FALSE(plat_map_path("C:\\a\\long\\name", tiny, sizeof tiny));
  EXPECT_EQ(tiny[0], '\0');
  unsetenv("TELVANIX_DRIVES");
  unsetenv("TELVANIX_DRIVE_D");
  ::rmdir((c + "/Temp").c_str());
  ::rmdir(c.c_str());
  ::rmdir(root);
}
#endif

TEST(PlatformContract, FileKindsIdentityAndLinkTargets) {
  char name[512], other[512];
  ASSERT_TRUE(plat_temp_name(nullptr, name, sizeof name));
  ASSERT_TRUE(plat_temp_name(nullptr, other, sizeof other));
  plat_file_info info;
  ASSERT_TRUE(plat_file_info_of(name, &info));
  EXPECT_TRUE(info.regular);
  EXPECT_FALSE(info.directory);
  EXPECT_TRUE(plat_same_file(name, name));
  EXPECT_FALSE(plat_same_file(name, other));
  char target[512];
  ASSERT_TRUE(plat_link_target(name, target, sizeof target));
  EXPECT_STREQ(target, name) << "a plain file is its own target";
  EXPECT_FALSE(plat_link_target(name, target, 3)) << "a target that does not fit";
  EXPECT_TRUE(plat_copy_file_access(other, info));
  plat_delete_file(name);
  plat_delete_file(other);
  EXPECT_FALSE(plat_file_info_of(name, &info));
  EXPECT_FALSE(plat_same_file(name, name));

  // The folder the temporary names are made in.
  std::string folder = name;
  folder = folder.substr(0, folder.find_last_of("/\\"));
  ASSERT_TRUE(plat_file_info_of(folder.c_str(), &info));
  EXPECT_TRUE(info.directory);
  EXPECT_FALSE(info.regular);
}
