// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One tick's changes to the end of the surface, as the output composer makes them and the
// surface (ConsoleView::ApplyOutput) carries them out.

#include <cstddef>
#include <string>
#include <vector>

#include "console/TextStyle.h"

namespace pelorin {

// Text in a non-default style: bytes [begin, begin + length) of OutputEdits::text.
struct StyledRun {
  std::size_t begin = 0;
  std::size_t length = 0;
  TextStyle style;
  friend bool operator==(const StyledRun&, const StyledRun&) = default;
};

// Applied in this order:
// 1. when rewriteLine: the line goes back to its first keepBytes bytes (the label). A line that
//    was broken by soft breaks begins linesBack surface lines above the last one: its first
//    piece keeps those bytes and every piece after it goes;
// 2. text goes at the very end, with runs giving the look of the parts that are not plain;
// 3. the line ends that begin at the offsets in softBreaks (into text) are the surface's own,
//    put in where a line grew too long to draw: the command never wrote them, so whatever is
//    copied leaves them out.
// Plain output has no runs at all. A rewrite only ever touches the last line of output, whose
// pieces hold what was written since its first piece: its cost is that line's, whatever came
// before it.
struct OutputEdits {
  bool rewriteLine = false;
  std::size_t keepBytes = 0;
  std::size_t linesBack = 0;
  std::string text;
  std::vector<StyledRun> runs;
  std::vector<std::size_t> softBreaks;

  bool Empty() const { return !rewriteLine && text.empty(); }
};

}  // namespace pelorin
