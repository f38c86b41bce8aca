// The console surface on real widgets: appending, caret and lines, keys and shortcuts, clicks,
// the edit commands and the dialogs.
#include <gtest/gtest.h>

#include <Qsci/qsciscintilla.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>
#include <vector>

#include "editor/ConsoleEditor.h"
#include "editor/ConsoleSurface.h"
#include "editor/EditorEvents.h"

namespace pelorin {
namespace {

namespace cmd = EditorCommand;

struct Click {
  int button, shift, x, y, caretLine;
};

class RecordingSink : public EditorEvents {
 public:
  explicit RecordingSink(ConsoleEditor* editor) : editor_(editor) {}
  void FocusGained() override { ++focus; }
  bool BeforeKey() override {
    ++before;
    return false;
  }
  bool AfterKey() override {
    ++after;
    return false;
  }
  bool MouseClick(int button, int shift, int x, int y) override {
    clicks.push_back({button, shift, x, y, editor_->CurrentLine()});
    return button == 2;
  }
  bool EnterPressed() override {
    ++enter;
    return true;
  }

  int focus = 0, before = 0, after = 0, enter = 0;
  std::vector<Click> clicks;

 private:
  ConsoleEditor* editor_;
};

class ConsoleEditorTest : public ::testing::Test {
 protected:
  ConsoleEditorTest() {
    window_.resize(640, 400);
    auto* layout = new QVBoxLayout(&window_);
    editor_ = new ConsoleEditor(&window_);
    layout->addWidget(editor_);
    sink_ = std::make_unique<RecordingSink>(editor_);
    editor_->SetEventSink(sink_.get());
    sci_ = editor_->findChild<QsciScintilla*>();
  }

  void ShowActive() {
    window_.show();
    window_.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    editor_->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sci_->hasFocus(); }));
  }

  long Caret() const { return sci_->SendScintilla(QsciScintillaBase::SCI_GETCURRENTPOS); }
  QString Text() const { return sci_->text(); }
  int CountLinesWithMarker(int marker) const {
    int count = 0;
    for (long line = sci_->SendScintilla(QsciScintillaBase::SCI_MARKERNEXT, 0L, 1L << marker);
         line >= 0;
         line = sci_->SendScintilla(QsciScintillaBase::SCI_MARKERNEXT, line + 1, 1L << marker)) {
      ++count;
    }
    return count;
  }
  QPoint PointOfLine(int line) const {
    const long pos = sci_->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
    return {
        static_cast<int>(sci_->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, pos)) +
            2,
        static_cast<int>(sci_->SendScintilla(QsciScintillaBase::SCI_POINTYFROMPOSITION, 0UL, pos)) +
            3};
  }

  QWidget window_;
  ConsoleEditor* editor_;
  std::unique_ptr<RecordingSink> sink_;
  QsciScintilla* sci_;
};

TEST_F(ConsoleEditorTest, AppendGoesToTheEndWhateverTheCaretAndReadOnly) {
  editor_->AppendAtEnd(QStringLiteral("first\nsecond\n"));
  editor_->MoveCaret(0, 2);
  editor_->SetReadOnly(true);
  editor_->AppendAtEnd(std::string_view("t\xc3\xa4il"));  // UTF-8 bytes
  editor_->AppendAtEnd(QStringLiteral(" end"));
  EXPECT_EQ(editor_->LineText(2), QString::fromUtf8("t\xc3\xa4il end"));
  EXPECT_EQ(editor_->CurrentLine(), 0);
  EXPECT_EQ(Caret(), 2);
  EXPECT_TRUE(editor_->ReadOnly());
  // Read-only holds for the user.
  QTest::keyClicks(sci_, "xyz");
  EXPECT_EQ(editor_->LineText(0), "first");
}

