// SPDX-License-Identifier: GPL-3.0-or-later
// The process runner under wear: a thousand runs in a row, children left running by a stop, by
// the runner's end or in the background, and runners destroyed around their child's end.
// Each case ends with the same question: is every child reaped, and is nothing of ours left?
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <thread>
#include <tuple>

#include "console/CommandRunner.h"
#include "tests/support/FifoHold.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using S = std::string;
using It = std::istreambuf_iterator<char>;

bool WaitUntil(const std::function<bool()>& done) {
  for (const auto end = Clock::now() + 30s; !done() && Clock::now() < end;) {
    std::this_thread::sleep_for(1ms);
  }
  return done();
}

class Wear : public ::testing::Test {
 protected:
  Wear() { fs::current_path(dir_.path()); }

  static S Read(const S& path) { return {It(std::ifstream(path).rdbuf()), It()}; }
  static long Entries(const char* dir) { return std::distance(fs::directory_iterator(dir), {}); }
  static long HeapBytes() { return ::mallinfo2().uordblks + ::mallinfo2().hblkhd; }
  static bool NoChildren() {  // none left, zombie or running; the check reaps nothing
    return ::waitid(P_ALL, 0, nullptr, WEXITED | WNOHANG | WNOWAIT) != 0 && errno == ECHILD;
  }
  void Start(const S& line) { ASSERT_EQ(runner_->Start({"/bin/sh", "-c", line}), 0u); }
  // Ticks as fast as the child allows until the run completes; returns its standard output.
  S Ticks() {
    S out;
    for (CommandRunner::TickResult r; r.kind != r.Complete; out += r.stdOut) {
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
  // until the run is over.
  test::FifoHold hold;
  ASSERT_TRUE(hold.Ready());
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
    std::filesystem::remove("mark");
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
}

TEST_F(Wear, RunnersDestroyedAroundTheirChildsEndLeaveNoChildAndNoDescriptor) {
  const long fds = Entries("/proc/self/fd");
  // Children that end before, during or after the destruction, one that writes far more than
  // the pipes hold (it runs on to its end) and one still quietly running.
  const char* const commands[] = {"true", "echo x", "exec seq 300000", "sleep 0.3"};
  for (int i = 0; i < 100; ++i) {
    runner_ = std::make_unique<CommandRunner>();
    Start(commands[i % 4]);
    std::this_thread::sleep_for(i * 40us);
  }
  runner_.reset();
  EXPECT_TRUE(WaitUntil(NoChildren)) << "children left";
  EXPECT_EQ(Entries("/proc/self/fd"), fds) << "descriptors leaked";
}

}  // namespace
}  // namespace pelorin
