// SPDX-License-Identifier: GPL-3.0-or-later
#include "prefs/HistoryFile.h"

#include <algorithm>
#include <utility>

namespace pelorin {

HistoryFile::HistoryFile(std::string folder, std::size_t keep)
    : folder_(std::move(folder)), keep_(keep) {}

std::string HistoryFile::Encode(std::string_view command) {
  std::string record;
  record.reserve(command.size() + 1);
  for (const char c : command) {
    switch (c) {
      case '\\':
        record += "\\\\";
        break;
      case '\n':
        record += "\\n";
        break;
      case '\r':
        record += "\\r";
        break;
      default:
        record.push_back(c);
    }
  }
  record.push_back('\n');
  return record;
}

std::vector<std::string> HistoryFile::Decode(std::string_view text) {
  std::vector<std::string> commands;
  while (!text.empty()) {
    const std::size_t end = std::min(text.find('\n'), text.size());
    std::string command;
    for (std::size_t i = 0; i < end; ++i) {
      if (text[i] == '\\' && i + 1 < end) {
        const char next = text[i + 1];
        if (next == '\\' || next == 'n' || next == 'r') {
          command.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : '\\');
          ++i;
          continue;
        }
      }
      command.push_back(text[i]);  // anything else is kept as it stands
    }
    commands.push_back(std::move(command));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return commands;
}

// Under the lock: reads the file, cuts it back to the last keep_ records when it holds more than
// cutAbove, and hands out the last keep_ when asked.
SysError HistoryFile::Trim(HistoryLock& lock, std::size_t cutAbove,
                           std::vector<std::string>* commands) {
  std::string bytes;
  if (const SysError rc = lock.Read(bytes)) {
    return rc;
  }
  std::vector<std::string> all = Decode(bytes);
  records_ = all.size();
  if (all.size() > keep_) {
    all.erase(all.begin(), all.end() - static_cast<std::ptrdiff_t>(keep_));
  }
  if (records_ > cutAbove) {
    std::string kept;
    for (const std::string& command : all) {
      kept += Encode(command);
    }
    if (const SysError rc = lock.Replace(kept)) {
      return rc;
    }
    records_ = all.size();
  }
  if (commands != nullptr) {
    *commands = std::move(all);
  }
  return 0;
}

SysError HistoryFile::Load(std::vector<std::string>& commands) {
  commands.clear();
  std::unique_ptr<HistoryLock> lock;
  if (const SysError rc = HistoryLock::Acquire(folder_, lock)) {
    return rc;
  }
  return Trim(*lock, CutAbove(), &commands);
}

SysError HistoryFile::Append(std::string_view command) {
  std::unique_ptr<HistoryLock> lock;
  if (const SysError rc = HistoryLock::Acquire(folder_, lock)) {
    return rc;
  }
  if (const SysError rc = lock->Append(Encode(command))) {
    return rc;
  }
  // Other windows add too, so the count is a floor; once past the limit the file is read and
  // cut back if it really is.
  if (++records_ > CutAbove()) {
    return Trim(*lock, CutAbove(), nullptr);
  }
  return 0;
}

}  // namespace pelorin
