// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "console/OutputDecoder.h"

namespace pelorin {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

// Decodes the bytes as two reads cut at `cut`; the first must not yield half a character.
std::string Decoded(const std::string& bytes, std::size_t cut = 0) {
  OutputDecoder d;
  const std::string first = d.Decode(bytes.substr(0, cut));
  EXPECT_TRUE(cut == 0 || Decoded(first) == first) << "half a character delivered, cut " << cut;
  const std::string both = first + d.Decode(bytes.substr(cut));
  return both + d.Finish();
}

TEST(OutputDecoder, TextDecodesTheSameWhereverAReadSplitsIt) {
  const std::string valid("a\0b \xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF\xED\x9F\xBF",
                          20);
  const struct {
    std::string bytes, text;
  } cases[] = {
      {valid, valid},                                       // NULs included
      {"a\x80z", "a" + kFffd + "z"},                        // stray continuation byte
      {"\xC0\xAF", kFffd + kFffd},                          // overlong '/'
      {"\xE0\x80\xAF", kFffd + kFffd + kFffd},              // overlong three-byte form
      {"\xED\xA0\x80", kFffd + kFffd + kFffd},              // surrogate half
      {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // above U+10FFFF
      {"\xE2\x82\x41", kFffd + kFffd + "A"},                // sequence cut short
      {"x\xF0\x9F\x98", "x" + kFffd + kFffd + kFffd},       // cut short by the end
      {"\xC3\xBC\xFF\xE2\x82\xAC\xF0", "\xC3\xBC" + kFffd + "\xE2\x82\xAC" + kFffd},
  };
  for (const auto& c : cases) {
    for (std::size_t cut = 0; cut <= c.bytes.size(); ++cut) {
      EXPECT_EQ(Decoded(c.bytes, cut), c.text) << "cut at " << cut;
    }
  }
}

TEST(OutputDecoder, FinishFlushesHeldBytesAndStartsAfresh) {
  OutputDecoder d;
  EXPECT_EQ(d.Decode("ok\xE2\x82"), "ok");
  EXPECT_EQ(d.Finish(), kFffd + kFffd);
  EXPECT_EQ(d.Decode("\xAC"), kFffd) << "bytes held before Finish must not complete later ones";
  EXPECT_EQ(d.Finish(), "");
}

}  // namespace
}  // namespace pelorin
