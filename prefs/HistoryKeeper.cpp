// SPDX-License-Identifier: GPL-3.0-or-later
#include "prefs/HistoryKeeper.h"

#include <utility>

#include "platform/WinAPIError.h"

namespace pelorin {

namespace {

using Clock = HistoryFile::Clock;

// The system's text for a code, without its line end.
std::string Reason(SysError code) {
  const std::string text = ApiErrorLine(code);
  return text.empty() ? "system error " + std::to_string(code) : text;
}

}  // namespace

HistoryKeeper::HistoryKeeper(HistoryFile file, Loaded loaded)
    : file_(std::move(file)), loaded_(std::move(loaded)), thread_([this] { Run(); }) {}

HistoryKeeper::~HistoryKeeper() {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
    stopBy_ = Clock::now() + HistoryFile::kLockWait;
  }
  wake_.notify_all();
  thread_.join();
}

void HistoryKeeper::Append(std::string command) {
  {
    const std::lock_guard<std::mutex> hold(mutex_);
    queue_.push_back(std::move(command));
  }
  wake_.notify_all();
}

bool HistoryKeeper::Stopping() {
  const std::lock_guard<std::mutex> hold(mutex_);
  return stopping_;
}

void HistoryKeeper::Read() {
  std::vector<std::string> earlier;
  SysError rc = 0;
  // A lock held elsewhere is tried again until it is free: this thread may wait, the window
  // does not. Each try is bounded, so that going away is never held up for long.
  while (HistoryFile::IsLockBusy(rc = file_.Load(earlier, Clock::now() + HistoryFile::kLockWait))) {
    if (Stopping()) {
      return;
    }
  }
  if (rc != 0) {
    file_.Tell("the history file in " + file_.Folder() + " could not be read: " + Reason(rc));
    return;
  }
  if (loaded_) {
    loaded_(std::move(earlier));
  }
}

void HistoryKeeper::Run() {
  Read();
  for (;;) {
    std::string command;
    Clock::time_point until;
    {
      std::unique_lock<std::mutex> hold(mutex_);
      wake_.wait(hold, [this] { return stopping_ || !queue_.empty(); });
      if (queue_.empty()) {
        return;
      }
      command = std::move(queue_.front());
      queue_.pop_front();
      until = stopping_ ? stopBy_ : Clock::now() + HistoryFile::kLockWait;
    }
    // A read-only history was said once already; its refusals are no news.
    if (const SysError rc = file_.Append(command, until); rc != 0 && !file_.KnownReadOnly()) {
      file_.Tell("a command was not added to the history file in " + file_.Folder() + ": " +
                 (HistoryFile::IsLockBusy(rc) ? "its lock was held elsewhere for longer than 0.5 s"
                                              : Reason(rc)));
    }
  }
}

}  // namespace pelorin
