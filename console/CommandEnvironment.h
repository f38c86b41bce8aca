// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The environment the window's commands run with. It starts as this process's own and takes
// the changes typed at the prompt (export and unset with sh, set with cmd), so that they carry
// over from one command to the next although each line runs in an interpreter of its own. The
// process's own environment is never changed. Names differ by case with sh; with cmd they do
// not, and a changed variable keeps the spelling of its name it had.

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/CommandLine.h"

namespace pelorin {

// A variable's value by its name; nothing when it is not set.
using VariableLookup = std::function<std::optional<std::string>(std::string_view name)>;

// This process's environment as NAME=value entries (ShellFlavour_posix.cpp / _win32.cpp).
// Entries with no "=" after their first byte are left out; so are Windows' hidden per-drive
// folders ("=C:=C:\Work"), which belong to this process's own current folders.
std::vector<std::string> ProcessEnvironment();

// Whether a name may be given a value: sh takes letters, digits and underscores, not starting
// with a digit; cmd takes any name that is not empty and holds no "=".
bool IsVariableName(std::string_view name, Quoting flavour);

class CommandEnvironment {
 public:
  explicit CommandEnvironment(Quoting flavour,
                              std::vector<std::string> entries = ProcessEnvironment());

  std::optional<std::string> Get(std::string_view name) const;
  void Set(std::string_view name, std::string_view value);
  void Unset(std::string_view name);
  // Since it was made, something was set or unset: the commands need the whole environment
  // given to them, not this process's own.
  bool Changed() const { return changed_; }
  // Every variable as NAME=value, in the order they were first set.
  const std::vector<std::string>& Entries() const { return entries_; }
  // The names that begin with prefix (without regard to case for cmd), sorted, each once.
  std::vector<std::string> NamesStartingWith(std::string_view prefix) const;
  VariableLookup Lookup() const;
  Quoting Flavour() const { return flavour_; }

 private:
  std::size_t Find(std::string_view name) const;  // entries_.size() when absent

  Quoting flavour_;
  std::vector<std::string> entries_;
  bool changed_ = false;
};

}  // namespace pelorin
