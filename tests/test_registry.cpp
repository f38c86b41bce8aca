// SPDX-License-Identifier: GPL-3.0-or-later
// The typed registry layer over the platform's store. Each test works in a key of its own (and,
// on POSIX, in a store of its own under a scratch XDG_CONFIG_HOME).
#include <gtest/gtest.h>

#include <filesystem>
#include <numeric>
#include <optional>
#include <tuple>

#include "platform/WinAPIError.h"
#include "prefs/Registry.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

using namespace Registry;
using Bytes = std::vector<std::uint8_t>;
constexpr regapi::Root kRoot = regapi::kCurrentUser;

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(CreateKey(kRoot, key_)); }

  // The platform call itself, as another program would use it.
  void StoreRaw(const char* name, std::uint32_t type, const Bytes& data) {
    regapi::Key* key = nullptr;
    ASSERT_EQ(regapi::OpenKey(kRoot, key_, regapi::kSetValue, key), 0u);
    EXPECT_EQ(regapi::SetValue(key, name, type, data.data(), std::uint32_t(data.size())), 0u);
    regapi::CloseKey(key);
  }

  // The type actually written, 0 on failure.
  std::uint32_t Set(const char* name, std::uint32_t type, const TypedValue& value) {
    return SetValue(kRoot, key_, name, type, value) ? type : 0;
  }
  std::optional<TypedValue> Get(const char* name, std::uint32_t type) {
    TypedValue value;
    return GetValue(kRoot, key_, name, type, value) ? std::optional(value) : std::nullopt;
  }

  test::TempDir dir_;
  test::ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_.path().c_str()};
  // The scratch folder's name makes the key unique where the store is shared (the registry).
  std::string key_ =
      "Software\\PelorinTest\\" + std::filesystem::path(dir_.path()).filename().string();
};

TEST_F(RegistryTest, MissingKeyAndValueFailWithTheSystemTextForCode2) {
  const std::string fresh = key_ + "\\New";
  std::uint32_t type = kRegDword;
  EXPECT_FALSE(SetValue(kRoot, fresh, "Size", type, std::int32_t{1}));
  EXPECT_FALSE(KeyExists(kRoot, fresh)) << "a write never creates the key";
  EXPECT_EQ(LastRegistryError(), ApiErrorText(regapi::kFileNotFound));
  ASSERT_TRUE(CreateKey(kRoot, fresh));
  EXPECT_TRUE(KeyExists(kRoot, fresh));
  EXPECT_FALSE(ValueExists(kRoot, fresh, "Size"));
  EXPECT_EQ(LastRegistryError(), ApiErrorText(regapi::kFileNotFound));
}

TEST_F(RegistryTest, TextTypesTerminatorsAndThePercentRule) {
  const std::string longText(5000, 'x');  // far beyond the probe's buffer
  ASSERT_EQ(Set("Long", kRegSz, longText), kRegSz);
  EXPECT_EQ(Get("Long", kRegSz), TypedValue(longText));
  StoreRaw("One", kRegSz, Bytes{0});
  StoreRaw("None", kRegSz, Bytes{});
  EXPECT_EQ(Get("One", kRegSz), TypedValue(std::string()));
  EXPECT_EQ(Get("None", kRegSz), TypedValue(std::string()));

  for (auto [text, requested, written] :
       {std::tuple{"50%", 1u, 1u}, {"%%x", 1u, 1u}, {"50%", 2u, 1u}, {"c:\\a%b%c", 1u, 2u}}) {
    EXPECT_EQ(Set("Text", requested, std::string(text)), written) << text;
  }
  TypedValue value = std::string("before");
  EXPECT_FALSE(GetValue(kRoot, key_, "Text", kRegSz, value));
  EXPECT_EQ(LastRegistryError(), "Registry data type was 2instead of the requested 1");
  EXPECT_EQ(value, TypedValue(std::string("before")));

  test::ScopedEnv home("PELORIN_TEST_HOME", "/home/someone");
  ASSERT_EQ(Set("Path", kRegExpandSz, std::string("%PELORIN_TEST_HOME%\\x")), kRegExpandSz);
  EXPECT_EQ(Get("Path", kRegExpandSz), TypedValue(std::string("/home/someone\\x")));
}

