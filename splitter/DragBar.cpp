// SPDX-License-Identifier: GPL-3.0-or-later
#include "splitter/DragBar.h"

#include <QBitmap>
#include <QPainter>

namespace pelorin {

QBrush CheckeredBarBrush() {
  // Most significant bit first, two bytes a row: the monochrome bitmap layout of the pattern.
  static const uchar kBits[16] = {0x55, 0x55, 0xAA, 0xAA, 0x55, 0x55, 0xAA, 0xAA,
                                  0x55, 0x55, 0xAA, 0xAA, 0x55, 0x55, 0xAA, 0xAA};
  const QBitmap pattern = QBitmap::fromData(QSize(16, 8), kBits, QImage::Format_Mono);
  // A bitmap brush paints its 1-bits in the brush colour and leaves its 0-bits transparent;
  // white XOR a pixel is that pixel inverted.
  return QBrush(Qt::white, pattern);
}

DragBar::DragBar(QWidget* container, const QBrush& brush, Qt::CursorShape cursor)
    : QWidget(container), brush_(brush) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAttribute(Qt::WA_NoSystemBackground);
  setCursor(cursor);
  hide();
}

void DragBar::ShowAt(const QRect& screenRect) {
  setGeometry(QRect(parentWidget()->mapFromGlobal(screenRect.topLeft()), screenRect.size()));
  raise();
  show();
}

void DragBar::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  // Anchor the checkerboard to the window, so the pattern stays put under a moving bar.
  painter.setBrushOrigin(-mapTo(window(), QPoint(0, 0)));
  painter.fillRect(rect(), brush_);
}

}  // namespace pelorin
