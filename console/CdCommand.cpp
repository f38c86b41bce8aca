// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CdCommand.h"

#include <algorithm>

#include "console/ShellWords.h"
#include "platform/Directory.h"
#include "platform/WinAPIError.h"

namespace pelorin {

std::string CdPath(std::string_view argument, Quoting quoting, std::string_view home,
                   const VariableLookup& lookup) {
  std::string trimmed = NormalizeBlanks(argument, quoting);
  if (quoting == Quoting::Windows && (trimmed.starts_with("/d") || trimmed.starts_with("/D")) &&
      (trimmed.size() == 2 || trimmed[2] == ' ')) {
    trimmed.erase(0, std::min<std::size_t>(trimmed.size(), 3));
  }
  std::string path = ReadWord(trimmed, quoting, lookup);
  // Only a tilde typed bare is home: "~" and \~ are a folder named so. The word read starts
  // with the typed one exactly when nothing before the tilde was a quote or an escape.
  const bool bareTilde = trimmed == "~" || trimmed.starts_with("~/");
  if (quoting == Quoting::Posix && bareTilde && !home.empty()) {
    path.replace(0, 1, home);
  }
  return path;
}

std::string CdFailureText(SysError code) {
  const std::string text = IsMissingPath(code) ? std::string() : ApiErrorLine(code);
  return text.empty() ? ": Path not found" : ": " + text;
}

}  // namespace pelorin