TEST_F(ConsoleEditorTest, AppendDoesNotScrollTheView) {
  ShowActive();
  for (int i = 0; i < 300; ++i) {
    editor_->AppendAtEnd("output line\n");
  }
  editor_->MoveCaret(0, 0);
  editor_->AppendAtEnd("more\nand more\n");
  QApplication::processEvents();
  EXPECT_EQ(sci_->firstVisibleLine(), 0);
  EXPECT_EQ(editor_->CurrentLine(), 0);
  EXPECT_EQ(editor_->LineCount(), 303);
}

TEST_F(ConsoleEditorTest, LinesAndCurrentLine) {
  EXPECT_EQ(editor_->LineCount(), 1);
  EXPECT_EQ(editor_->LineText(0), "");
  editor_->AppendAtEnd("a\r\nbb\nccc");
  EXPECT_EQ(editor_->LineCount(), 3);
  EXPECT_EQ(editor_->LineText(0), "a");
  EXPECT_EQ(editor_->LineText(1), "bb");
  EXPECT_EQ(editor_->LineText(2), "ccc");
  EXPECT_EQ(editor_->LineText(3), "");
  EXPECT_EQ(editor_->LineText(-1), "");
  editor_->MoveCaret(1, 1);
  EXPECT_EQ(editor_->CurrentLine(), 1);
  editor_->MoveCaret(99, 0);  // clamped to the last line
  EXPECT_EQ(editor_->CurrentLine(), 2);
}

TEST_F(ConsoleEditorTest, MoveCaretCountsCharactersNotBytes) {
  // ä ö ü are two bytes each, € three, 你 好 three; 😀 is four bytes and two UTF-16 units.
  editor_->AppendAtEnd(
      QString::fromUtf8("\xc3\xa4\xc3\xb6\xc3\xbc\xe2\x82\xacx\n"
                        "\xe4\xbd\xa0\xe5\xa5\xbdy\n"
                        "\xf0\x9f\x98\x80z"));
  auto charAtCaret = [&] {
    return static_cast<char>(sci_->SendScintilla(QsciScintillaBase::SCI_GETCHARAT, Caret()));
  };
  editor_->MoveCaret(0, 4);
  EXPECT_EQ(charAtCaret(), 'x');
  editor_->MoveCaret(1, 2);
  EXPECT_EQ(charAtCaret(), 'y');
  EXPECT_EQ(editor_->CurrentLine(), 1);
  editor_->MoveCaret(2, 2);
  EXPECT_EQ(charAtCaret(), 'z');
  editor_->MoveCaret(1, 50);  // past the end: the end of that line
  EXPECT_EQ(editor_->CurrentLine(), 1);
  EXPECT_EQ(Caret(), sci_->SendScintilla(QsciScintillaBase::SCI_GETLINEENDPOSITION, 1));
}

TEST_F(ConsoleEditorTest, EnterRaisesEventOnlyWhenWritableAndNeverTypesALineBreak) {
  editor_->AppendAtEnd("/home>dir");
  editor_->MoveCaret(0, 9);
  QTest::keyClick(sci_, Qt::Key_Return);
  QTest::keyClick(sci_, Qt::Key_Enter, Qt::KeypadModifier);
  QTest::keyClick(sci_, Qt::Key_Return, Qt::ShiftModifier);
  QTest::keyClick(sci_, Qt::Key_Return, Qt::ControlModifier);
  EXPECT_EQ(sink_->enter, 4);
  editor_->SetReadOnly(true);
  QTest::keyClick(sci_, Qt::Key_Return);
  EXPECT_EQ(sink_->enter, 4);
  EXPECT_EQ(editor_->LineCount(), 1);
  EXPECT_EQ(Text(), "/home>dir");
  // Every key, the modifier presses QTest adds included, is framed by BeforeKey and AfterKey.
  EXPECT_GE(sink_->before, 5);
  EXPECT_EQ(sink_->after, sink_->before);
}

