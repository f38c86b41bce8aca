// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The rules of well-formed UTF-8, shared by everything that cuts or checks UTF-8 text: the
// output decoders, the surface's long-line breaking and the caret's column behind a prompt.

#include <cstddef>
#include <string>
#include <string_view>

namespace pelorin::utf8 {

inline constexpr char kReplacement[] = "\xEF\xBF\xBD";  // U+FFFD

// One replacement character for each of count bytes that form no character.
std::string Replacements(std::size_t count);

constexpr bool IsContinuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

// Length of the sequence a lead byte starts; 0 when the byte cannot start one (continuation
// bytes, the overlong leads C0 and C1, and F5 to FF, which would go beyond U+10FFFF).
constexpr std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) {
    return 1;
  }
  if (lead >= 0xC2 && lead <= 0xDF) {
    return 2;
  }
  if (lead >= 0xE0 && lead <= 0xEF) {
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    return 4;
  }
  return 0;
}

// Whether c may stand at position index (1..3) of a sequence led by lead. The second byte's
// range excludes overlong forms (E0, F0), surrogates (ED) and code points above U+10FFFF (F4).
constexpr bool FitsAt(unsigned char lead, std::size_t index, unsigned char c) {
  if (index == 1) {
    switch (lead) {
      case 0xE0:
        return c >= 0xA0 && c <= 0xBF;
      case 0xED:
        return c >= 0x80 && c <= 0x9F;
      case 0xF0:
        return c >= 0x90 && c <= 0xBF;
      case 0xF4:
        return c >= 0x80 && c <= 0x8F;
      default:
        break;
    }
  }
  return IsContinuation(c);
}

// The length of the text in UTF-16 code units, the unit the surface counts columns in: one per
// character, two for one beyond U+FFFF, and one for each byte that forms no character.
std::size_t Utf16Length(std::string_view text);

}  // namespace pelorin::utf8
