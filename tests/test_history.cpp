// SPDX-License-Identifier: GPL-3.0-or-later
// The command history: Up and Down over what was run, and the per-user file that keeps it
// across restarts and between windows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "console/CommandHistory.h"
#include "prefs/HistoryFile.h"
#include "prefs/HistoryKeeper.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/LockHolder.h"
#endif

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

Strings Entries(const CommandHistory& history) {
  return Strings(history.Entries().begin(), history.Entries().end());
}

TEST(CommandHistory, KeepsTheLastThousandWithoutBlanksOrRepeats) {
  CommandHistory history({"ls", "ls", " \t", "make", "ls"});
  EXPECT_EQ(Entries(history), (Strings{"ls", "make", "ls"}));
  EXPECT_FALSE(history.Add("ls")) << "the same command twice in a row is kept once";
  EXPECT_FALSE(history.Add(""));
  EXPECT_FALSE(history.Add("   "));
  EXPECT_TRUE(history.Add("ls "));  // as typed: a different line
  EXPECT_TRUE(history.Add("make"));
  for (int i = 0; i < 1000; ++i) {
    history.Add("c" + std::to_string(i));
  }
  ASSERT_EQ(history.Entries().size(), CommandHistory::kCapacity);
  EXPECT_EQ(history.Entries().front(), "c0");
  EXPECT_EQ(history.Entries().back(), "c999");
}

TEST(CommandHistory, UpAndDownWalkTheEntriesAndComeBackToTheLineBeingTyped) {
  CommandHistory empty;
  EXPECT_EQ(empty.Older("typed"), std::nullopt);
  EXPECT_EQ(empty.Newer(), std::nullopt);

  CommandHistory history({"a", "b", "c"});
  EXPECT_EQ(history.Newer(), std::nullopt) << "already at the line being typed";
  EXPECT_EQ(history.Older(""), "c");
  EXPECT_EQ(history.Older("c, edited"), "b") << "only the line being typed is kept";
  EXPECT_EQ(history.Older("b"), "a");
  EXPECT_EQ(history.Older("a"), std::nullopt);
  EXPECT_EQ(history.Newer(), "b");
  EXPECT_EQ(history.Newer(), "c");
  EXPECT_EQ(history.Newer(), "");
  EXPECT_EQ(history.Newer(), std::nullopt);

  history.Older("");
  history.Older("");
  history.Add("b");  // run from the history: Up starts from the newest again
  EXPECT_EQ(history.Older(""), "b");
  EXPECT_EQ(history.Older(""), "c");
}

TEST(CommandHistory, TypedTextNarrowsUpAndDownAndTheSearch) {
  CommandHistory history({"make all", "ls", "make test", "MAKE x", "ls", "make test", "git log"});
  // Only the commands beginning with what was typed, and none twice in a row.
  EXPECT_EQ(history.Older("make"), "make test");
  EXPECT_EQ(history.Older("make test"), "make all");
  EXPECT_EQ(history.Older("make all"), std::nullopt);
  EXPECT_EQ(history.Newer(), "make test");
  EXPECT_EQ(history.Newer(), "make") << "back to what was typed";
  EXPECT_EQ(history.Older("zz"), std::nullopt);
  EXPECT_EQ(history.Newer(), std::nullopt);
  // Ctrl+R's list: holding the text anywhere, without regard to case, newest first, once each.
  EXPECT_EQ(history.Holding("ake"), (Strings{"make test", "MAKE x", "make all"}));
  EXPECT_EQ(history.Holding(""), (Strings{"git log", "make test", "ls", "MAKE x", "make all"}));
  EXPECT_EQ(history.Holding("nothing"), Strings{});
}

TEST(HistoryFile, EveryCommandIsOneRecordWhateverItHolds) {
  const Strings commands = {"plain",
                            "back\\slash",
                            "two\nlines",
                            "cr\r\nlf",
                            "\\n literally",
                            "tr\xC3\xA4ilig \\",
                            std::string("nul\0x", 5),
                            ""};
  std::string file;
  for (const std::string& command : commands) {
    const std::string record = HistoryFile::Encode(command);
    EXPECT_EQ(record.find('\n'), record.size() - 1) << command;
    file += record;
  }
  EXPECT_EQ(HistoryFile::Decode(file), commands);
  // Written by hand or cut short: unknown escapes stay, a last line without its end counts.
  EXPECT_EQ(HistoryFile::Decode("a\\tb\\\nlast"), (Strings{"a\\tb\\", "last"}));
}

