// The configuration text and the built-in default.
#include <gtest/gtest.h>

#include <cstdio>

#include "simulator/telsim.h"

namespace {

const telsim::DeviceConfig* find(const telsim::Config& c, const std::string& phys) {
  for (const telsim::DeviceConfig& d : c.devices)
    if (d.physName == phys) return &d;
  return nullptr;
}

TEST(Config, DefaultHasTheDemoSwitch) {
  telsim::Config c = telsim::defaultConfig();
  const telsim::DeviceConfig* x1 = find(c, "X1#1");
  const telsim::DeviceConfig* x16 = find(c, "X1#16");
  ASSERT_TRUE(x1 && x16);
  EXPECT_EQ(x1->number, "201");
  EXPECT_EQ(x16->number, "216");
  EXPECT_FALSE(find(c, "X1#17"));
  ASSERT_TRUE(find(c, "L1#8"));
  EXPECT_EQ(find(c, "L1#8")->kind, telsim::DK_TRUNK);
  EXPECT_FALSE(find(c, "L1#9"));
  ASSERT_TRUE(find(c, "D1#1"));
  ASSERT_TRUE(find(c, "V1#1"));
  EXPECT_GT(find(c, "V1#1")->autoAnswerRings, 0);
  EXPECT_EQ(c.login, "Telvanix");
  EXPECT_EQ(c.drvrVer, "3.1-12");
  EXPECT_EQ(c.boards.size(), 1u);
}

TEST(Config, FileReplacesDevicesAndKeepsTheRest) {
  telsim::Config c = telsim::defaultConfig();
  std::string err;
  ASSERT_TRUE(telsim::parseConfig(
      "# a small office\n"
      "server OFFICE\n"
      "login admin \"two words\"\n"
      "firmware 4.0-1   # newer\n"
      "extensions 100-103 X2#5 rings 3\n"
      "lines L2#1-2\n"
      "voice 500 V2#1\n"
      "board 2 vega 201901 77\n"
      "outside - 5\n",
      c, &err))
      << err;
  EXPECT_EQ(c.serverName, "OFFICE");
  EXPECT_EQ(c.password, "two words");
  EXPECT_EQ(c.drvrVer, "4.0-1");
  EXPECT_EQ(c.tsrvVer, "telsim 1.0");  // untouched
  ASSERT_EQ(c.devices.size(), 7u);     // the default devices are gone
  const telsim::DeviceConfig* x = find(c, "X2#8");
  ASSERT_TRUE(x);
  EXPECT_EQ(x->number, "103");
  EXPECT_EQ(x->board, 2);
  EXPECT_EQ(x->autoAnswerRings, 3);
  EXPECT_EQ(find(c, "V2#1")->autoAnswerRings, 2);  // voice ports answer by default
  EXPECT_TRUE(find(c, "L2#2"));
  ASSERT_EQ(c.boards.size(), 1u);
  EXPECT_EQ(c.boards[0].type, 2);
  EXPECT_EQ(c.boards[0].serialNumber, 77u);
  EXPECT_EQ(c.outsidePrefix, "");
  EXPECT_EQ(c.outsideMinDigits, 5);
}

TEST(Config, BadLinesAreNamedAndChangeNothing) {
  const char* bad[][2] = {
      {"extensions 201-202 X1#1\nextension 202 X1#9\n", "line 2"},  // number twice
      {"extension 201 X1#1\nline x1#1\n", "line 2"},                 // name twice, any case
      {"firmware 123456789012345678901\n", "line 1"},                // longer than clients hold
      {"extension 2a1 X1#1\n", "line 1"},
      {"extensions 210-201 X1#1\n", "line 1"},
      {"extensions 1-99999 X1#1\n", "line 1"},
      {"\n\nbogus 1\n", "line 3"},
      {"ring 0\n", "line 1"},
      {"login \"open\n", "line 1"},
      {"extension 201 X1\n", "line 1"},
  };
  for (auto& b : bad) {
    telsim::Config c = telsim::defaultConfig();
    std::string err;
    EXPECT_FALSE(telsim::parseConfig(b[0], c, &err)) << b[0];
    EXPECT_EQ(err.compare(0, std::string(b[1]).size(), b[1]), 0) << b[0] << " -> " << err;
    EXPECT_EQ(c.devices.size(), telsim::defaultConfig().devices.size());
  }
  telsim::Config c;
  std::string err;
  EXPECT_FALSE(telsim::loadConfig("/nonexistent/telsim.cfg", c, &err));
  EXPECT_NE(err.find("cannot open"), std::string::npos);
  // Cut at 1 MB, the rest of a configuration would be lost without a word.
  const std::string big = ::testing::TempDir() + "telsim_big.cfg";
  std::FILE* f = std::fopen(big.c_str(), "wb");
  ASSERT_TRUE(f);
  const std::string comment = "# " + std::string(1000, 'x') + "\n";
  for (int i = 0; i < 1100; ++i) std::fputs(comment.c_str(), f);
  std::fputs("extension 299 X1#99\n", f);
  std::fclose(f);
  EXPECT_FALSE(telsim::loadConfig(big.c_str(), c, &err));
  EXPECT_NE(err.find("over 1 MB"), std::string::npos) << err;
  std::remove(big.c_str());
}

TEST(Config, ForwardingIsSetFromTheStart) {
  telsim::Config c = telsim::defaultConfig();
  std::string err;
  // Named before its devices exist, by number or physical name.
  ASSERT_TRUE(telsim::parseConfig("forward 301 immediate 302\n"
                                  "forward x1#2 busy 95551234\n"
                                  "forward X1#2 noanswer 300\n"
                                  "forward X1#2 busy 300\n"  // the later one counts
                                  "extensions 300-302 X1#1\nlines L1#1\n",
                                  c, &err))
      << err;
  EXPECT_EQ(find(c, "X1#2")->forwardTo[0], "302");
  EXPECT_EQ(find(c, "X1#2")->forwardTo[1], "300");
  EXPECT_EQ(find(c, "X1#2")->forwardTo[2], "300");
  EXPECT_EQ(find(c, "X1#1")->forwardTo[0], "");

  telsim::Switch sw(c, true);
  bool ok = false;
  EXPECT_EQ(sw.control("devices", &ok),
            "300    X1#1   extension\n"
            "301    X1#2   extension\n"
            "       forward immediate to 302\n"
            "       forward busy to 300\n"
            "       forward noanswer to 300\n"
            "302    X1#3   extension\n"
            "L1#1   L1#1   line     \n");
  sw.control("dial 300 301", &ok);
  EXPECT_EQ(sw.control("calls", &ok), "call 1: 300(C) 302(A)\n");
  // The switch starts over with the forwarding it was configured with.
  sw.control("forward 301 immediate off", &ok);
  sw.reset();
  sw.control("dial 300 301", &ok);
  EXPECT_EQ(sw.control("calls", &ok), "call 1: 300(C) 302(A)\n");

  const char* bad[][2] = {
      {"forward 299 busy 201\n", "line 1"},  // no such device
      {"extension 201 X1#1\n\nforward 202 busy 201\n", "line 3"},  // gone with the defaults
      {"forward 201 sideways 202\n", "line 1"},
      {"forward 201 busy off\n", "line 1"},
      {"forward 201 busy\n", "line 1"},
  };
  for (auto& b : bad) {
    telsim::Config d = telsim::defaultConfig();
    EXPECT_FALSE(telsim::parseConfig(b[0], d, &err)) << b[0];
    EXPECT_EQ(err.compare(0, std::string(b[1]).size(), b[1]), 0) << b[0] << " -> " << err;
  }
}

TEST(Config, SwitchUsesItsConfiguration) {
  telsim::Config c = telsim::defaultConfig();
  std::string err;
  ASSERT_TRUE(telsim::parseConfig("extensions 300-301 X1#1\nlines L1#1\nlogin * *\n", c, &err)) << err;
  telsim::Switch sw(c, true);
  bool ok = false;
  EXPECT_EQ(sw.control("devices", &ok),
            "300    X1#1   extension\n301    X1#2   extension\nL1#1   L1#1   line     \n");
  sw.control("dial 300 301", &ok);
  EXPECT_TRUE(ok);
  sw.control("dial 301 9123", &ok);  // 301 is ringing: busy
  EXPECT_FALSE(ok);
}

}  // namespace
