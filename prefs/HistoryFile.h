// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The command history kept per user across restarts: the file "history" in the program's
// folder of the user's configuration ($XDG_CONFIG_HOME/pelorin, by default ~/.config/pelorin;
// %APPDATA%\Pelorin on Windows), read once at start-up and added to after each command.
//
// One record per line (UTF-8, LF): a backslash, line feed or carriage return inside a command is
// written \\, \n or \r, so every command is one line whatever it holds. Several windows may add
// at once: every change happens under an exclusive lock on "history.lock" beside it (flock on
// POSIX, LockFileEx on Windows), and an append is one write at the end. Now and then the file
// is cut back to its last `keep` records, written whole to a temporary file that then replaces
// it, so a crash leaves either the old file or the new one. A record cut short by a crash stays
// a line of its own.
//
// POSIX: the folder is made 0700 and the files 0600; the folder and the files are opened
// without following symbolic links and used only when they are the user's own.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SysError.h"

namespace pelorin {

class HistoryLock;

class HistoryFile {
 public:
  static constexpr std::size_t kKeep = 1000;

  // The user's folder for it; empty when the system names none (then nothing is kept).
  static std::string DefaultFolder();

  explicit HistoryFile(std::string folder = DefaultFolder(), std::size_t keep = kKeep);

  // The last `keep` commands, oldest first; none when there is no file yet. Cuts the file back
  // when it holds far more. 0, or the system's code for why it could not be read.
  SysError Load(std::vector<std::string>& commands);
  // Adds a command at the end. 0, or the system's code for why not.
  SysError Append(std::string_view command);

  // One record as written, line end included, and the commands in a file's text (a last line
  // without its line end counts).
  static std::string Encode(std::string_view command);
  static std::vector<std::string> Decode(std::string_view text);

 private:
  // The file is cut back once it holds half as many again as are kept, so it is not rewritten
  // at every command or every start.
  std::size_t CutAbove() const { return keep_ + keep_ / 2; }
  SysError Trim(HistoryLock& lock, std::size_t cutAbove, std::vector<std::string>* commands);

  std::string folder_;
  std::size_t keep_;
  std::size_t records_ = 0;  // what the file held when last seen, and appended since
};

// The platform half (HistoryFile_posix.cpp / HistoryFile_win32.cpp): the file under its lock.
class HistoryLock {
 public:
  // Makes the folder when missing and takes the lock, waiting for another holder.
  static SysError Acquire(const std::string& folder, std::unique_ptr<HistoryLock>& lock);
  virtual ~HistoryLock() = default;

  // The whole file; empty when there is none.
  virtual SysError Read(std::string& bytes) = 0;
  virtual SysError Append(std::string_view bytes) = 0;
  // Writes bytes to a temporary file beside it, then puts that in its place.
  virtual SysError Replace(std::string_view bytes) = 0;
};

}  // namespace pelorin
