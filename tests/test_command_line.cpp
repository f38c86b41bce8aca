// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <optional>

#include <set>

#include "console/CdCommand.h"
#include "console/CommandLine.h"
#include "console/CommandQueue.h"
#include "console/ExitStatus.h"
#include "console/LinkFinder.h"
#include "console/ShellState.h"

namespace pelorin {
namespace {

constexpr Quoting kWin = Quoting::Windows;
constexpr Quoting kPosix = Quoting::Posix;

TEST(NormalizeBlanks, TrimsAndCollapsesRunsOfSpacesAndTabsOutsideQuotes) {
  for (const Quoting q : {kWin, kPosix}) {
    EXPECT_EQ(NormalizeBlanks("  dir\t\t/w  ", q), "dir /w");
    EXPECT_EQ(NormalizeBlanks(" \t \t", q), "");
    EXPECT_EQ(NormalizeBlanks("a\nb", q), "a\nb");
    EXPECT_EQ(NormalizeBlanks("\r a \v", q), "\r a \v");
    EXPECT_EQ(NormalizeBlanks("a\xC2\xA0 b", q), "a\xC2\xA0 b") << "no-break space is not a blank";
  }
}

TEST(NormalizeBlanks, KeepsWhatQuotesProtectByteForByte) {
  struct Case {
    const char* typed;
    const char* windows;
    const char* posix;
  };
  const Case cases[] = {
      {"echo  \"a \t  b\"  x", "echo \"a \t  b\" x", "echo \"a \t  b\" x"},
      {"cd \"two  spaces\"", "cd \"two  spaces\"", "cd \"two  spaces\""},
      {"rm -v  \"a  b\"", "rm -v \"a  b\"", "rm -v \"a  b\""},
      {"x\"a  b\"y  z", "x\"a  b\"y z", "x\"a  b\"y z"},  // quotes inside a word
      // An unclosed quote keeps the rest as typed, its trailing blanks too.
      {"  cd \"my  folder  ", "cd \"my  folder  ", "cd \"my  folder  "},
      // Single quotes and backslashes protect only in sh.
      {"echo 'a   b'", "echo 'a b'", "echo 'a   b'"},
      {"echo \"it's  \"  'x'", "echo \"it's  \" 'x'", "echo \"it's  \" 'x'"},
      {"cd my\\  folder\\ ", "cd my\\ folder\\", "cd my\\  folder\\ "},
      {"echo \\\"a   b\\\"", "echo \\\"a   b\\\"",
       "echo \\\"a b\\\""},  // escaped quotes open nothing
      {"echo \"a\\\"  b\"  c", "echo \"a\\\" b\"  c", "echo \"a\\\"  b\" c"},
      {"echo 'a\\'  b", "echo 'a\\' b", "echo 'a\\' b"},  // no escape inside single quotes
      {"echo x\\", "echo x\\", "echo x\\"},               // a backslash at the very end stays
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormalizeBlanks(c.typed, kWin), c.windows) << c.typed;
    EXPECT_EQ(NormalizeBlanks(c.typed, kPosix), c.posix) << c.typed;
  }
}

TEST(ReadQuoting, BackslashInDoubleQuotesEscapesOnlyWhatShEscapes) {
  using R = CharRole;
  const std::string text = "\"\\a\\$\"";  // "\a\$"
  const std::vector<R> expected = {R::Quote, R::Text, R::Text, R::Escape, R::Text, R::Quote};
  EXPECT_EQ(ReadQuoting(text, kPosix), expected);
  EXPECT_EQ(ReadQuoting(text, kWin),
            (std::vector<R>{R::Quote, R::Text, R::Text, R::Text, R::Text, R::Quote}));
}

TEST(ParseCommandLine, RecognisesTheBuiltInsOfEachInterpreter) {
  using K = LineKind;
  struct Case {
    Quoting flavour;
    const char* line;
    LineKind kind;
    const char* argument = "";
    const char* then = "";
    Then when = Then::Always;
  };
  const Case cases[] = {
      {kPosix, "", K::Empty},
      {kPosix, "cd", K::BareCd},
      {kPosix, "cd ..", K::Cd, " .."},
      {kPosix, "cd..", K::Cd, ".."},
      {kPosix, "cd.", K::Cd, "."},
      {kPosix, "cd -", K::CdBack},
      {kPosix, "run", K::BareRun},
      {kPosix, "run a && b", K::Run, "a && b"},  // run's whole rest is the interpreter's
      // sh's names are exact: everything else belongs to the interpreter.
      {kPosix, "CD ..", K::External},
      {kPosix, "cdx", K::External},
      {kPosix, "cd\\", K::External},
      {kPosix, "c:", K::External},
      {kPosix, "runas /?", K::External},
      {kPosix, "RUN x", K::External},
      {kPosix, "chdir x", K::External},
      {kPosix, "set A=1", K::External},
      // What follows a built-in behind a separator outside quotes.
      {kPosix, "cd .. && ls -l", K::Cd, " .. ", "ls -l", Then::IfOk},
      {kPosix, "cd a;b ; c", K::Cd, " a", "b ; c"},
      {kPosix, "cd nope || echo no", K::Cd, " nope ", "echo no", Then::IfFailed},
      {kPosix, "cd 'a;b' \"c&&d\" e\\;f", K::Cd, " 'a;b' \"c&&d\" e\\;f"},
      {kPosix, "cd && ls", K::BareCd, "", "ls", Then::IfOk},
      {kPosix, "cd - ;ls", K::CdBack, "", "ls"},
      {kPosix, "cd x &", K::Cd, " x &"},  // a background job is no separator here
      {kPosix, "pushd /tmp", K::Pushd, " /tmp"},
      {kPosix, "pushd", K::Pushd},
      {kPosix, "popd", K::Popd},
      {kPosix, "export A=1 B='x y'", K::Export, "A=1 B='x y'"},
      {kPosix, "export A=1; echo $A", K::Export, "A=1", "echo $A"},
      {kPosix, "unset A", K::Unset, "A"},
      // Listing, or options: the interpreter's.
      {kPosix, "export", K::External},
      {kPosix, "export -p", K::External},
      {kPosix, "unset", K::External},
      {kPosix, "cls", K::Clear},
      {kPosix, "clear && ls", K::Clear, "", "ls", Then::IfOk},
      {kPosix, "clear -x", K::External},
      // cmd: no case, and its own forms.
      {kWin, "CD ..", K::Cd, " .."},
      {kWin, "Cd..", K::Cd, ".."},
      {kWin, "cd\\", K::Cd, "\\"},
      {kWin, "cd/d D:\\x", K::Cd, "/d D:\\x"},
      {kWin, "CHDIR", K::BareCd},
      {kWin, "chdir x", K::Cd, " x"},
      {kWin, "c:", K::Drive, "c"},
      {kWin, "D: & dir", K::Drive, "D", "dir"},
      {kWin, "c:x", K::External},
      {kWin, "cd a & dir", K::Cd, " a ", "dir"},
      {kWin, "cd a ^& b", K::Cd, " a ^& b"},
      {kWin, "cd \"a&b\"", K::Cd, " \"a&b\""},
      {kWin, "Pushd x", K::Pushd, " x"},
      {kWin, "POPD", K::Popd},
      {kWin, "set A=1", K::Set, "A=1"},
      {kWin, "SET \"A=x y\"", K::Set, "\"A=x y\""},
      {kWin, "set A=1&echo %A%", K::Set, "A=1", "echo %A%"},
      {kWin, "set", K::External},
      {kWin, "set /a x=1", K::External},
      {kWin, "set A", K::External},
      {kWin, "cls", K::Clear},
      {kWin, "clear", K::External},
      {kWin, "export A=1", K::External},
      {kWin, "run x", K::Run, "x"},
      {kWin, "RUN x", K::External},  // run is ours, in its one spelling
  };
  for (const Case& c : cases) {
    const ParsedLine parsed = ParseCommandLine(c.line, c.flavour);
    const std::string label = std::string(c.line) + (c.flavour == kWin ? " (cmd)" : " (sh)");
    EXPECT_EQ(parsed.kind, c.kind) << label;
    EXPECT_EQ(parsed.argument, c.argument) << label;
    EXPECT_EQ(parsed.then, c.then) << label;
    EXPECT_EQ(parsed.when, c.when) << label;
  }
}

TEST(ParseCommandLine, QuotedBlanksDoNotHideTheBuiltIns) {
  for (const Quoting q : {kWin, kPosix}) {
    const ParsedLine cd = ParseCommandLine(NormalizeBlanks("  cd   \"two  spaces\"  ", q), q);
    EXPECT_EQ(cd.kind, LineKind::Cd);
    EXPECT_EQ(cd.argument, " \"two  spaces\"");
    const ParsedLine run = ParseCommandLine(NormalizeBlanks("run\t \"a  b\"", q), q);
    EXPECT_EQ(run.kind, LineKind::Run);
    EXPECT_EQ(run.argument, "\"a  b\"");
  }
}

TEST(CdPath, ReadsTheArgumentAsTheInterpreterWould) {
  struct Case {
    const char* argument;  // as ParseCommandLine gives it
    const char* windows;
    const char* posix;
  };
  const Case cases[] = {
      {" ..", "..", ".."},
      {"..", "..", ".."},
      {" \"my folder\"", "my folder", "my folder"},
      {" \"my  folder", "my  folder", "my  folder"},  // unclosed: runs to the end
      {" my folder", "my folder", "my folder"},       // as before: the whole rest is the path
      {" \"a\"\"b\"", "a\"\"b", "ab"},                // one pair only, as cmd; sh joins the parts
      {" 'my folder'", "'my folder'", "my folder"},
      {" my\\ folder", "my\\ folder", "my folder"},
      {" C:\\Work\\", "C:\\Work\\", "C:Work\\"},  // sh reads \W as W; a trailing one stays
      {" \"a\\\"b\"", "a\\\"b", "a\"b"},
      {" ~", "~", "/home/me"},
      {" ~/x y", "~/x y", "/home/me/x y"},
      {" ~x", "~x", "~x"},  // no user names
      {" \"~\"", "~", "~"},
      {" \\~", "\\~", "~"},
      {" x/~", "x/~", "x/~"},
      {" ", "", ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CdPath(c.argument, kWin, "/home/me"), c.windows) << c.argument;
    EXPECT_EQ(CdPath(c.argument, kPosix, "/home/me"), c.posix) << c.argument;
  }
  EXPECT_EQ(CdPath(" ~/x", kPosix, ""), "~/x") << "no home: the tilde is a name";
}

TEST(CdPath, ExpandsVariablesAndDropsCmdsDriveSwitch) {
  const std::map<std::string, std::string> vars = {
      {"HOME", "/home/me"}, {"D", "my dir"}, {"TEMP", "C:\\Temp"}};
  const VariableLookup lookup = [&](std::string_view name) -> std::optional<std::string> {
    std::string upper(name);  // case-blind, as cmd's would be
    for (char& c : upper) {
      c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    const auto it = vars.find(upper);
    return it == vars.end() ? std::nullopt : std::optional(it->second);
  };
  const std::pair<const char*, const char*> posix[] = {
      {" $HOME/x", "/home/me/x"},
      {" ${HOME}x", "/home/mex"},
      {" \"$D\"/a", "my dir/a"},  // quoted: kept whole
      {" '$D'", "$D"},            // single quotes: no expansion
      {" \\$D", "$D"},            // escaped
      {" $NOPE/x", "/x"},         // unset: empty, as sh
      {" $1 $ a$", "$1 $ a$"},    // no names: kept
      {" ~/$D", "/home/me/my dir"},
  };
  for (const auto& [argument, path] : posix) {
    EXPECT_EQ(CdPath(argument, kPosix, "/home/me", lookup), path) << argument;
  }
  const std::pair<const char*, const char*> windows[] = {
      {" %temp%\\sub", "C:\\Temp\\sub"},
      {" \"%D%\"", "my dir"},
      {" %NOPE%\\x", "%NOPE%\\x"},  // unset: as typed, as at cmd's prompt
      {" 100%", "100%"},
      {" /d D:\\x", "D:\\x"},
      {" /D \"D:\\a b\"", "D:\\a b"},
      {" /d", ""},
      {" /dx", "/dx"},
  };
  for (const auto& [argument, path] : windows) {
    EXPECT_EQ(CdPath(argument, kWin, "", lookup), path) << argument;
  }
}

// Folders only, as the built-ins see them through their calls; paths compared as written.
struct FakeFolders {
  Quoting flavour;
  std::set<std::string> folders;
  std::string current;
  std::map<char, std::string> drives = {};  // cmd: each drive's current folder

  FolderCalls Calls() {
    const bool cmd = flavour == kWin;
    return {[this] { return current; },
            [this, cmd](const std::string& path) -> SysError {
              const bool whole = cmd ? path.size() > 2 && path[1] == ':' : path.starts_with('/');
              const std::string full = whole ? path : current + (cmd ? "\\" : "/") + path;
              if (folders.count(full) == 0) {
                return 2;
              }
              current = full;
              drives[full[0]] = full;
              return 0;
            },
            [this](char letter) -> SysError {
              const auto it = drives.find(static_cast<char>(std::toupper(letter)));
              if (it == drives.end()) {
                return 15;
              }
              current = it->second;
              return 0;
            },
            [](SysError code) {
              return code == 2 ? std::string(": Path not found")
                               : ": error " + std::to_string(code);
            }};
  }
};

// A line through the table and the shell: what it said ("|" between lines), "!" when it failed.
std::string RunLine(ShellState& shell, Quoting flavour, const char* line) {
  const BuiltinResult result = shell.Run(ParseCommandLine(NormalizeBlanks(line, flavour), flavour));
  std::string said = result.ok ? "" : "!";
  for (const std::string& one : result.lines) {
    said += (said.empty() || said == "!" ? "" : "|") + one;
  }
  return said;
}

TEST(ShellState, ShKeepsThePreviousFolderTheStackAndTheVariables) {
  FakeFolders fs{kPosix, {"/home/me", "/home/me/sub", "/tmp", "/srv/a b"}, "/tmp"};
  ShellState shell(kPosix, fs.Calls(), CommandEnvironment(kPosix, {"HOME=/home/me", "PATH=/bin"}));
  const auto run = [&](const char* line) { return RunLine(shell, kPosix, line); };
  EXPECT_EQ(run("cd -"), "!cd -: no previous folder");
  EXPECT_EQ(run("cd"), "");
  EXPECT_EQ(fs.current, "/home/me");
  EXPECT_EQ(run("cd -"), "/tmp") << "the folder it goes back to is said";
  EXPECT_EQ(run("cd -"), "/home/me");
  EXPECT_EQ(run("export D=sub"), "");
  EXPECT_EQ(run("cd $D"), "");
  EXPECT_EQ(fs.current, "/home/me/sub");
  for (const char* quoted : {"cd \"\"", "cd ''", "cd \"$UNSET\""}) {
    EXPECT_EQ(run(quoted), "");
    EXPECT_EQ(fs.current, "/home/me/sub") << quoted << ": an empty argument stays, as in sh";
  }
  EXPECT_EQ(run("cd $UNSET"), "") << "a word that expands to nothing is gone, as in sh";
  EXPECT_EQ(fs.current, "/home/me");
  EXPECT_EQ(run("cd $D"), "");
  EXPECT_EQ(run("export HOME='/srv/a b'"), "");
  EXPECT_EQ(run("cd ~"), "");
  EXPECT_EQ(fs.current, "/srv/a b");
  // A bare tilde of an assignment is home at the value's start and after each unquoted colon.
  EXPECT_EQ(run("export P=~/bin:~:'~'/x:\\~:a~:~me:$D:'a:~' Q=\"~/x\""), "");
  EXPECT_EQ(std::pair(shell.Environment().Get("P"), shell.Environment().Get("Q")),
            std::pair(std::optional<std::string>("/srv/a b/bin:/srv/a b:~/x:~:a~:~me:sub:a:~"),
                      std::optional<std::string>("~/x")));
  EXPECT_EQ(run("cd nope"), "!nope: Path not found");
  EXPECT_EQ(fs.current, "/srv/a b");
  EXPECT_EQ(run("unset HOME"), "");
  EXPECT_EQ(run("cd"), "!cd: HOME is not set");
  EXPECT_EQ(run("export P=~/bin"), "");
  EXPECT_EQ(shell.Environment().Get("P"), "~/bin");
  EXPECT_EQ(run("unset P Q"), "");

  // The stack: pushd keeps the folder it leaves, pushd alone swaps, popd goes back.
  EXPECT_EQ(run("pushd"), "!pushd: no other folder");
  EXPECT_EQ(run("pushd /tmp"), "");
  EXPECT_EQ(shell.Stack(), std::vector<std::string>{"/srv/a b"});
  EXPECT_EQ(run("pushd /nope"), "!/nope: Path not found");
  EXPECT_EQ(run("pushd"), "");
  EXPECT_EQ(std::pair(fs.current, shell.Stack()),
            std::pair(std::string("/srv/a b"), std::vector<std::string>{"/tmp"}));
  EXPECT_EQ(run("popd x"), "!popd: takes no argument");
  EXPECT_EQ(run("popd"), "");
  EXPECT_EQ(fs.current, "/tmp");
  EXPECT_EQ(run("popd"), "!popd: the folder stack is empty");
  EXPECT_EQ(run("cd -"), "/srv/a b");

  // A name that is no name changes nothing at all; values are read as sh reads them, with the
  // variables as they were before the line.
  const CommandEnvironment& env = shell.Environment();
  EXPECT_EQ(run("export OK=1 1x=y"), "!export: 1x=y: not a valid name");
  EXPECT_EQ(env.Get("OK"), std::nullopt);
  EXPECT_EQ(run("export A=1 B=$A C=\"x  y\" E"), "");
  EXPECT_EQ(std::tuple(env.Get("A"), env.Get("B"), env.Get("C"), env.Get("E")),
            std::tuple(std::optional<std::string>("1"), std::optional<std::string>(""),
                       std::optional<std::string>("x  y"), std::optional<std::string>()));
  // What only the interpreter can work out is refused and changes nothing; quoted or escaped,
  // or a $ before nothing sh expands, it is text.
  for (const char* unread : {"$(pwd)/x", "`pwd`", "${A:-y}", "$((1+2))", "$1", "$?"}) {
    EXPECT_EQ(run(("export A=2 V=\"" + std::string(unread) + "\"").c_str()),
              "!export: " + std::string(unread) + "\": only $NAME and ${NAME} are expanded here");
    EXPECT_EQ(std::pair(env.Get("A"), env.Get("V")),
              std::pair(std::optional<std::string>("1"), std::optional<std::string>()));
  }
  EXPECT_EQ(run("export V='$(pwd)'\\`x\\` W=a$/b$"), "");
  EXPECT_EQ(
      std::pair(env.Get("V"), env.Get("W")),
      std::pair(std::optional<std::string>("$(pwd)`x`"), std::optional<std::string>("a$/b$")));
  EXPECT_EQ(run("unset V W"), "");
  EXPECT_EQ(run("unset A b-c"), "!unset: b-c: not a valid name");
  EXPECT_EQ(env.Get("A"), "1");
  EXPECT_EQ(run("unset A C"), "");
  EXPECT_EQ(std::pair(env.Get("A"), env.Get("C")),
            std::pair(std::optional<std::string>(), std::optional<std::string>()));
  EXPECT_TRUE(env.Changed());
  EXPECT_EQ(env.Entries(), (std::vector<std::string>{"PATH=/bin", "D=sub", "B="}));
  EXPECT_TRUE(shell.Run(ParseCommandLine("cls", kPosix)).clear);
}

TEST(ShellState, CmdFormsActAsCmdsOwn) {
  FakeFolders fs{kWin,
                 {"C:\\Work", "C:\\Users\\me", "D:\\Data", "D:\\Data\\x"},
                 "C:\\Work",
                 {{'C', "C:\\Work"}, {'D', "D:\\Data"}}};
  ShellState shell(kWin, fs.Calls(),
                   CommandEnvironment(kWin, {"Path=C:\\bin", "USERPROFILE=C:\\Users\\me"}));
  const auto run = [&](const char* line) { return RunLine(shell, kWin, line); };
  EXPECT_EQ(run("cd"), "C:\\Work") << "cd alone says where";
  EXPECT_EQ(run("CD /D D:\\Data\\x"), "");
  EXPECT_EQ(run("c:"), "");
  EXPECT_EQ(fs.current, "C:\\Work") << "the drive's own current folder";
  EXPECT_EQ(run("d:"), "");
  EXPECT_EQ(fs.current, "D:\\Data\\x");
  EXPECT_EQ(run("q:"), "!q: error 15");
  EXPECT_EQ(run("chdir %userprofile%"), "");
  EXPECT_EQ(fs.current, "C:\\Users\\me");
  EXPECT_EQ(run("cd nope"), "!nope: Path not found");
  EXPECT_EQ(run("cd -"), "D:\\Data\\x");
  EXPECT_EQ(run("pushd C:\\Work"), "");
  EXPECT_EQ(run("pushd"), "D:\\Data\\x") << "pushd alone lists the stack";
  EXPECT_EQ(run("popd"), "");
  EXPECT_EQ(fs.current, "D:\\Data\\x");

  // set: names without case, the spelling kept; the line's variables expanded first.
  const CommandEnvironment& env = shell.Environment();
  EXPECT_EQ(run("set path=C:\\x;%PATH%"), "");
  EXPECT_EQ(env.Get("PATH"), "C:\\x;C:\\bin");
  EXPECT_EQ(env.Entries().front(), "Path=C:\\x;C:\\bin");
  EXPECT_EQ(run("set \"A=x & y\" dropped"), "");
  EXPECT_EQ(env.Get("a"), "x & y");
  EXPECT_EQ(run("set A="), "");
  EXPECT_EQ(env.Get("A"), std::nullopt);
  EXPECT_EQ(run("set =x"), "!set: =x: not a valid name");
  EXPECT_EQ(env.Entries().size(), 2u);
}

TEST(CommandEnvironment, NamesFollowTheInterpretersCaseRule) {
  CommandEnvironment sh(kPosix, {"Home=/a", "HOME=/b", "HOSTNAME=x"});
  EXPECT_EQ(sh.Get("HOME"), "/b");
  EXPECT_FALSE(sh.Changed());
  EXPECT_EQ(sh.NamesStartingWith("HO"), (std::vector<std::string>{"HOME", "HOSTNAME"}));
  sh.Unset("nothing");
  EXPECT_FALSE(sh.Changed()) << "unsetting what is not there changes nothing";
  CommandEnvironment cmd(kWin, {"Path=C:\\bin", "windir=C:\\Windows"});
  cmd.Set("PATH", "x");
  EXPECT_EQ(cmd.Entries(), (std::vector<std::string>{"Path=x", "windir=C:\\Windows"}));
  EXPECT_EQ(cmd.NamesStartingWith("WIN"), std::vector<std::string>{"windir"});
  for (const char* bad : {"", "1x", "a-b", "a=b", "a b"}) {
    EXPECT_FALSE(IsVariableName(bad, kPosix)) << bad;
  }
  EXPECT_TRUE(IsVariableName("_x1", kPosix));
  EXPECT_TRUE(IsVariableName("a b(x86)", kWin));
  EXPECT_FALSE(IsVariableName("a=b", kWin));
}

TEST(CommandQueue, PastedLinesSplitAtEveryBreakAndWaitInOrder) {
  EXPECT_EQ(SplitLines("a\r\nb\rc\n\nd\n"), (std::vector<std::string>{"a", "b", "c", "", "d"}));
  EXPECT_EQ(SplitLines("tail"), std::vector<std::string>{"tail"});
  CommandQueue queue;
  queue.Add({"one", " \t", "", "two"});
  queue.PutFirst({"unread 1", "unread 2"});
  EXPECT_EQ(queue.Size(), 4u) << "blank lines only write another prompt: left out";
  EXPECT_EQ(queue.Next(), "unread 1");
  EXPECT_EQ(queue.Next(), "unread 2");
  EXPECT_EQ(queue.Next(), "one");
  EXPECT_EQ(queue.Drop(), 1u);
  EXPECT_EQ(queue.Next(), std::nullopt);
  EXPECT_EQ(DroppedNote(1), "1 queued command dropped");
  EXPECT_EQ(DroppedNote(10000), "10000 queued commands dropped");
}

TEST(ExitStatusText, NamesHowACommandFailed) {
  EXPECT_FALSE(Failed({false, 0}));
  EXPECT_EQ(ExitStatusText({false, 3}), "exit status 3");
  EXPECT_EQ(ExitStatusText({true, 2}), "interrupted");
  EXPECT_EQ(ExitStatusText({false, 0xC000013AU}), "interrupted");
  EXPECT_EQ(ExitStatusText({true, 9}), "signal 9 (killed)");
  EXPECT_EQ(ExitStatusText({true, 40}), "signal 40");
  EXPECT_EQ(ExitStatusText({false, 0xC0000005U}), "exit status 0xC0000005");
}

TEST(FindLink, TakesTheUrlOrTheExistingPathUnderTheClick) {
  const std::set<std::string> there = {"src/main.cpp", "/tmp/x", "..", "a.txt"};
  const auto exists = [&](const std::string& path) { return there.count(path) > 0; };
  const auto at = [&](std::string_view line, std::string_view word) {
    return FindLink(line, line.find(word), exists);
  };
  const std::string url = "see (https://example.org/a?b=1), then";
  const auto link = at(url, "example");
  ASSERT_TRUE(link && link->url);
  EXPECT_EQ(link->target, "https://example.org/a?b=1");
  EXPECT_EQ(url.substr(link->begin, link->end - link->begin), link->target);
  EXPECT_FALSE(at(url, "see")) << "a word that is no path";
  const std::pair<std::string_view, std::string_view> paths[] = {
      {"src/main.cpp:12:5: error", "src/main.cpp"},  // a compiler's position
      {"/tmp/x>ls", "/tmp/x"},                       // a prompt
      {"'a.txt',", "a.txt"},
      {"cd ..", ".."},
  };
  for (const auto& [line, target] : paths) {
    const auto found = at(line, target);
    ASSERT_TRUE(found) << line;
    EXPECT_EQ(std::tuple(found->target, found->present, found->url),
              std::tuple(std::string(target), true, false))
        << line;
  }
  const auto gone = at("removed: /tmp/gone.", "/tmp/gone");
  ASSERT_TRUE(gone);
  EXPECT_EQ(std::pair(gone->target, gone->present), std::pair(std::string("/tmp/gone"), false));
  EXPECT_FALSE(at("x", "x")) << "past the words";
}

}  // namespace
}  // namespace pelorin
