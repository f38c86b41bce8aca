// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// How a command ended, as the system reports it, and how the console names a failure.

#include <cstdint>
#include <string>

namespace pelorin {

struct ExitStatus {
  bool signalled = false;  // POSIX: ended by a signal, whose number is code
  std::uint32_t code = 0;  // the exit code (on Windows the whole 32-bit value)
  friend bool operator==(const ExitStatus&, const ExitStatus&) = default;
};

// Anything but an exit code of 0.
inline bool Failed(const ExitStatus& status) {
  return status.signalled || status.code != 0;
}

// "exit status 3"; "interrupted" for an interrupt (SIGINT, or Windows' STATUS_CONTROL_C_EXIT,
// the status an interrupt leaves on a command there); "signal 15 (terminated)" for another
// signal; a Windows status above 0x7FFFFFFF in hexadecimal ("exit status 0xC0000005").
std::string ExitStatusText(const ExitStatus& status);

}  // namespace pelorin
