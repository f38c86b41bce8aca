// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Window placement as the store keeps it: the outer frame of the normal window in twips.

#include <QList>
#include <QRect>
#include <QSize>
#include <cstdint>
#include <optional>

#include "platform/Twips.h"

class QWidget;

namespace pelorin {

// Stored placement values; an absent one leaves the window's own value.
struct StoredPlacement {
  std::optional<std::int32_t> top;
  std::optional<std::int32_t> left;
  std::optional<std::int32_t> width;
  std::optional<std::int32_t> height;
};

// The smallest outer size a stored placement may give the window, in pixels at the screen's
// dots per inch (4800 x 3000 twips at 96): room for the menu row and a few lines of the
// console. A smaller stored width or height is no size anyone chose: it counts as absent.
inline constexpr QSize kMinUsableSize(320, 200);

// A frame that shows too little on every screen (less than a 32-pixel square, or the frame's
// whole self if smaller) is moved, and shrunk if needed, to lie inside the nearest screen.
QRect BringOntoScreen(const QRect& frame, const QList<QRect>& screens);

// Applies the stored values to the window's outer frame, brought onto a screen; a width or
// height below kMinUsableSize is left out, and a window without a stored position is not moved
// (the window system places it). A window not yet shown has no frame yet: its size is corrected
// once the window system reports the frame.
void ApplyPlacement(QWidget& window, const StoredPlacement& stored);

// The window's outer frame in twips, in the order top, left, width, height.
StoredPlacement CurrentPlacement(const QWidget& window);

}  // namespace pelorin
