// SPDX-License-Identifier: GPL-3.0-or-later
#include "prefs/WindowPlacement.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>
#include <limits>

namespace pelorin {

namespace {

constexpr int kMinVisible = 32;

double DpiX(const QWidget& window) {
  const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  return screen ? screen->logicalDotsPerInchX() : 96.0;
}

double DpiY(const QWidget& window) {
  const QScreen* screen = window.screen() ? window.screen() : QGuiApplication::primaryScreen();
  return screen ? screen->logicalDotsPerInchY() : 96.0;
}

std::int64_t DistanceSquared(const QPoint& p, const QRect& r) {
  const std::int64_t dx = p.x() < r.left() ? r.left() - p.x() : std::max(0, p.x() - r.right());
  const std::int64_t dy = p.y() < r.top() ? r.top() - p.y() : std::max(0, p.y() - r.bottom());
  return dx * dx + dy * dy;
}

// Keeps the outer size of a window that was placed before it had a frame: once the window
// system has framed it, the frame is taken off the client size. Gives up a few seconds after
// the window is shown.
class OuterSizeKeeper : public QObject {
 public:
  OuterSizeKeeper(QWidget& window, QSize outer) : QObject(&window), outer_(outer) {
    window.installEventFilter(this);
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* window = static_cast<QWidget*>(watched);
    switch (event->type()) {
      case QEvent::Show:
        QTimer::singleShot(3000, this, &QObject::deleteLater);
        [[fallthrough]];
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::WindowActivate: {
        const QSize frame = window->frameGeometry().size() - window->size();
        if (window->isVisible() && !frame.isNull()) {
          if (window->windowState() == Qt::WindowNoState) {
            window->resize(outer_ - frame);
          }
          deleteLater();
        }
        break;
      }
      default:
        break;
    }
    return false;
  }

 private:
  QSize outer_;
};

}  // namespace

QRect BringOntoScreen(const QRect& frame, const QList<QRect>& screens) {
  if (screens.isEmpty()) {
    return frame;
  }
  const QRect normal = frame.normalized();
  const int needW = std::min(kMinVisible, std::max(1, normal.width()));
  const int needH = std::min(kMinVisible, std::max(1, normal.height()));
  for (const QRect& screen : screens) {
    const QRect seen = screen.intersected(normal);
    if (seen.width() >= needW && seen.height() >= needH) {
      return frame;
    }
  }
  const QPoint centre = normal.center();
  const QRect* nearest = &screens.front();
  for (const QRect& screen : screens) {
    if (DistanceSquared(centre, screen) < DistanceSquared(centre, *nearest)) {
      nearest = &screen;
    }
  }
  QRect moved(normal.topLeft(), normal.size().boundedTo(nearest->size()).expandedTo(QSize(1, 1)));
  moved.moveLeft(std::clamp(moved.left(), nearest->left(), nearest->right() - moved.width() + 1));
  moved.moveTop(std::clamp(moved.top(), nearest->top(), nearest->bottom() - moved.height() + 1));
  return moved;
}

void ApplyPlacement(QWidget& window, const StoredPlacement& stored) {
  const double dpiX = DpiX(window);
  const double dpiY = DpiY(window);
  const QRect frame = window.frameGeometry();
  QRect target = frame;
  if (stored.top) {
    target.moveTop(TwipsToPixels(*stored.top, dpiY));
  }
  if (stored.left) {
    target.moveLeft(TwipsToPixels(*stored.left, dpiX));
  }
  const int width = stored.width ? TwipsToPixels(*stored.width, dpiX) : 0;
  const int height = stored.height ? TwipsToPixels(*stored.height, dpiY) : 0;
  const bool sized = width >= kMinUsableSize.width() || height >= kMinUsableSize.height();
  if (width >= kMinUsableSize.width()) {
    target.setWidth(width);
  }
  if (height >= kMinUsableSize.height()) {
    target.setHeight(height);
  }
  target.setSize(target.size().expandedTo(QSize(1, 1)));
  QList<QRect> screens;
  for (const QScreen* screen : QGuiApplication::screens()) {
    screens.append(screen->availableGeometry());
  }
  target = BringOntoScreen(target, screens);

  const QSize margins = frame.size() - window.size();
  // Without a stored position the window system places the window; a move would pin it to the
  // corner.
  if (stored.top || stored.left) {
    window.move(target.topLeft());  // a top-level window's position is that of its frame
  }
  window.resize(target.size() - margins);
  if (!window.isVisible() && sized) {
    new OuterSizeKeeper(window, target.size());
  }
}

StoredPlacement CurrentPlacement(const QWidget& window) {
  const double dpiX = DpiX(window);
  const double dpiY = DpiY(window);
  const QRect frame = window.frameGeometry();
  return StoredPlacement{PixelsToTwips(frame.top(), dpiY), PixelsToTwips(frame.left(), dpiX),
                         PixelsToTwips(frame.width(), dpiX), PixelsToTwips(frame.height(), dpiY)};
}

}  // namespace pelorin
