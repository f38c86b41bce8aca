// SPDX-License-Identifier: GPL-3.0-or-later
// CommandRunner with real children through /bin/sh: output, ends, stops, interrupts, what a
// child inherits, and reaping; the UTF-8 decoder of their output. And the runner under wear: a
// thousand runs in a row, and children left running by a stop, by the runner's end or in the
// background. Each wear case ends with the same question: is every child reaped, and is nothing
// of ours left?
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "console/CommandRunner.h"
#include "console/OutputDecoder.h"
#include "tests/support/FifoHold.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Result = CommandRunner::TickResult;
using S = std::string;

// The state letter of /proc/<pid>/stat ('Z' for a zombie), or 0 when there is no such process.
char ProcState(std::int64_t pid) {
  std::string stat;
  std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat);
  return stat.empty() ? 0 : stat[stat.rfind(')') + 2];
}

// Whether a process of the session runs (zombies do not count), of that name if one is given.
bool SessionRuns(std::int64_t sid, const std::string& name = "") {
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/proc", ec)) {
    std::string stat;
    std::getline(std::ifstream(entry.path() / "stat"), stat);
    const std::size_t open = stat.find('('), close = stat.rfind(')');
    char state = 0;
    long ppid = 0, pgrp = 0, session = 0;
    if (close != std::string::npos &&
        std::istringstream(stat.substr(close + 1)) >> state >> ppid >> pgrp >> session &&
        session == sid && state != 'Z' &&
        (name.empty() || stat.substr(open + 1, close - open - 1) == name))
      return true;
  }
  return false;
}

bool WaitUntil(auto done) {
  for (const auto end = Clock::now() + 30s; !done() && Clock::now() < end;)
    std::this_thread::sleep_for(1ms);
  return done();
}

// A runner that keeps its latest child's process id in pid.
CommandRunner RunnerKeepingPid(std::int64_t& pid) {
  return CommandRunner([&pid](const InterpreterCommand& c, std::unique_ptr<ChildProcess>& child) {
    const SysError rc = StartChildProcess(c, child);
    pid = rc == 0 ? child->ProcessId() : 0;
    return rc;
  });
}

enum How { kTicked, kOverBeforeTheFirstTick };

S Read(const S& path) {
  S text;
  std::getline(std::ifstream(path), text, '\0');
  return text;
}

TEST(RealChildren, TicksCarryAtMostAPipeOfEachStreamAndTheChildIsReaped) {
  const std::string tail = " \xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80";
  std::string data;
  int lines = 0;
  while (data.size() < 10'000'000)
    data += std::to_string(++lines) + tail + "\n";
  // Whatever this process ignores or blocks, the child starts with default signal handling.
  const auto oldPipe = std::signal(SIGPIPE, SIG_IGN);
  sigset_t all, oldMask;
  sigfillset(&all);
  ::pthread_sigmask(SIG_BLOCK, &all, &oldMask);
  // A descriptor this process holds without close-on-exec (as one inherited from whoever
  // started it) reaches no child.
  const int stray = ::fcntl(STDOUT_FILENO, F_DUPFD, 100);
  ASSERT_GE(stray, 100);
  const struct {
    std::string line, out, err;
    How how;
  } cases[] = {
      {"f() { seq " + std::to_string(lines) + " | sed 's/$/" + tail + "/'; }; f & f >&2; wait",
       data, data, kTicked},
      {"printf out; printf err >&2; printf ' more'", "out more", "err", kOverBeforeTheFirstTick},
      // Standard input and output are a terminal, the session's own; standard error a pipe.
      {"test -t 0 && test -t 1 && ! test -t 2 && : </dev/tty && echo tty", "tty\n", "",
       kOverBeforeTheFirstTick},
      // exec: what the child started with, not the state of a shell waiting for grep (the
      // shell blocks every signal around its wait).
      {"exec grep -E '^Sig(Blk|Ign)' /proc/$$/status",
       "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n", "", kOverBeforeTheFirstTick},
      // Only the three standard streams: the shell has no descriptor of ours besides.
      {"ls -1 /proc/$$/fd; true", "0\n1\n2\n", "", kOverBeforeTheFirstTick},
  };
  std::int64_t pid = 0;
  CommandRunner runner = RunnerKeepingPid(pid);
  for (const auto& c : cases) {
    ASSERT_EQ(runner.Start({"/bin/sh", "-c", c.line}), 0u);
    if (c.how == kOverBeforeTheFirstTick) {
      ASSERT_TRUE(WaitUntil([&pid] { return ProcState(pid) == 'Z'; }));
    }
    std::string out, err;
    std::size_t ticks = 0;
    const auto started = Clock::now();
    for (Result r; r.kind != Result::Complete; ++ticks) {
      ASSERT_LT(Clock::now() - started, 60s) << "no completion";
      std::this_thread::sleep_for(1ms);
      r = runner.Tick();
      // At most one pipe's worth per stream, give or take a character held from the last tick.
      const std::string o = r.output.Text(Stream::Out), e = r.output.Text(Stream::Err);
      ASSERT_LE(std::max(o.size(), e.size()),
                r.kind == Result::Complete ? data.size() : kPipeBytes + 3);
      out += o;
      err += e;
    }
    EXPECT_TRUE(out == c.out && err == c.err)
        << "output lost, corrupted or reordered: " << c.line
        << (out.size() + err.size() < 1000 ? "\nout: " + out + "\nerr: " + err : "");
    EXPECT_TRUE(ticks == 1 || c.how != kOverBeforeTheFirstTick) << c.line;
    EXPECT_EQ(ProcState(pid), 0) << "not reaped at completion: " << c.line;
  }
  ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
  std::signal(SIGPIPE, oldPipe);
  ::close(stray);
}

