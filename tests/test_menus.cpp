// The bars and items of the window as built at load, read back from the command bar, and the
// user's ways of choosing them: shortcuts with the editor focused, the menu row, the context menu.

#include <gtest/gtest.h>

#include <QAction>
#include <QImage>
#include <QLineEdit>
#include <QMenuBar>

#include "app/Menus.h"
#include "tests/support/MenuTestHost.h"

namespace pelorin {
namespace {

using testing::ChooseInNextPopup;
using testing::ClickInMenu;
using testing::MenuTestHost;
using testing::WaitUntil;

struct Row {
  const char* key;
  const char* caption;
  int style;  // 0 normal, 1 separator, 3 panel, 4 check
  int icon;
  int vk;
  int mask;
  const char* keys;   // the shortcut as Qt writes it
  const char* opens;  // key of the sub bar
};

const Row kTable[] = {
    {"GOTOPANEL", "         Go to:", 3, -1, 0, 0, "", ""},
    {"ADDDEVPANEL", "         Add divider:", 3, -1, 0, 0, "", ""},
    {"REMOVEDEVPANEL", "         Remove divider:", 3, -1, 0, 0, "", ""},
    {"FILE", "File", 0, -1, 0, 0, "", "FILEbar"},
    {"FILE:NEW", "New window", 0, 0, 78, 2, "Ctrl+N", ""},
    {"FILE:STOP", "Stop waiting for process", 0, -1, 90, 2, "Ctrl+Z", ""},
    {"FILE:EXIT", "Exit", 0, -1, 88, 2, "Ctrl+X", ""},
    {"FILE:SEP", "", 1, -1, 0, 0, "", ""},
    {"EDIT", "Edit", 0, -1, 0, 0, "", "EDITbar"},
    {"EDIT:COPY", "Copy", 0, 7, 67, 2, "Ctrl+C", ""},
    {"EDIT:PASTE", "Paste", 0, 8, 86, 2, "Ctrl+V", ""},
    {"EDIT:SELLINE", "Select line", 0, -1, 83, 2, "Ctrl+S", ""},
    {"EDIT:SELALL", "Select All", 0, -1, 65, 2, "Ctrl+A", ""},
    {"EDIT:SEP1", "", 1, -1, 0, 0, "", ""},
    {"EDIT:FIND", "Find...", 0, 5, 70, 2, "Ctrl+F", ""},
    {"EDIT:FINDMARK", "Find and mark all", 0, -1, 0, 0, "", ""},
    {"EDIT:FINDNEXT", "Find next", 0, -1, 71, 2, "Ctrl+G", ""},
    {"EDIT:SEP2", "", 1, -1, 0, 0, "", ""},
    {"EDIT:GOTOLINE", "Go to &Line...", 0, -1, 76, 2, "Ctrl+L", ""},
    {"EDIT:ADDDEV", "Add Divider line", 0, -1, 68, 2, "Ctrl+D", ""},
    {"EDIT:REMOVEDEV", "Remove divider line", 0, -1, 68, 6, "Ctrl+Alt+D", ""},
    {"POP:ADDDEV", "Add divider line", 0, -1, 0, 0, "", ""},
    {"POP:REMOVEDEV", "Remove divider line", 0, -1, 0, 0, "", ""},
    {"PREF", "Preferences", 0, -1, 0, 0, "", "PREFbar"},
    {"PREF:FONT", "Font...", 0, -1, 0, 0, "", ""},
    {"PREF:CURDIR", "Set start-up dir to current dir", 0, -1, 0, 0, "", ""},
    {"PREF:SPACES", "Visible spaces", 4, -1, 0, 0, "", ""},
    {"PREF:LINENUM", "Line numbers", 4, -1, 0, 0, "", ""},
    {"PREF:HIGHLIGHT", "Line highlighting", 4, -1, 0, 0, "", ""},
    {"HELP", "Help", 0, -1, 0, 0, "", "HELPbar"},
    {"HELP:ONLINE", "Help forum", 0, 22, 112, 0, "F1", ""},
    {"HELP:GUIDE", "User's guide", 0, -1, 0, 0, "", ""},
    {"HELP:QUICK", "Quick help", 0, -1, 0, 0, "", ""},
    {"HELP:ADD", "Adding commands", 0, -1, 0, 0, "", ""},
    {"HELP:HOMEPAGE", "Vantree Software homepage", 0, -1, 0, 0, "", ""},
};

const QStringList kEditBar = {"EDIT:COPY", "EDIT:PASTE",    "EDIT:SELLINE",  "EDIT:SELALL",
                              "EDIT:SEP1", "EDIT:FIND",     "EDIT:FINDMARK", "EDIT:FINDNEXT",
                              "EDIT:SEP2", "EDIT:GOTOLINE", "EDIT:ADDDEV",   "EDIT:REMOVEDEV"};
const QStringList kPopupBar = {"EDIT:COPY", "EDIT:PASTE", "EDIT:SELLINE",  "EDIT:SELALL",
                               "EDIT:SEP1", "EDIT:FIND",  "EDIT:FINDMARK", "EDIT:FINDNEXT",
                               "EDIT:SEP2", "POP:ADDDEV", "POP:REMOVEDEV"};

QStringList KeysOf(const Bar* bar) {
  QStringList keys;
  for (const BarItem* item : bar->Items())
    keys << item->Key();
  return keys;
}

// A test window with the bars built on it, recording the two editor settings.
struct BuiltWindow {
  void Build(const MenuPrefs& prefs = {}) {
    MenuEditorCalls calls;
    calls.RunEditorCommand = [this](int command) {
      editorCalls << QStringLiteral("Run%1 linenum-exists=%2")
                         .arg(command)
                         .arg(host.bar.FindItem("PREF:LINENUM") != nullptr);
    };
    calls.ShowLineNumbers = [this](bool show) {
      editorCalls << QStringLiteral("Numbers%1 highlight-exists=%2")
                         .arg(show)
                         .arg(host.bar.FindItem("PREF:HIGHLIGHT") != nullptr);
    };
    panels = BuildBars(host.bar, prefs, calls, MakeIlsIcons());
  }

