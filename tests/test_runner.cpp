// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "console/CommandRunner.h"
#include "tests/support/Platform.h"

// The tick rules of CommandRunner and its reader thread against a scripted child: what arrives,
// in which order and in what share per tick, the end and the last reads, stops, and the input
// given to the command. Real children: test_runner_posix.cpp.

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using Result = CommandRunner::TickResult;
using S = std::string;

// The one scripted child alive. The reader thread and the test meet under the lock.
struct Script {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<OutputChunk> pending;  // what the streams will give, in order
  bool streamsEnd = false;          // both streams end once pending is read
  bool ended = false;               // the child has ended
  std::size_t inputRoom = 1 << 20;  // what the input takes before it is full
  bool inputClosed = false;
  TerminalState terminal{true, true, true};
  S input;  // all that was given, the end of input as "^D"
  std::size_t largestRead[2] = {0, 0};
  bool readerIdle = false;  // the reader waits, with nothing it may read: all it read is filed
  S log;

  void Add(Stream stream, S bytes) {
    const std::lock_guard<std::mutex> lock(mutex);
    pending.push_back({stream, std::move(bytes)});
    readerIdle = false;  // until the reader has looked
    changed.notify_all();
  }
} script;

class FakeChild : public ChildProcess {
 public:
  bool HasEnded() override { return script.ended; }
  void ReadOutput(const std::size_t room[2], std::chrono::milliseconds wait,
                  std::vector<OutputChunk>& chunks, bool ended[2]) override {
    std::unique_lock<std::mutex> lock(script.mutex);
    const auto readable = [&] {
      return woken_ ||
             std::any_of(script.pending.begin(), script.pending.end(),
                         [&](auto& c) { return room[c.stream == Stream::Err] > 0; }) ||
             (script.pending.empty() && script.streamsEnd && (room[0] > 0 || room[1] > 0));
    };
    const auto deadline = std::chrono::steady_clock::now() + wait;
    while (!readable()) {
      script.readerIdle = true;
      if (script.changed.wait_until(lock, deadline) == std::cv_status::timeout) {
        break;
      }
    }
    script.readerIdle = false;
    woken_ = false;
    // In arrival order, each stream as far as its room goes; a stream out of room holds back
    // what comes after it on that stream only.
    std::size_t left[2] = {room[0], room[1]};
    for (auto it = script.pending.begin(); it != script.pending.end();) {
      const int i = it->stream == Stream::Err;
      const std::size_t n = std::min(left[i], it->bytes.size());
      if (n == 0) {
        left[i] = 0;
        ++it;
        continue;
      }
      chunks.push_back({it->stream, it->bytes.substr(0, n)});
      script.largestRead[i] = std::max(script.largestRead[i], n);
      left[i] -= n;
      it->bytes.erase(0, n);
      it = it->bytes.empty() ? script.pending.erase(it) : std::next(it);
    }
    if (script.pending.empty() && script.streamsEnd) {
      ended[0] = ended[1] = true;
    }
  }
  void WakeReader() override {
    const std::lock_guard<std::mutex> lock(script.mutex);
    woken_ = true;
    script.readerIdle = false;
    script.changed.notify_all();
  }
  InputWritten WriteInput(std::string_view bytes) override {
    const std::lock_guard<std::mutex> lock(script.mutex);
    if (script.inputClosed) {
      return {0, true};
    }
    const std::size_t n = std::min(bytes.size(), script.inputRoom);
    script.input += bytes.substr(0, n);
    script.inputRoom -= n;
    return {n, false};
  }
  bool EndInput() override {
    const std::lock_guard<std::mutex> lock(script.mutex);
    script.input += "^D";
    return true;
  }
  TerminalState Terminal() override { return script.terminal; }
  void SetTerminalSize(int columns, int rows) override {
    script.log += "size " + std::to_string(columns) + "x" + std::to_string(rows) + " ";
  }
  std::string TakeUnreadInput() override { return "never read\n"; }
  void ReleaseReadEnds() override { script.log += "release "; }
  void Interrupt() override { script.log += "interrupt "; }

 private:
  bool woken_ = false;
};

S Shown(const TickOutput& output) {
  S shown;
  for (const TextChunk& c : output.chunks) {
    shown += (c.stream == Stream::Out ? "[out " : "[err ") + c.text + "]";
  }
  return shown;
}

