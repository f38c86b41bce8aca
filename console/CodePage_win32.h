// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Decoding of the interpreter's output from a Windows code page, one read at a time. Behind
// OutputDecoder on Windows; separate so that other code pages than this machine's can be tested.

#include <cstddef>
#include <string>
#include <string_view>

namespace pelorin::win {

// The code page a program on the command's console writes when it does not write UTF-8: the
// system's OEM code page, which every new console starts in.
unsigned InterpreterCodePage();

// Length of the longest prefix of bytes that ends on a character boundary: a DBCS lead byte or
// an incomplete UTF-8 sequence at the very end is left out.
std::size_t CompletePrefix(unsigned codePage, std::string_view bytes);

class CodePageDecoder {
 public:
  explicit CodePageDecoder(unsigned codePage) : codePage_(codePage) {}

  // Complete characters of everything received so far, as UTF-8; an incomplete tail waits.
  std::string Decode(std::string_view bytes);
  // What still waits, one U+FFFD per byte.
  std::string Finish();

 private:
  unsigned codePage_;
  std::string pending_;
};

// The command's output: UTF-8 (what cmd writes on the command's UTF-8 console), line by line;
// a line that is not valid UTF-8 comes from a program writing its own code page and is read
// whole in the fallback code page. Where a line is split across reads, each read's part is
// judged by itself, and once a part is found not UTF-8 the rest of that line follows it.
class Utf8OrCodePageDecoder {
 public:
  explicit Utf8OrCodePageDecoder(unsigned fallbackCodePage) : fallback_(fallbackCodePage) {}

  std::string Decode(std::string_view bytes);
  // What still waits, in the fallback code page: as UTF-8 it could never complete.
  std::string Finish();

 private:
  std::string DecodePart(std::string_view part, bool lineEnds);

  CodePageDecoder fallback_;
  std::string pending_;  // a UTF-8 sequence still incomplete at the end of the last read
  bool lineInFallback_ = false;
};

}  // namespace pelorin::win
