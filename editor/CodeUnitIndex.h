// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Converts between byte positions of a UTF-8 document and UTF-16 code-unit offsets (what Qt's
// accessibility calls a character offset) without counting from the start of the document on
// every question. It keeps the count of code units before every 16 KiB of bytes; a question costs
// at most one block counted from its nearest entry. An edit drops only the entries after it, and
// the next question counts them again from there: a console that only edits its end pays for
// what it appends, however long its history is.
//
// Each byte counts on its own: a lead byte of a 4-byte sequence two units (a surrogate pair), any
// other byte that is not a continuation byte one, a continuation byte none. So a block may end
// inside a character, and the count of a range is the sum of its blocks.

#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace pelorin {

class CodeUnitIndex {
 public:
  static constexpr std::int64_t kBlock = 16 * 1024;

  // Hands out the document's bytes [from, from + length), contiguous; length is never past the
  // end of the document.
  using Reader = std::function<std::string_view(std::int64_t from, std::int64_t length)>;

  explicit CodeUnitIndex(Reader read) : read_(std::move(read)) {}

  // The document is about to change (or has changed) at byte `from` and anywhere after it.
  void Changed(std::int64_t from);

  // Code units in bytes [0, position). position is clamped to [0, length].
  std::int64_t UnitsBefore(std::int64_t position, std::int64_t length);
  // The byte position of the character that starts `units` code units into the document; the
  // start of a surrogate pair for an offset inside one; length for an offset at or past the end.
  std::int64_t PositionOf(std::int64_t units, std::int64_t length);

  // Code units in bytes, by the rule above.
  static std::int64_t CountUnits(std::string_view bytes);

 private:
  // Makes the entry for block `block` (bytes [0, block * kBlock)) known.
  void Extend(std::size_t block);
  std::int64_t Count(std::int64_t from, std::int64_t to);

  Reader read_;
  // starts_[i]: code units in bytes [0, i * kBlock). Always holds entry 0.
  std::vector<std::int64_t> starts_{0};
};

}  // namespace pelorin
