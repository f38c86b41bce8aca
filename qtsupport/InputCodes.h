// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The numeric codes for mouse buttons and shift keys that the surface's click event, the
// splitter's mouse methods and the command bar's shortcuts take, and their Qt counterparts.
// Codes combine by bitwise or: Ctrl+Alt is kCtrlMask | kAltMask, 6.

#include <Qt>

namespace pelorin {

inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;
inline constexpr int kMiddleButton = 4;

inline constexpr int kShiftMask = 1;
inline constexpr int kCtrlMask = 2;
inline constexpr int kAltMask = 4;

int ButtonCode(Qt::MouseButtons buttons);
int ShiftCode(Qt::KeyboardModifiers modifiers);
Qt::KeyboardModifiers ModifiersFromShiftCode(int shift);

}  // namespace pelorin
