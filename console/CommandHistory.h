// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The commands run so far, for Up and Down on the input line: the last kCapacity of them, oldest
// first. A blank command is not kept, nor one that is the same as the one before it, nor one
// holding a line break (from a file written elsewhere: the input line is one line, and such a
// command could not have been typed there). Going up keeps the line being typed as the newest
// entry, and going down past the newest returns to it. With text typed, Up and Down go only through
// the commands that begin with it, and skip one the same as the command shown.

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace pelorin {

class CommandHistory {
 public:
  static constexpr std::size_t kCapacity = 1000;

  // earlier: what was kept before (the history file), oldest first.
  explicit CommandHistory(const std::vector<std::string>& earlier = {});

  // A command was run, exactly as typed. True when it was kept (then it belongs in the file
  // too). Either way, the next Up starts again from the newest entry.
  bool Add(const std::string& command);
  // What earlier windows kept (oldest first), arriving once this window runs: it goes before
  // the commands run here, and Up goes on from the entry it has reached.
  void AddEarlier(const std::vector<std::string>& earlier);

  // Up: the entry before the one shown that begins with the typed text; typed is the text behind
  // the prompt now, kept (and taken as what entries must begin with) when Up leaves the line
  // being typed. Nothing when there is no such older entry.
  std::optional<std::string> Older(const std::string& typed);
  // Down: the next such entry after the one shown, and after the newest the line that was being
  // typed. Nothing when that line is shown already.
  std::optional<std::string> Newer();

  const std::deque<std::string>& Entries() const { return entries_; }
  // The commands holding text (without regard to ASCII case), newest first, each once.
  std::vector<std::string> Holding(const std::string& text) const;

 private:
  bool Matches(std::size_t index) const;

  std::deque<std::string> entries_;
  std::size_t shown_ = 0;  // index of the entry shown; entries_.size(): the line being typed
  std::string typed_;
};

}  // namespace pelorin
