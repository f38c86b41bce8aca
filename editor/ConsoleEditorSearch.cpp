// SPDX-License-Identifier: GPL-3.0-or-later
// The console editor's search: Find next, Find and mark all, and the find dialog.
#include <QByteArray>
#include <algorithm>
#include <functional>
#include <string_view>

#include "console/AsciiCase.h"
#include "editor/ConsoleEditor.h"
#include "editor/ConsoleSurface.h"
#include "editor/FindDialog.h"

namespace pelorin {

long ConsoleEditor::Find(long from, long to, const QByteArray& needle) const {
  Send(QsciScintillaBase::SCI_SETSEARCHFLAGS, matchCase_ ? QsciScintillaBase::SCFIND_MATCHCASE : 0);
  Send(QsciScintillaBase::SCI_SETTARGETRANGE, from, to);
  return surface_->SendScintilla(QsciScintillaBase::SCI_SEARCHINTARGET,
                                 static_cast<uintptr_t>(needle.size()), needle.constData());
}

void ConsoleEditor::FindNext() {
  if (searchText_.isEmpty()) {
    return;
  }
  const QByteArray needle = searchText_.toUtf8();
  const long length = Send(QsciScintillaBase::SCI_GETLENGTH);
  // From the end of the selection, so a match just found is not found again.
  const long from = Send(QsciScintillaBase::SCI_GETSELECTIONEND);
  long at = Find(from, length, needle);
  if (at < 0 && from > 0) {
    at = Find(0, length, needle);  // wrap around
  }
  if (at >= 0) {
    Send(QsciScintillaBase::SCI_SETSEL, at, Send(QsciScintillaBase::SCI_GETTARGETEND));
  }
}

namespace {

struct FoldedHash {
  std::size_t operator()(char c) const { return std::hash<char>()(ascii::Lower(c)); }
};
struct FoldedEqual {
  bool operator()(char a, char b) const { return ascii::Lower(a) == ascii::Lower(b); }
};

bool IsAscii(const QByteArray& bytes) {
  return std::all_of(bytes.begin(), bytes.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Start of every match of the searcher in text, after the caller's next(start) position.
template <typename Searcher, typename Next>
void ForEachMatch(std::string_view text, const Searcher& searcher, Next next) {
  std::size_t from = 0;
  while (from < text.size()) {
    const auto it =
        std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), searcher);
    if (it == text.end()) {
      return;
    }
    from = next(static_cast<std::size_t>(it - text.begin()));
  }
}

}  // namespace

void ConsoleEditor::MarkAll() {
  if (searchText_.isEmpty()) {
    return;
  }
  const QByteArray needle = searchText_.toUtf8();
  const long length = Send(QsciScintillaBase::SCI_GETLENGTH);
  // One mark per line: after a match the search goes on at the next line.
  auto markLine = [this, length](std::size_t at) -> std::size_t {
    const long line = Send(QsciScintillaBase::SCI_LINEFROMPOSITION, static_cast<long>(at));
    if (!HasMarker(static_cast<int>(line), ConsoleSurface::kMarkMarker)) {
      Send(QsciScintillaBase::SCI_MARKERADD, line, ConsoleSurface::kMarkMarker);
    }
    const long next = Send(QsciScintillaBase::SCI_POSITIONFROMLINE, line + 1);
    return next > static_cast<long>(at) ? static_cast<std::size_t>(next)
                                        : static_cast<std::size_t>(length);
  };
  if (matchCase_ || IsAscii(needle)) {
    // The history can be a million lines: search the document's own bytes in one pass rather
    // than asking the control match by match.
    const auto* bytes = static_cast<const char*>(
        surface_->SendScintillaPtrResult(QsciScintillaBase::SCI_GETCHARACTERPOINTER));
    const std::string_view text(bytes, static_cast<std::size_t>(length));
    const std::string_view pattern(needle.constData(), static_cast<std::size_t>(needle.size()));
    if (matchCase_) {
      ForEachMatch(text, std::boyer_moore_horspool_searcher(pattern.begin(), pattern.end()),
                   markLine);
    } else {
      ForEachMatch(text,
                   std::boyer_moore_horspool_searcher(pattern.begin(), pattern.end(), FoldedHash(),
                                                      FoldedEqual()),
                   markLine);
    }
    return;
  }
  // A non-ASCII text without regard to case: the control knows the case rules of Unicode.
  long from = 0;
  while (from < length) {
    const long at = Find(from, length, needle);
    if (at < 0) {
      break;
    }
    const long line = Send(QsciScintillaBase::SCI_LINEFROMPOSITION, at);
    if (!HasMarker(static_cast<int>(line), ConsoleSurface::kMarkMarker)) {
      Send(QsciScintillaBase::SCI_MARKERADD, line, ConsoleSurface::kMarkMarker);
    }
    // One mark per line: go on at the next line.
    const long next = Send(QsciScintillaBase::SCI_POSITIONFROMLINE, line + 1);
    if (next <= at) {
      break;
    }
    from = next;
  }
}

void ConsoleEditor::OpenFindDialog() {
  FindDialog dialog(searchText_, matchCase_, this);
  connect(&dialog, &FindDialog::FindNextRequested, this,
          [this](const QString& text, bool matchCase) {
            searchText_ = text;
            matchCase_ = matchCase;
            FindNext();
          });
  dialog.exec();
}

void ConsoleEditor::SetSearchText(const QString& text) {
  searchText_ = text;
}

QString ConsoleEditor::SearchText() const {
  return searchText_;
}

}  // namespace pelorin
