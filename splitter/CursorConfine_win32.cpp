// SPDX-License-Identifier: GPL-3.0-or-later
#include "splitter/CursorConfine.h"

#include <windows.h>

#include <QWidget>
#include <cmath>

namespace pelorin {

bool ConfineCursor(const QWidget& widget) {
  const QWidget* window = widget.window();
  const auto hwnd = reinterpret_cast<HWND>(window->winId());
  // Qt measures in device-independent pixels; ClipCursor wants physical ones, counted from the
  // native window's client area.
  const qreal ratio = window->devicePixelRatioF();
  const QPoint offset = widget.mapTo(window, QPoint(0, 0));
  POINT topLeft{static_cast<LONG>(std::lround(offset.x() * ratio)),
                static_cast<LONG>(std::lround(offset.y() * ratio))};
  if (ClientToScreen(hwnd, &topLeft) == 0) {
    return false;
  }
  const RECT area{topLeft.x, topLeft.y,
                  topLeft.x + static_cast<LONG>(std::lround(widget.width() * ratio)),
                  topLeft.y + static_cast<LONG>(std::lround(widget.height() * ratio))};
  return ClipCursor(&area) != 0;
}

void FreeCursor() {
  ClipCursor(nullptr);
}

}  // namespace pelorin
