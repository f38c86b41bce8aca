// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "console/CommandLine.h"

namespace pelorin {
namespace {

TEST(NormalizeBlanks, TrimsAndCollapsesRunsOfSpacesAndTabs) {
  EXPECT_EQ(NormalizeBlanks("  dir\t\t/w  "), "dir /w");
  EXPECT_EQ(NormalizeBlanks("echo a   b"), "echo a b");
  EXPECT_EQ(NormalizeBlanks("echo \"a \t  b\""), "echo \"a b\"") << "quotes do not protect a run";
  EXPECT_EQ(NormalizeBlanks(" \t \t"), "");
  EXPECT_EQ(NormalizeBlanks(""), "");
  EXPECT_EQ(NormalizeBlanks("x"), "x");
  EXPECT_EQ(NormalizeBlanks("\tx \t y\t"), "x y");
}

TEST(NormalizeBlanks, OnlySpaceAndTabAreBlanks) {
  EXPECT_EQ(NormalizeBlanks("a\nb"), "a\nb");
  EXPECT_EQ(NormalizeBlanks("\r a \v"), "\r a \v");
  EXPECT_EQ(NormalizeBlanks("a\xC2\xA0 b"), "a\xC2\xA0 b") << "no-break space is not a blank";
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
      {"cd /tmp", LineKind::Cd, " /tmp"},
      {"run", LineKind::BareRun, ""},
      {"run notepad", LineKind::Run, "notepad"},
      {"run x y", LineKind::Run, "x y"},
      // Everything else belongs to the interpreter.
      {"CD ..", LineKind::External, ""},
      {"Cd ..", LineKind::External, ""},
      {"cdx", LineKind::External, ""},
      {"cd\\", LineKind::External, ""},
      {"c:", LineKind::External, ""},
      {"runas /?", LineKind::External, ""},
      {"RUN x", LineKind::External, ""},
      {"c", LineKind::External, ""},
      {"ls", LineKind::External, ""},
  };
  for (const Case& c : cases) {
    const ParsedLine parsed = ParseCommandLine(c.line);
    EXPECT_EQ(parsed.kind, c.kind) << c.line;
    EXPECT_EQ(parsed.argument, c.argument) << c.line;
  }
}

}  // namespace
}  // namespace pelorin
