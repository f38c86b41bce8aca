// SPDX-License-Identifier: GPL-3.0-or-later
// The console as the user meets it on the real surface: the prompt line, the built-ins, a real
// interpreter run, output and completion, F2, Up and Down, Tab and the read-only rule.
#include <gtest/gtest.h>

#include <Qsci/qsciscintilla.h>
#include <fcntl.h>
#include <unistd.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QElapsedTimer>
#include <QHelpEvent>
#include <QTest>
#include <QToolTip>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "console/ConsoleSession.h"
#include "console/EscapeFilter.h"
#include "editor/ConsoleEditor.h"
#include "editor/ConsoleSurface.h"
#include "editor/PromptInput.h"
#include "platform/Directory.h"
#include "qtsupport/InputCodes.h"
#include "tests/support/FifoHold.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

namespace fs = std::filesystem;

// Texts are compared as std::string for readable failures.
class ConsoleRules : public ::testing::Test {
 protected:
  ConsoleRules() {
    fs::create_directory(home_ + "/sub");
    TrySetCurrentDir(home_);
    editor_.SetEventSink(&input_);
    Tree(home_);
  }
  ~ConsoleRules() override { editor_.SetEventSink(nullptr); }

  std::string Text() const { return sci_->text().toStdString(); }
  std::string LastLine() const { return editor_.LineText(editor_.LineCount() - 1); }
  void Tree(const std::string& path) { session_.DirLS_FolderChange(path); }
  void Type(const std::string& text) { QTest::keyClicks(sci_, text.c_str()); }
  void Key(Qt::Key key) { QTest::keyClick(sci_, key); }
  // A `sleep` runs with the test's folder as its current one (a command typed there).
  bool SleepRuns() const {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
      std::string comm;
      std::getline(std::ifstream(entry.path() / "comm"), comm);
      if (comm == "sleep" && fs::read_symlink(entry.path() / "cwd", ec) == fs::path(home_)) {
        return true;
      }
    }
    return false;
  }
  bool Idle() {
    return QTest::qWaitFor([&] { return !session_.bBusy(); }, 10000);
  }
  void Run(const std::string& command) {
    Type(command + "\r");
    ASSERT_TRUE(Idle());
  }
  std::string Copied() {
    editor_.RunEditorCommand(EditorCommand::kCopy);
    return QApplication::clipboard()->text().toStdString();
  }

  test::ScopedCwd restoreCwd_;
  test::TempDir dir_;
  const std::string home_ = fs::canonical(dir_.path()).string(), prompt_ = home_ + ">";
  ConsoleEditor editor_;
  QsciScintilla* sci_ = editor_.findChild<QsciScintilla*>();
  std::string caption_;
  bool highlight_ = false;
  ConsoleSession session_{editor_, [this](const std::string& c) { caption_ = c; }};
  PromptInput input_{editor_, session_, [this] { return highlight_; }};
};

TEST_F(ConsoleRules, PromptsStartTheirOwnLineAndStandardErrorIsLabelledLineByLine) {
  Run("echo hello");
  Run("true");
  Run("echo one 1>&2; echo two 1>&2");
  // A real child writing both streams, neither ending its line: they never share one. The
  // pause puts the order the streams are shown in beyond doubt.
  Run("printf 'o1\\no2'; sleep 0.2; printf 'e1\\ne2' 1>&2");
  Run("printf abc");  // the prompt goes on a line of its own, and the next command runs
  Run("echo \"a     b\"");
  EXPECT_EQ(
      Text(),
      prompt_ + "echo hello\nhello\n" + prompt_ + "true\n" + prompt_ +
          "echo one 1>&2; echo two 1>&2\nSTDERR: one\nSTDERR: two\n" + prompt_ +
          "printf 'o1\\no2'; sleep 0.2; printf 'e1\\ne2' 1>&2\no1\no2\nSTDERR: e1\nSTDERR: e2\n" +
          prompt_ + "printf abc\nabc\n" + prompt_ + "echo \"a     b\"\na     b\n" + prompt_);
  EXPECT_EQ(caption_, home_ + " - Pelorin");
  EXPECT_EQ(editor_.CurrentLine(), editor_.LineCount() - 1);  // the caret rule: the prompt's
  EXPECT_EQ(editor_.CurrentColumn(), prompt_.size());         // length, on the last line
}