  MenuTestHost host;
  BottomPanels panels;
  QStringList editorCalls;
};

class MenusTest : public ::testing::Test, public BuiltWindow {};

TEST_F(MenusTest, ItemsAreThoseOfTheTableInCreationOrder) {
  Build();
  const QList<BarItem*> items = host.bar.AllItems();
  ASSERT_EQ(items.size(), static_cast<qsizetype>(std::size(kTable)));
  for (std::size_t i = 0; i < std::size(kTable); ++i) {
    const Row& row = kTable[i];
    const BarItem* item = items[static_cast<qsizetype>(i)];
    SCOPED_TRACE(row.key);
    EXPECT_EQ(item->Key(), row.key);
    EXPECT_EQ(item->Caption(), row.caption);
    EXPECT_EQ(item->Style(), row.style);
    EXPECT_EQ(item->IconIndex(), row.icon);
    EXPECT_EQ(item->ShortcutKey(), row.vk);
    EXPECT_EQ(item->ShortcutModifiers(), row.mask);
    EXPECT_EQ(item->Action()->shortcut().toString(), row.keys);
    EXPECT_TRUE(item->ToolTip().isEmpty());
    EXPECT_EQ(item->ShowCaption(), row.style != 1);
    EXPECT_EQ(item->SubBar() ? item->SubBar()->Key() : QString(), row.opens);
    EXPECT_EQ(item->Action()->icon().isNull(), row.icon < 0);
    EXPECT_EQ(item->Action()->isCheckable(), row.style == 4);
  }
}

TEST_F(MenusTest, BarsHoldTheirItemsAndElementsShowTheirBars) {
  Build();
  QStringList barKeys, titles;
  for (const Bar* bar : host.bar.AllBars()) {
    barKeys << bar->Key();
    titles << bar->Title();
  }
  EXPECT_EQ(barKeys, QStringList({"MAINbar", "FILEbar", "EDITbar", "PREFbar", "HELPbar",
                                  "BOTTOMbar", "POPUPbar"}));
  EXPECT_EQ(titles, QStringList({"Main bar", "File menu", "Edit menu", "Preferences menu",
                                 "Help menu", "Bottom bar", "Popup bar"}));
  EXPECT_EQ(KeysOf(host.bar.FindBar("MAINbar")), QStringList({"FILE", "EDIT", "PREF", "HELP"}));
  EXPECT_EQ(KeysOf(host.bar.FindBar("FILEbar")),
            QStringList({"FILE:NEW", "FILE:STOP", "FILE:SEP", "FILE:EXIT"}));
  EXPECT_EQ(KeysOf(host.bar.FindBar("EDITbar")), kEditBar);
  EXPECT_EQ(
      KeysOf(host.bar.FindBar("PREFbar")),
      QStringList({"PREF:FONT", "PREF:CURDIR", "PREF:SPACES", "PREF:LINENUM", "PREF:HIGHLIGHT"}));
  EXPECT_EQ(KeysOf(host.bar.FindBar("HELPbar")),
            QStringList({"HELP:ONLINE", "HELP:GUIDE", "HELP:QUICK", "HELP:ADD", "HELP:HOMEPAGE"}));
  EXPECT_EQ(KeysOf(host.bar.FindBar("POPUPbar")), kPopupBar);
  EXPECT_TRUE(host.bar.FindBar("BOTTOMbar")->Items().isEmpty());
  // One object wherever it stands.
  EXPECT_EQ(host.bar.FindBar("EDITbar")->Items()[0], host.bar.FindBar("POPUPbar")->Items()[0]);

  EXPECT_EQ(host.top->ShownBar(), host.bar.FindBar("MAINbar"));
  EXPECT_TRUE(host.top->Visible());
  EXPECT_EQ(host.bottom->ShownBar(), host.bar.FindBar("BOTTOMbar"));
  EXPECT_FALSE(host.bottom->Visible());
  EXPECT_EQ(host.top->MenuRow()->actions().size(), 4);

  EXPECT_EQ(panels.GotoPanel, host.bar.FindItem("GOTOPANEL"));
  EXPECT_EQ(panels.AddDevPanel, host.bar.FindItem("ADDDEVPANEL"));
  EXPECT_EQ(panels.RemoveDevPanel, host.bar.FindItem("REMOVEDEVPANEL"));
}

TEST(MenusPrefs, CheckMarksAndEditorSettingsFollowThePreferences) {
  for (const bool on : {true, false}) {
    BuiltWindow test;  // a fresh window for each set of preferences
    MenuPrefs prefs;
    prefs.PrefVisibleSpaces = on;
    prefs.PrefLineNumbering = !on;
    prefs.PrefHighlightLine = on;
    test.Build(prefs);
    EXPECT_EQ(test.host.bar.FindItem("PREF:SPACES")->CheckMark(), on);
    EXPECT_EQ(test.host.bar.FindItem("PREF:LINENUM")->CheckMark(), !on);
    EXPECT_EQ(test.host.bar.FindItem("PREF:HIGHLIGHT")->CheckMark(), on);
    // Each call comes right after its item, before the next check item exists.
    EXPECT_EQ(test.editorCalls,
              QStringList({on ? "Run238 linenum-exists=0" : "Run239 linenum-exists=0",
                           on ? "Numbers0 highlight-exists=0" : "Numbers1 highlight-exists=0"}));
  }
}

TEST(MenuIcons, TwentyThreePicturesWithTheFiveTheMenusUse) {
  const QList<QIcon> icons = MakeIlsIcons();
  ASSERT_EQ(icons.size(), 23);
  for (int i = 0; i < icons.size(); ++i) {
    SCOPED_TRACE(i);
    const QImage image = icons[i].pixmap(16, 16).toImage().convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(image.size(), QSize(16, 16));
    QImage blank(16, 16, QImage::Format_ARGB32);
    blank.fill(Qt::transparent);
    const bool drawn = image != blank;
    const bool used = i == 0 || i == 5 || i == 7 || i == 8 || i == 22;
    EXPECT_EQ(drawn, used);
  }
}

TEST_F(MenusTest, EveryShortcutRaisesItsKeyWhereverTheFocusIsInTheWindow) {
  Build();
  auto* box = new QLineEdit(host.bottom);  // a box on the bottom bar claims Ctrl+C, Ctrl+V...
  host.bottom->SetVisible(true);
  ASSERT_TRUE(host.Show());
  host.editor->setText("abc");
  for (QWidget* focus : {static_cast<QWidget*>(host.editor), static_cast<QWidget*>(box)}) {
    focus->setFocus();
    ASSERT_TRUE(WaitUntil([focus] { return focus->hasFocus(); }));
    int shortcuts = 0;
    for (const Row& row : kTable) {
      if (!*row.keys)
        continue;
      ++shortcuts;
      SCOPED_TRACE(std::string(row.keys) + " in " + focus->metaObject()->className());
      const QKeyCombination combination = QKeySequence(QString::fromLatin1(row.keys))[0];
      host.clicks.clear();
      QTest::keyClick(focus, combination.key(), combination.keyboardModifiers());
      ASSERT_EQ(host.clicks.size(), 1u);
      EXPECT_EQ(host.clicks[0].key, row.key);
      EXPECT_EQ(host.clicks[0].element, 0);
    }
    EXPECT_EQ(shortcuts, 13);
  }
  // Ctrl+A, Ctrl+X, Ctrl+L, Ctrl+D... reached neither the editor nor the box.
  EXPECT_EQ(host.editor->text(), "abc");
  EXPECT_TRUE(box->text().isEmpty());
}

TEST_F(MenusTest, EditMenuAndContextMenuReportTheSameItem) {
  Build();
  ASSERT_TRUE(host.Show());
  QMenuBar* row = host.top->MenuRow();
  QAction* edit = host.bar.FindItem("EDIT")->Action();
  const auto chooseInEditMenu = [&](const char* key) {
    QTest::mouseClick(row, Qt::LeftButton, {}, row->actionGeometry(edit).center());
    QMenu* menu = edit->menu();
    ASSERT_TRUE(WaitUntil([menu] { return menu->isVisible(); }));
    ClickInMenu(menu, host.bar.FindItem(key)->Action());
    ASSERT_TRUE(WaitUntil([menu] { return !menu->isVisible(); }));
  };
  const auto chooseInContextMenu = [&](const char* key) {
    ChooseInNextPopup(host.bar.FindItem(key)->Action());
    host.top->PopupBar(50, 50, host.bar.FindBar("POPUPbar"));
  };

  chooseInEditMenu("EDIT:COPY");
  chooseInContextMenu("EDIT:COPY");
  chooseInEditMenu("EDIT:ADDDEV");
  chooseInContextMenu("POP:ADDDEV");
  ASSERT_EQ(host.clicks.size(), 4u);
  EXPECT_EQ(host.clicks[0].key, "EDIT:COPY");
  EXPECT_EQ(host.clicks[1].key, "EDIT:COPY");
  EXPECT_EQ(host.clicks[0].item, host.clicks[1].item);
  EXPECT_EQ(host.clicks[2].key, "EDIT:ADDDEV");
  EXPECT_EQ(host.clicks[3].key, "POP:ADDDEV");
}

}  // namespace
}  // namespace pelorin
