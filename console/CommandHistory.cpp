// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CommandHistory.h"

#include <algorithm>
#include <iterator>

namespace pelorin {

namespace {

bool IsBlank(const std::string& command) {
  return command.find_first_not_of(" \t") == std::string::npos;
}

bool HoldsLineBreak(const std::string& command) {
  return command.find_first_of("\r\n") != std::string::npos;
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
  if (IsBlank(command) || HoldsLineBreak(command) ||
      (!entries_.empty() && entries_.back() == command)) {
    return false;
  }
  entries_.push_back(command);
  if (entries_.size() > kCapacity) {
    entries_.pop_front();
  }
  shown_ = entries_.size();
  return true;
}

void CommandHistory::AddEarlier(const std::vector<std::string>& earlier) {
  const bool typing = shown_ == entries_.size();
  std::deque<std::string> joined = CommandHistory(earlier).entries_;
  if (!joined.empty() && !entries_.empty() && joined.back() == entries_.front()) {
    joined.pop_back();  // the same command twice in a row is kept once
  }
  const std::size_t added = joined.size();
  joined.insert(joined.end(), std::make_move_iterator(entries_.begin()),
                std::make_move_iterator(entries_.end()));
  const std::size_t dropped = joined.size() - std::min(joined.size(), kCapacity);
  joined.erase(joined.begin(), joined.begin() + static_cast<std::ptrdiff_t>(dropped));
  entries_ = std::move(joined);
  shown_ = typing ? entries_.size() : shown_ + added - std::min(dropped, shown_ + added);
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
