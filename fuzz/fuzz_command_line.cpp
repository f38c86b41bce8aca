// The blank normaliser and the built-in table on arbitrary typed lines.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "console/CommandLine.h"
#include "fuzz/FuzzCheck.h"

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string WithoutBlanks(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (!IsBlank(c)) {
      out += c;
    }
  }
  return out;
}

void CheckNormalized(std::string_view input, const std::string& line) {
  if (!line.empty()) {
    FUZZ_CHECK(line.front() != ' ');
    FUZZ_CHECK(line.back() != ' ');
  }
  FUZZ_CHECK(line.find('\t') == std::string::npos);
  FUZZ_CHECK(line.find("  ") == std::string::npos);
  FUZZ_CHECK(WithoutBlanks(input) == WithoutBlanks(line));
  FUZZ_CHECK(pelorin::NormalizeBlanks(line) == line);
}

void CheckParsed(const std::string& line) {
  using pelorin::LineKind;
  const pelorin::ParsedLine parsed = pelorin::ParseCommandLine(line);
  const std::string_view view(line);
  switch (parsed.kind) {
    case LineKind::Empty:
      FUZZ_CHECK(line.empty());
      break;
    case LineKind::BareCd:
      FUZZ_CHECK(line == "cd");
      break;
    case LineKind::Cd:
      FUZZ_CHECK(view.substr(0, 3) == "cd " || view.substr(0, 3) == "cd.");
      FUZZ_CHECK(parsed.argument == view.substr(2));
      break;
    case LineKind::BareRun:
      FUZZ_CHECK(line == "run");
      break;
    case LineKind::Run:
      FUZZ_CHECK(view.substr(0, 4) == "run ");
      FUZZ_CHECK(parsed.argument == view.substr(4));
      break;
    case LineKind::External:
      FUZZ_CHECK(!line.empty() && line != "cd" && line != "run");
      FUZZ_CHECK(view.substr(0, 3) != "cd " && view.substr(0, 3) != "cd.");
      FUZZ_CHECK(view.substr(0, 4) != "run ");
      break;
  }
  if (parsed.kind != LineKind::Cd && parsed.kind != LineKind::Run) {
    FUZZ_CHECK(parsed.argument.empty());
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::string line = pelorin::NormalizeBlanks(input);
  CheckNormalized(input, line);
  CheckParsed(line);
  return 0;
}
