// SPDX-License-Identifier: GPL-3.0-or-later
// The command bar control on its own: check items, context menus, the bottom row.

#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
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
