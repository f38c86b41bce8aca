// SPDX-License-Identifier: GPL-3.0-or-later
// Prints what the console surface costs as its history grows: one timer tick's output appended
// at 1 thousand, 100 thousand and 1 million lines of history, find-and-mark-all and go-to-line on
// a million lines, and the memory taken per MB of console text. Each figure with its goal.
// Output takes the path a command's output takes: the output composer, then ApplyOutput.
// With the argument "coloured": only the memory per MB of coloured output (a listing as
// ls --color=always writes it), in a process of its own so that the figures do not mix.
// With the argument "accessible": only the ticks, with an assistive technology listening (every
// event taken as Qt's AT-SPI bridge takes it, the caret's offset asked after each move).
#include <QAccessible>
#include <QApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "console/OutputComposer.h"
#include "editor/ConsoleEditor.h"
#include "editor/SurfaceTextEvents.h"

using namespace pelorin;

constexpr size_t kPipeChunk = 30720;  // what one pipe yields in one tick at most

// Prints a figure with its goal and whether it holds.
void Goal(const std::string& what, double value, double goal, const char* unit = "") {
  std::printf("%s: %.2f%s (goal <= %g%s) %s\n", what.c_str(), value, unit, goal, unit,
              value <= goal ? "ok" : "MISSED");
}

// Lines as a directory listing or a build log prints them (every 50th holds "warning"), or, when
// coloured, a listing as ls --color=always prints it (a colour change every 9 characters or so).
constexpr const char* kWarning = "src/module_%05ld.cpp:%ld:12: warning: unused variable 'x'\n";
constexpr const char* kListing = "-rw-r--r--  1 user staff %8ld Jan %2ld 12:%02ld file_%07ld.txt\n";
constexpr const char* kColoured =
    "\033[0m\033[01;34mdir_%05ld\033[0m  \033[01;32mrun_%05ld.sh\033[0m  notes_%05ld.txt  "
    "\033[01;36mlink_%05ld\033[0m  \033[31mold_%05ld.tar\033[0m\n";
std::string Lines(size_t bytes, long& counter, bool coloured = false) {
  std::string out;
  char line[256];
  while (out.size() < bytes) {
    const long n = counter++;
    if (coloured)
      std::snprintf(line, sizeof line, kColoured, n, n, n, n, n);
    else if (n % 50 == 0)
      std::snprintf(line, sizeof line, kWarning, n % 977, n % 400);
    else
      std::snprintf(line, sizeof line, kListing, (n * 7919) % 10000000, n % 28 + 1, n % 60, n);
    out += line;
  }
  return out;
}

// Shows output as a command's output is shown; returns the bytes the surface got.
size_t Show(ConsoleEditor& editor, OutputComposer& composer, const std::string& out,
            const std::string& err = {}) {
  const OutputEdits edits = composer.Feed(out, err);
  editor.ApplyOutput(edits);
  return edits.text.size();
}

// Resident memory in bytes, or -1 where /proc is not there.
long ResidentBytes() {
  long size = 0, resident = -1;
  std::ifstream("/proc/self/statm") >> size >> resident;
  return resident < 0 ? -1 : resident * 4096;
}

// The resident memory per byte of text taken since `before`, against its goal.
void MemoryGoal(const char* what, long before, double bytes, double goal) {
  if (before < 0)
    std::printf("memory: not measurable here (no /proc)\n");
  else
    Goal(what, static_cast<double>(ResidentBytes() - before) / bytes, goal);
}

double TimeMs(const std::function<void()>& work) {
  QElapsedTimer timer;
  timer.start();
  work();
  QApplication::processEvents();
  return timer.nsecsElapsed() / 1e6;
}

