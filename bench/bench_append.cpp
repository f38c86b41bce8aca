// Prints what the console surface costs as its history grows: one timer tick's output appended
// at 1 thousand, 100 thousand and 1 million lines of history, find-and-mark-all and go-to-line on
// a million lines, and the memory taken per MB of console text. Each figure with its goal.
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "editor/ConsoleEditor.h"

namespace {

using pelorin::ConsoleEditor;
namespace cmd = pelorin::EditorCommand;

constexpr size_t kPipeChunk = 30720;  // what one pipe yields in one tick at most

// Lines as a directory listing or a build log prints them; every 50th holds "warning".
std::string TypicalLines(size_t bytes, long& counter) {
  std::string out;
  out.reserve(bytes + 128);
  while (out.size() < bytes) {
    char line[128];
    const long n = counter++;
    if (n % 50 == 0) {
      std::snprintf(line, sizeof line,
                    "src/module_%05ld.cpp:%ld:12: warning: unused variable 'x'\n", n % 977,
                    n % 400);
    } else {
      std::snprintf(line, sizeof line,
                    "-rw-r--r--  1 user staff %8ld Jan %2ld 12:%02ld file_%07ld.txt\n",
                    (n * 7919) % 10000000, n % 28 + 1, n % 60, n);
    }
    out += line;
  }
  return out;
}

// Resident memory in bytes, or -1 where /proc is not there.
long ResidentBytes() {
  QFile statm(QStringLiteral("/proc/self/statm"));
  if (!statm.open(QIODevice::ReadOnly)) {
    return -1;
  }
  const QList<QByteArray> fields = statm.readAll().split(' ');
  return fields.size() > 1 ? fields[1].toLong() * 4096 : -1;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct TickCost {
  double appendMs;  // the two appends alone
  double tickMs;    // a whole tick: appends, caret to the last line, repaint
};

TickCost MeasureTicks(ConsoleEditor& editor, long& counter) {
  const std::string out = TypicalLines(kPipeChunk, counter);
  const std::string err = "STDERR: " + TypicalLines(kPipeChunk, counter);
  std::vector<double> appends, ticks;
  for (int i = 0; i < 9; ++i) {
    QElapsedTimer timer;
    timer.start();
    editor.SetReadOnly(false);
    editor.AppendAtEnd(std::string_view(out));
    editor.AppendAtEnd(std::string_view(err));
    appends.push_back(timer.nsecsElapsed() / 1e6);
    editor.MoveCaret(editor.LineCount() - 1, 0);
    editor.SetReadOnly(true);
    QApplication::processEvents();
    ticks.push_back(timer.nsecsElapsed() / 1e6);
  }
  return {Median(appends), Median(ticks)};
}

void FillTo(ConsoleEditor& editor, int lines, long& counter, double& bytesAppended) {
  while (editor.LineCount() < lines) {
    // About 64 bytes a line: stop close to the line count asked for.
    const size_t want = static_cast<size_t>(lines - editor.LineCount()) * 60;
    const std::string block = TypicalLines(std::min<size_t>(want, 1 << 20), counter);
    editor.AppendAtEnd(std::string_view(block));
    bytesAppended += block.size();
  }
}

double TimeMs(const std::function<void()>& work) {
  QElapsedTimer timer;
  timer.start();
  work();
  QApplication::processEvents();
  return timer.nsecsElapsed() / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  QApplication app(argc, argv);
  ConsoleEditor editor;
  editor.resize(900, 600);
  editor.show();
  QApplication::processEvents();

  long counter = 0;
  double bytes = 0;
  const long rssBefore = ResidentBytes();
  std::vector<TickCost> costs;
  for (const int lines : {1000, 100000, 1000000}) {
    FillTo(editor, lines, counter, bytes);
    QApplication::processEvents();
    const int at = editor.LineCount();
    const TickCost cost = MeasureTicks(editor, counter);
    std::printf("tick of 2 x 30 KB at %7d lines: append %.3f ms, whole tick with repaint %.3f ms\n",
                at, cost.appendMs, cost.tickMs);
    costs.push_back(cost);
  }
  const long rssAfter = ResidentBytes();
  const double appendRatio = costs.back().appendMs / costs.front().appendMs;
  const double tickRatio = costs.back().tickMs / costs.front().tickMs;
  std::printf("append ratio 1M/1K lines: %.2f (goal <= 1.5) %s\n", appendRatio,
              appendRatio <= 1.5 ? "ok" : "MISSED");
  std::printf("whole tick ratio 1M/1K lines: %.2f (goal <= 1.5) %s\n", tickRatio,
              tickRatio <= 1.5 ? "ok" : "MISSED");

  // History is now a little over a million lines of the text above.
  std::printf("text: %.1f MB in %d lines\n", bytes / 1e6, editor.LineCount());
  if (rssBefore >= 0 && rssAfter >= 0) {
    const double perMb = (rssAfter - rssBefore) / bytes;
    std::printf("memory: %.2f MB resident per MB of console text (goal <= 2.5) %s\n", perMb,
                perMb <= 2.5 ? "ok" : "MISSED");
  } else {
    std::printf("memory: not measurable here (no /proc)\n");
  }

  editor.SetSearchText(QStringLiteral("warning"));
  const double markMs = TimeMs([&] {
    editor.RunEditorCommand(cmd::kClearMarks);
    editor.RunEditorCommand(cmd::kMarkAll);
  });
  std::printf(
      "find and mark all (207, 177) on %d lines, a match on every 50th: %.1f ms "
      "(goal <= 1000 ms) %s\n",
      editor.LineCount(), markMs, markMs <= 1000 ? "ok" : "MISSED");
  const double remarkMs = TimeMs([&] {
    editor.RunEditorCommand(cmd::kClearMarks);
    editor.RunEditorCommand(cmd::kMarkAll);
  });
  std::printf("again, clearing those marks first: %.1f ms (goal <= 1000 ms) %s\n", remarkMs,
              remarkMs <= 1000 ? "ok" : "MISSED");

  double worstGoto = 0;
  for (const int line : {500000, 10, editor.LineCount() - 1, 999}) {
    worstGoto = std::max(worstGoto, TimeMs([&] { editor.RunEditorCommand(cmd::kGoToLine, line); }));
  }
  std::printf(
      "go to line (168) on %d lines, worst of 4 jumps with repaint: %.2f ms "
      "(goal <= 50 ms) %s\n",
      editor.LineCount(), worstGoto, worstGoto <= 50 ? "ok" : "MISSED");
  return 0;
}
