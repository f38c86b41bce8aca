// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CommandEnvironment.h"

#include <algorithm>

namespace pelorin {

namespace {

char FoldAscii(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

bool SameName(std::string_view a, std::string_view b, bool ignoreCase) {
  if (!ignoreCase) {
    return a == b;
  }
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return FoldAscii(x) == FoldAscii(y);
         });
}

bool StartsWith(std::string_view text, std::string_view prefix, bool ignoreCase) {
  return text.size() >= prefix.size() &&
         SameName(text.substr(0, prefix.size()), prefix, ignoreCase);
}

// The name of an entry: up to its first "=" after the first byte (cmd's hidden "=C:" names
// begin with one).
std::string_view NameOf(std::string_view entry) {
  const std::size_t eq = entry.find('=', 1);
  return entry.substr(0, eq == std::string_view::npos ? entry.size() : eq);
}

}  // namespace

bool IsVariableName(std::string_view name, Quoting flavour) {
  if (name.empty()) {
    return false;
  }
  if (flavour == Quoting::Windows) {
    return name.find('=') == std::string_view::npos;
  }
  const auto word = [](char c) {
    return c == '_' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  };
  return !(name[0] >= '0' && name[0] <= '9') && std::all_of(name.begin(), name.end(), word);
}

CommandEnvironment::CommandEnvironment(Quoting flavour, std::vector<std::string> entries)
    : flavour_(flavour), entries_(std::move(entries)) {}

std::size_t CommandEnvironment::Find(std::string_view name) const {
  const bool ignoreCase = flavour_ == Quoting::Windows;
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (SameName(NameOf(entries_[i]), name, ignoreCase)) {
      return i;
    }
  }
  return entries_.size();
}

std::optional<std::string> CommandEnvironment::Get(std::string_view name) const {
  const std::size_t i = Find(name);
  if (i == entries_.size() || entries_[i].size() == NameOf(entries_[i]).size()) {
    return std::nullopt;
  }
  return entries_[i].substr(NameOf(entries_[i]).size() + 1);
}

void CommandEnvironment::Set(std::string_view name, std::string_view value) {
  const std::size_t i = Find(name);
  changed_ = true;
  if (i == entries_.size()) {
    entries_.push_back(std::string(name).append("=").append(value));
  } else {
    // The name keeps its spelling: cmd's "set path=..." changes Path.
    entries_[i] = std::string(NameOf(entries_[i])).append("=").append(value);
  }
}

void CommandEnvironment::Unset(std::string_view name) {
  const std::size_t i = Find(name);
  if (i != entries_.size()) {
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
    changed_ = true;
  }
}

std::vector<std::string> CommandEnvironment::NamesStartingWith(std::string_view prefix) const {
  const bool ignoreCase = flavour_ == Quoting::Windows;
  std::vector<std::string> names;
  for (const std::string& entry : entries_) {
    const std::string_view name = NameOf(entry);
    if (StartsWith(name, prefix, ignoreCase) && name.find('=') == std::string_view::npos) {
      names.emplace_back(name);
    }
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

VariableLookup CommandEnvironment::Lookup() const {
  return [this](std::string_view name) { return Get(name); };
}

}  // namespace pelorin
