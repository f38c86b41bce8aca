#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "console/clsConsole.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

struct Event {
  bool complete = false;
  QString out;
  QString err;
  qint64 atMs = 0;  // since the recorder was made
};

// Collects the signals of one console and runs the event loop until Complete.
class Recorder {
 public:
  explicit Recorder(clsConsole& console) {
    clock_.start();
    QObject::connect(&console, &clsConsole::OutputReceived,
                     [this](const QString& o, const QString& e) {
                       events.push_back({false, o, e, clock_.elapsed()});
                       if (onOutput) {
                         onOutput();
                       }
                     });
    QObject::connect(&console, &clsConsole::Complete, [this](const QString& o, const QString& e) {
      events.push_back({true, o, e, clock_.elapsed()});
      ++completions;
      if (onComplete) {
        onComplete();
      }
      loop_.quit();
    });
  }

  bool WaitForComplete(int count = 1, int limitMs = 10000) {
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop_, &QEventLoop::quit);
    limit.start(limitMs);
    while (completions < count && limit.isActive()) {
      loop_.exec();
    }
    return completions >= count;
  }

  std::vector<Event> events;
  int completions = 0;
  std::function<void()> onOutput;
  std::function<void()> onComplete;

 private:
  QElapsedTimer clock_;
  QEventLoop loop_;
};

