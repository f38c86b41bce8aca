// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/ConsoleEditor.h"

#include <QApplication>
#include <QClipboard>
#include <QColor>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <string_view>

#include "editor/ConsoleSurface.h"
#include "editor/EditorEvents.h"
#include "editor/FontDialog.h"
#include "editor/SurfaceAccessible.h"
#include "editor/SurfaceColours.h"
#include "editor/TextRange.h"
#include "editor/WritableScope.h"

namespace pelorin {

namespace {

constexpr int kChoiceList = 1;  // the identifier of the list ShowChoices shows

bool FamilyUsable(const QString& family) {
  // A missing face is fine when the font system substitutes a fixed-pitch one for it
  // ("Courier New" on a machine without it).
  return QFontDatabase::hasFamily(family) || QFontInfo(QFont(family)).fixedPitch();
}

bool FixedPitchFamily(const QString& family) {
  return QFontDatabase::hasFamily(family) && QFontDatabase::isFixedPitch(family);
}

// The face the surface falls back to: a family that is there and draws every character equally
// wide. The system's fixed font is not always one: where it names a missing face (Wine without
// "Courier New"), the font system draws in its default face, which may be a serif one.
QString MonospaceFamily() {
  static const QString chosen = [] {
    for (const char* family : {"Consolas", "Lucida Console", "Courier New", "DejaVu Sans Mono",
                               "Liberation Mono", "Courier"}) {
      if (FixedPitchFamily(QString::fromLatin1(family))) {
        return QString::fromLatin1(family);
      }
    }
    QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (FixedPitchFamily(system.family())) {
      return system.family();
    }
    const QStringList families = QFontDatabase::families();
    const auto any = std::find_if(families.begin(), families.end(), FixedPitchFamily);
    if (any != families.end()) {
      return *any;
    }
    // No fixed-pitch face listed: what the font system matches to a typewriter face.
    system.setStyleHint(QFont::TypeWriter);
    return QFontInfo(system).family();
  }();
  return chosen;
}

}  // namespace

ConsoleEditor::ConsoleEditor(QWidget* parent)
    : QWidget(parent), surface_(new ConsoleSurface(this)) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(surface_);
  setFocusProxy(surface_);
  surface_->SetInputStart([this] {
    if (inputStart_ >= 0 || !promptInputStart_) {
      return std::max(inputStart_, 0L);
    }
    const auto [line, byte] = promptInputStart_();
    return Position(line, byte);
  });
  SetEditorFont(MonospaceFamily(),
                QFontDatabase::systemFont(QFontDatabase::FixedFont).pointSizeF());
  connect(surface_,
          static_cast<void (QsciScintillaBase::*)(const char*, int, int, int, int)>(
              &QsciScintillaBase::SCN_USERLISTSELECTION),
          this, [this](const char* text, int id, int, int, int) {
            if (id != kChoiceList || !choicePicked_) {
              return;
            }
            const auto it = std::find(choices_.begin(), choices_.end(), std::string_view(text));
            if (it != choices_.end()) {
              choicePicked_(static_cast<std::size_t>(it - choices_.begin()));
            }
          });
  connect(surface_, &QsciScintillaBase::SCN_ZOOM, this, [this] { emit ZoomChanged(Zoom()); });
  surface_->SetMarginTip([this](int line) { return FailureText(line); });
}

ConsoleEditor::~ConsoleEditor() = default;

long ConsoleEditor::Send(unsigned msg, uintptr_t wparam, intptr_t lparam) const {
  return surface_->Send(msg, wparam, lparam);
}

void ConsoleEditor::SetEventSink(EditorEvents* sink) {
  events_ = sink;
  surface_->SetEventSink(sink);
}

void ConsoleEditor::SetReadOnly(bool on) {
  Send(QsciScintillaBase::SCI_SETREADONLY, on ? 1 : 0);
}

bool ConsoleEditor::ReadOnly() const {
  return Send(QsciScintillaBase::SCI_GETREADONLY) != 0;
}

int ConsoleEditor::LineCount() const {
  return static_cast<int>(Send(QsciScintillaBase::SCI_GETLINECOUNT));
}

int ConsoleEditor::CurrentLine() const {
  const long pos = Send(QsciScintillaBase::SCI_GETCURRENTPOS);
  return static_cast<int>(Send(QsciScintillaBase::SCI_LINEFROMPOSITION, pos));
}

