// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/OutputPump.h"

#include <algorithm>

namespace pelorin {

using Clock = std::chrono::steady_clock;

OutputPump::OutputPump(ChildProcess& child) : child_(child) {
  thread_ = std::thread([this] { Run(); });
}

OutputPump::~OutputPump() {
  Stop();
}

void OutputPump::Run() {
  std::vector<OutputChunk> got;
  for (;;) {
    std::size_t room[2];
    // Without a drain only the window's thread ends the wait (a new tick's shares, a drain, the
    // stop), so it may be long.
    std::chrono::milliseconds wait{60'000};
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      if (stop_) {
        break;
      }
      for (int i = 0; i < 2; ++i) {
        room[i] = ended_[i] ? 0 : std::min(room_[i], kPipeBytes);
      }
      if (draining_) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline_ - Clock::now());
        if (left.count() <= 0 || (room[0] == 0 && room[1] == 0)) {
          drained_ = true;
          drainedChanged_.notify_all();
          break;
        }
        wait = left;
      }
    }
    got.clear();
    bool ended[2] = {false, false};
    child_.ReadOutput(room, wait, got, ended);
    const std::lock_guard<std::mutex> lock(mutex_);
    for (OutputChunk& chunk : got) {
      const int i = chunk.stream == Stream::Out ? 0 : 1;
      room_[i] -= std::min(room_[i], chunk.bytes.size());
      if (!chunks_.empty() && chunks_.back().stream == chunk.stream) {
        chunks_.back().bytes += chunk.bytes;
      } else {
        chunks_.push_back(std::move(chunk));
      }
    }
    ended_[0] = ended_[0] || ended[0];
    ended_[1] = ended_[1] || ended[1];
  }
}

std::vector<OutputChunk> OutputPump::Take() {
  std::vector<OutputChunk> taken;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    taken.swap(chunks_);
    if (!draining_) {
      room_[0] = room_[1] = kPipeBytes;
    }
  }
  child_.WakeReader();
  return taken;
}

void OutputPump::Drain(std::chrono::milliseconds limit, std::size_t maxBytes) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    draining_ = true;
    deadline_ = Clock::now() + limit;
    room_[0] = room_[1] = maxBytes;
  }
  child_.WakeReader();
}

bool OutputPump::WaitDrained(std::chrono::milliseconds wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  return drainedChanged_.wait_for(lock, wait, [this] { return drained_ || stop_; });
}

void OutputPump::Stop() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  child_.WakeReader();
  if (thread_.joinable()) {
    thread_.join();
  }
}

}  // namespace pelorin
