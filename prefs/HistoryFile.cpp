// SPDX-License-Identifier: GPL-3.0-or-later
#include "prefs/HistoryFile.h"

#include <algorithm>
#include <cstdio>
#include <thread>
#include <utility>

namespace pelorin {

namespace {

std::string DecodeRecord(std::string_view line) {
  std::string command;
  command.reserve(line.size());
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\' && i + 1 < line.size()) {
      const char next = line[i + 1];
      if (next == '\\' || next == 'n' || next == 'r') {
        command.push_back(next == 'n' ? '\n' : next == 'r' ? '\r' : '\\');
        ++i;
        continue;
      }
    }
    command.push_back(line[i]);  // anything else is kept as it stands
  }
  return command;
}

void ToStandardError(const std::string& line) {
  std::fprintf(stderr, "pelorin: %s\n", line.c_str());
}

}  // namespace

HistoryFile::HistoryFile(std::string folder, std::size_t keep, Note note)
    : folder_(std::move(folder)), keep_(keep), note_(note ? std::move(note) : ToStandardError) {}

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
    commands.push_back(DecodeRecord(text.substr(0, end)));
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return commands;
}

bool HistoryFile::IsLockBusy(SysError code) {
  return HistoryLock::IsBusy(code);
}

void HistoryFile::Tell(const std::string& line) const {
  note_(line);
}

void HistoryFile::TellReadOnly() {
  if (!std::exchange(toldReadOnly_, true)) {
    Tell("the history file in " + folder_ +
         " is read-only: it is read, and no command is added to it");
  }
}

// Under the lock: reads the end of the file and hands out its last keep_ records when asked.
// The file is cut back to those when it holds far more, more than was read, or records too
// long to keep. Only the newest records are decoded; the rest are only counted.
SysError HistoryFile::Trim(HistoryLock& lock, std::vector<std::string>* commands) {
  std::string bytes;
  bool whole = true;
  if (const SysError rc = lock.ReadTail(kTailBytes, bytes, whole)) {
    return rc;
  }
  std::string_view rest = bytes;
  std::size_t skipped = 0;
  if (!whole) {
    // The first line began before what was read: older than what is kept.
    const std::size_t first = rest.find('\n');
    const std::size_t length = first == std::string_view::npos ? rest.size() : first + 1;
    skipped += length > kLongestRecord;
    rest.remove_prefix(length);
  }
  std::vector<std::string> newestFirst;
  std::size_t records = 0;
  while (!rest.empty() && newestFirst.size() < keep_) {
    const std::size_t bodyEnd = rest.size() - (rest.back() == '\n' ? 1 : 0);
    const std::size_t start =
        bodyEnd == 0 ? 0 : rest.rfind('\n', bodyEnd - 1) + 1;  // npos + 1 == 0
    if (rest.size() - start > kLongestRecord) {
      ++skipped;
    } else {
      newestFirst.push_back(DecodeRecord(rest.substr(start, bodyEnd - start)));
    }
    ++records;
    rest.remove_suffix(rest.size() - start);
  }
  records += static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '\n'));
  if (skipped > 0) {
    Tell(std::to_string(skipped) + (skipped == 1 ? " command" : " commands") +
         " in the history file in " + folder_ + " longer than " + std::to_string(kLongestRecord) +
         " bytes " + (skipped == 1 ? "was" : "were") + " left out");
  }
  std::vector<std::string> kept(std::make_move_iterator(newestFirst.rbegin()),
                                std::make_move_iterator(newestFirst.rend()));
  records_ = whole ? records : records + CutAbove() + 1;
  if (!lock.ReadOnly() && (records_ > CutAbove() || skipped > 0)) {
    std::string text;
    for (const std::string& command : kept) {
      text += Encode(command);
    }
    if (const SysError rc = lock.Replace(text)) {
      return rc;
    }
    records_ = kept.size();
  }
  if (commands != nullptr) {
    *commands = std::move(kept);
  }
  return 0;
}

SysError HistoryFile::Load(std::vector<std::string>& commands, Clock::time_point until) {
  commands.clear();
  std::unique_ptr<HistoryLock> lock;
  if (const SysError rc = HistoryLock::Acquire(folder_, until, lock)) {
    return rc;
  }
  if (lock->ReadOnly()) {
    TellReadOnly();
  }
  return Trim(*lock, &commands);
}

SysError HistoryFile::Append(std::string_view command, Clock::time_point until) {
  const std::string record = Encode(command);
  if (record.size() > kLongestRecord) {
    Tell("a command of " + std::to_string(record.size()) +
         " bytes was not added to the history file: it holds commands of up to " +
         std::to_string(kLongestRecord) + " bytes");
    return 0;
  }
  std::unique_ptr<HistoryLock> lock;
  if (const SysError rc = HistoryLock::Acquire(folder_, until, lock)) {
    return rc;
  }
  if (lock->ReadOnly()) {
    TellReadOnly();
  }
  if (const SysError rc = lock->Append(record)) {
    return rc;
  }
  // Other windows add too, so the count is a floor; once past the limit the file is read and
  // cut back if it really is.
  if (++records_ > CutAbove()) {
    return Trim(*lock, nullptr);
  }
  return 0;
}

bool HistoryLock::PauseBeforeRetry(int attempt, Clock::time_point until) {
  const Clock::time_point now = Clock::now();
  if (now >= until) {
    return false;
  }
  // Short steps: a window holds the lock for a moment only, and a long sleep could miss every
  // moment it is free while another window adds command after command.
  if (attempt < 8) {
    std::this_thread::yield();
    return true;
  }
  using std::chrono::milliseconds;
  const milliseconds step = milliseconds(attempt < 10 ? 1 : attempt < 12 ? 2 : 5);
  std::this_thread::sleep_for(std::min<Clock::duration>(step, until - now));
  return true;
}

}  // namespace pelorin
