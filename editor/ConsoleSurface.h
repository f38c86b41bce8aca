// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The QScintilla widget inside ConsoleEditor. It holds what must live in the Scintilla subclass:
// the document set-up, the reduced key map, the event hooks that report to EditorEvents, and the
// margins and markers. Everything the rest of the program asks of the surface goes through
// ConsoleEditor; this class is not meant to be used on its own.

#include <Qsci/qsciscintilla.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace pelorin {

class EditorEvents;
class SurfaceTextEvents;

// Q_OBJECT gives the class its own name, by which its own accessibility object is found (see
// SurfaceAccessible).
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
  // In the margin, at the prompt line of a command that failed.
  static constexpr int kFailureMarker = 4;
  // The colours of coloured output, each range with its own value (0xBBGGRR): the text's, and a
  // box under the text for its background.
  static constexpr int kForeIndicator = 8;
  static constexpr int kBackIndicator = 9;
  // Under a link while Ctrl is held.
  static constexpr int kLinkIndicator = 10;
  static constexpr int kNumberMargin = 0;
  static constexpr int kSymbolMargin = 1;

  // owner: the widget whose coordinates MouseClick reports.
  ConsoleSurface(QWidget* owner);

  void SetEventSink(EditorEvents* sink) { sink_ = sink; }
  // The tool tip of a line's margin; empty: none.
  void SetMarginTip(std::function<std::string(int line)> tip) { marginTip_ = std::move(tip); }
  // Where pasting may go at the earliest: before it lies output (while a command runs, the input
  // typed to it begins there). Unset or 0: anywhere on the input line.
  void SetInputStart(std::function<long()> inputStart) { inputStart_ = std::move(inputStart); }
  long InputStart() const { return inputStart_ ? inputStart_() : 0; }

  long Send(unsigned msg, uintptr_t wparam = 0, intptr_t lparam = 0) const;

  // Offsets and events for assistive technologies.
  SurfaceTextEvents& TextEvents() const { return *textEvents_; }
  // Something other than a key or a click (an assistive technology) placed the caret or the
  // selection: the owner decides again what the user may change.
  void CaretPlaced();

  // The line-number margin is sized by hand: the modification notifications that would let
  // QScintilla react are switched off. Cheap unless the line count gains a digit.
  void RefreshNumberMargin(bool force = false);
  void SetNumberMarginShown(bool on);
  bool NumberMarginShown() const { return numbersShown_; }

 protected:
  bool event(QEvent* e) override;
  bool viewportEvent(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void leaveEvent(QEvent* e) override;
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
  void MenuAtCaret();
  bool InSelection(long pos) const;
  bool ZoomKey(const QKeyEvent* e);
  // The link under the viewport point shown underlined, or none when ctrl is false.
  void ShowLinkAt(const QPoint& viewportPos, bool ctrl);
  void ShowLink(int line, std::size_t from, std::size_t to);
  // The line and byte under a viewport point; line -1 past the text.
  std::pair<int, std::size_t> LineAndByteAt(const QPoint& viewportPos) const;
  // The line whose margin holds the point, -1 when the point is not in a margin.
  int MarginLineAt(const QPoint& viewportPos) const;

  QWidget* owner_;
  EditorEvents* sink_ = nullptr;
  SurfaceTextEvents* textEvents_ = nullptr;  // a child
  std::function<std::string(int line)> marginTip_;
  int linkLine_ = -1;  // the line the link underline is on; -1: none
  bool numbersShown_ = true;
  int numberDigits_ = 0;
  // A left press inside the selection would start a text drag; a drag can move text out of
  // history, so the moves of such a press are not passed on.
  bool pressInSelection_ = false;
  std::function<long()> inputStart_;
};

}  // namespace pelorin
