// SPDX-License-Identifier: GPL-3.0-or-later
// The output decoder on arbitrary bytes, read in arbitrary pieces.
// Input: one byte n (low four bits), then n 16-bit numbers that choose where the reads split the
// rest, then the bytes of the stream itself.

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <vector>

#include "console/OutputDecoder.h"
#include "fuzz/FuzzCheck.h"

// Decodes the stream read as the pieces that end at the given offsets (sorted), then the rest.
static std::string DecodeInPieces(std::string_view stream, const std::vector<std::size_t>& ends) {
  pelorin::OutputDecoder decoder;
  std::string out;
  std::size_t begin = 0;
  for (std::size_t end : ends) {
    out += decoder.Decode(stream.substr(begin, end - begin));
    begin = end;
  }
  return out + decoder.Decode(stream.substr(begin)) + decoder.Finish();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::size_t splits = size == 0 ? 0 : std::min<std::size_t>(data[0] & 0x0F, (size - 1) / 2);
  const std::size_t header = std::min<std::size_t>(size, 1 + 2 * splits);
  const std::string_view stream(reinterpret_cast<const char*>(data) + header, size - header);
  std::vector<std::size_t> ends, everyByte(stream.size());
  for (std::size_t k = 0; k < splits; ++k)
    ends.push_back((data[1 + 2 * k] | std::size_t{data[2 + 2 * k]} << 8) % (stream.size() + 1));
  std::sort(ends.begin(), ends.end());
  std::iota(everyByte.begin(), everyByte.end(), 0);

  const std::string whole = DecodeInPieces(stream, {});
  // What comes out is valid text, which decodes to itself.
  FUZZ_CHECK(DecodeInPieces(whole, {}) == whole);
  FUZZ_CHECK(DecodeInPieces(stream, ends) == whole);
  FUZZ_CHECK(DecodeInPieces(stream, everyByte) == whole);
  return 0;
}
