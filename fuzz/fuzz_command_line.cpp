// The blank normaliser and the built-in table on arbitrary typed lines.

#include <cstddef>
#include <cstdint>
#include <string>

#include "console/CommandLine.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pelorin::LineKind;
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

  // Each kind exactly for its form; only cd and run carry an argument, the rest of the line.
  const pelorin::ParsedLine parsed = pelorin::ParseCommandLine(line);
  const bool cd = line.starts_with("cd ") || line.starts_with("cd.");
  const bool run = line.starts_with("run ");
  FUZZ_CHECK(parsed.kind == (line.empty()    ? LineKind::Empty
                             : line == "cd"  ? LineKind::BareCd
                             : cd            ? LineKind::Cd
                             : line == "run" ? LineKind::BareRun
                             : run           ? LineKind::Run
                                             : LineKind::External));
  FUZZ_CHECK(parsed.argument == (cd ? line.substr(2) : run ? line.substr(4) : ""));
  return 0;
}
