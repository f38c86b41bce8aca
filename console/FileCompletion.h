// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// File name completion on the input line (Tab): the word before the caret is completed as the
// name of a file or folder, relative to the current directory unless the word holds a path of
// its own (src/con, /usr/li, ~/x with sh). The word is read with the interpreter's quoting, so
// it may be quoted or hold escaped blanks; what comes back is quoted again where the name needs
// it ("my folder/"), in the quote the word began with, else in double quotes.
//
// Bounded: a folder is read at most up to CompletionLimits::maxScanned entries and at most
// maxCandidates names are kept for the list, so a folder of a hundred thousand entries costs
// one pass over its names and never a list that long.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "console/CommandEnvironment.h"
#include "console/CommandLine.h"

namespace pelorin {

struct CompletionRules {
  Quoting quoting = Quoting::Posix;
  bool ignoreCase = false;   // Windows: names match and share their common part without case
  bool hideDotFiles = true;  // sh: names beginning with a dot only when the word does
  char separator = '/';      // put behind a folder's name
};

// The platform's rules (ShellFlavour_posix.cpp / ShellFlavour_win32.cpp).
CompletionRules PlatformCompletionRules();

struct CompletionLimits {
  std::size_t maxCandidates = 1000;
  std::size_t maxScanned = 200000;
};

struct CompletionCandidate {
  std::string name;         // as the list shows it: a folder's ends in the separator
  std::string replacement;  // what the word becomes when this one is picked; empty for the note
};

struct FileCompletion {
  std::size_t wordStart = 0;  // where the word begins in the text before the caret
  // What replaces the text from wordStart to the caret: the one name that matches, or the
  // longest part all matching names share. The word as typed when there is nothing to add.
  std::string replacement;
  // When several names match: each of them (sorted), and last a note when not all could be
  // listed ("... 1234 more") or the folder was too big to read whole ("... more not read").
  std::vector<CompletionCandidate> candidates;
};

// beforeCaret: the text behind the prompt up to the caret (UTF-8). directory: the current
// directory. home: what a leading ~ stands for with sh (empty: none). lookup: the variables a
// folder part may name ($HOME/do with sh, %USERPROFILE%\Do with cmd), which then completes in
// that folder and stays as typed. With sh a name beginning with "-" comes back as ./-rf, so that
// no command takes it for an option.
FileCompletion CompleteFileName(std::string_view beforeCaret, const std::string& directory,
                                const std::string& home,
                                const CompletionRules& rules = PlatformCompletionRules(),
                                const CompletionLimits& limits = {},
                                const VariableLookup& lookup = {});

// How many bytes of a the two share from their start, whole characters only; ignoreCase: letters
// of the scripts names are most often written in (Latin, Greek, Cyrillic) match either case.
std::size_t CommonBytes(std::string_view a, std::string_view b, bool ignoreCase);

// The word the caret ends, as completion reads it with the interpreter's quoting.
struct CompletionWord {
  std::size_t start = 0;  // where it begins in the text
  std::string value;      // quotes and escapes removed
  char quote = '\0';      // the quote mark it begins with
  bool tilde = false;     // sh: it begins with an unquoted ~ that stands for home
  // sh: the bytes of value up to the separator after the last $ that names a variable ($HOME/);
  // they stay as typed, outside quotes. A quoted or escaped $ is part of a name. 0: none.
  std::size_t variableLead = 0;
};
CompletionWord ReadCompletionWord(std::string_view beforeCaret, Quoting quoting);

// What the word becomes for a completed value: quoted where the value needs it (in the quote
// the word began with, else in double quotes), a leading ~ or a folder part naming a variable
// ($HOME/) left outside the quotes; closed says whether the quote is closed (a whole name) or
// left open for more typing (a common part).
std::string QuoteCompleted(const std::string& value, const CompletionWord& word, bool closed,
                           Quoting quoting);

}  // namespace pelorin
