// SPDX-License-Identifier: GPL-3.0-or-later
// The assembled main window: start-up, menus acting on the surface and the store, the bottom
// panels, the layout, the keys that interrupt a command, and the close-time saving, also when
// the process is told to end.
#include <gtest/gtest.h>

#include <Qsci/qsciscintilla.h>

#include <signal.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>

#include "app/CommandBar.h"
#include "app/FolderTree.h"
#include "app/frmShell.h"
#include "console/ConsoleSession.h"
#include "editor/ConsoleEditor.h"
#include "editor/EditorCommands.h"
#include "prefs/Registry.h"
#include "splitter/SplitterHandle.h"
#include "splitter/cSplitter.h"
#include "tests/support/LockHolder.h"
#include "tests/support/TempDir.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace pelorin {
namespace {

// Whether a `sleep` runs with the folder as its current one (a command typed there).
bool SleepRunsIn(const QString& folder) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator("/proc", ec)) {
    std::string comm;
    std::getline(std::ifstream(entry.path() / "comm"), comm);
    if (comm == "sleep" && std::filesystem::read_symlink(entry.path() / "cwd", ec) ==
                               std::filesystem::path(folder.toStdString())) {
      return true;
    }
  }
  return false;
}

class Shell : public ::testing::Test {
 protected:
  frmShell& Open(const QStringList& arguments) {
    shell_.reset();  // one window at a time, the old one gone before the new one loads
    shell_ = std::make_unique<frmShell>(arguments);
    shell_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(shell_.get()));
    return *shell_;
  }
  QsciScintilla* Surface() const { return shell_->Editor().findChild<QsciScintilla*>(); }
  QString Text() const { return Surface()->text(); }
  void Click(const char* key) { shell_->Bars().FindItem(key)->Action()->trigger(); }
  bool BarShown() const { return shell_->Bars().Element(1)->Visible(); }
  void Submit(PanelMode panel, const QString& text) {
    shell_->ShowBottomPanel(panel);
    shell_->TextGoto().setText(text);
    QTest::keyRelease(&shell_->TextGoto(), Qt::Key_Return);
  }
  std::int32_t Stored(const char* name) {
    TypedValue v = std::int32_t{-99};
    Registry::GetValue(regapi::kCurrentUser, "Software\\Pelorin", name, Registry::kRegDword, v);
    return std::get<std::int32_t>(v);
  }

  test::ScopedCwd cwd_;
  test::TempDir config_, work_;
  test::ScopedEnv configEnv_{"XDG_CONFIG_HOME", config_.path().c_str()};
  QString home_ = QString::fromStdString(std::filesystem::canonical(work_.path()).string());
  std::unique_ptr<frmShell> shell_;
};

TEST_F(Shell, StartUpDirectoryFromTheArgumentsOrTheStore) {
  Open({});  // the root without arguments or a stored directory
  EXPECT_EQ(Text(), "/>");
  Open({home_ + "/gone"});  // reported, then the prompt follows
  EXPECT_EQ(Text(), home_ + "/gone: Path not found\n/>");
  std::filesystem::create_directory(work_.path() + "/a b");
  frmShell& shell = Open({"\"" + home_ + "/a", "b\""});
  EXPECT_EQ(Text(), home_ + "/a b>");
  EXPECT_EQ(shell.windowTitle(), home_ + "/a b - Pelorin");
  EXPECT_EQ(shell.DirLS().SelectedPath(), home_ + "/a b");
  EXPECT_TRUE(shell.Editor().focusProxy()->hasFocus());
  Click("PREF:CURDIR");
  Open({});
  EXPECT_EQ(Text(), home_ + "/a b>");  // the stored start-up directory
}

TEST_F(Shell, TypingAfterAClickOrADoubleClickInTheTreeGoesToTheConsole) {
  for (const char* name : {"one", "two"})
    std::filesystem::create_directory(work_.path() + "/" + name);
  frmShell& shell = Open({home_});
  FolderTree& tree = shell.DirLS();
  tree.expand(tree.FileModel()->index(home_));
  const auto row = [&](const char* name) {
    const QModelIndex index = tree.FileModel()->index(home_ + "/" + name);
    tree.scrollTo(index);
    return tree.visualRect(index).center();
  };
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return tree.FileModel()->rowCount(tree.FileModel()->index(home_)) == 2; }, 15000));
  QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, row("one"));
  QTest::keyClicks(QApplication::focusWidget(), "echo a");
  EXPECT_TRUE(Text().endsWith(home_ + "/one>echo a")) << Text().toStdString();
  // The second press of a double click changes no folder: it must not take the focus either.
  QTest::mouseDClick(tree.viewport(), Qt::LeftButton, {}, row("two"));
  QTest::keyClicks(QApplication::focusWidget(), "tho");
  EXPECT_TRUE(Text().endsWith(home_ + "/two>tho")) << Text().toStdString();
  EXPECT_EQ(tree.SelectedPath(), home_ + "/two");
}

