// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A window with a menu row, a QScintilla editor and a bottom bar, recording every ItemClick
// as "<element> <key>" with " checked" for a ticked item, and a helper that chooses an item in a
// context menu the way a user does.

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include "app/CommandBar.h"

namespace pelorin::testing {

struct MenuTestHost {
  MenuTestHost() {
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(top = bar.AddElement(ElementAlignment::Top, &window));
    layout->addWidget(editor = new QsciScintilla(&window));
    layout->addWidget(bottom = bar.AddElement(ElementAlignment::Bottom, &window));
    QObject::connect(&bar, &CommandBar::ItemClick, [this](int element, BarItem* item) {
      clicks << QStringLiteral("%1 %2%3").arg(element).arg(item->Key(),
                                                           item->CheckMark() ? " checked" : "");
    });
  }
  // Shows the window as the active one, the editor focused.
  bool Show() {
    window.show();  // the offscreen platform activates a window it shows
    editor->setFocus();
    return QTest::qWaitForWindowActive(&window) &&
           QTest::qWaitFor([this] { return editor->hasFocus(); });
  }

  QWidget window;
  CommandBar bar;
  BarElement *top, *bottom;
  QsciScintilla* editor;
  QStringList clicks;
};

// Clicks the action in the next popup once it is open (PopupBar returns only when its menu
// closes); a popup still not there after five seconds is given up on.
inline void ChooseInNextPopup(QAction* action) {
  QTimer::singleShot(0, [action] {
    const auto popup = [] { return qobject_cast<QMenu*>(QApplication::activePopupWidget()); };
    if (QTest::qWaitFor([&] { return popup() && popup()->isVisible(); }))
      QTest::mouseClick(popup(), Qt::LeftButton, {}, popup()->actionGeometry(action).center());
  });
}

}  // namespace pelorin::testing
