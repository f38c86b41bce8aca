// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/PipeDrainer_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <system_error>
#include <thread>

#include "console/ChildSpawn_posix.h"
#include "console/DrainLoop_posix.h"
#include "console/ProcessPlatform.h"

namespace pelorin {

namespace {

bool Executable(const std::string& path) {
  return !path.empty() && ::access(path.c_str(), X_OK) == 0;
}

std::string FindHelper() {
  if (const char* given = std::getenv("PELORIN_HELPER"); given && *given) {
    return given;
  }
  const std::string folder = ProgramFolder();
  for (const char* place : {"/pelorin-helper", "/../libexec/pelorin/pelorin-helper"}) {
    if (const std::string path = folder + place; Executable(path)) {
      return path;
    }
  }
  return std::string();
}

}  // namespace

const std::string& HelperProgram() {
  static const std::string found = FindHelper();
  return found;
}

void DiscardInBackground(int outFd, int errFd) {
  int fds[2] = {outFd, errFd};
  for (int& fd : fds) {
    if (fd >= 0 && posix::WritersGone(fd)) {
      posix::CloseFd(fd);
    }
  }
  if (fds[0] < 0 && fds[1] < 0) {
    return;
  }
  if (const std::string& helper = HelperProgram(); !helper.empty()) {
    // The read ends become the helper's standard input and output (they lie above 2, so the
    // first never overwrites the second); an end that is gone is the null device, which ends
    // at once.
    posix::FileActions actions;
    for (int i = 0; i < 2; ++i) {
      if (fds[i] >= 0) {
        ::posix_spawn_file_actions_adddup2(actions.get(), fds[i], i);
      } else {
        ::posix_spawn_file_actions_addopen(actions.get(), i, "/dev/null", O_RDONLY, 0);
      }
    }
    ::posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    if (posix::Spawn(pid, {helper, "drain"}, actions, false) == 0) {
      posix::ReapInBackground(pid);  // it ends at once, leaving the drainer to itself
      posix::CloseFd(fds[0]);
      posix::CloseFd(fds[1]);
      return;
    }
  }
  try {
    std::thread([a = fds[0], b = fds[1]] { posix::DrainUntilWritersGone(a, b); }).detach();
  } catch (const std::system_error&) {
    posix::CloseFd(fds[0]);
    posix::CloseFd(fds[1]);
  }
}

}  // namespace pelorin