TEST_F(ConsoleRules, ColoursAreShownCopyGivesThePlainTextAndACarriageReturnRedraws) {
  Run("printf '\\033[31mred\\033[0m plain\\033]0;title\\007\\n'");
  Run("printf 'a\\rb\\n'");
  auto fore = [&](const std::string& text) {
    const long at = static_cast<long>(Text().rfind(text));
    return sci_->SendScintilla(QsciScintillaBase::SCI_INDICATORVALUEAT,
                               ConsoleSurface::kForeIndicator, at);
  };
  const std::uint32_t red = PaletteColour(1);
  EXPECT_EQ(fore("red plain"), QsciScintillaBase::SC_INDICVALUEBIT | ((red & 0xFF) << 16) |
                                   (red & 0xFF00) | (red >> 16));
  EXPECT_EQ(fore(" plain"), 0);
  editor_.RunEditorCommand(EditorCommand::kSelectAll);
  EXPECT_TRUE(Copied().ends_with("\nred plain\n" + prompt_ + "printf 'a\\rb\\n'\nb\n" + prompt_))
      << Text();
}

TEST_F(ConsoleRules, WhileBusyTypingGoesToTheInputAtTheEndAndAStoppedWaitPromptsOnANewLine) {
  test::FifoHold hold, hold2;
  ASSERT_TRUE(hold.Ready() && hold2.Ready());
  const std::string command =
      "printf abc; read x <" + hold.Path() + "; printf 'def\\n'; read x <" + hold2.Path();
  Type(command + "\r");
  ASSERT_TRUE(session_.bBusy());
  ASSERT_TRUE(QTest::qWaitFor([&] { return LastLine() == "abc"; }, 10000));
  EXPECT_EQ(caption_, "Working... - Pelorin");
  // Earlier lines stay read-only; F2 and the folder tree write nothing.
  editor_.MoveCaret(0, 2);
  input_.MouseClick(kLeftButton, 0, 5, 5);
  EXPECT_TRUE(editor_.ReadOnly());
  editor_.MoveCaret(0, 0);
  // Typed at the input at the end, wherever the caret was; Backspace stops at its start.
  Type("zz\b\b\bzz");
  input_.WindowKeyReleased(Qt::Key_F2);
  Tree(home_ + "/sub");
  EXPECT_EQ(LastLine(), "abczz");
  hold.Release();  // output arrives before the input
  ASSERT_TRUE(QTest::qWaitFor([&] { return Text().ends_with("def\nzz"); }, 10000)) << Text();
  // Up and Down keep the surface's own meaning there; Escape clears the input.
  Key(Qt::Key_Up);
  EXPECT_EQ(editor_.CurrentLine(), editor_.LineCount() - 2);
  Key(Qt::Key_Down);
  Type("z");
  EXPECT_EQ(LastLine(), "zzz");
  Key(Qt::Key_Escape);
  EXPECT_EQ(LastLine(), "");
  Type("typed");
  session_.StopWait();
  ASSERT_TRUE(Idle());
  EXPECT_FALSE(editor_.ReadOnly());
  EXPECT_EQ(CurrentDirectory(), home_);
  // What was typed and not sent stays behind the new prompt.
  EXPECT_EQ(Text(), prompt_ + command + "\nabcdef\n" + prompt_ + "typed");
  for (int i = 0; i < 5; ++i) {
    Key(Qt::Key_Backspace);
  }
  Run("echo after");
  EXPECT_TRUE(Text().ends_with("\nabcdef\n" + prompt_ + "echo after\nafter\n" + prompt_)) << Text();
}

