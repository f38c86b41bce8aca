// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <thread>
#include <vector>

#include "console/ChildSpawn_posix.h"
#include "console/PipeDrainer_posix.h"
#include "console/ProcessPlatform.h"
#include "console/Terminal_posix.h"

extern char** environ;

namespace pelorin {

namespace posix {

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

namespace {

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

}  // namespace

SysError Spawn(pid_t& pid, const std::vector<std::string>& args, FileActions& actions,
               bool searchPath, const std::vector<std::string>* environment) {
  ::posix_spawn_file_actions_addclosefrom_np(actions.get(), 3);
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (const std::string& a : args) {
    argv.push_back(const_cast<char*>(a.c_str()));
  }
  argv.push_back(nullptr);
  std::vector<char*> envp;
  if (environment) {
    envp.reserve(environment->size() + 1);
    for (const std::string& e : *environment) {
      envp.push_back(const_cast<char*>(e.c_str()));
    }
    envp.push_back(nullptr);
  }
  SpawnAttr attr;
  const auto fn = searchPath ? ::posix_spawnp : ::posix_spawn;
  return static_cast<SysError>(fn(&pid, args[0].c_str(), actions.get(), attr.get(), argv.data(),
                                  environment ? envp.data() : environ));
}

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

}  // namespace posix

namespace {

using posix::CloseFd;
using posix::FileActions;
using posix::ReapInBackground;
using posix::Spawn;

std::vector<std::string> InterpreterArgs(const InterpreterCommand& command) {
  return {command.program, command.switchText, command.line};
}

// The file an interpreter name stands for, found as posix_spawnp finds it, so that a missing
// interpreter fails the start here rather than in the helper that runs it.
SysError FindProgram(const std::string& name, std::string& file) {
  const auto usable = [](const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      return static_cast<SysError>(errno);
    }
    if (!S_ISREG(st.st_mode) || ::access(path.c_str(), X_OK) != 0) {
      return static_cast<SysError>(EACCES);
    }
    return SysError{0};
  };
  if (name.empty()) {
    return ENOENT;
  }
  if (name.find('/') != std::string::npos) {
    file = name;
    return usable(name);
  }
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/bin:/usr/bin";
  SysError first = ENOENT;
  for (std::size_t start = 0; start <= dirs.size();) {
    const std::size_t end = std::min(dirs.find(':', start), dirs.size());
    const std::string dir = end > start ? dirs.substr(start, end - start) : ".";
    const std::string candidate = dir + "/" + name;
    const SysError rc = usable(candidate);
    if (rc == 0) {
      file = candidate;
      return 0;
    }
    if (rc == EACCES) {
      first = EACCES;
    }
    start = end + 1;
  }
  return first;
}

// A descriptor the window's thread may use to wake the reader thread from its wait. Made before
// the command starts: a reader that cannot be woken could keep the window waiting.
class WakePipe {
 public:
  WakePipe(int readEnd, int writeEnd) : ends_{readEnd, writeEnd} {}
  ~WakePipe() {
    CloseFd(ends_[0]);
    CloseFd(ends_[1]);
  }
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;
  int ReadEnd() const { return ends_[0]; }
  void Wake() const {
    if (ends_[1] >= 0) {
      (void)!::write(ends_[1], "w", 1);
    }
  }
  void Clear() const {
    char buf[64];
    while (ends_[0] >= 0 && ::read(ends_[0], buf, sizeof buf) > 0) {
    }
  }

 private:
  int ends_[2] = {-1, -1};
};

class PosixChild final : public ChildProcess {
 public:
  // out: the terminal's master side, or without a terminal the standard-output pipe. led: a
  // helper leads the command's session, and interrupts go through it.
  PosixChild(pid_t pid, bool led, int outFd, bool terminal, std::string slavePath, int errFd,
             const int wake[2])
      : pid_(pid),
        led_(led),
        terminal_(terminal),
        slavePath_(std::move(slavePath)),
        fds_{outFd, errFd},
        wake_(wake[0], wake[1]) {}

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

