// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of sh: quotes of both kinds and backslashes; names differ by case; dot files hidden.

#include <cstdlib>

#include "console/CommandEnvironment.h"
#include "console/CommandLine.h"
#include "console/FileCompletion.h"

extern char** environ;

namespace pelorin {

Quoting PlatformQuoting() {
  return Quoting::Posix;
}

CompletionRules PlatformCompletionRules() {
  return {Quoting::Posix, false, true, '/'};
}

std::vector<std::string> ProcessEnvironment() {
  std::vector<std::string> entries;
  for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
    const std::string_view text(*entry);
    if (text.find('=', 1) != std::string_view::npos) {
      entries.emplace_back(text);
    }
  }
  return entries;
}

}  // namespace pelorin