// Typing to a running command: the line goes to it and stays as typed, output arriving while a
// line is half typed goes in before it, Ctrl+D in an empty line ends the input, a paste sends
// the lines it completes, and lines the command never read are kept.
TEST_F(ConsoleRules, TypingGoesToTheRunningCommandAndStaysAsTyped) {
  const auto ran = [&](const std::string& command) {
    Type(command + "\r");
    return session_.bBusy();
  };
  ASSERT_TRUE(ran("for i in 1 2; do echo $i; sleep 0.3; done; read x; echo got $x"));
  Type("An");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Text().find("\n2\n") != std::string::npos; }));
  EXPECT_EQ(LastLine(), "An");
  Type("n\r");
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(Text().ends_with("done; read x; echo got $x\n1\n2\nAnn\ngot Ann\n" + prompt_))
      << Text();

  ASSERT_TRUE(ran("cat"));
  Type("abc\r");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Text().ends_with("abc\nabc\n"); }));
  QTest::keyClick(sci_, Qt::Key_D, Qt::ControlModifier);
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(Text().ends_with(prompt_ + "cat\nabc\nabc\n" + prompt_)) << Text();

  ASSERT_TRUE(ran("read a; read b; echo $a-$b"));
  QApplication::clipboard()->setText("x\ny\n");
  editor_.RunEditorCommand(EditorCommand::kPaste);
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(Text().ends_with("echo $a-$b\nx\ny\nx-y\n" + prompt_)) << Text();

  // A line the command never read runs after it, as at a terminal.
  ASSERT_TRUE(ran("sleep 0.5"));
  Type("echo later\r");
  ASSERT_TRUE(QTest::qWaitFor([&] { return Text().ends_with("\nlater\n" + prompt_); })) << Text();
  EXPECT_TRUE(
      Text().ends_with("sleep 0.5\necho later\n" + prompt_ + "echo later\nlater\n" + prompt_))
      << Text();

  int columns = 0, rows = 0;
  editor_.SizeInCharacters(columns, rows);
  Run("stty size");
  EXPECT_TRUE(Text().ends_with("\n" + std::to_string(rows) + " " + std::to_string(columns) + "\n" +
                               prompt_))
      << Text();
}

// What the command does not want shown (its terminal's echo off, or a prompt asking for a
// password) is typed as dots and leaves nothing of itself on the surface, on the clipboard or
// in the history.
TEST_F(ConsoleRules, APasswordTypedToACommandIsNeverShownNorKept) {
  std::vector<std::string> kept;
  session_.UseHistory({}, [&](const std::string& c) { kept.push_back(c); });
  // Plain sh (the interpreter when SHELL is unset) has no read -s.
  Type("stty -echo; read x; stty echo; echo ${#x}\r");
  ASSERT_TRUE(QTest::qWaitFor([&] { return session_.InputHidden(""); }));
  Type("secret\r");
  ASSERT_TRUE(Idle());
  Type("printf 'Password: '; read y; echo ${#y}\r");  // the terminal echoes this one
  ASSERT_TRUE(QTest::qWaitFor([&] { return LastLine() == "Password: "; }));
  Type("hunter2");
  EXPECT_EQ(LastLine(),
            "Password: \xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2"
            "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2");
  Type("\r");
  ASSERT_TRUE(Idle());
  editor_.RunEditorCommand(EditorCommand::kSelectAll);
  const std::string copied = Copied();
  EXPECT_TRUE(Text().ends_with("echo ${#x}\n6\n" + prompt_ + "printf 'Password: '; read y; echo " +
                               "${#y}\nPassword: 7\n" + prompt_))
      << Text();
  // A hidden line the command never read is dropped, never run as the next command.
  editor_.MoveCaret(editor_.LineCount() - 1, 1 << 20);
  Type("stty -echo; sleep 0.6; stty echo\r");
  ASSERT_TRUE(QTest::qWaitFor([&] { return session_.InputHidden(""); })) << Text();
  Type("leaked\r");
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(Text().ends_with("stty echo\n1 queued command dropped\n" + prompt_)) << Text();
  for (const std::string& where : {Text(), copied}) {
    EXPECT_EQ(where.find("secret"), std::string::npos);
    EXPECT_EQ(where.find("hunter2"), std::string::npos);
    EXPECT_EQ(where.find("leaked"), std::string::npos);
  }
  EXPECT_EQ(kept.size(), 3u) << "a line typed to a command went into the history";
}

