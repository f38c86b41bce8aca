// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/NumericPrefix.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <system_error>

#include "platform/Rounding.h"

namespace pelorin {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// Walks the text past blanks, tabs and line feeds, which never end a number.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  // The next character that counts, '\0' at the end. Does not consume it.
  char Peek() {
    while (pos_ < text_.size() && IsSkipped(text_[pos_])) {
      ++pos_;
    }
    return pos_ < text_.size() ? text_[pos_] : '\0';
  }
  void Take() { ++pos_; }
  bool TakeIf(char c) { return TakeIf(c, c); }
  bool TakeIf(char a, char b) {
    const char c = Peek();
    if (c == a || c == b) {
      Take();
      return true;
    }
    return false;
  }
  std::string Digits(int base) {
    std::string out;
    for (char c = Peek(); DigitValue(c) < base; c = Peek()) {
      out += c;
      Take();
    }
    return out;
  }

  static int DigitValue(char c) {
    if (c >= '0' && c <= '9') {
      return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
      return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
      return c - 'A' + 10;
    }
    return 99;
  }

 private:
  static bool IsSkipped(char c) { return c == ' ' || c == '\t' || c == '\n'; }

  std::string_view text_;
  std::size_t pos_ = 0;
};

double RadixNumber(const std::string& digits, int base) {
  if (digits.empty()) {
    return 0.0;
  }
  if (base == 16) {
    // from_chars rounds correctly at any length and reports overflow instead of wrapping.
    double v = 0.0;
    const auto result =
        std::from_chars(digits.data(), digits.data() + digits.size(), v, std::chars_format::hex);
    return result.ec == std::errc::result_out_of_range ? kInf : v;
  }
  double v = 0.0;  // exact up to 2^53, then rounded; overflows to infinity
  for (char c : digits) {
    v = v * base + Reader::DigitValue(c);
  }
  return v;
}

// intPart.fracPart times 10^exponent, for digit strings of any length and any exponent.
double DecimalNumber(const std::string& intPart, const std::string& fracPart,
                     std::int64_t exponent) {
  std::string digits = intPart + fracPart;
  const std::size_t first = digits.find_first_not_of('0');
  if (first == std::string::npos) {
    return 0.0;
  }
  digits.erase(0, first);
  const std::int64_t scale = exponent - static_cast<std::int64_t>(fracPart.size());
  // Decimal order of the leading digit: settles overflow and underflow before any parsing, so
  // the exponent handed on below stays small.
  const std::int64_t order = static_cast<std::int64_t>(digits.size()) - 1 + scale;
  if (order > 400) {
    return kInf;
  }
  if (order < -400) {
    return 0.0;
  }
  digits += 'e';
  digits += std::to_string(scale);
  double v = 0.0;
  const auto result = std::from_chars(digits.data(), digits.data() + digits.size(), v);
  if (result.ec == std::errc::result_out_of_range) {
    return order > 0 ? kInf : 0.0;
  }
  return v;
}

}  // namespace

double LeadingNumber(std::string_view text) {
  Reader in(text);
  if (in.TakeIf('&')) {
    if (in.TakeIf('H', 'h')) {
      return RadixNumber(in.Digits(16), 16);
    }
    if (in.TakeIf('O', 'o')) {
      return RadixNumber(in.Digits(8), 8);
    }
    return 0.0;
  }

  bool negative = false;
  if (in.TakeIf('-')) {
    negative = true;
  } else {
    in.TakeIf('+');
  }
  const std::string intPart = in.Digits(10);
  std::string fracPart;
  if (in.TakeIf('.')) {
    fracPart = in.Digits(10);
  }
  if (intPart.empty() && fracPart.empty()) {
    return 0.0;
  }

  std::int64_t exponent = 0;
  const char e = in.Peek();
  if (e == 'E' || e == 'e' || e == 'D' || e == 'd') {
    in.Take();
    bool expNegative = false;
    if (in.TakeIf('-')) {
      expNegative = true;
    } else {
      in.TakeIf('+');
    }
    // Saturate: anything this large is infinity or zero anyway.
    for (char c : in.Digits(10)) {
      exponent = std::min<std::int64_t>(exponent * 10 + (c - '0'), std::int64_t{1} << 40);
    }
    if (expNegative) {
      exponent = -exponent;
    }
    // An exponent mark without digits ends the number before the mark: exponent stays 0.
  }

  const double v = DecimalNumber(intPart, fracPart, exponent);
  return negative && v != 0.0 ? -v : v;
}

std::optional<int> LineIndexFromText(std::string_view text, int lineCount) {
  const double line = RoundHalfEven(LeadingNumber(text) - 1.0);
  // Written so that NaN fails too.
  if (!(line >= 0.0 && line < static_cast<double>(lineCount))) {
    return std::nullopt;
  }
  return static_cast<int>(line);
}

}  // namespace pelorin
