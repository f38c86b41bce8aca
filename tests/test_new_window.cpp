// SPDX-License-Identifier: GPL-3.0-or-later
// "New window" starts the program file by its path as an argument vector: no shell ever sees
// the path, so blanks and shell characters in the folder are just part of the name.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "console/ProcessPlatform.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

TEST(NewWindow, StartsTheProgramByItsPathWithoutAShell) {
  test::TempDir dir;
  const std::string folder = dir.path() + "/with space;$(touch shell-ran) 'q\"";
  std::filesystem::create_directories(folder);
  const std::string program = folder + "/pelorin";
  const std::string report = dir.path() + "/report";
  std::ofstream(program) << "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$0\" > '" << report << "'\n";
  std::filesystem::permissions(program, std::filesystem::perms::owner_all);

  ASSERT_EQ(StartProgram(program), 0u);
  std::string got;
  for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
       got.empty() && std::chrono::steady_clock::now() < end;) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::ifstream in(report);
    std::getline(in, got);
  }
  EXPECT_EQ(got, "0|" + program) << "no arguments, and the path arrives whole";
  EXPECT_FALSE(std::filesystem::exists(dir.path() + "/shell-ran"));
  EXPECT_FALSE(std::filesystem::exists("shell-ran"));
  EXPECT_NE(StartProgram(folder + "/missing"), 0u);
}

}  // namespace
}  // namespace pelorin