TEST_F(ConsoleRules, CdTakesQuotesEscapesAndHomeAndSaysWhyAFolderCannotBeEntered) {
  const std::string sub = home_ + "/sub";
  for (const char* name : {"two  spaces", "my folder", "sub/x", "locked"}) {
    fs::create_directory(home_ + "/" + name);
  }
  std::ofstream(home_ + "/plain.txt") << "x";
  fs::create_directory_symlink("loop", home_ + "/loop");
  Run("cd  sub");
  EXPECT_EQ(Text(), prompt_ + "cd  sub\n" + sub + ">");
  EXPECT_EQ(caption_, sub + " - Pelorin");
  Run("cd\t..");
  Run("CD sub");  // the interpreter's own: the window stays
  Run("cd.");
  EXPECT_EQ(CurrentDirectory(), home_);
  Run("export HOME=" + sub);  // home for cd alone and ~, from the window's own environment
  Run("cd");
  EXPECT_EQ(CurrentDirectory(), sub);
  Run("cd -");
  EXPECT_TRUE(Text().ends_with(sub + ">cd -\n" + home_ + "\n" + prompt_)) << "said where";
  const std::pair<std::string, std::string> reached[] = {
      {"cd \"two  spaces\"", "/two  spaces"},
      {"cd ../my\\ folder/../sub", "/sub"},
      {"cd ~/x", "/sub/x"},
  };
  for (const auto& [typed, folder] : reached) {
    Run(typed);
    EXPECT_EQ(CurrentDirectory(), home_ + folder) << typed;
  }
  Run("cd ../..");
  const std::string nope = "/nonexistent", file = home_ + "/plain.txt", loop = home_ + "/loop";
  Run("cd " + nope);
  Run("cd plain.txt");
  Run("cd loop");
  std::string refused = "\n" + nope + ": Path not found\n" + prompt_ +
                        "cd plain.txt\nplain.txt: " + std::strerror(ENOTDIR) + "\n" + prompt_ +
                        "cd loop\nloop: " + std::strerror(ELOOP) + "\n" + prompt_;
  if (::geteuid() != 0) {  // root enters any folder
    fs::permissions(home_ + "/locked", fs::perms::none);
    Run("cd locked");
    refused += "cd locked\nlocked: " + std::string(std::strerror(EACCES)) + "\n" + prompt_;
  }
  EXPECT_TRUE(Text().ends_with(refused)) << Text();
  // The folder tree's choice (the start folder) says why too.
  Tree(sub);
  Tree(home_ + "/gone");
  Tree(file);
  EXPECT_EQ(CurrentDirectory(), sub);
  EXPECT_TRUE(Text().ends_with("\n" + sub + ">\n" + home_ + "/gone: Path not found\n" + sub +
                               ">\n" + file + ": " + std::strerror(ENOTDIR) + "\n" + sub + ">"))
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

TEST_F(ConsoleRules, ThePromptIsProtectedAndADamagedOneIsRefused) {
  const auto caret = [&] { return editor_.CaretByte(); };
  Type("\b\bx");  // Backspace stops at the input's start
  EXPECT_EQ(LastLine(), prompt_ + "x");
  Key(Qt::Key_Home);
  EXPECT_EQ(caret(), prompt_.size()) << "Home: the input's start, not the line's";
  Type("y");
  QTest::keyClick(sci_, Qt::Key_Home, Qt::ShiftModifier);
  EXPECT_EQ(editor_.SelectionStart(), std::pair(0, prompt_.size()));
  Key(Qt::Key_Backspace);
  EXPECT_EQ(LastLine(), prompt_ + "x");
  // A selection reaching into the prompt is neither deleted nor typed over.
  editor_.SetSelection(0, 2, 0, prompt_.size() + 1);
  for (const char* keys : {"z", "\b"}) {
    Type(keys);
    EXPECT_EQ(LastLine(), prompt_ + "x") << keys;
  }
  Key(Qt::Key_Delete);
  EXPECT_EQ(LastLine(), prompt_ + "x");
  // Nor do edits that are not keys (assistive technology; a middle-button paste alike).
  QAccessibleEditableTextInterface* edit =
      QAccessible::queryAccessibleInterface(sci_)->editableTextInterface();
  const int lastLineStart = static_cast<int>(Text().size() - LastLine().size());
  edit->insertText(lastLineStart + 1, "z");
  edit->replaceText(lastLineStart, lastLineStart + static_cast<int>(prompt_.size()), "z");
  EXPECT_EQ(LastLine(), prompt_ + "x");
  // Typed with the caret inside the prompt: at the input's end. Keys that delete further than
  // the input (to the line's start) leave the prompt as it was.
  editor_.MoveCaret(0, 3);
  Type("s");
  QTest::keyClick(sci_, Qt::Key_Backspace, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_EQ(std::pair(LastLine(), caret()), std::pair(prompt_ + "xs", prompt_.size()));
  Key(Qt::Key_Escape);
  EXPECT_EQ(LastLine(), prompt_);

  // What still damages the prompt is refused: a prompt short of a letter, one in another case.
  editor_.ReplaceInLastLine(0, 1, "");
  Key(Qt::Key_End);
  Type("true\r");
  const std::string other = QString::fromStdString(prompt_).toUpper().toStdString();
  editor_.ReplaceInLastLine(0, prompt_.size(), other);
  Type("true\r");
  const std::string no = "\nInvalid input\n";
  EXPECT_EQ(Text(), prompt_.substr(1) + "true" + no + other + "true" + no + prompt_);
  EXPECT_EQ(session_.strLastCommand(), "");
}

TEST_F(ConsoleRules, PastedLinesRunInTurnEachBehindItsOwnPrompt) {
  QApplication::clipboard()->setText("echo one\r\necho  two\n\nech");
  Type("x");
  editor_.RunEditorCommand(EditorCommand::kSelectLine);  // a selection into the prompt: no paste
  input_.Paste();
  EXPECT_EQ(Text(), prompt_ + "x");
  Key(Qt::Key_End);
  Key(Qt::Key_Backspace);
  input_.Paste();
  EXPECT_EQ(Text(), prompt_ + "echo one\necho  two\n\nech") << "the lines stay as pasted";
  Type("o three");
  editor_.MoveCaret(1, 2);  // anywhere in the input
  Type("\r");
  ASSERT_TRUE(QTest::qWaitFor([&] { return session_.QueueEmpty() && !session_.bBusy(); }, 10000));
  EXPECT_EQ(Text(), prompt_ + "echo one\none\n" + prompt_ + "echo  two\ntwo\n" + prompt_ +
                        "echo three\nthree\n" + prompt_);
  input_.WindowKeyReleased(Qt::Key_F2);  // the last one, as typed
  EXPECT_EQ(LastLine(), prompt_ + "echo three");
  Key(Qt::Key_Escape);

  // A selection made while the lines run outlasts the prompts between them: Ctrl+C on it copies
  // rather than interrupting the line that started meanwhile.
  test::FifoHold first, second;
  ASSERT_TRUE(first.Ready() && second.Ready());
  QApplication::clipboard()->setText(
      QString::fromStdString("read x <" + first.Path() + "\nread y <" + second.Path()));
  input_.Paste();
  Type("\r");
  ASSERT_TRUE(session_.bBusy());
  editor_.RunEditorCommand(EditorCommand::kSelectAll);
  first.Release();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return Text().ends_with("read y <" + second.Path() + "\n"); }, 10000))
      << Text();
  EXPECT_TRUE(session_.bBusy() && editor_.HasSelectedText());
  second.Release();
  ASSERT_TRUE(Idle());
  EXPECT_FALSE(editor_.HasSelectedText()) << "the last prompt places the caret";
  EXPECT_EQ(editor_.CurrentColumn(), prompt_.size());
}

