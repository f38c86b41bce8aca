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

namespace fs = std::filesystem;

TEST(DriveQualified, NeedsLetterColonBackslashAndThreeCharacters) {
  EXPECT_TRUE(IsDriveQualified("C:\\"));
  EXPECT_FALSE(IsDriveQualified("D:"));
  EXPECT_FALSE(IsDriveQualified("D:/Data"));
  EXPECT_FALSE(IsDriveQualified("\\\\server"));
}

TEST(SetCurrentDir, ChangesToAnExistingFolderAndSaysWhyAChangeFailed) {
  test::ScopedCwd restore;
  test::TempDir dir;
  const std::string real = fs::canonical(dir.path()).string();
  ASSERT_TRUE(TrySetCurrentDir(real));
  EXPECT_EQ(CurrentDirectory(), real);
  const std::string sub = (fs::path(real) / "sub dir").string();
  fs::create_directory(sub);
  ASSERT_TRUE(TrySetCurrentDir("sub dir"));
  EXPECT_EQ(CurrentDirectory(), sub);
  ASSERT_TRUE(TrySetCurrentDir(".."));
  EXPECT_EQ(CurrentDirectory(), real);

  // Not there: the old words exactly.
  for (const char* missing : {"missing", "missing/deeper", ""}) {
    const SysError code = SetCurrentDir(missing);
    EXPECT_TRUE(code != 0 && IsMissingPath(code)) << missing;
    EXPECT_EQ(CdFailureText(code), ": Path not found") << missing;
  }
  EXPECT_FALSE(TrySetCurrentDir("\"" + real + "\""));  // quotes are part of the name
  // There but not a folder: the system's reason, on the same line.
  std::ofstream("file") << "x";
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
