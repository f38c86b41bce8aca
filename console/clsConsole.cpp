// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/clsConsole.h"

#include <QTimer>

namespace pelorin {

clsConsole::clsConsole(QObject* parent) : QObject(parent), timer_(new QTimer(this)) {
  timer_->setInterval(kTickMs);
  // A coarse timer may shift each tick by up to 5 %, and the tick rate is the output rate.
  timer_->setTimerType(Qt::PreciseTimer);
  connect(timer_, &QTimer::timeout, this, &clsConsole::TimerTick);
}

clsConsole::~clsConsole() = default;

SysError clsConsole::RunCommand(const InterpreterCommand& command) {
  const SysError rc = runner_.Start(command);
  if (rc != 0) {
    timer_->stop();
    return rc;
  }
  timer_->start();
  return 0;
}

SysError clsConsole::RunWithoutWait(const InterpreterCommand& command) {
  return runner_.StartWithoutWait(command);
}

void clsConsole::StopWait() {
  runner_.StopWait();
}

void clsConsole::Interrupt() {
  runner_.Interrupt();
}

void clsConsole::TimerTick() {
  if (!runner_.Running()) {
    timer_->stop();
    return;
  }
  const CommandRunner::TickResult result = runner_.Tick();
  if (result.kind == CommandRunner::TickResult::Complete) {
    // Stopped first, so that a handler may start the next command.
    timer_->stop();
    lastExit_ = result.exit;
    emit Complete(result.output);
  } else {
    emit OutputReceived(result.output);
  }
}

}  // namespace pelorin
