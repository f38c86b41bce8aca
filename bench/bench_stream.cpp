// SPDX-License-Identifier: GPL-3.0-or-later
// Streams a large output through both pipes into the real console surface, by the path a typed
// command takes, and prints how close the run comes to the runner's designed rate and what the
// window's thread spends meanwhile. Afterwards the surface's text is checked byte for byte.
// Usage: bench_stream [bytes per stream]   (default 6 MiB: about 41 s at the designed rate)

#include <stdlib.h>
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/ConsoleSession.h"
#include "console/OutputComposer.h"
#include "console/ProcessPlatform.h"
#include "editor/ConsoleEditor.h"
#include "platform/Directory.h"

namespace {

// The calling thread's (the window's), or this whole process's: the reader thread too, never
// the writing children.
double CpuSeconds(int who) {
  rusage u{};
  ::getrusage(who, &u);
  auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return sec(u.ru_utime) + sec(u.ru_stime);
}

// What `yes` writes: the line over and over, cut at `bytes`.
std::string Expected(const std::string& line, long long bytes) {
  std::string s;
  while (s.size() < static_cast<std::size_t>(bytes))
    s += line;
  return s.substr(0, static_cast<std::size_t>(bytes));
}

void Report(const char* what, double value, const char* unit, const char* goal, bool holds) {
  std::printf("%-44s %10.2f %-4s goal %-14s %s\n", what, value, unit, goal,
              holds ? "holds" : "misses");
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
#ifdef PELORIN_HELPER_FILE
  ::setenv("PELORIN_HELPER", PELORIN_HELPER_FILE, 0);  // the build's helper, as the program's
#endif
  const long long perStream = argc > 1 ? std::atoll(argv[1]) : 6LL * 1024 * 1024;
  if (perStream <= 0) {
    std::fprintf(stderr, "usage: bench_stream [bytes per stream]\n");
    return 2;
  }

  pelorin::ConsoleEditor editor;
  editor.resize(900, 600);
  editor.show();
  pelorin::ConsoleSession session(editor, [](const std::string&) {});

  // What the surface must hold afterwards, built from the events as they arrive (the session's
  // own handlers run first): the lines arrive whole, so no line is ever rewritten.
  std::string expected, out, err;
  pelorin::OutputComposer composer;
  const auto received = [&](const pelorin::TickOutput& tick, bool last) {
    out += tick.Text(pelorin::Stream::Out);
    err += tick.Text(pelorin::Stream::Err);
    expected += last ? composer.Finish(tick).text : composer.Feed(tick).text;
  };
  QObject::connect(&session.myConsole(), &pelorin::clsConsole::OutputReceived,
                   [&](const pelorin::TickOutput& tick) { received(tick, false); });
  QObject::connect(
      &session.myConsole(), &pelorin::clsConsole::Complete, [&](const pelorin::TickOutput& tick) {
        received(tick, true);
        expected += (composer.AtLineStart() ? "" : "\n") + pelorin::ConsoleSession::Prompt();
        app.quit();
      });

  const std::string outLine = "stdout: the quick brown fox jumps over the lazy dog 0123456789\n";
  const std::string errLine = "stderr: pack my box with five dozen liquor jugs 0123456789\n";
  const std::string n = std::to_string(perStream);
  const std::string command = "yes '" + outLine.substr(0, outLine.size() - 1) + "' | head -c " + n +
                              " & yes '" + errLine.substr(0, errLine.size() - 1) + "' | head -c " +
                              n + " >&2; wait";
  expected = pelorin::ConsoleSession::Prompt() + command + "\n";
  session.DirLS_FolderChange(pelorin::CurrentDirectory());

  const double cpuBefore = CpuSeconds(RUSAGE_THREAD);
  const double processBefore = CpuSeconds(RUSAGE_SELF);
  QElapsedTimer clock;
  clock.start();
  editor.AppendAtEnd(command);
  session.ExecuteCommand(command);
  app.exec();
  const double elapsed = clock.elapsed() / 1000.0;
  const double cpu = CpuSeconds(RUSAGE_THREAD) - cpuBefore;
  const double process = CpuSeconds(RUSAGE_SELF) - processBefore;

  std::string surface;
  for (int i = 0; i < editor.LineCount(); ++i)
    surface += editor.LineText(i) + (i + 1 < editor.LineCount() ? "\n" : "");
  const bool streamsWhole =
      out == Expected(outLine, perStream) && err == Expected(errLine, perStream);
  const bool surfaceWhole = surface == expected;

  const double rate = static_cast<double>(pelorin::kPipeBytes) * 1000.0 / 200.0;
  const double designed = static_cast<double>(perStream) / rate;
  const double deviation = (elapsed - designed) / designed * 100.0;
  const double share = cpu / elapsed * 100.0;
  std::printf("streaming %lld bytes through each stream into the surface (%d lines)\n", perStream,
              editor.LineCount());
  std::printf("%-44s %10.2f s    (designed %.2f s)\n", "elapsed", elapsed, designed);
  Report("deviation from the designed rate", deviation, "%", "within 2%",
         deviation > -2.0 && deviation < 2.0);
  Report("window thread's CPU share of one core", share, "%", "under 5%", share < 5.0);
  std::printf("%-44s %10.2f %%    (the reader thread included)\n", "the whole program's share",
              process / elapsed * 100.0);
  std::printf("%-44s %s\n", "both streams complete and in order", streamsWhole ? "yes" : "NO");
  std::printf("%-44s %s\n", "surface text byte for byte", surfaceWhole ? "yes" : "NO");
  return streamsWhole && surfaceWhole ? 0 : 1;
}
