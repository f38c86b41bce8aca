// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/DrainLoop_posix.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace pelorin::posix {

bool WritersGone(int fd) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void DrainUntilWritersGone(int a, int b) {
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
  for (const pollfd& q : p) {
    if (q.fd >= 0) {
      ::close(q.fd);
    }
  }
}

}  // namespace pelorin::posix
