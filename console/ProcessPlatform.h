// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The platform half of the process runner: one child process whose output is read as it comes
// and whose input is given without blocking. ProcessPlatform_posix.cpp and
// ProcessPlatform_win32.cpp implement it; nothing here uses Qt.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/ExitStatus.h"
#include "console/StreamText.h"
#include "platform/SysError.h"

namespace pelorin {

// Size asked of the system for each pipe, and the largest amount taken from a stream per tick.
inline constexpr std::size_t kPipeBytes = 30720;

// Bytes one stream gave, as they came: a run's output is a sequence of these in arrival order.
struct OutputChunk {
  Stream stream = Stream::Out;
  std::string bytes;
  friend bool operator==(const OutputChunk&, const OutputChunk&) = default;
};

// How one typed line is run by the system's command interpreter.
// Windows: program is %ComSpec% (empty when unset), switchText " /s /c ", and the command line
// is program + switchText + the line in quotes, behind a step that makes the command's console
// UTF-8 (ProcessPlatform_win32.cpp); cmd runs the line exactly as typed. POSIX: program is
// $SHELL, or /bin/sh when unset or empty, switchText "-c", and the argument vector is
// {program, switchText, line}.
// environment: the child's whole environment as NAME=value entries, none at all when empty;
// absent, this process's own.
struct InterpreterCommand {
  std::string program;
  std::string switchText;
  std::string line;
  std::optional<std::vector<std::string>> environment = std::nullopt;
  int columns = 0;  // the terminal's size where the command gets one; 0: the default
  int rows = 0;
};

// Reads the interpreter from the environment of this process.
InterpreterCommand MakeInterpreterCommand(const std::string& line);

// What the command has made of its terminal. Windows gives a pipe, never a terminal.
struct TerminalState {
  bool present = false;  // standard input and output are a terminal
  bool echo = true;      // the terminal shows what is typed
  bool lines = true;     // input is taken a line at a time (off: key by key, as readline reads)
  // Typed input the command does not want shown: echo off for a line (sudo, ssh, read -s).
  bool Hidden() const { return present && !echo && lines; }
};

// What became of bytes given to the command's standard input.
struct InputWritten {
  std::size_t bytes = 0;  // taken; the rest would have waited, and waits with the caller
  bool refused = false;   // nothing reads it any more (the input is closed)
};

// One waited run. On POSIX standard input and output are a terminal of their own (the command's
// controlling terminal, TERM=dumb, pagers printing straight through) and standard error a pipe;
// on Windows all three are pipes. The child inherits only those and starts with default signal
// handling, in a session of its own (so a terminal's signals to the window never reach it) or,
// on Windows, in a job object of its own. Destroying the object releases the read ends still
// held (ReleaseReadEnds) and makes sure the child is reaped once it ends, without waiting for it
// here.
//
// Threads: output is read by one reader thread (ReadOutput, WakeReader) while the window's
// thread polls, writes input and asks about the terminal; ReleaseReadEnds and TakeUnreadInput
// come only after the reader has stopped.
class ChildProcess {
 public:
  virtual ~ChildProcess() = default;

  // True once the child has ended (a pure poll: never waits).
  virtual bool HasEnded() = 0;
  // How it ended, once HasEnded has seen it end; nothing while it runs or when the system
  // cannot say.
  virtual std::optional<ExitStatus> Status() const { return std::nullopt; }
  // Waits at most `wait` for output on the streams that still have room and reads what is
  // there, at most room[i] bytes of stream i, appending it to chunks in the order it came. A
  // stream with no room is not read at all, so its writer is held back by the full pipe. Sets
  // ended[i] once stream i reached its end (every writer gone) or failed. Returns early when
  // WakeReader is called.
  virtual void ReadOutput(const std::size_t room[2], std::chrono::milliseconds wait,
                          std::vector<OutputChunk>& chunks, bool ended[2]) = 0;
  // Any thread: a ReadOutput waiting now, or the next one, returns at once.
  virtual void WakeReader() = 0;
  // Gives bytes to the command's standard input without waiting: what does not fit now is left.
  virtual InputWritten WriteInput(std::string_view bytes) = 0;
  // Ends the command's input, as Ctrl+D does at a terminal. False when that has to wait (the
  // input is full); call again later.
  virtual bool EndInput() = 0;
  virtual TerminalState Terminal() = 0;
  // The terminal's size in characters (nothing without a terminal).
  virtual void SetTerminalSize(int columns, int rows) = 0;
  // After the end: the input given to the command that it never read, as it was given.
  virtual std::string TakeUnreadInput() = 0;
  // Gives up the read ends (and the input); later reads fail. A writer left behind is never
  // stopped by it: POSIX hands what still has writers to a small helper process of its own
  // session (not a copy of this one), which reads and throws away what arrives until the last
  // writer has closed it, and outlives this process (a closed pipe would kill the writer with
  // SIGPIPE, a closed terminal hang it up). Windows closes the read ends: a later write fails
  // with ERROR_NO_DATA, and the writer carries on.
  virtual void ReleaseReadEnds() = 0;
  // Asks the child and everything it started to stop. POSIX: the first call sends SIGINT to its
  // process group, every later call SIGKILL (a program may ignore SIGINT, and a shell starts its
  // background jobs with SIGINT ignored). Windows: ends the whole process tree at once. Does
  // nothing once the child has been seen ended.
  virtual void Interrupt() = 0;
  // The system's identifier of the child, for diagnostics and tests; 0 when unknown. On POSIX
  // the process that leads the command's session.
  virtual std::int64_t ProcessId() const { return 0; }
};

// Starts a waited run. On failure returns the system error code and leaves child empty.
SysError StartChildProcess(const InterpreterCommand& command, std::unique_ptr<ChildProcess>& child);

// Every child below gets its three standard streams and nothing else of this process: no other
// descriptor or handle that this process inherited or opened reaches it.

// Starts the interpreter with the line, hidden, with no standard handles of ours, and forgets it
// (it is reaped in the background when it ends).
SysError StartDetached(const InterpreterCommand& command);

// Starts a program file directly, with no arguments and no shell, and forgets it.
SysError StartProgram(const std::string& programPath);

// The folder holding the running program's executable, without a trailing separator.
std::string ProgramFolder();

// The running program's own executable, whatever its name; empty when the system cannot say.
std::string ProgramPath();

}  // namespace pelorin
