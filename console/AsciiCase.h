// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Letters A to Z without regard to case, as cmd compares names; every other byte (UTF-8 ones
// included) compares as it is.

#include <algorithm>
#include <string>
#include <string_view>

namespace pelorin::ascii {

constexpr char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string Lowered(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(), Lower);
  return out;
}

inline bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [](char x, char y) { return Lower(x) == Lower(y); });
}

}  // namespace pelorin::ascii
