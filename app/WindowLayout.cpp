// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/WindowLayout.h"

#include <algorithm>

namespace pelorin {

std::optional<QRect> ContainerGeometry(const LayoutInput& in) {
  if (in.minimized) {
    return std::nullopt;
  }
  int height = in.innerHeight - in.topHeight;
  if (in.bottomVisible) {
    height -= in.bottomHeight;
  }
  return QRect(0, in.topHeight, std::max(0, in.innerWidth), std::max(0, height));
}

}  // namespace pelorin
