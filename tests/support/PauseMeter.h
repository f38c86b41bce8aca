// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <chrono>
#include <fstream>

namespace pelorin::test {

// The longest pause of one thread between two calls of Mark, less the time the thread was ready
// to run but waited for a processor meanwhile: on a machine busy with other work that wait
// reaches hundreds of milliseconds, and it says nothing about whether the thread itself kept
// answering. Where the system keeps no scheduler statistics, the pauses count whole.
class PauseMeter {
 public:
  using Clock = std::chrono::steady_clock;

  PauseMeter() : last_(Clock::now()), lastWait_(ProcessorWait()) {}

  void Mark() {
    const Clock::time_point now = Clock::now();
    const std::chrono::nanoseconds wait = ProcessorWait();
    longest_ = std::max<std::chrono::nanoseconds>(longest_, (now - last_) - (wait - lastWait_));
    last_ = now;
    lastWait_ = wait;
  }

  long long LongestMs() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(longest_).count();
  }

  // The calling thread's time in the run queue so far (Linux: the second figure of schedstat).
  static std::chrono::nanoseconds ProcessorWait() {
    long long running = 0, waiting = 0;
    std::ifstream("/proc/thread-self/schedstat") >> running >> waiting;
    return std::chrono::nanoseconds(waiting);
  }

 private:
  Clock::time_point last_;
  std::chrono::nanoseconds lastWait_;
  std::chrono::nanoseconds longest_{0};
};

}  // namespace pelorin::test
