// SPDX-License-Identifier: GPL-3.0-or-later
// The process runner under wear: a thousand runs in a row, children that outlive or ignore a
// stop, background programs that hold the pipes and runners destroyed around their child's end.
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

TEST_F(Wear, ChildrenOutlivingTheirRunAreEndedByTheClosedPipesAndReaped) {
  // After a stop: a subshell writing dies of SIGPIPE (the shell reports 128 + 13); `yes` with
  // SIGPIPE ignored gets EPIPE, says so and ends with 1. Without a stop: a background writer
  // cannot hold the run, and its loop ends once the pipes are closed. The stopped children wait
  // on the fifo (at most 20 s) until the run is over.
  test::FifoHold hold;
  ASSERT_TRUE(hold.Ready());
  const S wait = "timeout 20 sh -c 'read x <" + hold.Path() + "'; ";
  const std::tuple<S, bool, S> cases[] = {
      {wait + "(echo after; echo again); echo $? > mark", true, "141\n"},
      {"trap '' PIPE; " + wait + "yes 2>mark; echo $? >> mark", true, "Broken pipe\n1\n"},
      {"echo fg; (trap '' PIPE; while echo bg; do :; done; echo 0 > mark) &", false, "0\n"},
  };
  for (const auto& [script, stop, mark] : cases) {
    hold.Hold();
    Start(script);
    const auto start = Clock::now();
    if (stop)
      runner_->StopWait();
    EXPECT_EQ(Ticks().substr(0, 6), stop ? "" : "fg\nbg\n");
    // Waiting for a stopped child would take the 20 s of its wait; for the background writer,
    // for ever. Not waiting takes the drain limit at most, and a busy machine adds a little.
    EXPECT_LT(Clock::now() - start, CommandRunner::kDrainLimit + 4s)
        << "the run waited for the child";
    // A new run on the same runner while the old child goes on: none of its output comes here.
    Start("sleep 0.5; echo new");
    hold.Release();
    EXPECT_EQ(Ticks(), "new\n");
    EXPECT_TRUE(WaitUntil([&] { return Read("mark").ends_with(mark); })) << Read("mark");
    EXPECT_TRUE(WaitUntil(NoChildren)) << "a child stays a zombie";
  }
}

TEST_F(Wear, RunnersDestroyedAroundTheirChildsEndLeaveNoChildAndNoDescriptor) {
  const long fds = Entries("/proc/self/fd");
  // Children that end before, during or after the destruction, one that writes for ever (the
  // closed pipe ends it) and one still quietly running.
  const char* const commands[] = {"true", "echo x", "exec yes", "sleep 0.3"};
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
