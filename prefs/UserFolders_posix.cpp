// SPDX-License-Identifier: GPL-3.0-or-later
#include "prefs/UserFolders_posix.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace pelorin {

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return home;
  }
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return std::string();
}

std::string ConfigHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    return xdg;
  }
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/.config";
}

int MakePrivateFolders(const std::string& folder) {
  for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos != folder.size() && folder[pos] != '/') {
      continue;
    }
    const std::string part = folder.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) == 0) {
      ::chmod(part.c_str(), 0700);  // whatever the umask
    } else if (errno != EEXIST) {
      return errno;
    }
  }
  return 0;
}

}  // namespace pelorin
