// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The reader thread of one run. It reads the command's two streams as data arrives and keeps the
// chunks in arrival order until the window's thread takes them at its tick. Each stream may give
// at most kPipeBytes per tick: once a stream's share is taken, that stream is not read until the
// next tick, so a flood is held back by the full pipe, as the tick's cap always held it back.
// After the command has ended, the last reads (bounded in time and bytes) happen here too, so the
// window's thread never waits for a program that keeps the streams open.
//
// The window's thread only ever holds the lock for the moment of a swap; the reader thread
// holds it only to file what it read, never while it waits or reads.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "console/ProcessPlatform.h"

namespace pelorin {

class OutputPump {
 public:
  // Starts reading the child's streams; the child outlives the pump.
  explicit OutputPump(ChildProcess& child);
  ~OutputPump();
  OutputPump(const OutputPump&) = delete;
  OutputPump& operator=(const OutputPump&) = delete;

  // What was read since the last call, in arrival order. Each stream gets a fresh share of
  // kPipeBytes to read until the next call.
  std::vector<OutputChunk> Take();
  // From now on reads without shares, until both streams have ended, limit has passed or maxBytes
  // more have been read from a stream (that stream is then left alone), whichever comes first.
  void Drain(std::chrono::milliseconds limit, std::size_t maxBytes);
  // Waits at most `wait` for the drain to be over; true once it is: nothing more will be read.
  bool WaitDrained(std::chrono::milliseconds wait);
  // Ends the reading and the thread. The thread never waits on a stream when told to stop, so this
  // returns at once.
  void Stop();

 private:
  void Run();

  ChildProcess& child_;
  std::mutex mutex_;
  std::condition_variable drainedChanged_;
  std::vector<OutputChunk> chunks_;
  std::size_t room_[2] = {kPipeBytes, kPipeBytes};  // what each stream may still give
  bool ended_[2] = {false, false};
  bool draining_ = false;
  std::chrono::steady_clock::time_point deadline_;
  bool drained_ = false;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace pelorin
