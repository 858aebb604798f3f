// Run with CSTA32_CONFIG naming tests/data/csta32/servers.cfg and CSTA32_SERVERS set
// (see CMakeLists.txt): the file first, the variable over it.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "csta32/include/csta32.h"
#include "csta32/internal.h"
#include "platform/fileops.h"
#include "platform/platform.h"

namespace {

bool collect(char* name, EnumServerNamesParam_t lParam) {
  reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(name);
  return false;
}

bool stopAtFirst(char* name, EnumServerNamesParam_t lParam) {
  reinterpret_cast<std::vector<std::string>*>(lParam)->push_back(name);
  return true;
}

}  // namespace

TEST(ServerList, EntriesAreParsedAndCheckedOneByOne) {
  std::vector<csta32::ServerEntry> v;
  std::string error;
  EXPECT_TRUE(csta32::parseServerList(" A = embedded ; b=host.example:4500;;", ';', v, &error));
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].name, "A");
  EXPECT_TRUE(v[0].embedded);
  EXPECT_EQ(v[1].host, "host.example");
  EXPECT_EQ(v[1].port, 4500);
  EXPECT_FALSE(v[1].embedded);

  // A later entry of the same name (any case) replaces the earlier one.
  EXPECT_TRUE(csta32::parseServerList("a=127.0.0.1:1", ';', v, &error));
  ASSERT_EQ(v.size(), 2u);
  EXPECT_EQ(v[0].port, 1);

  for (const char* bad : {"noequals", "=embedded", "X=host", "X=host:", "X=:45",
                          "X=host:0", "X=host:65536", "X=host:12a",
                          "X=host:99999999999999999999"}) {
    std::vector<csta32::ServerEntry> w;
    EXPECT_FALSE(csta32::parseServerList(bad, ';', w, &error)) << bad;
    EXPECT_TRUE(w.empty()) << bad;
  }
  std::vector<csta32::ServerEntry> w;
  std::string longName(49, 'N');
  EXPECT_FALSE(csta32::parseServerList(longName + "=embedded;OK=embedded", ';', w, &error));
  ASSERT_EQ(w.size(), 1u);  // the good entry is kept
  EXPECT_EQ(w[0].name, "OK");

  w.clear();
  EXPECT_TRUE(csta32::parseServerList("# comment\n; another\n\nF=embedded\r\n", '\n', w, &error));
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(w[0].name, "F");
}

TEST(ServerDirectory, FileAndEnvironmentAreMergedInOrder) {
  std::vector<std::string> names;
  EXPECT_EQ(acsEnumServerNames(ST_CSTA, collect, reinterpret_cast<EnumServerNamesParam_t>(&names)), 0);
  // servers.cfg: TELVANIX=embedded, REMOTE=127.0.0.1:4600, a bad line;
  // environment: LAB=embedded, telvanix=127.0.0.1:4599, BROKEN=nowhere.
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[0], "telvanix");
  EXPECT_EQ(names[1], "REMOTE");
  EXPECT_EQ(names[2], "LAB");
  csta32::ServerEntry e;
  ASSERT_TRUE(csta32::findServer("TelVanix", e));
  EXPECT_FALSE(e.embedded);
  EXPECT_EQ(e.port, 4599);
  EXPECT_FALSE(csta32::findServer("BROKEN", e));

  names.clear();
  acsEnumServerNames(ST_CSTA, stopAtFirst, reinterpret_cast<EnumServerNamesParam_t>(&names));
  EXPECT_EQ(names.size(), 1u);
  EXPECT_EQ(acsEnumServerNames(ST_CSTA, nullptr, 0), ACSERR_BADPARAMETER);
}

// Sets a variable for one test and puts the old value back.
class EnvFor {
 public:
  explicit EnvFor(const char* name) : name_(name) { had_ = csta32::readWholeEnv(name, old_, 1u << 20, nullptr); }
  ~EnvFor() { plat_setenv(name_, had_ ? old_.c_str() : nullptr); }
  bool set(const std::string& v) { return plat_setenv(name_, v.c_str()); }

 private:
  const char* name_;
  bool had_ = false;
  std::string old_;
};

// What the directory says on the error output while it is read.
std::string directoryMessages() {
  testing::internal::CaptureStderr();
  csta32::serverDirectory();
  return testing::internal::GetCapturedStderr();
}

TEST(ServerDirectory, LongValuesAreReadWholeOrRefusedByName) {
  EnvFor servers("CSTA32_SERVERS");
  ASSERT_TRUE(servers.set(std::string(9000, ';') + "LONG=127.0.0.1:45001"));
  csta32::ServerEntry e;
  ASSERT_TRUE(csta32::findServer("LONG", e));
  EXPECT_EQ(e.port, 45001);

  const std::string huge = std::string((1u << 20) + 10, ';') + "HUGE=embedded";
  std::string back;
  if (!servers.set(huge) || !csta32::readWholeEnv("CSTA32_SERVERS", back, 2u << 20, nullptr) || back != huge)
    return;  // this system keeps no variable that long
  const std::string said = directoryMessages();
  EXPECT_NE(said.find("csta32: CSTA32_SERVERS: longer than 1048576 characters; not used"), std::string::npos)
      << said;
  EXPECT_FALSE(csta32::findServer("HUGE", e));
}

TEST(ServerDirectory, OnlyARegularFileOfAtMostAMegabyteIsRead) {
  EnvFor config("CSTA32_CONFIG");
  if (plat_file_exists("/dev/zero")) {
    ASSERT_TRUE(config.set("/dev/zero"));
    const std::string said = directoryMessages();
    EXPECT_NE(said.find("CSTA32_CONFIG: /dev/zero is not a regular file; not read"), std::string::npos) << said;
  }

  char path[1024];
  ASSERT_TRUE(plat_temp_name(nullptr, path, sizeof path));
  const std::string entry = "BIGFILE=embedded\n";
  std::string said;
  for (std::size_t extra : {std::size_t{0}, std::size_t{1}}) {
    std::FILE* f = std::fopen(path, "wb");
    ASSERT_TRUE(f);
    const std::string text = entry + std::string((1u << 20) - entry.size() + extra, '\n');
    ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), f), text.size());
    std::fclose(f);
    ASSERT_TRUE(config.set(path));
    csta32::ServerEntry e;
    testing::internal::CaptureStderr();
    EXPECT_EQ(csta32::findServer("BIGFILE", e), extra == 0);
    said += testing::internal::GetCapturedStderr();
  }
  EXPECT_NE(said.find(std::string(path) + " is larger than 1048576 bytes; not read"), std::string::npos) << said;
  std::remove(path);
}
