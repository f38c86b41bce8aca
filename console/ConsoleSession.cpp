// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/ConsoleSession.h"

#include "console/CdCommand.h"
#include "console/CommandLine.h"
#include "console/ConsoleView.h"
#include "console/ProcessPlatform.h"
#include "console/Utf8.h"
#include "platform/Directory.h"
#include "platform/LineEnd.h"
#include "platform/WinAPIError.h"

namespace pelorin {

namespace {

constexpr std::string_view kCaptionSuffix = " - Pelorin";
constexpr std::string_view kBusyCaption = "Working... - Pelorin";

}  // namespace

ConsoleSession::ConsoleSession(ConsoleView& view, CaptionSetter setCaption)
    : view_(view), setCaption_(std::move(setCaption)) {
  QObject::connect(&myConsole_, &clsConsole::OutputReceived, &myConsole_,
                   [this](const std::string& out, const std::string& err) {
                     myConsole_OutputReceived(out, err);
                   });
  QObject::connect(
      &myConsole_, &clsConsole::Complete, &myConsole_,
      [this](const std::string& out, const std::string& err) { myConsole_Complete(out, err); });
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
  const SysError rc = myConsole_.RunCommand(MakeInterpreterCommand(line));
  if (rc == 0) {
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

void ConsoleSession::myConsole_OutputReceived(const std::string& stdOut,
                                              const std::string& stdErr) {
  view_.SetReadOnly(false);
  view_.ApplyOutput(composer_.Feed(stdOut, stdErr));
  // A selection made while the command runs stays for Ctrl+C to copy (without one, Ctrl+C
  // interrupts the command): the caret goes back to the last line only when none is there.
  if (!view_.HasSelectedText()) {
    view_.MoveCaret(view_.LineCount() - 1, 0);
  }
  view_.SetReadOnly(true);
}

void ConsoleSession::myConsole_Complete(const std::string& stdOut, const std::string& stdErr) {
  bBusy_ = false;
  view_.SetReadOnly(false);
  SetIdleCaption();
  view_.ApplyOutput(composer_.Finish(stdOut, stdErr));
  AppendShortPrompt();
  PlaceCaretAfterPrompt();
}

void ConsoleSession::DirLS_FolderChange(const std::string& path) {
  if (bBusy_) {
    return;  // a folder chosen while a command runs changes nothing
  }
  const bool empty = view_.LineCount() == 1 && view_.LineText(0).empty();
  std::string text = empty ? std::string() : std::string(LineEnd());
  // A folder that is there but cannot be entered says why, as cd does.
  if (const SysError rc = SetCurrentDir(path)) {
    text.append(ShownPath(path)).append(CdFailureText(rc)).append(LineEnd());
  }
  AppendText(text + Prompt());
  SetIdleCaption();
  view_.TakeFocus();
  PlaceCaretAfterPrompt();
}

}  // namespace pelorin
