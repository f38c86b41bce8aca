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
//
// Each line runs in an interpreter of its own; what a shell keeps between lines (variables, the
// folder before, the folder stack) the session keeps (ShellState) and gives every command.
// Lines typed to a running command go to its standard input; those it never read, and the lines
// of a paste behind the first, wait in a queue and run one after another, each written behind
// its own prompt when its turn comes.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "console/CommandHistory.h"
#include "console/CommandQueue.h"
#include "console/OutputComposer.h"
#include "console/ProgramIndex.h"
#include "console/ShellState.h"
#include "console/WordCompletion.h"
#include "console/clsConsole.h"

namespace pelorin {

class ConsoleView;

class ConsoleSession {
 public:
  using CaptionSetter = std::function<void(const std::string&)>;
  // Told of each command the history kept, to keep it beyond this window.
  using CommandKept = std::function<void(const std::string&)>;
  // Told of the folder a built-in (cd, pushd, a drive...) made current.
  using FolderFollower = std::function<void(const std::string&)>;

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
  void SetFolderFollower(FolderFollower follow) { follow_ = std::move(follow); }

  // What the shell keeps between lines: the environment commands get, and the rest.
  ShellState& Shell() { return shell_; }
  // The line of the prompt now waiting for input (the input may go on over the lines after it).
  int PromptLine() const { return promptLine_; }
  // What Tab completes from: this window's variables, and the programs on its PATH (read in
  // the background; a Tab waits for them a moment at most) with the built-ins.
  CompletionSources Completion();

  void ExecuteCommand(const std::string& Line);
  // Lines to run after everything waiting, each behind its own prompt when its turn comes.
  void Queue(const std::vector<std::string>& lines);
  bool QueueEmpty() const { return queue_.Empty(); }
  void AppendText(std::string_view text);
  void ChangeDirectory(const std::string& Path);
  void RunDetached(const std::string& Command);
  // Interrupts the waited command, which then completes as usual (its output, then the
  // prompt); the second interrupt of the same command ends it for good. The lines waiting are
  // dropped, and the console says how many.
  void Interrupt();
  // Stops waiting for the command (it runs on), drops the lines waiting and says so.
  void StopWait();
  // A folder chosen outside the prompt (a link) entered as cd enters it; nothing while busy.
  void EnterFolder(const std::string& path);
  // Says one line above a fresh prompt (the input typed so far stays above it, as with the
  // tree); false, and nothing written, while a command runs.
  bool Tell(const std::string& line);
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

  // The current directory as shown (ShownPath) followed by ">".
  static std::string Prompt();

 private:
  void myConsole_OutputReceived(const TickOutput& output);
  void myConsole_Complete(const TickOutput& output);
  void ShowOutput(const OutputEdits& edits, const TickOutput& output);
  void PassOnTerminalSize();
  void RefreshPrograms();

  void AppendLongPrompt();
  void AppendShortPrompt();
  void AppendOwnLine(const std::string& text);
  void PlaceCaretAfterPrompt(bool afterTyped = false);
  void SetIdleCaption();
  void Execute(std::string line);
  bool ShowBuiltin(const BuiltinResult& result);
  void RunThroughInterpreter(const std::string& line);
  InterpreterCommand CommandFor(const std::string& line) const;
  void DropQueue();
  void ContinueQueue();
  void RunNextQueued();

  ConsoleView& view_;
  CaptionSetter setCaption_;
  clsConsole myConsole_;
  OutputComposer composer_;
  CommandHistory history_;
  CommandKept kept_;
  FolderFollower follow_;
  ShellState shell_;
  ProgramIndex programs_;
  CommandQueue queue_;
  bool queuedRun_ = false;   // the line starting came from the queue, not from the user's Enter
  bool nextQueued_ = false;  // a run of the next waiting line is on its way
  std::size_t dropped_ = 0;  // lines dropped while a command ran, said at its end
  bool dropUnread_ = false;  // the running command was interrupted or left: its unread lines go
  bool secretSent_ = false;  // hidden input was typed to the running command
  // Typed behind a prompt whose turn a waiting line took: back on the input line once the lines
  // waiting have run.
  std::string typedAhead_;
  int promptLine_ = 0;
  int commandLine_ = 0;  // the prompt line of the command running or last run
  bool bBusy_ = false;
  std::string strLastCommand_;
};

}  // namespace pelorin
