#include <cstddef>
#include <cstdint>

#include "console/OutputDecoder.h"

// UTF-8 in, UTF-8 out: valid characters pass unchanged (NUL included), and each byte that cannot
// be part of a valid character becomes U+FFFD. A sequence that fails part-way gives one U+FFFD
// for its lead byte; its continuation bytes are then stray and give one each. Because the rule
// looks at one byte at a time, the result does not depend on where the reads split the stream.

namespace pelorin {

namespace {

constexpr char kReplacement[] = "\xEF\xBF\xBD";

// Length of the sequence a lead byte starts; 0 when the byte cannot start one (continuation
// bytes, the overlong leads C0 and C1, and F5 to FF, which would go beyond U+10FFFF).
std::size_t SequenceLength(unsigned char b) {
  if (b < 0x80) {
    return 1;
  }
  if (b >= 0xC2 && b <= 0xDF) {
    return 2;
  }
  if (b >= 0xE0 && b <= 0xEF) {
    return 3;
  }
  if (b >= 0xF0 && b <= 0xF4) {
    return 4;
  }
  return 0;
}

// Whether c may stand at position index (1..3) of a sequence led by lead. The second byte's
// range excludes overlong forms (E0, F0), surrogates (ED) and code points above U+10FFFF (F4).
bool FitsAt(unsigned char lead, std::size_t index, unsigned char c) {
  if (index == 1) {
    switch (lead) {
      case 0xE0:
        return c >= 0xA0 && c <= 0xBF;
      case 0xED:
        return c >= 0x80 && c <= 0x9F;
      case 0xF0:
        return c >= 0x90 && c <= 0xBF;
      case 0xF4:
        return c >= 0x80 && c <= 0x8F;
      default:
        break;
    }
  }
  return c >= 0x80 && c <= 0xBF;
}

void AppendReplacements(std::string& out, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    out += kReplacement;
  }
}

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
      AppendReplacements(out, s.heldCount);  // lead and its (now stray) continuation bytes
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
  std::string out;
  AppendReplacements(out, state_->heldCount);
  state_->heldCount = 0;
  return out;
}

}  // namespace pelorin
