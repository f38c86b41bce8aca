// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CommandHistory.h"

#include <algorithm>
#include <iterator>
#include <string_view>
#include <unordered_set>

#include "console/AsciiCase.h"

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

bool CommandHistory::Matches(std::size_t index) const {
  return entries_[index].starts_with(typed_) &&
         (shown_ == entries_.size() || entries_[index] != entries_[shown_]);
}

std::optional<std::string> CommandHistory::Older(const std::string& typed) {
  if (shown_ == entries_.size()) {
    typed_ = typed;
  }
  for (std::size_t i = shown_; i-- > 0;) {
    if (Matches(i)) {
      shown_ = i;
      return entries_[i];
    }
  }
  return std::nullopt;
}

std::optional<std::string> CommandHistory::Newer() {
  if (shown_ >= entries_.size()) {
    return std::nullopt;
  }
  for (std::size_t i = shown_ + 1; i < entries_.size(); ++i) {
    if (Matches(i)) {
      shown_ = i;
      return entries_[i];
    }
  }
  shown_ = entries_.size();
  return typed_;
}

std::vector<std::string> CommandHistory::Holding(const std::string& text) const {
  std::vector<std::string> found;
  std::unordered_set<std::string_view> seen;
  for (auto it = entries_.rbegin(); it != entries_.rend(); ++it) {
    const auto at = std::search(it->begin(), it->end(), text.begin(), text.end(),
                                [](char a, char b) { return ascii::Lower(a) == ascii::Lower(b); });
    if (at != it->end() || text.empty()) {
      if (seen.insert(*it).second) {
        found.push_back(*it);
      }
    }
  }
  return found;
}

}  // namespace pelorin