TEST_F(ConsoleRules, LinesACommandNeverReadRunAfterItAndStopWaitingDropsThem) {
  test::FifoHold hold;
  ASSERT_TRUE(hold.Ready());
  const std::string waits = "read x <" + hold.Path();
  Type(waits + "\r");
  ASSERT_TRUE(session_.bBusy());
  Type("echo next\r");  // goes to the command, which reads the pipe only
  hold.Release();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Text().ends_with("\nnext\n" + prompt_); }, 10000));
  EXPECT_EQ(Text(), prompt_ + waits + "\necho next\n" + prompt_ + "echo next\nnext\n" + prompt_);
  hold.Hold();

  // Ten thousand lines pasted to a command go to it without holding the window, and Stop
  // waiting drops what it did not take, with one line.
  Type(waits + "\r");
  std::string many;
  for (int i = 0; i < 10000; ++i) {
    many += "echo " + std::to_string(i) + "\n";
  }
  QApplication::clipboard()->setText(QString::fromStdString(many));
  QElapsedTimer timer;
  timer.start();
  input_.Paste();
  EXPECT_LT(timer.elapsed(), 2000 * PELORIN_TIMING_SLACK);
  EXPECT_EQ(editor_.LineText(editor_.LineCount() - 2), "echo 9999");
  session_.StopWait();
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(editor_.LineText(editor_.LineCount() - 2).ends_with(" queued commands dropped"))
      << editor_.LineText(editor_.LineCount() - 2);
  EXPECT_EQ(LastLine(), prompt_);
  EXPECT_TRUE(session_.QueueEmpty());
}

