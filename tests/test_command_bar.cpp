// SPDX-License-Identifier: GPL-3.0-or-later
// The command bar control on its own: check items, context menus, the bottom row.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QToolButton>

#include "tests/support/MenuTestHost.h"

namespace pelorin {

TEST(CommandBarClicks, CheckItemIsFlippedBeforeItemClickAndPopupBarReturnsWithTheChoice) {
  testing::MenuTestHost host;
  Bar* menu = host.bar.AddBar("Mbar", "Menu");
  BarItem* check = host.bar.AddItem("M:CHECK", -1, "Check", ItemStyle::Check, "", 'K', kCtrlMask);
  menu->Append(check);
  host.top->SetShownBar(menu);
  check->SetCheckMark(true);  // setting the mark is no click
  ASSERT_TRUE(host.Show());
  QTest::keyClick(host.editor, Qt::Key_K, Qt::ControlModifier);
  testing::ChooseInNextPopup(check->Action());
  host.bottom->PopupBar(10, 10, menu);
  // Reported by the time PopupBar returns; shortcuts belong to the menu row, element 0.
  EXPECT_EQ(host.clicks, QStringList({"0 M:CHECK", "1 M:CHECK checked"}));
}

TEST(CommandBarMenus, EscapeClosingADropDownGivesTheKeyboardBackToWhereItWas) {
  testing::MenuTestHost host;
  Bar* row = host.bar.AddBar("MAINbar", "Main");
  Bar* file = host.bar.AddBar("FILEbar", "File");
  BarItem* title = host.bar.AddItem("FILE", -1, "File", ItemStyle::Normal, "", 0, 0);
  title->SetSubBar(file);
  file->Append(host.bar.AddItem("FILE:NEW", -1, "New window", ItemStyle::Normal, "", 0, 0));
  row->Append(title);
  host.top->SetShownBar(row);
  ASSERT_TRUE(host.Show());
  QMenuBar* menuRow = host.top->MenuRow();
  for (int round = 0; round < 2; ++round) {  // the second time the mark of the first is gone
    QTest::mouseClick(menuRow, Qt::LeftButton, {},
                      menuRow->actionGeometry(title->Action()).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return file->Menu()->isVisible(); }));
    QTest::keyClick(file->Menu(), Qt::Key_Escape);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !file->Menu()->isVisible(); }));
    host.window.activateWindow();  // as the window system does once the popup is gone
    EXPECT_TRUE(QTest::qWaitFor([&] { return host.editor->hasFocus(); }))
        << "the focus is on " << QApplication::focusWidget();
    // Typing now goes to the editor: nothing opens the menu, nothing is chosen.
    QTest::keyClicks(QApplication::focusWidget(), "f\r");
    EXPECT_FALSE(file->Menu()->isVisible());
    EXPECT_EQ(host.clicks, QStringList());
    EXPECT_EQ(host.editor->text().count('f'), round + 1);
  }
}

TEST(CommandBarRow, BottomRowShowsPanelCaptionsBelowTheHostsBoxAndFollowsItsBar) {
  testing::MenuTestHost host;
  Bar* bottom = host.bar.AddBar("BOTTOMbar", "Bottom");
  host.bottom->SetShownBar(bottom);
  auto* box = new QLineEdit(host.bottom);
  ASSERT_TRUE(host.Show());
  EXPECT_GE(host.bottom->Height(), box->sizeHint().height()) << "room for the box, even empty";
  bottom->Append(host.bar.AddItem("PANEL", -1, "   Go:", ItemStyle::Panel, "", 0, 0));
  const QList<QLabel*> labels = host.bottom->findChildren<QLabel*>();
  ASSERT_EQ(labels.size(), 1);
  EXPECT_EQ(labels[0]->text(), "   Go:");
  // The box stays above the row's own widgets.
  EXPECT_GT(host.bottom->children().indexOf(box), host.bottom->children().indexOf(labels[0]));
  bottom->Clear();
  bottom->Append(host.bar.AddItem("B:CHECK", -1, "Tick", ItemStyle::Check, "", 0, 0));
  ASSERT_TRUE(QTest::qWaitFor([&] { return host.bottom->findChildren<QLabel*>().isEmpty(); }));
  auto* button = host.bottom->findChild<QToolButton*>();
  ASSERT_NE(button, nullptr);
  button->click();
  EXPECT_EQ(host.clicks, QStringList({"1 B:CHECK checked"}));
}

}  // namespace pelorin
