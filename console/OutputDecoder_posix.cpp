// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstddef>

#include "console/OutputDecoder.h"
#include "console/Utf8.h"

// UTF-8 in, UTF-8 out: valid characters pass unchanged (NUL included), and each byte that cannot
// be part of a valid character becomes U+FFFD. A sequence that fails part-way gives one U+FFFD
// for its lead byte; its continuation bytes are then stray and give one each. Because the rule
// looks at one byte at a time, the result does not depend on where the reads split the stream.

namespace pelorin {

namespace {

using utf8::FitsAt;
using utf8::kReplacement;
using utf8::SequenceLength;

}  // namespace

struct OutputDecoder::State {
  unsigned char held[4] = {};
  std::size_t heldCount = 0;  // bytes of a valid but incomplete sequence from earlier reads
};

OutputDecoder::OutputDecoder() : state_(std::make_unique<State>()) {}
OutputDecoder::~OutputDecoder() = default;

std::string OutputDecoder::Decode(std::string_view bytes) {
  std::string out;
  if (bytes.empty()) {
    return out;
  }
  out.reserve(bytes.size() + state_->heldCount);
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };

  if (state_->heldCount > 0) {
    State& s = *state_;
    const std::size_t need = SequenceLength(s.held[0]);
    while (s.heldCount < need && i < n && FitsAt(s.held[0], s.heldCount, at(i))) {
      s.held[s.heldCount++] = at(i++);
    }
    if (s.heldCount == need) {
      out.append(reinterpret_cast<const char*>(s.held), need);
    } else if (i == n) {
      return out;  // still incomplete: keep waiting
    } else {
      out += utf8::Replacements(s.heldCount);  // lead and its (now stray) continuation bytes
    }
    s.heldCount = 0;
  }

  while (i < n) {
    const unsigned char lead = at(i);
    if (lead < 0x80) {
      std::size_t end = i + 1;
      while (end < n && at(end) < 0x80) {
        ++end;
      }
      out.append(bytes.data() + i, end - i);
      i = end;
      continue;
    }
    const std::size_t need = SequenceLength(lead);
    if (need == 0) {
      out += kReplacement;
      ++i;
      continue;
    }
    std::size_t k = 1;
    while (k < need && i + k < n && FitsAt(lead, k, at(i + k))) {
      ++k;
    }
    if (k == need) {
      out.append(bytes.data() + i, need);
      i += need;
    } else if (i + k == n) {
      for (std::size_t j = 0; j < k; ++j) {
        state_->held[j] = at(i + j);
      }
      state_->heldCount = k;
      i = n;
    } else {
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

std::string OutputDecoder::Finish() {
  std::string out = utf8::Replacements(state_->heldCount);
  state_->heldCount = 0;
  return out;
}

}  // namespace pelorin
