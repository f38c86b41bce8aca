// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <vector>

#include "console/PipeDrainer_posix.h"
#include "console/ProcessPlatform.h"

extern char** environ;

namespace pelorin {

namespace {

void CloseFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

// A pipe end must not land on 0, 1 or 2 (possible when this process was started with them
// closed): the child's dup2 onto those numbers would then overwrite one pipe with the other.
SysError MoveAboveStdio(int& fd) {
  if (fd > 2) {
    return 0;
  }
  const int moved = ::fcntl(fd, F_DUPFD_CLOEXEC, 3);
  if (moved < 0) {
    return static_cast<SysError>(errno);
  }
  ::close(fd);
  fd = moved;
  return 0;
}

// A pipe whose ends are closed on exec, so that a child gets only the ends it is given by dup2.
SysError MakePipe(int ends[2]) {
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    return static_cast<SysError>(errno);
  }
  for (int i = 0; i < 2; ++i) {
    if (const SysError rc = MoveAboveStdio(ends[i])) {
      CloseFd(ends[0]);
      CloseFd(ends[1]);
      return rc;
    }
  }
#ifdef F_SETPIPE_SZ
  // The kernel rounds up to whole pages; refusal (limits) leaves its default, which is larger.
  ::fcntl(ends[0], F_SETPIPE_SZ, static_cast<int>(kPipeBytes));
#endif
  // The window's thread polls the read end and must never block on it.
  ::fcntl(ends[0], F_SETFL, ::fcntl(ends[0], F_GETFL) | O_NONBLOCK);
  return 0;
}

// Spawn attributes every child gets: an empty signal mask and every catchable signal at its
// default action, whatever this process ignores or blocks (SIGPIPE above all).
class SpawnAttr {
 public:
  SpawnAttr() {
    ::posix_spawnattr_init(&attr_);
    sigset_t mask;
    sigemptyset(&mask);
    ::posix_spawnattr_setsigmask(&attr_, &mask);
    sigset_t defaults;
    sigfillset(&defaults);
    sigdelset(&defaults, SIGKILL);
    sigdelset(&defaults, SIGSTOP);
#ifdef __GLIBC__
    // glibc keeps the signals between the kernel's first real-time signal and SIGRTMIN for
    // itself: sigfillset leaves them out, and its posix_spawn then sets them to SIG_IGN in the
    // child, which the exec keeps. Their bits are set by hand so they start at default too.
    constexpr int kBitsPerWord = 8 * sizeof(defaults.__val[0]);
    for (int sig = __SIGRTMIN; sig < SIGRTMIN; ++sig) {
      defaults.__val[(sig - 1) / kBitsPerWord] |= 1UL << ((sig - 1) % kBitsPerWord);
    }
#endif
    ::posix_spawnattr_setsigdefault(&attr_, &defaults);
    // A session (and so a process group) of its own: an interrupt reaches the child and all it
    // started, and nothing else; a terminal's Ctrl+C or hang-up meant for the window does not
    // reach the child; and a program that opens the terminal fails at once instead of being
    // stopped for reading from a terminal whose foreground it is not.
    ::posix_spawnattr_setflags(&attr_,
                               POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID);
  }
  ~SpawnAttr() {
    ::posix_spawnattr_destroy(&attr_);
  }
  SpawnAttr(const SpawnAttr&) = delete;
  SpawnAttr& operator=(const SpawnAttr&) = delete;
  const posix_spawnattr_t* get() const {
    return &attr_;
  }

