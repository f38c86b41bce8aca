// SPDX-License-Identifier: GPL-3.0-or-later
// The part of the console surface that holds the input typed to a running command: the text
// behind the output's last line that the user may still change, before which output goes in.
#include <Qsci/qsciscintillabase.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "console/Utf8.h"
#include "editor/ConsoleEditor.h"
#include "editor/ConsoleSurface.h"
#include "editor/TextRange.h"
#include "editor/WritableScope.h"
#include "platform/LineEnd.h"

namespace pelorin {

namespace {

using Sci = QsciScintillaBase;

// One dot stands for each character of hidden input.
constexpr std::string_view kHiddenMark = "\xE2\x80\xA2";  // U+2022

std::size_t Characters(std::string_view text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return !utf8::IsContinuation(static_cast<unsigned char>(c));
  }));
}

std::string Marks(std::size_t count) {
  std::string marks;
  marks.reserve(count * kHiddenMark.size());
  for (std::size_t i = 0; i < count; ++i) {
    marks += kHiddenMark;
  }
  return marks;
}

void Wipe(std::string& secret) {
  std::fill(secret.begin(), secret.end(), '\0');
  secret.clear();
}

// Where the input's first line ends (its LF), or -1: found without copying the input, which a
// paste may have made long.
long FirstLineEnd(const ConsoleSurface* surface, long from) {
  // The document's own bytes; the input is at its end, so making them one block costs no more
  // than the input.
  const long length = surface->Send(Sci::SCI_GETLENGTH) - from;
  const auto* all =
      static_cast<const char*>(surface->SendScintillaPtrResult(Sci::SCI_GETCHARACTERPOINTER));
  const char* text = all ? all + from : nullptr;
  const void* lf = text ? std::memchr(text, '\n', static_cast<std::size_t>(length)) : nullptr;
  return lf ? from + (static_cast<const char*>(lf) - text) : -1;
}

}  // namespace

long ConsoleEditor::OutputEnd() const {
  return inputStart_ >= 0 ? inputStart_ : Send(Sci::SCI_GETLENGTH);
}

void ConsoleEditor::ReplaceRange(long from, long to, std::string_view text) {
  Send(Sci::SCI_SETTARGETRANGE, static_cast<uintptr_t>(from), to);
  surface_->SendScintilla(Sci::SCI_REPLACETARGET, static_cast<uintptr_t>(text.size()), text.data());
}

void ConsoleEditor::InsertOutput(long at, std::string_view text) {
  if (text.empty()) {
    return;
  }
  const long caret = Send(Sci::SCI_GETCURRENTPOS);
  const long anchor = Send(Sci::SCI_GETANCHOR);
  if (at >= Send(Sci::SCI_GETLENGTH)) {
    // The caret and the view stay where they are.
    surface_->SendScintilla(Sci::SCI_APPENDTEXT, static_cast<uintptr_t>(text.size()), text.data());
  } else {
    ReplaceRange(at, at, text);
  }
  if (inputStart_ < 0) {
    return;
  }
  inputStart_ += static_cast<long>(text.size());
  // A caret or selection in the input stays with it, also at its very start, and the view
  // follows the output down to it; one in the output stays where it is, and so does the view.
  const long shift = static_cast<long>(text.size());
  const long wantCaret = caret >= at ? caret + shift : caret;
  const long wantAnchor = anchor >= at ? anchor + shift : anchor;
  if (Send(Sci::SCI_GETCURRENTPOS) != wantCaret || Send(Sci::SCI_GETANCHOR) != wantAnchor) {
    Send(Sci::SCI_SETANCHOR, static_cast<uintptr_t>(wantAnchor));
    Send(Sci::SCI_SETCURRENTPOS, static_cast<uintptr_t>(wantCaret));  // does not scroll
  }
  if (caret >= at) {
    Send(Sci::SCI_SCROLLCARET);
  }
}

void ConsoleEditor::BeginInput() {
  inputStart_ = Send(Sci::SCI_GETLENGTH);
  hidden_ = false;
  Wipe(secret_);
}

bool ConsoleEditor::EndInput() {
  if (inputStart_ < 0) {
    return false;
  }
  const long length = Send(Sci::SCI_GETLENGTH);
  const bool typed = !hidden_ && length > inputStart_;
  if (hidden_) {
    {
      WritableScope writable(surface_);
      Send(Sci::SCI_DELETERANGE, static_cast<uintptr_t>(inputStart_), length - inputStart_);
    }
  }
  inputStart_ = -1;
  hidden_ = false;
  Wipe(secret_);
  return typed;
}

bool ConsoleEditor::CaretInInput() const {
  return inputStart_ >= 0 && Send(Sci::SCI_GETCURRENTPOS) >= inputStart_;
}

bool ConsoleEditor::SelectionInInput() const {
  return inputStart_ >= 0 && Send(Sci::SCI_GETSELECTIONSTART) >= inputStart_;
}

bool ConsoleEditor::CaretAtInputStart() const {
  return inputStart_ >= 0 && Send(Sci::SCI_GETCURRENTPOS) == inputStart_ &&
         Send(Sci::SCI_GETSELECTIONEMPTY) != 0;
}

std::string ConsoleEditor::InputText() const {
  if (inputStart_ < 0) {
    return std::string();
  }
  if (hidden_) {
    return secret_;
  }
  return TextRange(*surface_, inputStart_, Send(Sci::SCI_GETLENGTH));
}

bool ConsoleEditor::InputHasLineEnd() const {
  return inputStart_ >= 0 && !hidden_ && FirstLineEnd(surface_, inputStart_) >= 0;
}

