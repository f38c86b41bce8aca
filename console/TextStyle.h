// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The look a program asked for its text with colour sequences: foreground, background, bold.
// Eight bytes and a flag; the default look is the one plain text has and costs nothing on the
// surface.

#include <cstdint>

namespace pelorin {

struct TextStyle {
  // Colours are 0xRRGGBB, or one of these two, which the surface resolves to its own colours
  // (reverse video of default text swaps them).
  static constexpr std::uint32_t kDefaultFore = 0x01000000;
  static constexpr std::uint32_t kDefaultBack = 0x02000000;

  std::uint32_t fore = kDefaultFore;
  std::uint32_t back = kDefaultBack;
  bool bold = false;

  bool IsDefault() const { return *this == TextStyle{}; }
  friend bool operator==(const TextStyle&, const TextStyle&) = default;
};

}  // namespace pelorin
