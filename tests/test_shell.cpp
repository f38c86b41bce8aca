// SPDX-License-Identifier: GPL-3.0-or-later
// The assembled main window: start-up, menus acting on the surface and the store, the bottom
// panels, the layout, the keys that interrupt a command, and the close-time saving, also when
// the process is told to end.
#include <gtest/gtest.h>

#include <Qsci/qsciscintilla.h>

#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/CommandBar.h"
#include "app/FolderTree.h"
#include "app/frmShell.h"
#include "console/ConsoleSession.h"
#include "editor/ConsoleEditor.h"
#include "prefs/Registry.h"
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
  editor.AppendAtEnd(("\nsecond\nthird\n" + home_ + ">").toStdString());
  QLineEdit& box = shell.TextGoto();
  for (PanelMode panel : {PanelMode::GoToLine, PanelMode::AddDivider, PanelMode::RemoveDivider}) {
    shell.ShowBottomPanel(panel);
    EXPECT_TRUE(box.hasFocus());
    EXPECT_EQ(box.text(), "") << "emptied at each opening";
    EXPECT_EQ(container.height(), shell.height() - top - shell.Bars().Element(1)->Height());
    Submit(panel, "5");  // past the last line: the panel stays, the number too
    EXPECT_TRUE(BarShown() && box.text() == "5") << static_cast<int>(panel);
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
       [](ConsoleEditor& e) { return e.HighlightRow() == e.CurrentLine(); }}};
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
  Click("PREF:LINENUM");  // the next start takes the stored switches
  Open({home_});
  EXPECT_FALSE(shell_->Editor().ShowLineNumbers());
  EXPECT_FALSE(shell_->Bars().FindItem("PREF:LINENUM")->CheckMark());
}

TEST_F(Shell, UpRecallsACommandOfAnEarlierRun) {
  Open({home_});
  QTest::keyClicks(Surface(), "echo kept\r");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !shell_->Session().bBusy(); }, 10000));
  Open({home_});
  QTest::keyClick(Surface(), Qt::Key_Up);
  EXPECT_TRUE(Text().endsWith(home_ + ">echo kept")) << Text().toStdString();
}

}  // namespace
}  // namespace pelorin
