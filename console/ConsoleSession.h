#pragma once

// The console's behaviour on the window's one thread: a typed line taking effect, the runner's
// output and completion written back, and the folder tree's choice made current. It writes to
// the surface only through AppendText and reads the current directory afresh every time.

#include <QString>
#include <functional>

namespace pelorin {

class ConsoleEditor;
class clsConsole;

// Window fields the console shares with the prompt line and the menus.
struct ShellState {
  bool bBusy = false;      // a waited command runs and its end is not yet shown
  QString strLastCommand;  // the last line handed to ExecuteCommand, as typed
};

class CommandInterpreter {
 public:
  using CaptionSetter = std::function<void(const QString&)>;

  CommandInterpreter(ConsoleEditor& editor, clsConsole& console, ShellState& state,
                     CaptionSetter setCaption);

  void ExecuteCommand(const QString& Line);
  void AppendText(const QString& text);
  void ChangeDirectory(const QString& Path);
  void RunDetached(const QString& Command);

  // Handlers of the runner's events.
  void myConsole_OutputReceived(const QString& stdOut, const QString& stdErr);
  void myConsole_Complete(const QString& stdOut, const QString& stdErr);

  // Handler of the folder tree's FolderChange. focusEditor gives the surface the keyboard focus.
  void DirLS_FolderChange(const QString& path, const std::function<void()>& focusEditor);

  void SetIdleCaption();
  void PlaceCaretAfterPrompt();

  static QString CurrentDir();
  static QString Prompt() { return CurrentDir() + QLatin1Char('>'); }
  static QString NewLine();

 private:
  void AppendLongPrompt();
  void AppendShortPrompt();
  void RunThroughInterpreter(const std::string& line);

  ConsoleEditor& editor_;
  clsConsole& console_;
  ShellState& state_;
  CaptionSetter setCaption_;
};

}  // namespace pelorin
