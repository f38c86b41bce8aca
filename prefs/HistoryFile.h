// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command history kept per user across restarts: the file "history" in the program's
// folder of the user's configuration ($XDG_CONFIG_HOME/pelorin, by default ~/.config/pelorin;
// %APPDATA%\Pelorin on Windows), read once at start-up and added to after each command.
//
// One record per line (UTF-8, LF): a backslash, line feed or carriage return inside a command is
// written \\, \n or \r, so every command is one line whatever it holds. Several windows may add
// at once: every change happens under an exclusive lock on "history.lock" beside it (flock on
// POSIX, LockFileEx on Windows), and a record is added in one write, whole or not at all (a
// write that falls short, on a full disk, is taken back). Now and then the file is cut back to
// its last `keep` records, written whole to a temporary file that then replaces it, so a crash
// leaves either the old file or the new one. A line a crash cut short stays a line of its own.
//
// Only the end of the file is read (kTailBytes), and a record longer than kLongestRecord is
// skipped (said in the log): a file grown huge, or a giant line in it, costs no more than a
// file of short commands. A file its user made read-only is read and never written or replaced
// (said in the log once). A lock held elsewhere is waited for until a deadline, never longer.
//
// POSIX: the folder is made 0700 and the files 0600 (or less); the folder and the files are
// opened without following symbolic links and used only when they are the user's own.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SysError.h"

namespace pelorin {

class HistoryLock;

class HistoryFile {
 public:
  using Clock = std::chrono::steady_clock;
  // Receives a line for the program's log; the default writes it to standard error.
  using Note = std::function<void(const std::string&)>;

  static constexpr std::size_t kKeep = 1000;
  // How long a Load or Append without a deadline waits for a lock held elsewhere.
  static constexpr std::chrono::milliseconds kLockWait{500};
  // The most of the file's end that is read: room for kKeep commands of 4 KB each.
  static constexpr std::size_t kTailBytes = 4 << 20;
  // The longest record kept, line end included; a command longer than that is no line anyone
  // recalls, and putting it on the input line would stall the window.
  static constexpr std::size_t kLongestRecord = 64 << 10;

  // The user's folder for it; empty when the system names none (then nothing is kept).
  static std::string DefaultFolder();

  explicit HistoryFile(std::string folder = DefaultFolder(), std::size_t keep = kKeep,
                       Note note = {});

  // The last `keep` commands, oldest first; none when there is no file yet. Cuts the file back
  // when it holds far more, or records too long to keep. 0, or the system's code for why it
  // could not be read (IsLockBusy: the lock was held elsewhere until `until`).
  SysError Load(std::vector<std::string>& commands, Clock::time_point until);
  SysError Load(std::vector<std::string>& commands) {
    return Load(commands, Clock::now() + kLockWait);
  }
  // Adds a command at the end, whole or not at all. 0, or the system's code for why not. A
  // command longer than kLongestRecord is not added (said in the log).
  SysError Append(std::string_view command, Clock::time_point until);
  SysError Append(std::string_view command) { return Append(command, Clock::now() + kLockWait); }

  static bool IsLockBusy(SysError code);
  // A line for the log, through the Note given.
  void Tell(const std::string& line) const;
  const std::string& Folder() const { return folder_; }
  // The file was found read-only (and the log told so): adding to it is refused.
  bool KnownReadOnly() const { return toldReadOnly_; }

  // One record as written, line end included, and the commands in a file's text (a last line
  // without its line end counts).
  static std::string Encode(std::string_view command);
  static std::vector<std::string> Decode(std::string_view text);

 private:
  // The file is cut back once it holds half as many again as are kept, so it is not rewritten
  // at every command or every start.
  std::size_t CutAbove() const { return keep_ + keep_ / 2; }
  SysError Trim(HistoryLock& lock, std::vector<std::string>* commands);
  void TellReadOnly();

  std::string folder_;
  std::size_t keep_;
  Note note_;
  std::size_t records_ = 0;  // what the file held when last seen, and appended since
  bool toldReadOnly_ = false;
};

// The platform half (HistoryFile_posix.cpp / HistoryFile_win32.cpp): the file under its lock.
class HistoryLock {
 public:
  using Clock = HistoryFile::Clock;

  // Makes the folder when missing and takes the lock; a lock another holder keeps is tried
  // again until `until`, and then given up with a code IsBusy knows.
  static SysError Acquire(const std::string& folder, Clock::time_point until,
                          std::unique_ptr<HistoryLock>& lock);
  static bool IsBusy(SysError code);
  virtual ~HistoryLock() = default;

  // The last `most` bytes of the file (all of it when shorter); whole when that is all of it.
  // Empty and whole when there is no file.
  virtual SysError ReadTail(std::size_t most, std::string& bytes, bool& whole) = 0;
  // The user made the file read-only (its owner may not write it; the read-only attribute).
  virtual bool ReadOnly() const = 0;
  // Adds one record at the end in one write: all of it or, when the write falls short, nothing
  // (the file is cut back to where it was). A last line left without its line end (a crash)
  // gets one first. Refuses a read-only file.
  virtual SysError Append(std::string_view record) = 0;
  // Writes bytes to a temporary file beside it, then puts that in its place. Refuses a
  // read-only file.
  virtual SysError Replace(std::string_view bytes) = 0;

 protected:
  // Between two tries of a lock: a short sleep, never past until. False once until has passed.
  static bool PauseBeforeRetry(int attempt, Clock::time_point until);
};

}  // namespace pelorin
