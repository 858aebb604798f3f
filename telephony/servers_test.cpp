#include "telephony/servers.h"

#include <gtest/gtest.h>

#include <string>

#include "console/output.h"
#include "console/settings.h"

namespace {

class ServerTable : public ::testing::Test {
 protected:
  void TearDown() override { clearServerNames(); }
};

TEST_F(ServerTable, NamesFillTheSlotsThenReplaceTheLast) {
  clearServerNames();
  // A free slot last written is reused; each further name takes the next
  // slot until the fifth, which every later name replaces.
  const int start = getLastServerName();
  const char* names[] = {"A", "B", "C", "D", "E", "F", "G"};
  for (int k = 0; k < 7; ++k) {
    const int expected = start + k < 4 ? start + k : 4;
    EXPECT_EQ(setServerName(names[k]), expected) << names[k];
    EXPECT_STREQ(getServerName(expected), names[k]);
  }
  if (start == 0) {
    EXPECT_STREQ(getServerName(0), "A");
  }
  EXPECT_STREQ(getServerName(4), "G");
  EXPECT_EQ(getServerName(5), nullptr);
  EXPECT_EQ(getServerName(-1), nullptr);

  // Cleared slots are free again; the slot last written stays.
  clearServerNames();
  EXPECT_EQ(getServerName(4), nullptr);
  EXPECT_EQ(setServerName("H"), 4);
}

TEST_F(ServerTable, StoresACopyAndCountsItsBlock) {
  const long before = number_blocks_out();
  char name[] = "TELVANIX";
  const int slot = setServerName(name);
  name[0] = 'X';
  EXPECT_STREQ(getServerName(slot), "TELVANIX");
  EXPECT_EQ(number_blocks_out(), before + 1);
  clearServerNames();
  EXPECT_EQ(number_blocks_out(), before);
}

TEST_F(ServerTable, ReplacingANameWithItselfIsSafe) {
  for (int i = 0; i < 6; ++i) setServerName(("S" + std::to_string(i)).c_str());
  const int slot = getLastServerName();
  ASSERT_EQ(slot, 4);
  // The text handed in is the one the slot holds and is about to free.
  setServerName(getServerName(slot));
  EXPECT_STREQ(getServerName(slot), "S5");
}

}  // namespace
