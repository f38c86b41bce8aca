// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of sh: quotes of both kinds and backslashes; names differ by case; dot files hidden.

#include <cstdlib>

#include "console/CommandLine.h"
#include "console/FileCompletion.h"

namespace pelorin {

Quoting PlatformQuoting() {
  return Quoting::Posix;
}

std::string TildeHome() {
  const char* home = std::getenv("HOME");
  return home != nullptr ? home : "";
}

CompletionRules PlatformCompletionRules() {
  return {Quoting::Posix, false, true, '/'};
}

}  // namespace pelorin