// Short of descriptors, a start fails with the system's error or the command runs to its end;
// never a child whose reader cannot be woken, which would keep the window waiting at its end.
TEST(RealChildren, AStartShortOfDescriptorsFailsOrRunsToItsEnd) {
#ifdef __SANITIZE_ADDRESS__
  GTEST_SKIP() << "the sanitizers' runtime needs descriptors of its own to check memory";
#endif
  rlimit old{};
  ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
  const auto openDescriptors = [] {
    const fs::directory_iterator all("/proc/self/fd");
    return std::distance(fs::begin(all), fs::end(all));
  };
  const auto descriptors = openDescriptors();
  CommandRunner runner;
  int failed = 0, ran = 0;
  for (int spare = 0; spare <= 10; ++spare) {
    int highest = 0;
    for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
      highest = std::max(highest, std::stoi(entry.path().filename().string()));
    }
    rlimit low = old;
    low.rlim_cur = static_cast<rlim_t>(highest + 64);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    // Every descriptor below the limit taken, but `spare` of them.
    std::vector<int> taken;
    for (int fd; (fd = ::fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0)) >= 0;) {
      taken.push_back(fd);
    }
    for (int i = 0; i < spare && !taken.empty(); ++i) {
      ::close(taken.back());
      taken.pop_back();
    }
    const SysError rc = runner.Start({"/bin/sh", "-c", "echo ok"});
    S out;
    auto slowest = Clock::duration::zero();
    for (Result r; rc == 0 && r.kind != Result::Complete;) {
      const auto before = Clock::now();
      r = runner.Tick();
      slowest = std::max(slowest, Clock::now() - before);
      out += r.output.Text(Stream::Out);
      std::this_thread::sleep_for(1ms);
    }
    for (const int fd : taken) {
      ::close(fd);
    }
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &old), 0);
    EXPECT_LT(slowest, 1s) << spare << " spare descriptors";
    EXPECT_TRUE(rc != 0 || out == "ok\n") << spare << " spare descriptors: " << out;
    ++(rc == 0 ? ran : failed);
  }
  EXPECT_GT(failed, 0);
  EXPECT_GT(ran, 0);
  EXPECT_EQ(openDescriptors(), descriptors) << "a failed start left descriptors open";
}

TEST(RealChildren, AnInterruptEndsTheCommandsGroupAndTheSecondEndsItForGood) {
  // Under the trap the shell and its sleep ignore SIGINT: the second interrupt kills.
  const std::pair<std::string, int> cases[] = {{"sleep 100", 1}, {"trap '' INT; sleep 100", 2}};
  std::int64_t pid = 0;
  CommandRunner runner = RunnerKeepingPid(pid);
  for (const auto& [line, needed] : cases) {
    ASSERT_EQ(runner.Start({"/bin/sh", "-c", line}), 0u);
    // The shell catches SIGINT until it has started sleep: an interrupt before would be lost.
    ASSERT_TRUE(WaitUntil([&] { return SessionRuns(pid, "sleep"); }));
    for (int i = 0; i < needed; ++i) {
      // An ignored signal is dropped when it is sent: the command runs on, for certain.
      EXPECT_TRUE(ProcState(pid) != 'Z' && runner.Tick().kind == Result::Output) << line << i;
      runner.Interrupt();
    }
    const auto interrupted = Clock::now();
    bool complete = false;
    ASSERT_TRUE(WaitUntil([&] {
      return complete = complete || runner.Tick().kind == Result::Complete;
    })) << line;
    // The command's end closes the pipes: no drain waits for a program left in the group.
    EXPECT_LT(Clock::now() - interrupted, CommandRunner::kDrainLimit / 2);
    EXPECT_TRUE(WaitUntil([&] { return !SessionRuns(pid); })) << "a part runs on: " << line;
  }
}

