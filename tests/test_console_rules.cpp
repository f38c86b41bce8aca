// SPDX-License-Identifier: GPL-3.0-or-later
// The console as the user meets it on the real surface: the prompt line, the built-ins, a real
// interpreter run, output and completion, F2 and the read-only rule.
#include <gtest/gtest.h>

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QClipboard>
#include <QTest>
#include <filesystem>

#include "console/ConsoleSession.h"
#include "editor/ConsoleEditor.h"
#include "editor/PromptInput.h"
#include "platform/Directory.h"
#include "qtsupport/InputCodes.h"
#include "tests/support/FifoHold.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

// Texts are compared as std::string for readable failures.
class ConsoleRules : public ::testing::Test {
 protected:
  ConsoleRules() {
    std::filesystem::create_directory(home_ + "/sub");
    TrySetCurrentDir(home_);
    editor_.SetEventSink(&input_);
    Tree(home_);
  }
  ~ConsoleRules() override { editor_.SetEventSink(nullptr); }

  std::string Text() const { return editor_.findChild<QsciScintilla*>()->text().toStdString(); }
  void Tree(const std::string& path) { session_.DirLS_FolderChange(path); }
  void Type(const std::string& text) { QTest::keyClicks(editor_.focusProxy(), text.c_str()); }
  bool Idle() {
    return QTest::qWaitFor([&] { return !session_.bBusy(); }, 10000);
  }
  void Run(const std::string& command) {
    Type(command + "\r");
    ASSERT_TRUE(Idle());
  }

  test::ScopedCwd restoreCwd_;
  test::TempDir dir_;
  const std::string home_ = std::filesystem::canonical(dir_.path()).string(), prompt_ = home_ + ">";
  ConsoleEditor editor_;
  std::string caption_;
  bool highlight_ = false;
  ConsoleSession session_{editor_, [this](const std::string& c) { caption_ = c; }};
  PromptInput input_{editor_, session_, [this] { return highlight_; }};
};

TEST_F(ConsoleRules, PromptsFollowOutputAndTheCaretStandsBehindThem) {
  Run("echo hello");
  Run("true");
  Run("echo one 1>&2; echo two 1>&2");  // marked once per event
  Run("printf abc");                    // the prompt continues an unterminated line
  EXPECT_EQ(Text(), prompt_ + "echo hello\nhello\n" + prompt_ + "true\n" + prompt_ +
                        "echo one 1>&2; echo two 1>&2\nSTDERR: one\ntwo\n" + prompt_ +
                        "printf abc\nabc" + prompt_);
  EXPECT_EQ(caption_, home_ + " - Pelorin");
  EXPECT_EQ(editor_.CurrentLine(), editor_.LineCount() - 1);  // the caret rule: the prompt's
  EXPECT_EQ(editor_.CurrentColumn(), prompt_.size());         // length, on the last line
}

TEST_F(ConsoleRules, WhileBusyNothingWritesAndTheTreeIsIgnored) {
  Type("sleep 1\r");
  ASSERT_TRUE(session_.bBusy());
  EXPECT_EQ(caption_, "Working... - Pelorin");
  input_.FocusGained();
  input_.MouseClick(kLeftButton, 0, 5, 5);
  EXPECT_TRUE(editor_.ReadOnly());
  Type("zzz");
  input_.WindowKeyReleased(Qt::Key_F2);
  Tree(home_ + "/sub");
  ASSERT_TRUE(Idle());
  EXPECT_FALSE(editor_.ReadOnly());
  EXPECT_EQ(CurrentDirectory(), home_);
  EXPECT_EQ(Text(), prompt_ + "sleep 1\n" + prompt_);
}