std::string ConsoleEditor::LineBeforeInput() const {
  const long end = OutputEnd();
  const long line = Send(Sci::SCI_LINEFROMPOSITION, end);
  // The end of a long line is all that matters here.
  return TextRange(*surface_, std::max(Send(Sci::SCI_POSITIONFROMLINE, line), end - 1024), end);
}

std::string ConsoleEditor::TakeInputLine() {
  if (inputStart_ < 0) {
    return std::string();
  }
  if (hidden_) {
    std::string secret = secret_;
    {
      WritableScope writable(surface_);
      Send(Sci::SCI_DELETERANGE, static_cast<uintptr_t>(inputStart_),
           Send(Sci::SCI_GETLENGTH) - inputStart_);
    }
    Wipe(secret_);
    hidden_ = false;
    return secret;
  }
  const long lf = FirstLineEnd(surface_, inputStart_);
  const long end = lf >= 0 ? lf : Send(Sci::SCI_GETLENGTH);
  std::string line = TextRange(*surface_, inputStart_, end);
  if (lf >= 0) {
    inputStart_ = lf + 1;
  } else {
    // The typed line stays as typed, and its line ends: the output goes on below it.
    {
      WritableScope writable(surface_);
      surface_->SendScintilla(Sci::SCI_APPENDTEXT, std::strlen(LineEnd()), LineEnd());
    }
    inputStart_ = Send(Sci::SCI_GETLENGTH);
    Send(Sci::SCI_GOTOPOS, static_cast<uintptr_t>(inputStart_));
  }
  if (!line.empty() && line.back() == '\r') {
    line.pop_back();
  }
  return line;
}

void ConsoleEditor::HideInput() {
  if (inputStart_ < 0 || hidden_) {
    return;
  }
  secret_ = InputText();
  hidden_ = true;
  {
    WritableScope writable(surface_);
    ReplaceRange(inputStart_, Send(Sci::SCI_GETLENGTH), Marks(Characters(secret_)));
  }
  Send(Sci::SCI_GOTOPOS, static_cast<uintptr_t>(Send(Sci::SCI_GETLENGTH)));
}

void ConsoleEditor::TypeHidden(std::string_view text) {
  if (!hidden_ || text.empty()) {
    return;
  }
  secret_.append(text);
  {
    WritableScope writable(surface_);
    const std::string marks = Marks(Characters(text));
    surface_->SendScintilla(Sci::SCI_APPENDTEXT, static_cast<uintptr_t>(marks.size()),
                            marks.data());
  }
  Send(Sci::SCI_GOTOPOS, static_cast<uintptr_t>(Send(Sci::SCI_GETLENGTH)));
}

void ConsoleEditor::EraseHidden() {
  if (!hidden_ || secret_.empty()) {
    return;
  }
  std::size_t last = secret_.size() - 1;
  while (last > 0 && utf8::IsContinuation(static_cast<unsigned char>(secret_[last]))) {
    --last;
  }
  std::fill(secret_.begin() + static_cast<std::ptrdiff_t>(last), secret_.end(), '\0');
  secret_.resize(last);
  const long length = Send(Sci::SCI_GETLENGTH);
  const long mark = static_cast<long>(kHiddenMark.size());
  if (length - mark >= inputStart_) {
    {
      WritableScope writable(surface_);
      Send(Sci::SCI_DELETERANGE, static_cast<uintptr_t>(length - mark), mark);
    }
  }
}

void ConsoleEditor::EraseLeftInInput(bool fromInputStart) {
  const long caret = Send(Sci::SCI_GETCURRENTPOS);
  if (inputStart_ < 0 || hidden_ || caret <= inputStart_) {
    return;
  }
  long from = inputStart_;
  if (!fromInputStart) {
    // Back over blanks, then over the word before them.
    const std::string before = InputText().substr(0, static_cast<std::size_t>(caret - inputStart_));
    std::size_t i = before.size();
    while (i > 0 && (before[i - 1] == ' ' || before[i - 1] == '\t')) {
      --i;
    }
    while (i > 0 && before[i - 1] != ' ' && before[i - 1] != '\t') {
      --i;
    }
    from = inputStart_ + static_cast<long>(i);
  }
  {
    WritableScope writable(surface_);
    Send(Sci::SCI_DELETERANGE, static_cast<uintptr_t>(from), caret - from);
  }
}

void ConsoleEditor::SizeInCharacters(int& columns, int& rows) const {
  long margins = 0;
  for (int margin = 0; margin < 5; ++margin) {
    margins += Send(Sci::SCI_GETMARGINWIDTHN, static_cast<uintptr_t>(margin));
  }
  const long charWidth =
      surface_->SendScintilla(Sci::SCI_TEXTWIDTH, static_cast<uintptr_t>(Sci::STYLE_DEFAULT), "0");
  const long lineHeight = Send(Sci::SCI_TEXTHEIGHT, 0);
  const QWidget* text = surface_->viewport();
  columns = static_cast<int>(std::max(1L, (text->width() - margins) / std::max(1L, charWidth)));
  rows = static_cast<int>(std::max(1L, text->height() / std::max(1L, lineHeight)));
}

void ConsoleEditor::ClearInput() {
  if (inputStart_ < 0) {
    return;
  }
  Wipe(secret_);
  WritableScope writable(surface_);
  Send(Sci::SCI_DELETERANGE, static_cast<uintptr_t>(inputStart_),
       Send(Sci::SCI_GETLENGTH) - inputStart_);
}

}  // namespace pelorin
