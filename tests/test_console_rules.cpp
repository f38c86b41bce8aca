// The console as the user meets it on the real surface: the prompt line, the built-ins, a real
// interpreter run, output and completion, F2 and the read-only rule.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QTest>
#include <filesystem>

#include "console/Directory.h"
#include "console/Interpreter.h"
#include "console/clsConsole.h"
#include "editor/ConsoleEditor.h"
#include "editor/PromptInput.h"
#include "tests/support/TempDir.h"

QT_BEGIN_NAMESPACE
// Readable failures.
inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE

namespace pelorin {
namespace {

class ConsoleRules : public ::testing::Test {
 protected:
  ConsoleRules()
      : home_(QString::fromStdString(std::filesystem::canonical(dir_.path()).string())),
        interpreter_(editor_, console_, state_, [this](const QString& c) { caption_ = c; }),
        input_(editor_, interpreter_, state_, [this] { return highlight_; }) {
    QObject::connect(&console_, &clsConsole::OutputReceived,
                     [this](const QString& o, const QString& e) {
                       interpreter_.myConsole_OutputReceived(o, e);
                     });
    QObject::connect(&console_, &clsConsole::Complete, [this](const QString& o, const QString& e) {
      interpreter_.myConsole_Complete(o, e);
    });
    std::filesystem::create_directory(dir_.path() + "/sub");
    TrySetCurrentDir(home_.toStdString());
    editor_.SetEventSink(&input_);
    editor_.resize(600, 400);
    editor_.show();
    editor_.setFocus();
    interpreter_.DirLS_FolderChange(home_, {});
  }
  ~ConsoleRules() override { editor_.SetEventSink(nullptr); }

  QString Last() const { return editor_.LineText(editor_.LineCount() - 1); }
  QString Text() const {
    QStringList lines;
    for (int i = 0; i < editor_.LineCount(); ++i) {
      lines << editor_.LineText(i);
    }
    return lines.join(QLatin1Char('\n'));
  }
  void Type(const QString& text) { QTest::keyClicks(editor_.focusProxy(), text); }
  void Enter() { QTest::keyClick(editor_.focusProxy(), Qt::Key_Return); }
  void Run(const QString& command) {
    Type(command);
    Enter();
    WaitIdle();
  }
  void WaitIdle(int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (state_.bBusy && t.elapsed() < ms) {
      QTest::qWait(20);
    }
    ASSERT_FALSE(state_.bBusy) << "the command did not complete";
  }
  int CaretColumn() const { return editor_.CurrentColumn(); }

