// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/ShellState.h"

#include <algorithm>
#include <utility>

#include "console/CdCommand.h"
#include "console/ShellWords.h"
#include "platform/Directory.h"

namespace pelorin {

FolderCalls PlatformFolderCalls() {
  return {[] { return CurrentDirectory(); },
          [](const std::string& path) { return SetCurrentDir(path); },
          [](char letter) { return platform::ChangeDrive(letter); },
          [](SysError code) { return CdFailureText(code); }};
}

ShellState::ShellState(Quoting flavour, FolderCalls calls, CommandEnvironment environment)
    : flavour_(flavour), calls_(std::move(calls)), environment_(std::move(environment)) {}

std::string ShellState::Home() const {
  return flavour_ == Quoting::Posix ? environment_.Get("HOME").value_or(std::string())
                                    : std::string();
}

BuiltinResult ShellState::Said(std::string line, bool ok) const {
  BuiltinResult result;
  result.lines.push_back(std::move(line));
  result.ok = ok;
  return result;
}

BuiltinResult ShellState::Run(const ParsedLine& line) {
  switch (line.kind) {
    case LineKind::BareCd:
    case LineKind::Cd:
    case LineKind::CdBack:
      return Cd(line);
    case LineKind::Pushd:
      return Pushd(line.argument);
    case LineKind::Popd:
      return Popd(line.argument);
    case LineKind::Drive:
      return Drive(line.argument.empty() ? '\0' : line.argument[0]);
    case LineKind::Export:
      return Export(line.argument);
    case LineKind::Unset:
      return Unset(line.argument);
    case LineKind::Set:
      return Set(line.argument);
    case LineKind::Clear: {
      BuiltinResult result;
      result.clear = true;
      return result;
    }
    default:
      return {};
  }
}

BuiltinResult ShellState::ChangeTo(const std::string& path, bool sayFolder) {
  const std::string from = calls_.current();
  if (const SysError rc = calls_.change(path)) {
    return Said(ShownPath(path) + calls_.failure(rc), false);
  }
  previous_ = from;
  BuiltinResult result;
  result.folderChanged = true;
  if (sayFolder) {
    result.lines.push_back(ShownPath(calls_.current()));
  }
  return result;
}

BuiltinResult ShellState::EnterFolder(const std::string& path) {
  return ChangeTo(path, false);
}

BuiltinResult ShellState::Cd(const ParsedLine& line) {
  const bool cmd = flavour_ == Quoting::Windows;
  if (line.kind == LineKind::CdBack) {
    // The folder it goes to is said, as sh does: it was not typed.
    return previous_.empty() ? Said("cd -: no previous folder", false) : ChangeTo(previous_, true);
  }
  const std::string path = line.kind == LineKind::BareCd
                               ? std::string()
                               : CdPath(line.argument, flavour_, Home(), environment_.Lookup());
  if (path.empty() && cmd) {
    return Said(ShownPath(calls_.current()), true);  // cmd's cd alone (or cd /d) says where
  }
  // With sh an argument that expands to nothing is no argument (cd $UNSET goes home), but a
  // quoted empty one is an argument naming no folder: cd "" stays where it is, as sh does.
  if (path.empty() && line.kind != LineKind::BareCd) {
    const std::vector<CharRole> roles = ReadQuoting(line.argument, flavour_);
    if (std::find(roles.begin(), roles.end(), CharRole::Quote) != roles.end()) {
      return {};
    }
  }
  if (line.kind == LineKind::BareCd || path.empty()) {
    const std::string home = Home();
    return home.empty() ? Said("cd: HOME is not set", false) : ChangeTo(home, false);
  }
  return ChangeTo(path, false);
}

BuiltinResult ShellState::Pushd(const std::string& argument) {
  const std::string path = CdPath(argument, flavour_, Home(), environment_.Lookup());
  if (path.empty() && flavour_ == Quoting::Windows) {
    BuiltinResult result;  // cmd's pushd alone lists the stack, the newest first
    for (auto it = stack_.rbegin(); it != stack_.rend(); ++it) {
      result.lines.push_back(ShownPath(*it));
    }
    return result;
  }
  const std::string from = calls_.current();
  if (path.empty()) {
    // sh's pushd alone swaps the current folder with the newest one kept.
    if (stack_.empty()) {
      return Said("pushd: no other folder", false);
    }
    BuiltinResult result = ChangeTo(stack_.back(), false);
    if (result.ok) {
      stack_.back() = from;
    }
    return result;
  }
  BuiltinResult result = ChangeTo(path, false);
  if (result.ok) {
    stack_.push_back(from);
  }
  return result;
}

BuiltinResult ShellState::Popd(const std::string& argument) {
  if (argument.find_first_not_of(' ') != std::string::npos) {
    return Said("popd: takes no argument", false);
  }
  if (stack_.empty()) {
    return Said("popd: the folder stack is empty", false);
  }
  const std::string to = std::move(stack_.back());
  stack_.pop_back();
  return ChangeTo(to, false);
}

BuiltinResult ShellState::Drive(char letter) {
  const std::string from = calls_.current();
  if (const SysError rc = calls_.changeDrive(letter)) {
    // "D: Path not found": the failure text less its colon.
    return Said(std::string(1, letter) + ":" + calls_.failure(rc).substr(1), false);
  }
  previous_ = from;
  BuiltinResult result;
  result.folderChanged = true;
  return result;
}

// sh: every word NAME=value or NAME; a name that is no name, or a value only the interpreter can
// work out, changes nothing at all.
BuiltinResult ShellState::Export(const std::string& argument) {
  const std::vector<std::string_view> words = SplitWords(argument, flavour_);
  for (const std::string_view word : words) {
    const std::size_t eq = word.find('=');
    if (!IsVariableName(word.substr(0, eq), flavour_)) {
      return Said("export: " + std::string(word) + ": not a valid name", false);
    }
    const std::string_view unread = eq == std::string_view::npos
                                        ? std::string_view()
                                        : UnreadExpansion(word.substr(eq + 1), flavour_);
    if (!unread.empty()) {
      return Said("export: " + std::string(unread) + ": only $NAME and ${NAME} are expanded here",
                  false);
    }
  }
  // Every value is read with the variables as they were before this line, as sh does.
  std::vector<std::pair<std::string, std::string>> assignments;
  for (const std::string_view word : words) {
    const std::size_t eq = word.find('=');
    if (eq != std::string_view::npos) {
      assignments.emplace_back(
          word.substr(0, eq),
          ReadAssignedValue(word.substr(eq + 1), flavour_, environment_.Lookup(), Home()));
    }
  }
  for (const auto& [name, value] : assignments) {
    environment_.Set(name, value);
  }
  return {};
}

BuiltinResult ShellState::Unset(const std::string& argument) {
  const std::vector<std::string_view> words = SplitWords(argument, flavour_);
  for (const std::string_view word : words) {
    if (!IsVariableName(word, flavour_)) {
      return Said("unset: " + std::string(word) + ": not a valid name", false);
    }
  }
  for (const std::string_view word : words) {
    environment_.Unset(word);
  }
  return {};
}

// cmd: set NAME=value, or set "NAME=value" (what follows the closing quote is dropped, as cmd
// drops it); the variables in it are expanded first, as cmd expands the whole line. An empty
// value removes the variable.
BuiltinResult ShellState::Set(const std::string& argument) {
  std::string text = ExpandPercent(argument, environment_.Lookup());
  if (text.starts_with('"')) {
    const std::size_t close = text.rfind('"');
    text = close > 0 ? text.substr(1, close - 1) : text.substr(1);
  }
  const std::size_t eq = text.find('=');
  const std::string name = text.substr(0, eq);
  if (eq == std::string::npos || !IsVariableName(name, flavour_)) {
    return Said("set: " + argument + ": not a valid name", false);
  }
  const std::string value = text.substr(eq + 1);
  if (value.empty()) {
    environment_.Unset(name);
  } else {
    environment_.Set(name, value);
  }
  return {};
}

}  // namespace pelorin