class RunnerRules : public ::testing::Test {
 protected:
  RunnerRules() {
    const std::lock_guard<std::mutex> lock(script.mutex);
    script.pending.clear();
    script.streamsEnd = script.ended = script.inputClosed = false;
    script.inputRoom = 1 << 20;
    script.terminal = {true, true, true};
    script.input.clear();
    script.log.clear();
    script.largestRead[0] = script.largestRead[1] = 0;
    script.readerIdle = false;
  }
  void Start() { ASSERT_EQ(runner_.Start({}), 0u); }
  // Waits until the reader has read all it may (it reads as data arrives, until a stream's share
  // of the tick is taken) and filed it for the next tick; or, once the streams end, all there was
  // (the last reads are waited for by the tick itself).
  static void AllRead() {
    for (int i = 0; i < 30000; ++i) {
      {
        const std::lock_guard<std::mutex> lock(script.mutex);
        if (script.readerIdle || (script.pending.empty() && script.streamsEnd)) {
          return;
        }
      }
      std::this_thread::sleep_for(1ms);
    }
  }
  // Ticks until the run completes; every tick's text, "|" between ticks.
  S TicksToTheEnd(int& ticks) {
    S all;
    for (Result r; r.kind != Result::Complete; ++ticks) {
      AllRead();
      r = runner_.Tick();
      all += Shown(r.output) + "|";
    }
    return all;
  }

  CommandRunner runner_{[](const InterpreterCommand&, std::unique_ptr<ChildProcess>& child) {
    child = std::make_unique<FakeChild>();
    return SysError{0};
  }};
};

TEST_F(RunnerRules, ChunksKeepTheirArrivalOrderAndEachStreamItsOwnDecoder) {
  Start();
  // A character split between two chunks of one stream, with the other stream's text between
  // them; a run's held bytes never reach the next run. (UTF-8 only: Windows decodes the
  // console's code page.)
  const bool utf8 = !test::kWindows;
  script.Add(Stream::Out, utf8 ? "o1 \xE2\x82" : "o1 ");
  script.Add(Stream::Err, "e1");
  script.Add(Stream::Out, utf8 ? "\xAC o2" : "\x80 o2");
  script.Add(Stream::Err, utf8 ? "e2\xC3" : "e2");
  AllRead();
  const TickOutput first = runner_.Tick().output;
  EXPECT_EQ(first.chunks.size(), 4u);
  if (utf8) {
    EXPECT_EQ(Shown(first), "[out o1 ][err e1][out \xE2\x82\xAC o2][err e2]");
  }
  script.streamsEnd = script.ended = true;
  int ticks = 0;
  EXPECT_EQ(TicksToTheEnd(ticks), utf8 ? "[err \xEF\xBF\xBD]|" : "|");
  EXPECT_EQ(ticks, 1) << "a command that ends completes at the tick that sees it";
  EXPECT_EQ(script.log, "release ");
}

TEST_F(RunnerRules, EachStreamGivesAPipeATickAndAFloodOfOneHoldsBackNoneOfTheOther) {
  Start();
  const S flood(3 * kPipeBytes + 5, 'x');
  script.Add(Stream::Out, flood);
  script.Add(Stream::Err, "err");
  script.Add(Stream::Out, "after");
  S out, err;
  for (std::size_t tick = 0; tick < 4; ++tick) {
    AllRead();
    const TickOutput o = runner_.Tick().output;
    EXPECT_LE(o.Text(Stream::Out).size(), kPipeBytes) << tick;
    out += o.Text(Stream::Out);
    err += o.Text(Stream::Err);
    if (tick == 0) {
      EXPECT_EQ(err, "err") << "standard error waited for standard output's flood";
    }
  }
  EXPECT_TRUE(out == flood + "after");
  EXPECT_LE(script.largestRead[0], kPipeBytes);
}

