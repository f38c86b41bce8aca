// SPDX-License-Identifier: GPL-3.0-or-later
// pelorin-helper: the small program the console starts beside a command. It holds nothing of the
// window's (it is started afresh, never copied from the window's process) and keeps to what a
// command's terminal and pipes need from a process of their own:
//
//   pelorin-helper lead <file> <argv0> [args...]
//     Started as the leader of a new session, with the command's terminal as its standard input
//     and output (and so as the session's controlling terminal) and the standard-error pipe as
//     its standard error. Runs the command in a process group of its own, in the terminal's
//     foreground, and passes on the console's interrupts to that group: SIGINT as SIGINT, SIGTERM
//     as SIGKILL. When the command has ended it takes the foreground back before ending itself,
//     with the command's status: the end of a session's leader hangs up the foreground group,
//     and a program the command left running in the background (`tail -f x &`) lives on.
//
//   pelorin-helper drain
//     Standard input and output are read ends a window let go of (a terminal's master side, a
//     pipe). Detaches from its starter, then reads and throws away what arrives until every
//     writer is gone: a program left running never dies of a closed pipe or terminal.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "console/DrainLoop_posix.h"

namespace {

[[noreturn]] void EndAsTheCommandDid(int status) {
  if (WIFSIGNALED(status)) {
    // The same signal, so that whoever waits for this process learns how the command ended;
    // without a core file of this process.
    const int sig = WTERMSIG(status);
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
    ::signal(sig, SIG_DFL);
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, sig);
    ::sigprocmask(SIG_UNBLOCK, &one, nullptr);
    ::raise(sig);
    ::_exit(128 + sig);
  }
  ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 1);
}

int Lead(char** command) {
  const char* file = command[0];
  char** argv = command + 1;
  // The signals this process acts on are taken by sigwaitinfo, never by a handler: none is lost
  // before the command exists, and none interrupts the steps below. SIGTTOU stays blocked so
  // that the foreground can be taken back from the background.
  sigset_t taken;
  sigemptyset(&taken);
  for (const int sig : {SIGINT, SIGTERM, SIGCHLD, SIGTTOU}) {
    sigaddset(&taken, sig);
  }
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_BLOCK, &taken, nullptr);

  const pid_t child = ::fork();
  if (child == 0) {
    ::setpgid(0, 0);
    ::tcsetpgrp(STDIN_FILENO, ::getpid());
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::execv(file, argv);
    const int error = errno;
    ::dprintf(STDERR_FILENO, "%s: %s\n", argv[0], std::strerror(error));
    ::_exit(error == ENOENT ? 127 : 126);
  }
  if (child < 0) {
    ::dprintf(STDERR_FILENO, "%s: %s\n", argv[0], std::strerror(errno));
    return 126;
  }
  ::setpgid(child, child);  // whichever of the two comes first

  int status = 0;
  for (;;) {
    const int sig = ::sigwaitinfo(&taken, nullptr);
    if (sig == SIGINT) {
      ::kill(-child, SIGINT);
    } else if (sig == SIGTERM) {
      ::kill(-child, SIGKILL);
    } else if (sig == SIGCHLD) {
      const pid_t r = ::waitpid(child, &status, WNOHANG);
      if (r == child || (r < 0 && errno == ECHILD)) {
        break;
      }
    }
  }
  ::tcsetpgrp(STDIN_FILENO, ::getpgrp());
  for (int fd = 0; fd <= 2; ++fd) {
    ::close(fd);
  }
  EndAsTheCommandDid(status);
}

int Drain() {
  const int a = ::fcntl(STDIN_FILENO, F_GETFD) >= 0 ? STDIN_FILENO : -1;
  const int b = ::fcntl(STDOUT_FILENO, F_GETFD) >= 0 ? STDOUT_FILENO : -1;
  // No one's child: no one has to wait for this process, however long it reads.
  const pid_t detached = ::fork();
  if (detached > 0) {
    return 0;
  }
  ::setsid();
  ::close(STDERR_FILENO);
  pelorin::posix::DrainUntilWritersGone(a, b);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::strcmp(argv[1], "lead") == 0) {
    return Lead(argv + 2);
  }
  if (argc == 2 && std::strcmp(argv[1], "drain") == 0) {
    return Drain();
  }
  std::fprintf(stderr, "pelorin-helper: Pelorin starts this program beside a command\n");
  return 2;
}
