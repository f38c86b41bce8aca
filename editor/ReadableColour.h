// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Keeps coloured text readable on whatever background it lands on. Contrast is measured as the
// Web Content Accessibility Guidelines measure it: (L1 + 0.05) / (L2 + 0.05) of the relative
// luminances, 1 for equal colours up to 21 for black on white. Colours are 0xRRGGBB.

#include <cstdint>

namespace pelorin {

// WCAG's minimums: for text in general, and for large text (what the console asks of colours it
// did not choose, unless the user asked for high contrast).
inline constexpr double kContrastForText = 4.5;
inline constexpr double kContrastForLargeText = 3.0;

double RelativeLuminance(std::uint32_t rgb);
double ContrastRatio(std::uint32_t a, std::uint32_t b);

// fore itself when it stands out from back by at least minRatio; else the same hue made darker
// (on a light background) or lighter (on a dark one) just as far as it needs; black or white,
// whichever stands out more, when even they fall short (a mid-grey background).
std::uint32_t ReadableOn(std::uint32_t fore, std::uint32_t back, double minRatio);

}  // namespace pelorin
