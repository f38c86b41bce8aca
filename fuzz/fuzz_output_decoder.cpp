// The output decoder on arbitrary bytes, read in arbitrary pieces.
// Input: one byte n (low four bits), then n 16-bit numbers that choose where the reads split the
// rest, then the bytes of the stream itself.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/OutputDecoder.h"
#include "fuzz/FuzzCheck.h"

namespace {

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF, nothing cut short.
bool IsValidUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t need = 0;
    std::uint32_t cp = 0;
    if (b < 0x80) {
      ++i;
      continue;
    } else if ((b & 0xE0) == 0xC0) {
      need = 1;
      cp = b & 0x1F;
    } else if ((b & 0xF0) == 0xE0) {
      need = 2;
      cp = b & 0x0F;
    } else if ((b & 0xF8) == 0xF0) {
      need = 3;
      cp = b & 0x07;
    } else {
      return false;
    }
    if (i + need >= s.size()) {
      return false;  // cut short
    }
    for (std::size_t k = 1; k <= need; ++k) {
      const auto c = static_cast<unsigned char>(s[i + k]);
      if ((c & 0xC0) != 0x80) {
        return false;
      }
      cp = cp << 6 | (c & 0x3F);
    }
    static constexpr std::uint32_t kSmallest[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[need] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return false;
    }
    i += need + 1;
  }
  return true;
}

// Decodes the stream read as the pieces that end at the given offsets (sorted), then the rest.
std::string DecodeInPieces(std::string_view stream, const std::vector<std::size_t>& ends) {
  pelorin::OutputDecoder decoder;
  std::string out;
  std::size_t begin = 0;
  for (std::size_t end : ends) {
    out += decoder.Decode(stream.substr(begin, end - begin));
    begin = end;
  }
  out += decoder.Decode(stream.substr(begin));
  out += decoder.Finish();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) {
    return 0;
  }
  const std::size_t splits = std::min<std::size_t>(data[0] & 0x0F, (size - 1) / 2);
  const std::size_t header = 1 + 2 * splits;
  const std::string_view stream(reinterpret_cast<const char*>(data) + header, size - header);
  std::vector<std::size_t> ends;
  for (std::size_t k = 0; k < splits; ++k) {
    const std::size_t at = data[1 + 2 * k] | std::size_t{data[2 + 2 * k]} << 8;
    ends.push_back(at % (stream.size() + 1));
  }
  std::sort(ends.begin(), ends.end());

  const std::string whole = DecodeInPieces(stream, {});
  FUZZ_CHECK(IsValidUtf8(whole));
  if (IsValidUtf8(stream)) {
    FUZZ_CHECK(whole == stream);  // valid text passes unchanged
  }
  FUZZ_CHECK(DecodeInPieces(stream, ends) == whole);

  std::vector<std::size_t> everyByte(stream.size());
  for (std::size_t k = 0; k < everyByte.size(); ++k) {
    everyByte[k] = k;
  }
  FUZZ_CHECK(DecodeInPieces(stream, everyByte) == whole);
  return 0;
}