// The medians of nine ticks: the two appends alone, and the whole tick (appends, caret to the
// last line, repaint).
std::pair<double, double> MeasureTicks(ConsoleEditor& editor, OutputComposer& composer,
                                       long& counter) {
  const std::string out = Lines(kPipeChunk, counter);
  const std::string err = Lines(kPipeChunk, counter);
  std::vector<double> appends, ticks;
  for (int i = 0; i < 9; ++i) {
    QElapsedTimer timer;
    ticks.push_back(TimeMs([&] {
      timer.start();
      editor.SetReadOnly(false);
      Show(editor, composer, out, err);
      appends.push_back(timer.nsecsElapsed() / 1e6);
      editor.MoveCaret(editor.LineCount() - 1, 0);
      editor.SetReadOnly(true);
    }));
  }
  std::sort(appends.begin(), appends.end());
  std::sort(ticks.begin(), ticks.end());
  return {appends[4], ticks[4]};
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ConsoleEditor editor;
  editor.resize(900, 600);
  editor.show();
  QApplication::processEvents();
  OutputComposer composer;
  long counter = 0;
  double bytes = 0;
  const long rssBefore = ResidentBytes();
  if (argc > 1 && std::string(argv[1]) == "coloured") {  // about 64 MB of it
    while (bytes < 64e6)
      bytes += static_cast<double>(Show(editor, composer, Lines(1 << 20, counter, true)));
    QApplication::processEvents();
    std::printf("coloured text: %.1f MB in %d lines, a colour change every 9 characters\n",
                bytes / 1e6, editor.LineCount());
    MemoryGoal("memory, MB resident per MB of coloured console text", rssBefore, bytes, 4.0);
    return 0;
  }
  const bool accessible = argc > 1 && std::string(argv[1]) == "accessible";
  long events = 0;
  double inserted = 0;
  if (accessible) {
    SurfaceTextEvents::SetDispatcher([&](QAccessibleEvent* event) {
      ++events;
      if (event->type() == QAccessible::TextInserted) {
        inserted += static_cast<double>(
            static_cast<QAccessibleTextInsertEvent*>(event)->textInserted().size());
      } else if (event->type() == QAccessible::TextCaretMoved) {
        event->accessibleInterface()->textInterface()->cursorPosition();
      }
    });
  }
  std::vector<std::pair<double, double>> costs;
  for (const int lines : {1000, 100000, 1000000}) {
    while (editor.LineCount() < lines) {  // about 64 bytes a line: stop close to the count
      const size_t want = static_cast<size_t>(lines - editor.LineCount()) * 60;
      bytes += static_cast<double>(
          Show(editor, composer, Lines(std::min<size_t>(want, 1 << 20), counter)));
    }
    QApplication::processEvents();
    const int at = editor.LineCount();
    costs.push_back(MeasureTicks(editor, composer, counter));
    std::printf("tick of 2 x 30 KB at %7d lines: append %.3f ms, whole tick with repaint %.3f ms\n",
                at, costs.back().first, costs.back().second);
  }
  const std::string with = accessible ? "with accessibility on: " : "";
  Goal(with + "append ratio 1M/1K lines", costs.back().first / costs.front().first, 1.5);
  Goal(with + "whole tick ratio 1M/1K lines", costs.back().second / costs.front().second, 1.5);
  if (accessible) {
    std::printf("accessibility events: %ld, %.1f MB of inserted text reported\n", events,
                inserted / 1e6);
    // A screen reader that starts now finds a million lines it has never seen: the first
    // offset near the end counts them once.
    auto dispatcher = [](QAccessibleEvent*) {};
    SurfaceTextEvents::SetDispatcher({});
    SurfaceTextEvents::SetDispatcher(dispatcher);
    QAccessibleTextInterface* text =
        QAccessible::queryAccessibleInterface(editor.focusProxy())->textInterface();
    int caret = 0;
    Goal("first caret offset for a screen reader that starts at " +
             std::to_string(editor.LineCount()) + " lines",
         TimeMs([&] { caret = text->cursorPosition(); }), 250, " ms");
    Goal("the next one", TimeMs([&] { caret = text->cursorPosition(); }), 1, " ms");
    std::printf("(caret at character %d)\n", caret);
    return 0;
  }

  // History is now a little over a million lines of the text above.
  const std::string lines = std::to_string(editor.LineCount()) + " lines";
  std::printf("text: %.1f MB in %s\n", bytes / 1e6, lines.c_str());
  MemoryGoal("memory, MB resident per MB of plain console text", rssBefore, bytes, 2.5);

  editor.SetSearchText(QStringLiteral("warning"));
  auto markAll = [&] {
    editor.RunEditorCommand(EditorCommand::kClearMarks);
    editor.RunEditorCommand(EditorCommand::kMarkAll);
  };
  Goal("find and mark all (207, 177) on " + lines + ", a match on every 50th", TimeMs(markAll),
       1000, " ms");
  Goal("again, clearing those marks first", TimeMs(markAll), 1000, " ms");

  auto jump = [&](int line) {
    return TimeMs([&] { editor.RunEditorCommand(EditorCommand::kGoToLine, line); });
  };
  Goal("go to line (168) on " + lines + ", worst of 4 jumps with repaint",
       std::max({jump(500000), jump(10), jump(editor.LineCount() - 1), jump(999)}), 50, " ms");
  return 0;
}
