// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/TempDir.h"

namespace pelorin::test {

// A fifo in a folder of its own, kept open by this process, for commands that must wait until
// the test lets them go on: `read x <fifo` returns once Release has been called, whether the
// command opened the fifo before or after that. So the test, not the speed of the machine,
// decides when a command goes on.
class FifoHold {
 public:
  FifoHold() : path_(dir_.path() + "/hold") {
    // Open for reading too, so that the open never waits and the fifo keeps what is written
    // into it; closed on exec, so that no child keeps it open.
    if (::mkfifo(path_.c_str(), 0600) == 0)
      fd_ = ::open(path_.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }
  // Lets every reader go on; one that comes later finds no fifo and goes on too.
  ~FifoHold() {
    ::unlink(path_.c_str());
    Release();
    if (fd_ >= 0)
      ::close(fd_);
  }
  FifoHold(const FifoHold&) = delete;
  FifoHold& operator=(const FifoHold&) = delete;

  const std::string& Path() const { return path_; }
  bool Ready() const { return fd_ >= 0; }

  // Lets the readers go on: a line for each (`read` takes one), more than a test starts. The
  // lines wait in the fifo until readers take them.
  void Release() {
    static constexpr char kLines[] = "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n";
    if (fd_ >= 0)
      (void)!::write(fd_, kLines, sizeof kLines - 1);
  }
  // Drops the lines no reader took, so that the next reader waits again.
  void Hold() {
    char lines[64];
    while (fd_ >= 0 && ::read(fd_, lines, sizeof lines) > 0)
      continue;
  }

 private:
  TempDir dir_;
  std::string path_;
  int fd_ = -1;
};

}  // namespace pelorin::test
