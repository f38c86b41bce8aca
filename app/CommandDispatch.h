// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What each menu command, context-menu command and shortcut does, by item key.

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <string>

#include "editor/BottomBar.h"

class QMessageBox;
class QWidget;

namespace pelorin {

class BarItem;

// The window's side of the commands.
class ShellCommands {
 public:
  virtual ~ShellCommands() = default;

  virtual void StopWait() = 0;   // of the running command
  virtual void NewWindow() = 0;  // start another instance: StartNewInstance()
  virtual void Exit() = 0;       // close the window by the path its close box takes
  virtual void RunEditorCommand(int command) = 0;
  virtual void ShowBottomPanel(PanelMode mode) = 0;
  // Settings dialog of the surface (kFontDialog), then PrefFontName and PrefFontSize (RoundFontSize
  // of the point size) from the surface's font, then SavePrefFont, changed or not.
  virtual void PickEditorFont() = 0;
  virtual void SavePrefCurDir() = 0;

  // The steps of the three check switches.
  virtual void ShowLineNumbers(bool show) = 0;
  virtual void SetPrefHighlightLine(bool on) = 0;
  virtual void SetHighlightRow(int line) = 0;  // -1: none
  virtual int CurrentLine() = 0;
  virtual void SavePrefVisibleSpaces() = 0;
  virtual void SavePrefLineNumbering() = 0;
  virtual void SavePrefHighlight() = 0;
  virtual void SetDesktopColours(bool on) = 0;
  virtual void SavePrefDesktopColours() = 0;

  virtual void AddDevider(int line) = 0;
  virtual void RemoveDevider(int line) = 0;

  // The help pages; by default the links of HelpLinks.h.
  virtual void OpenOnlineHelp();
  virtual void OpenHelpGuide();
  virtual void OpenHelpQuick();
  virtual void OpenHelpAdd();
  virtual void OpenVantreehomepage();
};

// Carries out the command of key; checkMark is the new tick of a check item (already flipped by
// the control). Keys are compared exactly; a key of no command (menu titles, separators,
// panels, anything unknown) does nothing.
void Dispatch(const QString& key, bool checkMark, ShellCommands& shell);

// The ItemClick handler's work: Dispatch with the item's key and tick. A null item does nothing.
void DispatchItem(const BarItem* item, ShellCommands& shell);

// A point size as a 16-bit whole number: nearest, a half to the even neighbour (10.5 gives 10,
// 11.5 gives 12); out-of-range sizes are clamped and a NaN gives 0.
qint16 RoundFontSize(double points);

// The program file a new window runs: the running program's own executable, whatever its name.
std::string NewInstancePath();
// Starts program as an independent process, directly, without a shell and without arguments.
// When it cannot be started, tell is given a text that says so, with the system's reason.
void StartNewInstance(const std::function<void(const QString&)>& tell,
                      const std::string& program = NewInstancePath());
// The box that tells it: caption "Pelorin", the text, OK only.
std::unique_ptr<QMessageBox> MakeNewWindowFailureBox(QWidget* parent, const QString& text);

}  // namespace pelorin
