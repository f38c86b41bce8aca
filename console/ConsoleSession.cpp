// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/ConsoleSession.h"

#include <QTimer>
#include <algorithm>
#include <chrono>
#include <limits>

#include "console/AsciiCase.h"
#include "console/CdCommand.h"
#include "console/CommandLine.h"
#include "console/ConsoleLog.h"
#include "console/ConsoleView.h"
#include "console/ProcessPlatform.h"
#include "console/TerminalText.h"
#include "console/Utf8.h"
#include "platform/Directory.h"
#include "platform/LineEnd.h"
#include "platform/WinAPIError.h"

Q_LOGGING_CATEGORY(lcConsole, "pelorin.console", QtWarningMsg)

namespace pelorin {

namespace {

constexpr std::string_view kCaptionSuffix = " - Pelorin";
constexpr std::string_view kBusyCaption = "Working... - Pelorin";
constexpr std::string_view kInputRefused = "The command does not read input";

// Names as the platform's interpreter compares them: cmd without regard to case.
bool NamesMatch(std::string_view a, std::string_view b) {
  if (PlatformQuoting() == Quoting::Posix) {
    return a == b;
  }
  return ascii::EqualIgnoringCase(a, b);
}

}  // namespace

ConsoleSession::ConsoleSession(ConsoleView& view, CaptionSetter setCaption)
    : view_(view),
      setCaption_(std::move(setCaption)),
      shell_(PlatformQuoting(), PlatformFolderCalls(), CommandEnvironment(PlatformQuoting())),
      programs_(PlatformQuoting()) {
  QObject::connect(&myConsole_, &clsConsole::OutputReceived, &myConsole_,
                   [this](const TickOutput& output) { myConsole_OutputReceived(output); });
  QObject::connect(&myConsole_, &clsConsole::Complete, &myConsole_,
                   [this](const TickOutput& output) { myConsole_Complete(output); });
  RefreshPrograms();  // read from the start, for the first Tab
}

// The programs on this window's PATH, read again in the background when PATH has changed.
void ConsoleSession::RefreshPrograms() {
  const CommandEnvironment& env = shell_.Environment();
  programs_.Refresh(env.Get("PATH").value_or(std::string()),
                    env.Get("PATHEXT").value_or(std::string()));
}

CompletionSources ConsoleSession::Completion() {
  RefreshPrograms();
  const CommandEnvironment& env = shell_.Environment();
  CompletionSources sources;
  sources.lookup = env.Lookup();
  sources.variables = [&env](std::string_view prefix) { return env.NamesStartingWith(prefix); };
  sources.commands = [this](std::string_view prefix) {
    // A Tab waits for a reading under way a moment at most: a slow folder on PATH costs the
    // first Tab its commands, never the window its answer.
    constexpr std::chrono::milliseconds kWait{150};
    std::vector<std::string> names =
        programs_.Matching(prefix, kWait).value_or(std::vector<std::string>());
    const Quoting flavour = PlatformQuoting();
    for (const auto* list : {&BuiltinNames(flavour), &InterpreterCommands(flavour)}) {
      for (const std::string& name : *list) {
        if (name.size() >= prefix.size() && NamesMatch(name.substr(0, prefix.size()), prefix)) {
          names.push_back(name);
        }
      }
    }
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
  };
  return sources;
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

// Every prompt is followed by this: the input starts behind it (or, when what the user typed to
// the command before stands behind the prompt, the caret goes behind that), and what waits goes
// on.
void ConsoleSession::PlaceCaretAfterPrompt(bool afterTyped) {
  promptLine_ = view_.LineCount() - 1;
  // The user's selection stays while the next line runs at once (see RunNextQueued).
  if (queue_.Empty() || !view_.HasSelectedText()) {
    view_.MoveCaret(promptLine_, afterTyped ? std::numeric_limits<int>::max()
                                            : static_cast<int>(utf8::Utf16Length(Prompt())));
  }
  if (!bBusy_) {
    ContinueQueue();
  }
}

// After cls the prompt is the first line.
void ConsoleSession::AppendLongPrompt() {
  const bool empty = view_.LineCount() == 1 && view_.LineText(0).empty();
  AppendText(empty ? Prompt() : LineEnd() + Prompt());
}

// The prompt starts a line of its own: after output without a final line end (printf abc, or a
// wait stopped mid-line) it would otherwise continue that line and refuse every command.
void ConsoleSession::AppendShortPrompt() {
  const bool lineEmpty = view_.LineText(view_.LineCount() - 1).empty();
  AppendText(lineEmpty ? Prompt() : LineEnd() + Prompt());
}

void ConsoleSession::AppendOwnLine(const std::string& text) {
  const bool lineEmpty = view_.LineText(view_.LineCount() - 1).empty();
  AppendText((lineEmpty ? std::string() : std::string(LineEnd())) + text + LineEnd());
}

void ConsoleSession::ExecuteCommand(const std::string& Line) {
  strLastCommand_ = Line;
  if (history_.Add(Line) && kept_) {
    kept_(Line);
  }
  commandLine_ = view_.LineCount() - 1;
  Execute(NormalizeBlanks(Line));
}

// The line, and what follows a built-in of it behind && and the like, one after the other: a
// loop, so a long chain of built-ins costs no stack.
void ConsoleSession::Execute(std::string line) {
  for (;;) {
    const ParsedLine parsed = ParseCommandLine(line);
    switch (parsed.kind) {
      case LineKind::Empty:
      case LineKind::BareRun:
        AppendLongPrompt();
        PlaceCaretAfterPrompt();
        return;
      case LineKind::Run:
        RunDetached(parsed.argument);
        return;
      case LineKind::External:
        RunThroughInterpreter(line);
        return;
      default:
        break;
    }
    const BuiltinResult result = shell_.Run(parsed);
    if (parsed.kind == LineKind::Export || parsed.kind == LineKind::Unset ||
        parsed.kind == LineKind::Set) {
      RefreshPrograms();  // a new PATH is read now, not at the next Tab
    }
    const bool cleared = ShowBuiltin(result);
    // A command its condition skips is passed over, and the one behind it is weighed on the
    // built-in's result, as the interpreter does (`cd x && a; b` runs b either way).
    std::string rest = parsed.then;
    Then when = parsed.when;
    while (!rest.empty() && when != Then::Always && (when == Then::IfOk) != result.ok) {
      std::optional<NextCommand> next = SplitFirstCommand(rest);
      rest = next ? std::move(next->rest) : std::string();
      when = next ? next->when : Then::Always;
    }
    if (rest.empty()) {
      AppendLongPrompt();
      PlaceCaretAfterPrompt();
      return;
    }
    if (cleared) {
      // What runs after cls is shown behind the fresh prompt, as if typed there.
      AppendText(Prompt() + rest);
      commandLine_ = 0;
    }
    line = std::move(rest);
  }
}

// Writes what a built-in said; true when it emptied the console.
bool ConsoleSession::ShowBuiltin(const BuiltinResult& result) {
  if (result.clear) {
    view_.Clear();
    promptLine_ = commandLine_ = 0;
  }
  for (const std::string& said : result.lines) {
    AppendText(LineEnd() + said);
  }
  if (result.folderChanged) {
    SetIdleCaption();
    if (follow_) {
      follow_(CurrentDirectory());
    }
  }
  return result.clear;
}

InterpreterCommand ConsoleSession::CommandFor(const std::string& line) const {
  InterpreterCommand command = MakeInterpreterCommand(line);
  if (shell_.Environment().Changed()) {
    command.environment = shell_.Environment().Entries();
  }
  return command;
}

void ConsoleSession::RunThroughInterpreter(const std::string& line) {
  AppendText(LineEnd());
  composer_.Restart();
  view_.SetReadOnly(true);
  bBusy_ = true;
  setCaption_(std::string(kBusyCaption));
  PassOnTerminalSize();
  const SysError rc = myConsole_.RunCommand(CommandFor(line));
  if (rc == 0) {
    // What the user types from now on goes to the command; what was typed ahead while the lines
    // before ran waits for the lines still queued.
    view_.BeginInput();
    if (!(queuedRun_ && view_.HasSelectedText())) {
      view_.MoveCaret(view_.LineCount() - 1, std::numeric_limits<int>::max());
    }
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
  ParsedLine cd;
  cd.kind = LineKind::Cd;
  cd.argument = Path;
  ShowBuiltin(shell_.Run(cd));
  AppendLongPrompt();
  SetIdleCaption();
  PlaceCaretAfterPrompt();
}

void ConsoleSession::RunDetached(const std::string& Command) {
  const SysError rc = myConsole_.RunWithoutWait(CommandFor(Command));
  view_.SetReadOnly(false);
  if (rc != 0) {
    AppendText(LineEnd() + ApiErrorText(rc));
    AppendShortPrompt();
  } else {
    AppendLongPrompt();
  }
  PlaceCaretAfterPrompt();
}

void ConsoleSession::Queue(const std::vector<std::string>& lines) {
  queue_.Add(lines);
  if (!bBusy_) {
    ContinueQueue();
  }
}

// Idle behind a fresh prompt: the next line waiting runs (in a turn of its own, so that a
// long queue of built-ins never holds the window), or what was typed ahead comes back.
void ConsoleSession::ContinueQueue() {
  if (!queue_.Empty()) {
    if (!nextQueued_) {
      nextQueued_ = true;
      QTimer::singleShot(0, &myConsole_, [this] { RunNextQueued(); });
    }
    return;
  }
  if (!typedAhead_.empty()) {
    AppendText(typedAhead_);
    typedAhead_.clear();
    view_.MoveCaret(view_.LineCount() - 1, 1 << 30);
  }
}

void ConsoleSession::RunNextQueued() {
  nextQueued_ = false;
  if (bBusy_) {
    return;  // it goes on when the command completes
  }
  const std::optional<std::string> line = queue_.Next();
  if (!line) {
    ContinueQueue();
    return;
  }
  // Typed on the input line since the prompt was written: it waits for the lines before it.
  const std::string last = view_.LineText(view_.LineCount() - 1);
  const std::string prompt = Prompt();
  if (view_.LineCount() - 1 == promptLine_ && last.size() > prompt.size() &&
      last.starts_with(prompt)) {
    typedAhead_.insert(0, last.substr(prompt.size()));
    OutputEdits cut;
    cut.rewriteLine = true;
    cut.keepBytes = prompt.size();
    view_.ApplyOutput(cut);
  }
  AppendText(*line);
  // While queued lines run one after another, a selection the user made stays where it is: the
  // caret moves would clear it, and Ctrl+C meant to copy it would interrupt a line instead. An
  // Enter of the user's clears the selection itself; the last prompt places the caret as always.
  queuedRun_ = true;
  ExecuteCommand(*line);
  queuedRun_ = false;
}

void ConsoleSession::DropQueue() {
  const std::size_t count = queue_.Drop();
  if (count == 0) {
    return;
  }
  if (bBusy_) {
    dropped_ += count;  // said at the command's end, above its prompt
    return;
  }
  AppendOwnLine(DroppedNote(count));
  AppendText(Prompt());
  PlaceCaretAfterPrompt();
}

void ConsoleSession::Interrupt() {
  DropQueue();
  if (bBusy_) {
    dropUnread_ = true;
    myConsole_.Interrupt();
  }
}

void ConsoleSession::StopWait() {
  DropQueue();
  dropUnread_ = bBusy_;
  myConsole_.StopWait();
}

void ConsoleSession::EnterFolder(const std::string& path) {
  if (bBusy_) {
    return;
  }
  ShowBuiltin(shell_.EnterFolder(path));
  AppendLongPrompt();
  SetIdleCaption();
  PlaceCaretAfterPrompt();
}

bool ConsoleSession::Tell(const std::string& line) {
  if (bBusy_) {
    return false;
  }
  AppendOwnLine(line);
  AppendText(Prompt());
  PlaceCaretAfterPrompt();
  return true;
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
  const std::vector<std::string> unread = myConsole_.TakeUnreadInput();
  std::string tail = composer_.AtLineStart() ? std::string() : std::string(LineEnd());
  if (dropped_ > 0) {
    tail.append(DroppedNote(dropped_)).append(LineEnd());
    dropped_ = 0;
  }
  if (const std::optional<ExitStatus>& status = myConsole_.LastExitStatus();
      status && Failed(*status)) {
    const std::string text = ExitStatusText(*status);
    view_.MarkFailure(commandLine_, text);
    qCDebug(lcConsole, "failure mark at line %d: %s", commandLine_ + 1, text.c_str());
  }
  // What the command never read runs next, as at a terminal; after an interrupt or a stop the
  // queue was dropped, and so is that. A hidden line (a password) never runs as a command, and
  // what was read back cannot tell it from the lines around it.
  if (!unread.empty()) {
    if (dropUnread_ || secretSent_) {
      tail.append(DroppedNote(unread.size())).append(LineEnd());
    } else {
      queue_.PutFirst(unread);
    }
  }
  dropUnread_ = false;
  secretSent_ = false;
  // The prompt goes before what the user was typing, which then stands behind it.
  AppendText(tail + Prompt());
  PlaceCaretAfterPrompt(view_.EndInput());
}

void ConsoleSession::SendInput(const std::string& line, bool shown) {
  if (!bBusy_) {
    return;
  }
  if (shown) {
    composer_.LineEndedByInput();
  } else {
    secretSent_ = true;
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
  const std::string from = CurrentDirectory();
  // A folder that is there but cannot be entered says why, as cd does.
  if (const SysError rc = SetCurrentDir(path)) {
    text.append(ShownPath(path)).append(CdFailureText(rc)).append(LineEnd());
  } else {
    shell_.LeftFolder(from);
  }
  AppendText(text + Prompt());
  SetIdleCaption();
  view_.TakeFocus();
  PlaceCaretAfterPrompt();
}

}  // namespace pelorin
