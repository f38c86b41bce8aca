// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The pure text rules of a typed command line: blank normalising and the built-in table.

#include <string>
#include <string_view>

namespace pelorin {

// Trims spaces and tabs at both ends and turns every inner run of them into one space.
// No other character counts as a blank (quotes do not protect a run).
std::string NormalizeBlanks(std::string_view text);

enum class LineKind {
  Empty,     // nothing but blanks
  BareCd,    // exactly "cd"
  Cd,        // "cd " or "cd." followed by the path (argument)
  BareRun,   // exactly "run"
  Run,       // "run " followed by the command (argument)
  External,  // everything else goes to the interpreter
};

struct ParsedLine {
  LineKind kind = LineKind::Empty;
  std::string argument;  // the text behind "cd" (two characters) or "run " (four characters)
};

// Recognises the built-ins in an already normalised line. Comparisons are exact and
// case-sensitive: "CD .." and "cd\x" go to the interpreter.
ParsedLine ParseCommandLine(std::string_view normalized);

}  // namespace pelorin
