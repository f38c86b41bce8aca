// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/SurfaceAccessible.h"

#include <QFontMetrics>
#include <QListWidget>
#include <algorithm>

#include "editor/ConsoleSurface.h"
#include "editor/SurfaceTextEvents.h"
#include "editor/TextRange.h"

namespace pelorin {

namespace {

using Sci = QsciScintillaBase;

// The offsets Qt's bridges pass for "the end of the text" and "the caret".
constexpr int kOffsetEnd = -1;
constexpr int kOffsetCaret = -2;

void AnnounceRow(QListWidget* list, int row) {
  if (row >= 0 && list->isVisible()) {
    QAccessibleEvent event(list, QAccessible::Focus);
    event.setChild(row);
    SurfaceTextEvents::Raise(event);
  }
}

}  // namespace

void AnnounceChoices(QWidget* surface) {
  for (QListWidget* list : surface->findChildren<QListWidget*>()) {
    list->setAccessibleName(QStringLiteral("Choices"));
    if (!list->property("pelorinAnnounced").toBool()) {
      list->setProperty("pelorinAnnounced", true);
      QObject::connect(list, &QListWidget::currentRowChanged, list,
                       [list](int row) { AnnounceRow(list, row); });
    }
    AnnounceRow(list, list->currentRow());
  }
}

SurfaceAccessible::SurfaceAccessible(ConsoleSurface* surface)
    : QAccessibleWidget(surface, QAccessible::Terminal) {}

QAccessibleInterface* SurfaceAccessible::Factory(const QString& className, QObject* object) {
  if (object != nullptr && object->isWidgetType() &&
      className == QLatin1String(ConsoleSurface::staticMetaObject.className())) {
    return new SurfaceAccessible(static_cast<ConsoleSurface*>(object));
  }
  return nullptr;
}

ConsoleSurface* SurfaceAccessible::Surface() const {
  return static_cast<ConsoleSurface*>(widget());
}

long SurfaceAccessible::Send(unsigned msg, uintptr_t wparam, intptr_t lparam) const {
  return Surface()->Send(msg, wparam, lparam);
}

void* SurfaceAccessible::interface_cast(QAccessible::InterfaceType type) {
  if (type == QAccessible::TextInterface) {
    return static_cast<QAccessibleTextInterface*>(this);
  }
  if (type == QAccessible::EditableTextInterface) {
    return static_cast<QAccessibleEditableTextInterface*>(this);
  }
  return QAccessibleWidget::interface_cast(type);
}

QAccessible::Role SurfaceAccessible::role() const {
  return QAccessible::Terminal;
}

QAccessible::State SurfaceAccessible::state() const {
  QAccessible::State state = QAccessibleWidget::state();
  const bool readOnly = Send(Sci::SCI_GETREADONLY) != 0;
  state.readOnly = readOnly;
  state.editable = !readOnly;
  state.multiLine = true;
  state.selectableText = true;
  return state;
}

QString SurfaceAccessible::text(QAccessible::Text type) const {
  switch (type) {
    case QAccessible::Name: {
      const QString name = widget()->accessibleName();
      return name.isEmpty() ? QStringLiteral("Console") : name;
    }
    case QAccessible::Value: {
      // The input line: the whole text would cost as much as the history is long, and some
      // bridges read the value on every change.
      const long line = Send(Sci::SCI_GETLINECOUNT) - 1;
      return Bytes(Send(Sci::SCI_POSITIONFROMLINE, static_cast<uintptr_t>(line)),
                   Send(Sci::SCI_GETLENGTH));
    }
    default:
      return QAccessibleWidget::text(type);
  }
}

int SurfaceAccessible::OffsetOf(long position) const {
  return Surface()->TextEvents().Offset(position);
}

long SurfaceAccessible::PositionAt(int offset) const {
  if (offset == kOffsetCaret) {
    return Send(Sci::SCI_GETCURRENTPOS);
  }
  if (offset == kOffsetEnd) {
    return Send(Sci::SCI_GETLENGTH);
  }
  return Surface()->TextEvents().Position(offset);
}

QString SurfaceAccessible::Bytes(long from, long to) const {
  return QString::fromStdString(TextRange(*Surface(), from, to));
}

QString SurfaceAccessible::Answer(long start, long end, int* startOffset, int* endOffset) const {
  *startOffset = OffsetOf(start);
  *endOffset = OffsetOf(end);
  return Bytes(start, end);
}

void SurfaceAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const {
  *startOffset = *endOffset = 0;
  const long start = Send(Sci::SCI_GETSELECTIONSTART);
  const long end = Send(Sci::SCI_GETSELECTIONEND);
  if (selectionIndex == 0 && start != end) {
    *startOffset = OffsetOf(start);
    *endOffset = OffsetOf(end);
  }
}

int SurfaceAccessible::selectionCount() const {
  return Send(Sci::SCI_GETSELECTIONEMPTY) != 0 ? 0 : 1;
}

void SurfaceAccessible::addSelection(int startOffset, int endOffset) {
  setSelection(0, startOffset, endOffset);  // the surface holds one selection
}

void SurfaceAccessible::removeSelection(int selectionIndex) {
  if (selectionIndex == 0) {
    Send(Sci::SCI_SETEMPTYSELECTION, static_cast<uintptr_t>(Send(Sci::SCI_GETCURRENTPOS)));
    CaretPlaced();
  }
}

void SurfaceAccessible::setSelection(int selectionIndex, int startOffset, int endOffset) {
  if (selectionIndex == 0) {
    Send(Sci::SCI_SETSEL, static_cast<uintptr_t>(PositionAt(startOffset)), PositionAt(endOffset));
    CaretPlaced();
  }
}

int SurfaceAccessible::cursorPosition() const {
  return OffsetOf(Send(Sci::SCI_GETCURRENTPOS));
}

void SurfaceAccessible::setCursorPosition(int position) {
  Send(Sci::SCI_GOTOPOS, static_cast<uintptr_t>(PositionAt(position)));
  CaretPlaced();
}

void SurfaceAccessible::CaretPlaced() {
  Surface()->CaretPlaced();
}

QString SurfaceAccessible::text(int startOffset, int endOffset) const {
  const long start = PositionAt(startOffset);
  const long end = PositionAt(endOffset);
  return Bytes(start, std::max(start, end));
}

// Lines end after their line break, as the line-start boundaries of AT-SPI do; a word is a run of
// characters of one kind (word characters, blanks or punctuation), as Scintilla's word moves go;
// a console has no sentences or paragraphs beyond its lines.
bool SurfaceAccessible::Unit(long position, QAccessible::TextBoundaryType type, long* start,
                             long* end) const {
  const long length = Send(Sci::SCI_GETLENGTH);
  position = std::clamp(position, 0L, length);
  switch (type) {
    case QAccessible::CharBoundary:
      if (position >= length) {
        return false;
      }
      *start = position;
      *end = Send(Sci::SCI_POSITIONAFTER, static_cast<uintptr_t>(position));
      return true;
    case QAccessible::WordBoundary:
      if (position >= length) {
        return false;
      }
      *start = Send(Sci::SCI_WORDSTARTPOSITION, static_cast<uintptr_t>(position), 0);
      *end = Send(Sci::SCI_WORDENDPOSITION, static_cast<uintptr_t>(position), 0);
      if (*end <= position) {
        *start = position;
        *end = Send(Sci::SCI_POSITIONAFTER, static_cast<uintptr_t>(position));
      }
      return true;
    case QAccessible::SentenceBoundary:
    case QAccessible::ParagraphBoundary:
    case QAccessible::LineBoundary: {
      const long line = Send(Sci::SCI_LINEFROMPOSITION, static_cast<uintptr_t>(position));
      *start = Send(Sci::SCI_POSITIONFROMLINE, static_cast<uintptr_t>(line));
      const long next = Send(Sci::SCI_POSITIONFROMLINE, static_cast<uintptr_t>(line + 1));
      *end = next < *start ? length : next;  // the last line has no next line
      return true;
    }
    case QAccessible::NoBoundary:
      *start = 0;
      *end = length;
      return true;
  }
  return false;
}

QString SurfaceAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                        int* startOffset, int* endOffset) const {
  *startOffset = *endOffset = -1;
  long start = 0, end = 0;
  if (!Unit(PositionAt(offset), boundaryType, &start, &end)) {
    return {};
  }
  return Answer(start, end, startOffset, endOffset);
}

