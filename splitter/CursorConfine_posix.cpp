// SPDX-License-Identifier: GPL-3.0-or-later
#include "splitter/CursorConfine.h"

namespace pelorin {

// X11 and Wayland give no way to confine the cursor short of an active pointer grab, which a
// window already has while its button is held; the drag clamps the position instead.
bool ConfineCursor(const QWidget& /*widget*/) {
  return false;
}

void FreeCursor() {}

}  // namespace pelorin
