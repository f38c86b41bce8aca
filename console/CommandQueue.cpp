// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CommandQueue.h"

namespace pelorin {

namespace {

bool Blank(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos;
}

}  // namespace

std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' || text[i] == '\r') {
      lines.emplace_back(text.substr(start, i - start));
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
        ++i;
      }
      start = i + 1;
    }
  }
  if (start < text.size()) {
    lines.emplace_back(text.substr(start));
  }
  return lines;
}

void CommandQueue::Add(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) {
    if (!Blank(line)) {
      lines_.push_back(line);
    }
  }
}

void CommandQueue::PutFirst(const std::vector<std::string>& lines) {
  for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
    if (!Blank(*it)) {
      lines_.push_front(*it);
    }
  }
}

std::optional<std::string> CommandQueue::Next() {
  if (lines_.empty()) {
    return std::nullopt;
  }
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

std::size_t CommandQueue::Drop() {
  const std::size_t count = lines_.size();
  lines_.clear();
  return count;
}

std::string DroppedNote(std::size_t count) {
  return std::to_string(count) +
         (count == 1 ? " queued command dropped" : " queued commands dropped");
}

}  // namespace pelorin
