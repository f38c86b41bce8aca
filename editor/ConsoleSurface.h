// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The QScintilla widget inside ConsoleEditor. It holds what must live in the Scintilla subclass:
// the document set-up, the reduced key map, the event hooks that report to EditorEvents, and the
// margins and markers. Everything the rest of the program asks of the surface goes through
// ConsoleEditor; this class is not meant to be used on its own.

#include <Qsci/qsciscintilla.h>

#include <cstdint>
#include <functional>

namespace pelorin {

class EditorEvents;

// Q_OBJECT gives the class its own name, which keeps QScintilla's accessibility object away
// (see the .cpp).
class ConsoleSurface : public QsciScintilla {
  Q_OBJECT

 public:
  // Marker numbers: separate markers so mark, divider and highlight can coexist on one line.
  static constexpr int kMarkMarker = 0;       // find-and-mark-all: symbol in the margin
  static constexpr int kDividerMarker = 1;    // divider: a rule under the line
  static constexpr int kHighlightMarker = 2;  // highlighted row: line background
  // On each line that continues the line above it after a soft break (OutputEdits): drawn
  // nowhere, it tells copying which line ends the command never wrote.
  static constexpr int kSoftBreakMarker = 3;
  // The colours of coloured output, each range with its own value (0xBBGGRR): the text's, and a
  // box under the text for its background.
  static constexpr int kForeIndicator = 8;
  static constexpr int kBackIndicator = 9;
  static constexpr int kNumberMargin = 0;
  static constexpr int kSymbolMargin = 1;

  // owner: the widget whose coordinates MouseClick reports.
  ConsoleSurface(QWidget* owner);

  void SetEventSink(EditorEvents* sink) { sink_ = sink; }
  // Where pasting may go at the earliest: before it lies output (while a command runs, the input
  // typed to it begins there). Unset or 0: anywhere on the input line.
  void SetInputStart(std::function<long()> inputStart) { inputStart_ = std::move(inputStart); }

  long Send(unsigned msg, uintptr_t wparam = 0, intptr_t lparam = 0) const;

  // The line-number margin is sized by hand: the modification notifications that would let
  // QScintilla react are switched off. Cheap unless the line count gains a digit.
  void RefreshNumberMargin(bool force = false);
  void SetNumberMarginShown(bool on);
  bool NumberMarginShown() const { return numbersShown_; }

 protected:
  bool event(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void contextMenuEvent(QContextMenuEvent* e) override;
  void dragEnterEvent(QDragEnterEvent* e) override;
  void dragMoveEvent(QDragMoveEvent* e) override;
  void dropEvent(QDropEvent* e) override;

 private:
  void UseLeanDocument();
  void ReduceKeyMap();
  void SetUpMargins();
  void SetUpColours();
  long PositionAt(const QPoint& viewportPos) const;
  bool InSelection(long pos) const;

  QWidget* owner_;
  EditorEvents* sink_ = nullptr;
  bool numbersShown_ = true;
  int numberDigits_ = 0;
  // A left press inside the selection would start a text drag; a drag can move text out of
  // history, so the moves of such a press are not passed on.
  bool pressInSelection_ = false;
  std::function<long()> inputStart_;
};

}  // namespace pelorin
