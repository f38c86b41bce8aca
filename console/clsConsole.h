// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The process runner as the window sees it: runs one command line at a time with its output
// taken every 200 ms, and reports through OutputReceived (each tick's text) and Complete (once,
// at the end or at the first tick after StopWait), each with that tick's text of standard output
// and standard error as UTF-8, in the order it arrived. Both signals are emitted inside the tick,
// so their handlers run before the tick returns. Input typed to the command goes through here
// too.
//
// The timer is a QTimer owned by this object and ticking on its thread, so no window handle and
// no timer identifier that leads back to the instance are needed; starting it again replaces it,
// which keeps one timer per instance.

#include <QObject>
#include <optional>
#include <string>
#include <vector>

#include "console/CommandRunner.h"
#include "console/ProcessPlatform.h"
#include "platform/SysError.h"

class QTimer;

namespace pelorin {

class clsConsole : public QObject {
  Q_OBJECT

 public:
  static constexpr int kTickMs = 200;

  explicit clsConsole(QObject* parent = nullptr);
  ~clsConsole() override;

  // 0 when the command was started, else the system error code of the failed start (then no
  // timer runs and no signal follows).
  SysError RunCommand(const InterpreterCommand& command);
  // Starts the command hidden, without pipes, timer or signals, and forgets it.
  SysError RunWithoutWait(const InterpreterCommand& command);
  void StopWait();
  // The running command is interrupted (the second time ended for good) and then completes as
  // usual at a tick; nothing happens while nothing runs.
  void Interrupt();
  // How the command whose Complete is being reported ended; nothing after StopWait or when the
  // system could not say. Read it in the Complete handler.
  const std::optional<ExitStatus>& LastExitStatus() const { return lastExit_; }
  bool Running() const { return runner_.Running(); }

  // Input to the running command, its terminal and what it never read: CommandRunner's.
  bool SendInput(const std::string& line) { return runner_.SendInput(line); }
  void EndInput() { runner_.EndInput(); }
  TerminalState Terminal() { return runner_.Terminal(); }
  void SetTerminalSize(int columns, int rows) { runner_.SetTerminalSize(columns, rows); }
  std::vector<std::string> TakeUnreadInput() { return runner_.TakeUnreadInput(); }

 signals:
  void OutputReceived(const pelorin::TickOutput& output);
  void Complete(const pelorin::TickOutput& output);

 private:
  void TimerTick();

  CommandRunner runner_;
  QTimer* timer_;
  std::optional<ExitStatus> lastExit_;
};

}  // namespace pelorin
