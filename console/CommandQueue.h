// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Command lines waiting their turn, oldest first: the lines of a paste behind the first, and
// lines entered while a command runs. Each is shown behind its own prompt only when it runs, so
// ten thousand of them cost their text and nothing on the surface.

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorin {

// The lines of a text, split at every line break (LF, CR LF or CR alone); a final line break
// ends the last line and starts no other.
std::vector<std::string> SplitLines(std::string_view text);

class CommandQueue {
 public:
  // At the end; lines of blanks only are left out (they would only write another prompt).
  void Add(const std::vector<std::string>& lines);
  // Before everything waiting: lines the running command was given and never read.
  void PutFirst(const std::vector<std::string>& lines);
  std::optional<std::string> Next();
  // Forgets everything waiting; returns how many lines that was.
  std::size_t Drop();
  bool Empty() const { return lines_.empty(); }
  std::size_t Size() const { return lines_.size(); }

 private:
  std::deque<std::string> lines_;
};

// The line the console shows when Drop forgot count lines: "2 queued commands dropped".
std::string DroppedNote(std::size_t count);

}  // namespace pelorin
