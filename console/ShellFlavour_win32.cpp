// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of cmd: double quotes only; names do not differ by case.

#include "console/CommandLine.h"
#include "console/FileCompletion.h"

namespace pelorin {

Quoting PlatformQuoting() {
  return Quoting::Windows;
}

std::string TildeHome() {
  return {};
}

// File names do not differ by case, and hidden files are offered as cmd offers them.
CompletionRules PlatformCompletionRules() {
  return {Quoting::Windows, true, false, '\\'};
}

}  // namespace pelorin
