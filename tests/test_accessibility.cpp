// SPDX-License-Identifier: GPL-3.0-or-later
// What an assistive technology gets of the console: character offsets for byte positions,
// however long the history and whatever the characters; the text, caret and selection through
// Qt's accessible interface; the events for output, typing and caret moves, and nothing tracked
// while nobody listens.
#include <gtest/gtest.h>

#include <Qsci/qsciscintilla.h>

#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <memory>
#include <string>
#include <vector>

#include "console/EscapeFilter.h"
#include "console/OutputEdits.h"
#include "editor/CodeUnitIndex.h"
#include "editor/ConsoleEditor.h"
#include "editor/ConsoleSurface.h"
#include "editor/ReadableColour.h"
#include "editor/SurfaceTextEvents.h"

namespace pelorin {
namespace {

using Sci = QsciScintillaBase;

// Code units before byte `bytes` of text, as Qt counts them.
std::int64_t Reference(const std::string& text, std::size_t bytes) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(bytes)).size();
}

TEST(CodeUnitIndex, OffsetsMatchQtsCountAcrossBlocksAndEdits) {
  std::string doc;
  CodeUnitIndex index([&doc](std::int64_t from, std::int64_t length) {
    return std::string_view(doc).substr(static_cast<std::size_t>(from),
                                        static_cast<std::size_t>(length));
  });
  // Every position that starts a character agrees with Qt, both ways.
  auto check = [&](const char* when) {
    const auto length = static_cast<std::int64_t>(doc.size());
    for (std::size_t p = 0; p <= doc.size(); p += 1 + p % 97) {
      if (p < doc.size() && (static_cast<unsigned char>(doc[p]) & 0xC0) == 0x80) {
        continue;
      }
      const std::int64_t units = Reference(doc, p);
      ASSERT_EQ(index.UnitsBefore(static_cast<std::int64_t>(p), length), units) << when << p;
      ASSERT_EQ(index.PositionOf(units, length), static_cast<std::int64_t>(p)) << when << p;
    }
  };
  // ASCII, 2-, 3- and 4-byte characters (the last a surrogate pair in UTF-16), in lines whose
  // lengths put characters across every block boundary sooner or later.
  const std::string line = "ab \xC3\xA4 \xE2\x82\xAC \xF0\x9F\x98\x80 cd\n";
  for (int i = 0; i < 5000; ++i) {
    index.Changed(static_cast<std::int64_t>(doc.size()));
    doc += line.substr(static_cast<std::size_t>(i % 3));
  }
  ASSERT_GT(doc.size(), 4 * static_cast<std::size_t>(CodeUnitIndex::kBlock));
  check("appended: ");
  // An offset inside a surrogate pair gives the pair's start; past the end, the end.
  const std::size_t emoji = doc.rfind("\xF0\x9F\x98\x80");
  const auto length = static_cast<std::int64_t>(doc.size());
  EXPECT_EQ(index.PositionOf(Reference(doc, emoji) + 1, length), static_cast<std::int64_t>(emoji));
  EXPECT_EQ(index.PositionOf(Reference(doc, doc.size()) + 50, length), length);
  EXPECT_EQ(index.UnitsBefore(length + 10, length), Reference(doc, doc.size()));

  // An edit in the middle (as output inserted before pending input would be), then the tail cut.
  const std::size_t middle = doc.size() / 2 - doc.size() / 2 % line.size();
  index.Changed(static_cast<std::int64_t>(middle));
  doc.insert(middle, "\xE2\x82\xAC\xE2\x82\xAC\xF0\x9F\x98\x80x");
  check("inserted: ");
  index.Changed(static_cast<std::int64_t>(middle + 3));
  doc.erase(middle + 3);
  check("cut: ");
  index.Changed(0);
  doc.clear();
  EXPECT_EQ(index.UnitsBefore(5, 0), 0);
  EXPECT_EQ(index.PositionOf(5, 0), 0);
}

