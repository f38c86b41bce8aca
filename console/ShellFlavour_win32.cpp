// SPDX-License-Identifier: GPL-3.0-or-later
// The rules of cmd: double quotes only; names do not differ by case.

#include <windows.h>

#include "console/CommandEnvironment.h"
#include "console/CommandLine.h"
#include "console/FileCompletion.h"
#include "platform/Utf16_win32.h"

namespace pelorin {

Quoting PlatformQuoting() {
  return Quoting::Windows;
}

// File names do not differ by case, and hidden files are offered as cmd offers them.
CompletionRules PlatformCompletionRules() {
  return {Quoting::Windows, true, false, '\\'};
}

std::vector<std::string> ProcessEnvironment() {
  std::vector<std::string> entries;
  wchar_t* block = ::GetEnvironmentStringsW();
  if (block == nullptr) {
    return entries;
  }
  for (const wchar_t* entry = block; *entry != L'\0';) {
    const std::wstring_view text(entry);
    // "=C:=C:\Work" and the like: this process's own folder per drive, not a variable.
    if (text.size() > 1 && text[0] != L'=' && text.find(L'=', 1) != std::wstring_view::npos) {
      entries.push_back(win::Narrow(text));
    }
    entry += text.size() + 1;
  }
  ::FreeEnvironmentStringsW(block);
  return entries;
}

}  // namespace pelorin
