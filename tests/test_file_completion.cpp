// SPDX-License-Identifier: GPL-3.0-or-later
// Tab completion of file and folder names in a real temporary folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <chrono>
#include <optional>

#include "console/FileCompletion.h"
#include "console/ProgramIndex.h"
#include "console/WordCompletion.h"
#include "tests/support/Platform.h"
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
  Make({"my folder/inner.txt", "my file.txt", "it's/", "plain.txt", "price$x/in.txt"});
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
      // A $ in a name is no variable: quoted like any other special byte, and read back so.
      {"cd pri", "cd \"price\\$x/\"", "cd price$x\\"},
      {"cat price\\$x/i", "cat \"price\\$x/in.txt\"", "cat price\\$x/i"},
      {"cat 'price$x/i", "cat 'price$x/in.txt'", "cat 'price$x/i"},
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
  // A folder a variable names: the reference stays as typed, outside the quotes.
  const VariableLookup lookup = [this](std::string_view name) -> std::optional<std::string> {
    return name == "W" ? std::optional(dir_.path()) : std::nullopt;
  };
  const auto withVariables = [&](const char* typed, const CompletionRules& flavour) {
    return CompleteFileName(typed, "/", "", flavour, {}, lookup).replacement;
  };
  EXPECT_EQ(withVariables("cd $W/a/b", kPosix), "$W/\"a/b c/\"");
  EXPECT_EQ(withVariables("cd ${W}/a/", kPosix), "${W}/\"a/b c/\"");
  EXPECT_EQ(withVariables("cd '$W/a/", kPosix), "'$W/a/") << "single quotes expand nothing";
  Make({"a/$W/q/"});
  // A folder part with a blank of its own before the reference: all in double quotes.
  Make({"my dir/a/b c/"});
  const VariableLookup relative = [](std::string_view name) -> std::optional<std::string> {
    return name == "W" ? std::optional<std::string>("a") : std::nullopt;
  };
  EXPECT_EQ(CompleteFileName("cd my\\ dir/$W/b", dir_.path(), "", kPosix, {}, relative).replacement,
            "\"my dir/$W/b c/\"");
  EXPECT_EQ(CompleteFileName("cd a/\\$W/", dir_.path(), "", kPosix, {}, lookup).replacement,
            "\"a/\\$W/q/\"")
      << "an escaped $ is a name's";
  EXPECT_EQ(withVariables("cd %W%/a/b", kWindows), "\"%W%/a/b c\\\"");
}

TEST_F(FileCompletionTest, ANameBeginningWithADashIsNoOptionWithSh) {
  Make({"-rf", "-x/", "plain"});
  EXPECT_EQ(Tab("rm -r").first, "rm ./-rf");
  const auto [after, offered] = Tab("rm -");
  EXPECT_EQ(after, "rm -");
  EXPECT_EQ(offered, (Names{"-rf", "-x/"}));
  const FileCompletion listed = CompleteFileName("rm -", dir_.path(), "", kPosix);
  EXPECT_EQ(listed.candidates.front().replacement, "./-rf");
  EXPECT_EQ(Tab("rm ./-r").first, "rm ./-rf");
  EXPECT_EQ(Tab("del -r", kWindows).first, "del -rf") << "cmd's programs take / options";
}

TEST_F(FileCompletionTest, TheFirstWordIsACommandAndADollarAVariable) {
  Make({"srcdir/", "python-notes.txt"});
  const std::vector<std::string> commands = {"pytest", "python3", "python3.11", "run"};
  const std::vector<std::string> variables = {"HOME", "HOSTNAME", "PATH"};
  CompletionSources sources;
  const auto starting = [](const std::vector<std::string>& names, std::string_view prefix) {
    std::vector<std::string> found;
    for (const std::string& name : names) {
      if (name.starts_with(prefix)) {
        found.push_back(name);
      }
    }
    return found;
  };
  sources.commands = [&](std::string_view prefix) { return starting(commands, prefix); };
  sources.variables = [&](std::string_view prefix) { return starting(variables, prefix); };
  const auto tab = [&](const std::string& typed, const CompletionRules& rules = kPosix) {
    const FileCompletion c = CompleteWord(typed, dir_.path(), "", sources, rules);
    std::vector<std::string> names;
    for (const CompletionCandidate& candidate : c.candidates) {
      names.push_back(candidate.name);
    }
    return std::pair(typed.substr(0, c.wordStart) + c.replacement, names);
  };
  const struct {
    const char* typed;
    const char* after;
    Names offered;
  } cases[] = {
      {"pyth", "python3", {"python3", "python3.11"}},
      {"ls | pyt", "ls | pyt", {"pytest", "python3", "python3.11"}},
      {"cd .. && ru", "cd .. && run", {}},
      {"cat pyth", "cat python-notes.txt", {}},  // not the first word: a file
      {"src", "srcdir/", {}},                    // no command: the files after all
      {"./py", "./python-notes.txt", {}},
      {"echo $HO", "echo $HO", {"HOME", "HOSTNAME"}},
      {"echo $PA", "echo $PATH", {}},
      {"cd ${HOM", "cd ${HOME}", {}},
      {"echo \"$PA", "echo \"$PATH", {}},
      {"echo '$PA", "echo '$PA", {}},  // single quotes: no variable
      {"echo $1", "echo $1", {}},
  };
  for (const auto& c : cases) {
    const auto [after, offered] = tab(c.typed);
    EXPECT_EQ(after, c.after) << c.typed;
    EXPECT_EQ(offered, c.offered) << c.typed;
  }
  EXPECT_EQ(tab("cd %PA", kWindows).first, "cd %PATH%");
  EXPECT_EQ(tab("echo %A%x%PA", kWindows).first, "echo %A%x%PATH%");
  EXPECT_EQ(tab("echo %A%PA", kWindows).first, "echo %A%PA") << "that % closes one";
}

TEST_F(FileCompletionTest, ProgramsOnThePathAreTheFilesThatRun) {
  Make({"a/tool", "a/data", "a/sub/tool3", "b/tool", "b/tool2", "w/Python.EXE", "w/x.bat",
        "w/readme.txt"});
  const fs::path root(dir_.path());
  EXPECT_EQ(ProgramsOn((root / "w").string(), ".COM;.exe;.Bat", Quoting::Windows),
            (Names{"Python", "x"}));
  if (test::kWindows) {
    return;  // no execute bits to read
  }
  for (const char* name : {"a/tool", "b/tool", "b/tool2"}) {
    fs::permissions(root / name, fs::perms::owner_exec, fs::perm_options::add);
  }
  fs::create_symlink(root / "b/tool2", root / "a/link");
  const std::string path =
      (root / "a").string() + ":" + (root / "b").string() + "::" + (root / "missing").string();
  EXPECT_EQ(ProgramsOn(path, "", Quoting::Posix), (Names{"link", "tool", "tool2"}));
  ProgramIndex index(Quoting::Posix);
  EXPECT_EQ(index.Matching("t", std::chrono::milliseconds(0)), std::nullopt) << "nothing read";
  index.Refresh(path, "");
  EXPECT_EQ(index.Matching("too", std::chrono::seconds(10)), (Names{"tool", "tool2"}));
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
