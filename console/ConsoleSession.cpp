// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/ConsoleSession.h"

#include <limits>

#include "console/CdCommand.h"
#include "console/CommandLine.h"
#include "console/ConsoleView.h"
#include "console/ProcessPlatform.h"
#include "console/TerminalText.h"
#include "console/Utf8.h"
#include "platform/Directory.h"
#include "platform/LineEnd.h"
#include "platform/WinAPIError.h"

namespace pelorin {

namespace {

constexpr std::string_view kCaptionSuffix = " - Pelorin";
constexpr std::string_view kBusyCaption = "Working... - Pelorin";
constexpr std::string_view kPathNotFound = ": Path not found";
constexpr std::string_view kInputRefused = "The command does not read input";

}  // namespace

ConsoleSession::ConsoleSession(ConsoleView& view, CaptionSetter setCaption)
    : view_(view), setCaption_(std::move(setCaption)) {
  QObject::connect(&myConsole_, &clsConsole::OutputReceived, &myConsole_,
                   [this](const TickOutput& output) { myConsole_OutputReceived(output); });
  QObject::connect(&myConsole_, &clsConsole::Complete, &myConsole_,
                   [this](const TickOutput& output) { myConsole_Complete(output); });
}

void ConsoleSession::UseHistory(const std::vector<std::string>& earlier, CommandKept kept) {
  history_ = CommandHistory(earlier);
  kept_ = std::move(kept);
}

std::string ConsoleSession::Prompt() {
  return ShownPath(CurrentDirectory()) + '>';
}

void ConsoleSession::AppendText(std::string_view text) {
  view_.AppendAtEnd(text);
}

void ConsoleSession::SetIdleCaption() {
  setCaption_(ShownPath(CurrentDirectory()).append(kCaptionSuffix));
}

void ConsoleSession::PlaceCaretAfterPrompt() {
  view_.MoveCaret(view_.LineCount() - 1, static_cast<int>(utf8::Utf16Length(Prompt())));
}

void ConsoleSession::AppendLongPrompt() {
  AppendText(LineEnd() + Prompt());
}

// The prompt starts a line of its own: after output without a final line end (printf abc, or a
// wait stopped mid-line) it would otherwise continue that line and refuse every command.
void ConsoleSession::AppendShortPrompt() {
  const bool lineEmpty = view_.LineText(view_.LineCount() - 1).empty();
  AppendText(lineEmpty ? Prompt() : LineEnd() + Prompt());
}

void ConsoleSession::ExecuteCommand(const std::string& Line) {
  strLastCommand_ = Line;
  if (history_.Add(Line) && kept_) {
    kept_(Line);
  }
  const std::string line = NormalizeBlanks(Line);
  const ParsedLine parsed = ParseCommandLine(line);
  switch (parsed.kind) {
    case LineKind::Empty:
    case LineKind::BareCd:
    case LineKind::BareRun:
      AppendLongPrompt();
      PlaceCaretAfterPrompt();
      return;
    case LineKind::Cd:
      ChangeDirectory(parsed.argument);
      return;
    case LineKind::Run:
      RunDetached(parsed.argument);
      return;
    case LineKind::External:
      RunThroughInterpreter(line);
      return;
  }
}

void ConsoleSession::RunThroughInterpreter(const std::string& line) {
  AppendText(LineEnd());
  composer_.Restart();
  view_.SetReadOnly(true);
  bBusy_ = true;
  setCaption_(std::string(kBusyCaption));
  unread_.clear();
  PassOnTerminalSize();
  const SysError rc = myConsole_.RunCommand(MakeInterpreterCommand(line));
  if (rc == 0) {
    // What the user types from now on goes to the command.
    view_.BeginInput();
    view_.MoveCaret(view_.LineCount() - 1, std::numeric_limits<int>::max());
    return;  // output and completion arrive through the runner's events
  }
  bBusy_ = false;
  view_.SetReadOnly(false);
  AppendText(ApiErrorText(rc));
  SetIdleCaption();
  AppendShortPrompt();
  PlaceCaretAfterPrompt();
}

void ConsoleSession::ChangeDirectory(const std::string& Path) {
  const std::string path = CdPath(Path, PlatformQuoting(), TildeHome());
  if (const SysError rc = SetCurrentDir(path)) {
    AppendText(LineEnd() + ShownPath(path) + CdFailureText(rc));
  }
  AppendLongPrompt();
  SetIdleCaption();
  PlaceCaretAfterPrompt();
}

void ConsoleSession::RunDetached(const std::string& Command) {
  const SysError rc = myConsole_.RunWithoutWait(MakeInterpreterCommand(Command));
  view_.SetReadOnly(false);
  if (rc != 0) {
    AppendText(LineEnd() + ApiErrorText(rc));
    AppendShortPrompt();
  } else {
    AppendLongPrompt();
  }
  PlaceCaretAfterPrompt();
}

void ConsoleSession::Interrupt() {
  if (bBusy_) {
    myConsole_.Interrupt();
  }
}

void ConsoleSession::PassOnTerminalSize() {
  int columns = 0;
  int rows = 0;
  view_.SizeInCharacters(columns, rows);
  myConsole_.SetTerminalSize(columns, rows);
}

void ConsoleSession::ShowOutput(const OutputEdits& edits, const TickOutput& output) {
  view_.ApplyOutput(edits);
  if (output.inputRefused) {
    view_.ApplyOutput(composer_.Notice(kInputRefused));
  }
}

void ConsoleSession::myConsole_OutputReceived(const TickOutput& output) {
  view_.SetReadOnly(false);
  ShowOutput(composer_.Feed(output), output);
  // A selection made while the command runs stays for Ctrl+C to copy (without one, Ctrl+C
  // interrupts the command), and so does a caret in what the user is typing to the command;
  // otherwise the caret goes to the end, behind the output, where typing goes to the command.
  if (!view_.HasSelectedText() && !view_.CaretInInput()) {
    view_.MoveCaret(view_.LineCount() - 1, std::numeric_limits<int>::max());
  }
  view_.SetReadOnly(true);
  PassOnTerminalSize();
}

void ConsoleSession::myConsole_Complete(const TickOutput& output) {
  bBusy_ = false;
  view_.SetReadOnly(false);
  SetIdleCaption();
  ShowOutput(composer_.Finish(output), output);
  for (std::string& line : myConsole_.TakeUnreadInput()) {
    unread_.push_back(std::move(line));
  }
  // The prompt goes before what the user was typing, which then stands behind it.
  AppendText(composer_.AtLineStart() ? Prompt() : LineEnd() + Prompt());
  if (view_.EndInput()) {
    view_.MoveCaret(view_.LineCount() - 1, std::numeric_limits<int>::max());
  } else {
    PlaceCaretAfterPrompt();
  }
}

void ConsoleSession::SendInput(const std::string& line, bool shown) {
  if (!bBusy_) {
    return;
  }
  if (shown) {
    composer_.LineEndedByInput();
  }
  myConsole_.SendInput(line + LineEnd());
}

void ConsoleSession::EndInput() {
  if (bBusy_) {
    myConsole_.EndInput();
  }
}

bool ConsoleSession::InputHidden(std::string_view lineBeforeInput) {
  return (bBusy_ && myConsole_.Terminal().Hidden()) || AsksForSecret(lineBeforeInput);
}

void ConsoleSession::DirLS_FolderChange(const std::string& path) {
  if (bBusy_) {
    return;  // a folder chosen while a command runs changes nothing
  }
  const bool empty = view_.LineCount() == 1 && view_.LineText(0).empty();
  std::string text = empty ? std::string() : std::string(LineEnd());
  if (!TrySetCurrentDir(path)) {
    text.append(ShownPath(path)).append(kPathNotFound).append(LineEnd());
  }
  AppendText(text + Prompt());
  SetIdleCaption();
  view_.TakeFocus();
  PlaceCaretAfterPrompt();
}

}  // namespace pelorin