// Records every event the surface raises, as an assistive technology would receive them.
class SurfaceAccessibility : public ::testing::Test {
 protected:
  SurfaceAccessibility() {
    SurfaceTextEvents::SetDispatcher([](QAccessibleEvent* event) { Record(*event); });
    editor_->resize(640, 400);
    window_.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&window_));
    editor_->setFocus();
    Events().clear();
  }
  ~SurfaceAccessibility() override { SurfaceTextEvents::SetDispatcher({}); }

  static std::vector<std::string>& Events() {
    static std::vector<std::string> events;
    return events;
  }
  static void Record(QAccessibleEvent& event) {
    switch (event.type()) {
      case QAccessible::TextInserted: {
        const auto& e = static_cast<QAccessibleTextInsertEvent&>(event);
        Events().push_back("insert " + std::to_string(e.changePosition()) + " " +
                           e.textInserted().toStdString());
        break;
      }
      case QAccessible::TextRemoved: {
        const auto& e = static_cast<QAccessibleTextRemoveEvent&>(event);
        Events().push_back("remove " + std::to_string(e.changePosition()) + " " +
                           e.textRemoved().toStdString());
        break;
      }
      case QAccessible::TextSelectionChanged: {
        const auto& e = static_cast<QAccessibleTextSelectionEvent&>(event);
        Events().push_back("select " + std::to_string(e.selectionStart()) + "-" +
                           std::to_string(e.selectionEnd()));
        break;
      }
      case QAccessible::TextCaretMoved:
        Events().push_back(
            "caret " +
            std::to_string(static_cast<QAccessibleTextCursorEvent&>(event).cursorPosition()));
        break;
      default:
        break;
    }
  }
  // The events raised once the event loop has turned.
  std::vector<std::string> Raised() {
    QApplication::processEvents();
    std::vector<std::string> raised;
    raised.swap(Events());
    return raised;
  }
  QAccessibleTextInterface* Text() const {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(sci_);
    return iface != nullptr ? iface->textInterface() : nullptr;
  }
  long Send(int m, long w = 0, long l = 0) const { return sci_->SendScintilla(m, w, l); }

  QWidget window_;
  ConsoleEditor* editor_ = new ConsoleEditor(&window_);
  QsciScintilla* sci_ = editor_->findChild<QsciScintilla*>();
};

TEST_F(SurfaceAccessibility, OutputTypingAndCaretMovesRaiseEventsAtQtsOffsets) {
  const std::string history = "t\xC3\xA4il \xF0\x9F\x98\x80\n";
  for (int i = 0; i < 20000; ++i) {
    editor_->AppendAtEnd(history);
  }
  Raised();
  const int before = 20000 * 8;  // t, ä, i, l, blank, a surrogate pair, line break
  OutputEdits edits;
  edits.text = "\xE2\x82\xAC out\n/home>";
  editor_->ApplyOutput(edits);
  editor_->MoveCaret(editor_->LineCount() - 1, 6);
  EXPECT_EQ(Raised(), (std::vector<std::string>{
                          "insert " + std::to_string(before) + " \xE2\x82\xAC out\n/home>",
                          "caret " + std::to_string(before + 12)}));

  // Typing on the input line, then a progress line's redraw: what went, what came.
  QTest::keyClicks(sci_, "ls");
  EXPECT_EQ(Raised(), (std::vector<std::string>{"insert " + std::to_string(before + 12) + " ls",
                                                "caret " + std::to_string(before + 14)}));
  editor_->ReplaceInLastLine(6, std::string::npos, "\xC3\xA4");
  EXPECT_EQ(Raised(),
            (std::vector<std::string>{"remove " + std::to_string(before + 12) + " ls",
                                      "insert " + std::to_string(before + 12) + " \xC3\xA4",
                                      "caret " + std::to_string(before + 13)}));

  // Shift+Left selects the character before the caret; the selection goes with the next move.
  QTest::keyClick(sci_, Qt::Key_Left, Qt::ShiftModifier);
  EXPECT_EQ(Raised(), (std::vector<std::string>{"select " + std::to_string(before + 12) + "-" +
                                                    std::to_string(before + 13),
                                                "caret " + std::to_string(before + 12)}));
  QTest::keyClick(sci_, Qt::Key_Home);
  const std::string start = std::to_string(before + 6);
  EXPECT_EQ(Raised(),
            (std::vector<std::string>{"select " + start + "-" + start, "caret " + start}));
}