void Spin(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

InterpreterCommand Sh(const std::string& line) {
  return {"/bin/sh", "-c", line};
}

bool TimerActive(const clsConsole& console) {
  const auto timers = console.findChildren<QTimer*>();
  return timers.size() == 1 && timers.front()->isActive();
}

TEST(clsConsole, SilentCommandReportsEmptyTicksEvery200msThenCompletesEmpty) {
  clsConsole console;
  Recorder rec(console);
  ASSERT_EQ(console.RunCommand(Sh("sleep 0.5")), 0u);
  ASSERT_TRUE(rec.WaitForComplete());
  ASSERT_GE(rec.events.size(), 2u);
  EXPECT_LE(rec.events.size(), 5u);
  EXPECT_GE(rec.events.front().atMs, 150) << "the first tick comes after one interval";
  for (std::size_t i = 0; i < rec.events.size(); ++i) {
    EXPECT_EQ(rec.events[i].complete, i + 1 == rec.events.size());
    EXPECT_TRUE(rec.events[i].out.isEmpty());
    EXPECT_TRUE(rec.events[i].err.isEmpty());
  }
  EXPECT_FALSE(TimerActive(console));
}

TEST(clsConsole, QuickCommandCompletesWithAllItsTextAsUtf16KeepingNuls) {
  clsConsole console;
  Recorder rec(console);
  ASSERT_EQ(console.RunCommand(Sh("printf 'a\\0b'; printf 'f\\303\\274r \\342\\202\\254' >&2")),
            0u);
  ASSERT_TRUE(rec.WaitForComplete());
  ASSERT_EQ(rec.events.size(), 1u) << "no OutputReceived for a command over before the tick";
  EXPECT_EQ(rec.events[0].out, QString::fromUtf8("a\0b", 3));
  EXPECT_EQ(rec.events[0].out.size(), 3);
  EXPECT_EQ(rec.events[0].err, QString::fromUtf8("f\xC3\xBCr \xE2\x82\xAC"));
}

TEST(clsConsole, LargeOutputComesInPipeSizedStepsPerTick) {
  clsConsole console;
  Recorder rec(console);
  ASSERT_EQ(console.RunCommand(Sh("head -c 102400 /dev/zero | tr '\\0' o & "
                                  "head -c 102400 /dev/zero | tr '\\0' e >&2; wait")),
            0u);
  ASSERT_TRUE(rec.WaitForComplete());
  QString out, err;
  for (const Event& e : rec.events) {
    if (!e.complete) {
      EXPECT_LE(e.out.size(), static_cast<qsizetype>(kPipeBytes));
      EXPECT_LE(e.err.size(), static_cast<qsizetype>(kPipeBytes));
    }
    out += e.out;
    err += e.err;
  }
  EXPECT_GE(rec.events.size(), 4u);
  EXPECT_EQ(out, QString(102400, 'o'));
  EXPECT_EQ(err, QString(102400, 'e'));
}

TEST(clsConsole, StopWaitCompletesAtTheNextTickAndLeavesTheCommandRunning) {
  clsConsole console;
  Recorder rec(console);
  QString first;
  rec.onOutput = [&] {
    first += rec.events.back().out;
    if (!first.isEmpty()) {
      console.StopWait();
    }
  };
  ASSERT_EQ(console.RunCommand(Sh("echo $$; sleep 0.6; echo late")), 0u);
  ASSERT_TRUE(rec.WaitForComplete());
  const Event last = rec.events.back();
  EXPECT_TRUE(last.out.isEmpty()) << "only that tick's text";
  ASSERT_GE(rec.events.size(), 2u);
  EXPECT_FALSE(rec.events[rec.events.size() - 2].out.isEmpty());
  EXPECT_FALSE(TimerActive(console));

  const std::string proc = "/proc/" + first.trimmed().toStdString();
  EXPECT_TRUE(std::filesystem::exists(proc)) << "the command is not stopped";
  Spin(1000);
  EXPECT_EQ(rec.completions, 1);
  EXPECT_EQ(rec.events.back().out, last.out) << "nothing after Complete";
  EXPECT_FALSE(std::filesystem::exists(proc)) << "ended but not reaped";
}

TEST(clsConsole, FailedStartReturnsTheCodeAndStartsNoTimer) {
  clsConsole console;
  Recorder rec(console);
  EXPECT_EQ(console.RunCommand({"/nonexistent/pelorin-shell", "-c", "echo x"}),
            static_cast<SysError>(ENOENT));
  EXPECT_FALSE(TimerActive(console));
  Spin(450);
  EXPECT_TRUE(rec.events.empty());
}

TEST(clsConsole, RunWithoutWaitStartsTheCommandWithNoTimerAndNoSignals) {
  test::TempDir dir;
  const std::string file = dir.path() + "/ran";
  clsConsole console;
  Recorder rec(console);
  ASSERT_EQ(console.RunWithoutWait(Sh("echo hidden; touch '" + file + "'")), 0u);
  EXPECT_FALSE(TimerActive(console));
  QElapsedTimer t;
  t.start();
  while (!std::filesystem::exists(file) && t.elapsed() < 5000) {
    Spin(10);
  }
  EXPECT_TRUE(std::filesystem::exists(file));
  Spin(450);
  EXPECT_TRUE(rec.events.empty());
}

TEST(clsConsole, StartingAgainReplacesTheRunAndItsTimer) {
  clsConsole console;
  Recorder rec(console);
  ASSERT_EQ(console.RunCommand(Sh("sleep 0.3; echo one")), 0u);
  ASSERT_EQ(console.RunCommand(Sh("echo two")), 0u);
  EXPECT_EQ(console.findChildren<QTimer*>().size(), 1);
  ASSERT_TRUE(rec.WaitForComplete());
  Spin(600);
  ASSERT_EQ(rec.completions, 1);
  EXPECT_EQ(rec.events.back().out, "two\n");
}

TEST(clsConsole, CompleteHandlerMayStartTheNextCommand) {
  clsConsole console;
  Recorder rec(console);
  rec.onComplete = [&] {
    if (rec.completions == 1) {
      EXPECT_EQ(console.RunCommand(Sh("echo second")), 0u);
    }
  };
  ASSERT_EQ(console.RunCommand(Sh("echo first")), 0u);
  ASSERT_TRUE(rec.WaitForComplete(2));
  EXPECT_EQ(rec.events.back().out, "second\n");
}

}  // namespace
}  // namespace pelorin
