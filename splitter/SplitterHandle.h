// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The keyboard's way to the bar of a cSplitter. A widget of the container laid over the bar: it
// takes the focus (from Tab or the owner's keys, never from a click), lets every mouse event
// through to the container, where the splitter drags, and moves the bar with the keys: the arrow
// keys a step of kStep pixels, with Ctrl, or Page Up and Page Down, kBigStep; Home and End as far
// as the limits allow. While focused it draws the bar in the highlight colour. Assistive
// technologies see a split pane, with the bar's position as its value.

#include <QWidget>

class QAccessibleInterface;

namespace pelorin {

class cSplitter;

class SplitterHandle : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kStep = 10;
  static constexpr int kBigStep = 100;

  // Lives in the splitter's container, which must be set.
  explicit SplitterHandle(cSplitter& splitter);

  cSplitter& Splitter() const { return splitter_; }
  // Moves the bar by pixels along its axis (within the splitter's limits) and tells assistive
  // technologies the new position.
  void Step(int pixels);
  void MoveTo(int position);
  // The range the bar can reach: the container's, narrowed by the panes' limits.
  int MinimumPosition() const;
  int MaximumPosition() const;

  // For QAccessible::installFactory: the interface of every SplitterHandle.
  static QAccessibleInterface* Factory(const QString& className, QObject* object);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  void FollowBar();

  cSplitter& splitter_;
};

}  // namespace pelorin
