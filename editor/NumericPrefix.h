// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The leading number of a text typed into a bottom panel, and the line index it names.
// Pure functions, no Qt: the panels pass their text as UTF-8.

#include <optional>
#include <string_view>

namespace pelorin {

// Reads the number at the start of text, the way the classic numeric-prefix rule does:
// - blanks, tabs and line feeds are skipped wherever they stand, inside the number too
//   ("1 2" is 12, "- 3" is -3);
// - a decimal number is an optional sign, digits, an optional period with digits, and an
//   optional exponent: E, e, D or d, an optional sign and digits ("1D2" is 100). An exponent
//   without digits is not read ("1e+" is 1);
// - &H and &O (either case) start a hexadecimal or octal number. These have no sign and are read
//   as the non-negative value their digits spell at any length: "&Hffffffff" is 4294967295,
//   never -1;
// - reading stops at the first character that fits none of this; a text without a number is 0;
// - a value beyond the range of a double is +-infinity, a vanishing one 0. Never NaN.
double LeadingNumber(std::string_view text);

// The 0-based line index the user means by typing a 1-based line number: the leading number
// less 1, rounded to the nearest whole number with halves going to the even neighbour
// ("1.5" is line 0, "2.5" is line 2). Empty when that index is below 0, not below lineCount, or
// not a finite number.
std::optional<int> LineIndexFromText(std::string_view text, int lineCount);

}  // namespace pelorin
