// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CommandHistory.h"

namespace pelorin {

namespace {

bool IsBlank(const std::string& command) {
  return command.find_first_not_of(" \t") == std::string::npos;
}

}  // namespace

CommandHistory::CommandHistory(const std::vector<std::string>& earlier) {
  for (const std::string& command : earlier) {
    Add(command);
  }
}

bool CommandHistory::Add(const std::string& command) {
  shown_ = entries_.size();
  typed_.clear();
  if (IsBlank(command) || (!entries_.empty() && entries_.back() == command)) {
    return false;
  }
  entries_.push_back(command);
  if (entries_.size() > kCapacity) {
    entries_.pop_front();
  }
  shown_ = entries_.size();
  return true;
}

std::optional<std::string> CommandHistory::Older(const std::string& typed) {
  if (shown_ == 0) {
    return std::nullopt;
  }
  if (shown_ == entries_.size()) {
    typed_ = typed;
  }
  return entries_[--shown_];
}

std::optional<std::string> CommandHistory::Newer() {
  if (shown_ >= entries_.size()) {
    return std::nullopt;
  }
  return ++shown_ == entries_.size() ? typed_ : entries_[shown_];
}

}  // namespace pelorin