TEST_F(ConsoleEditorTest, ClicksReportButtonShiftAndPlacedCaret) {
  ShowActive();
  editor_->AppendAtEnd("line zero\nline one\nprompt>");
  editor_->MoveCaret(2, 7);
  const QPoint onLine1 = PointOfLine(1);
  QTest::mouseClick(sci_->viewport(), Qt::LeftButton, Qt::ShiftModifier, onLine1);
  ASSERT_EQ(sink_->clicks.size(), 1u);
  EXPECT_EQ(sink_->clicks[0].button, 1);
  EXPECT_EQ(sink_->clicks[0].shift, 1);
  EXPECT_EQ(sink_->clicks[0].caretLine, 1);  // the caret was placed before the event
  const QPoint inEditor = sci_->viewport()->mapTo(editor_, onLine1);
  EXPECT_EQ(sink_->clicks[0].x, inEditor.x());
  EXPECT_EQ(sink_->clicks[0].y, inEditor.y());
  EXPECT_EQ(editor_->WindowHandle(), editor_);
}

TEST_F(ConsoleEditorTest, RightClickRaisesEventMovesCaretAndShowsNoMenu) {
  ShowActive();
  editor_->AppendAtEnd("line zero\nline one\nprompt>");
  editor_->MoveCaret(2, 7);
  QTest::mouseClick(sci_->viewport(), Qt::RightButton, Qt::ControlModifier, PointOfLine(0));
  ASSERT_EQ(sink_->clicks.size(), 1u);
  EXPECT_EQ(sink_->clicks[0].button, 2);
  EXPECT_EQ(sink_->clicks[0].shift, 2);
  EXPECT_EQ(sink_->clicks[0].caretLine, 0);

  // A menu of its own would be modal: close it from a timer and remember that it came.
  bool menuSeen = false;
  QTimer guard;
  guard.setSingleShot(true);
  QObject::connect(&guard, &QTimer::timeout, [&] {
    if (QWidget* popup = QApplication::activePopupWidget()) {
      menuSeen = true;
      popup->close();
    }
  });
  guard.start(300);
  const QPoint at = PointOfLine(0);
  QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, at, sci_->viewport()->mapToGlobal(at));
  QApplication::sendEvent(sci_->viewport(), &menuEvent);
  EXPECT_FALSE(menuSeen);
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(ConsoleEditorTest, MiddleClickOnHistoryPlacesTheCaretAndPastesNothing) {
  ShowActive();
  editor_->AppendAtEnd("line zero\nprompt>");
  editor_->MoveCaret(1, 7);
  QTest::mouseClick(sci_->viewport(), Qt::MiddleButton, {}, PointOfLine(0));
  ASSERT_EQ(sink_->clicks.size(), 1u);
  EXPECT_EQ(sink_->clicks[0].button, 4);
  EXPECT_EQ(sink_->clicks[0].caretLine, 0);
  EXPECT_EQ(Text(), "line zero\nprompt>");
}

TEST_F(ConsoleEditorTest, AccessibilityDoesNotCountThroughTheHistory) {
  // QScintilla's own accessible text object recounts the whole document on every caret move;
  // the surface must get the plain one.
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(sci_);
  ASSERT_NE(iface, nullptr);
  EXPECT_EQ(iface->textInterface(), nullptr);
  EXPECT_EQ(iface->role(), QAccessible::EditableText);
}

TEST_F(ConsoleEditorTest, FocusInIsReported) {
  ShowActive();
  EXPECT_GE(sink_->focus, 1);
}

struct Chord {
  Qt::Key key;
  Qt::KeyboardModifiers mods;
};

const Chord kMenuChords[] = {
    {Qt::Key_A, Qt::ControlModifier}, {Qt::Key_C, Qt::ControlModifier},
    {Qt::Key_V, Qt::ControlModifier}, {Qt::Key_X, Qt::ControlModifier},
    {Qt::Key_Z, Qt::ControlModifier}, {Qt::Key_L, Qt::ControlModifier},
    {Qt::Key_D, Qt::ControlModifier}, {Qt::Key_G, Qt::ControlModifier},
    {Qt::Key_S, Qt::ControlModifier}, {Qt::Key_N, Qt::ControlModifier},
    {Qt::Key_F, Qt::ControlModifier}, {Qt::Key_D, Qt::ControlModifier | Qt::AltModifier},
};

