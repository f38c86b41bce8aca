// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <filesystem>

#include <fstream>

#include "console/CdCommand.h"
#include "platform/Directory.h"
#include "platform/WinAPIError.h"
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

TEST(SetCurrentDir, SaysWhyAChangeFailed) {
  test::ScopedCwd restore;
  test::TempDir dir;
  const std::string real = std::filesystem::canonical(dir.path()).string();
  ASSERT_EQ(SetCurrentDir(real), 0u);
  std::ofstream("file") << "x";

  // Not there: the old words exactly.
  for (const char* missing : {"missing", "missing/deeper", ""}) {
    const SysError code = SetCurrentDir(missing);
    EXPECT_NE(code, 0u) << missing;
    EXPECT_TRUE(IsMissingPath(code)) << missing;
    EXPECT_EQ(CdFailureText(code), ": Path not found") << missing;
  }
  // There but not a folder: the system's reason, on the same line.
  const SysError code = SetCurrentDir("file");
  ASSERT_NE(code, 0u);
  EXPECT_FALSE(IsMissingPath(code));
  const std::string text = CdFailureText(code);
  EXPECT_NE(text, ": Path not found");
  EXPECT_EQ(text.find_first_of("\r\n"), std::string::npos) << text;
  EXPECT_EQ(ApiErrorText(code).rfind(text.substr(2), 0), 0u) << text;
  EXPECT_EQ(CurrentDirectory(), real) << "a failed change leaves the directory alone";
}

}  // namespace
}  // namespace pelorin
