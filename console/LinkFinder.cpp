// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/LinkFinder.h"

#include <vector>

namespace pelorin {

namespace {

bool Boundary(char c) {
  return c == ' ' || c == '\t' || c == '"' || c == '\'' || c == '`' || c == '<' || c == '>';
}

bool Opening(char c) {
  return c == '(' || c == '[' || c == '{';
}

bool Trailing(char c) {
  return c == ')' || c == ']' || c == '}' || c == ',' || c == ';' || c == '.' || c == ':' ||
         c == '!' || c == '?';
}

bool Digit(char c) {
  return c >= '0' && c <= '9';
}

// [begin, end) less the brackets before and the punctuation after (a word of dots alone, ".."
// for one, keeps them).
void TrimPunctuation(std::string_view line, std::size_t& begin, std::size_t& end) {
  while (begin < end && Opening(line[begin])) {
    ++begin;
  }
  std::size_t cut = end;
  while (cut > begin && Trailing(line[cut - 1])) {
    --cut;
  }
  if (line.substr(begin, end - begin).find_first_not_of('.') != std::string_view::npos) {
    end = cut;
  }
}

// The end of [begin, end) less a ":12" or ":12:5" at its end.
std::size_t WithoutPosition(std::string_view line, std::size_t begin, std::size_t end) {
  for (int part = 0; part < 2; ++part) {
    std::size_t at = end;
    while (at > begin && Digit(line[at - 1])) {
      --at;
    }
    if (at == end || at <= begin + 1 || line[at - 1] != ':') {
      break;
    }
    end = at - 1;
  }
  return end;
}

}  // namespace

std::optional<LinkSpan> FindLink(std::string_view line, std::size_t byte,
                                 const std::function<bool(const std::string&)>& exists) {
  if (byte >= line.size() || Boundary(line[byte])) {
    return std::nullopt;
  }
  std::size_t begin = byte;
  while (begin > 0 && !Boundary(line[begin - 1])) {
    --begin;
  }
  std::size_t end = byte;
  while (end < line.size() && !Boundary(line[end])) {
    ++end;
  }
  const std::string_view word = line.substr(begin, end - begin);
  for (const std::string_view scheme : {"https://", "http://"}) {
    const std::size_t at = word.find(scheme);
    if (at != std::string_view::npos && begin + at <= byte) {
      std::size_t from = begin + at;
      std::size_t to = end;
      TrimPunctuation(line, from, to);
      if (to > from + scheme.size() && byte < to) {
        return LinkSpan{from, to, std::string(line.substr(from, to - from)), true, true};
      }
      return std::nullopt;
    }
  }
  std::vector<std::pair<std::size_t, std::size_t>> tries{{begin, end}};
  std::size_t from = begin;
  std::size_t to = end;
  TrimPunctuation(line, from, to);
  tries.emplace_back(from, to);
  tries.emplace_back(from, WithoutPosition(line, from, to));
  for (const auto& [b, e] : tries) {
    if (e > b && byte >= b && byte < e && exists(std::string(line.substr(b, e - b)))) {
      return LinkSpan{b, e, std::string(line.substr(b, e - b)), false, true};
    }
  }
  const std::string_view trimmed = line.substr(from, to - from);
  if (!trimmed.empty() && trimmed.find_first_of("/\\") != std::string_view::npos) {
    return LinkSpan{from, to, std::string(trimmed), false, false};
  }
  return std::nullopt;
}

}  // namespace pelorin
