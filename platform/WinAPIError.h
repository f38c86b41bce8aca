// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The system's own message text for a system error code.

#include <cstdint>
#include <string>

namespace pelorin {

// Windows: FormatMessageW (flags 0x1200, language 0, 256 units), the line end kept.
// POSIX: the C library's text for the errno code, followed by a line end.
// Empty when the system has no text for the code.
std::string ApiErrorText(std::uint32_t code);

// The same text without its line end, for use within a line of one's own.
inline std::string ApiErrorLine(std::uint32_t code) {
  std::string text = ApiErrorText(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

}  // namespace pelorin
