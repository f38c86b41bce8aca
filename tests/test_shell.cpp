// The assembled main window: start-up, menus acting on the surface and the store, the bottom
// panels, the layout and the close-time saving.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <filesystem>

#include "app/CommandBar.h"
#include "app/FolderTree.h"
#include "app/frmShell.h"
#include "console/Directory.h"
#include "editor/BottomPanel.h"
#include "editor/ConsoleEditor.h"
#include "prefs/Registry.h"
#include "splitter/cSplitter.h"
#include "tests/support/TempDir.h"

QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace pelorin {
namespace {

const char* kKey = "Software\\Pelorin";

class Shell : public ::testing::Test {
 protected:
  Shell()
      : configEnv_("XDG_CONFIG_HOME", config_.path().c_str()),
        home_(QString::fromStdString(std::filesystem::canonical(work_.path()).string())) {
    std::filesystem::create_directory(work_.path() + "/a b");
  }

  frmShell& Open(const QStringList& arguments) {
    shell_ = std::make_unique<frmShell>(arguments);
    shell_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(shell_.get()));
    return *shell_;
  }
  QString Text() const {
    QStringList lines;
    for (int i = 0; i < shell_->Editor().LineCount(); ++i) {
      lines << shell_->Editor().LineText(i);
    }
    return lines.join(QLatin1Char('\n'));
  }
  void Click(const char* key) { shell_->Bars().FindItem(key)->Action()->trigger(); }
  std::int32_t Stored(const char* name) {
    TypedValue v = std::int32_t{-99};
    Registry::GetValue(regapi::kCurrentUser, kKey, name, Registry::kRegDword, v);
    return std::get<std::int32_t>(v);
  }
  void Type(QWidget* w, const QString& text) { QTest::keyClicks(w, text); }
  void Release(QWidget* w, Qt::Key key) { QTest::keyRelease(w, key); }

  test::ScopedCwd cwd_;
  test::TempDir config_;
  test::ScopedEnv configEnv_;
  test::TempDir work_;
  QString home_;
  std::unique_ptr<frmShell> shell_;
};

TEST_F(Shell, StartsInTheQuotedArgumentWithItsPromptFirst) {
  frmShell& shell = Open({"\"" + home_ + "/a", "b\""});
  EXPECT_EQ(Text(), home_ + "/a b>");
  EXPECT_EQ(QString::fromStdString(CurrentDirectory()), home_ + "/a b");
  EXPECT_EQ(shell.windowTitle(), home_ + "/a b - Pelorin");
  EXPECT_EQ(shell.DirLS().SelectedPath(), home_ + "/a b");
  EXPECT_TRUE(shell.Editor().hasFocus() || shell.Editor().focusProxy()->hasFocus());
}

TEST_F(Shell, StartsInTheStoredDirectoryOrTheRootWithoutArguments) {
  Open({});
  EXPECT_EQ(Text(), "/>");
  shell_.reset();
  ASSERT_TRUE(Registry::CreateKey(regapi::kCurrentUser, kKey));
  std::uint32_t type = Registry::kRegSz;
  ASSERT_TRUE(Registry::SetValue(regapi::kCurrentUser, kKey, "StartDir", type,
                                 TypedValue{home_.toStdString()}));
  Open({});
  EXPECT_EQ(Text(), home_ + ">");
}

TEST_F(Shell, AMissingStartFolderIsReportedThenThePromptFollows) {
  TrySetCurrentDir(home_.toStdString());
  Open({home_ + "/gone"});
  EXPECT_EQ(Text(), home_ + "/gone: Path not found\n" + home_ + ">");
}

TEST_F(Shell, SplitterAndLayoutAsLoaded) {
  frmShell& shell = Open({home_});
  EXPECT_EQ(shell.Splitter().Orientation(), 2);
  EXPECT_FALSE(shell.Splitter().FullDrag());
  EXPECT_EQ(shell.Splitter().Position(), 200);
  EXPECT_EQ(shell.DirLS().width(), 200);
  EXPECT_EQ(shell.Editor().x(), 204);
  QWidget& container = shell.picMainContainer();
  BarElement* top = shell.Bars().Element(0);
  BarElement* bottom = shell.Bars().Element(1);
  EXPECT_FALSE(bottom->Visible());
  EXPECT_EQ(container.y(), top->Height());
  EXPECT_EQ(container.height(), shell.height() - top->Height());

  shell.ShowBottomPanel(1);
  EXPECT_TRUE(bottom->Visible());
  EXPECT_EQ(container.height(), shell.height() - top->Height() - bottom->Height());
  Release(&shell.TextGoto(), Qt::Key_Escape);
  EXPECT_FALSE(bottom->Visible());
  EXPECT_EQ(container.height(), shell.height() - top->Height());

  shell.resize(shell.width() + 100, shell.height());
  QApplication::processEvents();
  EXPECT_EQ(container.width(), shell.width());
  EXPECT_EQ(shell.Editor().x() + shell.Editor().width(), container.width());
}

TEST_F(Shell, GoToPanelMovesTheCaretOnlyForAnExistingLine) {
  frmShell& shell = Open({home_});
  ConsoleEditor& editor = shell.Editor();
  editor.AppendAtEnd("\nsecond\nthird\n" + home_ + ">");
  QLineEdit& box = shell.TextGoto();
  shell.ShowBottomPanel(1);
  EXPECT_TRUE(box.hasFocus());
  for (const QString refused : {"0", "-3", "", "5", "abc", "99999999999"}) {
    box.setText(refused);
    Release(&box, Qt::Key_Return);
    EXPECT_TRUE(shell.Bars().Element(1)->Visible()) << refused.toStdString();
    EXPECT_EQ(box.text(), refused) << "the text stays as typed";
  }
  box.setText(" 2abc");
  Release(&box, Qt::Key_Return);
  EXPECT_FALSE(shell.Bars().Element(1)->Visible());
  EXPECT_EQ(editor.CurrentLine(), 1);
  EXPECT_TRUE(editor.ReadOnly()) << "the returning focus re-evaluates the read-only rule";

  shell.ShowBottomPanel(1);
  EXPECT_EQ(box.text(), "") << "emptied at each opening";
  box.setText("2.5");
  Release(&box, Qt::Key_Return);
  EXPECT_EQ(editor.CurrentLine(), 2) << "1.5 rounds to the even 2";
  shell.ShowBottomPanel(1);
  box.setText("4");
  Release(&box, Qt::Key_Return);
  EXPECT_EQ(editor.CurrentLine(), 3);
  EXPECT_FALSE(editor.ReadOnly());
}

TEST_F(Shell, DividerPanelsAndOnePanelReplacingAnother) {
  frmShell& shell = Open({home_});
  ConsoleEditor& editor = shell.Editor();
  editor.AppendAtEnd("\ntwo\nthree");
  QLineEdit& box = shell.TextGoto();
  shell.ShowBottomPanel(2);
  box.setText("3");
  Release(&box, Qt::Key_Return);
  EXPECT_TRUE(editor.HasLineDivider(2));

  shell.ShowBottomPanel(2);
  box.setText("1");
  shell.ShowBottomPanel(1);  // go-to replaces the open add-divider panel
  EXPECT_EQ(box.text(), "");
  EXPECT_EQ(shell.Panels().lPanelMode(), 1);
  box.setText("1");
  Release(&box, Qt::Key_Return);
  EXPECT_FALSE(editor.HasLineDivider(0)) << "Enter acted as go-to, not as add-divider";
  EXPECT_EQ(editor.CurrentLine(), 0);

  shell.ShowBottomPanel(3);
  box.setText("3");
  Release(&box, Qt::Key_Return);
  EXPECT_FALSE(editor.HasLineDivider(2));
}

TEST_F(Shell, CheckSwitchesApplySaveAndTickAndBack) {
  frmShell& shell = Open({home_});
  ConsoleEditor& editor = shell.Editor();
  BarItem* spaces = shell.Bars().FindItem("PREF:SPACES");
  BarItem* numbers = shell.Bars().FindItem("PREF:LINENUM");
  BarItem* highlight = shell.Bars().FindItem("PREF:HIGHLIGHT");
  EXPECT_FALSE(spaces->CheckMark());
  EXPECT_TRUE(numbers->CheckMark());
  EXPECT_FALSE(highlight->CheckMark());
  EXPECT_TRUE(editor.ShowLineNumbers());

  Click("PREF:SPACES");
  EXPECT_TRUE(spaces->CheckMark());
  EXPECT_TRUE(editor.SpacesVisible());
  EXPECT_EQ(Stored("VisibleSpaces"), 1);
  Click("PREF:SPACES");
  EXPECT_FALSE(editor.SpacesVisible());
  EXPECT_EQ(Stored("VisibleSpaces"), 0);

  Click("PREF:LINENUM");
  EXPECT_FALSE(editor.ShowLineNumbers());
  EXPECT_EQ(Stored("LineNumbering"), 0);

  Click("PREF:HIGHLIGHT");
  EXPECT_EQ(editor.HighlightRow(), editor.CurrentLine());
  EXPECT_EQ(Stored("HighlightLine"), 1);
  Click("PREF:HIGHLIGHT");
  EXPECT_EQ(editor.HighlightRow(), -1);
  EXPECT_EQ(Stored("HighlightLine"), 0);

  // The next start takes the stored switches.
  shell_.reset();
  Open({home_});
  EXPECT_FALSE(shell_->Editor().ShowLineNumbers());
  EXPECT_FALSE(shell_->Bars().FindItem("PREF:LINENUM")->CheckMark());
}

TEST_F(Shell, FindAndMarkAllKeepsOnlyTheLatestSearchsMarks) {
  frmShell& shell = Open({home_});
  ConsoleEditor& editor = shell.Editor();
  editor.AppendAtEnd("\napple\npear\napple pie\n");
  editor.SetSearchText("apple");
  Click("EDIT:FINDMARK");
  EXPECT_TRUE(editor.HasLineMark(1));
  EXPECT_TRUE(editor.HasLineMark(3));
  editor.SetSearchText("pear");
  Click("EDIT:FINDMARK");
  EXPECT_FALSE(editor.HasLineMark(1));
  EXPECT_FALSE(editor.HasLineMark(3));
  EXPECT_TRUE(editor.HasLineMark(2));
}

TEST_F(Shell, ContextMenuDividersActOnTheCaretsLine) {
  frmShell& shell = Open({home_});
  ConsoleEditor& editor = shell.Editor();
  editor.AppendAtEnd("\nx\ny");
  editor.MoveCaret(1, 0);
  Click("POP:ADDDEV");
  Click("POP:ADDDEV");
  EXPECT_TRUE(editor.HasLineDivider(1));
  Click("POP:REMOVEDEV");
  EXPECT_FALSE(editor.HasLineDivider(1)) << "two adds, one removal: gone";
  Click("EDIT:ADDDEV");
  EXPECT_TRUE(shell.Bars().Element(1)->Visible()) << "the Edit menu asks for a line first";
  EXPECT_FALSE(editor.HasLineDivider(1));
}

TEST_F(Shell, ClosingStoresThePlacementOnlyWhenNormal) {
  frmShell& shell = Open({home_});
  ASSERT_TRUE(Registry::CreateKey(regapi::kCurrentUser, kKey));
  shell.resize(700, 450);
  QApplication::processEvents();
  Click("FILE:EXIT");
  EXPECT_FALSE(shell.isVisible());
  EXPECT_EQ(Stored("WindowState"), 0);
  const std::int32_t width = Stored("WindowWidth");
  EXPECT_GT(width, 0);

  Open({home_});
  shell_->showMaximized();
  QApplication::processEvents();
  shell_->close();
  EXPECT_EQ(Stored("WindowState"), 2);
  EXPECT_EQ(Stored("WindowWidth"), width) << "a maximised close keeps the normal placement";
}

}  // namespace
}  // namespace pelorin
