// A companion without voxbridge beside it must not load: it binds voxbridge's
// functions at load time. This program loads nothing else first, so no
// voxbridge already in the process can stand in for the missing one.
#include <gtest/gtest.h>

#include <string>

#include "companions/test_loader.h"

namespace {

std::string at(bool withVoxbridge, const char* base) {
  return bridgetest::path_join(bridgetest::stage_dir(withVoxbridge), bridgetest::library_file(base));
}

TEST(CompanionLoad, NeedsVoxbridgeBesideIt) {
  for (const char* base : {"spanbridge", "runbridge"}) {
    std::string error;
    EXPECT_EQ(bridgetest::load_library(at(false, base), &error), nullptr) << base;
  }
  // The same files load once voxbridge is beside them.
  for (const char* base : {"spanbridge", "runbridge"}) {
    std::string error;
    EXPECT_NE(bridgetest::load_library(at(true, base), &error), nullptr) << base << ": " << error;
  }
}

}  // namespace