TEST(RealChildren, TheLastDrainIsBoundedAndAProgramLeftWritingRunsToItsEnd) {
  // The command ends at once and leaves a writer of 50 MB holding its terminal. What comes after
  // the end is bounded; the writer is never cut off.
  test::TempDir dir;
  const std::string mark = dir.path() + "/mark";
  std::int64_t pid = 0;
  CommandRunner runner = RunnerKeepingPid(pid);
  ASSERT_EQ(runner.Start({"/bin/sh", "-c",
                          "(yes | head -c 50000000; echo $? > " + mark + ") & echo started"}),
            0u);
  ASSERT_TRUE(WaitUntil([&pid] { return ProcState(pid) == 'Z'; }));
  std::string out;
  const auto start = Clock::now();
  for (Result r; r.kind != Result::Complete; out += r.output.Text(Stream::Out)) {
    ASSERT_LT(Clock::now() - start, 60s) << "no completion";
    std::this_thread::sleep_for(1ms);
    r = runner.Tick();
  }
  EXPECT_LE(out.size(), kPipeBytes + CommandRunner::kDrainBytes);
  EXPECT_TRUE(out.starts_with("started\n")) << out.substr(0, 100);
  EXPECT_TRUE(WaitUntil([&] { return Read(mark) == "0\n"; })) << "status " << Read(mark);
}

// Ticks until the run completes; its standard output. The input goes to it from the start.
std::string Output(CommandRunner& runner, const std::string& line, const std::string& input = "",
                   bool endInput = false) {
  std::string out;
  EXPECT_EQ(runner.Start({"/bin/sh", "-c", line}), 0u) << line;
  if (!input.empty()) {
    runner.SendInput(input);
  }
  if (endInput) {
    runner.EndInput();
  }
  const auto start = Clock::now();
  for (Result r; r.kind != Result::Complete && Clock::now() - start < 30s;
       out += r.output.Text(Stream::Out)) {
    std::this_thread::sleep_for(5ms);
    r = runner.Tick();
  }
  return out;
}

// The terminal a command gets: its size, echo and line editing as the command sets them, what
// it says of itself in the environment, the end of input, and the input it never read.
TEST(Terminal, SizeEchoEnvironmentEndOfInputAndUnreadInput) {
  test::ScopedEnv term("TERM", "xterm-256color"), pager("PAGER", "less");
  CommandRunner runner;
  runner.SetTerminalSize(123, 45);
  EXPECT_EQ(Output(runner, "stty size; echo $TERM $PAGER $GIT_PAGER $MANPAGER"),
            "45 123\ndumb cat cat cat\n");
  // The line typed shows once: the terminal's echo of it is taken out.
  EXPECT_EQ(Output(runner, "read x; echo got $x", "Ann\n"), "got Ann\n");
  EXPECT_EQ(Output(runner, "cat", "abc\n", true), "abc\n");
  // A command that reads one line of three: the two it never read are kept, in order.
  EXPECT_EQ(Output(runner, "read x; sleep 0.3", "one\ntwo\nthree\n"), "");
  EXPECT_EQ(runner.TakeUnreadInput(), (std::vector<std::string>{"two", "three"}));

  test::FifoHold hold;
  ASSERT_TRUE(hold.Ready());
  const std::pair<std::string, TerminalState> modes[] = {
      {"stty -echo", {true, false, true}},           // a password: hidden
      {"stty -echo -icanon", {true, false, false}},  // key by key (readline): not hidden
  };
  for (const auto& [stty, state] : modes) {
    hold.Hold();
    ASSERT_EQ(runner.Start({"/bin/sh", "-c", stty + "; read x <" + hold.Path()}), 0u);
    EXPECT_TRUE(WaitUntil([&] {
      const TerminalState t = runner.Terminal();
      return t.echo == state.echo && t.lines == state.lines;
    })) << stty;
    EXPECT_EQ(runner.Terminal().Hidden(), state.lines) << stty;
    hold.Release();
    while (runner.Tick().kind != Result::Complete) {
      std::this_thread::sleep_for(5ms);
    }
  }
  EXPECT_FALSE(runner.Terminal().present) << "no terminal while nothing runs";

  // A prompt after a spinner is whole while the command waits for its answer.
  hold.Hold();
  ASSERT_EQ(
      runner.Start({"/bin/sh", "-c", "printf '|\\b/\\b-\\bPassword:'; read x <" + hold.Path()}),
      0u);
  S shown;
  EXPECT_TRUE(WaitUntil([&] {
    shown += runner.Tick().output.Text(Stream::Out);
    return shown == "Password:";
  })) << shown;
  hold.Release();
  while (runner.Tick().kind != Result::Complete) {
    std::this_thread::sleep_for(5ms);
  }
}

