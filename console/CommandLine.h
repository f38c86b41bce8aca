// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The pure text rules of a typed command line: how the interpreter reads quotes, blank
// normalising and the built-in table.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

// How the interpreter reads quotes.
enum class Quoting {
  Windows,  // cmd: double quotes protect what they enclose
  Posix,    // sh: double and single quotes, and a backslash protecting the next character
};

// The platform's interpreter's rule (ShellFlavour_posix.cpp / ShellFlavour_win32.cpp).
Quoting PlatformQuoting();

// A folder's path as the prompt and the caption show it: each control character (C0 and DEL;
// a line break above all) stands as U+FFFD, so that the prompt stays one line the user can
// type behind. Every other path is shown as it is.
std::string ShownPath(std::string_view path);

// What each byte of a line is to the interpreter.
enum class CharRole : unsigned char {
  Blank,   // a space or tab that separates words
  Text,    // part of a word, quoted and escaped blanks included
  Quote,   // a quote mark that opens or closes a quoted part
  Escape,  // a backslash that protects the byte after it (Posix)
};

// The role of every byte of text, in order. An unclosed quote runs to the end of the text.
// Inside double quotes (Posix) a backslash escapes only a dollar sign, backquote, double quote,
// backslash or line break, as in sh; before anything else it is text.
std::vector<CharRole> ReadQuoting(std::string_view text, Quoting quoting);

// Trims blanks (spaces and tabs) at both ends and turns every inner run of them into one space,
// outside quotes only: what quotes protect (and, Posix, a backslash) is kept byte for byte, so
// the command means what was typed. The rest of a line with an unclosed quote stays as typed,
// its trailing blanks included. No other character counts as a blank.
std::string NormalizeBlanks(std::string_view text, Quoting quoting = PlatformQuoting());

enum class LineKind {
  Empty,     // nothing but blanks
  BareCd,    // "cd" alone: home with sh; cmd prints the current folder
  Cd,        // cd and a folder (argument)
  CdBack,    // "cd -": back to the folder before
  Pushd,     // pushd and a folder (argument; empty for pushd alone)
  Popd,      // popd
  Export,    // sh: export and its assignments (argument)
  Unset,     // sh: unset and its names (argument)
  Set,       // cmd: set NAME=value (argument: what follows "set ")
  Clear,     // cls, and with sh clear
  Drive,     // cmd: a drive letter and a colon alone (argument: the letter)
  BareRun,   // exactly "run"
  Run,       // "run " followed by the command (argument)
  External,  // everything else goes to the interpreter
};

// When the rest of a line behind a built-in runs.
enum class Then {
  Always,    // behind ";" (sh) or "&" (cmd)
  IfOk,      // behind "&&"
  IfFailed,  // behind "||"
};

struct ParsedLine {
  LineKind kind = LineKind::Empty;
  std::string argument;  // the built-in's text: behind "cd" (two characters), "run " and so on
  // The commands behind the first unquoted separator after a built-in of the table (not run,
  // which hands its whole rest to the interpreter); empty when there is none.
  std::string then;
  Then when = Then::Always;
};

// Recognises the built-ins in an already normalised line. With sh every name is compared
// exactly, case and all: "CD .." and "cd\x" go to the interpreter, and so do a plain "export"
// or "unset" and one given options, which list or act on the interpreter's own variables. cmd
// does not tell case apart, and neither does the table then (CD, Chdir, SET; run stays ours and
// lower case); it also takes cmd's own forms: "cd\", "cd..", "cd/d", chdir, a drive alone
// ("d:"), and set only with an "=" (set alone, "set /a" and "set NAME" go to cmd).
ParsedLine ParseCommandLine(std::string_view normalized, Quoting flavour = PlatformQuoting());

// The first unquoted separator of a normalised text (";" or "&", "&&", "||"): where it stands,
// what it runs the rest on, and the rest behind it; nothing when the text holds none.
struct NextCommand {
  std::size_t at = 0;
  Then when = Then::Always;
  std::string rest;
};
std::optional<NextCommand> SplitFirstCommand(std::string_view text,
                                             Quoting flavour = PlatformQuoting());

}  // namespace pelorin