TEST_F(ConsoleEditorTest, MenuShortcutsWinOverTheSurface) {
  std::vector<int> triggered(std::size(kMenuChords), 0);
  for (size_t i = 0; i < std::size(kMenuChords); ++i) {
    auto* action = new QAction(&window_);
    action->setShortcut(QKeySequence(kMenuChords[i].key | kMenuChords[i].mods));
    action->setShortcutContext(Qt::WindowShortcut);
    QObject::connect(action, &QAction::triggered, [&triggered, i] { ++triggered[i]; });
    window_.addAction(action);
  }
  ShowActive();
  editor_->AppendAtEnd("before\n/home>ls");
  editor_->MoveCaret(1, 9);
  sci_->SendScintilla(QsciScintillaBase::SCI_SETSEL, 8UL, 9L);  // something to cut or copy
  const QString text = Text();
  for (size_t i = 0; i < std::size(kMenuChords); ++i) {
    QTest::keyClick(sci_, kMenuChords[i].key, kMenuChords[i].mods);
    EXPECT_EQ(triggered[i], 1) << "chord " << i;
  }
  EXPECT_EQ(Text(), text);

  // Even a chord the surface keeps for itself goes to the window first.
  int homeTriggered = 0;
  auto* home = new QAction(&window_);
  home->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Home));
  QObject::connect(home, &QAction::triggered, [&] { ++homeTriggered; });
  window_.addAction(home);
  QTest::keyClick(sci_, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(homeTriggered, 1);
  EXPECT_EQ(editor_->CurrentLine(), 1);
}

