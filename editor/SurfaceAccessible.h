// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The console surface as an assistive technology sees it: a terminal named "Console" that offers
// its text (all of it, a line, a word, a character at an offset), the caret and the selection, and
// lets the input line be edited. Every answer comes from Scintilla's own positions through the
// surface's SurfaceTextEvents, so it costs what it returns, not the length of the history.

#include <QAccessibleWidget>

namespace pelorin {

class ConsoleSurface;

// Names the list of choices the surface shows (Scintilla's user list, a window of its own that
// never takes the focus from the surface) and tells assistive technologies which choice is
// current whenever it changes, as if the list had the focus: that is where the arrow keys act.
void AnnounceChoices(QWidget* surface);

class SurfaceAccessible : public QAccessibleWidget,
                          public QAccessibleTextInterface,
                          public QAccessibleEditableTextInterface {
 public:
  explicit SurfaceAccessible(ConsoleSurface* surface);

  // For QAccessible::installFactory: the interface of every ConsoleSurface.
  static QAccessibleInterface* Factory(const QString& className, QObject* object);

  void* interface_cast(QAccessible::InterfaceType type) override;
  QAccessible::Role role() const override;
  QAccessible::State state() const override;
  QString text(QAccessible::Text type) const override;

  // QAccessibleTextInterface
  void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
  int selectionCount() const override;
  void addSelection(int startOffset, int endOffset) override;
  void removeSelection(int selectionIndex) override;
  void setSelection(int selectionIndex, int startOffset, int endOffset) override;
  int cursorPosition() const override;
  void setCursorPosition(int position) override;
  QString text(int startOffset, int endOffset) const override;
  QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                           int* endOffset) const override;
  QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                          int* endOffset) const override;
  QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                       int* endOffset) const override;
  int characterCount() const override;
  QRect characterRect(int offset) const override;
  int offsetAtPoint(const QPoint& point) const override;
  void scrollToSubstring(int startIndex, int endIndex) override;
  QString attributes(int offset, int* startOffset, int* endOffset) const override;

  // QAccessibleEditableTextInterface: only the input line, and only while the user could type
  // there; text with a line break is refused (Enter is the user's to press).
  void deleteText(int startOffset, int endOffset) override;
  void insertText(int offset, const QString& text) override;
  void replaceText(int startOffset, int endOffset, const QString& text) override;

 private:
  ConsoleSurface* Surface() const;
  long Send(unsigned msg, uintptr_t wparam = 0, intptr_t lparam = 0) const;
  long PositionAt(int offset) const;  // -1: the end, -2: the caret
  int OffsetOf(long position) const;
  QString Bytes(long from, long to) const;
  // The unit of text around position: false when there is none.
  bool Unit(long position, QAccessible::TextBoundaryType type, long* start, long* end) const;
  QString Answer(long start, long end, int* startOffset, int* endOffset) const;
  bool Editable(long from, long to) const;
  void CaretPlaced();
};

}  // namespace pelorin
