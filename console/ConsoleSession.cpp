#include "console/ConsoleSession.h"

#include "console/CommandLine.h"
#include "console/ProcessPlatform.h"
#include "console/clsConsole.h"
#include "editor/ConsoleEditor.h"
#include "platform/Directory.h"
#include "platform/LineEnd.h"
#include "platform/WinAPIError.h"

namespace pelorin {

namespace {

const QString kCaptionSuffix = QStringLiteral(" - Pelorin");
const QString kBusyCaption = QStringLiteral("Working... - Pelorin");
const QString kStdErrMark = QStringLiteral("STDERR: ");
const QString kPathNotFound = QStringLiteral(": Path not found");

QString FromUtf8(const std::string& s) {
  return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

}  // namespace

CommandInterpreter::CommandInterpreter(ConsoleEditor& editor, clsConsole& console,
                                       ShellState& state, CaptionSetter setCaption)
    : editor_(editor), console_(console), state_(state), setCaption_(std::move(setCaption)) {}

QString CommandInterpreter::CurrentDir() {
  return FromUtf8(CurrentDirectory());
}

QString CommandInterpreter::NewLine() {
  return QString::fromLatin1(LineEnd());
}

void CommandInterpreter::AppendText(const QString& text) {
  editor_.AppendAtEnd(text);
}

void CommandInterpreter::SetIdleCaption() {
  setCaption_(CurrentDir() + kCaptionSuffix);
}

void CommandInterpreter::PlaceCaretAfterPrompt() {
  editor_.MoveCaret(editor_.LineCount() - 1, int(CurrentDir().size()) + 1);
}

void CommandInterpreter::AppendLongPrompt() {
  AppendText(NewLine() + Prompt());
}

void CommandInterpreter::AppendShortPrompt() {
  AppendText(Prompt());
}

void CommandInterpreter::ExecuteCommand(const QString& Line) {
  state_.strLastCommand = Line;
  const std::string line = NormalizeBlanks(Line.toStdString());
  const ParsedLine parsed = ParseCommandLine(line);
  switch (parsed.kind) {
    case LineKind::Empty:
    case LineKind::BareCd:
    case LineKind::BareRun:
      AppendLongPrompt();
      PlaceCaretAfterPrompt();
      return;
    case LineKind::Cd:
      ChangeDirectory(FromUtf8(parsed.argument));
      return;
    case LineKind::Run:
      RunDetached(FromUtf8(parsed.argument));
      return;
    case LineKind::External:
      RunThroughInterpreter(line);
      return;
  }
}

void CommandInterpreter::RunThroughInterpreter(const std::string& line) {
  AppendText(NewLine());
  editor_.SetReadOnly(true);
  state_.bBusy = true;
  setCaption_(kBusyCaption);
  const SysError rc = console_.RunCommand(MakeInterpreterCommand(line));
  if (rc == 0) {
    return;  // output and completion arrive through the runner's events
  }
  state_.bBusy = false;
  editor_.SetReadOnly(false);
  AppendText(FromUtf8(ApiErrorText(rc)));
  SetIdleCaption();
  AppendShortPrompt();
  PlaceCaretAfterPrompt();
}

void CommandInterpreter::ChangeDirectory(const QString& Path) {
  const QString path = FromUtf8(NormalizeBlanks(Path.toStdString()));
  if (!TrySetCurrentDir(path.toStdString())) {
    AppendText(NewLine() + path + kPathNotFound);
  }
  AppendLongPrompt();
  SetIdleCaption();
  PlaceCaretAfterPrompt();
}

void CommandInterpreter::RunDetached(const QString& Command) {
  const SysError rc = console_.RunWithoutWait(MakeInterpreterCommand(Command.toStdString()));
  editor_.SetReadOnly(false);
  if (rc != 0) {
    AppendText(NewLine() + FromUtf8(ApiErrorText(rc)));
    AppendShortPrompt();
  } else {
    AppendLongPrompt();
  }
  PlaceCaretAfterPrompt();
}

void CommandInterpreter::myConsole_OutputReceived(const QString& stdOut, const QString& stdErr) {
  editor_.SetReadOnly(false);
  if (!stdOut.isEmpty()) {
    AppendText(stdOut);
  }
  if (!stdErr.isEmpty()) {
    AppendText(kStdErrMark + stdErr);
  }
  editor_.MoveCaret(editor_.LineCount() - 1, 0);
  editor_.SetReadOnly(true);
}

void CommandInterpreter::myConsole_Complete(const QString& stdOut, const QString& stdErr) {
  state_.bBusy = false;
  editor_.SetReadOnly(false);
  SetIdleCaption();
  if (!stdOut.isEmpty()) {
    AppendText(stdOut);
  }
  if (!stdErr.isEmpty()) {
    AppendText(kStdErrMark + stdErr);
  }
  AppendShortPrompt();
  PlaceCaretAfterPrompt();
}

void CommandInterpreter::DirLS_FolderChange(const QString& path,
                                            const std::function<void()>& focusEditor) {
  if (state_.bBusy) {
    return;  // a folder chosen while a command runs changes nothing
  }
  const bool empty = editor_.LineCount() == 1 && editor_.LineText(0).isEmpty();
  const QString sep = empty ? QString() : NewLine();
  if (TrySetCurrentDir(path.toStdString())) {
    AppendText(sep + Prompt());
  } else {
    AppendText(sep + path + kPathNotFound + NewLine() + Prompt());
  }
  SetIdleCaption();
  if (focusEditor) {
    focusEditor();
  }
  PlaceCaretAfterPrompt();
}

}  // namespace pelorin
