// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The program's one rule for making a whole number of a fractional one: the nearest, a half
// going to the even neighbour (0.5 gives 0, 1.5 and 2.5 give 2), whatever the floating-point
// rounding mode happens to be. NaN and the infinities stay as they are.

#include <cmath>

namespace pelorin {

inline double RoundHalfEven(double value) {
  const double whole = std::floor(value);
  const double rest = value - whole;
  if (rest > 0.5 || (rest == 0.5 && std::fmod(whole, 2.0) != 0.0)) {
    return whole + 1.0;
  }
  return whole;
}

}  // namespace pelorin