TEST(InterpreterCommand, ShellFromTheEnvironmentAndAMissingOneFailsToStart) {
  for (const char* unsetOrEmpty : {static_cast<const char*>(nullptr), ""}) {
    test::ScopedEnv shell("SHELL", unsetOrEmpty);
    const InterpreterCommand c = MakeInterpreterCommand("echo a  b");
    EXPECT_EQ(c.program + "|" + c.switchText + "|" + c.line, "/bin/sh|-c|echo a  b");
  }
  test::ScopedEnv shell("SHELL", "/nonexistent/pelorin-shell");
  CommandRunner runner;
  EXPECT_EQ(runner.Start(MakeInterpreterCommand("x")), static_cast<SysError>(ENOENT));
  EXPECT_FALSE(runner.Running());
}

TEST(RealChildren, AChildGetsTheGivenEnvironmentAndTheRunnerSaysHowItEnded) {
  const auto run = [](const InterpreterCommand& command, bool stop = false) {
    CommandRunner runner;
    EXPECT_EQ(runner.Start(command), 0u);
    if (stop) {
      runner.StopWait();
    }
    std::pair<std::string, Result> all;
    for (const auto end = Clock::now() + 30s;
         all.second.kind != Result::Complete && Clock::now() < end;) {
      std::this_thread::sleep_for(1ms);
      all.second = runner.Tick();
      all.first += all.second.output.Text(Stream::Out);
    }
    return all;
  };
  const auto [out, given] = run({"/bin/sh", "-c", "echo \"[$PELORIN_X][$HOME]\"; exit 7",
                                 std::vector<std::string>{"PELORIN_X=a  b", "PATH=/usr/bin:/bin"}});
  EXPECT_EQ(out, "[a  b][]\n") << "the whole environment is the one given";
  test::ScopedEnv own("PELORIN_X", "inherited");
  EXPECT_EQ(run({"/bin/sh", "-c", "echo \"[$PELORIN_X]\"", std::vector<std::string>{}}).first,
            "[]\n")
      << "an environment of no entries is none, not this process's";
  EXPECT_EQ(given.exit, (ExitStatus{false, 7}));
  EXPECT_EQ(run({"/bin/sh", "-c", "kill -KILL $$"}).second.exit, (ExitStatus{true, 9}));
  EXPECT_EQ(run({"/bin/sh", "-c", "exit 0"}).second.exit, (ExitStatus{false, 0}));
  EXPECT_EQ(run({"/bin/sh", "-c", "sleep 5"}, true).second.exit, std::nullopt) << "not seen ending";
}

const std::string kFffd = "\xEF\xBF\xBD";

// Decodes the bytes as two reads cut at `cut`; the first must not yield half a character.
std::string Decoded(const std::string& bytes, std::size_t cut = 0) {
  OutputDecoder d;
  const std::string first = d.Decode(bytes.substr(0, cut));
  EXPECT_TRUE(cut == 0 || Decoded(first) == first) << "half a character delivered, cut " << cut;
  const std::string both = first + d.Decode(bytes.substr(cut));
  return both + d.Finish();
}

TEST(OutputDecoder, TextDecodesTheSameWhereverAReadSplitsIt) {
  const std::string valid("a\0b \xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\xED\x9F\xBF",
                          20);
  const struct {
    std::string bytes, text;
  } cases[] = {
      {valid, valid},                                       // NULs included
      {"a\x80z", "a" + kFffd + "z"},                        // stray continuation byte
      {"\xC0\xAF", kFffd + kFffd},                          // overlong '/'
      {"\xE0\x80\xAF", kFffd + kFffd + kFffd},              // overlong three-byte form
      {"\xED\xA0\x80", kFffd + kFffd + kFffd},              // surrogate half
      {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // above U+10FFFF
      {"\xE2\x82\x41", kFffd + kFffd + "A"},                // sequence cut short
      {"x\xF0\x9F\x98", "x" + kFffd + kFffd + kFffd},       // cut short by the end
      {"\xC3\xBC\xFF\xE2\x82\xAC\xF0", "\xC3\xBC" + kFffd + "\xE2\x82\xAC" + kFffd},
  };
  for (const auto& c : cases) {
    for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut) {
      EXPECT_EQ(Decoded(c.bytes, cut), c.text) << "cut at " << cut;
    }
  }
}

