// SPDX-License-Identifier: GPL-3.0-or-later
// The store when the disk fills up or its folders turn read-only: the write that cannot be made
// fails with a reason, nothing crashes, and every value written before it is still there. The
// store among hostile files: links, other users' files, loose modes, files that are no store.
// And the store under several processes: writers at once, killed writers, another program
// holding the store while a window starts and closes, two windows closing at once and a window
// killed while it closes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QScreen>
#include <QWidget>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "platform/WinAPIError.h"
#include "prefs/PreferenceStore.h"
#include "prefs/Registry.h"
#include "prefs/WindowPlacement.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

namespace R = Registry;
namespace fs = std::filesystem;
constexpr regapi::Root kRoot = regapi::kCurrentUser;
const std::string kKey = "Software\\Pelorin";
constexpr int kEarlier = 20;

// A store of its own, under a scratch configuration folder.
class Store : public ::testing::Test {
 protected:
  static TypedValue Value(int i, std::size_t size) { return std::vector(size, std::uint8_t(i)); }
  static bool Write(const std::string& name, const TypedValue& value) {
    std::uint32_t type = R::kRegBinary;
    return R::SetValue(kRoot, kKey, name, type, value);
  }
  static bool Holds(const std::string& name, const TypedValue& expected) {
    TypedValue value;
    return R::GetValue(kRoot, kKey, name, R::kRegBinary, value) && value == expected;
  }
  std::string Folder() const { return dir_.path() + "/pelorin"; }
  std::string File() const { return Folder() + "/registry.db"; }
  // Runs statements on a database as another program would.
  static void Sql(const std::string& path, const char* statements) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, statements, nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
  }

  test::TempDir dir_;
  test::ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_.path().c_str()};
};

class StoreLimits : public Store {
 protected:
  StoreLimits() {
    EXPECT_TRUE(R::CreateKey(kRoot, kKey)) << R::LastRegistryError();
    for (int i = 0; i < kEarlier; ++i)
      EXPECT_TRUE(Write(i)) << R::LastRegistryError();
  }

  // Value i: 16 KB and a little more, of a length and a byte of its own.
  static std::string Name(int i) { return "V" + std::to_string(i); }
  static bool Write(int i) { return Store::Write(Name(i), Value(0x80 | i, 16384 + i)); }
  static bool Intact(int i) { return Holds(Name(i), Value(0x80 | i, 16384 + i)); }
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

// Folder modes bind everyone but root: as root, the checks run as a plain user whose tree
// this becomes.
TEST_F(StoreLimits, FoldersTheUserMayNotEnterOrWriteAreAccessDeniedAndKeepEveryValue) {
  // Without its log files, in a folder it may not write to, the store cannot open its log. The
  // last connection to close folds the log into the file and removes it, losing nothing.
  Sql(File(), "PRAGMA wal_checkpoint");
  const std::string readOnly = dir_.path() + "/ro";
  fs::create_directory(readOnly);
  const bool root = ::geteuid() == 0;
  ASSERT_TRUE(!root || (std::system(("chown -R 65534:65534 '" + dir_.path() + "'").c_str()) == 0 &&
                        ::seteuid(65534) == 0));
  const std::string denied = ApiErrorText(regapi::kAccessDenied);
  ASSERT_EQ(::chmod(Folder().c_str(), 0500) + ::chmod(readOnly.c_str(), 0500), 0);
  EXPECT_EQ(Intact(3) ? "read" : R::LastRegistryError(), denied);
  EXPECT_EQ(Write(99) ? "written" : R::LastRegistryError(), denied);
  ASSERT_EQ(::chmod(Folder().c_str(), 0), 0);
  EXPECT_EQ(R::KeyExists(kRoot, kKey) ? "entered" : R::LastRegistryError(), denied);
  {
    test::ScopedEnv xdg("XDG_CONFIG_HOME", readOnly.c_str());
    EXPECT_EQ(R::CreateKey(kRoot, kKey) ? "made" : R::LastRegistryError(), denied);
  }
  ASSERT_EQ(::chmod(Folder().c_str(), 0700), 0);
  for (int i = 0; i < kEarlier; ++i)  // still as the tree's owner: the store is no one else's
    EXPECT_TRUE(Intact(i)) << Name(i) << ": " << R::LastRegistryError();
  ASSERT_TRUE(!root || ::seteuid(0) == 0);
}

class HostileStore : public Store {
 protected:
  // Empties the configuration folder for the next case, but for the store's own folder, private.
  void Reset() {
    for (const auto& entry : fs::directory_iterator(dir_.path()))
      fs::remove_all(entry.path());
    fs::create_directory(Folder());
    fs::permissions(Folder(), fs::perms::owner_all);
  }
  // The files a case makes are as private as the store's own; no notice of an earlier test waits.
  HostileStore() { ::umask(077), R::TakeStoreNotice(); }
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
         Sql(theirs + "/app.db", "CREATE TABLE t(x); INSERT INTO t VALUES(1);");
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
  ASSERT_TRUE(R::CreateKey(kRoot, kKey) && Write("V", Value(7, 4)));
  ASSERT_EQ(::chmod(Folder().c_str(), 0777), 0);
  for (const char* suffix : {"", "-wal", "-shm"})  // a file loses its execute bit too
    ASSERT_EQ(::chmod((File() + suffix).c_str(), *suffix == 0 ? 0644 : 0775), 0) << suffix;
  EXPECT_TRUE(Holds("V", Value(7, 4))) << R::LastRegistryError();
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
         Sql(File(),
             "CREATE TABLE keys(a); CREATE TABLE other(b); INSERT INTO other "
             "VALUES('kept');");
       }}};
  for (const auto& [what, make] : cases) {
    Reset();
    make();
    const std::string before = Snapshot(Folder());
    TypedValue value;
    EXPECT_FALSE(R::GetValue(kRoot, kKey, "V", R::kRegBinary, value)) << what;
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
    EXPECT_TRUE(R::CreateKey(kRoot, kKey) && Write("V", Value(5, 4)) && Holds("V", Value(5, 4)))
        << what << ": " << R::LastRegistryError();
    EXPECT_EQ(R::TakeStoreNotice(), "") << what;
  }
}

