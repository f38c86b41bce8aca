// SPDX-License-Identifier: GPL-3.0-or-later
// The store when the disk fills up or its folder turns read-only: the write that cannot be made
// fails with a reason, nothing crashes, and every value written before it is still there.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/WinAPIError.h"
#include "prefs/Registry.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

namespace R = Registry;
constexpr regapi::Root kRoot = regapi::kCurrentUser;
const std::string kKey = "Software\\Pelorin";
constexpr int kEarlier = 20;

class StoreLimits : public ::testing::Test {
 protected:
  StoreLimits() {
    EXPECT_TRUE(R::CreateKey(kRoot, kKey)) << R::LastRegistryError();
    for (int i = 0; i < kEarlier; ++i)
      EXPECT_TRUE(Write(i)) << R::LastRegistryError();
  }

  // Value i: 16 KB and a little more, of a length and a byte of its own.
  static std::string Name(int i) { return "V" + std::to_string(i); }
  static TypedValue Pattern(int i) { return std::vector<std::uint8_t>(16384 + i, 0x80 | i); }
  bool Write(int i) { return R::SetValue(kRoot, kKey, Name(i), type_, Pattern(i)); }
  bool Intact(int i) { return R::GetValue(kRoot, kKey, Name(i), type_, v_) && v_ == Pattern(i); }
  std::string Folder() const { return dir_.path() + "/pelorin"; }

  test::TempDir dir_;
  test::ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_.path().c_str()};
  std::uint32_t type_ = R::kRegBinary;
  TypedValue v_;
};

TEST_F(StoreLimits, FullDiskRefusesTheWriteWithAReasonAndKeepsEveryEarlierValue) {
  // A file size limit of 4 MB stands in for a full disk: past it, writes fail with EFBIG
  // (SIGXFSZ ignored, as a program that must not die of it would have it). The room left lets
  // the log pass a fold into the file first.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const rlimit full{4 << 20, saved.rlim_max};
  ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
  int n = kEarlier;
  while (n < 1000 && Write(n))
    ++n;
  const std::string reason = R::LastRegistryError();
  EXPECT_TRUE(Intact(0)) << "the store still answers in the process that met the full disk";
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);

  EXPECT_TRUE(reason == ApiErrorText(EFBIG) || reason == ApiErrorText(ENOSPC)) << reason;
  EXPECT_TRUE(n > kEarlier && n < 1000) << n << " values fit below the limit";
  EXPECT_FALSE(R::ValueExists(kRoot, kKey, Name(n))) << "the refused write left a value";
  EXPECT_TRUE(Write(n)) << "with room again: " << R::LastRegistryError();
  for (int i = 0; i <= n; ++i)
    EXPECT_TRUE(Intact(i)) << Name(i) << ": " << R::LastRegistryError();
}

TEST_F(StoreLimits, ExistingStoreInAFolderTurnedReadOnlySaysWhyAndKeepsEveryValue) {
  // Without its log files, in a folder it may not write to, the store cannot open its log. The
  // last connection to close folds the log into the file and removes it, losing nothing.
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open((Folder() + "/registry.db").c_str(), &db), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(db, "PRAGMA wal_checkpoint", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(db);
  // Root is bound by no mode: it acts as another user, whose tree this becomes.
  const bool root = ::geteuid() == 0;
  ASSERT_TRUE(!root || (std::system(("chown -R 65534:65534 '" + dir_.path() + "'").c_str()) == 0 &&
                        ::seteuid(65534) == 0));
  ASSERT_EQ(::chmod(Folder().c_str(), 0500), 0);
  EXPECT_EQ(Intact(3) ? "read" : R::LastRegistryError(), ApiErrorText(regapi::kAccessDenied));
  EXPECT_EQ(Write(99) ? "written" : R::LastRegistryError(), ApiErrorText(regapi::kAccessDenied));
  ASSERT_TRUE(::chmod(Folder().c_str(), 0700) == 0 && (!root || ::seteuid(0) == 0));
  for (int i = 0; i < kEarlier; ++i)
    EXPECT_TRUE(Intact(i)) << Name(i) << ": " << R::LastRegistryError();
}

}  // namespace
}  // namespace pelorin
