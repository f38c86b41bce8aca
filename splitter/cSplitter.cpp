// SPDX-License-Identifier: GPL-3.0-or-later
#include "splitter/cSplitter.h"

#include <QBrush>
#include <algorithm>
#include <limits>

#include "platform/Rounding.h"
#include "splitter/CursorConfine.h"
#include "splitter/DragBar.h"
#include "splitter/SplitterError.h"

namespace pelorin {

namespace {

[[noreturn]] void InvalidPropertyValue() {
  throw SplitterError(SplitterError::kInvalidPropertyValue, "Invalid property value");
}

// Lengths are added in 64 bits and saturated, so no property value can overflow the arithmetic.
int Saturate(long long value) {
  return static_cast<int>(std::clamp<long long>(value, std::numeric_limits<int>::min(),
                                                std::numeric_limits<int>::max()));
}

// The nearest whole number, a half to the even neighbour (100.5 -> 100, 101.5 -> 102).
int WholePixels(float value) {
  return static_cast<int>(std::clamp<double>(RoundHalfEven(value), std::numeric_limits<int>::min(),
                                             std::numeric_limits<int>::max()));
}

}  // namespace

cSplitter::cSplitter(QObject* parent) : QObject(parent) {}

cSplitter::~cSplitter() {
  if (dragging_) {
    FreeCursor();
  }
  DeleteBarBrush();
}

void cSplitter::SetFullDrag(bool bState) {
  if (bState == fullDrag_) {
    return;
  }
  fullDrag_ = bState;
  if (bState) {
    DeleteBarBrush();
  } else {
    CreateBarBrush();
  }
}

void cSplitter::SetOrientation(int eOrientation) {
  // Any other value would leave the cursor, the layout and the position arithmetic disagreeing
  // about the axis.
  if (eOrientation != OrientationHorizontal && eOrientation != OrientationVertical) {
    InvalidPropertyValue();
  }
  if (eOrientation == orientation_) {
    return;
  }
  orientation_ = eOrientation;
  Resize();
}

float cSplitter::Proportion() const {
  if (proportion_ > 1.0F) {
    proportion_ = 1.0F;
  }
  return proportion_ * 100.0F;
}

void cSplitter::SetProportion(float fProportion) {
  if (!(fProportion >= 0.0F && fProportion <= 100.0F)) {  // NaN fails too
    InvalidPropertyValue();
  }
  proportion_ = fProportion / 100.0F;
  Resize();
}

void cSplitter::SetPosition(int lPosition) {
  if (lPosition == position_) {
    return;
  }
  position_ = lPosition;
  ClampPosition();
  UpdateProportion();
  Resize();
}

void cSplitter::SetSplitterSize(int lSize) {
  if (lSize == splitterSize_) {
    return;
  }
  if (lSize < 0) {
    InvalidPropertyValue();
  }
  splitterSize_ = lSize;
  Resize();
}

void cSplitter::CheckPanel(int ePanel) {
  if (ePanel != PanelLeftTop && ePanel != PanelRightBottom) {
    throw SplitterError(SplitterError::kSubscriptOutOfRange, "Subscript out of range");
  }
}

int cSplitter::MinimumSize(int ePanel) const {
  CheckPanel(ePanel);
  return minimum_[ePanel - 1];
}

void cSplitter::SetMinimumSize(int ePanel, int lSize) {
  CheckPanel(ePanel);
  if (lSize == minimum_[ePanel - 1]) {
    return;
  }
  minimum_[ePanel - 1] = lSize;
  Resize();
}

int cSplitter::MaximumSize(int ePanel) const {
  CheckPanel(ePanel);
  return maximum_[ePanel - 1];
}

void cSplitter::SetMaximumSize(int ePanel, int lSize) {
  CheckPanel(ePanel);
  maximum_[ePanel - 1] = lSize;
}

void cSplitter::Bind(QWidget* oLeftTop, QWidget* oRightBottom) {
  if (container_ == nullptr && oLeftTop != nullptr) {
    container_ = oLeftTop->parentWidget();
  }
  for (QWidget* pane : {oLeftTop, oRightBottom}) {
    if (pane == nullptr || container_ == nullptr) {
      continue;
    }
    if (pane->parentWidget() != container_) {
      // Changing the parent hides a widget; one that was not hidden on purpose shows again.
      const bool hiddenOnPurpose =
          pane->isHidden() && pane->testAttribute(Qt::WA_WState_ExplicitShowHide);
      pane->setParent(container_);
      if (!hiddenOnPurpose) {
        pane->show();
      }
    }
    // Panes would otherwise inherit the sizing cursor the container shows over the bar.
    if (!pane->testAttribute(Qt::WA_SetCursor)) {
      pane->setCursor(Qt::ArrowCursor);
    }
  }
  leftTop_ = oLeftTop;
  rightBottom_ = oRightBottom;
  Resize();
}

void cSplitter::Resize() {
  if (!IsBound()) {
    return;
  }
  if (keepProportion_) {
    position_ = WholePixels(proportion_ * static_cast<float>(Extent()));
    ClampPosition();
  }
  MovePanes();
}

bool cSplitter::IsBound() const {
  return container_ != nullptr && leftTop_ != nullptr && rightBottom_ != nullptr;
}

int cSplitter::Extent() const {
  return orientation_ == OrientationVertical ? container_->width() : container_->height();
}

// Order matters: each later step can undo an earlier one, so the minimums win over the maximums
// and, when the container is too small for both, panel 1 keeps its minimum.
void cSplitter::ClampPosition() {
  if (container_ != nullptr) {  // else nothing to measure against yet
    position_ = Clamped(position_);
  }
}

int cSplitter::Clamped(long long position) const {
  const long long extent = Extent();
  const long long size = splitterSize_;
  const int max1 = maximum_[0];
  const int max2 = maximum_[1];
  const int min1 = minimum_[0];
  const int min2 = minimum_[1];
  if (max2 > 0 && extent - position - size > max2) {
    position = Saturate(extent - max2 - size);
  }
  if (max1 > 0 && position > max1) {
    position = max1;
  }
  if (min2 > 0 && extent - position - size < min2) {
    position = Saturate(extent - min2 - size);
  }
  if (min1 > 0 && position < min1) {
    position = min1;
  }
  return Saturate(position);
}

void cSplitter::UpdateProportion() {
  if (container_ == nullptr) {
    return;
  }
  const int extent = Extent();
  if (extent <= 0) {
    return;  // an empty container says nothing about the proportion: keep the old one
  }
  proportion_ = static_cast<float>(position_) / static_cast<float>(extent);
}

// A pane that would get a negative length is left where it is; the other pane still moves.
void cSplitter::MovePanes() {
  const int width = container_->width();
  const int height = container_->height();
  const auto move = [](QWidget* pane, int x, int y, int w, int h) {
    if (w >= 0 && h >= 0) {
      pane->setGeometry(x, y, w, h);
    }
  };
  if (orientation_ == OrientationHorizontal) {
    move(leftTop_, 0, 0, width, position_);
    const int y = Saturate(static_cast<long long>(splitterSize_) + position_);
    move(rightBottom_, 0, y, width, Saturate(static_cast<long long>(height) - y));
  } else {
    move(leftTop_, 0, 0, position_, height);
    const int x = Saturate(static_cast<long long>(splitterSize_) + position_);
    move(rightBottom_, x, 0, Saturate(static_cast<long long>(width) - x), height);
  }
  emit Moved();
}

// The drag start position plus the cursor's travel along the axis since the drag began.
int cSplitter::DraggedPosition(const QPoint& cursor) const {
  const long long travel = orientation_ == OrientationVertical
                               ? static_cast<long long>(cursor.x()) - dragStart_.x()
                               : static_cast<long long>(cursor.y()) - dragStart_.y();
  return Saturate(dragStartPosition_ + travel);
}

}  // namespace pelorin
