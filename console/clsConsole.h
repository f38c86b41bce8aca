// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The process runner as the window sees it: runs one command line at a time with its output
// polled every 200 ms, and reports through OutputReceived (each tick's text) and Complete (once,
// at the end or at the first tick after StopWait), each with that tick's text of standard output
// and standard error as UTF-8. Both signals are emitted inside the tick, so their handlers run
// before the tick returns.
//
// The timer is a QTimer owned by this object and ticking on its thread, so no window handle and
// no timer identifier that leads back to the instance are needed; starting it again replaces it,
// which keeps one timer per instance.

#include <QObject>
#include <optional>
#include <string>

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

 signals:
  void OutputReceived(const std::string& stdOut, const std::string& stdErr);
  void Complete(const std::string& stdOut, const std::string& stdErr);

 private:
  void TimerTick();

  CommandRunner runner_;
  QTimer* timer_;
  std::optional<ExitStatus> lastExit_;
};

}  // namespace pelorin