TEST_F(ConsoleRules, EnterActsOnTheInputOnlyAndClearsASelectionAndF2RecallsTheCommand) {
  input_.WindowKeyReleased(Qt::Key_F2);  // nothing to recall yet
  Run("echo  tail");
  editor_.MoveCaret(0, 2);  // an earlier line is read-only and Enter there does nothing
  input_.FocusGained();
  EXPECT_TRUE(editor_.ReadOnly());
  Type("x\r");
  highlight_ = true;
  editor_.MoveCaret(1, 0);
  input_.AfterKey();
  highlight_ = false;
  editor_.MoveCaret(2, 3);
  input_.MouseClick(kLeftButton, 0, 1, 1);
  EXPECT_FALSE(editor_.ReadOnly());
  EXPECT_EQ(editor_.HighlightRow(), 1) << "left where it was last set";
  input_.WindowKeyReleased(Qt::Key_F3);
  input_.WindowKeyReleased(Qt::Key_F2);  // as typed, blanks and all
  EXPECT_EQ(Text(), prompt_ + "echo  tail\ntail\n" + prompt_ + "echo  tail");
  // A selection on the input line does not outlast Enter: the view follows the output.
  test::FifoHold hold;
  ASSERT_TRUE(hold.Ready());
  Key(Qt::Key_Escape);
  Type("read x <" + hold.Path());
  QTest::keyClick(sci_, Qt::Key_Home, Qt::ShiftModifier);
  Type("\r");
  EXPECT_TRUE(session_.bBusy());
  EXPECT_FALSE(editor_.HasSelectedText());
}

TEST_F(ConsoleRules, UpAndDownRecallCommandsOnTheInputLineOnly) {
  std::vector<std::string> kept;
  // A record holding a line break (written by hand, or by another program) cannot stand on the
  // input line, nor could it have been typed there: Up passes over it.
  session_.UseHistory({"echo earlier", "two\nlines"},
                      [&](const std::string& c) { kept.push_back(c); });
  Run("echo one");
  Run("echo one");  // the same twice in a row is kept once
  Run("echo  two");
  EXPECT_EQ(kept, (std::vector<std::string>{"echo one", "echo  two"}));
  Type("ec");
  const std::vector<std::pair<Qt::Key, std::string>> steps = {
      {Qt::Key_Up, "echo  two"},    {Qt::Key_Up, "echo one"},   {Qt::Key_Up, "echo earlier"},
      {Qt::Key_Up, "echo earlier"}, {Qt::Key_Down, "echo one"}, {Qt::Key_Down, "echo  two"},
      {Qt::Key_Down, "ec"},  // the line being typed comes back
  };
  for (const auto& [key, shown] : steps) {
    Key(key);
    EXPECT_EQ(LastLine(), prompt_ + shown);
    EXPECT_EQ(editor_.CaretByte(), LastLine().size()) << "the caret at the end";
  }
  Key(Qt::Key_Up);
  Type("\r");
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(Text().ends_with(prompt_ + "echo  two\ntwo\n" + prompt_)) << Text();
  // Anywhere else Up moves the caret, as in any editor.
  const int last = editor_.LineCount() - 1;
  editor_.MoveCaret(last - 1, 0);
  input_.FocusGained();
  const std::string before = Text();
  Key(Qt::Key_Up);
  EXPECT_EQ(editor_.CurrentLine(), last - 2);
  EXPECT_EQ(Text(), before);
}

TEST_F(ConsoleRules, TabCompletesFileNamesAndASecondTabListsThem) {
  fs::create_directory(home_ + "/beta");
  for (const char* name : {"alpha one.txt", "alpha two.txt"}) {
    std::ofstream(home_ + "/" + name) << "x";
  }
  Type("cat be");
  Key(Qt::Key_Tab);
  EXPECT_EQ(LastLine(), prompt_ + "cat beta/");
  Type(" al");
  Key(Qt::Key_Tab);  // the common part, quoted for its blank
  EXPECT_EQ(LastLine(), prompt_ + "cat beta/ \"alpha ");
  EXPECT_FALSE(editor_.ChoicesShown());
  Key(Qt::Key_Tab);  // nothing more to add: the names to pick from
  ASSERT_TRUE(editor_.ChoicesShown());
  Key(Qt::Key_Down);
  Key(Qt::Key_Return);
  EXPECT_FALSE(editor_.ChoicesShown());
  EXPECT_EQ(LastLine(), prompt_ + "cat beta/ \"alpha two.txt\"");
  Key(Qt::Key_Home);  // a Tab inside the prompt or after a name that matches nothing: no tab
  Key(Qt::Key_Tab);
  Key(Qt::Key_End);
  Type(" zz");
  Key(Qt::Key_Tab);
  EXPECT_EQ(LastLine(), prompt_ + "cat beta/ \"alpha two.txt\" zz");
}

