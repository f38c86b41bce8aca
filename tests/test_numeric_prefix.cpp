#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "editor/NumericPrefix.h"

namespace pelorin {
namespace {

TEST(LeadingNumber, DecimalForms) {
  EXPECT_EQ(LeadingNumber(" 12abc"), 12.0);
  EXPECT_EQ(LeadingNumber("+7"), 7.0);
  EXPECT_EQ(LeadingNumber("-42x"), -42.0);
  EXPECT_EQ(LeadingNumber("1.5"), 1.5);
  EXPECT_EQ(LeadingNumber(".5"), 0.5);
  EXPECT_EQ(LeadingNumber("5."), 5.0);
  EXPECT_EQ(LeadingNumber("1.2.3"), 1.2);
  EXPECT_EQ(LeadingNumber("007"), 7.0);
  EXPECT_EQ(LeadingNumber("0.1"), 0.1);  // correctly rounded, not accumulated
}

TEST(LeadingNumber, BlanksTabsAndLineFeedsAreSkippedEverywhere) {
  EXPECT_EQ(LeadingNumber("1 2"), 12.0);
  EXPECT_EQ(LeadingNumber("- 3"), -3.0);
  EXPECT_EQ(LeadingNumber("\t\n 1\t.\n5"), 1.5);
  EXPECT_EQ(LeadingNumber("1 e 2"), 100.0);
  EXPECT_EQ(LeadingNumber("& h 1 0"), 16.0);
  // A carriage return is not a blank: it ends the number.
  EXPECT_EQ(LeadingNumber("1\r2"), 1.0);
}

TEST(LeadingNumber, Exponents) {
  EXPECT_EQ(LeadingNumber("1e1"), 10.0);
  EXPECT_EQ(LeadingNumber("1E+2"), 100.0);
  EXPECT_EQ(LeadingNumber("25e-1"), 2.5);
  EXPECT_EQ(LeadingNumber("1d2"), 100.0);
  EXPECT_EQ(LeadingNumber("1D-1"), 0.1);
  // A mark without digits is not part of the number.
  EXPECT_EQ(LeadingNumber("1e"), 1.0);
  EXPECT_EQ(LeadingNumber("1e+"), 1.0);
  EXPECT_EQ(LeadingNumber("3e-x"), 3.0);
}

TEST(LeadingNumber, TextWithoutANumberIsZero) {
  for (const char* text : {"", "   ", "abc", "-", "+", ".", "-.", "e5", "&", "&H", "&Hxyz", "&O8",
                           "&x10", "--3", "-&H10"}) {
    const double v = LeadingNumber(text);
    EXPECT_EQ(v, 0.0) << '"' << text << '"';
    EXPECT_FALSE(std::signbit(v)) << '"' << text << '"';
  }
  EXPECT_EQ(LeadingNumber(std::string("\0"
                                      "5",
                                      2)),
            0.0);
  EXPECT_FALSE(std::signbit(LeadingNumber("-0")));
}

TEST(LeadingNumber, HexAndOctal) {
  EXPECT_EQ(LeadingNumber("&H10"), 16.0);
  EXPECT_EQ(LeadingNumber("&hFf"), 255.0);
  EXPECT_EQ(LeadingNumber("&O17"), 15.0);
  EXPECT_EQ(LeadingNumber("&o178"), 15.0);  // 8 is no octal digit
  EXPECT_EQ(LeadingNumber("&H1g"), 1.0);
  // No 16- or 32-bit wrap into negative numbers: the digits' value, at any length.
  EXPECT_EQ(LeadingNumber("&HFFFF"), 65535.0);
  EXPECT_EQ(LeadingNumber("&Hffffffff"), 4294967295.0);
  EXPECT_EQ(LeadingNumber("&H100000000"), 4294967296.0);
  EXPECT_EQ(LeadingNumber("&O37777777777"), 4294967295.0);
  EXPECT_TRUE(std::isinf(LeadingNumber("&H" + std::string(400, 'f'))));
  EXPECT_TRUE(std::isinf(LeadingNumber("&O" + std::string(400, '7'))));
}

TEST(LeadingNumber, ExtremesNeitherCrashNorGiveNaN) {
  EXPECT_EQ(LeadingNumber("1e400"), HUGE_VAL);
  EXPECT_EQ(LeadingNumber("-1e99999999999999999999999"), -HUGE_VAL);
  EXPECT_EQ(LeadingNumber("1e-99999999999999999999999"), 0.0);
  EXPECT_EQ(LeadingNumber("0e99999999999999999999999"), 0.0);
  EXPECT_EQ(LeadingNumber("1e308"), 1e308);
  EXPECT_EQ(LeadingNumber("1.7976931348623157e308"), 1.7976931348623157e308);
  EXPECT_EQ(LeadingNumber("1.8e308"), HUGE_VAL);
  // Many digits shift the decimal order: these stay in range.
  EXPECT_EQ(LeadingNumber("0." + std::string(500, '0') + "1e502"), 10.0);
  EXPECT_EQ(LeadingNumber("1" + std::string(500, '0') + "e-500"), 1.0);
  EXPECT_EQ(LeadingNumber(std::string(100000, '9')), HUGE_VAL);
}

TEST(LineIndexFromText, OneBasedNumberBecomesIndex) {
  EXPECT_EQ(LineIndexFromText("1", 5), 0);
  EXPECT_EQ(LineIndexFromText("5", 5), 4);
  EXPECT_EQ(LineIndexFromText(" 3 ", 5), 2);
  EXPECT_EQ(LineIndexFromText("&H3", 5), 2);
  EXPECT_EQ(LineIndexFromText("3abc", 5), 2);
}

TEST(LineIndexFromText, HalvesRoundToEven) {
  EXPECT_EQ(LineIndexFromText("1.5", 10), 0);  // 0.5 -> 0
  EXPECT_EQ(LineIndexFromText("2.5", 10), 2);  // 1.5 -> 2
  EXPECT_EQ(LineIndexFromText("3.5", 10), 2);  // 2.5 -> 2
  EXPECT_EQ(LineIndexFromText("4.5", 10), 4);  // 3.5 -> 4
  EXPECT_EQ(LineIndexFromText("2.49", 10), 1);
  EXPECT_EQ(LineIndexFromText("2.51", 10), 2);
  // -0.5 rounds to 0, so a half names the first line.
  EXPECT_EQ(LineIndexFromText("0.5", 10), 0);
  EXPECT_EQ(LineIndexFromText("0.4", 10), std::nullopt);
}

TEST(LineIndexFromText, OutOfRangeIsRefused) {
  for (const char* text : {"", "abc", "0", "-3", "6", "1e30", "-1e30", "1e400", "-1e400",
                           "&Hffffffff", "2147483648", "4294967297"}) {
    EXPECT_EQ(LineIndexFromText(text, 5), std::nullopt) << '"' << text << '"';
  }
  EXPECT_EQ(LineIndexFromText("1", 0), std::nullopt);
  EXPECT_EQ(LineIndexFromText("1", -1), std::nullopt);
}

TEST(LineIndexFromText, LargestIndexStillFits) {
  EXPECT_EQ(LineIndexFromText("2147483647", 2147483647), 2147483646);
  EXPECT_EQ(LineIndexFromText("2147483648", 2147483647), std::nullopt);
}

}  // namespace
}  // namespace pelorin