QString SurfaceAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                            int* startOffset, int* endOffset) const {
  *startOffset = *endOffset = -1;
  long start = 0, end = 0;
  const long position = PositionAt(offset);
  const long length = Send(Sci::SCI_GETLENGTH);
  // The unit the offset is in (at the very end: the one that ends there), then the one before.
  if (!Unit(position, boundaryType, &start, &end)) {
    if (position < length || length == 0 ||
        !Unit(Send(Sci::SCI_POSITIONBEFORE, static_cast<uintptr_t>(position)), boundaryType, &start,
              &end)) {
      return {};
    }
    return Answer(start, end, startOffset, endOffset);
  }
  if (start <= 0 || !Unit(Send(Sci::SCI_POSITIONBEFORE, static_cast<uintptr_t>(start)),
                          boundaryType, &start, &end)) {
    return {};
  }
  return Answer(start, end, startOffset, endOffset);
}

QString SurfaceAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                           int* startOffset, int* endOffset) const {
  *startOffset = *endOffset = -1;
  long start = 0, end = 0;
  if (!Unit(PositionAt(offset), boundaryType, &start, &end) || end >= Send(Sci::SCI_GETLENGTH) ||
      !Unit(end, boundaryType, &start, &end)) {
    return {};
  }
  return Answer(start, end, startOffset, endOffset);
}

