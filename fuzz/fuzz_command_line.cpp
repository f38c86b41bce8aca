// SPDX-License-Identifier: GPL-3.0-or-later
// The blank normaliser and the built-in table on arbitrary typed lines.

#include <cstddef>
#include <cstdint>
#include <string>

#include "console/CommandLine.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::string line = pelorin::NormalizeBlanks(input);
  auto withoutBlanks = [](std::string s) {
    std::erase_if(s, [](char c) { return c == ' ' || c == '\t'; });
    return s;
  };
  // No blank at either end, no tab, no two in a row, nothing but blanks changed, and a second
  // pass changes nothing.
  FUZZ_CHECK(line.empty() || (line.front() != ' ' && line.back() != ' '));
  FUZZ_CHECK(line.find('\t') == std::string::npos && line.find("  ") == std::string::npos);
  FUZZ_CHECK(withoutBlanks(input) == withoutBlanks(line));
  FUZZ_CHECK(pelorin::NormalizeBlanks(line) == line);

  // A built-in's argument is always the rest of the line.
  FUZZ_CHECK(line.ends_with(pelorin::ParseCommandLine(line).argument));
  return 0;
}
