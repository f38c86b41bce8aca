#pragma once

// A window with a menu row, a QScintilla editor and a bottom bar, recording every ItemClick,
// and helpers that choose items the way a user does.

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <functional>

#include "app/CommandBar.h"

namespace pelorin::testing {

inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!done() && clock.elapsed() < timeoutMs)
    QTest::qWait(5);
  return done();
}

struct Click {
  int element;
  QString key;
  BarItem* item;
  bool checkMark;  // as the handler saw it
};

struct MenuTestHost {
  MenuTestHost() {
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(top = bar.AddElement(kAlignTop, &window));
    layout->addWidget(editor = new QsciScintilla(&window));
    layout->addWidget(bottom = bar.AddElement(kAlignBottom, &window));
    QObject::connect(&bar, &CommandBar::ItemClick, [this](int element, BarItem* item) {
      clicks.push_back({element, item->Key(), item, item->CheckMark()});
    });
  }

  // Shows the window as the active one, the editor focused.
  bool Show() {
    window.show();
    window.activateWindow();
    editor->setFocus();
    return QTest::qWaitForWindowActive(&window) && WaitUntil([this] { return editor->hasFocus(); });
  }

  QWidget window;
  CommandBar bar;
  BarElement* top;
  QsciScintilla* editor;
  BarElement* bottom;
  std::vector<Click> clicks;
};

inline void ClickInMenu(QMenu* menu, QAction* action) {
  QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
}

// Clicks the action in the next popup as soon as it is open (PopupBar returns only when its
// menu closes); a popup still not there after five seconds is given up on.
inline void ChooseInNextPopup(QAction* action) {
  auto* timer = new QTimer;
  QObject::connect(timer, &QTimer::timeout, [timer, action, clock = QElapsedTimer()]() mutable {
    if (!clock.isValid())
      clock.start();
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu && menu->isVisible()) {
      ClickInMenu(menu, action);
    } else if (clock.elapsed() < 5000) {
      return;
    }
    timer->deleteLater();
    timer->stop();
  });
  timer->start(10);
}

}  // namespace pelorin::testing
