// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The console surface: an editor control reduced to what the console asks of it, and the view
// the console session writes to. Lines and columns count from 0; text is UTF-8. Text arrives
// only through AppendAtEnd or the user's typing; what the user may change is decided by the
// owner (ReadOnly), which hears about keys, clicks and focus through EditorEvents.

#include <QPointer>
#include <QString>
#include <QVariant>
#include <QWidget>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/ConsoleView.h"
#include "editor/EditorCommands.h"
#include "editor/SurfaceColours.h"

namespace pelorin {

class ConsoleSurface;
class EditorEvents;

class ConsoleEditor : public QWidget, public ConsoleView {
  Q_OBJECT

 public:
  explicit ConsoleEditor(QWidget* parent = nullptr);
  ~ConsoleEditor() override;

  // Not owned; may be null.
  void SetEventSink(EditorEvents* sink);

  void SetReadOnly(bool on) override;
  bool ReadOnly() const;
  int LineCount() const override;  // at least 1
  int CurrentLine() const;
  // The caret's column in UTF-16 code units, as MoveCaret takes it.
  int CurrentColumn() const;
  // The first line the selection touches (the caret's line when nothing is selected).
  int SelectionStartLine() const;
  bool HasSelectedText() const override;
  // Without its line break; empty for a line that is not there.
  std::string LineText(int line) const override;

  // Adds text after the last character, whatever the caret and ReadOnly; the caret and the view
  // stay where they are. The cost does not grow with the length of the history. The text stays
  // as written (a prompt is never broken); commands' output comes through ApplyOutput, which
  // brings its long lines already broken.
  void AppendAtEnd(std::string_view utf8) override;
  // Rewrites the tail of the last line of output (all its pieces), appends the text like
  // AppendAtEnd, colours its runs (the default colours are the surface's own; bold shows the
  // basic colours as their bright versions, since this surface cannot draw single ranges bold)
  // and marks the lines that continue after a soft break. Costs what the edits hold, whatever
  // the history's length.
  void ApplyOutput(const OutputEdits& edits) override;

  // While a command runs: the input typed to it, at the very end (ConsoleView). Output goes in
  // before it; hidden input shows one dot per character and keeps its text here, never on the
  // surface. ConsoleEditorInput.cpp.
  void BeginInput() override;
  bool EndInput() override;
  bool CaretInInput() const override;
  void SizeInCharacters(int& columns, int& rows) const override;
  bool InputActive() const { return inputStart_ >= 0; }
  // Where the user's input begins when no command takes input (behind the prompt), as (line,
  // byte in line). Edits that are not keys (a middle-button paste, assistive technology) keep
  // to what lies after it.
  void SetPromptInputStart(std::function<std::pair<int, std::size_t>()> where) {
    promptInputStart_ = std::move(where);
  }
  // Where the input begins, as (line, byte in line); meaningful only while InputActive.
  std::pair<int, std::size_t> InputStart() const;
  // The caret and the whole selection lie in the input.
  bool SelectionInInput() const;
  bool CaretAtInputStart() const;
  // The input's text (hidden input's own text, not its dots).
  std::string InputText() const;
  bool InputHasLineEnd() const;
  // The output's last line, up to where the input begins.
  std::string LineBeforeInput() const;
  // Takes the input's first line (all of it when it holds no line end) for sending, without its
  // line end. Shown input stays on the surface as typed, its line then ended; hidden input goes.
  std::string TakeInputLine();
  bool InputHidden() const { return hidden_; }
  // From now on the input is hidden; what was typed already is hidden too.
  void HideInput();
  void TypeHidden(std::string_view text);
  void EraseHidden();
  // Removes the input from its start, or from the start of the word before the caret, up to the
  // caret; never anything before the input.
  void EraseLeftInInput(bool fromInputStart);
  // Removes all of the input (Escape); hidden input stays hidden.
  void ClearInput();

  // The caret's offset in bytes from the start of its line.
  std::size_t CaretByte() const;
  // Replaces bytes [from, to) of the last line (to past its end: up to its end) with text and
  // puts the caret behind it. Changes nothing while the surface is read-only.
  void ReplaceInLastLine(std::size_t from, std::size_t to, std::string_view text);
  // The same on any line.
  void ReplaceInLine(int line, std::size_t from, std::size_t to, std::string_view text);
  // Shows a list at the caret to pick one of items from; picked gets the index of the one
  // chosen (Enter, Tab or a double click). Escape or typing on closes it without a choice.
  void ShowChoices(const std::vector<std::string>& items, std::function<void(std::size_t)> picked);
  bool ChoicesShown() const;