TEST(CommandHistory, EarlierCommandsArrivingLateGoBeforeThisWindowsAndUpGoesOn) {
  CommandHistory history;
  history.Add("mine 1");
  history.Add("mine 2");
  EXPECT_EQ(history.Older(""), "mine 2") << "Up while the file is still being read";
  history.AddEarlier({"old 1", "old\nbroken", "old 2", "mine 1"});
  EXPECT_EQ(Entries(history), (Strings{"old 1", "old 2", "mine 1", "mine 2"}))
      << "no line break, the same command twice in a row once";
  EXPECT_EQ(history.Older(""), "mine 1");
  EXPECT_EQ(history.Older(""), "old 2");
  EXPECT_EQ(history.Older(""), "old 1");
  EXPECT_EQ(history.Older(""), std::nullopt);
  for (int i = 0; i < 3; ++i)
    history.Newer();
  EXPECT_EQ(history.Newer(), "");

  Strings many;
  for (int i = 0; i < 1000; ++i)
    many.push_back("old " + std::to_string(i));
  history.AddEarlier(many);
  ASSERT_EQ(history.Entries().size(), CommandHistory::kCapacity);
  EXPECT_EQ(history.Entries().front(), "old 4");
  EXPECT_EQ(history.Older("mi"), "mine 2") << "Up starts from the newest";
}

class HistoryFileTest : public ::testing::Test {
 protected:
  std::string Folder() const { return dir_.path() + "/pelorin"; }
  Strings Load(std::size_t keep = HistoryFile::kKeep) {
    Strings commands;
    EXPECT_EQ(HistoryFile(Folder(), keep, Noted()).Load(commands), 0u);
    return commands;
  }
  // What the history says in the log, from any thread.
  HistoryFile::Note Noted() {
    return [this](const std::string& line) {
      const std::lock_guard<std::mutex> hold(notesMutex_);
      notes_.push_back(line);
    };
  }
  std::size_t NotesHolding(const std::string& text) {
    const std::lock_guard<std::mutex> hold(notesMutex_);
    return static_cast<std::size_t>(std::count_if(
        notes_.begin(), notes_.end(),
        [&](const std::string& note) { return note.find(text) != std::string::npos; }));
  }
  std::size_t LinesOnDisk() const {
    std::ifstream in(Folder() + "/history");
    return static_cast<std::size_t>(
        std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
  }
  test::TempDir dir_;
  std::mutex notesMutex_;
  Strings notes_;
};

TEST_F(HistoryFileTest, SurvivesARestartAndIsCutBackNowAndThen) {
  EXPECT_EQ(Load(), Strings{}) << "no file yet: nothing, and no error";
  {
    HistoryFile file(Folder(), 10);
    for (int i = 0; i < 15; ++i) {
      ASSERT_EQ(file.Append("cmd " + std::to_string(i)), 0u);
    }
    EXPECT_EQ(LinesOnDisk(), 15u) << "not rewritten at every command";
    ASSERT_EQ(file.Append("cmd 15"), 0u);
    EXPECT_EQ(LinesOnDisk(), 10u);
  }
  const Strings loaded = Load(10);
  ASSERT_EQ(loaded.size(), 10u);
  EXPECT_EQ(loaded.front(), "cmd 6");
  EXPECT_EQ(loaded.back(), "cmd 15");
  EXPECT_EQ(Load(5), (Strings{"cmd 11", "cmd 12", "cmd 13", "cmd 14", "cmd 15"}));
  EXPECT_EQ(LinesOnDisk(), 5u) << "a start with far more than is kept cuts the file back";
#ifndef _WIN32
  EXPECT_EQ(fs::status(Folder()).permissions(), fs::perms::owner_all);
  EXPECT_EQ(fs::status(Folder() + "/history").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
#endif
}

// Writers of "A0".."A<n-1>" and "B0".. at the same time; a Load afterwards must find each
// writer's records whole, in order, and none missing from its first kept one to its last. When
// the file was cut back, a writer that finished early may have no record left.
void CheckWriters(const Strings& loaded, int perWriter, bool cutBack = false) {
  const std::regex form("([AB])([0-9]+)");
  int next[2] = {-1, -1};
  for (const std::string& record : loaded) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(record, m, form)) << "torn record: " << record;
    int& expected = next[m[1] == "A" ? 0 : 1];
    const int index = std::stoi(m[2]);
    EXPECT_TRUE(expected < 0 || index == expected) << record << " after " << expected - 1;
    expected = index + 1;
  }
  for (const int last : next) {
    EXPECT_TRUE(last == perWriter || (cutBack && last < 0)) << last;
  }
  EXPECT_TRUE(next[0] == perWriter || next[1] == perWriter);
}

