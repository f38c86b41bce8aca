// SPDX-License-Identifier: GPL-3.0-or-later
// clsConsole's timer: its beat, its completion and a run started again. Hostile output shown
// through the whole console (surface, runner, interpreter, prompt line) without loss while the
// event loop keeps answering, and the console destroyed mid-run.
#include <gtest/gtest.h>

#include <Qsci/qsciscintillabase.h>

#include <signal.h>
#include <unistd.h>
#include <QApplication>
#include <QClipboard>
#include <QStringList>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "console/CommandRunner.h"
#include "console/ConsoleSession.h"
#include "console/ProcessPlatform.h"
#include "console/clsConsole.h"
#include "editor/ConsoleEditor.h"
#include "editor/PromptInput.h"
#include "tests/support/PauseMeter.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;
using S = std::string;

// Records every signal of one console as "tick <out>|<err>" or "done <out>|<err>", and when it
// came.
class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest() {
    for (const auto signal : {&clsConsole::OutputReceived, &clsConsole::Complete}) {
      QObject::connect(&console_, signal, [this, signal](const TickOutput& tick) {
        events_ << QString::fromStdString((signal == &clsConsole::Complete ? "done " : "tick ") +
                                          tick.Text(Stream::Out) + "|" + tick.Text(Stream::Err));
        times_.push_back(std::chrono::steady_clock::now());
      });
    }
  }
  static InterpreterCommand Sh(const std::string& line) { return {"/bin/sh", "-c", line}; }
  bool Completed(int count) const { return events_.filter("done ").size() >= count; }
  bool TimerActive() const {
    const auto timers = console_.findChildren<QTimer*>();
    return timers.size() != 1 || timers.front()->isActive();  // one timer per console, always
  }

  clsConsole console_;
  QStringList events_;
  std::vector<std::chrono::steady_clock::time_point> times_;
};

TEST_F(ConsoleTest, SilentCommandReportsEmptyTicksEvery200msThenCompletesEmpty) {
  ASSERT_EQ(console_.RunCommand(Sh("sleep 1.5")), 0u);
  ASSERT_TRUE(QTest::qWaitFor([this] { return Completed(1); }, 30000));
  ASSERT_GE(events_.size(), 3);
  // From the first tick to the last: the timer keeps its beat, so a tick that a busy machine
  // delays shortens the next interval, and only a late last tick moves the mean (by its delay
  // over the count).
  EXPECT_NEAR((times_.back() - times_.front()) / 1ms / double(times_.size() - 1), 200, 50);
  EXPECT_EQ(events_, QStringList(events_.size() - 1, "tick |") << "done |");
  EXPECT_FALSE(TimerActive());
}

TEST_F(ConsoleTest, StartingAgainReplacesTheRunAndAFailedStartStopsTheTimer) {
  // A quick command raises no OutputReceived; a Complete handler may start the next command.
  QObject::connect(&console_, &clsConsole::Complete, [this] {
    if (events_.size() == 1) {
      EXPECT_EQ(console_.RunCommand(Sh("echo second")), 0u);
    }
  });
  ASSERT_EQ(console_.RunCommand(Sh("sleep 0.3; echo one")), 0u);
  ASSERT_EQ(console_.RunCommand(Sh("printf 'a\\0b'; printf '\\342\\202\\254' >&2")), 0u);
  ASSERT_TRUE(QTest::qWaitFor([this] { return Completed(2); }));
  EXPECT_EQ(events_,
            QStringList({QString::fromUtf8("done a\0b|\xE2\x82\xAC", 12), "done second\n|"}));
  ASSERT_EQ(console_.RunCommand(Sh("sleep 0.3; echo three")), 0u);
  EXPECT_EQ(console_.RunCommand({"/nonexistent", "-c", "x"}), static_cast<SysError>(ENOENT));
  EXPECT_FALSE(TimerActive());
  QTest::qWait(600);
  EXPECT_EQ(events_.size(), 2);
}

S Repeat(const S& s, int n) {
  return QByteArray::fromStdString(s).repeated(n).toStdString();
}

S Document(const ConsoleEditor& editor) {
  auto* sci = editor.findChild<QsciScintillaBase*>();
  return S(reinterpret_cast<const char*>(sci->SendScintilla(sci->SCI_GETCHARACTERPOINTER)),
           sci->SendScintilla(sci->SCI_GETLENGTH));
}

class HostileOutput : public ::testing::Test {
 protected:
  HostileOutput() {
    editor_.SetEventSink(&input_);
    editor_.show();
    session_.DirLS_FolderChange(dir_.path());
  }
  ~HostileOutput() override { editor_.SetEventSink(nullptr); }

  test::ScopedCwd restoreCwd_;
  test::TempDir dir_;
  ConsoleEditor editor_;
  ConsoleSession session_{editor_, [](const std::string&) {}};
  PromptInput input_{editor_, session_, [] { return false; }};
};

