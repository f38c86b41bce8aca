// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Keys that do more in a context than the menu item they are the shortcut of. The menu item
// always does what its caption says ("Copy" copies); its key, pressed in the window while the
// context holds, does the other thing instead (Ctrl+C with nothing selected while a command runs
// interrupts it). Every such key of the window is one rule here.
//
// How: the window's shortcuts fire only when no one overrides them. While a rule's context holds,
// its key is overridden, so the menu's shortcut stays quiet, and the key press that follows runs
// the rule's action before any widget sees it.

#include <QKeySequence>
#include <QObject>
#include <functional>
#include <vector>

class QWidget;

namespace pelorin {

class ContextKeys : public QObject {
  Q_OBJECT

 public:
  struct Rule {
    QKeySequence key;
    std::function<bool()> applies;  // the context: the key does the action, not the menu item
    std::function<void()> action;
  };

  // Watches the keys of window's widgets; install it after the window's menus, so that it sees
  // a key before them.
  explicit ContextKeys(QWidget& window);
  ~ContextKeys() override;

  void Add(Rule rule);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  const Rule* Matching(QEvent* event) const;

  QWidget& window_;
  std::vector<Rule> rules_;
  const Rule* pressed_ = nullptr;  // overridden, its key press still to come
};

}  // namespace pelorin
