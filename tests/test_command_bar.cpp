// The command bar control on its own: key codes, check items, context menus, the bottom row.

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QToolButton>

#include "tests/support/MenuTestHost.h"

namespace pelorin {
namespace {

using testing::ChooseInNextPopup;
using testing::MenuTestHost;
using testing::WaitUntil;

TEST(VirtualKeys, MapToQtKeySequences) {
  EXPECT_EQ(KeySequenceFromVirtualKey(53, 1), QKeySequence("Shift+5"));
  EXPECT_EQ(KeySequenceFromVirtualKey(123, 4), QKeySequence("Alt+F12"));
  EXPECT_EQ(KeySequenceFromVirtualKey(46, 0), QKeySequence("Del"));
  EXPECT_TRUE(KeySequenceFromVirtualKey(0, 2).isEmpty());
  EXPECT_TRUE(KeySequenceFromVirtualKey(97, 0).isEmpty());  // 'a' is no key code
}

TEST(CommandBarClicks, CheckItemIsFlippedBeforeItemClick) {
  MenuTestHost host;
  Bar* menu = host.bar.AddBar("Mbar", "Menu");
  BarItem* check = host.bar.AddItem("M:CHECK", -1, "Check", kStyleCheck, "", 'K', kCtrlMask);
  menu->Append(check);
  host.top->SetShownBar(menu);
  check->SetCheckMark(true);
  EXPECT_TRUE(host.clicks.empty());  // setting the mark is no click
  ASSERT_TRUE(host.Show());

  QTest::keyClick(host.editor, Qt::Key_K, Qt::ControlModifier);
  ChooseInNextPopup(check->Action());
  host.bottom->PopupBar(10, 10, menu);
  ASSERT_EQ(host.clicks.size(), 2u);  // the choice is reported by the time PopupBar returns
  EXPECT_FALSE(host.clicks[0].checkMark);
  EXPECT_EQ(host.clicks[0].element, 0);  // shortcuts belong to the menu row
  EXPECT_TRUE(host.clicks[1].checkMark);
  EXPECT_EQ(host.clicks[1].element, 1);
  EXPECT_TRUE(check->CheckMark());
}

TEST(CommandBarRow, BottomRowShowsPanelCaptionsAndFollowsItsBar) {
  MenuTestHost host;
  Bar* bottom = host.bar.AddBar("BOTTOMbar", "Bottom");
  BarItem* panel = host.bar.AddItem("PANEL", -1, "   Go:", kStylePanel, "", 0, 0);
  BarItem* button = host.bar.AddItem("B:CHECK", -1, "Tick", kStyleCheck, "", 0, 0);
  host.bottom->SetShownBar(bottom);
  auto* box = new QLineEdit(host.bottom);  // the host's own box on the row
  ASSERT_TRUE(host.Show());
  EXPECT_GE(host.bottom->Height(), box->sizeHint().height());  // room for the box, even empty

  bottom->Append(panel);
  QList<QLabel*> labels = host.bottom->findChildren<QLabel*>();
  ASSERT_EQ(labels.size(), 1);
  EXPECT_EQ(labels[0]->text(), "   Go:");
  const QObjectList& stack = host.bottom->children();
  EXPECT_GT(stack.indexOf(box), stack.indexOf(labels[0]));  // the box stays above

  bottom->Clear();
  bottom->Append(button);
  ASSERT_TRUE(WaitUntil([&] { return host.bottom->findChildren<QLabel*>().isEmpty(); }));
  auto* tool = host.bottom->findChild<QToolButton*>();
  ASSERT_NE(tool, nullptr);
  tool->click();
  ASSERT_EQ(host.clicks.size(), 1u);
  EXPECT_EQ(host.clicks[0].key, "B:CHECK");
  EXPECT_EQ(host.clicks[0].element, 1);
  EXPECT_TRUE(host.clicks[0].checkMark);
}

}  // namespace
}  // namespace pelorin