TEST_F(ConsoleEditorTest, ChordsWithoutActionsDoNothingToTheText) {
  QApplication::clipboard()->setText("PASTED");
  editor_->AppendAtEnd("before\n/home>ls");
  editor_->MoveCaret(1, 9);
  QTest::keyClicks(sci_, "x");  // typing works and leaves nothing to undo
  EXPECT_EQ(editor_->LineText(1), "/home>lsx");
  EXPECT_FALSE(sci_->isUndoAvailable());
  sci_->SendScintilla(QsciScintillaBase::SCI_SETSEL, 13UL, 16L);
  const QString text = Text();
  for (const Chord& chord : kMenuChords) {
    QTest::keyClick(sci_, chord.key, chord.mods);
  }
  const Chord others[] = {{Qt::Key_Y, Qt::ControlModifier},
                          {Qt::Key_Delete, Qt::ShiftModifier},
                          {Qt::Key_Insert, Qt::ShiftModifier},
                          {Qt::Key_Backspace, Qt::AltModifier},
                          {Qt::Key_L, Qt::ControlModifier | Qt::ShiftModifier},
                          {Qt::Key_T, Qt::ControlModifier},
                          {Qt::Key_U, Qt::ControlModifier}};
  for (const Chord& chord : others) {
    QTest::keyClick(sci_, chord.key, chord.mods);
  }
  EXPECT_EQ(Text(), text);
  // Movement and selection keys still work.
  editor_->MoveCaret(1, 9);
  QTest::keyClick(sci_, Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(sci_->selectedText(), "x");
  QTest::keyClick(sci_, Qt::Key_Up);
  EXPECT_EQ(editor_->CurrentLine(), 0);
}

TEST_F(ConsoleEditorTest, SelectCopyAndPasteThroughTheClipboard) {
  editor_->AppendAtEnd("first line\nsecond\nprompt>");
  editor_->SetReadOnly(true);
  editor_->MoveCaret(1, 2);
  editor_->RunEditorCommand(cmd::kSelectLine);
  EXPECT_EQ(sci_->selectedText(), "second");
  editor_->RunEditorCommand(cmd::kCopy);  // copying works on read-only text
  EXPECT_EQ(QApplication::clipboard()->text(), "second");

  editor_->RunEditorCommand(cmd::kSelectAll);
  editor_->RunEditorCommand(cmd::kCopy);
  EXPECT_EQ(QApplication::clipboard()->text(), "first line\nsecond\nprompt>");

  QApplication::clipboard()->setText("dir");
  editor_->MoveCaret(2, 7);
  editor_->RunEditorCommand(cmd::kPaste);  // refused while read-only
  EXPECT_EQ(editor_->LineText(2), "prompt>");
  editor_->SetReadOnly(false);
  editor_->RunEditorCommand(cmd::kPaste);
  EXPECT_EQ(editor_->LineText(2), "prompt>dir");

  editor_->MoveCaret(2, 0);
  editor_->RunEditorCommand(cmd::kSelectLine);
  editor_->RunEditorCommand(cmd::kPaste);  // replaces the selection
  EXPECT_EQ(editor_->LineText(2), "dir");
  EXPECT_EQ(editor_->LineCount(), 3);
  editor_->RunEditorCommand(999);  // unknown: nothing
  EXPECT_EQ(Text(), "first line\nsecond\ndir");
}

TEST_F(ConsoleEditorTest, MarkAllAfterClearingLeavesOnlyTheLatestMarks) {
  editor_->AppendAtEnd("alpha\nbeta\nAlpha beta alpha\ngamma\n");
  editor_->SetSearchText("alpha");
  editor_->RunEditorCommand(cmd::kClearMarks);
  editor_->RunEditorCommand(cmd::kMarkAll);
  EXPECT_TRUE(editor_->HasLineMark(0));
  EXPECT_FALSE(editor_->HasLineMark(1));
  EXPECT_TRUE(editor_->HasLineMark(2));
  EXPECT_FALSE(editor_->HasLineMark(3));
  EXPECT_EQ(CountLinesWithMarker(ConsoleSurface::kMarkMarker), 2);

  editor_->SetSearchText("gamma");
  editor_->RunEditorCommand(cmd::kClearMarks);
  editor_->RunEditorCommand(cmd::kMarkAll);
  EXPECT_FALSE(editor_->HasLineMark(0));
  EXPECT_FALSE(editor_->HasLineMark(2));
  EXPECT_TRUE(editor_->HasLineMark(3));
  EXPECT_EQ(CountLinesWithMarker(ConsoleSurface::kMarkMarker), 1);
  EXPECT_EQ(editor_->LineText(3), "gamma");  // a mark is not text
  EXPECT_FALSE(editor_->HasLineMark(99));
}

TEST_F(ConsoleEditorTest, FindNextSelectsTheNextMatchAndWraps) {
  editor_->AppendAtEnd("foo x\nbar foo\nbaz");
  editor_->MoveCaret(0, 1);
  editor_->RunEditorCommand(cmd::kFindNext);  // no search text yet: nothing
  EXPECT_EQ(sci_->selectedText(), "");
  editor_->SetSearchText("FOO");
  editor_->RunEditorCommand(cmd::kFindNext);
  EXPECT_EQ(sci_->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART), 10);
  EXPECT_EQ(editor_->CurrentLine(), 1);
  editor_->RunEditorCommand(cmd::kFindNext);  // wraps to the top
  EXPECT_EQ(sci_->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART), 0);
  EXPECT_EQ(sci_->selectedText(), "foo");
  editor_->RunEditorCommand(cmd::kFindNext);
  EXPECT_EQ(sci_->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART), 10);
  editor_->SetSearchText("absent");
  editor_->RunEditorCommand(cmd::kFindNext);
  EXPECT_EQ(sci_->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART), 10);
}

