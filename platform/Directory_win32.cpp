// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>

#include <cctype>
#include <string>

#include "platform/Directory.h"
#include "platform/Utf16_win32.h"

namespace pelorin::platform {

bool HasDriveLetters() {
  return true;
}

// "X:" alone names the directory last current on drive X (kept in the hidden variable "=X:"),
// or its root when there is none.
SysError ChangeDrive(char letter) {
  if (!std::isalpha(static_cast<unsigned char>(letter))) {
    return ERROR_INVALID_DRIVE;
  }
  const wchar_t drive[] = {static_cast<wchar_t>(letter), L':', L'\0'};
  return ::SetCurrentDirectoryW(drive) ? 0 : static_cast<SysError>(::GetLastError());
}

SysError ChangeDirectory(const std::string& path) {
  if (path.empty()) {
    return ERROR_PATH_NOT_FOUND;
  }
  if (!::SetCurrentDirectoryW(win::Widen(path).c_str())) {
    return static_cast<SysError>(::GetLastError());
  }
  // Remember the directory of this drive, as the C runtime's chdir does, so that a later drive
  // change comes back to it.
  const std::string now = CurrentDirectory();
  if (IsDriveQualified(now)) {
    const wchar_t name[] = {
        L'=', static_cast<wchar_t>(std::toupper(static_cast<unsigned char>(now[0]))), L':', L'\0'};
    ::SetEnvironmentVariableW(name, win::Widen(now).c_str());
  }
  return 0;
}

// A drive that is not there is a path that is not there; one that is there but not ready (an
// empty card reader) is a reason worth its own text.
bool IsMissingPath(SysError code) {
  return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
         code == ERROR_INVALID_DRIVE;
}

SysError OutOfMemoryError() {
  return ERROR_NOT_ENOUGH_MEMORY;
}

std::string CurrentDirectory() {
  std::wstring buf(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetCurrentDirectoryW(static_cast<DWORD>(buf.size()), buf.data());
    if (n == 0) {
      return std::string();
    }
    if (n < buf.size()) {
      buf.resize(n);
      return win::Narrow(buf);
    }
    buf.resize(n);  // n is the size needed, terminator included
  }
}

}  // namespace pelorin::platform
