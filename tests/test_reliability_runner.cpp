// The process runner under wear: a thousand runs in a row, children that outlive or ignore a
// stop, background programs that hold the pipes and runners destroyed while their child runs.
// Each case ends with the same question: is every child reaped, and is nothing of ours left?
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's allocator count (GCC ships no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

#include "console/CommandRunner.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Result = CommandRunner::TickResult;

// The state letter of /proc/<pid>/stat ('Z' for a zombie), or 0 when there is no such process.
char ProcState(long long pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  std::getline(in, stat);
  const std::size_t paren = stat.rfind(')');
  return paren == std::string::npos || paren + 2 >= stat.size() ? 0 : stat[paren + 2];
}

// The state letters of the processes whose parent is this one.
std::string OwnChildStates() {
  std::string states;
  for (const auto& e : fs::directory_iterator("/proc")) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    std::ifstream in(e.path() / "stat");
    std::string stat;
    std::getline(in, stat);
    const std::size_t paren = stat.rfind(')');
    if (paren == std::string::npos) {
      continue;
    }
    std::istringstream rest(stat.substr(paren + 2));
    char state = 0;
    long long ppid = 0;
    rest >> state >> ppid;
    if (ppid == ::getpid()) {
      states += state;
    }
  }
  return states;
}

std::size_t EntriesIn(const char* folder) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) {
    ++n;
  }
  return n;
}

std::size_t OpenDescriptors() {
  return EntriesIn("/proc/self/fd");
}
std::size_t Threads() {
  return EntriesIn("/proc/self/task");
}

long ResidentKb() {
  std::ifstream in("/proc/self/statm");
  long size = 0, resident = 0;
  in >> size >> resident;
  return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Bytes allocated and not yet freed. Under AddressSanitizer freed memory stays resident for a
// while (its quarantine), so only the allocator's own count says whether anything leaked.
long long HeapBytes() {
#if defined(__SANITIZE_ADDRESS__)
  return static_cast<long long>(__sanitizer_get_current_allocated_bytes());
#else
  const struct mallinfo2 info = ::mallinfo2();
  return static_cast<long long>(info.uordblks + info.hblkhd);
#endif
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) {
      return false;
    }
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

long long ReadNumber(const std::string& path) {
  long long n = 0;
  std::ifstream(path) >> n;
  return n;
}

// Ticks as fast as the child allows (no 200 ms pause) until the run completes; returns all the
// standard output it gave.
std::string TickToEnd(CommandRunner& runner, std::chrono::milliseconds limit = 20s) {
  std::string out;
  const auto end = Clock::now() + limit;
  while (Clock::now() < end) {
    const Result r = runner.Tick();
    out += r.stdOut;
    if (r.kind == Result::Complete) {
      return out;
    }
    std::this_thread::sleep_for(200us);
  }
  ADD_FAILURE() << "the run did not complete";
  return out;
}

class Wear : public ::testing::Test {
 protected:
  Wear()
      : runner_(std::make_unique<CommandRunner>(
            [this](const InterpreterCommand& c, std::unique_ptr<ChildProcess>& child) {
              const SysError rc = StartChildProcess(c, child);
              pid_ = rc == 0 ? child->ProcessId() : 0;
              return rc;
            })) {}

  void Start(const std::string& line) {
    ASSERT_EQ(runner_->Start({"/bin/sh", "-c", line}), 0u);
    ASSERT_GT(pid_, 0);
  }
  // Ticks until the child's first output has arrived.
  std::string FirstOutput() {
    std::string seen;
    EXPECT_TRUE(WaitUntil([&] {
      seen += runner_->Tick().stdOut;
      return !seen.empty();
    }));
    return seen;
  }
  // Asks for the stop and ticks once: the run must complete at that tick, and at once.
  void StopNow() {
    runner_->StopWait();
    const auto before = Clock::now();
    const Result r = runner_->Tick();
    EXPECT_LT(Clock::now() - before, 200ms);
    EXPECT_EQ(r.kind, Result::Complete);
    EXPECT_FALSE(runner_->Running());
  }
  // The child is gone from the process table, zombie included.
  void ExpectReaped(long long pid, const char* what) {
    EXPECT_TRUE(WaitUntil([pid] { return ProcState(pid) == 0; }))
        << what << " (state " << ProcState(pid) << ")";
  }

  test::TempDir dir_;
  std::string mark_ = dir_.path() + "/mark";
  std::int64_t pid_ = 0;
  std::unique_ptr<CommandRunner> runner_;
};

TEST_F(Wear, AThousandRunsLeaveNoChildNoDescriptorNoThreadAndFlatMemory) {
  CommandRunner& runner = *runner_;
  auto run = [&runner](int i) {
    const bool echo = i % 2 == 0;
    if (runner.Start({"/bin/sh", "-c", echo ? "echo x" : "true"}) != 0) {
      return false;
    }
    return TickToEnd(runner) == (echo ? "x\n" : "");
  };
  // Warm up first: the first runs allocate what every later run reuses.
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(run(i));
  }
  const std::size_t fds = OpenDescriptors();
  const std::size_t threads = Threads();
  const long rss = ResidentKb();
  const long long heap = HeapBytes();
  int wrong = 0;
  for (int i = 0; i < 1000; ++i) {
    wrong += run(i) ? 0 : 1;
  }
  EXPECT_EQ(wrong, 0) << "runs that failed or gave the wrong output";
  EXPECT_FALSE(runner.Running());

  int status = 0;
  errno = 0;
  const pid_t left = ::waitpid(-1, &status, WNOHANG);
  EXPECT_TRUE((left < 0 && errno == ECHILD) || left == 0) << "an unreaped child: " << left;
  EXPECT_EQ(OwnChildStates().find('Z'), std::string::npos);
  EXPECT_EQ(OwnChildStates(), "");
  EXPECT_EQ(OpenDescriptors(), fds) << "descriptors leaked";
  EXPECT_EQ(Threads(), threads) << "threads left behind";
  // A leak of a few dozen bytes a run (a child object, a decoder) shows in the heap; one of a
  // pipe buffer a run shows in resident memory too, where allocator noise stays under 2 MB.
  RecordProperty("heap_growth_bytes", std::to_string(HeapBytes() - heap));
  RecordProperty("resident_growth_kb", std::to_string(ResidentKb() - rss));
  EXPECT_LT(HeapBytes() - heap, 32 * 1024) << "heap bytes still allocated grew";
#if !defined(__SANITIZE_ADDRESS__)
  EXPECT_LT(ResidentKb() - rss, 2048) << "resident memory grew by kB";
#endif
}

