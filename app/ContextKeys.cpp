// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/ContextKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

namespace pelorin {

ContextKeys::ContextKeys(QWidget& window) : QObject(&window), window_(window) {
  qApp->installEventFilter(this);
}

ContextKeys::~ContextKeys() {
  qApp->removeEventFilter(this);
}

void ContextKeys::Add(Rule rule) {
  pressed_ = nullptr;
  rules_.push_back(std::move(rule));
}

const ContextKeys::Rule* ContextKeys::Matching(QEvent* event) const {
  auto* key = static_cast<QKeyEvent*>(event);
  const Qt::KeyboardModifiers mods = key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier |
                                                         Qt::AltModifier | Qt::MetaModifier);
  const QKeySequence pressed(QKeyCombination(mods, static_cast<Qt::Key>(key->key())));
  for (const Rule& rule : rules_) {
    if (rule.key == pressed) {
      return &rule;
    }
  }
  return nullptr;
}

bool ContextKeys::eventFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if ((type != QEvent::ShortcutOverride && type != QEvent::KeyPress) || !watched->isWidgetType() ||
      static_cast<QWidget*>(watched)->window() != &window_) {
    return false;
  }
  const Rule* rule = Matching(event);
  if (type == QEvent::ShortcutOverride) {
    pressed_ = rule != nullptr && rule->applies() ? rule : nullptr;
    if (pressed_ == nullptr) {
      return false;
    }
    event->accept();  // the menu's shortcut stays quiet; the key press comes next
    return true;
  }
  if (rule == nullptr || rule != pressed_) {
    return false;
  }
  pressed_ = nullptr;
  rule->action();
  return true;
}

}  // namespace pelorin
