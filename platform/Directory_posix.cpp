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

bool ChangeDrive(char /*letter*/) {
  return false;
}

bool ChangeDirectory(const std::string& path) {
  // An empty path is not a folder; chdir("") fails with ENOENT as well, but say so plainly.
  return !path.empty() && ::chdir(path.c_str()) == 0;
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