 private:
  posix_spawnattr_t attr_;
};

// What a child's descriptors become. Every child gets its three standard streams and nothing
// else: whatever else is open here (inherited from whoever started this process, or opened
// without close-on-exec) is closed in the child, after the standard streams are in place.
class FileActions {
 public:
  FileActions() { ::posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { ::posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

// The child's environment: the command's own when it has one (storage holds the pointers),
// else this process's.
char** EnvironmentOf(const InterpreterCommand& command, std::vector<char*>& storage) {
  if (command.environment.empty()) {
    return environ;
  }
  storage.clear();
  for (const std::string& entry : command.environment) {
    storage.push_back(const_cast<char*>(entry.c_str()));
  }
  storage.push_back(nullptr);
  return storage.data();
}

SysError Spawn(pid_t& pid, const std::vector<std::string>& args, FileActions& actions,
               bool searchPath, char** envp = environ) {
  ::posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  SpawnAttr attr;
  const auto fn = searchPath ? ::posix_spawnp : ::posix_spawn;
  return static_cast<SysError>(
      fn(&pid, args[0].c_str(), actions.get(), attr.get(), argv.data(), envp));
}

std::vector<std::string> InterpreterArgs(const InterpreterCommand& command) {
  return {command.program, command.switchText, command.line};
}

// Waits for the child on a thread of its own, so that it never stays a zombie and nobody waits
// for it here.
void ReapInBackground(pid_t pid) {
  try {
    std::thread([pid] {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
      }
    }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: the child stays unreaped until this process ends.
  }
}

class PosixChild final : public ChildProcess {
 public:
  PosixChild(pid_t pid, int outFd, int errFd) : pid_(pid), outFd_(outFd), errFd_(errFd) {}

  ~PosixChild() override {
    ReleaseReadEnds();
    if (!reaped_) {
      ReapInBackground(pid_);
    }
  }

  PosixChild(const PosixChild&) = delete;
  PosixChild& operator=(const PosixChild&) = delete;

  bool HasEnded() override {
    if (reaped_) {
      return true;
    }
    for (;;) {
      int status = 0;
      const pid_t r = ::waitpid(pid_, &status, WNOHANG);
      if (r == pid_) {
        reaped_ = true;
        if (WIFEXITED(status)) {
          status_ = ExitStatus{false, static_cast<std::uint32_t>(WEXITSTATUS(status))};
        } else if (WIFSIGNALED(status)) {
          status_ = ExitStatus{true, static_cast<std::uint32_t>(WTERMSIG(status))};
        }
        return true;
      }
      if (r == 0) {
        return false;
      }
      if (errno == EINTR) {
        continue;
      }
      // ECHILD: the child is gone and cannot be waited for (SIGCHLD ignored by this process);
      // polling on would never end.
      if (errno == ECHILD) {
        reaped_ = true;
        return true;
      }
      return false;
    }
  }

  std::optional<ExitStatus> Status() const override { return status_; }

  std::size_t Available(Stream stream) override {
    const int fd = Fd(stream);
    int n = 0;
    if (fd < 0 || ::ioctl(fd, FIONREAD, &n) != 0 || n <= 0) {
      return 0;
    }
    return std::min(static_cast<std::size_t>(n), kPipeBytes);
  }

  bool Read(Stream stream, std::size_t count, std::string& appendTo) override {
    return ReadOnce(Fd(stream), count, appendTo) > 0;
  }

  void Drain(std::chrono::milliseconds limit, std::size_t maxBytes, std::string& out,
             std::string& err) override {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + limit;
    int fds[2] = {outFd_, errFd_};
    std::string* sinks[2] = {&out, &err};
    const std::size_t start[2] = {out.size(), err.size()};
    while (fds[0] >= 0 || fds[1] >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) {
        return;
      }
      pollfd p[2] = {{fds[0], POLLIN, 0}, {fds[1], POLLIN, 0}};  // a negative fd is skipped
      const int r = ::poll(p, 2, static_cast<int>(left.count()));
      if (r < 0 && errno != EINTR) {
        return;
      }
      for (int i = 0; r > 0 && i < 2; ++i) {
        if (fds[i] < 0 || p[i].revents == 0) {
          continue;
        }
        const std::size_t room = maxBytes - (sinks[i]->size() - start[i]);
        const ssize_t n = ReadOnce(fds[i], std::min(kPipeBytes, room), *sinks[i]);
        const bool full = n > 0 && static_cast<std::size_t>(n) >= room;
        if (n == 0 || (n < 0 && errno != EAGAIN) || full) {
          fds[i] = -1;  // end of data, a broken pipe, or as much as this stream may give
        }
      }
    }
  }

  void ReleaseReadEnds() override {
    DiscardInBackground(outFd_, errFd_);
    outFd_ = -1;
    errFd_ = -1;
  }

  void Interrupt() override {
    if (reaped_) {
      return;  // the group's number may belong to someone else by now
    }
    ::kill(-pid_, interrupted_ ? SIGKILL : SIGINT);
    interrupted_ = true;
  }

  std::int64_t ProcessId() const override { return pid_; }

 private:
  int Fd(Stream stream) const { return stream == Stream::Out ? outFd_ : errFd_; }

  // One read of up to count bytes appended to the text: the byte count, 0 at end of data, or -1.
  static ssize_t ReadOnce(int fd, std::size_t count, std::string& appendTo) {
    if (fd < 0) {
      errno = EBADF;
      return -1;
    }
    const std::size_t old = appendTo.size();
    appendTo.resize(old + count);
    ssize_t n;
    do {
      n = ::read(fd, appendTo.data() + old, count);
    } while (n < 0 && errno == EINTR);
    const int saved = errno;
    appendTo.resize(old + static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    errno = saved;
    return n;
  }

  pid_t pid_;
  int outFd_;
  int errFd_;
  bool reaped_ = false;
  bool interrupted_ = false;
  std::optional<ExitStatus> status_;
};

}  // namespace

InterpreterCommand MakeInterpreterCommand(const std::string& line) {
  const char* shell = std::getenv("SHELL");
  return {shell && *shell ? shell : "/bin/sh", "-c", line};
}

SysError StartChildProcess(const InterpreterCommand& command,
                           std::unique_ptr<ChildProcess>& child) {
  child.reset();
  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  if (const SysError rc = MakePipe(out)) {
    return rc;
  }
  if (const SysError rc = MakePipe(err)) {
    CloseFd(out[0]);
    CloseFd(out[1]);
    return rc;
  }
  FileActions actions;
  ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(actions.get(), out[1], 1);
  ::posix_spawn_file_actions_adddup2(actions.get(), err[1], 2);

  pid_t pid = 0;
  std::vector<char*> env;
  const SysError rc =
      Spawn(pid, InterpreterArgs(command), actions, true, EnvironmentOf(command, env));
  // Only the child holds the write ends now, so the pipes report end of data once it (and
  // whatever inherited them from it) has closed them.
  CloseFd(out[1]);
  CloseFd(err[1]);
  if (rc != 0) {
    CloseFd(out[0]);
    CloseFd(err[0]);
    return rc;
  }
  child = std::make_unique<PosixChild>(pid, out[0], err[0]);
  return 0;
}

SysError StartDetached(const InterpreterCommand& command) {
  FileActions actions;
  ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  std::vector<char*> env;
  const SysError rc =
      Spawn(pid, InterpreterArgs(command), actions, true, EnvironmentOf(command, env));
  if (rc == 0) {
    ReapInBackground(pid);
  }
  return rc;
}

SysError StartProgram(const std::string& programPath) {
  FileActions actions;
  pid_t pid = 0;
  const SysError rc = Spawn(pid, {programPath}, actions, false);
  if (rc == 0) {
    ReapInBackground(pid);
  }
  return rc;
}

std::string ProgramPath() {
  std::vector<char> buf(4096);
  for (;;) {
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) {
      return std::string();
    }
    if (static_cast<std::size_t>(n) < buf.size()) {
      return std::string(buf.data(), static_cast<std::size_t>(n));
    }
    buf.resize(buf.size() * 2);
  }
}

std::string ProgramFolder() {
  const std::string path = ProgramPath();
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace pelorin
