// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QStringList>
#include <QTest>
#include <QTimer>
#include <cerrno>
#include <chrono>
#include <string>

#include "console/clsConsole.h"

namespace pelorin {
namespace {

using namespace std::chrono_literals;

// Records every signal of one console as "tick <out>|<err>" or "done <out>|<err>".
class ConsoleTest : public ::testing::Test {
 protected:
  ConsoleTest() {
    for (const auto signal : {&clsConsole::OutputReceived, &clsConsole::Complete}) {
      QObject::connect(&console_, signal,
                       [this, signal](const std::string& o, const std::string& e) {
                         events_ << QString::fromStdString(
                             (signal == &clsConsole::Complete ? "done " : "tick ") + o + "|" + e);
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
};

TEST_F(ConsoleTest, SilentCommandReportsEmptyTicksEvery200msThenCompletesEmpty) {
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(console_.RunCommand(Sh("sleep 0.5")), 0u);
  ASSERT_TRUE(QTest::qWaitFor([this] { return Completed(1); }));
  ASSERT_GE(events_.size(), 2);
  EXPECT_NEAR((std::chrono::steady_clock::now() - start) / 1ms / double(events_.size()), 200, 50);
  EXPECT_EQ(events_, QStringList(events_.size() - 1, "tick |") << "done |");
  EXPECT_FALSE(TimerActive());
}

// That the command runs on and is reaped later is the runner's (test_runner_posix).
TEST_F(ConsoleTest, StopWaitCompletesAtTheNextTickWithThatTicksTextOnly) {
  ASSERT_EQ(console_.RunCommand(Sh("echo first; sleep 0.6; echo late")), 0u);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !events_.isEmpty() && events_.back() != "tick |"; }));
  console_.StopWait();
  ASSERT_TRUE(QTest::qWaitFor([this] { return Completed(1); }));
  EXPECT_FALSE(TimerActive());
  EXPECT_EQ(events_.back(), "done |") << "only that tick's text, nothing after";
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

}  // namespace
}  // namespace pelorin
