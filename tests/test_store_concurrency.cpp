// SPDX-License-Identifier: GPL-3.0-or-later
// The SQLite-backed store under several processes: writers at once, killed writers, folders the
// user may not enter, another program holding the store while a window starts and closes, two
// windows closing at once and a window killed while it closes.
#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QScreen>
#include <QWidget>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <thread>

#include "platform/WinAPIError.h"
#include "prefs/PreferenceStore.h"
#include "prefs/Registry.h"
#include "prefs/WindowPlacement.h"
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
    const char held = sqlite3_open((Folder() + "/registry.db").c_str(), &db) == SQLITE_OK &&
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
  using Clock = std::chrono::steady_clock;
  const auto seconds = [](Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
  };
  QWidget next;
  next.setGeometry(10, 20, 500, 400);
  const Clock::time_point started = Clock::now();
  const Preferences prefs = store.GetPrefsFromReg(next);
  const double start = seconds(started);
  const Clock::time_point closed = Clock::now();
  store.SaveWindowPlacement(next);
  const double close = seconds(closed);
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
    std::vector<Registry::NamedValue> values;
    for (const char* name : {"WindowTop", "WindowLeft", "WindowWidth", "WindowHeight"})
      values.push_back({name, Registry::kRegDword});
    EXPECT_TRUE(Registry::GetValues(kRoot, kKey, values)) << LastRegistryError();
    const int base[] = {100, 100, 400, 300};
    const double x = window.screen()->logicalDotsPerInchX();
    const double y = window.screen()->logicalDotsPerInchY();
    const double dpi[] = {y, x, x, y};
    int k = TwipsToPixels(std::get<std::int32_t>(values[0].value), dpi[0]) - base[0];
    for (int i = 1; i < 4; ++i)
      if (TwipsToPixels(std::get<std::int32_t>(values[i].value), dpi[i]) - base[i] != k)
        k = -1;
    return k;
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
