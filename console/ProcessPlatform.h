// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The platform half of the process runner: one child process whose standard output and standard
// error go into two pipes, polled without blocking. ProcessPlatform_posix.cpp and
// ProcessPlatform_win32.cpp implement it; nothing here uses Qt.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/ExitStatus.h"
#include "platform/SysError.h"

namespace pelorin {

// Size asked of the system for each pipe, and the largest amount taken from a stream per read.
inline constexpr std::size_t kPipeBytes = 30720;

enum class Stream { Out, Err };

// How one typed line is run by the system's command interpreter.
// Windows: program is %ComSpec% (empty when unset), switchText " /s /c ", and the command line
// is program + switchText + the line in quotes, behind a step that makes the command's console
// UTF-8 (ProcessPlatform_win32.cpp); cmd runs the line exactly as typed. POSIX: program is
// $SHELL, or /bin/sh when unset or empty, switchText "-c", and the argument vector is
// {program, switchText, line}.
// environment: the child's whole environment as NAME=value entries; empty, this process's own.
struct InterpreterCommand {
  std::string program;
  std::string switchText;
  std::string line;
  std::vector<std::string> environment = {};
};

// Reads the interpreter from the environment of this process.
InterpreterCommand MakeInterpreterCommand(const std::string& line);

// One waited run. Standard input is the null device; the child inherits only the pipes' write
// ends and starts with default signal handling, in a session and process group of its own (so a
// terminal's signals to the window never reach it) or, on Windows, in a job object of its own.
// Destroying the object releases the read ends still held (ReleaseReadEnds) and makes sure the
// child is reaped once it ends, without waiting for it here.
class ChildProcess {
 public:
  virtual ~ChildProcess() = default;

  // True once the child has ended (a pure poll: never waits).
  virtual bool HasEnded() = 0;
  // How it ended, once HasEnded has seen it end; nothing while it runs or when the system
  // cannot say.
  virtual std::optional<ExitStatus> Status() const { return std::nullopt; }
  // Bytes waiting in the stream's pipe, at most kPipeBytes; 0 when none or when asking failed.
  virtual std::size_t Available(Stream stream) = 0;
  // Reads up to count raw bytes and appends them; false when the read failed.
  virtual bool Read(Stream stream, std::size_t count, std::string& appendTo) = 0;
  // Reads both streams until every holder of the write ends has closed them, until limit has
  // passed, or until maxBytes have been taken from a stream (that stream is then left alone),
  // whichever comes first. A background program that keeps the pipes open, or keeps writing,
  // cannot hold the caller longer than limit nor fill more than maxBytes per stream.
  virtual void Drain(std::chrono::milliseconds limit, std::size_t maxBytes, std::string& out,
                     std::string& err) = 0;
  // Gives up both read ends; later reads fail. A writer left behind is never stopped by it:
  // POSIX hands a pipe that still has writers to a small process of its own session, which
  // reads and throws away what arrives until the last writer has closed it, and outlives this
  // process (a closed pipe would kill the writer with SIGPIPE). Windows closes the read ends: a
  // later write fails with ERROR_NO_DATA, and the writer carries on.
  virtual void ReleaseReadEnds() = 0;
  // Asks the child and everything it started to stop. POSIX: the first call sends SIGINT to its
  // process group, every later call SIGKILL (a program may ignore SIGINT, and a shell starts its
  // background jobs with SIGINT ignored). Windows: ends the whole process tree at once. Does
  // nothing once the child has been seen ended.
  virtual void Interrupt() = 0;
  // The system's identifier of the child, for diagnostics and tests; 0 when unknown.
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
