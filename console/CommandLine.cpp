// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CommandLine.h"

namespace pelorin {

namespace {
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// What a backslash inside double quotes escapes in sh; before anything else it is kept.
bool EscapableInDoubleQuotes(char c) {
  return c == '$' || c == '`' || c == '"' || c == '\\' || c == '\n';
}
}  // namespace

std::vector<CharRole> ReadQuoting(std::string_view text, Quoting quoting) {
  std::vector<CharRole> roles(text.size(), CharRole::Text);
  const bool posix = quoting == Quoting::Posix;
  char open = '\0';  // the quote mark of the quoted part we are in
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool hasNext = i + 1 < text.size();
    if (open == '\0') {
      if (IsBlank(c)) {
        roles[i] = CharRole::Blank;
      } else if (c == '"' || (posix && c == '\'')) {
        roles[i] = CharRole::Quote;
        open = c;
      } else if (posix && c == '\\' && hasNext) {
        roles[i] = CharRole::Escape;
        ++i;  // the next byte is text, whatever it is
      }
    } else if (c == open) {
      roles[i] = CharRole::Quote;
      open = '\0';
    } else if (posix && open == '"' && c == '\\' && hasNext &&
               EscapableInDoubleQuotes(text[i + 1])) {
      roles[i] = CharRole::Escape;
      ++i;
    }
  }
  return roles;
}

std::string NormalizeBlanks(std::string_view text, Quoting quoting) {
  const std::vector<CharRole> roles = ReadQuoting(text, quoting);
  std::string result;
  result.reserve(text.size());
  bool blankPending = false;  // a run of blanks after something written: one space, if more follows
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (roles[i] == CharRole::Blank) {
      blankPending = !result.empty();
      continue;
    }
    if (blankPending) {
      result.push_back(' ');
      blankPending = false;
    }
    result.push_back(text[i]);
  }
  return result;
}

std::string ShownPath(std::string_view path) {
  std::string shown;
  shown.reserve(path.size());
  for (const char c : path) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      shown += "\xEF\xBF\xBD";  // U+FFFD
    } else {
      shown.push_back(c);
    }
  }
  return shown;
}

ParsedLine ParseCommandLine(std::string_view line) {
  if (line.empty()) {
    return {LineKind::Empty, {}};
  }
  if (line == "cd") {
    return {LineKind::BareCd, {}};
  }
  if (line.size() >= 3 && (line.substr(0, 3) == "cd " || line.substr(0, 3) == "cd.")) {
    return {LineKind::Cd, std::string(line.substr(2))};
  }
  if (line == "run") {
    return {LineKind::BareRun, {}};
  }
  if (line.size() >= 4 && line.substr(0, 4) == "run ") {
    return {LineKind::Run, std::string(line.substr(4))};
  }
  return {LineKind::External, {}};
}

}  // namespace pelorin
