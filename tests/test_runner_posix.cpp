// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "console/CommandRunner.h"
#include "tests/support/FifoHold.h"
#include "tests/support/TempDir.h"

// CommandRunner with real children through /bin/sh: output, ends, stops, interrupts, what a
// child inherits, and reaping.

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using Result = CommandRunner::TickResult;

// The state letter of /proc/<pid>/stat ('Z' for a zombie), or 0 when there is no such process.
char ProcState(std::int64_t pid) {
  std::string stat;
  std::getline(std::ifstream("/proc/" + std::to_string(pid) + "/stat"), stat);
  return stat.empty() ? 0 : stat[stat.rfind(')') + 2];
}

// Whether a process of the group runs (zombies do not count), of that name if one is given.
bool GroupRuns(std::int64_t pgid, const std::string& name = "") {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    std::string stat;
    std::getline(std::ifstream(entry.path() / "stat"), stat);
    const std::size_t open = stat.find('('), close = stat.rfind(')');
    char state = 0;
    long ppid = 0, pgrp = 0;
    if (close != std::string::npos &&
        std::istringstream(stat.substr(close + 1)) >> state >> ppid >> pgrp && pgrp == pgid &&
        state != 'Z' && (name.empty() || stat.substr(open + 1, close - open - 1) == name)) {
      return true;
    }
  }
  return false;
}

bool WaitUntil(auto done) {
  const auto end = std::chrono::steady_clock::now() + 30s;
  while (!done() && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(5ms);
  }
  return done();
}

enum How { kTicked, kOverBeforeTheFirstTick, kStoppedAfterTheFirstText };

std::string Read(const std::string& path) {
  std::string text;
  std::getline(std::ifstream(path), text, '\0');
  return text;
}

TEST(RealChildren, TicksCarryAtMostAPipeOfEachStreamAndTheChildIsReaped) {
  const std::string tail = " \xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80";
  std::string data;
  int lines = 0;
  while (data.size() < 10'000'000) {
    data += std::to_string(++lines) + tail + "\n";
  }
  // Commands that must outlast their run wait on this fifo, not on the clock.
  test::FifoHold hold;
  ASSERT_TRUE(hold.Ready());
  const std::string wait = "read x <" + hold.Path();
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
      {"sleep 0.3", "", "", kTicked},  // empty ticks, then an empty completion
      {"f() { seq " + std::to_string(lines) + " | sed 's/$/" + tail + "/'; }; f & f >&2; wait",
       data, data, kTicked},
      {"printf out; printf err >&2; printf ' more'", "out more", "err", kOverBeforeTheFirstTick},
      {"readlink /proc/$$/fd/0; cat; echo ok", "/dev/null\nok\n", "", kOverBeforeTheFirstTick},
      // exec: what the child started with, not the state of a shell waiting for grep (the
      // shell blocks every signal around its wait).
      {"exec grep -E '^Sig(Blk|Ign)' /proc/$$/status",
       "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n", "", kOverBeforeTheFirstTick},
      // Only the three standard streams: the shell has no descriptor of ours besides.
      {"ls /proc/$$/fd; true", "0\n1\n2\n", "", kOverBeforeTheFirstTick},
      // A background program holding the pipes delays the end by the drain limit only (were
      // the tick to wait for it, that would be 20 s).
      {"timeout 20 sh -c '" + wait + "' & echo started", "started\n", "", kOverBeforeTheFirstTick},
      // The stop completes with that tick's text only; the command runs on.
      {"echo before; " + wait + "; echo after", "before\n", "", kStoppedAfterTheFirstText},
  };
  std::int64_t pid = 0;
  CommandRunner runner([&pid](const InterpreterCommand& c, std::unique_ptr<ChildProcess>& child) {
    const SysError rc = StartChildProcess(c, child);
    pid = rc == 0 ? child->ProcessId() : 0;
    return rc;
  });
  for (const auto& c : cases) {
    hold.Hold();
    ASSERT_EQ(runner.Start({"/bin/sh", "-c", c.line}), 0u);
    if (c.how == kOverBeforeTheFirstTick) {
      ASSERT_TRUE(WaitUntil([&pid] { return ProcState(pid) == 'Z'; }));
    }
    std::string out, err;
    std::size_t ticks = 0;
    const auto started = std::chrono::steady_clock::now();
    for (Result r; r.kind != Result::Complete; ++ticks) {
      ASSERT_LT(std::chrono::steady_clock::now() - started, 60s) << "no completion";
      std::this_thread::sleep_for(1ms);
      const auto before = std::chrono::steady_clock::now();
      r = runner.Tick();
      // No tick waits for a program holding the pipes (the fifo holds it for as long as this
      // loop runs): the last one reads on for the drain limit, and a busy machine adds a little.
      ASSERT_LT(std::chrono::steady_clock::now() - before, CommandRunner::kDrainLimit + 4s);
      // At most one pipe's worth per stream, give or take a character held from the last tick.
      ASSERT_LE(std::max(r.stdOut.size(), r.stdErr.size()),
                r.kind == Result::Complete ? data.size() : kPipeBytes + 3);
      out += r.stdOut;
      err += r.stdErr;
      if (c.how == kStoppedAfterTheFirstText && !out.empty()) {
        runner.StopWait();
      }
    }
    EXPECT_TRUE(out == c.out && err == c.err)
        << "output lost, corrupted or reordered: " << c.line
        << (out.size() + err.size() < 1000 ? "\nout: " + out + "\nerr: " + err : "");
    EXPECT_TRUE(ticks == 1 || c.how != kOverBeforeTheFirstTick) << c.line;
    EXPECT_EQ(ProcState(pid) != 0, c.how == kStoppedAfterTheFirstText) << "reaped at completion";
    hold.Release();  // the waiting command ends now: its last echo meets the closed pipe
    EXPECT_TRUE(WaitUntil([&pid] { return ProcState(pid) == 0; })) << "left as a zombie";
  }
  ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
  std::signal(SIGPIPE, oldPipe);
  // A command started without waiting gets nothing more.
  test::TempDir dir;
  const std::string fds = dir.path() + "/fds";
  const std::string check = "test -e /proc/$$/fd/" + std::to_string(stray) +
                            " && r=leaked || r=none; echo $r > " + fds + ".new; mv " + fds +
                            ".new " + fds;
  ASSERT_EQ(StartDetached({"/bin/sh", "-c", check}), 0u);
  EXPECT_TRUE(WaitUntil([&] { return std::filesystem::exists(fds); }));
  EXPECT_EQ(Read(fds), "none\n");
  ::close(stray);
}

