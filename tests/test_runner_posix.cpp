#include <gtest/gtest.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "console/CommandRunner.h"
#include "tests/support/TempDir.h"

// CommandRunner with real children through /bin/sh: output, ends, stops and reaping.

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using Result = CommandRunner::TickResult;

// The state letter of /proc/<pid>/stat ('Z' for a zombie), or 0 when there is no such process.
char ProcState(std::int64_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat;
  std::getline(in, stat);
  const std::size_t paren = stat.rfind(')');
  return paren == std::string::npos || paren + 2 >= stat.size() ? 0 : stat[paren + 2];
}

// The processes whose parent is this one.
std::vector<std::int64_t> OwnChildren() {
  std::vector<std::int64_t> kids;
  for (const auto& e : std::filesystem::directory_iterator("/proc")) {
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
      kids.push_back(std::stoll(name));
    }
  }
  return kids;
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

class RealChildren : public ::testing::Test {
 protected:
  RealChildren()
      : runner_([this](const InterpreterCommand& c, std::unique_ptr<ChildProcess>& child) {
          const SysError rc = StartChildProcess(c, child);
          pid_ = rc == 0 ? child->ProcessId() : 0;
          return rc;
        }) {}

  void Start(const std::string& line) {
    ASSERT_EQ(runner_.Start({"/bin/sh", "-c", line}), 0u);
    ASSERT_GT(pid_, 0);
  }

  // Ticks every `every` until the run completes; the last result is the Complete.
  std::vector<Result> TickToEnd(std::chrono::milliseconds every) {
    std::vector<Result> ticks;
    const auto end = Clock::now() + 20s;
    while (Clock::now() < end) {
      ticks.push_back(runner_.Tick());
      if (ticks.back().kind == Result::Complete) {
        break;
      }
      std::this_thread::sleep_for(every);
    }
    return ticks;
  }

  void WaitForEnd() {
    ASSERT_TRUE(WaitUntil([this] { return ProcState(pid_) == 'Z'; })) << "child did not end";
  }

  std::int64_t pid_ = 0;
  CommandRunner runner_;
};

TEST_F(RealChildren, SilentCommandGivesEmptyTicksThenEmptyCompletion) {
  Start("sleep 0.3");
  const std::vector<Result> ticks = TickToEnd(50ms);
  ASSERT_GE(ticks.size(), 3u);
  for (std::size_t i = 0; i < ticks.size(); ++i) {
    EXPECT_EQ(ticks[i].kind, i + 1 < ticks.size() ? Result::Output : Result::Complete);
    EXPECT_EQ(ticks[i].stdOut, "");
    EXPECT_EQ(ticks[i].stdErr, "");
  }
  EXPECT_EQ(ProcState(pid_), 0) << "reaped by the completing tick";
}

TEST_F(RealChildren, CommandEndedBeforeTheFirstTickCompletesWithAllItsOutput) {
  Start("printf out; printf err >&2; printf ' more'");
  WaitForEnd();
  const Result r = runner_.Tick();
  EXPECT_EQ(r.kind, Result::Complete);
  EXPECT_EQ(r.stdOut, "out more");
  EXPECT_EQ(r.stdErr, "err");
  EXPECT_FALSE(runner_.Running());
  EXPECT_EQ(ProcState(pid_), 0);
}

TEST_F(RealChildren, StandardInputIsTheNullDeviceSoCatEndsAtOnce) {
  Start("readlink /proc/$$/fd/0; cat; echo done");
  WaitForEnd();
  EXPECT_EQ(runner_.Tick().stdOut, "/dev/null\ndone\n");
}

TEST_F(RealChildren, TenMegabytesPerStreamArriveWholeInOrderInBoundedChunks) {
  test::TempDir dir;
  std::string content;
  for (int i = 0; content.size() < 10'000'000; ++i) {
    content += std::to_string(i) + " \xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80\n";
  }
  const std::string file = dir.path() + "/data";
  std::ofstream(file, std::ios::binary) << content;

  Start("cat '" + file + "' & cat '" + file + "' >&2; wait");
  const std::vector<Result> ticks = TickToEnd(1ms);
  ASSERT_EQ(ticks.back().kind, Result::Complete);
  std::string out, err;
  for (std::size_t i = 0; i < ticks.size(); ++i) {
    if (i + 1 < ticks.size()) {
      // At most one pipe's worth per stream, give or take a character held from the last tick.
      ASSERT_LE(ticks[i].stdOut.size(), kPipeBytes + 3) << "tick " << i;
      ASSERT_LE(ticks[i].stdErr.size(), kPipeBytes + 3) << "tick " << i;
    }
    out += ticks[i].stdOut;
    err += ticks[i].stdErr;
  }
  EXPECT_GT(ticks.size(), content.size() / kPipeBytes);
  EXPECT_EQ(out.size(), content.size());
  EXPECT_EQ(err.size(), content.size());
  EXPECT_TRUE(out == content) << "standard output corrupted or reordered";
  EXPECT_TRUE(err == content) << "standard error corrupted or reordered";
}

