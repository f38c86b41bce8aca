// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/TerminalText.h"

#include <utility>

#include "console/AsciiCase.h"
#include "console/Utf8.h"

namespace pelorin {

void EchoFilter::Expect(std::string line) {
  expected_.push_back({std::move(line)});
}

void EchoFilter::Tick() {
  for (Expected& e : expected_) {
    --e.ticksLeft;
  }
  while (!expected_.empty() && expected_.front().ticksLeft <= 0) {
    expected_.pop_front();
  }
}

std::string EchoFilter::Flush() {
  expected_.clear();
  return std::exchange(held_, std::string());
}

namespace {

enum class Match { No, Whole, Cut };

// Whether text at `at` holds line and a line end (whole), or only the beginning of that up to its
// end (cut); end is set to where a whole one stops.
Match EchoAt(std::string_view text, std::size_t at, const std::string& line, std::size_t& end) {
  const std::string_view rest = text.substr(at);
  const std::size_t common = std::min(rest.size(), line.size());
  if (rest.compare(0, common, line, 0, common) != 0) {
    return Match::No;
  }
  if (rest.size() <= line.size()) {
    return Match::Cut;
  }
  std::size_t i = line.size();
  if (rest[i] == '\r') {
    if (++i == rest.size()) {
      return Match::Cut;
    }
  }
  if (rest[i] != '\n') {
    return Match::No;
  }
  end = at + i + 1;
  return Match::Whole;
}

}  // namespace

std::string EchoFilter::Filter(std::string_view text) {
  if (expected_.empty() && held_.empty()) {
    return std::string(text);
  }
  if (text.empty()) {
    return std::exchange(held_, std::string());  // held for one tick at most
  }
  const std::string s = std::exchange(held_, std::string()) + std::string(text);
  std::string out;
  std::size_t pos = 0;
  while (!expected_.empty()) {
    const std::string& line = expected_.front().line;
    // The places an echo may begin: where this text begins, and after each line end in it.
    bool matched = false;
    for (std::size_t at = pos; at <= s.size();) {
      std::size_t end = 0;
      const Match m = at < s.size() ? EchoAt(s, at, line, end) : Match::No;
      if (m == Match::Cut) {
        out.append(s, pos, at - pos);
        held_ = s.substr(at);
        return out;
      }
      if (m == Match::Whole) {
        out.append(s, pos, at - pos);
        pos = end;
        expected_.pop_front();
        matched = true;
        break;
      }
      const std::size_t lf = s.find('\n', at);
      if (lf == std::string::npos) {
        break;
      }
      at = lf + 1;
    }
    if (!matched) {
      break;
    }
  }
  out.append(s, pos, std::string::npos);
  return out;
}

bool AsksForSecret(std::string_view line) {
  std::string lower = ascii::Lowered(line);
  const std::size_t end = lower.find_last_not_of(" \t");
  lower.resize(end == std::string::npos ? 0 : end + 1);
  return lower.ends_with("password:") || lower.find("passphrase") != std::string::npos;
}

std::string Overstrike::Filter(std::string_view text) {
  const bool struck = text.find('\b') != std::string_view::npos;
  if (held_.empty() && !struck) {
    return std::string(text);
  }
  const std::string s = std::exchange(held_, std::string()) + std::string(text);
  quiet_ = 0;
  std::string out;
  out.reserve(s.size());
  // Where the last character put out begins, when it is one a backspace can step back over.
  std::size_t last = std::string::npos;
  bool backspaced = false;
  for (std::size_t i = 0; i < s.size();) {
    const char c = s[i];
    std::size_t length = utf8::SequenceLength(static_cast<unsigned char>(c));
    length = length == 0 ? 1 : std::min(length, s.size() - i);
    const std::string_view ch = std::string_view(s).substr(i, length);
    i += length;
    const bool printable = static_cast<unsigned char>(c) >= 0x20 && c != '\x7f';
    if (std::exchange(backspaced, false)) {
      if (printable && last != std::string::npos) {
        if (ch == "_") {
          continue;  // underlined: the character under the line stays
        }
        out.resize(last);  // this one stands in place of the one before
      } else {
        out += '\b';  // no overstrike: the backspace stays as written
      }
    }
    if (c == '\b') {
      backspaced = true;
      continue;
    }
    last = printable ? out.size() : std::string::npos;
    out.append(ch);
  }
  // Text with overstrike in it may go on in the next tick: its last character (with a backspace
  // after it) waits, so that what comes next can still stand in its place. Plain text that
  // follows overstrike waits for nothing.
  if (last != std::string::npos && (struck || backspaced)) {
    held_ = out.substr(last);
    out.resize(last);
  }
  if (backspaced) {
    held_ += '\b';
  }
  return out;
}

std::string Overstrike::Quiet() {
  if (held_.empty() || held_.ends_with('\b') || ++quiet_ < kQuietTicks) {
    return {};
  }
  return Flush();
}

}  // namespace pelorin
