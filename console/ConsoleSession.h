// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The console session on the window's one thread: a typed line taking effect, the runner's
// output and completion written back, and the folder tree's choice made current. It owns the
// process runner and handles its events itself; it writes to the surface only through
// AppendText and the output composer's edits, and reads the current directory afresh every
// time. All text is UTF-8.
//
// Every prompt starts a line of its own. The prompt and the caption show the directory as
// ShownPath does, and a typed line is compared against that prompt.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "console/CommandHistory.h"
#include "console/OutputComposer.h"
#include "console/clsConsole.h"

namespace pelorin {

class ConsoleView;

class ConsoleSession {
 public:
  using CaptionSetter = std::function<void(const std::string&)>;
  // Told of each command the history kept, to keep it beyond this window.
  using CommandKept = std::function<void(const std::string&)>;

  ConsoleSession(ConsoleView& view, CaptionSetter setCaption);
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  // A waited command runs and its end is not yet shown.
  bool bBusy() const { return bBusy_; }
  // The last line handed to ExecuteCommand, as typed.
  const std::string& strLastCommand() const { return strLastCommand_; }
  clsConsole& myConsole() { return myConsole_; }
  // The commands run so far, for Up and Down on the input line.
  CommandHistory& History() { return history_; }
  // Starts the history with what earlier windows kept (oldest first); kept hears of every
  // command added from now on.
  void UseHistory(const std::vector<std::string>& earlier, CommandKept kept);

  void ExecuteCommand(const std::string& Line);
  void AppendText(std::string_view text);
  void ChangeDirectory(const std::string& Path);
  void RunDetached(const std::string& Command);
  // Interrupts the waited command, which then completes as usual (its output, then the
  // prompt); the second interrupt of the same command ends it for good. Nothing while idle.
  void Interrupt();
  // Handler of the folder tree's FolderChange: path is the chosen folder's full path.
  void DirLS_FolderChange(const std::string& path);

  // Input to the waited command. SendInput gives it a line the user typed (its line end is
  // added); shown: the line stays on the surface as typed and ends the surface's last line
  // (hidden input leaves nothing). Sent lines are not command history. EndInput ends the
  // command's input, as Ctrl+D at a terminal.
  void SendInput(const std::string& line, bool shown);
  void EndInput();
  // What is typed now is not to be shown: the command's terminal does not echo it while taking
  // lines (a password), or the output's last line, lineBeforeInput, asks for a password or a
  // passphrase.
  bool InputHidden(std::string_view lineBeforeInput);
  // After a command's completion: the lines typed to it that it never read (as typed, without
  // their line ends), oldest first. Taking them empties the list.
  std::vector<std::string> TakeUnreadInput() { return std::move(unread_); }

  // The current directory as shown (ShownPath) followed by ">".
  static std::string Prompt();

 private:
  void myConsole_OutputReceived(const TickOutput& output);
  void myConsole_Complete(const TickOutput& output);
  void ShowOutput(const OutputEdits& edits, const TickOutput& output);
  void PassOnTerminalSize();

  void AppendLongPrompt();
  void AppendShortPrompt();
  void PlaceCaretAfterPrompt();
  void SetIdleCaption();
  void RunThroughInterpreter(const std::string& line);

  ConsoleView& view_;
  CaptionSetter setCaption_;
  clsConsole myConsole_;
  OutputComposer composer_;
  CommandHistory history_;
  CommandKept kept_;
  bool bBusy_ = false;
  std::string strLastCommand_;
  std::vector<std::string> unread_;
};

}  // namespace pelorin
