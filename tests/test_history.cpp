// SPDX-License-Identifier: GPL-3.0-or-later
// The command history: Up and Down over what was run, and the per-user file that keeps it
// across restarts and between windows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "console/CommandHistory.h"
#include "prefs/HistoryFile.h"
#include "tests/support/TempDir.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
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

class HistoryFileTest : public ::testing::Test {
 protected:
  std::string Folder() const { return dir_.path() + "/pelorin"; }
  Strings Load(std::size_t keep = HistoryFile::kKeep) {
    Strings commands;
    EXPECT_EQ(HistoryFile(Folder(), keep).Load(commands), 0u);
    return commands;
  }
  std::size_t LinesOnDisk() const {
    std::ifstream in(Folder() + "/history");
    return static_cast<std::size_t>(
        std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
  }
  test::TempDir dir_;
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

#ifndef _WIN32
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
