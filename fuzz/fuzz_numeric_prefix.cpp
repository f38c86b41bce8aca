// SPDX-License-Identifier: GPL-3.0-or-later
// The leading-number reader of the bottom panels on arbitrary typed text.

#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "editor/NumericPrefix.h"
#include "fuzz/FuzzCheck.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const double number = pelorin::LeadingNumber(text);
  FUZZ_CHECK(!std::isnan(number));

  for (const int lineCount : {INT_MIN, -1, 0, 1, 2, 1000, INT_MAX}) {
    const std::optional<int> index = pelorin::LineIndexFromText(text, lineCount);
    if (!index)
      continue;
    FUZZ_CHECK(*index >= 0 && *index < lineCount);
    // The index is the typed number less one, rounded: never further than a half from it.
    FUZZ_CHECK(std::fabs(static_cast<double>(*index) - (number - 1.0)) <= 0.5);
  }
  return 0;
}
