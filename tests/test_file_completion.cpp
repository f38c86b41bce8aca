// SPDX-License-Identifier: GPL-3.0-or-later
// Tab completion of file and folder names in a real temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "console/FileCompletion.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;

const CompletionRules kPosix{Quoting::Posix, false, true, '/'};
const CompletionRules kWindows{Quoting::Windows, true, false, '\\'};

class FileCompletionTest : public ::testing::Test {
 protected:
  void Make(const std::vector<std::string>& names) {
    for (const std::string& name : names) {
      const fs::path path = fs::path(dir_.path()) / fs::path(name);
      if (name.ends_with('/')) {
        fs::create_directories(path);
      } else {
        fs::create_directories(path.parent_path());
        std::ofstream(path) << "x";
      }
    }
  }
  // The line after Tab with the caret at its end, and the names offered.
  std::pair<std::string, std::vector<std::string>> Tab(const std::string& line,
                                                       const CompletionRules& rules = kPosix,
                                                       const CompletionLimits& limits = {}) {
    const FileCompletion c = CompleteFileName(line, dir_.path(), "/home/none", rules, limits);
    std::vector<std::string> names;
    for (const CompletionCandidate& candidate : c.candidates) {
      names.push_back(candidate.name);
    }
    return {line.substr(0, c.wordStart) + c.replacement, names};
  }
  using Names = std::vector<std::string>;
  test::TempDir dir_;
};

TEST_F(FileCompletionTest, CompletesTheWordBeforeTheCaretToTheLongestCommonPart) {
  Make({"console/", "config.txt", "build/", "src/CommandLine.h", "src/CommandLine.cpp",
        "src/console/", ".hidden", ".git/", "my folder/", "my file.txt"});
  const struct {
    const char* typed;
    const char* after;
    Names offered;
  } cases[] = {
      {"cd bu", "cd build/", {}},                          // one folder: its separator
      {"cat co", "cat con", {"config.txt", "console/"}},   // several: common part, the list
      {"cat con", "cat con", {"config.txt", "console/"}},  // nothing to add: a second Tab lists
      {"ls src/Com", "ls src/CommandLine.", {"CommandLine.cpp", "CommandLine.h"}},
      {"ls src/con", "ls src/console/", {}},
      {"x", "x", {}},                          // nothing matches: unchanged
      {"ls nothing/he", "ls nothing/he", {}},  // no such folder
      {"ls ", "ls ", {"build/", "config.txt", "console/", "my file.txt", "my folder/", "src/"}},
      {"ls .h", "ls .hidden", {}},  // dot files only when typed
      {"ls .", "ls .", {".git/", ".hidden"}},
      {"a|co", "a|con", {"config.txt", "console/"}},  // operators end a word too
  };
  for (const auto& c : cases) {
    const auto [after, offered] = Tab(c.typed);
    EXPECT_EQ(after, c.after) << c.typed;
    EXPECT_EQ(offered, c.offered) << c.typed;
  }
}

TEST_F(FileCompletionTest, NamesWithBlanksComeBackQuotedAndQuotedWordsAreRead) {
  Make({"my folder/inner.txt", "my file.txt", "it's/", "plain.txt"});
  const struct {
    const char* typed;
    const char* posix;
    const char* windows;
  } cases[] = {
      {"cd my\\ fo", "cd \"my folder/\"", "cd my\\ fo"},  // cmd has no backslash escape
      {"cd \"my fo", "cd \"my folder/\"", "cd \"my folder\\\""},
      {"cd 'my fo", "cd 'my folder/'", "cd 'my fo"},
      {"cat my", "cat \"my f", "cat \"my f"},  // the common part leaves the quote open
      {"cat \"my folder/in", "cat \"my folder/inner.txt\"", "cat \"my folder/inner.txt\""},
      {"cd it", "cd \"it's/\"", "cd \"it's\\\""},
      {"cd 'it", "cd 'it'\\''s/'", "cd 'it"},
      {"cat pl", "cat plain.txt", "cat plain.txt"},  // no quotes where none are needed
      {"cat \"pl", "cat \"plain.txt\"", "cat \"plain.txt\""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Tab(c.typed, kPosix).first, c.posix) << c.typed;
    EXPECT_EQ(Tab(c.typed, kWindows).first, c.windows) << c.typed;
  }
}

TEST_F(FileCompletionTest, WindowsIgnoresCaseAndKeepsWhatWasTyped) {
  Make({"Makefile", "makedepend", "README", "Docs/"});
  EXPECT_EQ(Tab("type re", kWindows).first, "type README");
  EXPECT_EQ(Tab("cd d", kWindows).first, "cd Docs\\");
  const auto [after, offered] = Tab("mak", kWindows);
  EXPECT_EQ(after, "make");
  EXPECT_EQ(offered, (Names{"makedepend", "Makefile"}));
  EXPECT_EQ(Tab("type re", kPosix).first, "type re") << "sh names differ by case";
}

TEST_F(FileCompletionTest, PathsInTheWordCompleteInTheirFolder) {
  Make({"a/b c/deep.txt"});
  const CompletionRules rules = PlatformCompletionRules();
  const std::string abs = (fs::canonical(dir_.path()) / "a" / "b").string();
  EXPECT_EQ(Tab("ls " + abs, rules).first, "ls \"" + abs + " c" + rules.separator + "\"");
  const FileCompletion home = CompleteFileName("cd ~/a/b", "/", dir_.path(), kPosix);
  EXPECT_EQ(home.replacement, "~/\"a/b c/\"") << "the tilde stays outside the quotes";
}

TEST_F(FileCompletionTest, AHugeFolderIsReadOnceAndListedOnlyInPart) {
  Names many;
  for (int i = 0; i < 60; ++i) {
    many.push_back("f" + std::to_string(100 + i));
  }
  Make(many);
  Make({"g1"});
  const auto [after, offered] = Tab("f", kPosix, {10, 1000});
  EXPECT_EQ(after, "f1");
  ASSERT_EQ(offered.size(), 11u);
  EXPECT_EQ(offered.back(), "... 50 more");
  // Read only in part: the common part of what was read could be wrong, so nothing is added.
  const auto [partAfter, partOffered] = Tab("f", kPosix, {10, 20});
  EXPECT_EQ(partAfter, "f");
  EXPECT_EQ(partOffered.back(), "... more not read");
}

}  // namespace
}  // namespace pelorin