TEST_F(HostileOutput, EveryByteValueCrOnlyLineEndsAndTenMegabytesOnOneLineArriveWhole) {
  // Every byte value but ESC and CR, which begin sequences and redraws; BEL and the C1 control
  // NEL are removed like every control sequence.
  S all;
  for (int b = 0; b < 256; ++b) {
    if (b != 0x1B && b != '\r') {
      all.push_back(static_cast<char>(b));
    }
  }
  S kept = all.substr(0, 126);
  kept.erase(kept.find('\a'), 1);
  const S nuls("nul\0in\0\0the middle\n", 20), cr = "first\rsecond\r" + Repeat("line\r", 5000);
  // A long line goes on on the next after 16384 bytes. Each byte of 128 to 255 alone, each
  // broken-off sequence and each stray continuation byte becomes one U+FFFD. A CR-only line
  // shows its last state. Every case shows the console still works after the one before.
  const std::pair<S, S> cases[] = {
      {S(10 << 20, 'x'), Repeat(S(16384, 'x') + "\n", 640)},
      {cr, "line\n"},
      {nuls + all +
           "\nok \xC3\xA4 \xF0\x9F\x98\x80 \xC2\x85\xE2\x82\xFF\xFE\xED\xA0\x80\xC0\xAF end\n",
       nuls + kept + Repeat("\xEF\xBF\xBD", 128) + "\nok \xC3\xA4 \xF0\x9F\x98\x80 " +
           Repeat("\xEF\xBF\xBD", 9) + " end\n"},
  };
  // Each tick still carries at most one pipe's worth; a quicker tick only shortens the wait.
  session_.myConsole().findChild<QTimer*>()->setInterval(10);
  for (const auto& [bytes, shown] : cases) {
    std::ofstream("f", std::ios::binary) << bytes;
    const std::size_t before = Document(editor_).size();
    QTest::keyClicks(editor_.focusProxy(), "cat f\r");
    // qWaitFor checks between two passes of the event loop: no pause between checks may pass
    // 250 ms, or the window stopped answering.
    test::PauseMeter pauses;
    auto idle = [&] { return pauses.Mark(), !session_.bBusy(); };
    EXPECT_TRUE(QTest::qWaitFor(idle, 120000));
    EXPECT_LE(pauses.LongestMs(), 250 * PELORIN_TIMING_SLACK) << "the window stopped answering";
    const S prompt = ConsoleSession::Prompt();
    EXPECT_TRUE(Document(editor_).substr(before) == "cat f\n" + shown + prompt);
  }
}

// Lines longer than the surface draws whole are broken for drawing only: what is copied is what
// the command wrote, and the prompt after such a line stays whole on a line of its own.
TEST_F(HostileOutput, CopyGivesBackLongLinesAsWritten) {
  constexpr std::size_t k = 16384;
  // A character across the limit moves whole; a line of exactly the limit stays whole.
  const S written = S(k - 1, 'a') + "\xC3\xA4z\n" + S(k, 'e') + "\n" + S(40000, 'g');
  std::ofstream("f", std::ios::binary) << written;
  QTest::keyClicks(editor_.focusProxy(), "cat f\r");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !session_.bBusy(); }, 20000));
  const S prompt = ConsoleSession::Prompt();
  const S drawn = S(k - 1, 'a') + "\n\xC3\xA4z\n" + S(k, 'e') + "\n" + S(k, 'g') + "\n" +
                  S(k, 'g') + "\n" + S(40000 - 2 * k, 'g') + "\n" + prompt;
  EXPECT_TRUE(Document(editor_).ends_with("cat f\n" + drawn));
  auto copied = [&](int command) {
    editor_.RunEditorCommand(command);
    editor_.RunEditorCommand(EditorCommand::kCopy);
    return QApplication::clipboard()->text().toStdString();
  };
  EXPECT_TRUE(copied(EditorCommand::kSelectAll) == prompt + "cat f\n" + written + "\n" + prompt);
  editor_.MoveCaret(editor_.LineCount() - 3, 5);  // the middle piece of the long line
  EXPECT_TRUE(copied(EditorCommand::kSelectLine) == S(40000, 'g'));
  editor_.MoveCaret(editor_.LineCount() - 1, 0);
  EXPECT_EQ(copied(EditorCommand::kSelectLine), prompt);

  // A carriage return goes back to the start of the whole line, over every piece it was drawn
  // on, whether they came in the same tick as the return or earlier.
  for (const S pause : {"", "sleep 0.5; "}) {
    editor_.MoveCaret(editor_.LineCount() - 1, 1 << 20);  // behind the prompt
    const S command = "head -c 40000 /dev/zero | tr '\\0' A; " + pause + "printf '\\rdone\\n'";
    QTest::keyClicks(editor_.focusProxy(), QString::fromStdString(command + "\r"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !session_.bBusy(); }, 20000));
    EXPECT_TRUE(copied(EditorCommand::kSelectAll).ends_with(command + "\ndone\n" + prompt))
        << pause;
  }
}

