#pragma once

// The one main window. It holds the fields the console, the menus and the preferences share and
// wires the events of its parts to the subsystems that handle them.

#include <QMainWindow>
#include <memory>

#include "console/Interpreter.h"

namespace pelorin {

class ConsoleEditor;
class PromptInput;
class clsConsole;

class frmShell : public QMainWindow {
  Q_OBJECT

 public:
  explicit frmShell(QWidget* parent = nullptr);
  ~frmShell() override;

  ConsoleEditor& Editor() { return *Editor_; }
  CommandInterpreter& Interpreter() { return *interpreter_; }
  const ShellState& State() const { return state_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Form_Load();

  ShellState state_;
  bool PrefHighlightLine = false;
  ConsoleEditor* Editor_ = nullptr;
  clsConsole* myConsole = nullptr;
  std::unique_ptr<CommandInterpreter> interpreter_;
  std::unique_ptr<PromptInput> promptInput_;
};

}  // namespace pelorin