TEST_F(RegistryTest, IntegersAreLittleEndianDwordsAndBytesRoundTrip) {
  // The foreign code 5 value pins the reading byte order; reading back then pins the writing:
  // -1 comes back only from FF FF FF FF (FF FF would read 65535), 0x01020304 only from 04 03 02 01.
  StoreRaw("Foreign", kRegDwordBigEndian, Bytes{0, 0, 1, 0});
  EXPECT_EQ(Get("Foreign", kRegDwordBigEndian), TypedValue(std::int32_t{256}));
  ASSERT_EQ(Set("Short", kRegDword, std::int16_t{-1}), kRegDword);
  EXPECT_EQ(Get("Short", kRegDword), TypedValue(std::int32_t{-1}));
  ASSERT_EQ(Set("Big", kRegDwordBigEndian, std::int32_t{0x01020304}), kRegDword);
  EXPECT_EQ(Get("Big", kRegDword), TypedValue(std::int32_t{0x01020304}));

  // Longer than four bytes: a failure, not an overrun, with a reason even where the system has
  // no text for "more data".
  StoreRaw("Long", kRegDword, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_FALSE(Get("Long", kRegDword));
  const std::string text = ApiErrorText(regapi::kMoreData);
  EXPECT_EQ(LastRegistryError(), text.empty() ? "System error 234" : text);

  Bytes all(257, 0);
  std::iota(all.begin(), all.end() - 1, std::uint8_t{0});
  ASSERT_EQ(Set("Blob", kRegBinary, all), kRegBinary);
  EXPECT_EQ(Get("Blob", kRegBinary), TypedValue(all));
}

TEST_F(RegistryTest, WritesRejectTypesAndValuesTheyCannotStore) {
  for (std::uint32_t code : {0u, 7u, 0xFFFFFFFFu}) {
    EXPECT_EQ(Set("V", code, std::string("a")), 0u);
    EXPECT_EQ(LastRegistryError(),
              "The value type is not compatible with the available registry types.");
  }
  EXPECT_EQ(Set("V", kRegBinary, std::int32_t{1}), 0u);
  EXPECT_EQ(LastRegistryError(), "The value type is not consistent.");
  EXPECT_EQ(Set("V", kRegDword, Bytes{1, 2, 3, 4}), 0u);
  EXPECT_FALSE(ValueExists(kRoot, key_, "V")) << "nothing was written";
}

// Several values at once: each as its own call would, but a batch holding one value that cannot
// be stored as its type writes none, and a read tells which values it found.
TEST_F(RegistryTest, BatchesWriteAllOrNoneAndReadEachValue) {
  std::vector<NamedValue> batch{{"A", kRegSz, std::string("%x%y")}, {"B", kRegDword, Bytes{1}}};
  EXPECT_FALSE(SetValues(kRoot, key_, batch));
  EXPECT_EQ(LastRegistryError(), "The value type is not consistent.");
  EXPECT_FALSE(ValueExists(kRoot, key_, "A"));
  batch[1].value = std::int16_t{-2};
  ASSERT_TRUE(SetValues(kRoot, key_, batch)) << LastRegistryError();
  EXPECT_EQ(std::pair(batch[0].type, batch[1].type), std::pair(kRegExpandSz, kRegDword));
  std::vector<NamedValue> read{{"A", kRegSz}, {"B", kRegDword}, {"C", kRegDword}};
  EXPECT_FALSE(GetValues(kRoot, key_, read));
  EXPECT_EQ(LastRegistryError(), ApiErrorText(regapi::kFileNotFound)) << "C is missing";
  EXPECT_EQ(std::tuple(read[0].read, read[1].read, read[2].read), std::tuple(false, true, false))
      << "A is stored as code 2";
  EXPECT_EQ(read[1].value, TypedValue(std::int32_t{-2}));
  // A text read as written: either text code, nothing expanded.
  test::ScopedEnv x("x", "expanded");
  std::vector<NamedValue> asWritten{{"A", kRegSz}, {"B", kRegSz}};
  asWritten[0].asWritten = asWritten[1].asWritten = true;
  EXPECT_FALSE(GetValues(kRoot, key_, asWritten));
  EXPECT_EQ(std::pair(asWritten[0].read, asWritten[1].read), std::pair(true, false))
      << "B is no text";
  EXPECT_EQ(asWritten[0].value, TypedValue(std::string("%x%y")));
}

TEST_F(RegistryTest, KeysAndValueNamesIgnoreCase) {
  EXPECT_TRUE(KeyExists(kRoot, "SOFTWARE\\PELORINTEST"));
  ASSERT_EQ(Set("FontName", kRegSz, std::string("one")), kRegSz);
  ASSERT_EQ(Set("FONTNAME", kRegSz, std::string("two")), kRegSz);
  EXPECT_EQ(Get("fontname", kRegSz), TypedValue(std::string("two"))) << "one value, overwritten";
}

}  // namespace
}  // namespace pelorin