TEST_F(Shell, TerminationSignalsCloseTheWindowAsItsCloseBoxDoes) {
  // Before, the first of them ended this process at once.
  ASSERT_TRUE(Registry::CreateKey(regapi::kCurrentUser, "Software\\Pelorin"));
  std::int32_t width = 0;
  for (const int sig : {SIGHUP, SIGINT, SIGTERM}) {  // in rising order, as the widths
    frmShell& shell = Open({home_});
    shell.resize(500 + 20 * sig, 400);
    QApplication::processEvents();
    ::kill(::getpid(), sig);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !shell.isVisible(); })) << sig;
    EXPECT_GT(Stored("WindowWidth"), width) << "the placement is saved: " << sig;
    width = Stored("WindowWidth");
  }
}

TEST_F(Shell, CtrlCInterruptsARunningCommandUnlessTextIsSelectedAndCtrlBreakAlways) {
  frmShell& shell = Open({home_});
  QWidget* surface = shell.Editor().focusProxy();
  const auto key = [surface](Qt::Key k) { QTest::keyClick(surface, k, Qt::ControlModifier); };
  const QString prompt = home_ + ">";
  // A shell may catch SIGINT until it has started the command: each interrupt waits for it.
  const auto run = [&] {
    QTest::keyClicks(surface, "sleep 100\r");
    return shell.Session().bBusy() && QTest::qWaitFor([this] { return SleepRunsIn(home_); });
  };
  ASSERT_TRUE(run());
  int ticks = 0;
  QObject::connect(&shell.Session().myConsole(), &clsConsole::OutputReceived,
                   [&ticks] { ++ticks; });
  key(Qt::Key_A);
  // A selection outlasts the ticks of the running command (a person copies after a while), and
  // Ctrl+C copies it while the command runs on.
  ASSERT_TRUE(QTest::qWaitFor([&ticks] { return ticks >= 2; }));
  key(Qt::Key_C);
  EXPECT_EQ(QApplication::clipboard()->text(), prompt + "sleep 100\n");
  EXPECT_TRUE(shell.Session().bBusy());
  key(Qt::Key_Pause);  // Ctrl+Break, selection or not
  EXPECT_TRUE(QTest::qWaitFor([&] { return !shell.Session().bBusy(); }));
  EXPECT_EQ(Text(), prompt + "sleep 100\n" + prompt);
  ASSERT_TRUE(run());
  key(Qt::Key_C);  // nothing selected: the command is interrupted, and the prompt follows
  EXPECT_TRUE(QTest::qWaitFor([&] { return !shell.Session().bBusy(); }));
  EXPECT_EQ(Text(), prompt + "sleep 100\n" + prompt + "sleep 100\n" + prompt);
}

// Ctrl+D in the empty input of a running command ends that input; everywhere else it opens the
// divider panel, and the menu item "Add Divider line" always does.
TEST_F(Shell, CtrlDEndsARunningCommandsInputOnlyInItsEmptyLine) {
  frmShell& shell = Open({home_});
  QWidget* surface = shell.Editor().focusProxy();
  const auto ctrlD = [&] {
    surface->setFocus();
    QTest::keyClick(surface, Qt::Key_D, Qt::ControlModifier);
    const bool panel = BarShown();
    QTest::keyRelease(&shell.TextGoto(), Qt::Key_Escape);
    return panel;
  };
  QTest::keyClicks(surface, "cat\r");
  ASSERT_TRUE(shell.Session().bBusy());
  QTest::keyClicks(surface, "x");
  EXPECT_TRUE(ctrlD()) << "with text typed";
  Click("EDIT:ADDDEV");
  EXPECT_TRUE(BarShown()) << "the menu item";
  QTest::keyRelease(&shell.TextGoto(), Qt::Key_Escape);
  QTest::keyClick(surface, Qt::Key_Backspace);
  EXPECT_TRUE(shell.Session().bBusy());
  EXPECT_FALSE(ctrlD());
  EXPECT_TRUE(QTest::qWaitFor([&] { return !shell.Session().bBusy(); }));
  EXPECT_EQ(Text(), home_ + ">cat\n" + home_ + ">");
  EXPECT_TRUE(ctrlD()) << "with nothing running";
}

