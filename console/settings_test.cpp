#include "console/settings.h"

#include <gtest/gtest.h>

TEST(ShellSettings, StartWithTheDocumentedDefaults) {
  EXPECT_EQ(getEditNumber(), 217);
  EXPECT_STREQ(iniFilename, "TELVANIX.INI");
  EXPECT_EQ(maxErrorPrintouts, 200);
}
