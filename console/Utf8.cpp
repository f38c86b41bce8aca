// SPDX-License-Identifier: GPL-3.0-or-later
#include "console/Utf8.h"

namespace pelorin::utf8 {

std::string Replacements(std::size_t count) {
  std::string marks;
  marks.reserve(count * (sizeof kReplacement - 1));
  for (std::size_t i = 0; i < count; ++i) {
    marks += kReplacement;
  }
  return marks;
}

std::size_t Utf16Length(std::string_view text) {
  std::size_t units = 0;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t need = SequenceLength(lead);
    std::size_t k = 1;
    while (k < need && i + k < text.size() &&
           FitsAt(lead, k, static_cast<unsigned char>(text[i + k]))) {
      ++k;
    }
    if (need > 0 && k == need) {
      units += need == 4 ? 2 : 1;
      i += need;
    } else {
      ++units;
      ++i;
    }
  }
  return units;
}

}  // namespace pelorin::utf8
