// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The checkered bar that follows the cursor while a splitter bar is dragged without moving the
// panes. It is a child widget laid over the container: every other pixel of the strip beneath is
// inverted, and hiding the widget repaints what it covered, so it leaves no trace.

#include <QBrush>
#include <QWidget>

namespace pelorin {

// A pattern brush from the 16 x 8 one-bit checkerboard (rows 55 55, AA AA alternating): drawn
// with XOR, its 1-bits invert the pixel beneath and its 0-bits leave it.
QBrush CheckeredBarBrush();

class DragBar : public QWidget {
  Q_OBJECT

 public:
  DragBar(QWidget* container, const QBrush& brush, Qt::CursorShape cursor);

  // Places the bar over screenRect (screen pixels), above the panes, and shows it.
  void ShowAt(const QRect& screenRect);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QBrush brush_;
};

}  // namespace pelorin
