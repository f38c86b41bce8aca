// SPDX-License-Identifier: GPL-3.0-or-later
// The store when the disk fills up or its folder turns read-only: the write that cannot be made
// fails with a reason, nothing crashes, and every value written before it is still there. And
// the store among hostile files: links, other users' files, loose modes, files that are no store.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <set>
#include <sstream>

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
  // A start on the full disk, with no room to add a byte to any file: reading must need none.
  const rlimit none{0, saved.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &none), 0);
  int readable = 0;
  for (int i = 0; i < n; ++i)
    readable += Intact(i);
  const std::string readReason = R::LastRegistryError();
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &saved), 0);
  EXPECT_EQ(readable, n) << readReason;

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
  ASSERT_EQ(::chmod(Folder().c_str(), 0700), 0);
  for (int i = 0; i < kEarlier; ++i)  // still as the tree's owner: the store is no one else's
    EXPECT_TRUE(Intact(i)) << Name(i) << ": " << R::LastRegistryError();
  ASSERT_TRUE(!root || ::seteuid(0) == 0);
}

namespace fs = std::filesystem;

class HostileStore : public ::testing::Test {
 protected:
  std::string Folder() const { return dir_.path() + "/pelorin"; }
  std::string File() const { return Folder() + "/registry.db"; }
  // Empties the configuration folder for the next case, but for the store's own folder, private.
  void Reset() {
    for (const auto& entry : fs::directory_iterator(dir_.path()))
      fs::remove_all(entry.path());
    fs::create_directory(Folder());
    fs::permissions(Folder(), fs::perms::owner_all);
  }
  HostileStore() { ::umask(077); }  // the files a case makes are as private as the store's own
  // Everything under the folder, links not followed: each entry's path, mode, owner and size,
  // a link's target and a file's bytes (by their hash).
  static std::string Snapshot(const std::string& folder) {
    std::set<std::string> lines;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      struct stat st {};
      ::lstat(entry.path().c_str(), &st);
      std::ostringstream line;
      line << entry.path().string() << ' ' << st.st_mode << ' ' << st.st_uid << ' ' << st.st_size;
      if (S_ISLNK(st.st_mode))
        line << " -> " << fs::read_symlink(entry.path()).string();
      if (S_ISREG(st.st_mode)) {
        std::ostringstream bytes;
        bytes << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        line << ' ' << std::hash<std::string>()(bytes.str());
      }
      lines.insert(line.str());
    }
    std::string all;
    for (const std::string& line : lines)
      all += line + '\n';
    return all;
  }
  // Another program's database: one table of its own, one row, its own journal mode.
  static void ForeignDatabase(const std::string& path, const char* tables) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, tables, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }
  // Every operation fails with the reason; the one that reads as at a start, too.
  static void AllRefused(const std::string& reason, const char* what) {
    std::uint32_t type = R::kRegDword;
    TypedValue value;
    for (bool done : {R::CreateKey(kRoot, kKey), R::SetValue(kRoot, kKey, "V", type, 1),
                      R::KeyExists(kRoot, kKey), R::GetValue(kRoot, kKey, "V", type, value)}) {
      EXPECT_FALSE(done) << what;
      EXPECT_EQ(R::LastRegistryError(), reason) << what;
    }
  }

  test::TempDir dir_;
  test::ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_.path().c_str()};
};

TEST_F(HostileStore, LinksAndOtherUsersFilesAreRefusedWithTheReasonAndLeftAsTheyAre) {
  const bool root = ::geteuid() == 0;  // only root can give a file to another user
  const std::string theirs = dir_.path() + "/theirs";
  const auto give = [](const std::string& path) {
    ASSERT_EQ(::lchown(path.c_str(), 65534, 65534), 0);
  };
  const auto link = [](const std::string& to) {
    return " is a symbolic link to " + to + "; the store opens no links.";
  };
  const std::string owner = " belongs to another user; the store opens only its user's own files.";
  const std::tuple<const char*, bool, std::function<std::string()>> cases[] = {
      {"a link to another program's database", false,
       [&] {
         fs::create_directory(theirs);
         ForeignDatabase(theirs + "/app.db", "CREATE TABLE t(x); INSERT INTO t VALUES(1);");
         fs::create_symlink(theirs + "/app.db", File());
         return File() + link(theirs + "/app.db");
       }},
      {"a link to another user's empty file", true,
       [&] {
         std::ofstream(theirs).close();
         give(theirs);
         fs::create_symlink(theirs, File());
         return File() + link(theirs);
       }},
      {"a folder that is a link into another user's folder", false,
       [&] {
         fs::remove(Folder());
         fs::create_directory(theirs);
         if (root)
           give(theirs);
         fs::create_directory_symlink(theirs, Folder());
         return Folder() + link(theirs);
       }},
      {"another user's folder", true,
       [&] {
         give(Folder());
         return Folder() + owner;
       }},
      {"another user's file", true, [&] {
         std::ofstream(File()).close();
         give(File());
         return File() + owner;
       }}};
  for (const auto& [what, needsRoot, make] : cases) {
    if (needsRoot && !root)
      continue;
    Reset();
    const std::string reason = make();
    const std::string before = Snapshot(dir_.path());
    AllRefused(reason, what);
    EXPECT_EQ(Snapshot(dir_.path()), before) << what << ": something was touched";
    EXPECT_EQ(R::TakeStoreNotice(),
              "Pelorin does not use its settings store, so settings are not kept: " + reason);
    EXPECT_EQ(R::TakeStoreNotice(), "") << what << ": told once";
  }
  if (!root)
    GTEST_SKIP() << "the cases with another user's files need root";
}