TEST_F(SurfaceAccessibility, TextCaretSelectionAndTheInputLineThroughTheInterface) {
  editor_->AppendAtEnd("first \xF0\x9F\x98\x80 line\n/home>echo \xC3\xA4");
  QAccessibleTextInterface* text = Text();
  ASSERT_NE(text, nullptr);
  const QString all = QString::fromUtf8("first \xF0\x9F\x98\x80 line\n/home>echo \xC3\xA4");
  EXPECT_EQ(text->characterCount(), all.size());
  EXPECT_EQ(text->text(0, -1), all);
  EXPECT_EQ(text->text(6, 8), QString::fromUtf8("\xF0\x9F\x98\x80"));
  int start = 0, end = 0;
  EXPECT_EQ(text->textAtOffset(8, QAccessible::LineBoundary, &start, &end),
            QString::fromUtf8("first \xF0\x9F\x98\x80 line\n"));
  EXPECT_EQ(std::pair(start, end), std::pair(0, 14));
  EXPECT_EQ(text->textAfterOffset(3, QAccessible::LineBoundary, &start, &end),
            QString::fromUtf8("/home>echo \xC3\xA4"));
  EXPECT_EQ(text->textAtOffset(3, QAccessible::WordBoundary, &start, &end), "first");
  EXPECT_EQ(text->textBeforeOffset(-1, QAccessible::CharBoundary, &start, &end),
            QString::fromUtf8("\xC3\xA4"));
  EXPECT_EQ(end, all.size());
  EXPECT_EQ(start, all.size() - 1);

  text->setCursorPosition(8);
  EXPECT_EQ(text->cursorPosition(), 8);
  EXPECT_EQ(editor_->CurrentLine(), 0);
  text->setSelection(0, 15, 20);
  int selStart = 0, selEnd = 0;
  text->selection(0, &selStart, &selEnd);
  EXPECT_EQ(std::pair(selStart, selEnd), std::pair(15, 20));
  EXPECT_EQ(text->selectionCount(), 1);

  // Editing: on the input line of a writable surface only, and never a line break.
  QAccessibleEditableTextInterface* edit =
      QAccessible::queryAccessibleInterface(sci_)->editableTextInterface();
  ASSERT_NE(edit, nullptr);
  editor_->SetReadOnly(false);
  edit->insertText(2, "x");                    // the first line: refused
  edit->insertText(all.size(), "\nrm -rf /");  // a line break: refused
  edit->replaceText(all.size() - 1, all.size(), "o");
  editor_->SetReadOnly(true);
  edit->insertText(all.size(), "!");  // read-only: refused
  editor_->BeginInput();              // a command runs: only what is typed to it
  editor_->SetReadOnly(false);
  edit->insertText(all.size() - 2, "z");  // its output: refused
  edit->insertText(all.size(), "y");
  EXPECT_EQ(editor_->InputText(), "y");
  editor_->EndInput();
  EXPECT_EQ(editor_->LineText(0), "first \xF0\x9F\x98\x80 line");
  EXPECT_EQ(editor_->LineText(1), "/home>echo oy");
  EXPECT_EQ(editor_->LineCount(), 2);
}

TEST_F(SurfaceAccessibility, NothingIsTrackedWhileNobodyListensOrAsks) {
  SurfaceTextEvents::SetDispatcher({});
  ConsoleEditor quiet;
  const std::string history(3 * CodeUnitIndex::kBlock, 'a');  // several blocks of the index
  quiet.AppendAtEnd(history + "\n");
  auto* surface = quiet.findChild<QsciScintilla*>();
  // No modification notification at all: appending costs what it did before.
  EXPECT_EQ(surface->SendScintilla(Sci::SCI_GETMODEVENTMASK), 0);
  // Asked once, the surface tracks its edits so later answers stay right, whoever edits where.
  QAccessibleTextInterface* text = QAccessible::queryAccessibleInterface(surface)->textInterface();
  const int count = static_cast<int>(history.size()) + 1;
  EXPECT_EQ(text->characterCount(), count);
  quiet.AppendAtEnd("\xC3\xA4\xC3\xA4");
  surface->SendScintilla(Sci::SCI_INSERTTEXT, 0UL, "\xF0\x9F\x98\x80");
  EXPECT_EQ(text->characterCount(), count + 4);
  EXPECT_EQ(text->text(count + 1, count + 4), QString::fromUtf8("\n\xC3\xA4\xC3\xA4"));
}