TEST_F(RunnerRules, TheLastReadsGoOnAcrossTicksUntilTheStreamsEndOrTheirBounds) {
  // A program left behind keeps the streams open: the ticks go on showing what comes, and the
  // completion follows once the limit has passed. Another writes without end: the bytes bound
  // ends the reads.
  for (const bool endless : {false, true}) {
    Start();
    script.ended = true;
    if (endless) {
      script.Add(Stream::Out, S(3 * CommandRunner::kDrainBytes, 'y'));
    }
    const auto start = std::chrono::steady_clock::now();
    int ticks = 0;
    S all;
    for (Result r; r.kind != Result::Complete; ++ticks) {
      r = runner_.Tick();
      all += r.output.Text(Stream::Out);
      if (r.kind == Result::Output) {
        std::this_thread::sleep_for(50ms);
      }
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, CommandRunner::kDrainLimit);
    EXPECT_GT(ticks, 2) << "the window's thread waited for the last reads";
    // The reader may have taken its share of a tick before the end was seen.
    if (endless) {
      EXPECT_GE(all.size(), CommandRunner::kDrainBytes);
      EXPECT_LE(all.size(), CommandRunner::kDrainBytes + kPipeBytes);
    } else {
      EXPECT_EQ(all, "");
    }
  }
}

TEST_F(RunnerRules, AStopCompletesWithThatTicksTextAndTheCommandRunsOnUnread) {
  Start();
  script.Add(Stream::Out, "before");
  AllRead();
  runner_.StopWait();
  const Result r = runner_.Tick();
  EXPECT_EQ(r.kind, Result::Complete);
  EXPECT_EQ(Shown(r.output), "[out before]");
  EXPECT_FALSE(runner_.Running());
  EXPECT_EQ(script.log, "release ");
}

TEST_F(RunnerRules, InputIsGivenAPipeATickInOrderAndTheEndOfInputComesLast) {
  Start();
  runner_.SetTerminalSize(100, 30);
  runner_.SetTerminalSize(100, 30);    // told once
  script.inputRoom = kPipeBytes + 10;  // the command takes a little more than a tick gives
  const S big(2 * kPipeBytes, 'p');
  EXPECT_TRUE(runner_.SendInput("first\n"));
  EXPECT_TRUE(runner_.SendInput(big + "\n"));
  runner_.EndInput();
  EXPECT_EQ(script.input.size(), kPipeBytes) << "more than a tick's room given at once";
  runner_.Tick();
  EXPECT_EQ(script.input.size(), kPipeBytes + 10) << "the full input waits";
  script.inputRoom = 1 << 20;
  for (int i = 0; i < 3; ++i) {
    runner_.Tick();
  }
  EXPECT_TRUE(script.input == "first\n" + big + "\n^D");
  EXPECT_EQ(script.log, "size 100x30 ");
}

TEST_F(RunnerRules, TheEchoOfALineIsShownOnceAndProgramOutputIsLeftAlone) {
  Start();
  runner_.SendInput("abc\n");
  script.terminal = {true, false, true};  // a password: no echo comes, none is taken
  runner_.SendInput("secret\n");
  script.terminal = {true, false, false};  // readline: it echoes what it reads itself
  runner_.SendInput("6*7\n");
  // The echo may come after other output, at a line's start, in two ticks.
  script.Add(Stream::Out, "progress abc\nab");
  AllRead();
  EXPECT_EQ(runner_.Tick().output.Text(Stream::Out), "progress abc\n");
  script.Add(Stream::Out, "c\r\nabc\n6*7\n42\n");
  AllRead();
  EXPECT_EQ(runner_.Tick().output.Text(Stream::Out), "abc\n42\n");
  // A line that waits for room is echoed when it is given, however late.
  script.inputRoom = 0;
  runner_.SendInput("late\n");
  for (int i = 0; i <= EchoFilter::kTicksToWait; ++i) {
    runner_.Tick();
  }
  script.inputRoom = 1 << 20;
  runner_.Tick();
  script.Add(Stream::Out, "late\nafter\n");
  AllRead();
  EXPECT_EQ(runner_.Tick().output.Text(Stream::Out), "after\n");
  // An echo that never comes is given up: later output of the same text is shown.
  runner_.SendInput("never\n");
  for (int i = 0; i <= EchoFilter::kTicksToWait; ++i) {
    runner_.Tick();
  }
  script.Add(Stream::Out, "never\n");
  AllRead();
  EXPECT_EQ(runner_.Tick().output.Text(Stream::Out), "never\n");
  // A read that ends inside a character decodes to nothing yet: the echo held stays held.
  runner_.SendInput("a\xE2\x82\xAC\n");
  std::string shown;
  for (const char* bytes : {"a\xE2", "\x82", "\xAC\r\n"}) {
    script.Add(Stream::Out, bytes);
    AllRead();
    shown += runner_.Tick().output.Text(Stream::Out);
  }
  EXPECT_EQ(shown, "");
}

