// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The one main window. It holds the fields the console, the menus and the preferences share and
// wires the events of its parts to the subsystems that handle them.

#include <QWidget>
#include <functional>
#include <memory>

#include "app/CommandDispatch.h"
#include "app/Menus.h"
#include "editor/BottomBar.h"
#include "prefs/HistoryFile.h"
#include "prefs/PreferenceStore.h"
#include "prefs/Preferences.h"

class QLineEdit;

namespace pelorin {

class BarElement;
class BottomPanel;
class CommandBar;
class ConsoleEditor;
class ConsoleSession;
class FolderTree;
class PromptInput;
class TerminationSignals;
class cSplitter;

class frmShell : public QWidget, private ShellCommands, private BottomBar {
  Q_OBJECT

 public:
  // arguments: the command line less the program name.
  explicit frmShell(const QStringList& arguments, QWidget* parent = nullptr);
  ~frmShell() override;

  // The parts, for tests.
  ConsoleEditor& Editor() { return *Editor_; }
  FolderTree& DirLS() { return *DirLS_; }
  QWidget& picMainContainer() { return *picMainContainer_; }
  CommandBar& Bars() { return *CommandBar_; }
  cSplitter& Splitter() { return *Splitter_; }
  QLineEdit& TextGoto() { return *TextGoto_; }
  ConsoleSession& Session() { return *session_; }
  const Preferences& Prefs() const { return prefs_; }

  // Tells that "New window" could not start the program. Replaceable, for tests.
  std::function<void(const QString&)> ShowNewWindowFailure;

  void AddDevider(int Line) override;
  void RemoveDevider(int Line) override;
  void ShowBottomPanel(PanelMode mode) override;
  // Fits the container between the menu row and the bottom bar.
  void LayoutWindow();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  void CreateControls();
  void Form_Load(const QStringList& arguments);
  void ShowContextMenu(int x, int y);
  bool TakesEndOfInputKey(QObject* watched, QEvent* event);

  // ShellCommands: what the menu commands do in this window.
  void StopWait() override;
  void Interrupt() override;
  bool CommandRunning() override;
  bool HasSelection() override;
  void NewWindow() override;
  void Exit() override;
  void RunEditorCommand(int command) override;
  void PickEditorFont() override;
  void SavePrefCurDir() override;
  void ShowLineNumbers(bool show) override;
  void SetPrefHighlightLine(bool on) override;
  void SetHighlightRow(int line) override;
  int CurrentLine() override;
  void SavePrefVisibleSpaces() override;
  void SavePrefLineNumbering() override;
  void SavePrefHighlight() override;

  // BottomBar: element 1 of the command bar, showing "BOTTOMbar".
  void ShowBottomBar(bool visible) override;
  void ShowPanelCaption(PanelMode mode) override;
  int PanelCaptionRight() override;

  Preferences prefs_;
  PreferenceStore store_;
  HistoryFile historyFile_;
  BottomPanels panels_;

  CommandBar* CommandBar_ = nullptr;
  BarElement* topBar_ = nullptr;
  BarElement* bottomBar_ = nullptr;
  QWidget* picMainContainer_ = nullptr;
  FolderTree* DirLS_ = nullptr;
  ConsoleEditor* Editor_ = nullptr;
  QLineEdit* TextGoto_ = nullptr;
  cSplitter* Splitter_ = nullptr;
  std::unique_ptr<ConsoleSession> session_;
  std::unique_ptr<PromptInput> promptInput_;
  std::unique_ptr<BottomPanel> bottomPanel_;
  std::unique_ptr<TerminationSignals> terminationSignals_;
};

}  // namespace pelorin
