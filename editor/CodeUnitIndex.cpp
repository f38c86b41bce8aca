// SPDX-License-Identifier: GPL-3.0-or-later
#include "editor/CodeUnitIndex.h"

#include <algorithm>

#include "console/Utf8.h"

namespace pelorin {

namespace {

// A lead byte of a 4-byte sequence stands for a character outside the Basic Multilingual Plane.
constexpr std::int64_t UnitsOf(unsigned char c) {
  return utf8::IsContinuation(c) ? 0 : (c >= 0xF0 ? 2 : 1);
}

}  // namespace

std::int64_t CodeUnitIndex::CountUnits(std::string_view bytes) {
  // Branch-free, so the compiler can count many bytes at a time.
  std::int64_t units = 0;
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    units +=
        static_cast<std::int64_t>(!utf8::IsContinuation(c)) + static_cast<std::int64_t>(c >= 0xF0);
  }
  return units;
}

void CodeUnitIndex::Changed(std::int64_t from) {
  // Entry i stays while its bytes [0, i * kBlock) all lie before the change.
  const auto keep = static_cast<std::size_t>(std::max<std::int64_t>(from, 0) / kBlock) + 1;
  if (starts_.size() > keep) {
    starts_.resize(keep);
  }
}

std::int64_t CodeUnitIndex::Count(std::int64_t from, std::int64_t to) {
  return to > from ? CountUnits(read_(from, to - from)) : 0;
}

void CodeUnitIndex::Extend(std::size_t block) {
  while (starts_.size() <= block) {
    const auto last = static_cast<std::int64_t>(starts_.size()) - 1;
    starts_.push_back(starts_.back() + Count(last * kBlock, (last + 1) * kBlock));
  }
}

std::int64_t CodeUnitIndex::UnitsBefore(std::int64_t position, std::int64_t length) {
  position = std::clamp<std::int64_t>(position, 0, length);
  const auto block = static_cast<std::size_t>(position / kBlock);
  Extend(block);
  const std::int64_t blockStart = static_cast<std::int64_t>(block) * kBlock;
  return starts_[block] + Count(blockStart, position);
}

std::int64_t CodeUnitIndex::PositionOf(std::int64_t units, std::int64_t length) {
  if (units <= 0 || length <= 0) {
    return 0;
  }
  // The last block that starts at or before the offset: known entries first, then further
  // blocks counted until one starts past it or the document ends.
  const auto lastBlock = static_cast<std::size_t>(length / kBlock);
  while (starts_.back() <= units && starts_.size() <= lastBlock) {
    Extend(starts_.size());
  }
  const auto after = std::upper_bound(starts_.begin(), starts_.end(), units);
  const auto block = static_cast<std::size_t>(after - starts_.begin()) - 1;
  std::int64_t at = static_cast<std::int64_t>(block) * kBlock;
  std::int64_t count = starts_[block];
  const std::int64_t end = std::min(length, at + 2 * kBlock);  // a character never spans more
  const std::string_view bytes = read_(at, end - at);
  for (const char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    if (!utf8::IsContinuation(c)) {
      if (count >= units || count + UnitsOf(c) > units) {
        return at;
      }
      count += UnitsOf(c);
    }
    ++at;
  }
  return end;
}

}  // namespace pelorin
