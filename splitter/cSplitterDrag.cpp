// SPDX-License-Identifier: GPL-3.0-or-later
// Dragging the bar of a cSplitter, and the optional forwarding of a container's events.

#include <QBrush>
#include <QCursor>
#include <QMouseEvent>

#include "qtsupport/InputCodes.h"
#include "splitter/CursorConfine.h"
#include "splitter/DragBar.h"
#include "splitter/cSplitter.h"

namespace pelorin {

namespace {

// Hands a mouse event of the container to one of the splitter's mouse methods, with the button
// and shift codes they take (buttons: the one that changed, or all held while moving).
void Forward(cSplitter& splitter, void (cSplitter::*handler)(int, int, float, float),
             Qt::MouseButtons buttons, const QMouseEvent& mouse) {
  (splitter.*handler)(ButtonCode(buttons), ShiftCode(mouse.modifiers()),
                      static_cast<float>(mouse.position().x()),
                      static_cast<float>(mouse.position().y()));
}

}  // namespace

void cSplitter::MouseDown(int Button, int /*Shift*/, float x, float y) {
  if (Button != kLeftButton || !IsBound()) {
    return;
  }
  bool bCancel = false;
  emit BeforeDrag(x, y, bCancel);
  if (bCancel || !IsBound()) {
    return;
  }
  dragging_ = true;
  dragStart_ = CursorPos();
  dragStartPosition_ = position_;
  ConfineCursor(*container_);
  if (!fullDrag_) {
    ShowDragBar(BarRect(ContainerScreenRect()));
  }
}

void cSplitter::MouseMove(int /*Button*/, int /*Shift*/, float /*x*/, float /*y*/) {
  if (!IsBound()) {
    return;
  }
  container_->setCursor(SizingCursor());
  if (!dragging_) {
    return;
  }
  position_ = DraggedPosition(CursorPos());
  ClampPosition();
  if (fullDrag_) {
    MovePanes();
  } else {
    ShowDragBar(BarRect(ContainerScreenRect()));  // moving the bar repaints where it was
  }
}

void cSplitter::MouseUp(int /*Button*/, int /*Shift*/, float /*x*/, float /*y*/) {
  if (!dragging_) {
    return;
  }
  FreeCursor();
  if (!IsBound()) {
    // A pane or the container went away mid-drag: end the drag without a layout.
    HideDragBar();
    dragging_ = false;
    return;
  }
  const QPoint cursor = CursorPos();
  HideDragBar();
  position_ = DraggedPosition(cursor);
  ClampPosition();
  MovePanes();
  UpdateProportion();
  dragging_ = false;
}

void cSplitter::SetCursorSource(std::function<QPoint()> source) {
  cursorSource_ = std::move(source);
}

void cSplitter::ForwardEventsFrom(QWidget* oContainer) {
  oContainer->setMouseTracking(true);
  oContainer->installEventFilter(this);
}

// Qt passes a press or move a pane ignores on to the pane's parent; that is the pane's event,
// not the bar's. Once a drag runs, every event of the container belongs to it.
bool cSplitter::IsBarEvent(QWidget* watched, const QMouseEvent& event) const {
  if (dragging_) {
    return true;
  }
  const QWidget* hit = watched->childAt(event.position().toPoint());
  return hit == nullptr;
}

bool cSplitter::eventFilter(QObject* watched, QEvent* event) {
  if (!watched->isWidgetType()) {
    return false;
  }
  auto* widget = static_cast<QWidget*>(watched);
  switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:  // a double click's second press is a press too
    case QEvent::MouseMove: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (!IsBarEvent(widget, *mouse)) {
        return false;
      }
      if (event->type() == QEvent::MouseMove) {
        Forward(*this, &cSplitter::MouseMove, mouse->buttons(), *mouse);
      } else {
        Forward(*this, &cSplitter::MouseDown, mouse->button(), *mouse);
      }
      return true;
    }
    case QEvent::MouseButtonRelease: {
      const bool ending = dragging_;
      const auto* mouse = static_cast<QMouseEvent*>(event);
      Forward(*this, &cSplitter::MouseUp, mouse->button(), *mouse);
      return ending;
    }
    case QEvent::Resize:
      Resize();
      return false;
    default:
      return false;
  }
}

Qt::CursorShape cSplitter::SizingCursor() const {
  return orientation_ == OrientationHorizontal ? Qt::SizeVerCursor : Qt::SizeHorCursor;
}

// The container's client area in screen pixels: the bar is drawn where the panes will meet.
QRect cSplitter::ContainerScreenRect() const {
  return QRect(container_->mapToGlobal(QPoint(0, 0)), container_->size());
}

QRect cSplitter::BarRect(const QRect& containerRect) const {
  if (orientation_ == OrientationVertical) {
    return QRect(containerRect.left() + position_, containerRect.top(), splitterSize_,
                 containerRect.height());
  }
  return QRect(containerRect.left(), containerRect.top() + position_, containerRect.width(),
               splitterSize_);
}

// The cursor's screen position, held inside the container: where the platform confines the
// cursor this changes nothing, elsewhere it has the same effect on the drag.
QPoint cSplitter::CursorPos() const {
  const QPoint cursor = cursorSource_ ? cursorSource_() : QCursor::pos();
  const QRect area = ContainerScreenRect();
  return QPoint(qBound(area.left(), cursor.x(), area.right()),
                qBound(area.top(), cursor.y(), area.bottom()));
}

void cSplitter::ShowDragBar(const QRect& rect) {
  if (barBrush_ == nullptr) {
    return;
  }
  if (dragBar_ == nullptr || dragBar_->parentWidget() != container_) {
    delete dragBar_.data();
    dragBar_ = new DragBar(container_, *barBrush_, SizingCursor());
  }
  dragBar_->ShowAt(rect);
}

// Deleting the bar repaints what it covered.
void cSplitter::HideDragBar() {
  delete dragBar_.data();
}

void cSplitter::CreateBarBrush() {
  DeleteBarBrush();
  barBrush_ = std::make_unique<QBrush>(CheckeredBarBrush());
}

void cSplitter::DeleteBarBrush() {
  HideDragBar();  // a bar on screen without its brush could never be taken away
  barBrush_.reset();
}

}  // namespace pelorin
