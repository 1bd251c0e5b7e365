#include <gtest/gtest.h>

#include "engine/library/SharedFolderScan.h"

namespace P2P::Shared::File {
namespace {

// Entries from a data file must not reach outside the shared folder, however they are spelt.
TEST(SharedFolderScanTest, OnlyPathsBelowTheFolderAreInsideIt) {
  EXPECT_TRUE(IsInsideFolder("/home/u/shared/a.txt", "/home/u/shared"));
  EXPECT_TRUE(IsInsideFolder("/home/u/shared/sub/a.txt", "/home/u/shared/"));
  EXPECT_TRUE(IsInsideFolder("/home/u/shared/./a.txt", "/home/u/shared"));
  EXPECT_TRUE(IsInsideFolder("/a", "/"));
  EXPECT_FALSE(IsInsideFolder("/home/u/shared", "/home/u/shared"));
  EXPECT_FALSE(IsInsideFolder("/home/u/sharedother/a.txt", "/home/u/shared"));
  EXPECT_FALSE(IsInsideFolder("/home/u/shared/../a.txt", "/home/u/shared"));
  EXPECT_FALSE(IsInsideFolder("/home/u/shared/sub/../../a.txt", "/home/u/shared"));
  EXPECT_FALSE(IsInsideFolder("/home/u/shar", "/home/u/shared"));
  EXPECT_FALSE(IsInsideFolder("home/u/shared/a.txt", "/home/u/shared"));
  EXPECT_FALSE(IsInsideFolder("/home/u/a.txt", ""));
}

}  // namespace
}  // namespace P2P::Shared::File