TEST(ReadableColour, MovesAColourInItsHueOnlyAsFarAsTheContrastNeeds) {
  const std::uint32_t yellow = PaletteColour(3), white = 0xFFFFFF, black = 0;
  EXPECT_EQ(ReadableOn(yellow, black, kContrastForText), yellow) << "readable as it is";
  const std::uint32_t darker = ReadableOn(yellow, white, kContrastForLargeText);
  EXPECT_GE(ContrastRatio(darker, white), kContrastForLargeText);
  EXPECT_LT(ContrastRatio(darker, white), kContrastForLargeText + 0.1) << "no further than needed";
  EXPECT_EQ(darker & 0xFF, 0u);  // the hue kept: no blue where there was none, red above green
  EXPECT_GT(darker >> 16, (darker >> 8) & 0xFF);
  const std::uint32_t lighter = ReadableOn(PaletteColour(4), black, kContrastForText);
  EXPECT_GE(ContrastRatio(lighter, black), kContrastForText);
  EXPECT_GE(ContrastRatio(ReadableOn(white, white, kContrastForText), white), kContrastForText);
  // On mid grey nothing reaches the ratio: the better of black and white.
  EXPECT_EQ(ReadableOn(0x808080, 0x777777, 7.0), black);
}

// With a dark desktop the console follows the palette; the colours already shown follow it too,
// readable on their backgrounds, and so does what comes later.
TEST(DesktopColours, TheSurfaceAndItsOutputFollowThePaletteBothWays) {
  QWidget window;
  auto* editor = new ConsoleEditor(&window);
  auto* sci = editor->findChild<QsciScintilla*>();
  QPalette dark;
  dark.setColor(QPalette::Base, Qt::black);
  dark.setColor(QPalette::Text, Qt::white);
  editor->setPalette(dark);
  const std::uint32_t blue = PaletteColour(4), grey = PaletteColour(7);
  OutputEdits edits;
  edits.text = "blue rev grey\n";
  edits.runs = {{0, 4, {blue}},
                {5, 3, {TextStyle::kDefaultBack, TextStyle::kDefaultFore}},
                {9, 4, {TextStyle::kDefaultFore, grey}}};
  editor->ApplyOutput(edits);
  // The fore and back colours at a byte, as 0xRRGGBB (-1: the surface's own).
  auto at = [&](long byte) {
    auto rgb = [&](int indicator) -> long {
      const long v = sci->SendScintilla(Sci::SCI_INDICATORVALUEAT, indicator, byte);
      return (v & Sci::SC_INDICVALUEBIT) == 0
                 ? -1
                 : ((v & 0xFF) << 16) | (v & 0xFF00) | ((v >> 16) & 0xFF);
    };
    return std::pair(rgb(ConsoleSurface::kForeIndicator), rgb(ConsoleSurface::kBackIndicator));
  };
  const std::pair<long, long> own[] = {{blue, -1}, {0xFFFFFF, 0}, {-1, grey}};
  for (int i = 0; const long byte : {0L, 5L, 9L}) {
    EXPECT_EQ(at(byte), own[i++]) << byte;
  }

  editor->SetDesktopColours(true);
  editor->FinishRecolouring();
  EXPECT_EQ(sci->SendScintilla(Sci::SCI_STYLEGETBACK, Sci::STYLE_DEFAULT), 0);
  const auto [blueNow, none] = at(0);
  EXPECT_EQ(none, -1);
  EXPECT_GE(ContrastRatio(static_cast<std::uint32_t>(blueNow), 0), kContrastForText);
  EXPECT_EQ(at(5), std::pair(0L, 0xFFFFFFL)) << "reverse video follows the palette";
  const auto [onGrey, greyBack] = at(9);
  EXPECT_EQ(greyBack, static_cast<long>(grey));
  EXPECT_GE(ContrastRatio(static_cast<std::uint32_t>(onGrey), grey), kContrastForText)
      << "the desktop's white text is filled in darker on the light grey";
  editor->ApplyOutput(edits);  // new output in the new colours at once
  EXPECT_EQ(at(14).first, blueNow);

  editor->SetDesktopColours(false);
  editor->FinishRecolouring();
  EXPECT_EQ(sci->SendScintilla(Sci::SCI_STYLEGETBACK, Sci::STYLE_DEFAULT), 0xFFFFFF);
  for (const long byte : {0L, 14L}) {
    EXPECT_GE(ContrastRatio(static_cast<std::uint32_t>(at(byte).first), 0xFFFFFF),
              kContrastForLargeText);
  }
  EXPECT_EQ(at(5), std::pair(0xFFFFFFL, 0L));
}

}  // namespace
}  // namespace pelorin
