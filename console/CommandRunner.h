// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The tick logic of the process runner, without Qt: one waited command at a time, polled by
// calls to Tick (clsConsole makes them from a 200 ms timer). A reader thread (OutputPump) reads
// the command's two streams as data arrives; each tick takes what came since the last one, at
// most kPipeBytes of each stream, in arrival order. Once the command has ended the last reads go
// on (bounded) across ticks, and the tick that sees them done completes; so does the first tick
// after StopWait, with that tick's text only. Input typed to the command is given to it here, at
// most kPipeBytes a tick, without ever waiting for the command to take it.

#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/OutputDecoder.h"
#include "console/OutputPump.h"
#include "console/ProcessPlatform.h"
#include "console/TerminalText.h"
#include "platform/SysError.h"

namespace pelorin {

class CommandRunner {
 public:
  // How the child of a waited run and a forgotten run are started; tests put fakes here.
  using ChildStarter =
      std::function<SysError(const InterpreterCommand&, std::unique_ptr<ChildProcess>&)>;
  using DetachedStarter = std::function<SysError(const InterpreterCommand&)>;

  // After the command has ended, how long and how much the last reads take per stream: a
  // program the command left running in the background may hold the pipes open for ever, or
  // write without end (`yes &`). What the command wrote before it ended is in the pipe, which
  // holds less than the byte bound, so none of it is lost.
  static constexpr std::chrono::milliseconds kDrainLimit{1000};
  static constexpr std::size_t kDrainBytes = 4 * kPipeBytes;
  // How long the tick that sees the end waits for the last reads, which take no time unless a
  // program left behind holds the streams; longer ones go on across the ticks.
  static constexpr std::chrono::milliseconds kQuickEnd{20};

  struct TickResult {
    enum Kind { Output, Complete };
    Kind kind = Output;
    TickOutput output;
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

  // Gives a line (its line end included) to the command's standard input; what does not fit now
  // is given at the next ticks, in order. False when there is no command that could still read it
  // (none runs, or it has ended): the line is then kept with the unread input.
  bool SendInput(const std::string& line);
  // Ends the command's input once everything sent before has been given (Ctrl+D at a terminal).
  void EndInput();
  // The command's terminal as it has set it; no terminal while nothing runs.
  TerminalState Terminal();
  // The console's size in characters, for the terminal of this run and of the next ones.
  void SetTerminalSize(int columns, int rows);
  // After a completion: the lines given to the run that it never read, and those that could not
  // be given, in the order they were sent, without their line ends. Taking them empties the list.
  std::vector<std::string> TakeUnreadInput();

  // One poll. Call only while Running(); otherwise it returns an empty Complete.
  TickResult Tick();

 private:
  void GiveInput();
  void ExpectEcho(const std::string& line);
  // Takes the input not given yet, as bytes.
  std::string NotGiven();
  void Decode(std::vector<OutputChunk>& chunks, TickOutput& output);
  void Finish(TickResult& result, bool ended);

  ChildStarter startChild_;
  DetachedStarter startDetached_;
  std::unique_ptr<ChildProcess> child_;
  std::unique_ptr<OutputPump> pump_;
  std::unique_ptr<OutputDecoder> decoders_[2];
  Overstrike overstrike_[2];
  EchoFilter echo_;
  bool stopWait_ = false;
  bool draining_ = false;
  int columns_ = 0;
  int rows_ = 0;
  // Input not yet given, line by line (the first one maybe in part), then the end of input when
  // asked for.
  std::deque<std::string> input_;
  std::size_t inputGiven_ = 0;  // bytes of the first line given already
  bool endInput_ = false;
  std::size_t inputRoom_ = kPipeBytes;  // what the input may still take this tick
  bool inputRefused_ = false;
  bool refusalTold_ = false;
  std::string unread_;
};

}  // namespace pelorin
