// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Confining the mouse cursor to a widget's area on the screen during a drag.

class QWidget;

namespace pelorin {

// Keeps the cursor inside widget's area until FreeCursor. Returns false where the platform
// cannot confine the cursor; the caller then holds the cursor position inside the area itself.
bool ConfineCursor(const QWidget& widget);
void FreeCursor();

}  // namespace pelorin