TEST(RealChildren, AnInterruptEndsTheCommandsGroupAndTheSecondEndsItForGood) {
  // Under the trap the shell and its sleep ignore SIGINT: the second interrupt kills.
  const std::pair<std::string, int> cases[] = {{"sleep 100", 1}, {"trap '' INT; sleep 100", 2}};
  std::int64_t pid = 0;
  CommandRunner runner([&pid](const InterpreterCommand& c, std::unique_ptr<ChildProcess>& child) {
    const SysError rc = StartChildProcess(c, child);
    pid = rc == 0 ? child->ProcessId() : 0;
    return rc;
  });
  for (const auto& [line, needed] : cases) {
    ASSERT_EQ(runner.Start({"/bin/sh", "-c", line}), 0u);
    // The shell catches SIGINT until it has started sleep: an interrupt before would be lost.
    ASSERT_TRUE(WaitUntil([&] { return GroupRuns(pid, "sleep"); }));
    for (int i = 0; i < needed; ++i) {
      // An ignored signal is dropped when it is sent: the command runs on, for certain.
      EXPECT_TRUE(ProcState(pid) != 'Z' && runner.Tick().kind == Result::Output) << line << i;
      runner.Interrupt();
    }
    const auto interrupted = std::chrono::steady_clock::now();
    bool complete = false;
    ASSERT_TRUE(WaitUntil([&] {
      return complete = complete || runner.Tick().kind == Result::Complete;
    })) << line;
    // The command's end closes the pipes: no drain waits for a program left in the group.
    EXPECT_LT(std::chrono::steady_clock::now() - interrupted, CommandRunner::kDrainLimit / 2);
    EXPECT_TRUE(WaitUntil([&] { return !GroupRuns(pid); })) << "a part runs on: " << line;
  }
}

TEST(RealChildren, TheLastDrainIsBoundedAndAProgramLeftWritingRunsToItsEnd) {
  // The command ends at once and leaves a writer of 50 MB holding the pipes. The completion
  // carries the command's own text and no more than the bound; the writer is never cut off.
  test::TempDir dir;
  const std::string mark = dir.path() + "/mark";
  CommandRunner runner;
  ASSERT_EQ(runner.Start({"/bin/sh", "-c",
                          "(yes | head -c 50000000; echo $? > " + mark + ") & echo started"}),
            0u);
  std::string out;
  Result r;
  const auto start = std::chrono::steady_clock::now();
  while ((r = runner.Tick()).kind != Result::Complete) {
    ASSERT_LT(std::chrono::steady_clock::now() - start, 60s) << "no completion";
    out += r.stdOut;
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_LE(r.stdOut.size(), kPipeBytes + CommandRunner::kDrainBytes);
  EXPECT_NE((out + r.stdOut).find("started\n"), std::string::npos);
  EXPECT_TRUE(WaitUntil([&] { return Read(mark) == "0\n"; })) << "status " << Read(mark);
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

}  // namespace
}  // namespace pelorin