// A folder whose name holds a line break shows it as U+FFFD; a path longer than a surface line
// stays on one line. Both prompts take commands.
TEST_F(ConsoleRules, AFolderThePromptCannotHoldKeepsTheConsoleUsable) {
  const std::string broken = home_ + "/line\nbreak";
  fs::create_directory(broken);
  Tree(broken);
  const std::string shown = home_ + "/line\xEF\xBF\xBD" + "break";
  EXPECT_EQ(LastLine(), shown + ">");
  EXPECT_EQ(caption_, shown + " - Pelorin");
  Run("echo inside");
  EXPECT_TRUE(Text().ends_with(shown + ">echo inside\ninside\n" + shown + ">")) << Text();

  // Folders of 200 bytes each, 90 deep, made and removed through descriptors: their paths are
  // longer than the system's calls take.
  const std::string name(200, 'd');
  std::vector<int> levels{::open(home_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  for (int i = 0; i < 90 && levels.back() >= 0; ++i) {
    ::mkdirat(levels.back(), name.c_str(), 0700);
    levels.push_back(::openat(levels.back(), name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  }
  ASSERT_EQ(::fchdir(levels.back()), 0);
  const std::string deep = CurrentDirectory() + ">";
  ASSERT_GT(deep.size(), 16384u);
  session_.ExecuteCommand("");  // a prompt written there
  Run("cd .");
  EXPECT_EQ(LastLine(), deep);
  Run("echo deep");
  EXPECT_TRUE(Text().ends_with(deep + "echo deep\ndeep\n" + deep));
  TrySetCurrentDir(home_);
  for (std::size_t i = levels.size() - 1; i > 0; --i) {
    ::unlinkat(levels[i - 1], name.c_str(), AT_REMOVEDIR);
    ::close(levels[i]);
  }
  ::close(levels.front());
}

TEST_F(ConsoleRules, StateCarriesOverAndAFailedCommandIsMarked) {
  Run("export FOO='b  r' && echo \"$FOO\"");
  Run("echo \"$FOO\"; unset FOO");  // unset in the command's own shell only
  Run("echo \"<$FOO>\"");
  EXPECT_TRUE(Text().ends_with("\nb  r\n" + prompt_ + "echo \"$FOO\"; unset FOO\nb  r\n" + prompt_ +
                               "echo \"<$FOO>\"\n<b  r>\n" + prompt_))
      << Text();
  Run("unset FOO");
  Run("echo \"<$FOO>\" && true");
  Run("export 1x=y");
  EXPECT_TRUE(Text().ends_with("\n<>\n" + prompt_ +
                               "export 1x=y\nexport: 1x=y: not a valid name\n" + prompt_))
      << Text();
  // What a failed built-in's && skips is one command: what follows ; runs still.
  Run("export 1x=y && echo skipped; echo ran");
  EXPECT_TRUE(Text().ends_with("not a valid name\nran\n" + prompt_)) << Text();

  const int failed = editor_.LineCount() - 1;
  Run("sh -c \"exit 3\"");
  const int killed = editor_.LineCount() - 1;
  Run("kill -TERM $$");
  EXPECT_EQ(editor_.FailureText(failed), "exit status 3");
  EXPECT_EQ(editor_.FailureText(killed), "signal 15 (terminated)");
  for (int line = 0; line < failed; ++line) {
    EXPECT_EQ(editor_.FailureText(line), "") << "succeeded: " << line;
  }
  Type("sleep 100\r");
  const int interrupted = editor_.LineCount() - 2;
  // A shell may catch SIGINT until it has started the command: the interrupt waits for it.
  ASSERT_TRUE(QTest::qWaitFor([&] { return SleepRuns(); }, 10000));
  session_.Interrupt();
  ASSERT_TRUE(Idle());
  EXPECT_EQ(editor_.FailureText(interrupted), "interrupted");
  // The mark's tool tip, where the pointer meets the margin at that line.
  editor_.resize(600, 400);
  sci_->SendScintilla(QsciScintillaBase::SCI_SETFIRSTVISIBLELINE, failed);
  const int y = sci_->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, failed) / 2;
  QHelpEvent help(QEvent::ToolTip, QPoint(20, y), sci_->viewport()->mapToGlobal(QPoint(20, y)));
  QApplication::sendEvent(sci_->viewport(), &help);
  EXPECT_EQ(QToolTip::text(), "exit status 3");
}

TEST_F(ConsoleRules, ClsEmptiesTheConsoleAndKeepsEverythingElse) {
  Run("echo one");
  editor_.SetLineDivider(1, true);
  Run("cls");
  EXPECT_EQ(Text(), prompt_);
  EXPECT_FALSE(editor_.HasLineDivider(0));
  Run("cd sub && clear && echo two");
  EXPECT_EQ(Text(), home_ + "/sub>echo two\ntwo\n" + home_ + "/sub>");
  Key(Qt::Key_Up);
  EXPECT_EQ(LastLine(), home_ + "/sub>cd sub && clear && echo two") << "history kept";
}

TEST_F(ConsoleRules, CtrlRFindsAnEarlierCommandAndTabAProgramOnTheWindowsPath) {
  Run("echo alpha");
  Run("echo beta");
  Run("true");
  QTest::keyClick(sci_, Qt::Key_R, Qt::ControlModifier);
  ASSERT_TRUE(editor_.ChoicesShown());
  Type("alp");
  EXPECT_EQ(LastLine(), prompt_ + "alp");
  ASSERT_TRUE(editor_.ChoicesShown()) << "narrowed as typed";
  Key(Qt::Key_Return);
  EXPECT_EQ(LastLine(), prompt_ + "echo alpha");
  EXPECT_FALSE(editor_.ChoicesShown());
  QTest::keyClick(sci_, Qt::Key_R, Qt::ControlModifier);
  Key(Qt::Key_Escape);
  EXPECT_FALSE(editor_.ChoicesShown());
  EXPECT_EQ(LastLine(), prompt_ + "echo alpha") << "Escape leaves the line";
  Key(Qt::Key_Escape);

  fs::create_directory(home_ + "/bin");
  std::ofstream(home_ + "/bin/pelorin-probe") << "#!/bin/sh\necho probed\n";
  fs::permissions(home_ + "/bin/pelorin-probe", fs::perms::owner_all);
  Run("export PATH=" + home_ + "/bin:$PATH");
  // The folders of PATH are read in the background: Tab offers what was read by then.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !session_.Completion().commands("pelorin-pr").empty(); },
                              30000));
  Type("pelorin-pr");
  Key(Qt::Key_Tab);
  EXPECT_EQ(LastLine(), prompt_ + "pelorin-probe");
  Type("\r");
  ASSERT_TRUE(Idle());
  EXPECT_TRUE(Text().ends_with("\nprobed\n" + prompt_));
}

// Records the URLs the desktop would open.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QStringList urls;
 public slots:
  void Open(const QUrl& url) { urls << url.toString(); }
};

