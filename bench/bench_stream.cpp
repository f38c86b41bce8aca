// Streams a large output through both pipes of the process runner at its 200 ms tick and prints
// how close the throughput comes to the designed rate and what it costs this process in CPU.
// Usage: bench_stream [bytes per stream]   (default 6 MiB; at the designed rate about 41 s)

#include <sys/resource.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "console/clsConsole.h"

namespace {

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  auto sec = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return sec(u.ru_utime) + sec(u.ru_stime);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const long long perStream = argc > 1 ? std::atoll(argv[1]) : 6LL * 1024 * 1024;
  if (perStream <= 0) {
    std::fprintf(stderr, "usage: bench_stream [bytes per stream]\n");
    return 2;
  }

  pelorin::clsConsole console;
  long long outChars = 0, errChars = 0, outWrong = 0, errWrong = 0;
  qsizetype largestOut = 0, largestErr = 0;
  int ticks = 0;
  auto take = [&](const QString& out, const QString& err) {
    ++ticks;
    outChars += out.size();
    errChars += err.size();
    outWrong += out.size() - out.count(QLatin1Char('o'));
    errWrong += err.size() - err.count(QLatin1Char('e'));
  };
  QObject::connect(&console, &pelorin::clsConsole::OutputReceived,
                   [&](const QString& out, const QString& err) {
                     largestOut = std::max(largestOut, out.size());
                     largestErr = std::max(largestErr, err.size());
                     take(out, err);
                   });
  QObject::connect(&console, &pelorin::clsConsole::Complete,
                   [&](const QString& out, const QString& err) {
                     take(out, err);
                     app.quit();
                   });

  const std::string n = std::to_string(perStream);
  const std::string line = "head -c " + n + " /dev/zero | tr '\\0' o & head -c " + n +
                           " /dev/zero | tr '\\0' e >&2; wait";
  const double cpuBefore = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  if (const pelorin::SysError rc = console.RunCommand({"/bin/sh", "-c", line})) {
    std::fprintf(stderr, "start failed: error %u\n", rc);
    return 2;
  }
  app.exec();
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = CpuSeconds() - cpuBefore;

  const double ratePerSecond =
      static_cast<double>(pelorin::kPipeBytes) * 1000.0 / pelorin::clsConsole::kTickMs;
  const double designed = static_cast<double>(perStream) / ratePerSecond;
  const double deviation = (elapsed - designed) / designed * 100.0;
  const double share = cpu / elapsed * 100.0;
  const bool whole =
      outChars == perStream && errChars == perStream && outWrong == 0 && errWrong == 0;
  const bool rateMet = deviation > -5.0 && deviation < 5.0;
  const bool cpuMet = share < 10.0;

  std::printf("streamed %lld bytes per stream in %d ticks: stdout %lld, stderr %lld (%s)\n",
              perStream, ticks, outChars, errChars, whole ? "complete" : "INCOMPLETE OR WRONG");
  std::printf("largest chunk per tick: stdout %lld, stderr %lld (limit %zu)\n",
              static_cast<long long>(largestOut), static_cast<long long>(largestErr),
              pelorin::kPipeBytes);
  std::printf(
      "elapsed %.2f s, designed %.2f s at %zu bytes per stream per %d ms: %+.1f %% "
      "(goal: within 5 %%) %s\n",
      elapsed, designed, pelorin::kPipeBytes, pelorin::clsConsole::kTickMs, deviation,
      rateMet ? "met" : "MISSED");
  std::printf("CPU time of this process %.2f s = %.1f %% of one core (goal: below 10 %%) %s\n", cpu,
              share, cpuMet ? "met" : "MISSED");
  return whole && rateMet && cpuMet ? 0 : 1;
}
