#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "console/OutputDecoder.h"

namespace pelorin {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

std::string Whole(const std::string& bytes) {
  OutputDecoder d;
  std::string text = d.Decode(bytes);
  return text + d.Finish();
}

// Decodes in the given pieces; checks on the way that no piece ever yields half a character.
std::string InPieces(const std::vector<std::string>& pieces) {
  OutputDecoder d;
  std::string all;
  for (const std::string& p : pieces) {
    const std::string text = d.Decode(p);
    EXPECT_EQ(Whole(text), text) << "a piece delivered an incomplete character";
    all += text;
  }
  return all + d.Finish();
}

TEST(OutputDecoder, ValidTextAndNulsPassUnchanged) {
  const std::string text("plain a\0b \xC3\xBC \xE2\x82\xAC \xF0\x9F\x98\x80 \xF4\x8F\xBF\xBF", 26);
  EXPECT_EQ(Whole(text), text);
  EXPECT_EQ(Whole(std::string(3, '\0')), std::string(3, '\0'));
  OutputDecoder d;
  EXPECT_EQ(d.Decode(""), "");
  EXPECT_EQ(d.Finish(), "");
}

TEST(OutputDecoder, CharacterSplitAtEveryOffsetIsDeliveredWhole) {
  const std::string text = "a\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80z\xED\x9F\xBF\xEE\x80\x80";
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    EXPECT_EQ(InPieces({text.substr(0, cut), text.substr(cut)}), text) << "cut at " << cut;
  }
  std::vector<std::string> bytes;
  for (char c : text) {
    bytes.emplace_back(1, c);
  }
  EXPECT_EQ(InPieces(bytes), text);
}

TEST(OutputDecoder, EachInvalidByteBecomesOneReplacement) {
  EXPECT_EQ(Whole("\xFF"), kFffd);
  EXPECT_EQ(Whole("a\x80z"), "a" + kFffd + "z");                        // stray continuation byte
  EXPECT_EQ(Whole("\xC0\xAF"), kFffd + kFffd);                          // overlong '/'
  EXPECT_EQ(Whole("\xE0\x80\xAF"), kFffd + kFffd + kFffd);              // overlong three-byte form
  EXPECT_EQ(Whole("\xED\xA0\x80"), kFffd + kFffd + kFffd);              // surrogate half
  EXPECT_EQ(Whole("\xF4\x90\x80\x80"), kFffd + kFffd + kFffd + kFffd);  // above U+10FFFF
  EXPECT_EQ(Whole("\xE2\x82"
                  "A"),
            kFffd + kFffd + "A");                           // sequence cut short
  EXPECT_EQ(Whole("\xF0\x9F\x98"), kFffd + kFffd + kFffd);  // cut short by the end
}

TEST(OutputDecoder, InvalidInputDecodesTheSameWhereverReadsSplitIt) {
  const std::string bad =
      "x\xE2\x82"
      "A\xF0\x9F\x98\xC3\xBC\xFF\xED\xA0\x80\xE2\x82\xAC\xF0";
  const std::string whole = Whole(bad);
  for (std::size_t cut = 0; cut <= bad.size(); ++cut) {
    EXPECT_EQ(InPieces({bad.substr(0, cut), bad.substr(cut)}), whole) << "cut at " << cut;
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