TEST_F(Shell, LayoutAsLoadedAndEachBottomPanelActsOnAnExistingLineOnly) {
  frmShell& shell = Open({home_});
  EXPECT_EQ(std::pair(shell.DirLS().width(), shell.Editor().x()), std::pair(200, 204));
  QWidget& container = shell.picMainContainer();
  const int top = shell.Bars().Element(0)->Height();
  EXPECT_EQ(std::pair(container.y(), container.height()), std::pair(top, shell.height() - top));
  EXPECT_EQ(shell.Editor().x() + shell.Editor().width(), shell.width());

  ConsoleEditor& editor = shell.Editor();
  editor.AppendAtEnd("\nsecond\nthird");
  shell.Session().ExecuteCommand("");  // and a prompt behind them
  QLineEdit& box = shell.TextGoto();
  const QLabel* hint = shell.Bars().Element(1)->findChild<QLabel*>("panelHint");
  ASSERT_NE(hint, nullptr);
  for (PanelMode panel : {PanelMode::GoToLine, PanelMode::AddDivider, PanelMode::RemoveDivider}) {
    shell.ShowBottomPanel(panel);
    EXPECT_TRUE(box.hasFocus());
    EXPECT_EQ(box.text(), "") << "emptied at each opening";
    EXPECT_FALSE(hint->isVisible()) << "no hint before a wrong number";
    EXPECT_EQ(container.height(), shell.height() - top - shell.Bars().Element(1)->Height());
    Submit(panel, "5");  // past the last line: the panel stays, the number too, and says why
    EXPECT_TRUE(BarShown() && box.text() == "5") << static_cast<int>(panel);
    EXPECT_TRUE(hint->isVisible() && hint->text() == "Type a line number from 1 to 4");
    EXPECT_GT(hint->x(), box.x() + box.width()) << "beside the box";
  }
  QTest::keyRelease(&box, Qt::Key_Escape);
  EXPECT_EQ(container.height(), shell.height() - top);
  Submit(PanelMode::GoToLine, " 2abc");
  EXPECT_FALSE(BarShown());
  // The returning focus re-evaluates the read-only rule.
  EXPECT_EQ(std::pair(editor.CurrentLine(), editor.ReadOnly()), std::pair(1, true));
  Submit(PanelMode::AddDivider, "3");
  EXPECT_TRUE(editor.HasLineDivider(2));
  shell.ShowBottomPanel(PanelMode::AddDivider);
  Submit(PanelMode::GoToLine, "4");  // go-to replaces the open add-divider panel
  EXPECT_EQ(std::pair(editor.CurrentLine(), editor.ReadOnly()), std::pair(3, false));
  EXPECT_FALSE(editor.HasLineDivider(3)) << "Enter acted as go-to, not as add-divider";
  Submit(PanelMode::RemoveDivider, "3");
  EXPECT_FALSE(editor.HasLineDivider(2));
}

TEST_F(Shell, MenuSwitchesActOnTheSurfaceTheStoreAndTheNextStart) {
  ConsoleEditor& editor = Open({home_}).Editor();
  using On = bool (*)(ConsoleEditor&);
  const std::tuple<const char*, const char*, bool, On> switches[] = {
      {"PREF:SPACES", "VisibleSpaces", false, [](ConsoleEditor& e) { return e.SpacesVisible(); }},
      {"PREF:LINENUM", "LineNumbering", true, [](ConsoleEditor& e) { return e.ShowLineNumbers(); }},
      {"PREF:HIGHLIGHT", "HighlightLine", false,
       [](ConsoleEditor& e) { return e.HighlightRow() == e.CurrentLine(); }},
      {"PREF:COLOURS", "DesktopColours", false,
       [](ConsoleEditor& e) { return e.DesktopColours(); }}};
  for (const auto& [key, stored, initially, shown] : switches) {
    BarItem* item = shell_->Bars().FindItem(key);
    EXPECT_EQ(std::pair(shown(editor), item->CheckMark()), std::pair(initially, initially));
    for (bool on : {!initially, initially}) {  // editor, store and mark, and back
      Click(key);
      EXPECT_EQ(std::tuple(shown(editor), item->CheckMark(), Stored(stored)),
                std::tuple(on, on, on))
          << key;
    }
  }
  // The highlight follows the caret to the prompt after a command's output, not only on keys.
  Click("PREF:HIGHLIGHT");
  QTest::keyClicks(Surface(), "echo hi\r");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !shell_->Session().bBusy(); }, 10000));
  EXPECT_EQ(editor.HighlightRow(), editor.LineCount() - 1);
  Click("PREF:LINENUM");  // the next start takes the stored switches
  Open({home_});
  EXPECT_FALSE(shell_->Editor().ShowLineNumbers());
  EXPECT_FALSE(shell_->Bars().FindItem("PREF:LINENUM")->CheckMark());
}

