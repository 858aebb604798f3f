// Directory listing (DIRECTORY) on both systems: wildcards that ignore case,
// "." and ".." left out, the visitor stopping the walk, a folder that cannot
// be read.
#include "platform/platform.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Names {
  std::vector<std::string> seen;
  std::size_t stopAfter = 1000;
};

bool collect(const char* name, void* context) {
  Names* n = static_cast<Names*>(context);
  n->seen.push_back(name);
  return n->seen.size() < n->stopAfter;
}

struct Files {
  std::string folder, base;
  std::vector<std::string> made;
  Files() {
    char temp[512];
    EXPECT_TRUE(plat_temp_name(nullptr, temp, sizeof temp));
    plat_delete_file(temp);
    const std::string path = temp;
    const std::size_t cut = path.find_last_of("/\\");
    folder = path.substr(0, cut + 1);
    base = path.substr(cut + 1);
    for (const char* tail : {".a.vox", ".B.VOX", ".txt"}) make(base + tail);
  }
  ~Files() {
    for (const std::string& f : made) plat_delete_file((folder + f).c_str());
  }
  void make(const std::string& name) {
    plat_handle h = plat_open((folder + name).c_str(), PLAT_OPEN_WRITE_NEW);
    ASSERT_NE(h, PLAT_INVALID_HANDLE);
    plat_close(h);
    made.push_back(name);
  }
  std::vector<std::string> list(const std::string& wild, std::size_t stopAfter = 1000) {
    Names n;
    n.stopAfter = stopAfter;
    EXPECT_TRUE(plat_list_files((folder + wild).c_str(), collect, &n)) << wild;
    std::sort(n.seen.begin(), n.seen.end());
    return n.seen;
  }
};

TEST(DirectoryListing, WildcardsMatchNamesIgnoringCase) {
  Files f;
  EXPECT_EQ(f.list(f.base + "*.vox"), (std::vector<std::string>{f.base + ".B.VOX", f.base + ".a.vox"}));
  EXPECT_EQ(f.list(f.base + ".*").size(), 3u);
  EXPECT_EQ(f.list(f.base + ".?.vox").size(), 2u);
  EXPECT_EQ(f.list(f.base + ".txt"), std::vector<std::string>{f.base + ".txt"});
  EXPECT_TRUE(f.list(f.base + "*.none").empty());
  EXPECT_EQ(f.list(f.base + "*", 2).size(), 2u) << "the visitor stops the walk";
  for (const std::string& name : f.list("*.*")) {
    EXPECT_NE(name, ".");
    EXPECT_NE(name, "..");
  }
}

TEST(DirectoryListing, AFolderThatCannotBeReadIsAFailure) {
  Names n;
  EXPECT_FALSE(plat_list_files("no-such-folder-for-listing/*.*", collect, &n));
  EXPECT_TRUE(n.seen.empty());
  EXPECT_FALSE(plat_list_files(nullptr, collect, &n));
}

}  // namespace
