// SPDX-License-Identifier: GPL-3.0-or-later
// The console surface on real widgets: appending, caret, keys and shortcuts, clicks, the edit
// commands and the dialogs.
#include <gtest/gtest.h>

#include <Qsci/qsciscintilla.h>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>
#include <vector>

#include "console/EscapeFilter.h"
#include "console/OutputEdits.h"
#include "editor/ConsoleEditor.h"
#include "editor/ConsoleSurface.h"
#include "editor/EditorEvents.h"
#include "editor/FontDialog.h"
#include "qtsupport/InputCodes.h"

namespace pelorin {
namespace {

namespace cmd = EditorCommand;
using Sci = QsciScintillaBase;

// The owner of the surface: it claims Enter and right clicks, and keys while takeKeys_ is set.
class ConsoleEditorTest : public ::testing::Test, public EditorEvents {
 protected:
  ConsoleEditorTest() { editor_->SetEventSink(this); }
  bool BeforeKey() override { return takeKeys_; }
  bool MouseClick(int button, int shift, int, int) override {
    clicks_.push_back({button, shift, editor_->CurrentLine()});  // the caret is placed first
    return claim_ && button == kRightButton;
  }
  bool EnterPressed() override { return ++enter_, claim_; }
  std::pair<std::size_t, std::size_t> LinkAt(int line, std::size_t) override {
    return line == 0 ? std::pair<std::size_t, std::size_t>{0, 4}
                     : std::pair<std::size_t, std::size_t>{0, 0};
  }
  bool LinkClicked(int line, std::size_t byte) override {
    links_.push_back({line, static_cast<int>(byte)});
    return line == 0;
  }

  void ShowActive() {
    editor_->resize(640, 400);
    window_.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
    editor_->setFocus();
  }
  long Send(int m, long w = 0, long l = 0) const { return sci_->SendScintilla(m, w, l); }
  QPoint At(int line) const {
    const long y = Send(Sci::SCI_POINTYFROMPOSITION, 0, Send(Sci::SCI_POSITIONFROMLINE, line));
    return {sci_->viewport()->width() / 2, static_cast<int>(y) + 3};
  }
  // Acts on the modal dialog the next command opens.
  void OnDialog(std::function<void(QWidget*)> act) {
    QTimer::singleShot(0, &window_, [this, act] {
      ASSERT_NE(QApplication::activeModalWidget(), nullptr);
      act(QApplication::activeModalWidget());
      ++dialogs_;
    });
  }

