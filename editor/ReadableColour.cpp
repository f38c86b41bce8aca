// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ReadableColour.h"

#include <array>
#include <cmath>

namespace pelorin {

namespace {

// The sRGB transfer function, once for each of the 256 channel values.
const std::array<double, 256>& LinearChannel() {
  static const std::array<double, 256> table = [] {
    std::array<double, 256> t{};
    for (int i = 0; i < 256; ++i) {
      const double c = i / 255.0;
      t[static_cast<std::size_t>(i)] =
          c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    }
    return t;
  }();
  return table;
}

std::uint32_t Channel(std::uint32_t rgb, int shift) {
  return (rgb >> shift) & 0xFF;
}

// Each channel moved the fraction t of the way from the colour towards target (0 or 255).
std::uint32_t Towards(std::uint32_t rgb, std::uint32_t target, double t) {
  std::uint32_t out = 0;
  for (const int shift : {16, 8, 0}) {
    const double c = Channel(rgb, shift);
    const double moved = c + (static_cast<double>(target) - c) * t;
    out |= static_cast<std::uint32_t>(std::lround(moved)) << shift;
  }
  return out;
}

}  // namespace

double RelativeLuminance(std::uint32_t rgb) {
  const auto& linear = LinearChannel();
  return 0.2126 * linear[Channel(rgb, 16)] + 0.7152 * linear[Channel(rgb, 8)] +
         0.0722 * linear[Channel(rgb, 0)];
}

double ContrastRatio(std::uint32_t a, std::uint32_t b) {
  const double la = RelativeLuminance(a);
  const double lb = RelativeLuminance(b);
  return la > lb ? (la + 0.05) / (lb + 0.05) : (lb + 0.05) / (la + 0.05);
}

std::uint32_t ReadableOn(std::uint32_t fore, std::uint32_t back, double minRatio) {
  fore &= 0xFFFFFF;
  back &= 0xFFFFFF;
  if (ContrastRatio(fore, back) >= minRatio) {
    return fore;
  }
  constexpr std::uint32_t kBlack = 0x000000, kWhite = 0xFFFFFF;
  // Towards whichever end stands out more from the background.
  const bool darken = ContrastRatio(kBlack, back) >= ContrastRatio(kWhite, back);
  const std::uint32_t end = darken ? kBlack : kWhite;
  if (ContrastRatio(end, back) < minRatio) {
    return end;
  }
  // The least move that reaches the ratio: contrast grows steadily along the way.
  double low = 0.0, high = 1.0;
  for (int i = 0; i < 16; ++i) {
    const double mid = (low + high) / 2;
    (ContrastRatio(Towards(fore, darken ? 0 : 255, mid), back) >= minRatio ? high : low) = mid;
  }
  return Towards(fore, darken ? 0 : 255, high);
}

}  // namespace pelorin
