// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tick logic of the process runner, without Qt: one waited command at a time, polled by
// calls to Tick (clsConsole makes them from a 200 ms timer). Each tick takes at most kPipeBytes
// from each stream; the tick that finds the command ended reads the rest and completes, and so
// does the first tick after StopWait, with that tick's text only.

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "console/OutputDecoder.h"
#include "console/ProcessPlatform.h"
#include "platform/SysError.h"

namespace pelorin {

class CommandRunner {
 public:
  // How the child of a waited run and a forgotten run are started; tests put fakes here.
  using ChildStarter =
      std::function<SysError(const InterpreterCommand&, std::unique_ptr<ChildProcess>&)>;
  using DetachedStarter = std::function<SysError(const InterpreterCommand&)>;

  // After the command has ended, how long the last tick keeps reading: a program the command
  // left running in the background may hold the pipes open for ever.
  static constexpr std::chrono::milliseconds kDrainLimit{1000};

  struct TickResult {
    enum Kind { Output, Complete };
    Kind kind = Output;
    std::string stdOut;  // UTF-8, complete characters only
    std::string stdErr;
  };

  CommandRunner();
  explicit CommandRunner(ChildStarter startChild, DetachedStarter startDetached = StartDetached);
  ~CommandRunner();
  CommandRunner(const CommandRunner&) = delete;
  CommandRunner& operator=(const CommandRunner&) = delete;

  // Starts a waited run; a run still going is given up first (its child is reaped once it
  // ends). Returns 0, or the system error code of the failed start (then nothing runs).
  SysError Start(const InterpreterCommand& command);
  // Starts the command with no pipes and forgets it; a waited run is not touched.
  SysError StartWithoutWait(const InterpreterCommand& command);
  // The next tick completes the run without waiting for its end; the command is not stopped.
  void StopWait();
  bool Running() const { return child_ != nullptr; }

  // One poll. Call only while Running(); otherwise it returns an empty Complete.
  TickResult Tick();

 private:
  // Reads count bytes in chunks of at most kPipeBytes and appends the decoded text; a failed
  // chunk is skipped. Returns whether any byte was read.
  bool ReadCounted(Stream stream, std::size_t count, OutputDecoder& decoder, std::string& text);
  void Finish(TickResult& result);

  ChildStarter startChild_;
  DetachedStarter startDetached_;
  std::unique_ptr<ChildProcess> child_;
  std::unique_ptr<OutputDecoder> outDecoder_;
  std::unique_ptr<OutputDecoder> errDecoder_;
  bool stopWait_ = false;
  std::string raw_;  // reused by every read, so a tick allocates nothing but its text
};

}  // namespace pelorin