class Wear : public ::testing::Test {
 protected:
  Wear() { fs::current_path(dir_.path()); }

  static long Entries(const char* dir) { return std::distance(fs::directory_iterator(dir), {}); }
  static long HeapBytes() { return ::mallinfo2().uordblks + ::mallinfo2().hblkhd; }
  static bool NoChildren() {  // none left, zombie or running; the check reaps nothing
    return ::waitid(P_ALL, 0, nullptr, WEXITED | WNOHANG | WNOWAIT) != 0 && errno == ECHILD;
  }
  void Start(const S& line) { ASSERT_EQ(runner_->Start({"/bin/sh", "-c", line}), 0u); }
  // Ticks as fast as the child allows until the run completes; returns its standard output.
  S Ticks() {
    S out;
    for (CommandRunner::TickResult r; r.kind != r.Complete; out += r.output.Text(Stream::Out)) {
      std::this_thread::sleep_for(200us);
      r = runner_->Tick();
    }
    return out;
  }

  test::ScopedCwd restoreCwd_;
  test::TempDir dir_;
  std::unique_ptr<CommandRunner> runner_ = std::make_unique<CommandRunner>();
};

TEST_F(Wear, AThousandRunsLeaveNoChildNoDescriptorAndFlatMemory) {
  long fds = 0, heap = 0;
  for (int i = -50; i < 1000; ++i) {
    if (i == 0)  // after the first runs, which allocate what every later run reuses
      std::tie(fds, heap) = std::pair(Entries("/proc/self/fd"), HeapBytes());
    Start(i % 2 ? "true" : "echo x");
    EXPECT_EQ(Ticks(), i % 2 ? "" : "x\n");
  }
  EXPECT_TRUE(NoChildren());
  EXPECT_EQ(Entries("/proc/self/fd"), fds) << "descriptors leaked";
  EXPECT_LT(HeapBytes() - heap, 32 * 1024) << "heap bytes still allocated grew";
}

TEST_F(Wear, ChildrenLeftRunningRunToTheirEndAndAreReaped) {
  // Left after a stop, after the runner is gone, or in the background of a command that ended:
  // each writes on into its pipes long after the run was given up, and ends with status 0 (a
  // closed pipe would kill it with SIGPIPE: 141). The children wait on the fifo (at most 20 s)
  // until the run is over. No run, given up or not, leaves a descriptor behind.
  test::FifoHold hold;
  ASSERT_TRUE(hold.Ready());
  const long fds = Entries("/proc/self/fd");
  const S wait = "timeout 20 sh -c 'read x <" + hold.Path() + "'; ";
  const S write = "echo after; seq 100000 >&2; echo $? > mark";
  enum { kStop, kDestroy, kBackground };
  const std::tuple<S, int, S> cases[] = {
      {wait + write, kStop, ""},
      {wait + write, kDestroy, ""},
      {"echo fg; (" + wait + write + ") &", kBackground, "fg\n"},
  };
  for (const auto& [script, how, shown] : cases) {
    hold.Hold();
    fs::remove("mark");
    Start(script);
    const auto start = Clock::now();
    if (how == kStop)
      runner_->StopWait();
    if (how == kDestroy)
      runner_ = std::make_unique<CommandRunner>();
    else
      EXPECT_EQ(Ticks(), shown);
    // Waiting for a child would take the 20 s of its wait. Not waiting takes the drain limit at
    // most, and a busy machine adds a little.
    EXPECT_LT(Clock::now() - start, CommandRunner::kDrainLimit + 4s) << "the run waited";
    // A new run on the same runner while the old child goes on: none of its output comes here.
    Start("sleep 0.5; echo new");
    hold.Release();
    EXPECT_EQ(Ticks(), "new\n");
    EXPECT_TRUE(WaitUntil([&] { return Read("mark") == "0\n"; })) << how << ": " << Read("mark");
    EXPECT_TRUE(WaitUntil(NoChildren)) << "a child stays a zombie";
  }
  EXPECT_EQ(Entries("/proc/self/fd"), fds) << "descriptors leaked";
}

}  // namespace
}  // namespace pelorin