// The menu items an assistive technology finds under iface (drop-downs included): the names of
// those that have one; unnamed counts the others. Separators carry no command and no name.
void MenuItemNames(QAccessibleInterface* iface, QStringList& names, int& unnamed) {
  for (int i = 0; i < iface->childCount(); ++i) {
    QAccessibleInterface* child = iface->child(i);
    if (child == nullptr) {
      continue;
    }
    if (child->role() == QAccessible::MenuItem) {
      const QString name = child->text(QAccessible::Name);
      name.isEmpty() ? ++unnamed : (names << name, 0);
    }
    MenuItemNames(child, names, unnamed);
  }
}

QString Name(QObject* object) {
  return QAccessible::queryAccessibleInterface(object)->text(QAccessible::Name);
}

QAccessible::Role Role(QObject* object) {
  return QAccessible::queryAccessibleInterface(object)->role();
}

TEST_F(Shell, EveryMenuItemPanelAndPartHasANameAndTheKeysReachEveryPart) {
  frmShell& shell = Open({home_});
  CommandBar& bars = shell.Bars();
  QStringList names;
  int unnamed = 0, commands = 0;
  MenuItemNames(QAccessible::queryAccessibleInterface(bars.Element(0)->MenuRow()), names, unnamed);
  MenuItemNames(QAccessible::queryAccessibleInterface(bars.FindBar("POPUPbar")->Menu()), names,
                unnamed);
  for (const char* bar : {"MAINbar", "FILEbar", "EDITbar", "PREFbar", "HELPbar", "POPUPbar"}) {
    for (const BarItem* item : bars.FindBar(bar)->Items()) {
      commands += item->Style() != ItemStyle::Separator;
    }
  }
  EXPECT_EQ(unnamed, 0);
  EXPECT_EQ(names.size(), commands) << names.join(", ").toStdString();
  EXPECT_TRUE(names.contains("Go to Line...") && names.contains("Add divider line"));
  EXPECT_EQ(Name(bars.Element(0)->MenuRow()), "Main bar");

  const std::pair<PanelMode, QString> panels[] = {{PanelMode::GoToLine, "Go to:"},
                                                  {PanelMode::AddDivider, "Add divider:"},
                                                  {PanelMode::RemoveDivider, "Remove divider:"}};
  for (const auto& [mode, caption] : panels) {
    shell.ShowBottomPanel(mode);
    EXPECT_EQ(Name(&shell.TextGoto()), caption);
  }
  EXPECT_EQ(std::pair(Role(&shell), Name(&shell)),
            std::pair(QAccessible::Window, shell.windowTitle()));
  EXPECT_EQ(std::pair(Role(&shell.DirLS()), Name(&shell.DirLS())),
            std::pair(QAccessible::Tree, QString("Folder tree")));
  EXPECT_EQ(std::pair(Role(Surface()), Name(Surface())),
            std::pair(QAccessible::Terminal, QString("Console")));
  SplitterHandle& bar = shell.SplitterBar();
  EXPECT_EQ(std::pair(Role(&bar), Name(&bar)),
            std::pair(QAccessible::Splitter, QString("Splitter bar")));

  // F6 and Ctrl+Tab go round the parts, the open panel's box included; Shift+F6 goes back.
  shell.DirLS().setFocus();
  std::vector<QWidget*> reached;
  for (const QKeySequence& keys :
       {QKeySequence(Qt::Key_F6), QKeySequence(Qt::CTRL | Qt::Key_Tab), QKeySequence(Qt::Key_F6),
        QKeySequence(Qt::Key_F6), QKeySequence(Qt::SHIFT | Qt::Key_F6)}) {
    QTest::keySequence(QApplication::focusWidget(), keys);
    reached.push_back(QApplication::focusWidget());
  }
  EXPECT_EQ(reached, (std::vector<QWidget*>{&bar, Surface(), &shell.TextGoto(), &shell.DirLS(),
                                            &shell.TextGoto()}));
  // On the bar the arrow keys move it.
  bar.setFocus();
  const int at = shell.Splitter().Position();
  QTest::keyClick(&bar, Qt::Key_Right);
  QTest::keyClick(&bar, Qt::Key_Right, Qt::ControlModifier);
  EXPECT_EQ(shell.Splitter().Position(), at + SplitterHandle::kStep + SplitterHandle::kBigStep);
  EXPECT_EQ(shell.DirLS().width(), shell.Splitter().Position());
  // F10 opens the first menu of the menu row.
  QTest::keyClick(&bar, Qt::Key_F10);
  auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(menu, bars.FindBar("FILEbar")->Menu());
  menu->close();
}