TEST_F(ConsoleEditorTest, GoToLineMovesTheCaretIntoView) {
  ShowActive();
  for (int i = 0; i < 1000; ++i) {
    editor_->AppendAtEnd("line\n");
  }
  editor_->RunEditorCommand(cmd::kGoToLine, 800);
  EXPECT_EQ(editor_->CurrentLine(), 800);
  const long first = sci_->firstVisibleLine();
  const long onScreen = sci_->SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN);
  EXPECT_LE(first, 800);
  EXPECT_LT(800, first + onScreen);
  editor_->RunEditorCommand(cmd::kGoToLine);  // no line given: nothing
  EXPECT_EQ(editor_->CurrentLine(), 800);
  editor_->RunEditorCommand(cmd::kGoToLine, 5000);
  EXPECT_EQ(editor_->CurrentLine(), editor_->LineCount() - 1);
}

TEST_F(ConsoleEditorTest, DividersAreMarksNotText) {
  editor_->AppendAtEnd("one\ntwo\nthree");
  editor_->SetLineDivider(1, true);
  editor_->SetLineDivider(1, true);
  EXPECT_TRUE(editor_->HasLineDivider(1));
  editor_->SetLineDivider(2, false);  // none there: nothing
  editor_->SetLineDivider(7, true);   // no such line: nothing
  editor_->AppendAtEnd("\nfour\nfive");
  EXPECT_TRUE(editor_->HasLineDivider(1));  // stays when output follows
  EXPECT_EQ(editor_->LineCount(), 5);
  editor_->RunEditorCommand(cmd::kSelectAll);
  editor_->RunEditorCommand(cmd::kCopy);
  EXPECT_EQ(QApplication::clipboard()->text(), "one\ntwo\nthree\nfour\nfive");
  editor_->SetLineDivider(1, false);
  EXPECT_FALSE(editor_->HasLineDivider(1));
  EXPECT_EQ(CountLinesWithMarker(ConsoleSurface::kDividerMarker), 0);
}

TEST_F(ConsoleEditorTest, MarkDividerAndHighlightAreIndependent) {
  editor_->AppendAtEnd("x\nx\nx");
  editor_->SetSearchText("x");
  editor_->RunEditorCommand(cmd::kMarkAll);
  editor_->SetLineDivider(1, true);
  editor_->SetHighlightRow(1);
  editor_->RunEditorCommand(cmd::kClearMarks);
  EXPECT_FALSE(editor_->HasLineMark(1));
  EXPECT_TRUE(editor_->HasLineDivider(1));
  EXPECT_EQ(editor_->HighlightRow(), 1);
  editor_->SetLineDivider(1, false);
  EXPECT_EQ(editor_->HighlightRow(), 1);
}

TEST_F(ConsoleEditorTest, HighlightRowMovesAndFollowsInsertedLines) {
  editor_->AppendAtEnd("a\nb\nc\nd");
  EXPECT_EQ(editor_->HighlightRow(), -1);
  editor_->SetHighlightRow(2);
  EXPECT_EQ(editor_->HighlightRow(), 2);
  editor_->SetHighlightRow(0);
  EXPECT_EQ(editor_->HighlightRow(), 0);
  EXPECT_EQ(CountLinesWithMarker(ConsoleSurface::kHighlightMarker), 1);

  // Lines pasted above the highlight push it down; moving it again leaves one highlight.
  editor_->SetHighlightRow(2);
  QApplication::clipboard()->setText("new1\nnew2\n");
  editor_->MoveCaret(0, 0);
  editor_->RunEditorCommand(cmd::kPaste);
  EXPECT_EQ(editor_->HighlightRow(), 4);
  editor_->SetHighlightRow(1);
  EXPECT_EQ(editor_->HighlightRow(), 1);
  EXPECT_EQ(CountLinesWithMarker(ConsoleSurface::kHighlightMarker), 1);
  editor_->SetHighlightRow(-1);
  EXPECT_EQ(editor_->HighlightRow(), -1);
  EXPECT_EQ(CountLinesWithMarker(ConsoleSurface::kHighlightMarker), 0);
}