  test::ScopedCwd restoreCwd_;
  test::TempDir dir_;
  QString home_;
  ConsoleEditor editor_;
  clsConsole console_;
  ShellState state_;
  QString caption_;
  bool highlight_ = false;
  CommandInterpreter interpreter_;
  PromptInput input_;
};

TEST_F(ConsoleRules, FirstPromptStandsAloneWithTheCaretBehindIt) {
  EXPECT_EQ(editor_.LineCount(), 1);
  EXPECT_EQ(Last(), home_ + ">");
  EXPECT_EQ(caption_, home_ + " - Pelorin");
  EXPECT_EQ(editor_.CurrentLine(), 0);
  EXPECT_EQ(CaretColumn(), home_.size() + 1);
  EXPECT_FALSE(editor_.ReadOnly());
}

TEST_F(ConsoleRules, CommandOutputThenShortPromptWithoutBlankLine) {
  Run("echo hello");
  EXPECT_EQ(Text(), home_ + ">echo hello\nhello\n" + home_ + ">");
  EXPECT_EQ(caption_, home_ + " - Pelorin");
  EXPECT_EQ(state_.strLastCommand, "echo hello");
  EXPECT_EQ(CaretColumn(), home_.size() + 1);
  EXPECT_FALSE(editor_.ReadOnly());
}

TEST_F(ConsoleRules, SilentCommandAndUnterminatedOutput) {
  Run("true");
  EXPECT_EQ(Text(), home_ + ">true\n" + home_ + ">");
  Run("printf abc");
  EXPECT_EQ(Last(), "abc" + home_ + ">") << "the prompt continues an unterminated line";
  Enter();  // that line does not begin with the prompt
  EXPECT_TRUE(Text().endsWith("abc" + home_ + ">\nInvalid input\n" + home_ + ">"));
}

TEST_F(ConsoleRules, StandardErrorIsMarkedOncePerEvent) {
  Run("echo one 1>&2; echo two 1>&2");
  EXPECT_TRUE(Text().contains("\nSTDERR: one\ntwo\n" + home_ + ">")) << Text().toStdString();
  EXPECT_EQ(Text().count("STDERR: "), 1);
}

TEST_F(ConsoleRules, BusyWhileRunningAndNothingMakesItWritable) {
  Type("sleep 1");
  Enter();
  ASSERT_TRUE(state_.bBusy);
  EXPECT_EQ(caption_, "Working... - Pelorin");
  EXPECT_TRUE(editor_.ReadOnly());
  QTest::keyClick(editor_.focusProxy(), Qt::Key_End);
  input_.FocusGained();
  input_.MouseClick(1, 0, 5, 5);
  EXPECT_TRUE(editor_.ReadOnly());
  Type("zzz");
  EXPECT_FALSE(Text().contains("zzz"));
  input_.WindowKeyReleased(Qt::Key_F2);
  EXPECT_EQ(Text().count("sleep 1"), 1) << "F2 writes nothing while a command runs";
  WaitIdle();
  EXPECT_FALSE(editor_.ReadOnly());
}

TEST_F(ConsoleRules, CdBuiltInsChangeTheWindowsDirectory) {
  Run("cd  sub");
  EXPECT_EQ(QString::fromStdString(CurrentDirectory()), home_ + "/sub");
  EXPECT_EQ(Text(), home_ + ">cd  sub\n" + home_ + "/sub>");
  EXPECT_EQ(caption_, home_ + "/sub - Pelorin");
  Run("cd\t..");
  EXPECT_EQ(QString::fromStdString(CurrentDirectory()), home_);
  Run("cd");
  EXPECT_EQ(QString::fromStdString(CurrentDirectory()), home_);
  EXPECT_TRUE(Text().endsWith(home_ + ">cd\n" + home_ + ">"));
  Run("CD sub");  // the interpreter's own cd: the window stays
  EXPECT_EQ(QString::fromStdString(CurrentDirectory()), home_);
  Run("cd.");
  EXPECT_EQ(QString::fromStdString(CurrentDirectory()), home_);
}

TEST_F(ConsoleRules, CdToAMissingFolderSaysSoOnItsOwnLine) {
  Run("cd /nonexistent");
  EXPECT_TRUE(Text().endsWith(">cd /nonexistent\n/nonexistent: Path not found\n" + home_ + ">"));
  Run("cd \"sub\"");  // quotes stay part of the path
  EXPECT_TRUE(Text().endsWith("\n\"sub\": Path not found\n" + home_ + ">"));
  EXPECT_EQ(QString::fromStdString(CurrentDirectory()), home_);
}

TEST_F(ConsoleRules, RunStartsWithoutWaiting) {
  QElapsedTimer t;
  t.start();
  Type("run   sleep 5");
  Enter();
  EXPECT_FALSE(state_.bBusy);
  EXPECT_LT(t.elapsed(), 2000);
  EXPECT_TRUE(Text().endsWith(">run   sleep 5\n" + home_ + ">"));
  Run("run");
  EXPECT_TRUE(Text().endsWith(">run\n" + home_ + ">"));
}

TEST_F(ConsoleRules, FailedStartReportsTheSystemsTextAndGoesIdle) {
  test::ScopedEnv shell("SHELL", "/nonexistent/shell");
  Run("echo never");
  EXPECT_FALSE(state_.bBusy);
  EXPECT_FALSE(editor_.ReadOnly());
  EXPECT_TRUE(Text().contains("No such file or directory")) << Text().toStdString();
  EXPECT_EQ(Last(), home_ + ">");
  Run("run x");
  EXPECT_TRUE(Text().endsWith("\nNo such file or directory\n" + home_ + ">"));
}

TEST_F(ConsoleRules, DamagedPromptsAreRefused) {
  // Case matters, a shortened prompt fails, and so does text in front of the prompt.
  const QString lower = home_.toLower() == home_ ? home_.toUpper() : home_.toLower();
  for (const QString& damage : {QString("\b\bx"), QString("\b")}) {
    for (QChar c : damage) {
      if (c == '\b') {
        QTest::keyClick(editor_.focusProxy(), Qt::Key_Backspace);
      } else {
        Type(QString(c));
      }
    }
    Enter();
    EXPECT_TRUE(Text().endsWith("\nInvalid input\n" + home_ + ">")) << Text().toStdString();
    EXPECT_EQ(state_.strLastCommand, "");
  }
  editor_.AppendAtEnd("\n" + lower + ">true");
  editor_.MoveCaret(editor_.LineCount() - 1, 0);
  input_.FocusGained();
  Enter();
  EXPECT_TRUE(Text().endsWith(lower + ">true\nInvalid input\n" + home_ + ">"));
}

TEST_F(ConsoleRules, EnterOnAnEarlierLineDoesNothing) {
  Run("echo a");
  const QString before = Text();
  editor_.MoveCaret(0, 2);
  input_.FocusGained();
  EXPECT_TRUE(editor_.ReadOnly());
  Enter();
  EXPECT_EQ(Text(), before);
  editor_.MoveCaret(editor_.LineCount() - 1, 3);
  input_.MouseClick(1, 0, 1, 1);
  EXPECT_FALSE(editor_.ReadOnly());
}

TEST_F(ConsoleRules, EnterTakesTheLineWhereverTheCaretStands) {
  Type("echo middle");
  editor_.MoveCaret(editor_.LineCount() - 1, 2);
  Enter();
  WaitIdle();
  EXPECT_TRUE(Text().endsWith(">echo middle\nmiddle\n" + home_ + ">"));
}

TEST_F(ConsoleRules, F2WritesTheLastCommandBehindTheLastLine) {
  input_.WindowKeyReleased(Qt::Key_F2);
  EXPECT_EQ(Last(), home_ + ">");
  Run("echo  again");
  input_.WindowKeyReleased(Qt::Key_F3);
  input_.WindowKeyReleased(Qt::Key_F2);
  EXPECT_EQ(Last(), home_ + ">echo  again") << "recalled as typed, blanks and all";
}

TEST_F(ConsoleRules, HighlightFollowsTheCaretOnlyWhileSwitchedOn) {
  Run("echo a");
  highlight_ = true;
  editor_.MoveCaret(1, 0);
  input_.AfterKey();
  EXPECT_EQ(editor_.HighlightRow(), 1);
  highlight_ = false;
  editor_.MoveCaret(0, 0);
  input_.AfterKey();
  EXPECT_EQ(editor_.HighlightRow(), 1) << "left where it was last set";
}

TEST_F(ConsoleRules, FolderChangeIsIgnoredWhileBusyAndWritesTreePrompts) {
  interpreter_.DirLS_FolderChange(home_ + "/sub", {});
  EXPECT_TRUE(Text().endsWith(home_ + ">\n" + home_ + "/sub>"));
  interpreter_.DirLS_FolderChange(home_ + "/gone", {});
  EXPECT_TRUE(Text().endsWith("\n" + home_ + "/gone: Path not found\n" + home_ + "/sub>"));
  Type("sleep 1");
  Enter();
  interpreter_.DirLS_FolderChange(home_, {});
  EXPECT_EQ(QString::fromStdString(CurrentDirectory()), home_ + "/sub");
  WaitIdle();
  EXPECT_FALSE(Text().contains("sleep 1\n" + home_ + ">\n"));
}

TEST_F(ConsoleRules, PastedLinesLeaveTheirTailAsTheInputLine) {
  QApplication::clipboard()->setText("one\ntwo\n" + home_ + ">echo tail");
  editor_.RunEditorCommand(140);
  EXPECT_EQ(Last(), home_ + ">echo tail");
  Enter();
  WaitIdle();
  EXPECT_TRUE(Text().endsWith(">echo tail\ntail\n" + home_ + ">"));
}

}  // namespace
}  // namespace pelorin