// The user's own store, left loose by hand or by an older program, is made private; what no
// one can make private (an immutable file, even for root) is refused.
TEST_F(HostileStore, LooseModesAreTightenedAndWhatCannotBeMadePrivateIsRefused) {
  ::umask(022);
  std::uint32_t type = R::kRegDword;
  TypedValue value;
  ASSERT_TRUE(R::CreateKey(kRoot, kKey) && R::SetValue(kRoot, kKey, "V", type, 7));
  ASSERT_EQ(::chmod(Folder().c_str(), 0777), 0);
  for (const char* suffix : {"", "-wal", "-shm"})
    ASSERT_EQ(::chmod((File() + suffix).c_str(), 0644), 0) << suffix;
  EXPECT_TRUE(R::GetValue(kRoot, kKey, "V", type, value)) << R::LastRegistryError();
  EXPECT_EQ(fs::status(Folder()).permissions(), fs::perms::owner_all);
  for (const char* suffix : {"", "-wal", "-shm"})
    EXPECT_EQ(fs::status(File() + suffix).permissions(),
              fs::perms::owner_read | fs::perms::owner_write)
        << suffix;
  EXPECT_EQ(R::TakeStoreNotice(), "") << "silently";

  // Immutable: no one may change its mode, root included, until the flag is taken off again.
  ASSERT_EQ(::chmod(File().c_str(), 0644), 0);
  struct Immutable {
    explicit Immutable(const std::string& path) : fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
      set = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 && Set(flags | FS_IMMUTABLE_FL);
    }
    ~Immutable() {
      if (set)
        Set(flags);
      ::close(fd);
    }
    bool Set(int value) const { return ::ioctl(fd, FS_IOC_SETFLAGS, &value) == 0; }
    int fd, flags = 0;
    bool set = false;
  } immutable(File());
  if (!immutable.set)
    GTEST_SKIP() << "this file system or user cannot make a file immutable";
  AllRefused(File() + " cannot be made private to its user: " + std::strerror(EPERM) + ".",
             "an immutable file");
  EXPECT_EQ(fs::status(File()).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                fs::perms::others_read);
}

// Random bytes, a folder in the file's place, another program's tables: the start that finds
// it moves it aside (with its companions), says once where, and the store starts afresh.
TEST_F(HostileStore, AFileThatIsNoStoreIsMovedAsideWholeOnceAndAFreshStoreStarts) {
  const auto random = [](const std::string& path, std::size_t size) {
    std::mt19937 bytes(static_cast<unsigned>(size));
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i)
      out.put(static_cast<char>(bytes()));
  };
  const std::pair<const char*, std::function<void()>> cases[] = {
      {"random bytes",
       [&] {
         random(File(), 8192);
         random(File() + "-wal", 3000);
       }},
      {"a folder",
       [&] { fs::create_directory(File()), std::ofstream(File() + "/note") << "mine"; }},
      {"another program's tables", [&] {
         ForeignDatabase(File(),
                         "CREATE TABLE keys(a); CREATE TABLE other(b); INSERT INTO other "
                         "VALUES('kept');");
       }}};
  for (const auto& [what, make] : cases) {
    Reset();
    make();
    const std::string before = Snapshot(Folder());
    TypedValue value;
    EXPECT_FALSE(R::GetValue(kRoot, kKey, "V", R::kRegDword, value)) << what;
    EXPECT_EQ(R::LastRegistryError(), ApiErrorText(regapi::kFileNotFound)) << what;
    const std::string notice = R::TakeStoreNotice();
    const std::string head =
        "The settings file " + File() + " could not be used. It has been kept as ";
    const std::string tail = ", and Pelorin starts a fresh one.";
    ASSERT_TRUE(notice.starts_with(head + File() + ".damaged-") && notice.ends_with(tail))
        << what << ": " << notice;
    const std::string moved = notice.substr(head.size(), notice.size() - head.size() - tail.size());
    std::string after = Snapshot(Folder());
    for (std::size_t at; (at = after.find(moved)) != std::string::npos;)
      after.replace(at, moved.size(), File());
    EXPECT_EQ(after, before) << what << ": not moved whole and unchanged";
    EXPECT_EQ(R::TakeStoreNotice(), "") << what << ": told once";
    std::uint32_t type = R::kRegDword;
    EXPECT_TRUE(R::CreateKey(kRoot, kKey) && R::SetValue(kRoot, kKey, "V", type, 5) &&
                R::GetValue(kRoot, kKey, "V", type, value) && value == TypedValue(5))
        << what << ": " << R::LastRegistryError();
    EXPECT_EQ(R::TakeStoreNotice(), "") << what;
  }
}

}  // namespace
}  // namespace pelorin
