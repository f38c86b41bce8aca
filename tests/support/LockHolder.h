// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace pelorin::test {

// Another process holding an exclusive flock on a file for some seconds, as another program
// (or a window stuck mid-write) could; it lets go when the time is up, or when this goes.
class LockHolder {
 public:
  LockHolder(const std::string& path, unsigned seconds) {
    int ready[2] = {-1, -1};
    if (::pipe(ready) != 0) {
      return;
    }
    pid_ = ::fork();
    if (pid_ == 0) {
      const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
      const char held = fd >= 0 && ::flock(fd, LOCK_EX) == 0;
      (void)!::write(ready[1], &held, 1);
      ::sleep(seconds);
      ::_exit(0);
    }
    ::close(ready[1]);
    char held = 0;
    held_ = pid_ > 0 && ::read(ready[0], &held, 1) == 1 && held;
    ::close(ready[0]);
  }
  ~LockHolder() { Release(); }
  LockHolder(const LockHolder&) = delete;
  LockHolder& operator=(const LockHolder&) = delete;

  bool Held() const { return held_; }
  void Release() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }

 private:
  pid_t pid_ = -1;
  bool held_ = false;
};

}  // namespace pelorin::test