// Two writers at once: two processes where there are, else two threads (each with its own
// handles, which lock each other out as two processes would).
void RunTwoWriters(const std::function<void(char)>& write) {
#ifndef _WIN32
  pid_t children[2];
  for (int i = 0; i < 2; ++i) {
    children[i] = ::fork();
    if (children[i] == 0) {
      write(i == 0 ? 'A' : 'B');
      ::_exit(::testing::Test::HasFailure() ? 1 : 0);
    }
  }
  for (const pid_t child : children) {
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a writer failed";
  }
#else
  std::thread a(write, 'A'), b(write, 'B');
  a.join();
  b.join();
#endif
}

TEST_F(HistoryFileTest, TwoWindowsAddingAtOnceLoseNothing) {
  RunTwoWriters([this](char who) {
    HistoryFile file(Folder());
    for (int i = 0; i < 500; ++i) {
      ASSERT_EQ(file.Append(std::string(1, who) + std::to_string(i)), 0u);
    }
  });
  const Strings loaded = Load();
  EXPECT_EQ(loaded.size(), 1000u);
  CheckWriters(loaded, 500);
  // Cutting back while the other one adds: what is kept is a whole tail of both.
  fs::remove(Folder() + "/history");
  RunTwoWriters([this](char who) {
    HistoryFile file(Folder(), 400);
    for (int i = 0; i < 700; ++i) {
      ASSERT_EQ(file.Append(std::string(1, who) + std::to_string(i)), 0u);
    }
  });
  EXPECT_LT(LinesOnDisk(), 1000u) << "never cut back";
  CheckWriters(Load(1000), 700, true);
}

TEST_F(HistoryFileTest, EntriesTooLongToRecallAreSkippedAndOnlyTheTailOfAHugeFileIsRead) {
  fs::create_directories(Folder());
  std::ofstream(Folder() + "/history", std::ios::binary) << "old\n"
                                                         << std::string(100000, 'x') << "\nnew\n";
  EXPECT_EQ(Load(), (Strings{"old", "new"}));
  EXPECT_EQ(NotesHolding("1 command in the history file in " + Folder() +
                         " longer than 65536 bytes was left out"),
            1u);
  EXPECT_EQ(Load(), (Strings{"old", "new"}));
  EXPECT_EQ(notes_.size(), 1u) << "the file was cut back to what is kept";

  // A gigabyte of nothing (a sparse file) before the last records: only the tail is read, and
  // the file is cut back to what is kept.
#ifdef _WIN32
  constexpr std::streamoff kHuge = 16 << 20;  // a file without holes there: still far past it
#else
  constexpr std::streamoff kHuge = 1 << 30;
#endif
  {
    std::ofstream out(Folder() + "/history", std::ios::binary | std::ios::trunc);
    out.seekp(kHuge - 1);
    out << "\na\nb\n";
  }
  const auto start = std::chrono::steady_clock::now();
  const Strings loaded = Load();
  ASSERT_EQ(loaded.size(), 2u);  // (a failure must not print a gigabyte)
  EXPECT_EQ(loaded, (Strings{"a", "b"}));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(PELORIN_TIMING_SLACK));
  EXPECT_EQ(fs::file_size(Folder() + "/history"), 4u);
}

