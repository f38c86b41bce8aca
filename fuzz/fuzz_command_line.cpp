// SPDX-License-Identifier: GPL-3.0-or-later
// The blank normaliser, the built-in table and the cd argument on arbitrary typed lines, with
// both interpreters' rules. Properties only: what may change is the blanks that separate words.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "console/CdCommand.h"
#include "console/CommandLine.h"
#include "fuzz/FuzzCheck.h"

namespace {

std::string WithoutSeparators(const std::string& text,
                              const std::vector<pelorin::CharRole>& roles) {
  std::string kept;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (roles[i] != pelorin::CharRole::Blank)
      kept.push_back(text[i]);
  }
  return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using pelorin::CharRole;
  const std::string input(reinterpret_cast<const char*>(data), size);
  for (const pelorin::Quoting quoting : {pelorin::Quoting::Windows, pelorin::Quoting::Posix}) {
    const std::string line = pelorin::NormalizeBlanks(input, quoting);
    FUZZ_CHECK(pelorin::NormalizeBlanks(line, quoting) == line);

    // Everything but the separating blanks is kept byte for byte, quoted blanks included.
    const std::vector<CharRole> roles = pelorin::ReadQuoting(line, quoting);
    FUZZ_CHECK(WithoutSeparators(input, pelorin::ReadQuoting(input, quoting)) ==
               WithoutSeparators(line, roles));
    // A separating blank is one space between two other bytes.
    for (std::size_t i = 0; i < line.size(); ++i) {
      if (roles[i] == CharRole::Blank) {
        FUZZ_CHECK(line[i] == ' ' && i > 0 && i + 1 < line.size());
        FUZZ_CHECK(roles[i - 1] != CharRole::Blank && roles[i + 1] != CharRole::Blank);
      }
    }

    // A built-in's argument is a part of its line and what runs after it the line's end; the
    // cd argument reads without trouble.
    const pelorin::ParsedLine parsed = pelorin::ParseCommandLine(line, quoting);
    FUZZ_CHECK((parsed.kind == pelorin::LineKind::Empty) == line.empty());
    FUZZ_CHECK(line.find(parsed.argument) != std::string::npos);
    FUZZ_CHECK(line.ends_with(parsed.then));
    const std::string path = pelorin::CdPath(parsed.argument, quoting, "/home/me");
    FUZZ_CHECK(path.size() <= parsed.argument.size() + 8);
  }
  return 0;
}
