// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fstream>
#include <string>
#include <thread>

#include "console/CommandRunner.h"
#include "tests/support/FifoHold.h"
#include "tests/support/TempDir.h"

// CommandRunner with real children through /bin/sh: output, ends, stops and reaping.

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

bool WaitUntil(auto done) {
  const auto end = std::chrono::steady_clock::now() + 30s;
  while (!done() && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(5ms);
  }
  return done();
}

enum How { kTicked, kOverBeforeTheFirstTick, kStoppedAfterTheFirstText };

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
