// SPDX-License-Identifier: GPL-3.0-or-later
// The handler only writes the signal's number into a pipe (all a handler may safely do); the
// window's event loop reads it there and closes the window.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>

#include "app/TerminationSignals.h"

namespace pelorin {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};

volatile sig_atomic_t gWriteFd = -1;

void OnSignal(int sig) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(sig);
  [[maybe_unused]] const ssize_t n = ::write(gWriteFd, &number, 1);
  errno = saved;
}

}  // namespace

struct TerminationSignals::State {
  int fds[2] = {-1, -1};
  struct sigaction old[std::size(kSignals)] = {};
  std::unique_ptr<QSocketNotifier> notifier;
};

TerminationSignals::TerminationSignals(std::function<void()> close)
    : state_(std::make_unique<State>()) {
  if (::pipe2(state_->fds, O_CLOEXEC | O_NONBLOCK) != 0) {
    return;  // the signals keep their default action: the process ends at once
  }
  state_->notifier = std::make_unique<QSocketNotifier>(state_->fds[0], QSocketNotifier::Read);
  const int readFd = state_->fds[0];
  QObject::connect(state_->notifier.get(), &QSocketNotifier::activated,
                   [readFd, close = std::move(close)] {
                     unsigned char numbers[16];
                     bool received = false;
                     while (::read(readFd, numbers, sizeof numbers) > 0) {
                       received = true;
                     }
                     if (received) {
                       close();
                     }
                   });
  gWriteFd = state_->fds[1];
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], &action, &state_->old[i]);
  }
}

TerminationSignals::~TerminationSignals() {
  if (state_->fds[0] < 0) {
    return;
  }
  for (std::size_t i = 0; i < std::size(kSignals); ++i) {
    ::sigaction(kSignals[i], &state_->old[i], nullptr);
  }
  gWriteFd = -1;
  state_->notifier.reset();
  ::close(state_->fds[0]);
  ::close(state_->fds[1]);
}

}  // namespace pelorin
