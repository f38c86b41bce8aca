// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/CommandDispatch.h"

#include <QMessageBox>
#include <cmath>

#include "app/CommandBar.h"
#include "app/HelpLinks.h"
#include "console/ProcessPlatform.h"
#include "editor/EditorCommands.h"
#include "platform/Rounding.h"
#include "platform/WinAPIError.h"

namespace pelorin {

void ShellCommands::OpenOnlineHelp() {
  pelorin::OpenOnlineHelp();
}
void ShellCommands::OpenHelpGuide() {
  pelorin::OpenHelpGuide();
}
void ShellCommands::OpenHelpQuick() {
  pelorin::OpenHelpQuick();
}
void ShellCommands::OpenHelpAdd() {
  pelorin::OpenHelpAdd();
}
void ShellCommands::OpenVantreehomepage() {
  pelorin::OpenVantreehomepage();
}

void Dispatch(const QString& key, bool checkMark, ShellCommands& shell) {
  const auto is = [&key](const char* name) { return key == QLatin1String(name); };

  if (is("FILE:STOP")) {
    shell.StopWait();
  } else if (is("FILE:NEW")) {
    shell.NewWindow();
  } else if (is("FILE:EXIT")) {
    shell.Exit();
  } else if (is("EDIT:COPY")) {
    // Copy copies, from the menu and the context menu alike; only the Ctrl+C key interrupts a
    // command when nothing is selected (ContextKeys).
    shell.RunEditorCommand(EditorCommand::kCopy);
  } else if (is("EDIT:PASTE")) {
    shell.RunEditorCommand(EditorCommand::kPaste);
  } else if (is("EDIT:SELLINE")) {
    shell.RunEditorCommand(EditorCommand::kSelectLine);
  } else if (is("EDIT:SELALL")) {
    shell.RunEditorCommand(EditorCommand::kSelectAll);
  } else if (is("EDIT:FIND")) {
    shell.RunEditorCommand(EditorCommand::kFindDialog);
  } else if (is("EDIT:FINDMARK")) {
    // Clear first, mark second: no mark of an earlier search survives.
    shell.RunEditorCommand(EditorCommand::kClearMarks);
    shell.RunEditorCommand(EditorCommand::kMarkAll);
  } else if (is("EDIT:FINDNEXT")) {
    shell.RunEditorCommand(EditorCommand::kFindNext);
  } else if (is("EDIT:GOTOLINE")) {
    shell.ShowBottomPanel(PanelMode::GoToLine);
  } else if (is("EDIT:ADDDEV")) {
    shell.ShowBottomPanel(PanelMode::AddDivider);
  } else if (is("EDIT:REMOVEDEV")) {
    shell.ShowBottomPanel(PanelMode::RemoveDivider);
  } else if (is("PREF:FONT")) {
    shell.PickEditorFont();
  } else if (is("PREF:CURDIR")) {
    shell.SavePrefCurDir();
  } else if (is("PREF:SPACES")) {
    // Apply first: the saving step reads the new state back from the surface.
    shell.RunEditorCommand(checkMark ? EditorCommand::kShowSpaces : EditorCommand::kHideSpaces);
    shell.SavePrefVisibleSpaces();
  } else if (is("PREF:LINENUM")) {
    shell.ShowLineNumbers(checkMark);
    shell.SavePrefLineNumbering();
  } else if (is("PREF:HIGHLIGHT")) {
    shell.SetPrefHighlightLine(checkMark);
    shell.SetHighlightRow(checkMark ? shell.CurrentLine() : -1);
    shell.SavePrefHighlight();
  } else if (is("PREF:COLOURS")) {
    shell.SetDesktopColours(checkMark);
    shell.SavePrefDesktopColours();
  } else if (is("HELP:GUIDE")) {
    shell.OpenHelpGuide();
  } else if (is("HELP:QUICK")) {
    shell.OpenHelpQuick();
  } else if (is("HELP:ADD")) {
    shell.OpenHelpAdd();
  } else if (is("HELP:ONLINE")) {
    shell.OpenOnlineHelp();
  } else if (is("HELP:HOMEPAGE")) {
    shell.OpenVantreehomepage();
  } else if (is("POP:ADDDEV")) {
    shell.AddDevider(shell.CurrentLine());
  } else if (is("POP:REMOVEDEV")) {
    shell.RemoveDevider(shell.CurrentLine());
  }
}

void DispatchItem(const BarItem* item, ShellCommands& shell) {
  if (item)
    Dispatch(item->Key(), item->CheckMark(), shell);
}

qint16 RoundFontSize(double points) {
  if (std::isnan(points))
    return 0;
  const double rounded = RoundHalfEven(points);
  if (rounded > 32767.0)
    return 32767;
  if (rounded < -32768.0)
    return -32768;
  return static_cast<qint16>(rounded);
}

std::string NewInstancePath() {
  return ProgramPath();
}

void StartNewInstance(const std::function<void(const QString&)>& tell, const std::string& program) {
  if (const SysError rc = StartProgram(program); rc != 0 && tell) {
    tell(QStringLiteral("Unable to start a new window (%1): %2")
             .arg(QString::fromStdString(program), QString::fromStdString(ApiErrorText(rc)))
             .trimmed());
  }
}

std::unique_ptr<QMessageBox> MakeNewWindowFailureBox(QWidget* parent, const QString& text) {
  return std::make_unique<QMessageBox>(QMessageBox::Warning, QStringLiteral("Pelorin"), text,
                                       QMessageBox::Ok, parent);
}

}  // namespace pelorin
