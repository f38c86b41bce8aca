// SPDX-License-Identifier: GPL-3.0-or-later
#include <cerrno>
#include <climits>
#include <cstring>
#include <string>

#include "platform/WinAPIError.h"

namespace pelorin {

namespace {

// strerror_r comes in two shapes (GNU returns the text, XSI fills the buffer); take either.
[[maybe_unused]] const char* Pick(int result, const char* buffer) {
  return result == 0 ? buffer : nullptr;
}
[[maybe_unused]] const char* Pick(const char* result, const char* /*buffer*/) {
  return result;
}

}  // namespace

std::string ApiErrorText(std::uint32_t code) {
  if (code > static_cast<std::uint32_t>(INT_MAX)) {
    return std::string();
  }
  char buffer[256] = {};
  const char* text = Pick(::strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer);
  if (text == nullptr || *text == '\0') {
    return std::string();
  }
  // The C library names codes it has no text for "Unknown error N": that is no text at all.
  if (std::strncmp(text, "Unknown error", 13) == 0) {
    return std::string();
  }
  return std::string(text) + "\n";
}

}  // namespace pelorin
