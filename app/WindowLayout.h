// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QRect>
#include <optional>

namespace pelorin {

// Where the main container goes: between the menu row (top element) and, when it is shown, the
// bottom bar, across the full width. Nothing while the window is minimised; a client area lower
// than the bars gives the container no height rather than a negative one.
struct LayoutInput {
  bool minimized = false;
  int innerWidth = 0;
  int innerHeight = 0;
  int topHeight = 0;
  bool bottomVisible = false;
  int bottomHeight = 0;
};

std::optional<QRect> ContainerGeometry(const LayoutInput& in);

}  // namespace pelorin
