// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/PipeDrainer_posix.h"

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace pelorin {

namespace {

// True when every writer of the pipe has closed it: nothing written later can meet it closed.
bool WritersGone(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void CloseAllBut(int a, int b, int limit) {
  const int lo = std::min(a, b);
  const int hi = std::max(a, b);
  const auto closeRange = [limit](int from, int to) {  // inclusive; to < 0 means all from on
    if (from > to && to >= 0) {
      return;
    }
    if (::close_range(static_cast<unsigned>(from), to < 0 ? ~0U : static_cast<unsigned>(to), 0) !=
        0) {
      for (int fd = from; fd <= (to < 0 ? limit : to); ++fd) {
        ::close(fd);
      }
    }
  };
  closeRange(0, lo - 1);
  closeRange(lo + 1, hi - 1);
  closeRange(hi + 1, -1);
}

// The drainer's whole life. Forked from a threaded process: async-signal-safe calls only.
[[noreturn]] void DrainUntilEnd(int a, int b, int fdLimit) {
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  for (const int sig : {SIGHUP, SIGINT, SIGTERM, SIGPIPE}) {
    ::sigaction(sig, &byDefault, nullptr);  // the window's handlers mean nothing here
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  CloseAllBut(a, b, fdLimit);
  pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};  // a negative fd is skipped
  char buf[16384];
  while (p[0].fd >= 0 || p[1].fd >= 0) {
    if (::poll(p, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      break;
    }
    for (pollfd& q : p) {
      if (q.fd < 0 || q.revents == 0) {
        continue;
      }
      const ssize_t n = ::read(q.fd, buf, sizeof buf);
      if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
        ::close(q.fd);
        q.fd = -1;  // the last writer is gone
      }
    }
  }
  ::_exit(0);
}

}  // namespace

void DiscardInBackground(int outFd, int errFd) {
  int fds[2] = {outFd, errFd};
  for (int& fd : fds) {
    if (fd >= 0 && WritersGone(fd)) {
      ::close(fd);
      fd = -1;
    }
  }
  if (fds[0] < 0 && fds[1] < 0) {
    return;
  }
  rlimit files{};
  const int fdLimit = ::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < 65536
                          ? static_cast<int>(files.rlim_cur)
                          : 65536;
  // Forked twice, so the drainer is no child of ours: nobody here waits for it, and it is
  // never mistaken for one of the commands.
  const pid_t middle = ::fork();
  if (middle == 0) {
    ::setsid();
    if (::fork() != 0) {
      ::_exit(0);
    }
    DrainUntilEnd(fds[0], fds[1], fdLimit);
  }
  if (middle > 0) {
    while (::waitpid(middle, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  for (const int fd : fds) {
    if (fd >= 0) {
      ::close(fd);
    }
  }
}

}  // namespace pelorin
