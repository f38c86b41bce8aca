// SPDX-License-Identifier: GPL-3.0-or-later
// The SQLite-backed store under several processes, killed writers, damaged files and folders the
// user may not enter.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "platform/WinAPIError.h"
#include "prefs/Registry.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

using namespace Registry;
namespace fs = std::filesystem;
constexpr regapi::Root kRoot = regapi::kCurrentUser;
const std::string kKey = "Software\\Pelorin";

class StoreTest : public ::testing::Test {
 protected:
  static TypedValue Value(int i, std::size_t size) { return std::vector(size, std::uint8_t(i)); }
  static bool Write(const std::string& name, const TypedValue& value) {
    std::uint32_t type = kRegBinary;
    return SetValue(kRoot, kKey, name, type, value);
  }
  static bool Holds(const std::string& name, const TypedValue& expected) {
    TypedValue value;
    return GetValue(kRoot, kKey, name, kRegBinary, value) && value == expected;
  }

  // A forked child and the read end of its report pipe: body gets the write end and returns the
  // exit code.
  static std::pair<pid_t, int> Spawn(const std::function<int(int)>& body) {
    int fds[2] = {-1, -1};
    const pid_t pid = ::pipe(fds) == 0 ? ::fork() : -1;
    if (pid == 0)
      ::_exit(body(fds[1]));
    ::close(fds[1]);
    return {pid, fds[0]};
  }
  // The child's exit code, -1 when it did not end by itself.
  static int Finish(const std::pair<pid_t, int>& child) {
    int status = 0;
    ::waitpid(child.first, &status, 0);
    ::close(child.second);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Writes prefix0, prefix1, ... (count of them, endlessly when negative), reporting each index
  // once written; exits 1 at the first failed write.
  static auto Writer(const std::string& prefix, int count, std::size_t size) {
    return Spawn([=](int report) {
      int i = 0;
      for (; i != count && Write(prefix + std::to_string(i), Value(i, size)); ++i)
        (void)!::write(report, &i, sizeof i);
      return i == count ? 0 : 1;
    });
  }

  StoreTest() { ::umask(022); }  // loose, so that the modes must be the store's own doing
  void SetUp() override { ASSERT_TRUE(CreateKey(kRoot, kKey)); }
  std::string Folder() const { return dir_.path() + "/pelorin"; }
  test::TempDir dir_;
  test::ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_.path().c_str()};
};

TEST_F(StoreTest, TwoWritersAtOnceLoseNothingAndTheStoreIsTheUsersOnly) {
  const auto a = Writer("A", 1000, 4), b = Writer("B", 1000, 4);
  EXPECT_EQ(Finish(a) | Finish(b), 0) << "a write failed";
  for (int i = 0; i < 2000; ++i)
    ASSERT_TRUE(Holds((i < 1000 ? "A" : "B") + std::to_string(i % 1000), Value(i % 1000, 4)));
  EXPECT_EQ(fs::status(Folder()).permissions(), fs::perms::owner_all);
  for (const auto& entry : fs::directory_iterator(Folder()))
    EXPECT_EQ(entry.status().permissions(), fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(StoreTest, WriterKilledMidStreamLeavesEveryCommittedValue) {
  for (const std::string prefix : {"A", "B", "C"}) {  // large values: killed mid-transaction
    const auto writer = Writer(prefix, -1, 16384);
    int last = -1;
    while (::read(writer.second, &last, sizeof last) > 0)
      if (last >= 99)
        ::kill(writer.first, SIGKILL);
    ASSERT_TRUE(Finish(writer) == -1 && last >= 99) << "the writer stopped before it was killed";
    for (int i = 0; i <= last; ++i)
      EXPECT_TRUE(Holds(prefix + std::to_string(i), Value(i, 16384))) << prefix << i;
  }
}

TEST_F(StoreTest, DamagedFileFailsWithAReason) {
  fs::remove(Folder() + "/registry.db-wal");  // the log alone would still hold the tables
  std::ofstream(Folder() + "/registry.db", std::ios::trunc) << std::string(8192, 'Z');
  EXPECT_FALSE(CreateKey(kRoot, kKey) || Holds("X", Value(1, 4)));
  EXPECT_NE(LastRegistryError(), "");
  EXPECT_NE(LastRegistryError(), ApiErrorText(regapi::kFileNotFound));
}

// Folder modes bind everyone but root: under root the checks run in a child that has become a
// plain user owning the tree (one still root reads through). Its exit code: 2 read through the
// closed folder, 4 another reason, 8 a store made in the read-only folder, 16 another reason.
TEST_F(StoreTest, FoldersTheUserMayNotEnterOrWriteAreAccessDenied) {
  const std::string readOnly = dir_.path() + "/ro";
  fs::create_directory(readOnly);
  for (const auto& entry : fs::recursive_directory_iterator(dir_.path()))
    ASSERT_TRUE(::geteuid() != 0 || ::lchown(entry.path().c_str(), 65534, 65534) == 0);
  ASSERT_EQ(::chmod(Folder().c_str(), 0) + ::chmod(readOnly.c_str(), 0500), 0);
  EXPECT_EQ(0, Finish(Spawn([&](int) {
              (void)(::setgid(65534) == 0 && ::setuid(65534) == 0);  // as root, else as oneself
              int faults = KeyExists(kRoot, kKey) ? 2 : 0;
              faults |= LastRegistryError() == ApiErrorText(regapi::kAccessDenied) ? 0 : 4;
              ::setenv("XDG_CONFIG_HOME", readOnly.c_str(), 1);
              faults |= CreateKey(kRoot, kKey) ? 8 : 0;
              return faults | (LastRegistryError() == ApiErrorText(regapi::kAccessDenied) ? 0 : 16);
            })));
}

}  // namespace
}  // namespace pelorin
