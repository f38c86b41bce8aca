// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The window's parts within reach of the keyboard alone. F6 and Ctrl+Tab give the focus to the
// next part (the folder tree, the splitter bar, the console, and the bottom panel's box while it
// is open), Shift+F6 and Ctrl+Shift+Tab to the one before; the console keeps Tab itself for
// completion. F10 opens the first menu of the menu row, where the arrow keys go on.

#include <QList>
#include <QObject>
#include <QPointer>
#include <functional>

class QMenuBar;
class QWidget;

namespace pelorin {

class KeyboardReach : public QObject {
  Q_OBJECT

 public:
  // parts: in the order the keys go through them; those hidden or disabled are passed over.
  KeyboardReach(QWidget& window, QMenuBar* menuRow, std::function<QList<QWidget*>()> parts);

  // Gives the focus to the next part after the one that holds it (forward) or the one before.
  void NextPart(bool forward);
  void OpenMenuRow();

 private:
  QPointer<QMenuBar> menuRow_;
  std::function<QList<QWidget*>()> parts_;
};

}  // namespace pelorin