  QWidget window_;
  ConsoleEditor* editor_ = new ConsoleEditor(&window_);
  QsciScintilla* sci_ = editor_->findChild<QsciScintilla*>();
  bool claim_ = true, takeKeys_ = false;
  int enter_ = 0, dialogs_ = 0;
  std::vector<std::vector<int>> clicks_;    // button, shift, caret line
  std::vector<std::pair<int, int>> links_;  // line, byte of each Ctrl+click
};

TEST_F(ConsoleEditorTest, AppendGoesToTheEndWithoutMovingTheCaretOrTheView) {
  ShowActive();
  for (int i = 0; i < 300; ++i) {
    editor_->AppendAtEnd("output line\r\n");
  }
  editor_->MoveCaret(0, 2);
  editor_->SetReadOnly(true);
  editor_->AppendAtEnd("t\xc3\xa4il");
  editor_->AppendAtEnd(" end");
  QApplication::processEvents();
  EXPECT_EQ(editor_->LineText(300), "t\xc3\xa4il end");
  EXPECT_EQ(Send(Sci::SCI_GETCURRENTPOS), 2);
  EXPECT_EQ(sci_->firstVisibleLine(), 0);
}

TEST_F(ConsoleEditorTest, MoveCaretCountsCharactersAndTheViewComesBackHome) {
  // ä ö ü two bytes each, € 你 好 three; 😀 four bytes and two UTF-16 units.
  editor_->AppendAtEnd(
      "\xc3\xa4\xc3\xb6\xc3\xbc\xe2\x82\xacx\n\xe4\xbd\xa0\xe5\xa5\xbdy\n\xf0\x9f\x98\x80z");
  const int places[][2] = {{0, 4}, {1, 2}, {2, 2}};
  for (auto [line, column] : places) {
    editor_->MoveCaret(line, column);
    EXPECT_EQ(Send(Sci::SCI_GETCHARAT, Send(Sci::SCI_GETCURRENTPOS)), "xyz"[line]);
  }
  // Back near a line's start after a long line scrolled the view right, the view goes home.
  editor_->AppendAtEnd("\n" + std::string(400, 'w'));
  editor_->MoveCaret(3, 400);
  ASSERT_GT(Send(Sci::SCI_GETXOFFSET), 0);
  editor_->MoveCaret(3, 2);
  EXPECT_EQ(Send(Sci::SCI_GETXOFFSET), 0);
}

TEST_F(ConsoleEditorTest, AfterALongLineTheNextPromptShowsColumnZeroAndTheHighlightFollows) {
  ShowActive();
  // A prompt ending at 85 % of the view's width: it fits without scrolling.
  const long charWidth = sci_->SendScintilla(Sci::SCI_TEXTWIDTH, Sci::STYLE_DEFAULT, "w");
  const long textLeft = Send(Sci::SCI_POINTXFROMPOSITION, 0, 0);
  const std::string prompt(
      static_cast<std::size_t>((sci_->viewport()->width() * 85 / 100 - textLeft) / charWidth), 'p');
  const auto promptColumn = static_cast<int>(prompt.size());
  editor_->AppendAtEnd(prompt + std::string(400, 'x'));
  editor_->MoveCaret(0, 1000);
  ASSERT_GT(Send(Sci::SCI_GETXOFFSET), 0);
  editor_->SetHighlightFollowsCaret(true);
  editor_->AppendAtEnd("\nhi\n" + prompt);
  editor_->MoveCaret(2, promptColumn);
  EXPECT_EQ(Send(Sci::SCI_GETXOFFSET), 0) << "the output and the prompt cut at the left";
  EXPECT_EQ(editor_->HighlightRow(), 2);
  // A prompt wider than the view keeps its end, the caret, in view.
  editor_->AppendAtEnd("\n" + prompt + prompt);
  editor_->MoveCaret(3, 2 * promptColumn);
  const long caretX = Send(Sci::SCI_POINTXFROMPOSITION, 0, Send(Sci::SCI_GETCURRENTPOS));
  EXPECT_GT(Send(Sci::SCI_GETXOFFSET), 0);
  EXPECT_TRUE(caretX > textLeft && caretX < sci_->viewport()->width()) << caretX;
  // Without highlighting, the highlight stays where it was last set.
  editor_->SetHighlightFollowsCaret(false);
  editor_->MoveCaret(1, 0);
  EXPECT_EQ(editor_->HighlightRow(), 3);
}

TEST_F(ConsoleEditorTest, EnterGoesToTheOwnerWhenWritableAndTypesALineBreakOnlyIfDeclined) {
  editor_->AppendAtEnd("/home>dir");
  for (bool readOnly : {false, true}) {
    editor_->SetReadOnly(readOnly);
    QTest::keySequence(sci_, QKeySequence("Return, Shift+Return, Ctrl+Return"));
    QTest::keyClick(sci_, Qt::Key_Enter, Qt::KeypadModifier);
  }
  EXPECT_EQ(enter_, 4);
  EXPECT_EQ(sci_->text(), "/home>dir");
  claim_ = false;
  editor_->SetReadOnly(false);
  editor_->MoveCaret(0, 9);
  QTest::keyClick(sci_, Qt::Key_Return);
  takeKeys_ = true;  // keys the owner takes never reach the text
  QTest::keyClicks(sci_, "x\r");
  EXPECT_EQ(sci_->text().toStdString(), "/home>dir\n");
}

TEST_F(ConsoleEditorTest, ClicksAreReportedAfterPlacingTheCaretAndOnlyAnUnclaimedOneGetsAMenu) {
  ShowActive();
  editor_->AppendAtEnd("line zero\nline one\nprompt>");
  editor_->MoveCaret(2, 7);
  // The surface's own menu is modal: a timer closes whatever popup opens and counts it.
  int menus = 0;
  QTimer closer;
  closer.callOnTimeout([&] {
    menus += QApplication::activePopupWidget() && QApplication::activePopupWidget()->close();
  });
  closer.start(50);
  QTest::mouseClick(sci_->viewport(), Qt::LeftButton, Qt::ShiftModifier, At(1));
  QTest::mouseClick(sci_->viewport(), Qt::RightButton, Qt::ControlModifier, At(0));
  QContextMenuEvent menu(QContextMenuEvent::Mouse, At(0), sci_->viewport()->mapToGlobal(At(0)));
  QApplication::sendEvent(sci_->viewport(), &menu);
  // The keyboard's right click (the Menu key, Shift+F10) is a right click at the caret.
  QTest::keyClick(sci_, Qt::Key_Menu);
  QTest::keyClick(sci_, Qt::Key_F10, Qt::ShiftModifier);
  EXPECT_EQ(clicks_, (std::vector<std::vector<int>>{{1, 1, 1}, {2, 2, 0}, {2, 0, 0}, {2, 0, 0}}));
  EXPECT_EQ(menus, 0) << "the owner claimed the right click";
  claim_ = false;
  QTest::mouseClick(sci_->viewport(), Qt::RightButton, {}, At(1));
  EXPECT_EQ(menus, 1);
}

TEST_F(ConsoleEditorTest, MenuChordsReachTheWindowAndNeverChangeTheText) {
  // The window's chords (Ctrl+Home too, which the surface would use), then the surface's own
  // editing chords that would bypass the console's rules.
  const QStringList chords =
      QString(
          "Ctrl+A Ctrl+C Ctrl+V Ctrl+X Ctrl+Z Ctrl+L Ctrl+D Ctrl+G Ctrl+S Ctrl+N Ctrl+F Ctrl+Alt+D "
          "Ctrl+Home Ctrl+Y Shift+Del Shift+Ins Alt+Backspace Ctrl+Shift+L Ctrl+T Ctrl+U")
          .split(' ');
  const QStringList menu = chords.mid(0, 13);
  QApplication::clipboard()->setText("PASTED");
  ShowActive();
  editor_->AppendAtEnd("before\n/home>ls");
  for (const QString& chord : chords) {
    Send(Sci::SCI_SETSEL, 13, 15);  // something to cut or copy
    QTest::keySequence(sci_, QKeySequence(chord));
  }
  QStringList triggered;
  for (const QString& chord : menu) {
    window_.addAction(chord, QKeySequence(chord), [&triggered, chord] { triggered << chord; });
    QTest::keySequence(sci_, QKeySequence(chord));
  }
  EXPECT_EQ(triggered, menu);
  EXPECT_EQ(editor_->CurrentLine(), 1);  // Ctrl+Home went to the window alone
  EXPECT_EQ(sci_->text(), "before\n/home>ls");
}

// Copying from read-only text and the select commands are checked with the output below.
TEST_F(ConsoleEditorTest, PasteGoesInAtTheCaretOnlyWhileWritable) {
  QApplication::clipboard()->setText("PASTED");
  editor_->AppendAtEnd("prompt>");
  editor_->MoveCaret(0, 7);
  for (bool readOnly : {true, false}) {
    editor_->SetReadOnly(readOnly);
    editor_->RunEditorCommand(cmd::kPaste);
  }
  EXPECT_EQ(sci_->text(), "prompt>PASTED");
}

// Output as the composer hands it over: colours by indicator values (0xBBGGRR), the default
// colours resolved to the surface's own, a rewrite of the last line, and line ends the command
// never wrote left out of what is copied.
TEST_F(ConsoleEditorTest, OutputIsColouredAndCopiedAsTheCommandWroteIt) {
  using S = std::string;
  const std::uint32_t red = PaletteColour(1), blue = PaletteColour(4);
  auto bgr = [](std::uint32_t c) {
    return static_cast<long>(Sci::SC_INDICVALUEBIT | ((c & 0xFF) << 16) | (c & 0xFF00) | (c >> 16));
  };
  editor_->AppendAtEnd("/home>ls\n");
  const long base = Send(Sci::SCI_GETLENGTH);
  OutputEdits edits;
  edits.text = "plain red bright back rev\n" + S(10, 'a') + "\n" + S(5, 'b');
  TextStyle bold{red, TextStyle::kDefaultBack, true},
      reverse{TextStyle::kDefaultBack, TextStyle::kDefaultFore, false};
  edits.runs = {
      {6, 3, {red}}, {10, 6, bold}, {17, 4, {TextStyle::kDefaultFore, blue}}, {22, 3, reverse}};
  edits.softBreaks = {36};
  editor_->SetReadOnly(true);
  editor_->ApplyOutput(edits);
  auto at = [&](int indicator, long offset) {
    return Send(Sci::SCI_INDICATORVALUEAT, indicator, base + offset);
  };
  const long white = bgr(0xFFFFFF), black = bgr(0);
  const std::vector<std::pair<long, long>> shown = {
      {0, 0}, {bgr(red), 0}, {bgr(PaletteColour(9)), 0}, {0, bgr(blue)}, {white, black}};
  const long offsets[] = {0, 6, 10, 17, 22};
  for (std::size_t i = 0; i < shown.size(); ++i) {
    EXPECT_EQ(std::pair(at(ConsoleSurface::kForeIndicator, offsets[i]),
                        at(ConsoleSurface::kBackIndicator, offsets[i])),
              shown[i])
        << offsets[i];
  }
  OutputEdits redraw;  // the last line keeps two bytes
  redraw.rewriteLine = true;
  redraw.keepBytes = 2;
  redraw.text = "Z";
  editor_->ApplyOutput(redraw);
  EXPECT_EQ(editor_->LineText(3), "bbZ");
  editor_->MoveCaret(3, 1);
  editor_->RunEditorCommand(cmd::kSelectLine);  // the whole line, on both surface lines
  editor_->RunEditorCommand(cmd::kCopy);
  EXPECT_EQ(QApplication::clipboard()->text(), QString(10, 'a') + "bbZ");
  editor_->RunEditorCommand(cmd::kSelectAll);
  editor_->RunEditorCommand(cmd::kCopy);
  EXPECT_EQ(QApplication::clipboard()->text(),
            "/home>ls\nplain red bright back rev\n" + QString(10, 'a') + "bbZ");
  OutputEdits longer;
  longer.text = "\nccc";  // a third piece
  longer.softBreaks = {0};
  editor_->ApplyOutput(longer);
  OutputEdits whole;  // the whole line of output, from its first piece on
  whole.rewriteLine = true;
  whole.linesBack = 2;
  whole.keepBytes = 3;
  whole.text = "Y\nnext";
  editor_->ApplyOutput(whole);
  editor_->RunEditorCommand(cmd::kSelectAll);
  editor_->RunEditorCommand(cmd::kCopy);
  EXPECT_EQ(QApplication::clipboard()->text(), "/home>ls\nplain red bright back rev\naaaY\nnext")
      << "the line that stays continues nothing";
}

// While a command runs the user types at the very end: output goes in before that input, which
// stays last and untouched, with the caret and the selection in it.
TEST_F(ConsoleEditorTest, OutputGoesInBeforeTheInputWhichKeepsItsCaretAndSelection) {
  ShowActive();
  editor_->AppendAtEnd("C:>cmd\n");
  editor_->BeginInput();
  editor_->AppendAtEnd("name? ");
  editor_->MoveCaret(1, 6);
  QTest::keyClicks(sci_, "Ann");
  editor_->MoveCaret(1, 7);  // between "A" and "nn", and "n" selected
  Send(Sci::SCI_SETANCHOR, Send(Sci::SCI_GETCURRENTPOS) + 1);
  OutputEdits progress;
  progress.text = "1 of 2\n50%";
  editor_->ApplyOutput(progress);
  OutputEdits redraw;  // the unfinished line redrawn, as a CR makes it
  redraw.rewriteLine = true;
  redraw.text = "100%";
  editor_->ApplyOutput(redraw);
  EXPECT_EQ(sci_->text().toStdString(), "C:>cmd\nname? 1 of 2\n100%Ann");
  EXPECT_EQ(sci_->selectedText().toStdString(), "n");
  EXPECT_EQ(editor_->CurrentColumn(), 5);
  EXPECT_TRUE(editor_->SelectionInInput());
  EXPECT_EQ(editor_->InputText(), "Ann");
  EXPECT_EQ(editor_->LineBeforeInput(), "100%");
  // A caret in the output stays where it is.
  editor_->MoveCaret(0, 1);
  editor_->AppendAtEnd("\n");
  EXPECT_EQ(editor_->CurrentLine(), 0);
  EXPECT_FALSE(editor_->CaretInInput());
  // Sent: the line stays as typed and ends; what follows comes after it.
  EXPECT_EQ(editor_->TakeInputLine(), "Ann");
  editor_->AppendAtEnd("got Ann\n");
  editor_->MoveCaret(editor_->LineCount() - 1, 0);
  QTest::keyClicks(sci_, "rest");
  // The view follows the output down to a caret in the input.
  OutputEdits many;
  for (int i = 0; i < 200; ++i) {
    many.text += "line\n";
  }
  editor_->ApplyOutput(many);
  const long last = Send(Sci::SCI_GETLINECOUNT) - 1;
  EXPECT_LE(last, Send(Sci::SCI_GETFIRSTVISIBLELINE) + Send(Sci::SCI_LINESONSCREEN));
  EXPECT_TRUE(editor_->EndInput()) << "text typed and not sent stays";
  EXPECT_TRUE(
      sci_->text().toStdString().starts_with("C:>cmd\nname? 1 of 2\n100%\nAnn\ngot Ann\nline\n"));
  EXPECT_TRUE(sci_->text().toStdString().ends_with("line\nline\nrest"));
  editor_->AppendAtEnd(">");
  EXPECT_TRUE(sci_->text().endsWith("rest>")) << "without input, text goes at the very end";
}

TEST_F(ConsoleEditorTest, HiddenInputShowsDotsAndNeverReachesTheSurface) {
  editor_->AppendAtEnd("Password: ");
  editor_->BeginInput();
  editor_->MoveCaret(0, 10);
  QTest::keyClicks(sci_, "se");
  editor_->HideInput();  // what was typed before is hidden too
  editor_->TypeHidden("cr\xC3\xA9");
  editor_->EraseHidden();  // the whole character
  editor_->TypeHidden("et");
  const std::string dots =
      "\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2\xE2\x80\xA2"
      "\xE2\x80\xA2";
  EXPECT_EQ(sci_->text().toStdString(), "Password: " + dots);
  editor_->RunEditorCommand(cmd::kSelectAll);
  editor_->RunEditorCommand(cmd::kCopy);
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "Password: " + dots);
  EXPECT_EQ(editor_->TakeInputLine(), "secret");
  EXPECT_EQ(sci_->text().toStdString(), "Password: ") << "nothing of it stays";
  editor_->MoveCaret(0, 10);
  QTest::keyClicks(sci_, "x");
  editor_->HideInput();
  EXPECT_FALSE(editor_->EndInput());
  EXPECT_EQ(sci_->text().toStdString(), "Password: ");
}

TEST_F(ConsoleEditorTest, FindNextWrapsAndMarksDividersAndHighlightAreIndependent) {
  editor_->AppendAtEnd("alpha\nbeta\nAlpha beta alpha\ngamma");
  editor_->MoveCaret(0, 1);
  editor_->SetSearchText("ALPHA");
  for (long start : {11, 22, 0}) {  // wraps to the top
    editor_->RunEditorCommand(cmd::kFindNext);
    EXPECT_EQ(Send(Sci::SCI_GETSELECTIONSTART), start);
  }
  editor_->SetSearchText("gamma");
  editor_->RunEditorCommand(cmd::kMarkAll);
  EXPECT_EQ(Send(Sci::SCI_MARKERNEXT, 0, 1 << ConsoleSurface::kMarkMarker), 3);
  editor_->SetLineDivider(3, true);
  editor_->SetLineDivider(3, true);
  editor_->SetHighlightRow(3);
  EXPECT_EQ(editor_->LineCount(), 4);
  editor_->RunEditorCommand(cmd::kClearMarks);
  EXPECT_FALSE(editor_->HasLineMark(3));
  EXPECT_TRUE(editor_->HasLineDivider(3));
  editor_->SetLineDivider(3, false);  // added twice, removed once: gone
  EXPECT_FALSE(editor_->HasLineDivider(3));
  EXPECT_EQ(editor_->HighlightRow(), 3);
  editor_->SetHighlightRow(0);  // moves, leaving one
  EXPECT_EQ(Send(Sci::SCI_MARKERNEXT, 1, 1 << ConsoleSurface::kHighlightMarker), -1);
}

TEST_F(ConsoleEditorTest, LineNumberMarginIsNoneWhileHiddenAndWidensWithTheLineCount) {
  auto width = [&] { return Send(Sci::SCI_GETMARGINWIDTHN, ConsoleSurface::kNumberMargin); };
  const long narrow = width();
  editor_->SetShowLineNumbers(false);
  editor_->AppendAtEnd(std::string(100000, '\n'));  // six digits while hidden
  EXPECT_EQ(width(), 0);
  editor_->SetShowLineNumbers(true);
  const long wide = width();
  editor_->AppendAtEnd(std::string(900000, '\n'));  // seven digits while shown
  EXPECT_LT(narrow, wide);
  EXPECT_LT(wide, width());
}

TEST_F(ConsoleEditorTest, FontAndFindDialogsReturnWhenClosed) {
  // The stored default face, missing here and drawn in a stand-in: the dialog opens on the
  // stand-in, so OK without a change keeps the face the surface shows.
  editor_->SetEditorFont(QStringLiteral("Courier New"), 12);
  const QString shown = QFontInfo(QFont(QStringLiteral("Courier New"))).family();
  OnDialog([](QWidget* dialog) { static_cast<QDialog*>(dialog)->accept(); });
  editor_->RunEditorCommand(cmd::kFontDialog, true);
  EXPECT_EQ(editor_->EditorFontName(), shown);
  EXPECT_EQ(editor_->EditorFontSize(), 12);
  // Another face and size, chosen as a person does: by typing the face's name into its list.
  const QStringList faces = FontDialog::UsableFamilies();
  const auto other = std::find_if(faces.begin(), faces.end(), [&](const QString& f) {
    return f != shown && !f.startsWith(shown.left(1), Qt::CaseInsensitive);
  });
  ASSERT_NE(other, faces.end());
  OnDialog([&](QWidget* dialog) {
    QTest::keyClicks(dialog->findChild<QWidget*>("fontFamily"), *other);
    QWidget* size = dialog->findChild<QWidget*>("fontSize");
    QTest::keyClick(size, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(size, "15\r");
  });
  editor_->RunEditorCommand(cmd::kFontDialog, true);
  EXPECT_EQ(editor_->EditorFontName(), *other);
  EXPECT_EQ(editor_->EditorFontSize(), 15);
  OnDialog([](QWidget* dialog) { dialog->close(); });
  editor_->RunEditorCommand(cmd::kFontDialog, true);
  EXPECT_EQ(editor_->EditorFontName(), *other) << "closed without OK: unchanged";
  editor_->AppendAtEnd("foo\nbar\nfoo bar");
  OnDialog([](QWidget* dialog) {
    EXPECT_EQ(QAccessible::queryAccessibleInterface(dialog->findChild<QObject*>("findText"))
                  ->text(QAccessible::Name),
              "Find what:");
    dialog->findChild<QObject*>("findText")->setProperty("text", "bar");
    QMetaObject::invokeMethod(dialog->findChild<QObject*>("findNext"), "click");
    QMetaObject::invokeMethod(dialog->findChild<QObject*>("findNext"), "click");
    dialog->close();
  });
  editor_->RunEditorCommand(cmd::kFindDialog);
  EXPECT_EQ(dialogs_, 4);
  EXPECT_EQ(editor_->SearchText(), "bar");
  EXPECT_EQ(Send(Sci::SCI_GETSELECTIONSTART), 12);
}

// A family the system lacks (and has no fixed-pitch stand-in for) gives a face that is there
// and fixed-pitch, the same one the surface starts in; a size that is not positive keeps the
// current one.
TEST_F(ConsoleEditorTest, MissingFontFamilyFallsBackToAFixedPitchFace) {
  const QString initial = editor_->EditorFontName();
  EXPECT_TRUE(QFontDatabase::hasFamily(initial)) << initial.toStdString();
  EXPECT_TRUE(QFontDatabase::isFixedPitch(initial)) << initial.toStdString();
  editor_->SetEditorFont(QStringLiteral("DejaVu Serif"), 11.5);
  editor_->SetEditorFont(QStringLiteral("No Such Family"), 0);
  EXPECT_EQ(editor_->EditorFontName(), initial);
  EXPECT_EQ(editor_->EditorFontSize(), 11.5);
}

TEST_F(ConsoleEditorTest, ZoomKeysStepAsTheWheelAndSayTheLevel) {
  std::vector<int> levels;
  QObject::connect(editor_, &ConsoleEditor::ZoomChanged,
                   [&](int level) { levels.push_back(level); });
  QTest::keyClick(sci_, Qt::Key_Equal, Qt::ControlModifier);
  QTest::keyClick(sci_, Qt::Key_Plus, Qt::ControlModifier | Qt::ShiftModifier);
  QTest::keyClick(sci_, Qt::Key_Minus, Qt::ControlModifier);
  QTest::keyClick(sci_, Qt::Key_0, Qt::ControlModifier);
  EXPECT_EQ(levels, (std::vector<int>{1, 2, 1, 0}));
  editor_->SetZoom(99);
  EXPECT_EQ(editor_->Zoom(), 20);
  EXPECT_EQ(sci_->text(), "") << "no key typed its character";
}

TEST_F(ConsoleEditorTest, InputToACommandStaysBelowRewrittenOutputAndFailureMarksGoWithClear) {
  editor_->AppendAtEnd("prompt>cmd\nout");
  editor_->BeginInput();
  editor_->SetReadOnly(false);
  editor_->MoveCaret(1, 3);
  QTest::keyClicks(sci_, "ty");
  editor_->MoveCaret(1, 4);  // between the typed letters
  editor_->SetReadOnly(true);
  OutputEdits edits;  // the output's unfinished line is written again, longer
  edits.rewriteLine = true;
  edits.keepBytes = 1;
  edits.text = "UT\nmore ";
  editor_->ApplyOutput(edits);
  EXPECT_EQ(sci_->text().toStdString(), "prompt>cmd\noUT\nmore ty");
  EXPECT_EQ(std::pair(editor_->CurrentLine(), editor_->CaretByte()), std::pair(2, std::size_t{6}));
  EXPECT_EQ(editor_->InputStart(), std::pair(2, std::size_t{5}));
  EXPECT_EQ(editor_->InputText(), "ty");
  EXPECT_TRUE(editor_->EndInput());
  EXPECT_EQ(sci_->text().toStdString(), "prompt>cmd\noUT\nmore ty");

  editor_->MarkFailure(0, "exit status 2");
  editor_->SetLineDivider(1, true);
  EXPECT_EQ(std::pair(editor_->FailureText(0), editor_->FailureText(1)),
            std::pair(std::string("exit status 2"), std::string()));
  editor_->Clear();
  EXPECT_EQ(std::tuple(sci_->text(), editor_->FailureText(0), editor_->HasLineDivider(0)),
            std::tuple(QString(), std::string(), false));
  EXPECT_TRUE(editor_->ReadOnly()) << "its read-only state is the owner's";
}

TEST_F(ConsoleEditorTest, WithCtrlHeldALinkIsUnderlinedAndACtrlClickTakesIt) {
  ShowActive();
  editor_->AppendAtEnd("link here\nnone here");
  // On the second letter of the line.
  const auto on = [&](int line) {
    const long pos = Send(Sci::SCI_POSITIONFROMLINE, line) + 1;
    return QPoint(static_cast<int>(Send(Sci::SCI_POINTXFROMPOSITION, 0, pos)) + 2, At(line).y());
  };
  const auto move = [&](int line, Qt::KeyboardModifiers mods) {
    QMouseEvent e(QEvent::MouseMove, on(line), sci_->viewport()->mapToGlobal(on(line)),
                  Qt::NoButton, Qt::NoButton, mods);
    QApplication::sendEvent(sci_->viewport(), &e);
  };
  const auto underlined = [&](long pos) {
    return Send(Sci::SCI_INDICATORVALUEAT, ConsoleSurface::kLinkIndicator, pos) != 0;
  };
  move(0, Qt::ControlModifier);
  EXPECT_TRUE(underlined(0) && underlined(3) && !underlined(4));
  move(0, {});
  EXPECT_FALSE(underlined(0)) << "nothing without Ctrl";
  editor_->MoveCaret(1, 2);
  QTest::mouseClick(sci_->viewport(), Qt::LeftButton, {}, on(0));
  EXPECT_TRUE(links_.empty()) << "a plain click opens nothing";
  editor_->MoveCaret(1, 2);
  QTest::mouseClick(sci_->viewport(), Qt::LeftButton, Qt::ControlModifier, on(0));
  QTest::mouseClick(sci_->viewport(), Qt::LeftButton, Qt::ControlModifier, on(1));
  EXPECT_EQ(links_, (std::vector<std::pair<int, int>>{{0, 1}, {1, 1}}));
  EXPECT_EQ(std::pair(editor_->CurrentLine(), editor_->CaretByte()), std::pair(1, std::size_t{1}))
      << "a taken Ctrl+click leaves the caret; one that is no link places it";
}

}  // namespace
}  // namespace pelorin
