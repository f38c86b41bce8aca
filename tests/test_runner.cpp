#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "console/CommandRunner.h"
#include "tests/support/Platform.h"

// The tick rules of CommandRunner against a scripted child, so that the order of polls and reads
// and the completion rules are checked exactly. Real children: test_runner_posix.cpp.

namespace pelorin {
namespace {

using Result = CommandRunner::TickResult;

struct Script {
  bool ended = false;
  bool failReads = false;
  std::map<Stream, std::string> pending;                 // bytes in each pipe
  std::map<Stream, std::deque<std::size_t>> availables;  // forced answers of Available
  std::string drainOut, drainErr;
  std::chrono::milliseconds drainLimit{0};
  std::vector<std::string> log;
  bool destroyed = false;
};

const char* Name(Stream s) {
  return s == Stream::Out ? "out" : "err";
}

class FakeChild : public ChildProcess {
 public:
  explicit FakeChild(Script& s) : s_(s) {}
  ~FakeChild() override { s_.destroyed = true; }
  bool HasEnded() override {
    s_.log.push_back("ended?");
    return s_.ended;
  }
  std::size_t Available(Stream st) override {
    s_.log.push_back(std::string("peek ") + Name(st));
    auto& forced = s_.availables[st];
    if (!forced.empty()) {
      const std::size_t n = forced.front();
      forced.pop_front();
      return n;
    }
    return std::min(s_.pending[st].size(), kPipeBytes);
  }
  bool Read(Stream st, std::size_t count, std::string& appendTo) override {
    s_.log.push_back(std::string("read ") + Name(st) + " " + std::to_string(count));
    std::string& p = s_.pending[st];
    if (s_.failReads || p.empty()) {
      return false;
    }
    const std::size_t n = std::min(count, p.size());
    appendTo += p.substr(0, n);
    p.erase(0, n);
    return true;
  }
  void Drain(std::chrono::milliseconds limit, std::string& out, std::string& err) override {
    s_.log.push_back("drain");
    s_.drainLimit = limit;
    out += s_.pending[Stream::Out] + s_.drainOut;
    err += s_.pending[Stream::Err] + s_.drainErr;
    s_.pending.clear();
  }
  void CloseReadEnds() override { s_.log.push_back("close"); }

 private:
  Script& s_;
};

class RunnerRules : public ::testing::Test {
 protected:
  RunnerRules()
      : runner_(
            [this](const InterpreterCommand&, std::unique_ptr<ChildProcess>& child) -> SysError {
              if (startError_ != 0) {
                return startError_;
              }
              script_ = Script();
              child = std::make_unique<FakeChild>(script_);
              return 0;
            },
            [this](const InterpreterCommand& c) -> SysError {
              detached_.push_back(c.line);
              return 0;
            }) {}

  void Start() {
    ASSERT_EQ(runner_.Start({"/bin/sh", "-c", "x"}), 0u);
    ASSERT_TRUE(runner_.Running());
  }

