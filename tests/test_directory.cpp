// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Directory.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

TEST(DriveQualified, NeedsLetterColonBackslashAndThreeCharacters) {
  EXPECT_TRUE(IsDriveQualified("C:\\"));
  EXPECT_TRUE(IsDriveQualified("d:\\nope"));
  EXPECT_FALSE(IsDriveQualified("D:"));
  EXPECT_FALSE(IsDriveQualified("D:/Data"));
  EXPECT_FALSE(IsDriveQualified(""));
  EXPECT_FALSE(IsDriveQualified("\\\\server"));
}

TEST(TrySetCurrentDir, ChangesToAnExistingFolderAndRefusesOthers) {
  test::ScopedCwd restore;
  test::TempDir dir;
  const std::string real = std::filesystem::canonical(dir.path()).string();
  ASSERT_TRUE(TrySetCurrentDir(real));
  EXPECT_EQ(CurrentDirectory(), real);

  EXPECT_FALSE(TrySetCurrentDir((std::filesystem::path(real) / "missing").string()));
  EXPECT_FALSE(TrySetCurrentDir(""));
  EXPECT_FALSE(TrySetCurrentDir("\"" + real + "\""));  // quotes are part of the name
  EXPECT_EQ(CurrentDirectory(), real) << "a failed change leaves the directory alone";

  const std::string sub = (std::filesystem::path(real) / "sub dir").string();
  std::filesystem::create_directory(sub);
  ASSERT_TRUE(TrySetCurrentDir("sub dir"));
  EXPECT_EQ(CurrentDirectory(), sub);
  ASSERT_TRUE(TrySetCurrentDir(".."));
  EXPECT_EQ(CurrentDirectory(), real);
}

}  // namespace
}  // namespace pelorin
