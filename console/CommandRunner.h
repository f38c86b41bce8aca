// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tick logic of the process runner, without Qt: one waited command at a time, polled by
// calls to Tick (clsConsole makes them from a 200 ms timer). Each tick takes at most kPipeBytes
// from each stream; the tick that finds the command ended reads the rest and completes, and so
// does the first tick after StopWait, with that tick's text only.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
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

  // After the command has ended, how long and how much the last tick keeps reading per stream:
  // a program the command left running in the background may hold the pipes open for ever, or
  // write without end (`yes &`). What the command wrote before it ended is in the pipe, which
  // holds less than the byte bound, so none of it is lost.
  static constexpr std::chrono::milliseconds kDrainLimit{1000};
  static constexpr std::size_t kDrainBytes = 4 * kPipeBytes;

  struct TickResult {
    enum Kind { Output, Complete };
    Kind kind = Output;
    std::string stdOut;  // UTF-8, complete characters only
    std::string stdErr;
    // How the command ended, on the Complete of a command seen ending (not after StopWait).
    std::optional<ExitStatus> exit;
  };

  CommandRunner();
  explicit CommandRunner(ChildStarter startChild, DetachedStarter startDetached = StartDetached);
  ~CommandRunner();
  CommandRunner(const CommandRunner&) = delete;
  CommandRunner& operator=(const CommandRunner&) = delete;

  // Starts a waited run; a run still going is given up first, as StopWait gives it up (its
  // child is reaped once it ends). Returns 0, or the system error code of the failed start (then
  // nothing runs).
  SysError Start(const InterpreterCommand& command);
  // Starts the command with no pipes and forgets it; a waited run is not touched.
  SysError StartWithoutWait(const InterpreterCommand& command);
  // The next tick completes the run without waiting for its end; the command is not stopped,
  // and what it writes from then on is thrown away (ChildProcess::ReleaseReadEnds).
  void StopWait();
  // Interrupts the running command and all it started (ChildProcess::Interrupt): the first time
  // it is asked to stop, the second time it is ended for good. It then completes through the
  // ticks as usual, with what it wrote. Does nothing while nothing runs.
  void Interrupt();
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