TEST_F(ConsoleEditorTest, VisibleSpacesAndLineNumbers) {
  EXPECT_FALSE(editor_->SpacesVisible());
  editor_->RunEditorCommand(cmd::kShowSpaces);
  EXPECT_TRUE(editor_->SpacesVisible());
  editor_->RunEditorCommand(cmd::kHideSpaces);
  EXPECT_FALSE(editor_->SpacesVisible());

  auto numberWidth = [&] {
    return sci_->SendScintilla(QsciScintillaBase::SCI_GETMARGINWIDTHN, 0UL);
  };
  EXPECT_TRUE(editor_->ShowLineNumbers());
  const long narrow = numberWidth();
  EXPECT_GT(narrow, 0);
  editor_->SetShowLineNumbers(false);
  EXPECT_FALSE(editor_->ShowLineNumbers());
  EXPECT_EQ(numberWidth(), 0);
  editor_->AppendAtEnd(std::string(100000, '\n'));  // six digits while hidden
  editor_->SetShowLineNumbers(true);
  const long wide = numberWidth();
  EXPECT_GT(wide, narrow);
  editor_->AppendAtEnd(std::string(900000, '\n'));  // seven digits while shown
  EXPECT_GT(numberWidth(), wide);
}

TEST_F(ConsoleEditorTest, FontFallsBackToFixedWhenTheFaceIsMissing) {
  editor_->SetEditorFont("DejaVu Sans", 11.5);
  EXPECT_EQ(editor_->EditorFontName(), "DejaVu Sans");
  EXPECT_DOUBLE_EQ(editor_->EditorFontSize(), 11.5);
  editor_->SetEditorFont("No Such Face 4711", 0);
  EXPECT_EQ(editor_->EditorFontName(),
            QFontDatabase::systemFont(QFontDatabase::FixedFont).family());
  EXPECT_DOUBLE_EQ(editor_->EditorFontSize(), 11.5);
}

TEST_F(ConsoleEditorTest, FontDialogAppliesTheChoice) {
  QString fixedFamily;
  for (const QString& family : QFontDatabase::families()) {
    if (QFontDatabase::isFixedPitch(family)) {
      fixedFamily = family;
      break;
    }
  }
  ASSERT_FALSE(fixedFamily.isEmpty());
  bool dialogSeen = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFontDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    dialogSeen = true;
    dialog->setCurrentFont(QFont(fixedFamily, 17));
    dialog->accept();
  });
  editor_->RunEditorCommand(cmd::kFontDialog, true);
  EXPECT_TRUE(dialogSeen);
  EXPECT_EQ(editor_->EditorFontName(), fixedFamily);
  EXPECT_DOUBLE_EQ(editor_->EditorFontSize(), 17);

  QTimer::singleShot(0, [&] {
    if (QWidget* dialog = QApplication::activeModalWidget()) {
      dialog->close();
    }
  });
  editor_->RunEditorCommand(cmd::kFontDialog, true);  // closed: nothing changes
  EXPECT_DOUBLE_EQ(editor_->EditorFontSize(), 17);
}

TEST_F(ConsoleEditorTest, FindDialogSetsTheSearchTextAndFinds) {
  editor_->AppendAtEnd("foo\nbar\nfoo bar");
  editor_->MoveCaret(0, 0);
  bool dialogSeen = false;
  QTimer::singleShot(0, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    ASSERT_NE(dialog, nullptr);
    dialogSeen = true;
    auto* text = dialog->findChild<QLineEdit*>("findText");
    auto* next = dialog->findChild<QPushButton*>("findNext");
    ASSERT_TRUE(text && next);
    text->setText("bar");
    next->click();
    next->click();
    dialog->close();
  });
  editor_->RunEditorCommand(cmd::kFindDialog);
  EXPECT_TRUE(dialogSeen);
  EXPECT_EQ(editor_->SearchText(), "bar");
  EXPECT_EQ(sci_->SendScintilla(QsciScintillaBase::SCI_GETSELECTIONSTART), 12);
  EXPECT_EQ(sci_->selectedText(), "bar");
}

}  // namespace
}  // namespace pelorin
