// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CommandLine.h"

#include "console/AsciiCase.h"

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

namespace {

// The line begins with the name (without regard to case for cmd) and then ends, or goes on
// with one of the bytes in next.
bool Names(std::string_view line, std::string_view name, Quoting flavour,
           std::string_view next = " ") {
  if (line.size() < name.size()) {
    return false;
  }
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (flavour == Quoting::Windows ? ascii::Lower(line[i]) != name[i] : line[i] != name[i]) {
      return false;
    }
  }
  return line.size() == name.size() || next.find(line[name.size()]) != std::string_view::npos;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

// Cuts the rest of a built-in's line at its first separator outside quotes: "&&", "||", and
// ";" with sh or "&" with cmd (where "^" protects the byte after it).
void SplitThen(ParsedLine& parsed, Quoting flavour) {
  if (const std::optional<NextCommand> next = SplitFirstCommand(parsed.argument, flavour)) {
    parsed.argument.erase(next->at);
    parsed.then = next->rest;
    parsed.when = next->when;
  }
}

ParsedLine External() {
  return {LineKind::External, {}, {}, Then::Always};
}

// A built-in that takes a folder (cd, chdir, pushd): the argument as typed, the rest cut off.
ParsedLine FolderBuiltin(LineKind kind, std::string_view argument, Quoting flavour) {
  ParsedLine parsed{kind, std::string(argument), {}, Then::Always};
  SplitThen(parsed, flavour);
  const std::string_view folder = Trimmed(parsed.argument);
  if (kind == LineKind::Cd && folder.empty()) {
    parsed.kind = LineKind::BareCd;
    parsed.argument.clear();
  } else if (kind == LineKind::Cd && folder == "-") {
    parsed.kind = LineKind::CdBack;
    parsed.argument.clear();
  }
  return parsed;
}

// export, unset and set: the words behind the name; the whole line goes to the interpreter when
// they are none, or options, or (set) no assignment.
ParsedLine VariableBuiltin(LineKind kind, std::string_view line, std::size_t nameLength,
                           Quoting flavour) {
  ParsedLine parsed{
      kind, std::string(line.substr(std::min(line.size(), nameLength + 1))), {}, Then::Always};
  SplitThen(parsed, flavour);
  const std::string_view words = Trimmed(parsed.argument);
  if (words.empty() || words.starts_with('-')) {
    return External();
  }
  if (kind == LineKind::Set &&
      (words.starts_with('/') || words.find('=') == std::string_view::npos)) {
    return External();
  }
  parsed.argument = std::string(words);
  return parsed;
}

}  // namespace

std::optional<NextCommand> SplitFirstCommand(std::string_view text, Quoting flavour) {
  const std::vector<CharRole> roles = ReadQuoting(text, flavour);
  const bool posix = flavour == Quoting::Posix;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (roles[i] == CharRole::Quote) {
      quoted = !quoted;
      continue;
    }
    if (roles[i] == CharRole::Escape || (!posix && !quoted && text[i] == '^')) {
      ++i;
      continue;
    }
    if (quoted) {
      continue;
    }
    const char c = text[i];
    const bool doubled = i + 1 < text.size() && text[i + 1] == c;
    NextCommand next{i, Then::Always, {}};
    std::size_t length = 0;
    if ((c == '&' || c == '|') && doubled) {
      next.when = c == '&' ? Then::IfOk : Then::IfFailed;
      length = 2;
    } else if (posix ? c == ';' : c == '&') {
      length = 1;
    }
    if (length > 0) {
      // The line is normalised already: one blank may follow the separator; blanks at the
      // end are an unclosed quote's own.
      std::string_view rest = text.substr(i + length);
      if (rest.starts_with(' ')) {
        rest.remove_prefix(1);
      }
      next.rest = std::string(rest);
      return next;
    }
  }
  return std::nullopt;
}

ParsedLine ParseCommandLine(std::string_view line, Quoting flavour) {
  if (line.empty()) {
    return {LineKind::Empty, {}, {}, Then::Always};
  }
  const bool cmd = flavour == Quoting::Windows;
  // run is ours: exact, and its whole rest is the interpreter's.
  if (line == "run") {
    return {LineKind::BareRun, {}, {}, Then::Always};
  }
  if (line.starts_with("run ")) {
    return {LineKind::Run, std::string(line.substr(4)), {}, Then::Always};
  }
  // cmd reads "cd..", "cd\x" and "cd/d x" as cd and its argument.
  const std::string_view cdNext = cmd ? " .\\/" : " .";
  if (Names(line, "cd", flavour, cdNext)) {
    return FolderBuiltin(LineKind::Cd, line.substr(2), flavour);
  }
  if (cmd && Names(line, "chdir", flavour, cdNext)) {
    return FolderBuiltin(LineKind::Cd, line.substr(5), flavour);
  }
  if (Names(line, "pushd", flavour)) {
    return FolderBuiltin(LineKind::Pushd, line.substr(5), flavour);
  }
  if (Names(line, "popd", flavour)) {
    return FolderBuiltin(LineKind::Popd, line.substr(4), flavour);
  }
  for (const std::string_view name : {std::string_view("cls"), std::string_view("clear")}) {
    if (Names(line, name, flavour) && (name == "cls" || !cmd)) {
      ParsedLine parsed = FolderBuiltin(LineKind::Clear, line.substr(name.size()), flavour);
      if (!Trimmed(parsed.argument).empty()) {
        return External();
      }
      parsed.argument.clear();
      return parsed;
    }
  }
  if (!cmd && Names(line, "export", flavour)) {
    return VariableBuiltin(LineKind::Export, line, 6, flavour);
  }
  if (!cmd && Names(line, "unset", flavour)) {
    return VariableBuiltin(LineKind::Unset, line, 5, flavour);
  }
  if (cmd && Names(line, "set", flavour)) {
    return VariableBuiltin(LineKind::Set, line, 3, flavour);
  }
  const auto letter = static_cast<unsigned char>(ascii::Lower(line[0]));
  if (cmd && letter >= 'a' && letter <= 'z' && line.size() >= 2 && line[1] == ':' &&
      (line.size() == 2 || line[2] == ' ')) {
    ParsedLine parsed = FolderBuiltin(LineKind::Drive, line.substr(2), flavour);
    if (!Trimmed(parsed.argument).empty()) {
      return External();
    }
    parsed.argument = std::string(1, line[0]);
    return parsed;
  }
  return External();
}

}  // namespace pelorin
