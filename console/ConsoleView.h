// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the console session asks of the surface it writes to; the editor implements it, and the
// session knows nothing else of the surface. Text is UTF-8 and goes in only at the end. Lines
// and columns count from 0; columns count UTF-16 code units, as utf8::Utf16Length measures text.
// Everything the session does to the surface goes through here.

#include <string>
#include <string_view>

#include "console/OutputEdits.h"

namespace pelorin {

class ConsoleView {
 public:
  virtual ~ConsoleView() = default;

  // Adds the text after the last character, whatever the caret and the read-only state.
  virtual void AppendAtEnd(std::string_view utf8) = 0;
  // Carries out one tick's output edits at the end (OutputEdits), whatever the caret and the
  // read-only state: the rewrite of the last line, the text with its colours, the soft breaks.
  virtual void ApplyOutput(const OutputEdits& edits) = 0;
  virtual int LineCount() const = 0;                 // at least 1
  virtual std::string LineText(int line) const = 0;  // without its line break
  // Past the end of the line means its end; the line is clamped to the text. Drops a selection.
  virtual void MoveCaret(int line, int column) = 0;
  // The user has text selected.
  virtual bool HasSelectedText() const = 0;
  // While on, the user cannot change the text.
  virtual void SetReadOnly(bool on) = 0;
  // Gives the surface the keyboard focus.
  virtual void TakeFocus() = 0;
  // Empties the surface: its text and every mark, divider and highlight on it.
  virtual void Clear() = 0;
  // Marks line, the prompt line of a command that failed; text says how (exit status 3).
  virtual void MarkFailure(int line, const std::string& text) = 0;

  // While a command runs the user may type to it at the very end: from BeginInput on, whatever
  // is written to the surface goes in before that input, which stays last, untouched, with the
  // caret and selection in it kept. EndInput ends that: text typed and not sent stays where it
  // is, now at the end of the last line (hidden input is removed); true when there is some.
  virtual void BeginInput() = 0;
  virtual bool EndInput() = 0;
  // The caret is in the input typed to the command.
  virtual bool CaretInInput() const = 0;
  // How many characters of the surface's font fit across and down the visible text.
  virtual void SizeInCharacters(int& columns, int& rows) const = 0;
};

}  // namespace pelorin
