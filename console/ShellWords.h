// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Words of a typed line as the interpreter reads them for the built-ins: split at blanks outside
// quotes, quotes removed, variables expanded.

#include <string>
#include <string_view>
#include <vector>

#include "console/CommandEnvironment.h"
#include "console/CommandLine.h"

namespace pelorin {

// The words of text, as typed (quotes and all), split at the blanks ReadQuoting finds.
std::vector<std::string_view> SplitWords(std::string_view text, Quoting quoting);

// One word's value. sh: quotes and escaping backslashes removed, $NAME and ${NAME} expanded
// outside single quotes (an unset variable is empty; a $ before anything else stays), blanks
// kept as they stand. cmd: %NAME% expanded first, wherever it stands (an unset one stays as
// typed, as at cmd's prompt), then one pair of surrounding double quotes removed. lookup may be
// empty: nothing is expanded.
std::string ReadWord(std::string_view word, Quoting quoting, const VariableLookup& lookup);

// sh: the value of NAME=value as an assignment reads it: ReadWord, and a bare ~ at the start or
// after an unquoted colon, alone or before a slash, is home (PATH=~/bin:~/.local/bin). A tilde
// quoted or escaped, ~user, or any tilde while home is empty stays as typed.
std::string ReadAssignedValue(std::string_view typed, Quoting quoting, const VariableLookup& lookup,
                              std::string_view home);

// sh: where word asks for more than ReadWord does (a command substitution, arithmetic, a
// parameter with an operator or a special one such as $1 or $?), the rest of the word from
// there; empty when ReadWord reads all of it as sh would.
std::string_view UnreadExpansion(std::string_view word, Quoting quoting);

// cmd's %NAME% expansion alone.
std::string ExpandPercent(std::string_view text, const VariableLookup& lookup);
// sh's $NAME and ${NAME} expansion alone, in text already read (no quotes left to honour).
std::string ExpandDollar(std::string_view text, const VariableLookup& lookup);

}  // namespace pelorin
