// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/Terminal_posix.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <string_view>

#include "console/ChildSpawn_posix.h"

extern char** environ;

namespace pelorin::posix {

SysError OpenTerminal(int& master, std::string& slavePath, int columns, int rows) {
  master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) {
    return static_cast<SysError>(errno);
  }
  char name[128] = {};
  if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
      ::ptsname_r(master, name, sizeof name) != 0) {
    const SysError rc = static_cast<SysError>(errno);
    CloseFd(master);
    return rc;
  }
  if (const SysError rc = MoveAboveStdio(master)) {
    CloseFd(master);
    return rc;
  }
  slavePath = name;
  // On Linux the terminal's settings are reached through the master side as well.
  termios t{};
  if (::tcgetattr(master, &t) == 0) {
    t.c_oflag &= ~static_cast<tcflag_t>(ONLCR);
#ifdef IUTF8
    t.c_iflag |= IUTF8;
#endif
    ::tcsetattr(master, TCSANOW, &t);
  }
  // Sized before the command starts, so that its first look at the size is the right one.
  SetTerminalSize(master, columns > 0 ? columns : kDefaultColumns, rows > 0 ? rows : kDefaultRows);
  // The reader thread must never block on it, nor the window's thread on a write.
  ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
  return 0;
}

TerminalState ReadTerminalState(int master) {
  TerminalState state;
  state.present = true;
  termios t{};
  if (master >= 0 && ::tcgetattr(master, &t) == 0) {
    state.echo = (t.c_lflag & ECHO) != 0;
    state.lines = (t.c_lflag & ICANON) != 0;
  }
  return state;
}

char EndOfInputChar(int master) {
  termios t{};
  if (::tcgetattr(master, &t) == 0 && t.c_cc[VEOF] != _POSIX_VDISABLE) {
    return static_cast<char>(t.c_cc[VEOF]);
  }
  return '\x04';
}

void SetTerminalSize(int master, int columns, int rows) {
  winsize size{};
  size.ws_col = static_cast<unsigned short>(std::clamp(columns, 1, 0xFFFF));
  size.ws_row = static_cast<unsigned short>(std::clamp(rows, 1, 0xFFFF));
  ::ioctl(master, TIOCSWINSZ, &size);
}

std::string ReadUnreadInput(int master, const std::string& slavePath) {
  constexpr int kOpen = O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
  int fd = -1;
#ifdef TIOCGPTPEER
  fd = ::ioctl(master, TIOCGPTPEER, kOpen);
#endif
  if (fd < 0 && !slavePath.empty()) {
    fd = ::open(slavePath.c_str(), kOpen);
  }
  std::string unread;
  if (fd < 0) {
    return unread;
  }
  // Line by line while the terminal edits lines; an end of input at a line's start reads as
  // nothing and the next line follows. Bounded, whatever the terminal answers.
  char buf[4096];
  for (int reads = 0; reads < 4096 && unread.size() < (1u << 20); ++reads) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n > 0) {
      unread.append(buf, static_cast<std::size_t>(n));
    } else if (n < 0 && errno != EINTR) {
      break;
    }
  }
  ::close(fd);
  return unread;
}

std::vector<std::string> TerminalEnvironment(const std::vector<std::string>* base) {
  // A terminal the console cannot draw on: programs print lines, and pagers pass text through.
  static constexpr std::array<std::string_view, 5> kSet = {
      "TERM=dumb", "PAGER=cat", "GIT_PAGER=cat", "MANPAGER=cat", "SYSTEMD_PAGER=cat"};
  std::vector<std::string> env;
  const auto keep = [&env](std::string_view e) {
    const bool replaced = std::any_of(kSet.begin(), kSet.end(), [&](std::string_view set) {
      return e.starts_with(set.substr(0, set.find('=') + 1));
    });
    if (!replaced) {
      env.emplace_back(e);
    }
  };
  if (base) {
    std::for_each(base->begin(), base->end(), keep);
  } else {
    for (char** entry = environ; entry && *entry; ++entry) {
      keep(*entry);
    }
  }
  env.insert(env.end(), kSet.begin(), kSet.end());
  return env;
}

}  // namespace pelorin::posix