TEST_F(RunnerRules, InputNoOneReadsIsKeptAndSaidOnceAndNothingGoesToTheNextRun) {
  Start();
  runner_.SendInput("read\n");
  script.inputClosed = true;
  runner_.SendInput("one\n");
  runner_.SendInput("two\r\n");
  EXPECT_TRUE(runner_.Tick().output.inputRefused);
  runner_.SendInput("three\n");
  EXPECT_FALSE(runner_.Tick().output.inputRefused) << "said once a run";
  script.ended = true;
  runner_.Tick();
  EXPECT_FALSE(runner_.SendInput("late\n")) << "given to a command that has ended";
  script.streamsEnd = true;
  int ticks = 0;
  TicksToTheEnd(ticks);
  EXPECT_EQ(runner_.TakeUnreadInput(),
            (std::vector<S>{"never read", "one", "two", "three", "late"}));
  EXPECT_TRUE(runner_.TakeUnreadInput().empty());
  EXPECT_FALSE(runner_.SendInput("after\n"));
  Start();
  EXPECT_EQ(script.input, "read\n") << "a line of the last run reached the next";
}

TEST(TerminalText, OverstrikeShowsTheCharacterOnceAndAnyOtherBackspaceStays) {
  const std::pair<S, S> cases[] = {
      {"N\bNA\bAM\bME\bE [_\bF_\bI_\bL_\bE]", "NAME [FILE]"},  // bold, underline
      {"\xC3\xA4\b\xC3\xA4 x\b_", "\xC3\xA4 x"},               // a wide character; x under a line
      {"|\b/\b-", "-"},                                        // a spinner steps back
      {"\bat start\n\bx", "\bat start\n\bx"},                  // nothing to step back over
      {"\x06\b\t", "\x06\b\t"},
  };
  for (const auto& [written, shown] : cases) {
    Overstrike o;
    S filtered = o.Filter(written);
    EXPECT_EQ(filtered + o.Flush(), shown) << written;
  }
  Overstrike split;  // a character and what strikes it over in two ticks
  S filtered = split.Filter("ab\b");
  EXPECT_EQ(filtered, "a");
  filtered += split.Filter("_c\b");
  EXPECT_EQ(filtered, "ab");
  filtered += split.Filter("d");
  EXPECT_EQ(filtered + split.Flush(), "abd");

  // What is kept back goes out once the stream is quiet, unless a backspace waits on it.
  Overstrike prompt;
  EXPECT_EQ(prompt.Filter("|\b/\b-\b"), "");
  EXPECT_EQ(prompt.Filter("Password:"), "Password:") << "plain text after overstrike waits not";
  EXPECT_EQ(prompt.Filter("x\bName:"), "Name");
  S quiet;
  for (int tick = 1; tick < Overstrike::kQuietTicks; ++tick) {
    quiet += prompt.Quiet();
  }
  EXPECT_EQ(quiet, "");
  EXPECT_EQ(prompt.Quiet(), ":");
  EXPECT_EQ(prompt.Filter("/\b"), "");
  for (int tick = 0; tick < 2 * Overstrike::kQuietTicks; ++tick) {
    EXPECT_EQ(prompt.Quiet(), "") << "a spinner's character waits for the next";
  }
  EXPECT_EQ(prompt.Filter("-"), "-");
}

TEST(TerminalText, APromptAsksForASecretWhenItEndsInPasswordOrNamesAPassphrase) {
  for (const char* asks : {"Password:", "[sudo] password for ann: x password: ", "PASSWORD:\t",
                           "Enter passphrase for key '/home/a/.ssh/id': "}) {
    EXPECT_TRUE(AsksForSecret(asks)) << asks;
  }
  for (const char* not_ : {"", "name? ", "password reset done", "Password: ok"}) {
    EXPECT_FALSE(AsksForSecret(not_)) << not_;
  }
}

}  // namespace
}  // namespace pelorin
