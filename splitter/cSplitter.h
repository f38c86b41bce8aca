// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// cSplitter divides a container widget into two panes separated by a bar of fixed thickness and
// keeps the panes filling the container on either side of it. The bar is the strip the panes
// leave uncovered, so the container's own mouse events are the bar's: the owner forwards them to
// MouseDown, MouseMove and MouseUp (or lets ForwardEventsFrom do it). Lengths are pixels of the
// container.
//
// Invalid property values throw SplitterError 380, a panel other than 1 or 2 throws
// SplitterError 9; in both cases nothing changes.

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>
#include <memory>

class QBrush;
class QMouseEvent;

namespace pelorin {

class DragBar;

class cSplitter : public QObject {
  Q_OBJECT

 public:
  enum { OrientationHorizontal = 1, OrientationVertical = 2 };
  enum { PanelLeftTop = 1, PanelRightBottom = 2 };

  explicit cSplitter(QObject* parent = nullptr);
  ~cSplitter() override;

  // True: the panes follow the cursor while dragging. False: a checkered bar follows it and the
  // panes move once, at release.
  bool FullDrag() const { return fullDrag_; }
  void SetFullDrag(bool bState);
  // 1: bar across, top and bottom panes. 2: bar upright, left and right panes.
  int Orientation() const { return orientation_; }
  void SetOrientation(int eOrientation);
  // Percent, 0 to 100; used to place the bar on Resize when KeepProportion is set.
  float Proportion() const;
  void SetProportion(float fProportion);
  // Length of panel 1, the bar's offset along the axis.
  int Position() const { return position_; }
  void SetPosition(int lPosition);
  bool KeepProportion() const { return keepProportion_; }
  void SetKeepProportion(bool bState) { keepProportion_ = bState; }
  void SetContainer(QWidget* oContainer) { container_ = oContainer; }
  QWidget* Container() const { return container_; }
  int SplitterSize() const { return splitterSize_; }
  void SetSplitterSize(int lSize);
  // Limits per panel (ePanel 1 or 2); 0 or less means no limit. A new maximum waits for the next
  // layout that clamps.
  int MinimumSize(int ePanel) const;
  void SetMinimumSize(int ePanel, int lSize);
  int MaximumSize(int ePanel) const;
  void SetMaximumSize(int ePanel, int lSize);

  // Puts both panes into the container (the left pane's parent when no container is set yet)
  // and lays them out.
  void Bind(QWidget* oLeftTop, QWidget* oRightBottom);
  // Button: 1 left, 2 right, 4 middle. Shift is not used; x and y only reach BeforeDrag. The drag
  // itself follows the cursor's screen position.
  void MouseDown(int Button, int Shift, float x, float y);
  void MouseMove(int Button, int Shift, float x, float y);
  void MouseUp(int Button, int Shift, float x, float y);
  void Resize();

  // Forwards oContainer's mouse presses, moves and releases on the bar to MouseDown, MouseMove
  // and MouseUp (not those a pane ignored and Qt passed on), and its resizes to Resize. Turns on
  // mouse tracking so the sizing cursor shows on hover.
  void ForwardEventsFrom(QWidget* oContainer);
  // Where the drag reads the cursor's screen position (QCursor::pos unless replaced).
  void SetCursorSource(std::function<QPoint()> source);

 signals:
  // Raised by MouseDown before a drag starts, with the mouse-down's coordinates as received and
  // bCancel false; a handler that sets bCancel prevents the drag. The arguments are references:
  // connect with a direct connection.
  void BeforeDrag(float& x, float& y, bool& bCancel);
  // The panes were laid out again: the bar may stand elsewhere.
  void Moved();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool IsBound() const;
  int Extent() const;
  friend class SplitterHandle;  // its accessible range is where the bar can go: Extent, Clamped
  void ClampPosition();
  // Where the bar stops when asked to go to position, within the container and the limits.
  int Clamped(long long position) const;
  void UpdateProportion();
  void MovePanes();
  static void CheckPanel(int ePanel);
  bool IsBarEvent(QWidget* watched, const QMouseEvent& event) const;

  Qt::CursorShape SizingCursor() const;
  QRect ContainerScreenRect() const;
  QRect BarRect(const QRect& containerRect) const;
  QPoint CursorPos() const;
  int DraggedPosition(const QPoint& cursor) const;
  void ShowDragBar(const QRect& rect);
  void HideDragBar();
  void CreateBarBrush();
  void DeleteBarBrush();

  bool keepProportion_ = false;
  bool fullDrag_ = true;
  mutable float proportion_ = 0.5F;  // a fraction; the getter caps it at 1
  int position_ = 128;
  int splitterSize_ = 4;
  int minimum_[2] = {8, 8};
  int maximum_[2] = {-1, -1};
  int orientation_ = OrientationHorizontal;
  QPointer<QWidget> container_;
  QPointer<QWidget> leftTop_;
  QPointer<QWidget> rightBottom_;

  bool dragging_ = false;
  QPoint dragStart_;
  int dragStartPosition_ = 0;
  std::unique_ptr<QBrush> barBrush_;
  QPointer<DragBar> dragBar_;
  std::function<QPoint()> cursorSource_;
};

}  // namespace pelorin
