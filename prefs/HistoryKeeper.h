// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Keeps one window's commands in the history file without ever making the window wait. A
// thread of its own reads the file once and hands what it read to Loaded, then adds each command
// given to Append, in order. Every wait for the file's lock happens on that thread: the read
// waits as long as another window or program holds the lock (the window works meanwhile, with
// its own commands only), and each command is added within HistoryFile::kLockWait of its turn
// or dropped, with a line in the log. Going away, it gives what is still to be added that same
// time in all, and the read that has not happened yet never happens.

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "prefs/HistoryFile.h"

namespace pelorin {

class HistoryKeeper {
 public:
  // Hears the commands of earlier windows, oldest first, once, on the keeper's own thread.
  using Loaded = std::function<void(std::vector<std::string>)>;

  HistoryKeeper(HistoryFile file, Loaded loaded);
  ~HistoryKeeper();
  HistoryKeeper(const HistoryKeeper&) = delete;
  HistoryKeeper& operator=(const HistoryKeeper&) = delete;

  // Returns at once; the command is added on the keeper's thread.
  void Append(std::string command);

 private:
  void Run();
  void Read();
  bool Stopping();

  HistoryFile file_;
  Loaded loaded_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::string> queue_;
  bool stopping_ = false;
  HistoryFile::Clock::time_point stopBy_;
  std::thread thread_;  // last: it starts once everything it uses is there
};

}  // namespace pelorin