#ifndef _WIN32
TEST_F(HistoryFileTest, ALockHeldElsewhereIsWaitedForHalfASecondAtMost) {
  ASSERT_EQ(HistoryFile(Folder()).Append("kept"), 0u);
  const test::LockHolder holder(Folder() + "/history.lock", 3);
  ASSERT_TRUE(holder.Held());
  HistoryFile file(Folder());
  Strings loaded;
  for (const auto& attempt : std::initializer_list<std::function<SysError()>>{
           [&] { return file.Load(loaded); }, [&] { return file.Append("lost"); }}) {
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(attempt(), 0u);
    EXPECT_LT(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(500 + 300 * PELORIN_TIMING_SLACK));
  }
  EXPECT_TRUE(loaded.empty());
}

TEST_F(HistoryFileTest, ARecordIsWrittenWholeOrNotAtAll) {
  ASSERT_EQ(HistoryFile(Folder()).Append("before"), 0u);
  const std::string path = Folder() + "/history";
  // A file size limit stands in for a full disk: a write past it stops short (SIGXFSZ ignored,
  // as a program that must not die of it would have it).
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = ::signal(SIGXFSZ, SIG_IGN);
  const rlimit full{fs::file_size(path) + 6, saved.rlim_max};
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &full), 0);
  const SysError refused = HistoryFile(Folder()).Append(": full-disk");
  ::setrlimit(RLIMIT_FSIZE, &saved);
  ::signal(SIGXFSZ, oldHandler);
  EXPECT_NE(refused, 0u);
  EXPECT_EQ(fs::file_size(path), 7u) << "the part that fitted was taken back";
  ASSERT_EQ(HistoryFile(Folder()).Append(": after-space-freed"), 0u);
  EXPECT_EQ(Load(), (Strings{"before", ": after-space-freed"}));
}

TEST_F(HistoryFileTest, AReadOnlyHistoryIsReadAndNeverWrittenOrReplaced) {
  fs::create_directories(Folder());
  const std::string path = Folder() + "/history";
  std::string records;
  for (int i = 0; i < 20; ++i)
    records += "c" + std::to_string(i) + "\n";
  std::ofstream(path, std::ios::binary) << records;
  ASSERT_EQ(::chmod(path.c_str(), 0400), 0);
  HistoryFile file(Folder(), 10, Noted());  // far more than is kept: a writable one is cut back
  Strings loaded;
  EXPECT_EQ(file.Load(loaded), 0u);
  EXPECT_EQ(loaded.size(), 10u);
  EXPECT_EQ(loaded.back(), "c19");
  EXPECT_NE(file.Append("new"), 0u);
  EXPECT_NE(file.Append("newer"), 0u);
  EXPECT_EQ(NotesHolding("is read-only"), 1u) << "said once";
  std::ifstream in(path, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), records);
  EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read);
  {
    HistoryKeeper keeper(HistoryFile(Folder(), 10, Noted()), [](Strings) {});
    keeper.Append("new");
    keeper.Append("newer");
  }
  EXPECT_EQ(NotesHolding("was not added"), 0u) << "said as read-only, not once a command";
}