  // Replaces everything from byte `from` of line to the end of the text with text; the caret
  // goes behind it. Changes nothing while the surface is read-only.
  void ReplaceToEnd(int line, std::size_t from, std::string_view text);
  // The text from byte `from` of line to the end, lines joined by "\n".
  std::string TextToEnd(int line, std::size_t from) const;
  // The selection's ends as (line, byte in line); both the caret's when nothing is selected.
  std::pair<int, std::size_t> SelectionStart() const;
  std::pair<int, std::size_t> SelectionEnd() const;
  // Puts the caret at byte of line and the anchor at anchorByte of anchorLine.
  void SetSelection(int anchorLine, std::size_t anchorByte, int line, std::size_t byte);
  void ClearSelection();
  // Pastes the clipboard at the caret, replacing the selection; nothing while read-only.
  void PasteClipboard();

  // column counts characters (UTF-16 code units, as QString indexes a line); past the end of
  // the line means its end. The line is clamped to the text and scrolled into view; the view
  // shows column 0 wherever the caret fits with it.
  void MoveCaret(int line, int column) override;
  void TakeFocus() override;
  void Clear() override;
  // A red mark in the margin, whose tool tip is the text.
  void MarkFailure(int line, const std::string& text) override;
  // The failure text of line; empty when it has no mark.
  std::string FailureText(int line) const;

  // Zoom steps as Ctrl+wheel makes them; 0 is the font's own size.
  int Zoom() const;
  void SetZoom(int level);
  // Unknown numbers do nothing. Dialog commands return when the dialog is closed.
  void RunEditorCommand(int number, const QVariant& argument = {});

  void SetShowLineNumbers(bool on);
  bool ShowLineNumbers() const;
  bool SpacesVisible() const;
  void SetHighlightRow(int line);  // -1: none
  int HighlightRow() const;
  // While on, MoveCaret puts the highlight on the caret's line as well.
  void SetHighlightFollowsCaret(bool on) { highlightFollowsCaret_ = on; }
  void SetLineDivider(int line, bool on);
  bool HasLineDivider(int line) const;
  bool HasLineMark(int line) const;
  // The widget whose client coordinates MouseClick reports.
  QWidget* WindowHandle();

  // A face that is missing (and not replaced by a fixed-pitch substitute) falls back to the
  // system's fixed font; a size that is not positive keeps the current one.
  void SetEditorFont(const QString& name, double pointSize);
  QString EditorFontName() const;
  double EditorFontSize() const;

  void SetSearchText(const QString& text);
  QString SearchText() const;

  // The desktop's colours (its palette's base, text and highlight) instead of the console's own;
  // the colours already shown follow a few milliseconds at a time.
  void SetDesktopColours(bool on);
  bool DesktopColours() const;
  // Recolours whatever is left at once (tests).
  void FinishRecolouring();

 protected:
  void changeEvent(QEvent* event) override;

 signals:
  // The zoom changed (keys, wheel or SetZoom).
  void ZoomChanged(int level);

 private:
  long Send(unsigned msg, uintptr_t wparam = 0, intptr_t lparam = 0) const;
  // Where the output ends: before the input while there is one, else at the very end.
  long OutputEnd() const;
  // Puts output text at `at`; a caret or selection in the input moves along with it.
  void InsertOutput(long at, std::string_view text);
  void ReplaceRange(long from, long to, std::string_view text);
  bool HasMarker(int line, int marker) const;
  long Find(long from, long to, const QByteArray& needle) const;
  void UsePalette(const SurfacePalette& next);
  void Copy();
  void SelectLine();
  void Paste();
  void GoToLine(const QVariant& argument);
  void FindNext();
  void MarkAll();
  void OpenFindDialog();
  void OpenFontDialog();
  long Position(int line, std::size_t byte) const;
  std::pair<int, std::size_t> LineAndByte(long pos) const;

  ConsoleSurface* surface_;
  QString fontName_;
  double fontSize_ = 10.0;
  QString searchText_;
  bool matchCase_ = false;
  int highlightLine_ = -1;  // where the highlight marker was put
  SurfacePalette palette_;
  QPointer<Recolouring> recolouring_;
  bool highlightFollowsCaret_ = false;
  std::vector<std::string> choices_;
  std::function<void(std::size_t)> choicePicked_;
  // The text of each failure mark, by line. Lines are only ever added at the end, so a mark's
  // line stays its line until the console is cleared.
  std::map<int, std::string> failures_;
  EditorEvents* events_ = nullptr;
  long inputStart_ = -1;  // where the input typed to a running command begins; -1: none
  std::function<std::pair<int, std::size_t>()> promptInputStart_;
  bool hidden_ = false;
  std::string secret_;  // the hidden input's text
};

}  // namespace pelorin
