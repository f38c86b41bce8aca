// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// For the editor's own files: a range of the document's bytes.

#include <Qsci/qsciscintillabase.h>

#include <cstddef>
#include <string>

namespace pelorin {

// The bytes [from, to) of the document, UTF-8 as it holds them; empty when to <= from.
inline std::string TextRange(const QsciScintillaBase& surface, long from, long to) {
  if (to <= from) {
    return {};
  }
  std::string text(static_cast<std::size_t>(to - from) + 1, '\0');  // and the closing zero
  surface.SendScintilla(QsciScintillaBase::SCI_GETTEXTRANGE, from, to, text.data());
  text.pop_back();
  return text;
}

}  // namespace pelorin
