// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/CommandLine.h"

namespace pelorin {

namespace {
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
}  // namespace

std::string NormalizeBlanks(std::string_view text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) {
    ++begin;
  }
  while (end > begin && IsBlank(text[end - 1])) {
    --end;
  }
  std::string result;
  result.reserve(end - begin);
  for (std::size_t i = begin; i < end; ++i) {
    if (!IsBlank(text[i])) {
      result.push_back(text[i]);
    } else if (result.back() != ' ') {  // never empty here: the text starts with a non-blank
      result.push_back(' ');
    }
  }
  return result;
}

ParsedLine ParseCommandLine(std::string_view line) {
  if (line.empty()) {
    return {LineKind::Empty, {}};
  }
  if (line == "cd") {
    return {LineKind::BareCd, {}};
  }
  if (line.size() >= 3 && (line.substr(0, 3) == "cd " || line.substr(0, 3) == "cd.")) {
    return {LineKind::Cd, std::string(line.substr(2))};
  }
  if (line == "run") {
    return {LineKind::BareRun, {}};
  }
  if (line.size() >= 4 && line.substr(0, 4) == "run ") {
    return {LineKind::Run, std::string(line.substr(4))};
  }
  return {LineKind::External, {}};
}

}  // namespace pelorin