TEST_F(ConsoleRules, CtrlClickOpensALinkAndEntersAFolder) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("https", &catcher, "Open");
  QDesktopServices::setUrlHandler("file", &catcher, "Open");
  std::ofstream(home_ + "/notes.txt") << "x";
  Run("echo 'https://example.org/x, sub/ notes.txt:3: gone/x'");
  const int line = editor_.LineCount() - 2;
  const std::string text = editor_.LineText(line);
  const auto at = [&](const char* word) { return text.find(word) + 1; };
  EXPECT_EQ(input_.LinkAt(line, at("sub")), std::pair(at("sub") - 1, at("sub") + 3));
  EXPECT_EQ(input_.LinkAt(line, at("gone")), std::pair(std::size_t{0}, std::size_t{0}));
  EXPECT_TRUE(input_.LinkClicked(line, at("example")));
  EXPECT_TRUE(input_.LinkClicked(line, at("notes")));
  EXPECT_EQ(
      catcher.urls,
      QStringList({"https://example.org/x",
                   QUrl::fromLocalFile(QString::fromStdString(home_ + "/notes.txt")).toString()}));
  EXPECT_TRUE(input_.LinkClicked(line, at("gone")));
  EXPECT_TRUE(Text().ends_with("\n" + prompt_ + "\ngone/x: Path not found\n" + prompt_)) << Text();
  EXPECT_TRUE(input_.LinkClicked(line, at("sub")));
  EXPECT_EQ(CurrentDirectory(), home_ + "/sub");
  EXPECT_TRUE(Text().ends_with("\n" + prompt_ + "\n" + home_ + "/sub>")) << Text();
  EXPECT_FALSE(input_.LinkClicked(line, at("echo") - 1)) << "a word that is no link";
  QDesktopServices::unsetUrlHandler("https");
  QDesktopServices::unsetUrlHandler("file");
}

}  // namespace
}  // namespace pelorin

#include "test_console_rules.moc"