// The store is recognised by its tables and their columns: a later version's store, with an
// index and a table more and a schema version of its own, is used as it is, and so is one made
// before the schema version was kept. A fresh store carries the schema version.
TEST_F(HostileStore, AStoreOfAnotherVersionIsUsedAsItIs) {
  const auto version = [this] {
    sqlite3* db = nullptr;
    sqlite3_stmt* stmt = nullptr;
    int v = -1;
    if (sqlite3_open_v2(File().c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
      v = sqlite3_column_int(stmt, 0);
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return v;
  };
  for (const char* later : {"CREATE INDEX vals_by_type ON vals(type);"
                            " CREATE TABLE later(x); PRAGMA user_version=99;",
                            "PRAGMA user_version=0;"}) {
    Reset();
    ASSERT_TRUE(R::CreateKey(kRoot, kKey) && Write("V", Value(7, 4)));
    EXPECT_EQ(version(), 1) << "a fresh store";
    Sql(File(), later);
    EXPECT_TRUE(Holds("V", Value(7, 4))) << later << ": " << R::LastRegistryError();
    EXPECT_TRUE(Write("W", Value(8, 4)) && Holds("W", Value(8, 4)))
        << later << ": " << R::LastRegistryError();
    EXPECT_EQ(R::TakeStoreNotice(), "") << later;
    for (const auto& entry : fs::directory_iterator(Folder()))
      EXPECT_EQ(entry.path().string().find("damaged"), std::string::npos) << later;
    EXPECT_EQ(version(), std::string(later).find("99") != std::string::npos ? 99 : 1)
        << "a later version's number stays; a store without one gets ours";
  }
}

class StoreTest : public Store {
 protected:
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
  void SetUp() override { ASSERT_TRUE(R::CreateKey(kRoot, kKey)); }
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

// Another program holding the store exclusively (an open "BEGIN EXCLUSIVE" in exclusive locking
// mode, so readers wait too) for as long as it lives: the start and the close each wait about
// half a second in all, the start with what it could read (nothing) and the close without
// saving; the stored values are the same afterwards.
TEST_F(StoreTest, AStoreAnotherProgramHoldsNeverHoldsUpTheStartOrTheClose) {
  PreferenceStore store;
  store.ShowCreateKeyFailure = [] {};
  QWidget window;
  window.setGeometry(70, 80, 410, 310);
  store.SaveWindowPlacement(window);
  store.SavePrefFont(QStringLiteral("Mono"), 14);
  const auto holder = Spawn([&](int report) {
    sqlite3* db = nullptr;
    const char held = sqlite3_open(File().c_str(), &db) == SQLITE_OK &&
                      sqlite3_exec(db,
                                   "PRAGMA locking_mode=EXCLUSIVE; BEGIN EXCLUSIVE;"
                                   " SELECT count(*) FROM vals;",
                                   nullptr, nullptr, nullptr) == SQLITE_OK;
    (void)!::write(report, &held, 1);
    ::pause();  // until killed
    return 0;
  });
  char held = 0;
  ASSERT_TRUE(::read(holder.second, &held, 1) == 1 && held) << "the store could not be held";
  QWidget next;
  next.setGeometry(10, 20, 500, 400);
  QElapsedTimer clock;
  clock.start();
  const Preferences prefs = store.GetPrefsFromReg(next);
  const double start = clock.restart() / 1e3;
  store.SaveWindowPlacement(next);
  const double close = clock.elapsed() / 1e3;
  ::kill(holder.first, SIGKILL);
  Finish(holder);
  std::cout << "store held by another program: start " << start << " s, close " << close << " s\n";
  const double limit = 0.5 + 0.3 * PELORIN_TIMING_SLACK;
  EXPECT_LT(start, limit);
  EXPECT_LT(close, limit);
  EXPECT_EQ(std::pair(prefs.PrefFontSize, next.geometry()),
            std::pair(qint16{12}, QRect(10, 20, 500, 400)))
      << "nothing could be read while the store was held";
  QWidget later;
  EXPECT_EQ(store.GetPrefsFromReg(later).PrefFontSize, 14);
  EXPECT_EQ(later.frameGeometry(), QRect(70, 80, 410, 310)) << "the held close saved nothing";
}

// Window k's placement has every value k pixels from a base, so a mix shows as unequal offsets.
// Two windows (processes) close at the same moment, round after round; windows are killed part
// way through their close. Each time the store holds one whole placement.
TEST_F(StoreTest, ThePlacementIsSavedWholeByTwoWindowsClosingAtOnceAndByAKilledClose) {
  PreferenceStore store;
  QWidget window;
  const auto place = [&](int k) { window.setGeometry(100 + k, 100 + k, 400 + k, 300 + k); };
  // The window whose whole placement is stored, -1 for a mix.
  const auto stored = [&] {
    std::vector<R::NamedValue> v{{"WindowTop", R::kRegDword},
                                 {"WindowLeft", R::kRegDword},
                                 {"WindowWidth", R::kRegDword},
                                 {"WindowHeight", R::kRegDword}};
    EXPECT_TRUE(R::GetValues(kRoot, kKey, v)) << R::LastRegistryError();
    const double x = window.screen()->logicalDotsPerInchX();
    const double y = window.screen()->logicalDotsPerInchY();
    const auto px = [&](int i, double dpi) {
      return TwipsToPixels(std::get<std::int32_t>(v[i].value), dpi);
    };
    const int k = px(0, y) - 100;
    return px(1, x) - 100 == k && px(2, x) - 400 == k && px(3, y) - 300 == k ? k : -1;
  };
  place(0);
  store.SaveWindowPlacement(window);
  ASSERT_EQ(stored(), 0);

  constexpr int kRounds = 20;
  int whole = 0;
  for (int round = 1; round <= kRounds; ++round) {
    int gate[2] = {-1, -1};
    ASSERT_EQ(::pipe(gate), 0);
    const auto closing = [&](int k) {
      return Spawn([&, k](int) {
        ::close(gate[1]);
        place(k);
        char go = 0;
        (void)!::read(gate[0], &go, 1);  // both go when the gate closes
        store.SaveWindowPlacement(window);
        return 0;
      });
    };
    const auto a = closing(2 * round), b = closing(2 * round + 1);
    ::close(gate[1]);
    ::close(gate[0]);
    EXPECT_EQ(Finish(a) | Finish(b), 0);
    const int k = stored();
    whole += k == 2 * round || k == 2 * round + 1;
  }
  constexpr int kKills = 20;
  int wholeAfterKill = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    const auto closing = Spawn([&](int report) {
      for (int k = 1000 * (kill + 1);; ++k) {
        place(k);
        store.SaveWindowPlacement(window);
        (void)!::write(report, &k, sizeof k);
      }
      return 0;
    });
    int saved = 0;
    ASSERT_EQ(::read(closing.second, &saved, sizeof saved), sizeof saved);
    // Kills spread over the length of a close.
    std::this_thread::sleep_for(std::chrono::microseconds(250 * kill));
    ::kill(closing.first, SIGKILL);
    Finish(closing);
    wholeAfterKill += stored() >= 1000 * (kill + 1);
  }
  std::cout << "two windows closing at once: " << whole << " of " << kRounds
            << " rounds stored one whole placement; killed while closing: " << wholeAfterKill
            << " of " << kKills << " whole\n";
  EXPECT_EQ(whole, kRounds);
  EXPECT_EQ(wholeAfterKill, kKills);
}

}  // namespace
}  // namespace pelorin
