// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Twips (1/1440 inch), the unit of the window's stored placement and of its fixed layout
// figures, converted at a screen's logical dots per inch; halves go to the even neighbour.

#include <algorithm>
#include <cstdint>
#include <limits>

#include "platform/Rounding.h"

namespace pelorin {

inline std::int32_t PixelsToTwips(int pixels, double dpi) {
  return static_cast<std::int32_t>(RoundHalfEven(pixels * 1440.0 / dpi));
}

inline int TwipsToPixels(std::int32_t twips, double dpi) {
  constexpr double kMax = std::numeric_limits<int>::max() / 2;
  return static_cast<int>(std::clamp(RoundHalfEven(twips * dpi / 1440.0), -kMax, kMax));
}

}  // namespace pelorin