// The keeper's thread does every wait: the window hands it commands and goes on at once. The
// earlier commands arrive once another program lets the lock go, the commands given meanwhile
// are added after them in order; one that cannot be added in half a second is dropped and said
// in the log, and going away waits half a second at most.
TEST_F(HistoryFileTest, TheKeeperWaitsForTheLockSoTheWindowNeverDoes) {
  using Clock = std::chrono::steady_clock;
  using std::chrono::milliseconds;
  const milliseconds slack(300 * PELORIN_TIMING_SLACK);
  ASSERT_EQ(HistoryFile(Folder()).Append("earlier"), 0u);
  const std::string lockFile = Folder() + "/history.lock";
  {
    test::LockHolder holder(lockFile, 1);
    ASSERT_TRUE(holder.Held());
    std::promise<Strings> loaded;
    const auto start = Clock::now();
    {
      HistoryKeeper keeper(HistoryFile(Folder(), HistoryFile::kKeep, Noted()),
                           [&](Strings earlier) { loaded.set_value(std::move(earlier)); });
      keeper.Append("a");
      keeper.Append("b");
      EXPECT_LT(Clock::now() - start, slack) << "the window waited";
      auto arrived = loaded.get_future();
      ASSERT_EQ(arrived.wait_for(std::chrono::seconds(20)), std::future_status::ready);
      EXPECT_EQ(arrived.get(), Strings{"earlier"});
    }
  }
  EXPECT_EQ(Load(), (Strings{"earlier", "a", "b"}));
  EXPECT_EQ(notes_.size(), 0u);

  std::promise<void> loaded;
  std::optional<HistoryKeeper> keeper;
  keeper.emplace(HistoryFile(Folder(), HistoryFile::kKeep, Noted()),
                 [&](Strings) { loaded.set_value(); });
  ASSERT_EQ(loaded.get_future().wait_for(std::chrono::seconds(20)), std::future_status::ready);
  test::LockHolder holder(lockFile, 60);
  ASSERT_TRUE(holder.Held());
  keeper->Append("dropped");
  const auto noted = [&] { return NotesHolding("was not added") == 1; };
  for (const auto until = Clock::now() + std::chrono::seconds(20);
       !noted() && Clock::now() < until;)
    std::this_thread::sleep_for(milliseconds(10));
  EXPECT_TRUE(noted());
  keeper->Append("at the close");
  auto closing = Clock::now();
  keeper.reset();
  EXPECT_LT(Clock::now() - closing, milliseconds(500) + slack);
  EXPECT_EQ(NotesHolding("was not added"), 2u);
  // Gone before the lock let it read: the read never happens.
  std::atomic<bool> read{false};
  closing = Clock::now();
  keeper.emplace(HistoryFile(Folder(), HistoryFile::kKeep, Noted()), [&](Strings) { read = true; });
  keeper.reset();
  EXPECT_LT(Clock::now() - closing, milliseconds(500) + slack);
  EXPECT_FALSE(read);
  holder.Release();
  EXPECT_EQ(Load(), (Strings{"earlier", "a", "b"}));
}

TEST_F(HistoryFileTest, ALinkOrAFileOfAnotherUserIsNeverUsed) {
  ASSERT_EQ(HistoryFile(Folder()).Append("mine"), 0u);
  const std::string other = dir_.path() + "/other";
  std::ofstream(other) << "secret\n";
  fs::remove(Folder() + "/history");
  fs::create_symlink(other, Folder() + "/history");
  Strings commands;
  EXPECT_NE(HistoryFile(Folder()).Load(commands), 0u);
  EXPECT_NE(HistoryFile(Folder()).Append("leak"), 0u);
  EXPECT_TRUE(commands.empty());
  std::ifstream in(other);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "secret\n");

  const std::string linkedFolder = dir_.path() + "/linked";
  fs::create_directory_symlink(dir_.path(), linkedFolder);
  EXPECT_NE(HistoryFile(linkedFolder).Append("x"), 0u) << "a linked folder is not entered";

  if (::geteuid() == 0) {  // only root can give a file away
    fs::remove(Folder() + "/history");
    ASSERT_EQ(HistoryFile(Folder()).Append("x"), 0u);
    ASSERT_EQ(::lchown((Folder() + "/history").c_str(), 65534, 65534), 0);
    EXPECT_NE(HistoryFile(Folder()).Append("y"), 0u);
  }
}
#endif

TEST(HistoryFile, LivesInTheUsersConfigurationFolder) {
#ifndef _WIN32
  test::ScopedEnv xdg("XDG_CONFIG_HOME", "/cfg");
  EXPECT_EQ(HistoryFile::DefaultFolder(), "/cfg/pelorin");
  test::ScopedEnv relative("XDG_CONFIG_HOME", "cfg");
  test::ScopedEnv home("HOME", "/home/me");
  EXPECT_EQ(HistoryFile::DefaultFolder(), "/home/me/.config/pelorin");
#else
  test::ScopedEnv appData("APPDATA", "C:\\Users\\me\\AppData\\Roaming");
  EXPECT_EQ(HistoryFile::DefaultFolder(), "C:\\Users\\me\\AppData\\Roaming\\Pelorin");
#endif
}

}  // namespace
}  // namespace pelorin
