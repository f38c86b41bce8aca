// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The platform half of the process runner: one child process whose standard output and standard
// error go into two pipes, polled without blocking. ProcessPlatform_posix.cpp and
// ProcessPlatform_win32.cpp implement it; nothing here uses Qt.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/SysError.h"

namespace pelorin {

// Size asked of the system for each pipe, and the largest amount taken from a stream per read.
inline constexpr std::size_t kPipeBytes = 30720;

enum class Stream { Out, Err };

// How one typed line is run by the system's command interpreter.
// Windows: program is %ComSpec% (empty when unset), switchText " /c ", and the command line is
// program + switchText + line, unquoted. POSIX: program is $SHELL, or /bin/sh when unset or
// empty, switchText "-c", and the argument vector is {program, switchText, line}.
struct InterpreterCommand {
  std::string program;
  std::string switchText;
  std::string line;
};

// Reads the interpreter from the environment of this process.
InterpreterCommand MakeInterpreterCommand(const std::string& line);

// One waited run. Standard input is the null device; the child inherits only the pipes' write
// ends and starts with default signal handling. Destroying the object closes the read ends and
// makes sure the child is reaped once it ends, without waiting for it here.
class ChildProcess {
 public:
  virtual ~ChildProcess() = default;

  // True once the child has ended (a pure poll: never waits).
  virtual bool HasEnded() = 0;
  // Bytes waiting in the stream's pipe, at most kPipeBytes; 0 when none or when asking failed.
  virtual std::size_t Available(Stream stream) = 0;
  // Reads up to count raw bytes and appends them; false when the read failed.
  virtual bool Read(Stream stream, std::size_t count, std::string& appendTo) = 0;
  // Reads both streams until every holder of the write ends has closed them, or until limit has
  // passed, whichever comes first. A background program that keeps the pipes open cannot hold
  // the caller longer than limit.
  virtual void Drain(std::chrono::milliseconds limit, std::string& out, std::string& err) = 0;
  // Closes both read ends; later reads fail.
  virtual void CloseReadEnds() = 0;
  // The system's identifier of the child, for diagnostics and tests; 0 when unknown.
  virtual std::int64_t ProcessId() const { return 0; }
};

// Starts a waited run. On failure returns the system error code and leaves child empty.
SysError StartChildProcess(const InterpreterCommand& command, std::unique_ptr<ChildProcess>& child);

// Starts the interpreter with the line, hidden, with no standard handles of ours, and forgets it
// (it is reaped in the background when it ends).
SysError StartDetached(const InterpreterCommand& command);

// Starts a program file directly, with no arguments and no shell, and forgets it.
SysError StartProgram(const std::string& programPath);

// The folder holding the running program's executable, without a trailing separator.
std::string ProgramFolder();

}  // namespace pelorin
