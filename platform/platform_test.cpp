#include "platform/platform.h"

#include <cstdio>
#include <cstring>
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