int SurfaceAccessible::characterCount() const {
  return Surface()->TextEvents().CharacterCount();
}

QRect SurfaceAccessible::characterRect(int offset) const {
  ConsoleSurface* surface = Surface();
  const long position = PositionAt(offset);
  const long x = Send(Sci::SCI_POINTXFROMPOSITION, 0, position);
  const long y = Send(Sci::SCI_POINTYFROMPOSITION, 0, position);
  const long line = Send(Sci::SCI_LINEFROMPOSITION, static_cast<uintptr_t>(position));
  const long next = Send(Sci::SCI_POSITIONAFTER, static_cast<uintptr_t>(position));
  long width =
      next > position && Send(Sci::SCI_LINEFROMPOSITION, static_cast<uintptr_t>(next)) == line
          ? Send(Sci::SCI_POINTXFROMPOSITION, 0, next) - x
          : 0;
  if (width <= 0) {
    width = surface->fontMetrics().averageCharWidth();  // a line end or the end of the text
  }
  const int height = static_cast<int>(Send(Sci::SCI_TEXTHEIGHT, static_cast<uintptr_t>(line)));
  const QPoint topLeft =
      surface->viewport()->mapToGlobal(QPoint(static_cast<int>(x), static_cast<int>(y)));
  return {topLeft, QSize(static_cast<int>(width), height)};
}

int SurfaceAccessible::offsetAtPoint(const QPoint& point) const {
  const QPoint at = Surface()->viewport()->mapFromGlobal(point);
  if (at.x() < 0 || at.y() < 0) {
    return -1;
  }
  const long position =
      Send(Sci::SCI_POSITIONFROMPOINTCLOSE, static_cast<uintptr_t>(at.x()), at.y());
  return position < 0 ? -1 : OffsetOf(position);
}

void SurfaceAccessible::scrollToSubstring(int startIndex, int endIndex) {
  Send(Sci::SCI_SCROLLRANGE, static_cast<uintptr_t>(PositionAt(endIndex)), PositionAt(startIndex));
}

QString SurfaceAccessible::attributes(int offset, int* startOffset, int* endOffset) const {
  // No attributes worth telling: one run over the whole text.
  Q_UNUSED(offset);
  *startOffset = 0;
  *endOffset = characterCount();
  return {};
}

bool SurfaceAccessible::Editable(long from, long to) const {
  if (Send(Sci::SCI_GETREADONLY) != 0 || from > to) {
    return false;
  }
  // The last line, and of it while a command runs only the input typed to it.
  const long lastLine = Send(Sci::SCI_GETLINECOUNT) - 1;
  const long first = std::max(Send(Sci::SCI_POSITIONFROMLINE, static_cast<uintptr_t>(lastLine)),
                              Surface()->InputStart());
  return from >= first && to <= Send(Sci::SCI_GETLENGTH);
}

void SurfaceAccessible::replaceText(int startOffset, int endOffset, const QString& text) {
  const long from = PositionAt(startOffset);
  const long to = PositionAt(endOffset);
  if (!Editable(from, to) || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'))) {
    return;
  }
  const QByteArray bytes = text.toUtf8();
  Send(Sci::SCI_SETTARGETRANGE, static_cast<uintptr_t>(from), to);
  Surface()->SendScintilla(Sci::SCI_REPLACETARGET, static_cast<uintptr_t>(bytes.size()),
                           bytes.constData());
  Send(Sci::SCI_GOTOPOS, static_cast<uintptr_t>(from + bytes.size()));
  CaretPlaced();
}

void SurfaceAccessible::deleteText(int startOffset, int endOffset) {
  replaceText(startOffset, endOffset, QString());
}

void SurfaceAccessible::insertText(int offset, const QString& text) {
  replaceText(offset, offset, text);
}

}  // namespace pelorin