  void ReadOutput(const std::size_t room[2], std::chrono::milliseconds wait,
                  std::vector<OutputChunk>& chunks, bool ended[2]) override {
    pollfd p[3] = {{room[0] > 0 ? fds_[0] : -1, POLLIN, 0},  // a negative fd is skipped
                   {room[1] > 0 ? fds_[1] : -1, POLLIN, 0},
                   {wake_.ReadEnd(), POLLIN, 0}};
    const int timeout =
        static_cast<int>(std::clamp<std::chrono::milliseconds::rep>(wait.count(), 0, 60'000));
    if (::poll(p, 3, timeout) <= 0) {
      return;
    }
    if (p[2].revents != 0) {
      wake_.Clear();
    }
    for (int i = 0; i < 2; ++i) {
      if (p[i].fd < 0 || p[i].revents == 0) {
        continue;
      }
      const Stream stream = i == 0 ? Stream::Out : Stream::Err;
      if (chunks.empty() || chunks.back().stream != stream) {
        chunks.push_back({stream, {}});
      }
      // Read into the one buffer kept for it: a chunk holds what arrived, not a pipe's worth.
      std::string& bytes = chunks.back().bytes;
      ssize_t n;
      do {
        n = ::read(p[i].fd, scratch_.data(), std::min(room[i], scratch_.size()));
      } while (n < 0 && errno == EINTR);
      const int error = errno;
      bytes.append(scratch_.data(), static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
      if (bytes.empty()) {
        chunks.pop_back();
      }
      // End of data; or for a terminal EIO once no one holds its other side.
      if (n == 0 || (n < 0 && error != EAGAIN)) {
        ended[i] = true;
      }
    }
  }

  void WakeReader() override { wake_.Wake(); }

  InputWritten WriteInput(std::string_view bytes) override {
    InputWritten result;
    if (!terminal_ || fds_[0] < 0) {
      result.refused = true;
      return result;
    }
    if (bytes.empty()) {
      return result;
    }
    ssize_t n;
    do {
      n = ::write(fds_[0], bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n > 0) {
      result.bytes = static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EAGAIN) {
      result.refused = true;  // EIO: no one holds the command's side of the terminal any more
    }
    return result;
  }

  bool EndInput() override {
    if (!terminal_ || fds_[0] < 0) {
      return true;
    }
    const char end = posix::EndOfInputChar(fds_[0]);
    const InputWritten w = WriteInput(std::string_view(&end, 1));
    return w.bytes == 1 || w.refused;
  }

  TerminalState Terminal() override {
    return terminal_ ? posix::ReadTerminalState(fds_[0]) : TerminalState{};
  }

  void SetTerminalSize(int columns, int rows) override {
    if (terminal_ && fds_[0] >= 0) {
      posix::SetTerminalSize(fds_[0], columns, rows);
    }
  }

  std::string TakeUnreadInput() override {
    return terminal_ && fds_[0] >= 0 ? posix::ReadUnreadInput(fds_[0], slavePath_) : std::string();
  }

  void ReleaseReadEnds() override {
    DiscardInBackground(fds_[0], fds_[1]);
    fds_[0] = fds_[1] = -1;
  }

  void Interrupt() override {
    if (reaped_) {
      return;  // the group's number may belong to someone else by now
    }
    if (led_) {
      ::kill(pid_, interrupted_ ? SIGTERM : SIGINT);  // the leader passes it on to the command
    } else {
      ::kill(-pid_, interrupted_ ? SIGKILL : SIGINT);
    }
    interrupted_ = true;
  }

  std::int64_t ProcessId() const override { return pid_; }

 private:
  pid_t pid_;
  bool led_;
  bool terminal_;
  std::string slavePath_;
  int fds_[2];  // standard output (the terminal's master side, or a pipe), standard error
  WakePipe wake_;
  bool reaped_ = false;
  bool interrupted_ = false;
  std::array<char, kPipeBytes> scratch_{};
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
  std::string file;
  if (const SysError rc = FindProgram(command.program, file)) {
    return rc;
  }
  int err[2] = {-1, -1};
  if (const SysError rc = posix::MakePipe(err)) {
    return rc;
  }
  // A terminal for input and output; where the system has none to give, a pipe for the output
  // and the null device for the input, as a console without a terminal has them.
  int out[2] = {-1, -1};
  std::string slavePath;
  const bool terminal = posix::OpenTerminal(out[0], slavePath, command.columns, command.rows) == 0;
  if (!terminal) {
    if (const SysError rc = posix::MakePipe(out)) {
      CloseFd(err[0]);
      CloseFd(err[1]);
      return rc;
    }
  }
  int wake[2] = {-1, -1};
  if (::pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
    const auto rc = static_cast<SysError>(errno);
    for (int* fd : {&out[0], &out[1], &err[0], &err[1]}) {
      CloseFd(*fd);
    }
    return rc;
  }
  FileActions actions;
  if (terminal) {
    // The child leads a new session: opening the terminal makes it the session's controlling
    // terminal, so that a program asking the terminal for a password (sudo, ssh) finds it.
    ::posix_spawn_file_actions_addopen(actions.get(), 0, slavePath.c_str(), O_RDWR, 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), 0, 1);
  } else {
    ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_adddup2(actions.get(), out[1], 1);
  }
  ::posix_spawn_file_actions_adddup2(actions.get(), err[1], 2);

  // With a terminal a helper leads the session, so that the command's own end hangs up nothing
  // it left running; without the helper the interpreter leads it itself.
  const std::string& helper = HelperProgram();
  const bool led = terminal && !helper.empty();
  std::vector<std::string> args = InterpreterArgs(command);
  if (led) {
    args.insert(args.begin(), {helper, "lead", file});
  }
  pid_t pid = 0;
  // The command's own environment when it has one, else this process's (null); with a terminal,
  // made fit for a terminal that draws no screens.
  const std::vector<std::string>* env = command.environment ? &*command.environment : nullptr;
  std::vector<std::string> terminalEnv;
  if (terminal) {
    terminalEnv = posix::TerminalEnvironment(env);
    env = &terminalEnv;
  }
  const SysError rc = Spawn(pid, args, actions, !led, env);
  // Only the child holds the write ends now, so the pipes report end of data once it (and
  // whatever inherited them from it) has closed them.
  CloseFd(out[1]);
  CloseFd(err[1]);
  if (rc != 0) {
    for (int* fd : {&out[0], &err[0], &wake[0], &wake[1]}) {
      CloseFd(*fd);
    }
    return rc;
  }
  child =
      std::make_unique<PosixChild>(pid, led, out[0], terminal, std::move(slavePath), err[0], wake);
  return 0;
}

SysError StartDetached(const InterpreterCommand& command) {
  FileActions actions;
  ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(actions.get(), 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(actions.get(), 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const SysError rc = Spawn(pid, InterpreterArgs(command), actions, true,
                            command.environment ? &*command.environment : nullptr);
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
