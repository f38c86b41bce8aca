// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/ExitStatus.h"

#include <cstdio>

namespace pelorin {

namespace {

constexpr std::uint32_t kInterruptSignal = 2;         // SIGINT
constexpr std::uint32_t kControlCExit = 0xC000013AU;  // STATUS_CONTROL_C_EXIT

// The signals whose numbers POSIX fixes or every system shares.
const char* SignalName(std::uint32_t signal) {
  switch (signal) {
    case 1:
      return "hang-up";
    case 3:
      return "quit";
    case 6:
      return "aborted";
    case 9:
      return "killed";
    case 11:
      return "segmentation fault";
    case 13:
      return "broken pipe";
    case 14:
      return "alarm";
    case 15:
      return "terminated";
    default:
      return nullptr;
  }
}

}  // namespace

std::string ExitStatusText(const ExitStatus& status) {
  if (status.signalled) {
    if (status.code == kInterruptSignal) {
      return "interrupted";
    }
    std::string text = "signal " + std::to_string(status.code);
    if (const char* name = SignalName(status.code)) {
      text.append(" (").append(name).append(")");
    }
    return text;
  }
  if (status.code == kControlCExit) {
    return "interrupted";
  }
  if (status.code > 0x7FFFFFFFU) {
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", static_cast<unsigned>(status.code));
    return std::string("exit status ") + hex;
  }
  return "exit status " + std::to_string(status.code);
}

}  // namespace pelorin
