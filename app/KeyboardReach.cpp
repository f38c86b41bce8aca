// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/KeyboardReach.h"

#include <QAction>
#include <QApplication>
#include <QMenuBar>
#include <QShortcut>
#include <QWidget>

namespace pelorin {

namespace {

void AddShortcut(QWidget& window, const QList<QKeySequence>& keys, QObject* context,
                 std::function<void()> act) {
  auto* shortcut = new QShortcut(&window);
  shortcut->setKeys(keys);
  shortcut->setContext(Qt::WindowShortcut);
  QObject::connect(shortcut, &QShortcut::activated, context, std::move(act));
}

}  // namespace

KeyboardReach::KeyboardReach(QWidget& window, QMenuBar* menuRow,
                             std::function<QList<QWidget*>()> parts)
    : QObject(&window), menuRow_(menuRow), parts_(std::move(parts)) {
  AddShortcut(window, {QKeySequence(Qt::Key_F6), QKeySequence(Qt::CTRL | Qt::Key_Tab)}, this,
              [this] { NextPart(true); });
  // Ctrl+Shift+Tab arrives as Ctrl+Shift+Backtab on X11 and as Ctrl+Shift+Tab elsewhere.
  AddShortcut(window,
              {QKeySequence(Qt::SHIFT | Qt::Key_F6), QKeySequence(Qt::CTRL | Qt::Key_Backtab),
               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Backtab),
               QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Tab)},
              this, [this] { NextPart(false); });
  AddShortcut(window, {QKeySequence(Qt::Key_F10)}, this, [this] { OpenMenuRow(); });
}

void KeyboardReach::NextPart(bool forward) {
  QList<QWidget*> parts;
  for (QWidget* part : parts_()) {
    if (part != nullptr && part->isVisible() && part->isEnabled()) {
      parts.append(part);
    }
  }
  if (parts.isEmpty()) {
    return;
  }
  const QWidget* focus = QApplication::focusWidget();
  qsizetype at = -1;
  for (qsizetype i = 0; i < parts.size(); ++i) {
    if (focus != nullptr && (parts[i] == focus || parts[i]->isAncestorOf(focus))) {
      at = i;
    }
  }
  const qsizetype count = parts.size();
  const qsizetype next =
      at < 0 ? (forward ? 0 : count - 1) : (at + (forward ? 1 : count - 1)) % count;
  parts[next]->setFocus(forward ? Qt::TabFocusReason : Qt::BacktabFocusReason);
}

void KeyboardReach::OpenMenuRow() {
  if (menuRow_ == nullptr || menuRow_->actions().isEmpty()) {
    return;
  }
  menuRow_->setActiveAction(menuRow_->actions().first());
}

}  // namespace pelorin