TEST_F(Wear, OutputWrittenAfterAStopReachesNobodyAndTheWriterDiesOfSigpipe) {
  // The subshell writes after the stop; the shell reports how it ended (141 = 128 + SIGPIPE).
  Start("echo before; sleep 0.5; (echo after; echo again); echo $? > '" + mark_ + "'");
  const long long first = pid_;
  EXPECT_EQ(FirstOutput(), "before\n");
  StopNow();
  // A new run on the same runner while the old child is still going: none of the old output
  // may turn up in it.
  Start("sleep 0.5; echo new");
  EXPECT_EQ(TickToEnd(*runner_), "new\n");
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(mark_) && !ReadFile(mark_).empty(); }));
  EXPECT_EQ(ReadNumber(mark_), 141) << "the writer should have been ended by SIGPIPE";
  ExpectReaped(first, "the stopped child was left as a zombie");
}

TEST_F(Wear, ChildIgnoringSigpipeGetsBrokenPipeAndIsStillReaped) {
  const std::string err = dir_.path() + "/err";
  Start(
      "trap '' PIPE; echo before; sleep 0.5; i=0; while [ $i -lt 200 ]; do echo after$i;"
      " i=$((i+1)); done 2>/dev/null; yes 2>'" +
      err + "'; echo $? > '" + mark_ + "'");
  const long long pid = pid_;
  EXPECT_EQ(FirstOutput(), "before\n");
  StopNow();
  // `yes` writes until a write fails; with SIGPIPE ignored that is EPIPE, which it reports.
  ASSERT_TRUE(WaitUntil([&] { return fs::exists(mark_) && !ReadFile(mark_).empty(); }))
      << "the child did not get past its writes";
  EXPECT_EQ(ReadNumber(mark_), 1);
  EXPECT_NE(ReadFile(err).find(std::strerror(EPIPE)), std::string::npos) << ReadFile(err);
  ExpectReaped(pid, "the child that ignored SIGPIPE was left as a zombie");
}

TEST_F(Wear, BackgroundWriterHoldingThePipesCannotHoldTheRunAndDiesWhenTheyClose) {
  const std::string bg = dir_.path() + "/bg";
  Start("(while :; do echo bg; done) & echo $! > '" + bg + "'; echo fg");
  const auto start = Clock::now();
  const std::string out = TickToEnd(*runner_);
  EXPECT_LT(Clock::now() - start, 3s) << "the end waited for the background writer";
  EXPECT_NE(out.find("fg\n"), std::string::npos);
  EXPECT_NE(out.find("bg\n"), std::string::npos);
  const long long writer = ReadNumber(bg);
  ASSERT_GT(writer, 1);
  // Its pipe is closed now: the next write kills it (its parent is gone, so it may stay a
  // zombie of whoever adopts it, but it no longer runs).
  EXPECT_TRUE(WaitUntil([writer] {
    const char s = ProcState(writer);
    return s == 0 || s == 'Z';
  })) << "the background writer runs on";
  ExpectReaped(pid_, "the shell was left as a zombie");
}

TEST_F(Wear, RunnerDestroyedWhileItsChildRunsLeavesNoZombie) {
  // A child that writes for ever: the closed pipe ends it. A quiet one: it ends by itself.
  Start("exec yes");
  const long long writer = pid_;
  EXPECT_FALSE(FirstOutput().empty());
  Start("sleep 0.3");  // gives up the writer, whose child object goes now
  const long long sleeper = pid_;
  runner_.reset();
  ExpectReaped(writer, "the writer");
  ExpectReaped(sleeper, "the sleeper");
}

TEST_F(Wear, ChildrenEndingJustAsTheirRunnerGoesAreAllReaped) {
  const std::size_t fds = OpenDescriptors();
  std::vector<long long> pids;
  for (int i = 0; i < 100; ++i) {
    auto runner = std::make_unique<CommandRunner>(
        [&pids](const InterpreterCommand& c, std::unique_ptr<ChildProcess>& child) {
          const SysError rc = StartChildProcess(c, child);
          pids.push_back(rc == 0 ? child->ProcessId() : 0);
          return rc;
        });
    ASSERT_EQ(runner->Start({"/bin/sh", "-c", i % 2 ? "true" : "echo x"}), 0u);
    // Spread the destruction over the child's short life: before, during and after its end.
    std::this_thread::sleep_for(std::chrono::microseconds(i * 40));
    if (i % 3 == 0) {
      runner->Tick();
    }
  }
  EXPECT_TRUE(WaitUntil([] { return OwnChildStates().empty(); }))
      << "children left: " << OwnChildStates();
  for (long long pid : pids) {
    EXPECT_GT(pid, 0);
  }
  EXPECT_EQ(OpenDescriptors(), fds) << "descriptors leaked";
}

}  // namespace
}  // namespace pelorin
