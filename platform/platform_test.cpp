#include "platform/platform.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <gtest/gtest.h>

TEST(PlatformFiles, WriteAppendReadBackAndDelete) {
  char name[512];
  ASSERT_TRUE(plat_temp_name(nullptr, name, sizeof name));
  plat_handle h = plat_open(name, PLAT_OPEN_WRITE_NEW);
  ASSERT_NE(h, PLAT_INVALID_HANDLE);
  EXPECT_EQ(plat_write(h, "abc", 3), 3);
  EXPECT_TRUE(plat_close(h));
  h = plat_open(name, PLAT_OPEN_APPEND);
  ASSERT_NE(h, PLAT_INVALID_HANDLE);
  EXPECT_EQ(plat_write(h, "de", 2), 2);
  plat_close(h);
  h = plat_open(name, PLAT_OPEN_READ);
  char buf[16] = {0};
  EXPECT_EQ(plat_read(h, buf, sizeof buf), 5);
  EXPECT_STREQ(buf, "abcde");
  plat_close(h);
  EXPECT_TRUE(plat_delete_file(name));
  EXPECT_FALSE(plat_file_exists(name));
}

TEST(PlatformEnv, MissingVariableLeavesEmptyBufferAndLongValueIsCut) {
  char buf[4];
  EXPECT_FALSE(plat_getenv("PROBIX_SURELY_NOT_SET_123", buf, sizeof buf));
  EXPECT_STREQ(buf, "");
  // PATH is always longer than three characters; the copy must stay bounded.
  if (plat_getenv("PATH", buf, sizeof buf)) {
    EXPECT_EQ(std::strlen(buf), 3u);
  }
}

TEST(PlatformClock, NeverGoesBackwards) {
  auto a = plat_millis();
  plat_sleep_ms(2);
  EXPECT_GE(plat_millis(), a + 1);
}

#ifndef _WIN32
// The zone is read once: a changed TZ counts only after the reload.
TEST(PlatformClock, LocalTimeKeepsItsZoneUntilReloaded) {
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
#endif

#ifndef _WIN32
#include <cstdlib>
#include <sys/stat.h>

TEST(PlatformPaths, ServerNamesLandOnDriveFoldersIgnoringCase) {
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

TEST(PlatformFileInfo, KindsIdentityAndLinkTargets) {
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
