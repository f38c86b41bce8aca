// SPDX-License-Identifier: GPL-3.0-or-later
// The console surface and the pointer: the link under it while Ctrl is held, the tool tip of a
// margin's mark; and the zoom keys.
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>
#include <algorithm>

#include "editor/ConsoleSurface.h"
#include "editor/EditorEvents.h"

namespace pelorin {

// Ctrl with plus (or =), minus and 0 zoom as Ctrl+wheel does; Shift is allowed, since plus needs
// it on many keyboards.
bool ConsoleSurface::ZoomKey(const QKeyEvent* e) {
  const Qt::KeyboardModifiers mods =
      e->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
  if (mods != Qt::ControlModifier) {
    return false;
  }
  switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
      Send(SCI_ZOOMIN);
      return true;
    case Qt::Key_Minus:
      Send(SCI_ZOOMOUT);
      return true;
    case Qt::Key_0:
      Send(SCI_SETZOOM, 0);
      return true;
    default:
      return false;
  }
}

std::pair<int, std::size_t> ConsoleSurface::LineAndByteAt(const QPoint& viewportPos) const {
  const long pos =
      Send(SCI_POSITIONFROMPOINTCLOSE, static_cast<uintptr_t>(viewportPos.x()), viewportPos.y());
  if (pos < 0) {
    return {-1, 0};
  }
  const long line = Send(SCI_LINEFROMPOSITION, static_cast<uintptr_t>(pos));
  return {static_cast<int>(line),
          static_cast<std::size_t>(pos - Send(SCI_POSITIONFROMLINE, static_cast<uintptr_t>(line)))};
}

void ConsoleSurface::ShowLink(int line, std::size_t from, std::size_t to) {
  Send(SCI_SETINDICATORCURRENT, kLinkIndicator);
  if (linkLine_ >= 0 && linkLine_ < Send(SCI_GETLINECOUNT)) {
    const long start = Send(SCI_POSITIONFROMLINE, static_cast<uintptr_t>(linkLine_));
    Send(SCI_INDICATORCLEARRANGE, static_cast<uintptr_t>(start),
         Send(SCI_GETLINEENDPOSITION, static_cast<uintptr_t>(linkLine_)) - start);
  }
  linkLine_ = -1;
  if (from < to && line >= 0 && line < Send(SCI_GETLINECOUNT)) {
    const long start = Send(SCI_POSITIONFROMLINE, static_cast<uintptr_t>(line));
    const long end = Send(SCI_GETLINEENDPOSITION, static_cast<uintptr_t>(line));
    const long begin = std::min(end, start + static_cast<long>(from));
    Send(SCI_INDICATORFILLRANGE, static_cast<uintptr_t>(begin),
         std::min(end, start + static_cast<long>(to)) - begin);
    linkLine_ = static_cast<int>(line);
  }
}

// Only the line under the pointer is looked at, so the cost is the same at any length of history.
void ConsoleSurface::ShowLinkAt(const QPoint& viewportPos, bool ctrl) {
  const auto [line, byte] =
      ctrl && sink_ ? LineAndByteAt(viewportPos) : std::pair(-1, std::size_t{0});
  if (line < 0) {
    ShowLink(-1, 0, 0);
    return;
  }
  const auto [from, to] = sink_->LinkAt(line, byte);
  ShowLink(line, from, to);
}

int ConsoleSurface::MarginLineAt(const QPoint& viewportPos) const {
  long margins = 0;
  for (int margin = 0; margin < 5; ++margin) {
    margins += Send(SCI_GETMARGINWIDTHN, static_cast<uintptr_t>(margin));
  }
  if (viewportPos.x() < 0 || viewportPos.x() >= margins) {
    return -1;
  }
  const long height = std::max(1L, Send(SCI_TEXTHEIGHT, 0));
  const long line =
      Send(SCI_DOCLINEFROMVISIBLE, static_cast<uintptr_t>(Send(SCI_GETFIRSTVISIBLELINE) +
                                                          std::max(viewportPos.y(), 0) / height));
  return line < Send(SCI_GETLINECOUNT) ? static_cast<int>(line) : -1;
}

bool ConsoleSurface::viewportEvent(QEvent* e) {
  if (e->type() == QEvent::ToolTip) {
    auto* help = static_cast<QHelpEvent*>(e);
    const int line = MarginLineAt(help->pos());
    const std::string tip = line >= 0 && marginTip_ ? marginTip_(line) : std::string();
    if (tip.empty()) {
      QToolTip::hideText();
      e->ignore();
    } else {
      QToolTip::showText(help->globalPos(), QString::fromStdString(tip), viewport());
    }
    return true;
  }
  return QsciScintilla::viewportEvent(e);
}

}  // namespace pelorin
