// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Decoding of the interpreter's output from a Windows code page, one read at a time. Behind
// OutputDecoder on Windows; separate so that other code pages than this machine's can be tested.

#include <cstddef>
#include <string>
#include <string_view>

namespace pelorin::win {

// The code page the interpreter writes to our pipes (see OutputDecoder_win32.cpp).
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

}  // namespace pelorin::win
