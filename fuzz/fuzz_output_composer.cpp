// SPDX-License-Identifier: GPL-3.0-or-later
// The output composer on arbitrary output, on either stream, in arbitrary ticks, decoded as the
// runner decodes it. Input: one byte (bit 0: standard error; the rest chooses how long the ticks
// are), then the bytes of the stream.
// Checked: the edits always fit the surface, soft breaks are line ends and a redraw reaches back
// over soft breaks only, no escape or control sequence reaches it, the surface is the same
// whether the text came in one tick or several, and whatever sequence the bytes leave
// unfinished, a line written after more bytes than a sequence may hold is shown.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "console/OutputComposer.h"
#include "console/OutputDecoder.h"
#include "fuzz/FuzzCheck.h"

namespace {

// Small, so that inputs of a few hundred bytes reach it.
constexpr std::size_t kLongestSequence = 64;

std::string Show(std::string_view bytes, bool onErr, std::size_t step) {
  pelorin::OutputComposer composer("\n", pelorin::OutputComposer::kLongestLine, kLongestSequence);
  pelorin::OutputDecoder decoder;
  std::string surface;
  std::vector<std::size_t> soft;  // where the surface's own line ends are
  for (std::size_t at = 0;;) {
    const std::size_t n = step == 0 ? bytes.size() : std::min(step, bytes.size() - at);
    std::string tick = decoder.Decode(bytes.substr(at, n));
    at += n;
    const bool last = at == bytes.size();
    if (last)
      tick += decoder.Finish();
    const pelorin::OutputEdits edits = last ? composer.Finish(onErr ? "" : tick, onErr ? tick : "")
                                            : composer.Feed(onErr ? "" : tick, onErr ? tick : "");
    if (edits.rewriteLine) {
      std::size_t lineEnd = surface.empty() ? std::string::npos : surface.rfind('\n');
      for (std::size_t back = 0; back < edits.linesBack; ++back) {
        FUZZ_CHECK(lineEnd != std::string::npos &&
                   std::find(soft.begin(), soft.end(), lineEnd) != soft.end());
        lineEnd = lineEnd == 0 ? std::string::npos : surface.rfind('\n', lineEnd - 1);
      }
      const std::size_t lineStart = lineEnd == std::string::npos ? 0 : lineEnd + 1;
      FUZZ_CHECK(lineStart + edits.keepBytes <= surface.size());
      surface.resize(lineStart + edits.keepBytes);
      std::erase_if(soft, [&](std::size_t p) { return p >= surface.size(); });
    }
    std::size_t end = 0;
    for (const pelorin::StyledRun& run : edits.runs) {
      FUZZ_CHECK(!run.style.IsDefault() && run.length > 0 && run.begin >= end);
      end = run.begin + run.length;
      FUZZ_CHECK(end <= edits.text.size());
    }
    for (const std::size_t softBreak : edits.softBreaks) {
      FUZZ_CHECK(softBreak < edits.text.size() && edits.text[softBreak] == '\n');
      soft.push_back(surface.size() + softBreak);
    }
    surface += edits.text;
    if (last)
      return surface;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0)
    return 0;
  const bool onErr = (data[0] & 1) != 0;
  const std::size_t step = 1 + data[0] / 2;
  const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
  const std::string whole = Show(text, onErr, 0);
  FUZZ_CHECK(whole.find_first_of("\x1b\a") == std::string::npos);
  for (std::size_t i = 0; i + 1 < whole.size(); ++i) {
    const auto b = static_cast<unsigned char>(whole[i + 1]);
    FUZZ_CHECK(!(whole[i] == '\xC2' && b >= 0x80 && b <= 0x9F));  // no C1 control
  }
  FUZZ_CHECK(Show(text, onErr, step) == whole);
  // Any sequence prefix, drawn out by its last byte repeated past the longest sequence: what
  // comes after is shown.
  const char filler = text.empty() ? 'a' : text.back();
  const std::string drawnOut =
      std::string(text) + std::string(kLongestSequence + 8, filler) + "\nMARK\n";
  FUZZ_CHECK(Show(drawnOut, onErr, step).ends_with("MARK\n"));
  return 0;
}