TEST_F(ConsoleRules, CdBuiltInsAndTheTreeChangeTheWindowsDirectory) {
  const std::string sub = home_ + "/sub";
  Run("cd  sub");
  EXPECT_EQ(Text(), prompt_ + "cd  sub\n" + sub + ">");
  EXPECT_EQ(caption_, sub + " - Pelorin");
  Run("cd\t..");
  Run("CD sub");  // the interpreter's own: the window stays
  Run("cd.");
  Run("cd");
  EXPECT_EQ(CurrentDirectory(), home_);
  Run("cd /nonexistent");
  Run("cd \"sub\"");  // quotes stay part of the path
  Tree(sub);
  Tree(home_ + "/gone");
  EXPECT_EQ(CurrentDirectory(), sub);
  EXPECT_TRUE(Text().ends_with(prompt_ + "cd\n" + prompt_ +
                               "cd /nonexistent\n/nonexistent: Path not found\n" + prompt_ +
                               "cd \"sub\"\n\"sub\": Path not found\n" + prompt_ + "\n" + sub +
                               ">\n" + home_ + "/gone: Path not found\n" + sub + ">"))
      << Text();
}

TEST_F(ConsoleRules, RunStartsWithoutWaitingAndAFailedStartGoesIdle) {
  // The command waits on the fifo until the test ends: the console is idle again all the same.
  test::FifoHold hold;
  ASSERT_TRUE(hold.Ready());
  const std::string waits = "read x <" + hold.Path();
  Run("run   " + waits);
  Run("run");
  EXPECT_EQ(Text(), prompt_ + "run   " + waits + "\n" + prompt_ + "run\n" + prompt_);
  test::ScopedEnv shell("SHELL", "/nonexistent/shell");
  Run("echo never");
  Run("run x");
  EXPECT_FALSE(editor_.ReadOnly());
  EXPECT_TRUE(Text().ends_with(prompt_ + "echo never\nNo such file or directory\n" + prompt_ +
                               "run x\nNo such file or directory\n" + prompt_))
      << Text();
}

TEST_F(ConsoleRules, DamagedPromptsAreRefused) {
  Type("\b\bx\r\b\r");  // a prompt short of ">" and a letter, then one short of ">"
  const std::string other = QString::fromStdString(prompt_).toUpper().toStdString();
  QTest::keyClick(editor_.focusProxy(), Qt::Key_Home);
  Run(other + "true");  // text in front of the prompt, and a prompt in another case
  const std::string no = "\nInvalid input\n";
  EXPECT_EQ(Text(), home_.substr(0, home_.size() - 1) + "x" + no + home_ + no + other + "true" +
                        prompt_ + no + prompt_);
  EXPECT_EQ(session_.strLastCommand(), "");
}

TEST_F(ConsoleRules, EnterTakesTheLastLineOnlyPasteLeavesTheTailAndF2RecallsTheCommand) {
  input_.WindowKeyReleased(Qt::Key_F2);  // nothing to recall yet
  QApplication::clipboard()->setText(("one\ntwo\n" + prompt_ + "echo  tail").c_str());
  editor_.RunEditorCommand(EditorCommand::kPaste);
  editor_.MoveCaret(2, 2);  // anywhere on the last line
  Run("");
  editor_.MoveCaret(0, 2);  // an earlier line is read-only and Enter there does nothing
  input_.FocusGained();
  EXPECT_TRUE(editor_.ReadOnly());
  Type("\r");
  highlight_ = true;
  editor_.MoveCaret(1, 0);
  input_.AfterKey();
  highlight_ = false;
  editor_.MoveCaret(4, 3);
  input_.MouseClick(kLeftButton, 0, 1, 1);
  EXPECT_FALSE(editor_.ReadOnly());
  EXPECT_EQ(editor_.HighlightRow(), 1) << "left where it was last set";
  input_.WindowKeyReleased(Qt::Key_F3);
  input_.WindowKeyReleased(Qt::Key_F2);  // as typed, blanks and all
  EXPECT_EQ(Text(),
            prompt_ + "one\ntwo\n" + prompt_ + "echo  tail\ntail\n" + prompt_ + "echo  tail");
}

}  // namespace
}  // namespace pelorin