// A program the command leaves behind holds the pipes: the bounded last reads go on while the
// window keeps answering, and the completion comes after them.
TEST_F(HostileOutput, TheLastReadsAfterACommandFreezeNothing) {
  QTest::keyClicks(editor_.focusProxy(), "(sleep 3 &); echo end; sleep 0.1\r");
  test::PauseMeter pauses;
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(QTest::qWaitFor([&] { return pauses.Mark(), !session_.bBusy(); }, 20000));
  const auto took = std::chrono::steady_clock::now() - started;
  std::printf("longest pause of the window while the command ended: %lld ms\n", pauses.LongestMs());
  EXPECT_LE(pauses.LongestMs(), 250 * PELORIN_TIMING_SLACK) << "the window stopped answering";
  EXPECT_GE(took, CommandRunner::kDrainLimit) << "the holder was not waited for";
  EXPECT_TRUE(Document(editor_).ends_with("\nend\n" + ConsoleSession::Prompt()));
}

// The processes on the machine that hold the pipe or terminal of path (a /proc/<pid>/fd/<n>
// link), this one left out.
std::vector<long> Holders(const std::string& link, long except) {
  std::error_code ec;
  const auto target = std::filesystem::read_symlink(link, ec);
  std::vector<long> found;
  if (ec) {
    return found;  // the process is gone: nothing of it is held
  }
  for (const auto& process : std::filesystem::directory_iterator("/proc", ec)) {
    const std::string name = process.path().filename();
    if (name.find_first_not_of("0123456789") != std::string::npos || std::stol(name) == except ||
        std::stol(name) == ::getpid())
      continue;
    for (const auto& fd : std::filesystem::directory_iterator(process.path() / "fd", ec)) {
      // A link that cannot be read (another user's process) holds nothing of ours.
      if (const auto held = std::filesystem::read_symlink(fd.path(), ec); !ec && held == target) {
        found.push_back(std::stol(name));
        break;
      }
    }
  }
  return found;
}

long PssKb(long pid) {
  std::ifstream rollup("/proc/" + std::to_string(pid) + "/smaps_rollup");
  for (S line; std::getline(rollup, line);) {
    if (line.starts_with("Pss:"))
      return std::stol(line.substr(4));
  }
  return -1;
}

// Whatever holds a command's streams after the window let go of them holds nothing else of the
// window: not its memory (the history above all), whose size is PELORIN_TEST_HISTORY_MB here.
TEST_F(HostileOutput, WhatReadsOnAfterACommandHoldsNothingOfTheWindow) {
  const char* mb = std::getenv("PELORIN_TEST_HISTORY_MB");
  const S line = S(99, 'h') + "\n";
  S block;
  while (block.size() < (1 << 20))
    block += line;
  for (long i = 0, n = mb ? std::atol(mb) : 64; i < n; ++i)
    editor_.AppendAtEnd(block);
  session_.ExecuteCommand("");  // a prompt below the history
  input_.FocusGained();
  QTest::keyClicks(editor_.focusProxy(), "sleep 30 & echo $! > pid\r");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !session_.bBusy(); }, 20000));
  long sleeper = 0;
  ASSERT_TRUE(std::ifstream("pid") >> sleeper);
  // The reader is there from the completion on, but /proc shows a process starting up a moment
  // later; the one started leaves at once, its detached copy reads on.
  const auto parentOf = [](long pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    S text;
    std::getline(stat, text);
    S state;
    long parent = -1;
    std::istringstream(text.substr(text.rfind(')') + 1)) >> state >> parent;
    return parent;
  };
  std::vector<long> drainers;
  (void)QTest::qWaitFor([&] {
    drainers = Holders("/proc/" + std::to_string(sleeper) + "/fd/2", sleeper);
    return drainers.size() == 1 && parentOf(drainers.front()) != ::getpid();
  });
  ASSERT_EQ(drainers.size(), 1u) << "nothing, or more than one, reads on";
  const long pss = PssKb(drainers.front());
  std::printf("proportional set size of the process reading on: %ld kB\n", pss);
  EXPECT_TRUE(std::filesystem::read_symlink("/proc/" + std::to_string(drainers.front()) + "/exe")
                  .filename() == "pelorin-helper");
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's own memory alone comes to about 5 MB
  EXPECT_LT(pss, 5 * 1024);
#endif
  ::kill(static_cast<pid_t>(sleeper), SIGKILL);
}

TEST_F(HostileOutput, ConsoleDestroyedMidRunLeavesNoZombie) {
  // One child writes far more than the pipes hold (it runs on to its end), one ends by itself a
  // little later.
  for (const char* command :
       {"echo $$ > pid; exec seq 3000000", "echo $$ > pid; echo x; sleep 0.3"}) {
    std::filesystem::remove("pid");
    S pid;
    {
      clsConsole console;
      ASSERT_EQ(console.RunCommand(MakeInterpreterCommand(command)), 0u);
      ASSERT_TRUE(QTest::qWaitFor([&] { return !!(std::ifstream("pid") >> pid); }, 5000));
    }
    QTest::qWait(clsConsole::kTickMs * 2);  // no tick of the gone console may arrive
    // /proc keeps the entry as long as a zombie stays.
    EXPECT_TRUE(QTest::qWaitFor([&] { return !std::filesystem::exists("/proc/" + pid); }, 5000));
  }
}

}  // namespace
}  // namespace pelorin
