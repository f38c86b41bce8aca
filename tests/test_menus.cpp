// SPDX-License-Identifier: GPL-3.0-or-later
// The bars and items of the window as built at load, read back from the command bar, and the
// user's ways of choosing them: shortcuts with the editor focused, the menu row, the context menu.

#include <gtest/gtest.h>

#include <QMenuBar>

#include "app/Menus.h"
#include "tests/support/MenuTestHost.h"

namespace pelorin {

// Key|caption|style (0 normal, 1 separator, 3 panel, 4 check)|icon|shortcut, in creation order.
const QStringList kItems = {
    "GOTOPANEL|         Go to:|3|-1|",
    "ADDDEVPANEL|         Add divider:|3|-1|",
    "REMOVEDEVPANEL|         Remove divider:|3|-1|",
    "FILE|File|0|-1|",
    "FILE:NEW|New window|0|0|Ctrl+N",
    "FILE:STOP|Stop waiting for process|0|-1|Ctrl+Z",
    "FILE:EXIT|Exit|0|-1|Ctrl+X",
    "FILE:SEP||1|-1|",
    "EDIT|Edit|0|-1|",
    "EDIT:COPY|Copy|0|7|Ctrl+C",
    "EDIT:PASTE|Paste|0|8|Ctrl+V",
    "EDIT:SELLINE|Select line|0|-1|Ctrl+S",
    "EDIT:SELALL|Select All|0|-1|Ctrl+A",
    "EDIT:SEP1||1|-1|",
    "EDIT:FIND|Find...|0|5|Ctrl+F",
    "EDIT:FINDMARK|Find and mark all|0|-1|",
    "EDIT:FINDNEXT|Find next|0|-1|Ctrl+G",
    "EDIT:SEP2||1|-1|",
    "EDIT:GOTOLINE|Go to &Line...|0|-1|Ctrl+L",
    "EDIT:ADDDEV|Add Divider line|0|-1|Ctrl+D",
    "EDIT:REMOVEDEV|Remove divider line|0|-1|Ctrl+Alt+D",
    "POP:ADDDEV|Add divider line|0|-1|",
    "POP:REMOVEDEV|Remove divider line|0|-1|",
    "PREF|Preferences|0|-1|",
    "PREF:FONT|Font...|0|-1|",
    "PREF:CURDIR|Set start-up dir to current dir|0|-1|",
    "PREF:SPACES|Visible spaces|4|-1|",
    "PREF:LINENUM|Line numbers|4|-1|",
    "PREF:HIGHLIGHT|Line highlighting|4|-1|",
    "HELP|Help|0|-1|",
    "HELP:ONLINE|Help forum|0|22|F1",
    "HELP:GUIDE|User's guide|0|-1|",
    "HELP:QUICK|Quick help|0|-1|",
    "HELP:ADD|Adding commands|0|-1|",
    "HELP:HOMEPAGE|Vantree Software homepage|0|-1|",
};

// Key|title|its items, in creation order.
const QStringList kBars = {
    "MAINbar|Main bar|FILE|EDIT|PREF|HELP",
    "FILEbar|File menu|FILE:NEW|FILE:STOP|FILE:SEP|FILE:EXIT",
    "EDITbar|Edit menu|EDIT:COPY|EDIT:PASTE|EDIT:SELLINE|EDIT:SELALL|EDIT:SEP1|EDIT:FIND"
    "|EDIT:FINDMARK|EDIT:FINDNEXT|EDIT:SEP2|EDIT:GOTOLINE|EDIT:ADDDEV|EDIT:REMOVEDEV",
    "PREFbar|Preferences menu|PREF:FONT|PREF:CURDIR|PREF:SPACES|PREF:LINENUM|PREF:HIGHLIGHT",
    "HELPbar|Help menu|HELP:ONLINE|HELP:GUIDE|HELP:QUICK|HELP:ADD|HELP:HOMEPAGE",
    "BOTTOMbar|Bottom bar",
    "POPUPbar|Popup bar|EDIT:COPY|EDIT:PASTE|EDIT:SELLINE|EDIT:SELALL|EDIT:SEP1|EDIT:FIND"
    "|EDIT:FINDMARK|EDIT:FINDNEXT|EDIT:SEP2|POP:ADDDEV|POP:REMOVEDEV",
};

TEST(Menus, BarsItemsIconsAndChecksFollowTheTableAndThePreferences) {
  const QList<QIcon> icons = MakeIlsIcons();
  ASSERT_EQ(icons.size(), 23);
  QImage blank(16, 16, QImage::Format_ARGB32);
  blank.fill(Qt::transparent);
  for (int i = 0; i < icons.size(); ++i)
    EXPECT_EQ(icons[i].pixmap(16, 16).toImage().convertToFormat(blank.format()) != blank,
              i == 0 || i == 5 || i == 7 || i == 8 || i == 22)
        << i;
  for (const bool on : {false, true}) {
    testing::MenuTestHost host;
    QStringList calls;  // each editor setting is made as soon as its item exists
    const auto record = [&](int call) {
      calls << QStringLiteral("%1@%2").arg(call).arg(host.bar.AllItems().size());
    };
    BuildBars(host.bar, {on, !on, on}, {record, record}, icons);  // spaces, numbers, highlight
    EXPECT_EQ(calls, QStringList({on ? "238@27" : "239@27", on ? "0@28" : "1@28"}));
    QStringList items, bars;
    for (const BarItem* item : host.bar.AllItems())
      items << item->Key() + '|' + item->Caption() + '|' +
                   QString::number(static_cast<int>(item->Style())) + '|' +
                   QString::number(item->IconIndex()) + '|' + item->Action()->shortcut().toString();
    for (const Bar* bar : host.bar.AllBars()) {
      bars << bar->Key() + '|' + bar->Title();
      for (const BarItem* item : bar->Items())
        bars.last() += '|' + item->Key();
    }
    EXPECT_EQ(items, kItems);
    EXPECT_EQ(bars, kBars);
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
  QStringList expected;
  for (const QString& row : kItems) {
    const QKeySequence keys(row.section('|', 4));
    QTest::keySequence(host.editor, keys);
    if (!keys.isEmpty())
      expected << "0 " + row.section('|', 0, 0);
  }
  EXPECT_EQ(host.editor->text(), "abc") << "the editor saw none of them";
  testing::ChooseInNextPopup(host.bar.FindItem("EDIT:COPY")->Action());
  QMenuBar* row = host.top->MenuRow();
  QTest::mouseClick(row, Qt::LeftButton, {},
                    row->actionGeometry(host.bar.FindItem("EDIT")->Action()).center());
  ASSERT_TRUE(QTest::qWaitFor([&] { return host.clicks.size() > expected.size(); }));
  testing::ChooseInNextPopup(host.bar.FindItem("EDIT:COPY")->Action());
  host.top->PopupBar(50, 50, host.bar.FindBar("POPUPbar"));
  EXPECT_EQ(host.clicks, expected + QStringList({"0 EDIT:COPY", "0 EDIT:COPY"}));
}

}  // namespace pelorin
