// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CdCommand.h"

#include <vector>

#include "platform/Directory.h"
#include "platform/WinAPIError.h"

namespace pelorin {

namespace {

std::string Unquoted(std::string_view text, Quoting quoting) {
  if (quoting == Quoting::Windows) {
    if (text.starts_with('"')) {
      text.remove_prefix(1);
      if (text.ends_with('"')) {
        text.remove_suffix(1);
      }
    }
    return std::string(text);
  }
  const std::vector<CharRole> roles = ReadQuoting(text, quoting);
  std::string path;
  path.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (roles[i] == CharRole::Text || roles[i] == CharRole::Blank) {
      path.push_back(text[i]);
    }
  }
  return path;
}

}  // namespace

std::string CdPath(std::string_view argument, Quoting quoting, std::string_view home) {
  const std::string trimmed = NormalizeBlanks(argument, quoting);
  std::string path = Unquoted(trimmed, quoting);
  // Only a tilde typed bare is home: "~" and \~ are a folder named so. The unquoted text starts
  // with the typed one exactly when nothing before the tilde was a quote or an escape.
  const bool bareTilde = trimmed == "~" || trimmed.starts_with("~/");
  if (quoting == Quoting::Posix && bareTilde && !home.empty()) {
    path.replace(0, 1, home);
  }
  return path;
}

std::string CdFailureText(SysError code) {
  std::string text = IsMissingPath(code) ? std::string() : ApiErrorText(code);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  return text.empty() ? ": Path not found" : ": " + text;
}

}  // namespace pelorin