TEST_F(RealChildren, StopWaitCompletesAtOnceAndTheChildIsReapedWhenItEnds) {
  Start("echo before; sleep 0.5; echo after");
  std::string seen;
  ASSERT_TRUE(WaitUntil([&] {
    seen += runner_.Tick().stdOut;
    return !seen.empty();
  }));
  EXPECT_EQ(seen, "before\n");
  runner_.StopWait();
  const Result r = runner_.Tick();
  EXPECT_EQ(r.kind, Result::Complete);
  EXPECT_EQ(r.stdOut, "");
  EXPECT_FALSE(runner_.Running());
  const char state = ProcState(pid_);
  EXPECT_TRUE(state != 0 && state != 'Z') << "the command runs on after a stop";
  EXPECT_TRUE(WaitUntil([this] { return ProcState(pid_) == 0; })) << "left as a zombie";
}

TEST_F(RealChildren, BackgroundProgramHoldingThePipesDelaysTheEndByAboutASecond) {
  Start("sleep 30 & echo $!; echo started");
  WaitForEnd();
  const auto before = Clock::now();
  const Result r = runner_.Tick();
  const auto took = Clock::now() - before;
  EXPECT_EQ(r.kind, Result::Complete);
  EXPECT_LT(took, 1500ms);
  std::istringstream lines(r.stdOut);
  long long holder = 0;
  std::string word;
  lines >> holder >> word;
  EXPECT_EQ(word, "started");
  ASSERT_GT(holder, 1);
  ::kill(static_cast<pid_t>(holder), SIGTERM);
}

TEST_F(RealChildren, ChildStartsWithDefaultSignalsWhateverThisProcessIgnoresOrBlocks) {
  struct sigaction ignore = {}, oldPipe = {}, oldInt = {};
  ignore.sa_handler = SIG_IGN;
  ::sigaction(SIGPIPE, &ignore, &oldPipe);
  ::sigaction(SIGINT, &ignore, &oldInt);
  sigset_t block, oldMask;
  sigemptyset(&block);
  sigaddset(&block, SIGUSR1);
  sigaddset(&block, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &block, &oldMask);

  Start("grep -E '^Sig(Blk|Ign)' /proc/$$/status");

  ::pthread_sigmask(SIG_SETMASK, &oldMask, nullptr);
  ::sigaction(SIGINT, &oldInt, nullptr);
  ::sigaction(SIGPIPE, &oldPipe, nullptr);
  WaitForEnd();
  EXPECT_EQ(runner_.Tick().stdOut, "SigBlk:\t0000000000000000\nSigIgn:\t0000000000000000\n");
}

TEST(InterpreterCommand, ShellFromTheEnvironmentOrTheSystemShell) {
  {
    test::ScopedEnv shell("SHELL", nullptr);
    const InterpreterCommand c = MakeInterpreterCommand("echo a  b");
    EXPECT_EQ(c.program, "/bin/sh");
    EXPECT_EQ(c.switchText, "-c");
    EXPECT_EQ(c.line, "echo a  b");
  }
  {
    test::ScopedEnv shell("SHELL", "");
    EXPECT_EQ(MakeInterpreterCommand("x").program, "/bin/sh");
  }
  test::ScopedEnv shell("SHELL", "/nonexistent/pelorin-shell");
  const InterpreterCommand c = MakeInterpreterCommand("echo x");
  EXPECT_EQ(c.program, "/nonexistent/pelorin-shell");
  CommandRunner runner;
  EXPECT_EQ(runner.Start(c), static_cast<SysError>(ENOENT));
  EXPECT_FALSE(runner.Running());
  EXPECT_EQ(runner.StartWithoutWait(c), static_cast<SysError>(ENOENT));
}

TEST(StartDetached, RunsWithNullStandardHandlesAndIsReaped) {
  test::TempDir dir;
  const std::string done = dir.path() + "/done";
  CommandRunner runner;
  ASSERT_EQ(runner.StartWithoutWait(
                {"/bin/sh", "-c",
                 "echo $$ > '" + done + ".tmp'; mv '" + done + ".tmp' '" + done + "'; sleep 0.3"}),
            0u);
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(done); }));
  long long pid = 0;
  std::ifstream(done) >> pid;
  ASSERT_GT(pid, 1);
  for (int fd = 0; fd <= 2; ++fd) {
    const std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
    EXPECT_EQ(std::filesystem::read_symlink(link).string(), "/dev/null") << "fd " << fd;
  }
  EXPECT_TRUE(WaitUntil([&] { return ProcState(pid) == 0; })) << "left as a zombie";
}

TEST(StartProgram, StartsAFileDirectlyAndLeavesNoZombie) {
  EXPECT_EQ(ProgramFolder(), std::filesystem::canonical("/proc/self/exe").parent_path().string());
  EXPECT_EQ(StartProgram("/nonexistent/pelorin"), static_cast<SysError>(ENOENT));
  ASSERT_EQ(StartProgram("/bin/true"), 0u);
  EXPECT_TRUE(WaitUntil([] { return OwnChildren().empty(); })) << "a child was left unreaped";
}

}  // namespace
}  // namespace pelorin
