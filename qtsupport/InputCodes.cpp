// SPDX-License-Identifier: GPL-3.0-or-later
#include "qtsupport/InputCodes.h"

namespace pelorin {

int ButtonCode(Qt::MouseButtons buttons) {
  return (buttons.testFlag(Qt::LeftButton) ? kLeftButton : 0) |
         (buttons.testFlag(Qt::RightButton) ? kRightButton : 0) |
         (buttons.testFlag(Qt::MiddleButton) ? kMiddleButton : 0);
}

int ShiftCode(Qt::KeyboardModifiers modifiers) {
  return (modifiers.testFlag(Qt::ShiftModifier) ? kShiftMask : 0) |
         (modifiers.testFlag(Qt::ControlModifier) ? kCtrlMask : 0) |
         (modifiers.testFlag(Qt::AltModifier) ? kAltMask : 0);
}

Qt::KeyboardModifiers ModifiersFromShiftCode(int shift) {
  Qt::KeyboardModifiers modifiers;
  modifiers.setFlag(Qt::ShiftModifier, (shift & kShiftMask) != 0);
  modifiers.setFlag(Qt::ControlModifier, (shift & kCtrlMask) != 0);
  modifiers.setFlag(Qt::AltModifier, (shift & kAltMask) != 0);
  return modifiers;
}

}  // namespace pelorin
