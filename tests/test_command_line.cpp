// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "console/CdCommand.h"
#include "console/CommandLine.h"

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

TEST(ParseCommandLine, RecognisesTheBuiltInsExactly) {
  struct Case {
    const char* line;
    LineKind kind;
    const char* argument;
  };
  const Case cases[] = {
      {"", LineKind::Empty, ""},
      {"cd", LineKind::BareCd, ""},
      {"cd ..", LineKind::Cd, " .."},
      {"cd..", LineKind::Cd, ".."},
      {"cd.", LineKind::Cd, "."},
      {"run", LineKind::BareRun, ""},
      {"run notepad", LineKind::Run, "notepad"},
      // Everything else belongs to the interpreter.
      {"CD ..", LineKind::External, ""},
      {"cdx", LineKind::External, ""},
      {"cd\\", LineKind::External, ""},
      {"c:", LineKind::External, ""},
      {"runas /?", LineKind::External, ""},
      {"RUN x", LineKind::External, ""},
      {"c", LineKind::External, ""},
  };
  for (const Case& c : cases) {
    const ParsedLine parsed = ParseCommandLine(c.line);
    EXPECT_EQ(parsed.kind, c.kind) << c.line;
    EXPECT_EQ(parsed.argument, c.argument) << c.line;
  }
}

TEST(ParseCommandLine, QuotedBlanksDoNotHideTheBuiltIns) {
  for (const Quoting q : {kWin, kPosix}) {
    const ParsedLine cd = ParseCommandLine(NormalizeBlanks("  cd   \"two  spaces\"  ", q));
    EXPECT_EQ(cd.kind, LineKind::Cd);
    EXPECT_EQ(cd.argument, " \"two  spaces\"");
    const ParsedLine run = ParseCommandLine(NormalizeBlanks("run\t \"a  b\"", q));
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

}  // namespace
}  // namespace pelorin
