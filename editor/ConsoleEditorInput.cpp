// SPDX-License-Identifier: GPL-3.0-or-later
// The console editor's side of the input: ranges of the input lines, clearing, failure marks and
// zoom.
#include <QApplication>
#include <QClipboard>
#include <algorithm>

#include "editor/ConsoleEditor.h"
#include "editor/ConsoleSurface.h"
#include "editor/TextRange.h"
#include "editor/WritableScope.h"

namespace pelorin {

namespace {

constexpr int kMinZoom = -10;  // Scintilla's own bounds for Ctrl+wheel
constexpr int kMaxZoom = 20;

}  // namespace

long ConsoleEditor::Position(int line, std::size_t byte) const {
  line = std::clamp(line, 0, LineCount() - 1);
  const long start = Send(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
  const long end = Send(QsciScintillaBase::SCI_GETLINEENDPOSITION, line);
  return std::min(end, start + static_cast<long>(byte));
}

std::pair<int, std::size_t> ConsoleEditor::LineAndByte(long pos) const {
  const auto line = static_cast<int>(Send(QsciScintillaBase::SCI_LINEFROMPOSITION, pos));
  return {line,
          static_cast<std::size_t>(pos - Send(QsciScintillaBase::SCI_POSITIONFROMLINE, line))};
}

std::pair<int, std::size_t> ConsoleEditor::SelectionStart() const {
  return LineAndByte(Send(QsciScintillaBase::SCI_GETSELECTIONSTART));
}

std::pair<int, std::size_t> ConsoleEditor::SelectionEnd() const {
  return LineAndByte(Send(QsciScintillaBase::SCI_GETSELECTIONEND));
}

void ConsoleEditor::SetSelection(int anchorLine, std::size_t anchorByte, int line,
                                 std::size_t byte) {
  Send(QsciScintillaBase::SCI_SETSEL, static_cast<uintptr_t>(Position(anchorLine, anchorByte)),
       Position(line, byte));
}

void ConsoleEditor::ClearSelection() {
  Send(QsciScintillaBase::SCI_SETEMPTYSELECTION,
       static_cast<uintptr_t>(Send(QsciScintillaBase::SCI_GETCURRENTPOS)));
}

void ConsoleEditor::PasteClipboard() {
  Paste();
}

std::string ConsoleEditor::TextToEnd(int line, std::size_t from) const {
  return TextRange(*surface_, Position(line, from), Send(QsciScintillaBase::SCI_GETLENGTH));
}

void ConsoleEditor::ReplaceToEnd(int line, std::size_t from, std::string_view text) {
  if (ReadOnly()) {
    return;
  }
  const long begin = Position(line, from);
  Send(QsciScintillaBase::SCI_SETTARGETRANGE, static_cast<uintptr_t>(begin),
       Send(QsciScintillaBase::SCI_GETLENGTH));
  surface_->SendScintilla(QsciScintillaBase::SCI_REPLACETARGET, static_cast<uintptr_t>(text.size()),
                          text.data());
  Send(QsciScintillaBase::SCI_GOTOPOS,
       static_cast<uintptr_t>(begin + static_cast<long>(text.size())));
  surface_->RefreshNumberMargin();
}

void ConsoleEditor::Clear() {
  {
    WritableScope writable(surface_);
    Send(QsciScintillaBase::SCI_AUTOCCANCEL);
    Send(QsciScintillaBase::SCI_CLEARALL);
    Send(QsciScintillaBase::SCI_MARKERDELETEALL, static_cast<uintptr_t>(-1));
  }
  delete recolouring_;  // nothing left to recolour; what comes now has the colours of now
  highlightLine_ = -1;
  inputStart_ = -1;
  hidden_ = false;
  std::fill(secret_.begin(), secret_.end(), '\0');
  secret_.clear();
  failures_.clear();
  surface_->RefreshNumberMargin(true);
}

void ConsoleEditor::MarkFailure(int line, const std::string& text) {
  if (line < 0 || line >= LineCount()) {
    return;
  }
  if (!HasMarker(line, ConsoleSurface::kFailureMarker)) {
    Send(QsciScintillaBase::SCI_MARKERADD, static_cast<uintptr_t>(line),
         ConsoleSurface::kFailureMarker);
  }
  failures_[line] = text;
}

std::string ConsoleEditor::FailureText(int line) const {
  const auto it = failures_.find(line);
  return it != failures_.end() && HasMarker(line, ConsoleSurface::kFailureMarker) ? it->second
                                                                                  : std::string();
}

std::pair<int, std::size_t> ConsoleEditor::InputStart() const {
  return LineAndByte(std::max(inputStart_, 0L));
}

int ConsoleEditor::Zoom() const {
  return static_cast<int>(Send(QsciScintillaBase::SCI_GETZOOM));
}

void ConsoleEditor::SetZoom(int level) {
  Send(QsciScintillaBase::SCI_SETZOOM,
       static_cast<uintptr_t>(std::clamp(level, kMinZoom, kMaxZoom)));
}

}  // namespace pelorin