  Script script_;
  SysError startError_ = 0;
  std::vector<std::string> detached_;
  CommandRunner runner_;
};

TEST_F(RunnerRules, PollsTheEndFirstThenOutThenErr) {
  Start();
  script_.pending[Stream::Out] = "o";
  script_.pending[Stream::Err] = "e";
  const Result r = runner_.Tick();
  EXPECT_EQ(r.kind, Result::Output);
  EXPECT_EQ(r.stdOut, "o");
  EXPECT_EQ(r.stdErr, "e");
  EXPECT_EQ(script_.log, (std::vector<std::string>{"ended?", "peek out", "read out 1", "peek err",
                                                   "read err 1"}))
      << "out had text: no second look at it";
}

TEST_F(RunnerRules, LooksAtOutAgainOnlyWhenErrHadTextAndOutNone) {
  Start();
  script_.pending[Stream::Out] = "late";
  script_.availables[Stream::Out] = {0};  // out is still empty at the first look
  script_.pending[Stream::Err] = "e";
  Result r = runner_.Tick();
  EXPECT_EQ(r.stdOut, "late");
  EXPECT_EQ(script_.log, (std::vector<std::string>{"ended?", "peek out", "peek err", "read err 1",
                                                   "peek out", "read out 4"}));

  script_.log.clear();
  script_.availables[Stream::Out] = {0};  // err empty this time: out waits for the next tick
  r = runner_.Tick();
  EXPECT_EQ(r.kind, Result::Output);
  EXPECT_EQ(r.stdOut, "");
  EXPECT_EQ(r.stdErr, "");
  EXPECT_EQ(script_.log, (std::vector<std::string>{"ended?", "peek out", "peek err"}));
}

TEST_F(RunnerRules, ReadsInChunksOfThePipeSizeAndSkipsFailedOnes) {
  Start();
  script_.pending[Stream::Out] = std::string(70000, 'x');
  script_.availables[Stream::Out] = {70000};  // a platform answering above the cap
  Result r = runner_.Tick();
  EXPECT_EQ(r.stdOut.size(), 70000u);
  EXPECT_EQ(script_.log[2], "read out 30720");
  EXPECT_EQ(script_.log[3], "read out 30720");
  EXPECT_EQ(script_.log[4], "read out 8560");

  script_.pending[Stream::Err] = "lost";
  script_.failReads = true;
  r = runner_.Tick();
  EXPECT_EQ(r.kind, Result::Output) << "a failed read is no end";
  EXPECT_EQ(r.stdErr, "");
  EXPECT_TRUE(runner_.Running());
}

TEST_F(RunnerRules, EndedTickReadsTheRestClosesAndCompletes) {
  Start();
  script_.ended = true;
  script_.pending[Stream::Out] = "tick ";
  script_.drainOut = "rest";
  script_.drainErr = "err rest";
  const Result r = runner_.Tick();
  EXPECT_EQ(r.kind, Result::Complete);
  EXPECT_EQ(r.stdOut, "tick rest");
  EXPECT_EQ(r.stdErr, "err rest");
  EXPECT_EQ(script_.drainLimit, CommandRunner::kDrainLimit);
  EXPECT_LE(CommandRunner::kDrainLimit.count(), 1000) << "a background holder must not freeze us";
  EXPECT_EQ(script_.log.front(), "ended?");
  EXPECT_EQ(script_.log[script_.log.size() - 2], "drain");
  EXPECT_EQ(script_.log.back(), "close");
  EXPECT_TRUE(script_.destroyed);
  EXPECT_FALSE(runner_.Running());
}

TEST_F(RunnerRules, StopWaitCompletesWithThatTicksTextOnly) {
  Start();
  script_.pending[Stream::Out] = "first";
  EXPECT_EQ(runner_.Tick().stdOut, "first");
  script_.pending[Stream::Err] = std::string(40000, 'e');
  runner_.StopWait();
  const Result r = runner_.Tick();
  EXPECT_EQ(r.kind, Result::Complete);
  EXPECT_EQ(r.stdOut, "");
  EXPECT_EQ(r.stdErr.size(), kPipeBytes) << "no reading to the end after a stop";
  EXPECT_EQ(std::count(script_.log.begin(), script_.log.end(), "drain"), 0);
  EXPECT_EQ(script_.log.back(), "close");
  EXPECT_TRUE(script_.destroyed);
  EXPECT_FALSE(runner_.Running());
}

TEST_F(RunnerRules, AnEndedCommandKeepsItsRestEvenWhenAStopWasAsked) {
  Start();
  runner_.StopWait();
  script_.ended = true;
  script_.drainOut = "all of it";
  EXPECT_EQ(runner_.Tick().stdOut, "all of it");
}

TEST_F(RunnerRules, EveryStartClearsAnEarlierStop) {
  runner_.StopWait();  // while idle: only sets the flag
  Start();
  EXPECT_EQ(runner_.Tick().kind, Result::Output);
  runner_.StopWait();
  EXPECT_EQ(runner_.StartWithoutWait({"/bin/sh", "-c", "bg"}), 0u);
  EXPECT_EQ(detached_, std::vector<std::string>{"bg"});
  EXPECT_TRUE(runner_.Running()) << "a forgotten run leaves the waited one alone";
  EXPECT_EQ(runner_.Tick().kind, Result::Output);
}

TEST_F(RunnerRules, FailedStartLeavesNothingRunning) {
  startError_ = ENOENT;
  EXPECT_EQ(runner_.Start({"/nope", "-c", "x"}), static_cast<SysError>(ENOENT));
  EXPECT_FALSE(runner_.Running());
  EXPECT_EQ(runner_.Tick().kind, Result::Complete);
}

TEST_F(RunnerRules, CharacterSplitAcrossTicksArrivesWholeAndRunsDoNotShareBytes) {
  if (test::kWindows) {
    GTEST_SKIP() << "UTF-8 output; Windows decodes the OEM code page (test_windows_platform)";
  }
  Start();
  script_.pending[Stream::Out] = "a\xE2\x82";
  EXPECT_EQ(runner_.Tick().stdOut, "a");
  script_.pending[Stream::Out] = "\xAC";
  EXPECT_EQ(runner_.Tick().stdOut, "\xE2\x82\xAC");

  script_.pending[Stream::Out] = "\xE2\x82";
  script_.ended = true;
  EXPECT_EQ(runner_.Tick().stdOut, "\xEF\xBF\xBD\xEF\xBF\xBD") << "held bytes shown at the end";

  Start();
  script_.pending[Stream::Out] = "\xAC";
  EXPECT_EQ(runner_.Tick().stdOut, "\xEF\xBF\xBD") << "a new run has a new decoder";
}

}  // namespace
}  // namespace pelorin
