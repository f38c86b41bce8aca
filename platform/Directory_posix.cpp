// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/Directory.h"

namespace pelorin::platform {

// POSIX has no drive letters: no path is drive-qualified.
bool HasDriveLetters() {
  return false;
}

SysError ChangeDrive(char /*letter*/) {
  return ENOENT;
}

SysError ChangeDirectory(const std::string& path) {
  // An empty path is not a folder; chdir("") fails with ENOENT as well, but say so plainly.
  if (path.empty()) {
    return ENOENT;
  }
  return ::chdir(path.c_str()) == 0 ? 0 : static_cast<SysError>(errno);
}

bool IsMissingPath(SysError code) {
  return code == ENOENT;
}

SysError OutOfMemoryError() {
  return ENOMEM;
}

std::string CurrentDirectory() {
  std::vector<char> buf(4096);
  for (;;) {
    if (::getcwd(buf.data(), buf.size()) != nullptr) {
      return std::string(buf.data());
    }
    if (errno != ERANGE) {
      return std::string();  // the directory was removed under us
    }
    buf.resize(buf.size() * 2);
  }
}

}  // namespace pelorin::platform
