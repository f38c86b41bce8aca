// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Links in the console: with Ctrl held, the URL or the path of an existing file or folder under
// the pointer is underlined, and a Ctrl+click opens it with the desktop's handler (a folder is
// entered as cd enters it). Only the line under the pointer is read, and a word is looked up on
// the disk once while the pointer stays on it.

#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "console/LinkFinder.h"

namespace pelorin {

class ConsoleEditor;
class ConsoleSession;

class ConsoleLinks {
 public:
  ConsoleLinks(ConsoleEditor& editor, ConsoleSession& session);

  // The bytes of line to underline for the pointer at byte; an empty range for none.
  std::pair<std::size_t, std::size_t> At(int line, std::size_t byte);
  // A Ctrl+click at byte of line; true when there was a link to take.
  bool Click(int line, std::size_t byte);

 private:
  std::optional<LinkSpan> Find(int line, std::size_t byte);
  // A path as written, made whole against the current folder (and ~ with sh).
  std::string Resolve(const std::string& path) const;

  ConsoleEditor& editor_;
  ConsoleSession& session_;
  // The last word looked up: its line's text, and what was found for it.
  int lastLine_ = -1;
  std::string lastText_;
  std::optional<LinkSpan> last_;
  std::size_t lastByte_ = 0;  // where it was looked up
};

}  // namespace pelorin
