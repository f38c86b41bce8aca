// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a shell keeps from one line to the next, for an interpreter that lives one line only:
// the environment, the folder before the last change (cd -) and the folder stack (pushd,
// popd). It carries out the built-ins of the table (ParseCommandLine) other than run, in the
// manner of the flavour's interpreter, and says what the session is to show; it writes nothing
// itself and knows nothing of the surface.

#include <functional>
#include <string>
#include <vector>

#include "console/CommandEnvironment.h"
#include "console/CommandLine.h"
#include "platform/SysError.h"

namespace pelorin {

// The folder calls the built-ins make; tests give fakes, so cmd's forms are tried anywhere.
struct FolderCalls {
  std::function<std::string()> current;                // the current folder
  std::function<SysError(const std::string&)> change;  // SetCurrentDir
  std::function<SysError(char letter)> changeDrive;    // to that drive's current folder
  std::function<std::string(SysError)> failure;        // CdFailureText: ": Path not found"...
};

// The process's own (platform/Directory.h).
FolderCalls PlatformFolderCalls();

struct BuiltinResult {
  std::vector<std::string> lines;  // what it says, one line each, without line ends
  bool ok = true;                  // it worked (for && and ||)
  bool folderChanged = false;
  bool clear = false;  // the console is to be emptied
};

class ShellState {
 public:
  ShellState(Quoting flavour, FolderCalls calls, CommandEnvironment environment);

  // Carries out a built-in of the table; the line's then part is the caller's.
  BuiltinResult Run(const ParsedLine& line);
  // The folder was changed by other means (the tree): cd - goes back to from.
  void LeftFolder(const std::string& from) { previous_ = from; }
  // Changes to a folder given whole (no quotes, no variables), as cd does.
  BuiltinResult EnterFolder(const std::string& path);

  CommandEnvironment& Environment() { return environment_; }
  const CommandEnvironment& Environment() const { return environment_; }
  // What a leading ~ stands for: $HOME of this environment with sh, nothing with cmd.
  std::string Home() const;
  // The folders pushd left, the newest last.
  const std::vector<std::string>& Stack() const { return stack_; }

 private:
  BuiltinResult ChangeTo(const std::string& path, bool sayFolder);
  BuiltinResult Cd(const ParsedLine& line);
  BuiltinResult Pushd(const std::string& argument);
  BuiltinResult Popd(const std::string& argument);
  BuiltinResult Drive(char letter);
  BuiltinResult Export(const std::string& argument);
  BuiltinResult Unset(const std::string& argument);
  BuiltinResult Set(const std::string& argument);
  BuiltinResult Said(std::string line, bool ok) const;

  Quoting flavour_;
  FolderCalls calls_;
  CommandEnvironment environment_;
  std::string previous_;
  std::vector<std::string> stack_;
};

}  // namespace pelorin
