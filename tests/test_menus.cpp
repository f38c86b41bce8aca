// SPDX-License-Identifier: GPL-3.0-or-later
// The bars as built at load, spot-checked as the user sees them, and the user's ways of choosing
// items: shortcuts with the editor focused, the menu row, the context menu.

#include <gtest/gtest.h>

#include <QMenuBar>

#include "app/Menus.h"
#include "tests/support/MenuTestHost.h"

namespace pelorin {

TEST(Menus, CaptionsIconsAndChecksFollowThePreferences) {
  for (const bool on : {false, true}) {
    testing::MenuTestHost host;
    QStringList calls;  // each editor setting is made as soon as its item exists
    const auto record = [&](int call) {
      calls << QStringLiteral("%1 %2").arg(call).arg(host.bar.AllItems().last()->Key());
    };
    BuildBars(host.bar, {on, !on, on}, {record, record}, MakeIlsIcons());  // spaces, numbers, light
    EXPECT_EQ(calls, QStringList({on ? "238 PREF:SPACES" : "239 PREF:SPACES",
                                  on ? "0 PREF:LINENUM" : "1 PREF:LINENUM"}));
    QStringList row;
    for (const QAction* action : host.top->MenuRow()->actions())
      row << action->text();
    EXPECT_EQ(row, QStringList({"File", "Edit", "Preferences", "Help"}));
    EXPECT_FALSE(host.bar.FindItem("EDIT:COPY")->Action()->icon().isNull());
    EXPECT_EQ(host.bar.FindItem("PREF:SPACES")->CheckMark(), on);
    EXPECT_EQ(host.bar.FindItem("PREF:LINENUM")->CheckMark(), !on);
    EXPECT_EQ(host.bar.FindItem("PREF:HIGHLIGHT")->CheckMark(), on);
    EXPECT_FALSE(host.bottom->Visible());
  }
}

TEST(Menus, ShortcutsTheEditMenuAndTheContextMenuRaiseTheItemsKeys) {
  testing::MenuTestHost host;
  BuildBars(host.bar, {}, {}, MakeIlsIcons());
  ASSERT_TRUE(host.Show());
  host.editor->setText("abc");
  for (const char* keys : {"Ctrl+N", "Ctrl+Z", "Ctrl+V", "Ctrl+Alt+D", "F1"})
    QTest::keySequence(host.editor, QKeySequence(keys));
  const QStringList expected = {"0 FILE:NEW", "0 FILE:STOP", "0 EDIT:PASTE", "0 EDIT:REMOVEDEV",
                                "0 HELP:ONLINE"};
  EXPECT_EQ(host.editor->text(), "abc") << "the editor saw none of them";
  testing::ChooseInNextPopup(host.bar.FindItem("EDIT:COPY")->Action());
  QMenuBar* row = host.top->MenuRow();
  QTest::mouseClick(row, Qt::LeftButton, {},
                    row->actionGeometry(host.bar.FindItem("EDIT")->Action()).center());
  ASSERT_TRUE(QTest::qWaitFor([&] { return host.clicks.size() > expected.size(); }));
  testing::ChooseInNextPopup(host.bar.FindItem("POP:ADDDEV")->Action());
  host.top->PopupBar(50, 50, host.bar.FindBar("POPUPbar"));
  EXPECT_EQ(host.clicks, expected + QStringList({"0 EDIT:COPY", "0 POP:ADDDEV"}));
}

}  // namespace pelorin
