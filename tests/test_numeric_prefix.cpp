// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <string>

#include "editor/NumericPrefix.h"

namespace pelorin {
namespace {

// Blanks, tabs and line feeds are skipped everywhere, a carriage return ends the number; an
// exponent mark without digits is not read; hex and octal give their digits' value at any length,
// never a wrap into negative numbers; no number is +0; extremes are infinity or 0, never NaN.
TEST(LeadingNumber, ReadsTheLeadingNumberInEveryForm) {
  const std::pair<const char*, double> cases[] = {
      {" 12abc", 12},  {"-42x", -42}, {".5", 0.5}, {"1.2.3", 1.2},
      {"0.1", 0.1},    {"1 2", 12},   {"- 3", -3}, {"\t\n 1\t.\n5", 1.5},
      {"& h 1 0", 16}, {"1\r2", 1},   {"1e1", 10}, {"25e-1", 2.5},
      {"1D-1", 0.1},   {"1e", 1},     {"1e+", 1},  {"3e-x", 3},
      {"&H10", 16},    {"&o178", 15}, {"&H1g", 1}, {"&Hffffffff", 4294967295.0}};
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(LeadingNumber(text), value) << '"' << text << '"';
  }
  for (const char* text : {"", "abc", "-", "-0", ".", "e5", "&H", "&O8", "--3", "-&H10",
                           "1e-99999999999999999999999", "0e99999999999999999999999"}) {
    EXPECT_EQ(LeadingNumber(text), 0.0) << '"' << text << '"';
    EXPECT_FALSE(std::signbit(LeadingNumber(text))) << '"' << text << '"';
  }
  for (const std::string& text : {std::string("1e400"), std::string("1.8e308"),
                                  "&H" + std::string(400, 'f'), std::string(100000, '9')}) {
    EXPECT_EQ(LeadingNumber(text), HUGE_VAL) << text.substr(0, 20);
  }
  EXPECT_EQ(LeadingNumber("-1e99999999999999999999999"), -HUGE_VAL);
  EXPECT_EQ(LeadingNumber("1.7976931348623157e308"), 1.7976931348623157e308);
  EXPECT_EQ(LeadingNumber(std::string(1, '\0') + "5"), 0.0);
  // Long digit runs shift the decimal order: these stay in range.
  EXPECT_EQ(LeadingNumber("0." + std::string(500, '0') + "1e502"), 10.0);
  EXPECT_EQ(LeadingNumber("1" + std::string(500, '0') + "e-500"), 1.0);
}

TEST(LineIndexFromText, OneBasedLineRoundedHalfToEvenAndOnlyInRange) {
  const std::pair<const char*, int> lines[] = {{"1", 0},    {"10", 9},  {" 3 ", 2}, {"&H3", 2},
                                               {"3abc", 2}, {"1.5", 0}, {"2.5", 2}, {"3.5", 2},
                                               {"2.49", 1}, {"0.5", 0}};
  for (const auto& [text, index] : lines) {
    EXPECT_EQ(LineIndexFromText(text, 10), index) << '"' << text << '"';
  }
  for (const char* text :
       {"0", "-3", "", "11", "abc", "0.4", "1e30", "-1e400", "4294967297", "&Hffffffff"}) {
    EXPECT_EQ(LineIndexFromText(text, 10), std::nullopt) << '"' << text << '"';
  }
  EXPECT_EQ(LineIndexFromText("1", 0), std::nullopt);
  EXPECT_EQ(LineIndexFromText("2147483647", 2147483647), 2147483646);
  EXPECT_EQ(LineIndexFromText("2147483648", 2147483647), std::nullopt);
}

}  // namespace
}  // namespace pelorin