TEST_F(Shell, TheMenusCopyCopiesAndARightClickKeepsTheSelectionWhileACommandRuns) {
  frmShell& shell = Open({home_});
  QWidget* surface = shell.Editor().focusProxy();
  QTest::keyClicks(surface, "sleep 100\r");
  ASSERT_TRUE(QTest::qWaitFor([this] { return SleepRunsIn(home_); }));
  QApplication::clipboard()->setText("before");
  Click("EDIT:COPY");  // nothing selected: nothing to copy, and the command runs on
  EXPECT_EQ(QApplication::clipboard()->text(), "before");
  shell.Editor().RunEditorCommand(EditorCommand::kSelectAll);
  // A right click inside the selection, its menu closed at once, twice over.
  QTimer closer;
  closer.callOnTimeout([] {
    if (QApplication::activePopupWidget() != nullptr) {
      QApplication::activePopupWidget()->close();
    }
  });
  closer.start(20);
  const QPoint inside = Surface()->viewport()->rect().topLeft() + QPoint(60, 5);
  for (int i = 0; i < 2; ++i) {
    QTest::mouseClick(Surface()->viewport(), Qt::RightButton, {}, inside);
    Click("EDIT:COPY");
  }
  EXPECT_TRUE(shell.Editor().HasSelectedText());
  EXPECT_EQ(QApplication::clipboard()->text(), home_ + ">sleep 100\n");
  EXPECT_TRUE(shell.Session().bBusy() && SleepRunsIn(home_));
  shell.Session().Interrupt();
  EXPECT_TRUE(QTest::qWaitFor([&] { return !shell.Session().bBusy(); }));
}

TEST_F(Shell, TheTreeFollowsCdAndTheZoomIsKept) {
  std::filesystem::create_directory(work_.path() + "/sub");
  frmShell& shell = Open({home_});
  QTest::keyClicks(Surface(), "cd sub\r");
  EXPECT_TRUE(QTest::qWaitFor([&] { return shell.DirLS().SelectedPath() == home_ + "/sub"; }));
  EXPECT_EQ(shell.DirLS().currentIndex(), shell.DirLS().FileModel()->index(home_ + "/sub"));
  QApplication::processEvents();
  EXPECT_EQ(Text(), home_ + ">cd sub\n" + home_ + "/sub>") << "no second prompt";
  QTest::keyClick(Surface(), Qt::Key_Equal, Qt::ControlModifier);
  QTest::keyClick(Surface(), Qt::Key_Equal, Qt::ControlModifier);
  EXPECT_EQ(shell.Editor().Zoom(), 2);
  shell.close();  // a zoom not saved yet is saved at the close
  EXPECT_EQ(Stored("Zoom"), 2);
  EXPECT_EQ(Open({home_}).Editor().Zoom(), 2);
}

// The history is read and added to on a thread of its own: a lock another program holds never
// holds up the window. The earlier run's commands arrive once it lets go, before the commands
// run meanwhile.
TEST_F(Shell, UpRecallsACommandOfAnEarlierRunAndAHeldHistoryNeverHoldsUpTheWindow) {
  Open({home_});
  QTest::keyClicks(Surface(), "echo kept\r");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !shell_->Session().bBusy(); }, 10000));
  shell_.reset();  // the command is in the file once the window has gone
  test::LockHolder holder(config_.path() + "/pelorin/history.lock", 3);
  ASSERT_TRUE(holder.Held());
  QElapsedTimer opening;
  opening.start();
  Open({home_});
  QTest::keyClicks(Surface(), "echo meanwhile\r");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !shell_->Session().bBusy(); }, 10000));
  EXPECT_LT(opening.elapsed(), 1500) << "the window waited for the history";
  const auto& entries = shell_->Session().History().Entries();
  ASSERT_TRUE(QTest::qWaitFor([&] { return entries.size() == 2; }, 20000));
  QTest::keyClick(Surface(), Qt::Key_Up);
  QTest::keyClick(Surface(), Qt::Key_Up);
  EXPECT_TRUE(Text().endsWith(home_ + ">echo kept")) << Text().toStdString();
}

}  // namespace
}  // namespace pelorin
