// SPDX-License-Identifier: GPL-3.0-or-later
#include "splitter/SplitterHandle.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QKeyEvent>
#include <QPainter>
#include <algorithm>
#include <limits>

#include "splitter/cSplitter.h"

namespace pelorin {

namespace {

// A split pane whose value is the bar's position: what a screen reader reads as it moves.
class HandleAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit HandleAccessible(SplitterHandle* handle)
      : QAccessibleWidget(handle, QAccessible::Splitter) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) {
      return static_cast<QAccessibleValueInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
  }
  QVariant currentValue() const override { return Splitter().Position(); }
  void setCurrentValue(const QVariant& value) override { Handle()->MoveTo(value.toInt()); }
  QVariant maximumValue() const override { return Handle()->MaximumPosition(); }
  QVariant minimumValue() const override { return Handle()->MinimumPosition(); }
  QVariant minimumStepSize() const override { return SplitterHandle::kStep; }

 private:
  SplitterHandle* Handle() const { return static_cast<SplitterHandle*>(widget()); }
  cSplitter& Splitter() const { return Handle()->Splitter(); }
};

}  // namespace

SplitterHandle::SplitterHandle(cSplitter& splitter)
    : QWidget(splitter.Container()), splitter_(splitter) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  Q_UNUSED(factoryInstalled);
  setFocusPolicy(Qt::TabFocus);
  // The container's own mouse events are the bar's: the splitter drags from them.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setAccessibleDescription(QStringLiteral("Arrow keys move it"));
  connect(&splitter_, &cSplitter::Moved, this, &SplitterHandle::FollowBar);
  FollowBar();
  show();
}

QAccessibleInterface* SplitterHandle::Factory(const QString& className, QObject* object) {
  if (object != nullptr && object->isWidgetType() &&
      className == QLatin1String(SplitterHandle::staticMetaObject.className())) {
    return new HandleAccessible(static_cast<SplitterHandle*>(object));
  }
  return nullptr;
}

void SplitterHandle::FollowBar() {
  const QWidget* container = splitter_.Container();
  if (container == nullptr) {
    return;
  }
  const int at = splitter_.Position();
  const int size = splitter_.SplitterSize();
  if (splitter_.Orientation() == cSplitter::OrientationVertical) {
    setGeometry(at, 0, size, container->height());
  } else {
    setGeometry(0, at, container->width(), size);
  }
  raise();
}

void SplitterHandle::MoveTo(int position) {
  const int before = splitter_.Position();
  splitter_.SetPosition(position);
  if (splitter_.Position() != before) {
    QAccessibleValueChangeEvent event(this, splitter_.Position());
    QAccessible::updateAccessibility(&event);
  }
}

int SplitterHandle::MinimumPosition() const {
  return splitter_.Container() == nullptr ? 0 : std::max(0, splitter_.Clamped(0));
}

int SplitterHandle::MaximumPosition() const {
  if (splitter_.Container() == nullptr) {
    return 0;
  }
  const long long room = static_cast<long long>(splitter_.Extent()) - splitter_.SplitterSize();
  return std::max(0, splitter_.Clamped(room));
}

void SplitterHandle::Step(int pixels) {
  const long long target = static_cast<long long>(splitter_.Position()) + pixels;
  MoveTo(static_cast<int>(std::clamp<long long>(target, 0, std::numeric_limits<int>::max())));
}

void SplitterHandle::keyPressEvent(QKeyEvent* event) {
  const bool big = (event->modifiers() & Qt::ControlModifier) != 0;
  const int step = big ? kBigStep : kStep;
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
      Step(-step);
      break;
    case Qt::Key_Right:
    case Qt::Key_Down:
      Step(step);
      break;
    case Qt::Key_PageUp:
      Step(-kBigStep);
      break;
    case Qt::Key_PageDown:
      Step(kBigStep);
      break;
    case Qt::Key_Home:
      MoveTo(0);
      break;
    case Qt::Key_End:
      MoveTo(std::numeric_limits<int>::max());
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}

void SplitterHandle::paintEvent(QPaintEvent* /*event*/) {
  if (hasFocus()) {
    QPainter(this).fillRect(rect(), palette().highlight());
  }
}

void SplitterHandle::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void SplitterHandle::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

}  // namespace pelorin
