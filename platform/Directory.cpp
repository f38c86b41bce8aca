// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Directory.h"

#include <cctype>
#include <exception>

namespace pelorin {

bool IsDriveQualified(const std::string& path) {
  return path.size() >= 3 && path[1] == ':' && path[2] == '\\';
}

std::string CurrentDirectory() {
  return platform::CurrentDirectory();
}

SysError SetCurrentDir(const std::string& path) {
  try {
    if (platform::HasDriveLetters() && IsDriveQualified(path)) {
      const std::string cur = platform::CurrentDirectory();
      const auto letter = static_cast<unsigned char>(path[0]);
      if (cur.empty() || std::tolower(letter) != std::tolower(static_cast<unsigned char>(cur[0]))) {
        if (const SysError rc = platform::ChangeDrive(path[0])) {
          return rc;
        }
      }
    }
    return platform::ChangeDirectory(path);
  } catch (const std::exception&) {
    return platform::OutOfMemoryError();  // the only exception on the way
  }
}

bool TrySetCurrentDir(const std::string& path) {
  return SetCurrentDir(path) == 0;
}

bool IsMissingPath(SysError code) {
  return platform::IsMissingPath(code);
}

}  // namespace pelorin
