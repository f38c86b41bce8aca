// SPDX-License-Identifier: GPL-3.0-or-later
// "New window" starts the running program's own file by its path as an argument vector: no
// shell ever sees the path, the program's name does not matter, nothing of ours but the
// standard streams reaches it, and a start that fails is told.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QMessageBox>
#include <QStringList>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "app/CommandDispatch.h"
#include "console/ProcessPlatform.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;

// Started as the new window of a renamed copy of this binary (below), it says which file it
// runs from and ends, before any test or window.
const bool kStartedAsNewWindow = [] {
  if (const char* report = std::getenv("PELORIN_TEST_NEW_WINDOW")) {
    std::ofstream(report) << ProgramPath();
    std::_Exit(0);
  }
  return false;
}();

// The renamed copy runs this: "New window" of a program called pelorin-renamed.
TEST(NewWindow, DISABLED_StartsANewWindow) {
  ASSERT_FALSE(kStartedAsNewWindow);
  ::setenv("PELORIN_TEST_NEW_WINDOW", std::getenv("PELORIN_TEST_REPORT"), 1);
  StartNewInstance([](const QString& text) { FAIL() << text.toStdString(); });
}

std::string ReportOf(const std::string& path) {
  std::string got;
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
       got.empty() && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::getline(std::ifstream(path), got);
  }
  return got;
}

TEST(NewWindow, StartsTheProgramByItsPathWithoutAShellAndGivesItNoDescriptorOfOurs) {
  test::TempDir dir;
  const std::string folder = dir.path() + "/with space;$(touch shell-ran) 'q\"";
  fs::create_directories(folder);
  const std::string program = folder + "/pelorin";
  const std::string report = dir.path() + "/report";
  const int stray = ::fcntl(STDOUT_FILENO, F_DUPFD, 100);  // not closed on exec
  ASSERT_GE(stray, 100);
  std::ofstream(program) << "#!/bin/sh\ntest -e /proc/$$/fd/" << stray
                         << " && r=leaked || r=none\nprintf '%s|%s|%s' \"$#\" \"$0\" $r > '"
                         << report << "'\n";
  fs::permissions(program, fs::perms::owner_all);

  ASSERT_EQ(StartProgram(program), 0u);
  EXPECT_EQ(ReportOf(report), "0|" + program + "|none") << "no arguments, the path whole";
  EXPECT_FALSE(fs::exists("shell-ran"));  // where a shell would have run the touch
  ::close(stray);
}

TEST(NewWindow, ARenamedProgramStartsItselfAndAFailedStartIsTold) {
  test::TempDir dir;
  const std::string renamed = dir.path() + "/pelorin-renamed";
  fs::copy_file(ProgramPath(), renamed);
  const std::string report = dir.path() + "/report";
  test::ScopedEnv reportTo("PELORIN_TEST_REPORT", report.c_str());
  ASSERT_EQ(std::system((renamed + " --gtest_also_run_disabled_tests "
                                   "--gtest_filter=NewWindow.DISABLED_StartsANewWindow >/dev/null")
                            .c_str()),
            0);
  EXPECT_EQ(ReportOf(report), renamed);

  QStringList told;
  StartNewInstance([&told](const QString& text) { told << text; }, dir.path() + "/gone");
  EXPECT_EQ(told,
            QStringList("Unable to start a new window (" + QString::fromStdString(dir.path()) +
                        "/gone): No such file or directory"));
  const auto box = MakeNewWindowFailureBox(nullptr, told.value(0));
  EXPECT_EQ(box->windowTitle() + ": " + box->text(), "Pelorin: " + told.value(0));
  EXPECT_EQ(box->standardButtons(), QMessageBox::Ok);
}

}  // namespace
}  // namespace pelorin
