// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The process told to end from outside (a session ending, a terminal closing, Ctrl+C in the
// terminal that started it) closes its window as the close box does, so the placement is saved,
// instead of ending at once with nothing saved. POSIX: SIGTERM, SIGHUP and SIGINT. A running
// command is left alone: it is in a session of its own and is not ended with the window.
// Windows sends a window program no such signals (logging off reaches the window through the
// window system), so there this does nothing.

#include <functional>
#include <memory>

namespace pelorin {

class TerminationSignals {
 public:
  // close runs on the window's thread, from its event loop, after signals were received. One
  // instance at a time; the handlers that were there before come back when it goes.
  explicit TerminationSignals(std::function<void()> close);
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace pelorin
