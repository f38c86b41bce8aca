// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <utility>

#include "console/CommandRunner.h"
#include "tests/support/Platform.h"

// The tick rules of CommandRunner against a scripted child that logs every call, so that the
// order of polls and reads is checked exactly. Real children: test_runner_posix.cpp.

namespace pelorin {
namespace {

struct Script {
  bool ended = false;
  std::string pipe[2], log;  // [0] standard output, [1] standard error
  long outAnswer = -1;       // when set, the answer of the next Available(Out)
} script;                    // of the one fake child alive

class FakeChild : public ChildProcess {
 public:
  bool HasEnded() override { return Log("end?"), script.ended; }
  std::size_t Available(Stream st) override {
    Log("peek-" + Name(st));
    const long forced = st == Stream::Out ? std::exchange(script.outAnswer, -1) : -1;
    return forced >= 0 ? forced : std::min(Pipe(st).size(), kPipeBytes);
  }
  bool Read(Stream st, std::size_t count, std::string& appendTo) override {
    Log("read-" + Name(st) + ":" + std::to_string(count));
    const std::string got = Pipe(st).substr(0, count);
    Pipe(st).erase(0, count);
    appendTo += got;
    return !got.empty();  // an empty pipe stands for a failed read
  }
  void Drain(std::chrono::milliseconds limit, std::size_t maxBytes, std::string& out,
             std::string& err) override {
    Log("drain:" + std::to_string(limit.count()) + "/" + std::to_string(maxBytes));
    out += "rest";
    err += "err rest";
  }
  void ReleaseReadEnds() override { Log("release"); }
  void Interrupt() override { Log("interrupt"); }

 private:
  static std::string Name(Stream st) { return st == Stream::Out ? "out" : "err"; }
  static std::string& Pipe(Stream st) { return script.pipe[st == Stream::Err]; }
  static void Log(const std::string& word) { script.log += word + " "; }
};

// The cases run in this order on one runner, each as a run of its own: what one run's decoders
// hold must not show up in the next.
TEST(RunnerRules, TickOrderRereadOfOutChunksStopsEndsAndDecoders) {
  const std::string big(40000, 'x'), fffd = "\xEF\xBF\xBD";
  const struct {
    std::string out, err, log, text;
    long outAnswer;
    bool ended, stop;
  } cases[] = {
      {"o", "e", "end? peek-out read-out:1 peek-err read-err:1 ", "o|e", -1, 0, 0},
      // Out looked empty: looked at again only because err had text.
      {"late", "e", "end? peek-out peek-err read-err:1 peek-out read-out:4 ", "late|e", 0, 0, 0},
      {"late", "", "end? peek-out peek-err ", "|", 0, 0, 0},
      // A platform answering above the cap is read in pipe-sized chunks; the failed last one is
      // skipped.
      {big, "", "end? peek-out read-out:30720 read-out:30720 read-out:8560 peek-err ", big + "|",
       70000, 0, 0},
      // The end, decided before reading, wins over a stop: the rest is read for a bounded time.
      {"tick ", "", "end? peek-out read-out:5 peek-err drain:1000/122880 release ",
       "tick rest|err rest", -1, 1, 1},
      // A stop completes with that tick's text only.
      {"", big, "end? peek-out peek-err read-err:30720 peek-out release ",
       "|" + big.substr(0, kPipeBytes), -1, 0, 1},
      // UTF-8 only (Windows decodes the console's code page), kept last: one decoder per stream,
      // a fresh one per run, held bytes shown at the end.
      {"a\xE2\x82", "\xAC", "end? peek-out read-out:3 peek-err read-err:1 ", "a|" + fffd, -1, 0, 0},
      {"\xAC\xE2\x82", "", "end? peek-out read-out:3 peek-err release ", fffd + fffd + fffd + "|",
       -1, 0, 1},
  };
  CommandRunner runner([](const InterpreterCommand&, std::unique_ptr<ChildProcess>& child) {
    child = std::make_unique<FakeChild>();
    return SysError{0};
  });
  for (const auto& c : std::span(cases).first(std::size(cases) - (test::kWindows ? 2 : 0))) {
    runner.StopWait();  // Start clears it
    ASSERT_EQ(runner.Start({}), 0u);
    script = {c.ended, {c.out, c.err}, "", c.outAnswer};
    if (c.stop) {
      runner.StopWait();
    }
    const CommandRunner::TickResult r = runner.Tick();
    EXPECT_EQ(script.log, c.log);
    EXPECT_TRUE(r.stdOut + "|" + r.stdErr == c.text) << c.log;
    EXPECT_EQ(r.kind == CommandRunner::TickResult::Complete, c.ended || c.stop) << c.log;
    EXPECT_EQ(runner.Running(), r.kind == CommandRunner::TickResult::Output) << c.log;
  }
}

}  // namespace
}  // namespace pelorin
