// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What a terminal adds to a command's output that a line console shows differently: the echo of
// the lines typed to the command, and backspace overstrike. Both work on decoded text (UTF-8),
// one tick at a time, and cost what the tick's text costs.

#include <deque>
#include <string>
#include <string_view>
#include <utility>

namespace pelorin {

// Takes the echo of lines given to the command out of its output: a typed line stays on the
// surface as typed and shows once. The echo comes from the terminal (as each line is given, while
// the terminal echoes) or from the command (readline echoes what it reads); either way it is the
// line and a line end (LF, or CR LF), at the start of a tick's text or of a line in it. Program
// output before it is left alone. An echo cut by the end of a tick's text is held for one tick, to
// see whether it goes on; an echo that never comes is given up after a few ticks.
class EchoFilter {
 public:
  static constexpr int kTicksToWait = 10;

  // A line (without its line end) given to the command whose echo is to come.
  void Expect(std::string line);
  // One tick's text of standard output (empty when there was none), less the echo.
  std::string Filter(std::string_view text);
  // A tick has passed: echoes waited for too long are given up.
  void Tick();
  // Nothing more will come: what is held, as it is.
  std::string Flush();

 private:
  struct Expected {
    std::string line;
    int ticksLeft = kTicksToWait;
  };
  std::deque<Expected> expected_;
  std::string held_;
};

// Backspace overstrike, as old programs print bold and underlined text (man through cat:
// "x\bx", "_\bx"): the character shows once, plain. A backspace between two other printable
// characters steps back over the first, as on a terminal, and the second stands in its place (a
// spinner's "|\b/" shows "/"); any other backspace stays as written. Text with backspaces in it
// keeps its last character back, since the next text may strike it over; a character with no
// backspace behind it goes out once its stream has been quiet for kQuietTicks, so that a prompt
// after a spinner ("Password:") is whole while the command waits. One per stream.
class Overstrike {
 public:
  static constexpr int kQuietTicks = 2;

  std::string Filter(std::string_view text);
  // A tick passed without text from this stream: what may go out now.
  std::string Quiet();
  // Nothing more will come: what was kept back, as written.
  std::string Flush() { return std::exchange(held_, std::string()); }

 private:
  std::string held_;  // the end of the last text: a character, a backspace, or both
  int quiet_ = 0;     // ticks without text since held_ was kept
};

// Whether the output's unfinished last line asks for a secret: it ends in "password:" (blanks
// after it aside) or holds "passphrase", in any case. What is typed behind it is not shown.
bool AsksForSecret(std::string_view line);

}  // namespace pelorin