int ConsoleEditor::CurrentColumn() const {
  const long pos = Send(QsciScintillaBase::SCI_GETCURRENTPOS);
  const long start = Send(QsciScintillaBase::SCI_POSITIONFROMLINE, CurrentLine());
  return static_cast<int>(Send(QsciScintillaBase::SCI_COUNTCODEUNITS, start, pos));
}

int ConsoleEditor::SelectionStartLine() const {
  const long pos = Send(QsciScintillaBase::SCI_GETSELECTIONSTART);
  return static_cast<int>(Send(QsciScintillaBase::SCI_LINEFROMPOSITION, pos));
}

bool ConsoleEditor::HasSelectedText() const {
  return Send(QsciScintillaBase::SCI_GETSELECTIONEMPTY) == 0;
}

std::string ConsoleEditor::LineText(int line) const {
  if (line < 0 || line >= LineCount()) {
    return {};
  }
  const long start = Send(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
  return TextRange(*surface_, start, Send(QsciScintillaBase::SCI_GETLINEENDPOSITION, line));
}

void ConsoleEditor::AppendAtEnd(std::string_view utf8) {
  if (utf8.empty()) {
    return;
  }
  {
    WritableScope writable(surface_);
    InsertOutput(OutputEnd(), utf8);
  }
  surface_->RefreshNumberMargin();
}

void ConsoleEditor::ApplyOutput(const OutputEdits& edits) {
  if (edits.Empty()) {
    return;
  }
  {
    WritableScope writable(surface_);
    const long end = OutputEnd();
    if (edits.rewriteLine) {
      const long last = Send(QsciScintillaBase::SCI_LINEFROMPOSITION, end);
      const long back = std::min(static_cast<long>(edits.linesBack), last);
      const long first = last - back;
      const long from = std::min(
          end, Send(QsciScintillaBase::SCI_POSITIONFROMLINE, static_cast<uintptr_t>(first)) +
                   static_cast<long>(edits.keepBytes));
      // The marks of deleted lines pass to the line before them: the first piece, which
      // continues nothing, must not get the pieces' marks.
      constexpr long kSoftBreak = 1L << ConsoleSurface::kSoftBreakMarker;
      for (long line = first + 1; line <= last; ++line) {
        while (Send(QsciScintillaBase::SCI_MARKERGET, static_cast<uintptr_t>(line)) & kSoftBreak) {
          Send(QsciScintillaBase::SCI_MARKERDELETE, static_cast<uintptr_t>(line),
               ConsoleSurface::kSoftBreakMarker);
        }
      }
      Send(QsciScintillaBase::SCI_DELETERANGE, static_cast<uintptr_t>(from), end - from);
      if (inputStart_ >= 0) {
        inputStart_ -= end - from;
      }
    }
    const long base = OutputEnd();
    InsertOutput(base, edits.text);
    for (const std::size_t at : edits.softBreaks) {
      const long line =
          Send(QsciScintillaBase::SCI_LINEFROMPOSITION, base + static_cast<long>(at)) + 1;
      Send(QsciScintillaBase::SCI_MARKERADD, static_cast<uintptr_t>(line),
           ConsoleSurface::kSoftBreakMarker);
    }
    FillRuns(*surface_, base, edits.runs, palette_);
  }
  surface_->RefreshNumberMargin();
}

std::size_t ConsoleEditor::CaretByte() const {
  const long pos = Send(QsciScintillaBase::SCI_GETCURRENTPOS);
  return static_cast<std::size_t>(pos - Send(QsciScintillaBase::SCI_POSITIONFROMLINE,
                                             Send(QsciScintillaBase::SCI_LINEFROMPOSITION, pos)));
}

void ConsoleEditor::ReplaceInLastLine(std::size_t from, std::size_t to, std::string_view text) {
  ReplaceInLine(LineCount() - 1, from, to, text);
}

void ConsoleEditor::ReplaceInLine(int line, std::size_t from, std::size_t to,
                                  std::string_view text) {
  if (ReadOnly() || line < 0 || line >= LineCount()) {
    return;
  }
  const long start = Send(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
  const auto lineBytes =
      static_cast<std::size_t>(Send(QsciScintillaBase::SCI_GETLINEENDPOSITION, line) - start);
  from = std::min(from, lineBytes);
  const long begin = start + static_cast<long>(from);
  const long end = start + static_cast<long>(std::clamp(to, from, lineBytes));
  Send(QsciScintillaBase::SCI_SETTARGETRANGE, static_cast<uintptr_t>(begin), end);
  surface_->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET, static_cast<uintptr_t>(text.size()),
                          text.data());
  Send(QsciScintillaBase::SCI_GOTOPOS,
       static_cast<uintptr_t>(begin + static_cast<long>(text.size())));
  surface_->RefreshNumberMargin();
}

void ConsoleEditor::ShowChoices(const std::vector<std::string>& items,
                                std::function<void(std::size_t)> picked) {
  // Names may hold blanks and question marks, Scintilla's usual separators: these two bytes
  // stand in no file name a person types.
  constexpr char kItemSeparator = '\x1E';
  constexpr char kTypeSeparator = '\x1F';
  choices_ = items;
  choicePicked_ = std::move(picked);
  std::string list;
  for (const std::string& item : items) {
    if (!list.empty()) {
      list.push_back(kItemSeparator);
    }
    list += item;
  }
  Send(QsciScintillaBase::SCI_AUTOCSETSEPARATOR, kItemSeparator);
  Send(QsciScintillaBase::SCI_AUTOCSETTYPESEPARATOR, kTypeSeparator);
  Send(QsciScintillaBase::SCI_AUTOCSETORDER, QsciScintillaBase::SC_ORDER_CUSTOM);
  Send(QsciScintillaBase::SCI_AUTOCSETMAXHEIGHT, 12);
  surface_->SendScintilla(QsciScintillaBase::SCI_USERLISTSHOW, kChoiceList, list.c_str());
  AnnounceChoices(surface_);
}

bool ConsoleEditor::ChoicesShown() const {
  return surface_->isListActive();
}

void ConsoleEditor::MoveCaret(int line, int column) {
  line = std::clamp(line, 0, LineCount() - 1);
  const long start = Send(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
  const long end = Send(QsciScintillaBase::SCI_GETLINEENDPOSITION, line);
  long pos = start;
  if (column > 0) {
    // Counted in UTF-16 code units from the line start, so multi-byte characters count once.
    pos = Send(QsciScintillaBase::SCI_POSITIONRELATIVECODEUNITS, start, column);
    if (pos <= start || pos > end) {
      pos = end;
    }
  }
  Send(QsciScintillaBase::SCI_GOTOPOS, pos);
  // Scrolling only as far as the caret needs leaves a view scrolled right by a long typed line
  // showing the next prompts and output cut at the left, or not at all: wherever the caret
  // fits in the view with room for one more character, the view goes back to column 0.
  if (const long xOffset = Send(QsciScintillaBase::SCI_GETXOFFSET); xOffset > 0) {
    const long x = Send(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0, pos) + xOffset;
    const long room = surface_->SendScintilla(QsciScintillaBase::SCI_TEXTWIDTH,
                                              QsciScintillaBase::STYLE_DEFAULT, "ww");
    if (x + room <= surface_->viewport()->width()) {
      Send(QsciScintillaBase::SCI_SETXOFFSET, 0);
    }
  }
  // The highlight follows the caret wherever the program puts it too (a new prompt, output).
  if (highlightFollowsCaret_ && highlightLine_ != line) {
    SetHighlightRow(line);
  }
}

void ConsoleEditor::TakeFocus() {
  setFocus();
}

void ConsoleEditor::RunEditorCommand(int number, const QVariant& argument) {
  namespace cmd = EditorCommand;
  switch (number) {
    case cmd::kSelectLine:
      SelectLine();
      break;
    case cmd::kSelectAll:
      Send(QsciScintillaBase::SCI_SELECTALL);
      break;
    case cmd::kPaste:
      Paste();
      break;
    case cmd::kGoToLine:
      GoToLine(argument);
      break;
    case cmd::kFindNext:
      FindNext();
      break;
    case cmd::kMarkAll:
      MarkAll();
      break;
    case cmd::kFindDialog:
      OpenFindDialog();
      break;
    case cmd::kCopy:
      Copy();
      break;
    case cmd::kClearMarks:
      Send(QsciScintillaBase::SCI_MARKERDELETEALL, ConsoleSurface::kMarkMarker);
      break;
    case cmd::kFontDialog:
      if (!argument.isValid() || argument.toBool()) {
        OpenFontDialog();
      }
      break;
    case cmd::kShowSpaces:
      Send(QsciScintillaBase::SCI_SETVIEWWS, QsciScintillaBase::SCWS_VISIBLEALWAYS);
      break;
    case cmd::kHideSpaces:
      Send(QsciScintillaBase::SCI_SETVIEWWS, QsciScintillaBase::SCWS_INVISIBLE);
      break;
    default:
      break;
  }
}

// The selection as the commands wrote it: the soft breaks in it are left out. Costs what the
// selection holds.
void ConsoleEditor::Copy() {
  const long start = Send(QsciScintillaBase::SCI_GETSELECTIONSTART);
  const long end = Send(QsciScintillaBase::SCI_GETSELECTIONEND);
  if (start >= end) {
    return;
  }
  std::string text;
  text.reserve(static_cast<std::size_t>(end - start));
  auto take = [&](long from, long to) {
    if (to > from) {
      const std::size_t at = text.size();
      text.resize(at + static_cast<std::size_t>(to - from) + 1);  // and the closing zero
      surface_->SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, from, to, text.data() + at);
      text.pop_back();
    }
  };
  const long lastLine = Send(QsciScintillaBase::SCI_LINEFROMPOSITION, end);
  long from = start;
  for (long line = Send(QsciScintillaBase::SCI_LINEFROMPOSITION, start) + 1; line <= lastLine;
       ++line) {
    if ((Send(QsciScintillaBase::SCI_MARKERGET, line) & (1L << ConsoleSurface::kSoftBreakMarker)) ==
        0) {
      continue;
    }
    const long breakStart =
        std::max(from, Send(QsciScintillaBase::SCI_GETLINEENDPOSITION, line - 1));
    take(from, breakStart);
    from = std::max(from, std::min(end, Send(QsciScintillaBase::SCI_POSITIONFROMLINE, line)));
  }
  take(from, end);
  QApplication::clipboard()->setText(
      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

// The caret's whole line of output: the surface lines joined by soft breaks together.
void ConsoleEditor::SelectLine() {
  int first = CurrentLine();
  int last = first;
  while (first > 0 && HasMarker(first, ConsoleSurface::kSoftBreakMarker)) {
    --first;
  }
  while (HasMarker(last + 1, ConsoleSurface::kSoftBreakMarker)) {
    ++last;
  }
  const long start = Send(QsciScintillaBase::SCI_POSITIONFROMLINE, first);
  const long end = Send(QsciScintillaBase::SCI_GETLINEENDPOSITION, last);
  Send(QsciScintillaBase::SCI_SETSEL, start, end);
}

void ConsoleEditor::Paste() {
  if (hidden_ && SelectionInInput()) {
    // A password pasted behind a password prompt is hidden as it is typed.
    const QString text = QApplication::clipboard()->text();
    TypeHidden(text.split(QLatin1Char('\n')).value(0).remove(QLatin1Char('\r')).toStdString());
    return;
  }
  if (ReadOnly()) {
    return;
  }
  Send(QsciScintillaBase::SCI_PASTE);
  surface_->RefreshNumberMargin();
  if (events_) {
    events_->Pasted();
  }
}

void ConsoleEditor::GoToLine(const QVariant& argument) {
  bool ok = false;
  const int line = argument.toInt(&ok);
  if (ok) {
    Send(QsciScintillaBase::SCI_GOTOLINE, std::clamp(line, 0, LineCount() - 1));
  }
}

void ConsoleEditor::OpenFontDialog() {
  // The dialog opens on the face and size the surface shows: the stored name may be a face the
  // system lacks and replaces, and the dialog would open on its own default for that one.
  QFont requested(fontName_);
  requested.setPointSizeF(fontSize_);
  const QFontInfo shown(requested);
  FontDialog dialog(shown.family(), static_cast<int>(std::lround(shown.pointSizeF())), this);
  if (dialog.exec() == QDialog::Accepted) {
    SetEditorFont(dialog.Family(), dialog.PointSize());
  }
}

void ConsoleEditor::SetShowLineNumbers(bool on) {
  surface_->SetNumberMarginShown(on);
}

bool ConsoleEditor::ShowLineNumbers() const {
  return surface_->NumberMarginShown();
}

bool ConsoleEditor::SpacesVisible() const {
  return Send(QsciScintillaBase::SCI_GETVIEWWS) != QsciScintillaBase::SCWS_INVISIBLE;
}

bool ConsoleEditor::HasMarker(int line, int marker) const {
  if (line < 0 || line >= LineCount()) {
    return false;
  }
  return (Send(QsciScintillaBase::SCI_MARKERGET, line) & (1L << marker)) != 0;
}

void ConsoleEditor::SetHighlightRow(int line) {
  constexpr int kMarker = ConsoleSurface::kHighlightMarker;
  // Called on every key: remove the old highlight where it was put, which is cheap; only when
  // lines were inserted or removed before it does it have to be searched for everywhere.
  if (highlightLine_ >= 0) {
    if (HasMarker(highlightLine_, kMarker)) {
      Send(QsciScintillaBase::SCI_MARKERDELETE, highlightLine_, kMarker);
    } else {
      Send(QsciScintillaBase::SCI_MARKERDELETEALL, kMarker);
    }
  }
  highlightLine_ = -1;
  if (line >= 0 && line < LineCount()) {
    Send(QsciScintillaBase::SCI_MARKERADD, line, kMarker);
    highlightLine_ = line;
  }
}

int ConsoleEditor::HighlightRow() const {
  constexpr int kMarker = ConsoleSurface::kHighlightMarker;
  if (highlightLine_ < 0 || HasMarker(highlightLine_, kMarker)) {
    return highlightLine_;
  }
  return static_cast<int>(Send(QsciScintillaBase::SCI_MARKERNEXT, 0, 1L << kMarker));
}

void ConsoleEditor::SetLineDivider(int line, bool on) {
  constexpr int kMarker = ConsoleSurface::kDividerMarker;
  if (on) {
    if (line >= 0 && line < LineCount() && !HasMarker(line, kMarker)) {
      Send(QsciScintillaBase::SCI_MARKERADD, line, kMarker);
    }
    return;
  }
  while (HasMarker(line, kMarker)) {
    Send(QsciScintillaBase::SCI_MARKERDELETE, line, kMarker);
  }
}

bool ConsoleEditor::HasLineDivider(int line) const {
  return HasMarker(line, ConsoleSurface::kDividerMarker);
}

bool ConsoleEditor::HasLineMark(int line) const {
  return HasMarker(line, ConsoleSurface::kMarkMarker);
}

QWidget* ConsoleEditor::WindowHandle() {
  return this;
}

void ConsoleEditor::SetEditorFont(const QString& name, double pointSize) {
  const QString trimmed = name.trimmed();
  fontName_ = !trimmed.isEmpty() && FamilyUsable(trimmed) ? trimmed : MonospaceFamily();
  if (pointSize > 0 && pointSize <= 500) {
    fontSize_ = pointSize;
  }
  surface_->SendScintilla(QsciScintillaBase::SCI_STYLESETFONT,
                          static_cast<uintptr_t>(QsciScintillaBase::STYLE_DEFAULT),
                          fontName_.toUtf8().constData());
  Send(QsciScintillaBase::SCI_STYLESETSIZEFRACTIONAL, QsciScintillaBase::STYLE_DEFAULT,
       std::lround(fontSize_ * static_cast<int>(QsciScintillaBase::SC_FONT_SIZE_MULTIPLIER)));
  ApplyPalette(*surface_, palette_);  // every style takes the new font
  surface_->RefreshNumberMargin(true);
}

void ConsoleEditor::SetDesktopColours(bool on) {
  if (on == palette_.desktop) {
    return;
  }
  UsePalette(on ? DesktopPalette(palette()) : OwnPalette());
}

void ConsoleEditor::UsePalette(const SurfacePalette& next) {
  // A palette change that changes none of the colours (Qt tells of several in a row) would start
  // a recolouring over, leaving what the first had not reached yet in the old colours.
  if (next == palette_) {
    return;
  }
  const SurfacePalette before = palette_;
  palette_ = next;
  ApplyPalette(*surface_, palette_);
  delete recolouring_;  // one still under way starts over from the colours shown now
  recolouring_ = new Recolouring(*surface_, before, palette_);
}

bool ConsoleEditor::DesktopColours() const {
  return palette_.desktop;
}

void ConsoleEditor::FinishRecolouring() {
  if (recolouring_ != nullptr) {
    recolouring_->Finish();
  }
}

void ConsoleEditor::changeEvent(QEvent* event) {
  QWidget::changeEvent(event);
  // The desktop changed its colours (a high-contrast theme switched on, say).
  if (event->type() == QEvent::PaletteChange && palette_.desktop) {
    UsePalette(DesktopPalette(palette()));
  }
}

QString ConsoleEditor::EditorFontName() const {
  return fontName_;
}

double ConsoleEditor::EditorFontSize() const {
  return fontSize_;
}

}  // namespace pelorin
