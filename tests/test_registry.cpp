// The typed registry layer over the platform's store. Each test works in a key of its own (and,
// on POSIX, in a store of its own under a scratch XDG_CONFIG_HOME).
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include "prefs/Registry.h"
#include "prefs/WinAPIError.h"
#include "tests/support/Platform.h"
#include "tests/support/TempDir.h"

namespace pelorin {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr regapi::Root kRoot = regapi::kCurrentUser;

class RegistryTest : public ::testing::Test {
 protected:
  // The scratch folder's name makes the key unique where the store is shared (the registry).
  RegistryTest()
      : key_("Software\\PelorinTest\\" + std::filesystem::path(dir_.path()).filename().string()) {}

  // Writes a value with the platform call itself, as another program would.
  void StoreRaw(const std::string& name, std::uint32_t type, const Bytes& data) {
    regapi::Key* key = nullptr;
    ASSERT_EQ(regapi::CreateKey(kRoot, key_, key), 0u);
    EXPECT_EQ(
        regapi::SetValue(key, name, type, data.data(), static_cast<std::uint32_t>(data.size())),
        0u);
    regapi::CloseKey(key);
  }

  Bytes ReadRaw(const std::string& name, std::uint32_t& type) {
    regapi::Key* key = nullptr;
    EXPECT_EQ(regapi::OpenKey(kRoot, key_, regapi::kQueryValue, key), 0u);
    Bytes data(64);
    auto size = static_cast<std::uint32_t>(data.size());
    EXPECT_EQ(regapi::QueryValue(key, name, &type, data.data(), &size), 0u);
    regapi::CloseKey(key);
    data.resize(size);
    return data;
  }

  bool Set(const std::string& name, std::uint32_t type, const TypedValue& value) {
    return Registry::SetValue(kRoot, key_, name, type, value);
  }

  test::TempDir dir_;
  test::ScopedEnv xdg_{"XDG_CONFIG_HOME", dir_.path().c_str()};
  std::string key_;
};

std::string TypeMessage(int stored, int requested) {
  return "Registry data type was " + std::to_string(stored) + "instead of the requested " +
         std::to_string(requested);
}

TEST(ApiErrorText, SystemTextWithLineEndOrNothing) {
  const std::string missing = ApiErrorText(regapi::kFileNotFound);
  ASSERT_FALSE(missing.empty());
  EXPECT_EQ(missing.back(), '\n');
  EXPECT_NE(ApiErrorText(regapi::kAccessDenied), missing);
  EXPECT_EQ(ApiErrorText(0xFFFFFFFFu), "");
  EXPECT_EQ(ApiErrorText(0x7FFFFF00u), "");
}

TEST_F(RegistryTest, MissingKeyAndValueFailWithTheSystemTextForCode2) {
  EXPECT_FALSE(Registry::KeyExists(kRoot, key_));
  EXPECT_EQ(Registry::LastRegistryError(), ApiErrorText(2));
  std::uint32_t type = Registry::kRegDword;
  EXPECT_FALSE(Registry::SetValue(kRoot, key_, "Size", type, std::int32_t{1}));
  EXPECT_FALSE(Registry::KeyExists(kRoot, key_)) << "a write never creates the key";

  ASSERT_TRUE(Registry::CreateKey(kRoot, key_));
  EXPECT_TRUE(Registry::KeyExists(kRoot, key_));
  EXPECT_TRUE(Registry::CreateKey(kRoot, key_)) << "an existing key opens";
  EXPECT_TRUE(Registry::KeyExists(kRoot, "Software\\PelorinTest")) << "parents are created";

  TypedValue value = std::string("untouched");
  EXPECT_FALSE(Registry::ValueExists(kRoot, key_, "Size"));
  EXPECT_EQ(Registry::LastRegistryError(), ApiErrorText(2));
  EXPECT_FALSE(Registry::GetValue(kRoot, key_, "Size", Registry::kRegDword, value));
  EXPECT_EQ(Registry::LastRegistryError(), ApiErrorText(2));
  EXPECT_EQ(value, TypedValue(std::string("untouched")));

  ASSERT_TRUE(Set("Size", Registry::kRegDword, std::int32_t{7}));
  EXPECT_TRUE(Registry::ValueExists(kRoot, key_, "Size"));
  EXPECT_EQ(Registry::LastRegistryError(), ApiErrorText(2)) << "success keeps the last reason";
}

TEST_F(RegistryTest, TextStoredWithItsTerminatorAndReadWithout) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, key_));
  ASSERT_TRUE(Set("Empty", Registry::kRegSz, std::string()));
  std::uint32_t type = 0;
  EXPECT_EQ(ReadRaw("Empty", type), Bytes{0});
  TypedValue value = std::int32_t{3};
  ASSERT_TRUE(Registry::GetValue(kRoot, key_, "Empty", Registry::kRegSz, value));
  EXPECT_EQ(value, TypedValue(std::string()));

  StoreRaw("NoTerminator", Registry::kRegSz, Bytes{});
  value = std::int32_t{3};
  ASSERT_TRUE(Registry::GetValue(kRoot, key_, "NoTerminator", Registry::kRegSz, value));
  EXPECT_EQ(value, TypedValue(std::string()));

  const std::string longText(5000, 'x');  // far beyond the probe's buffer
  ASSERT_TRUE(Set("Long", Registry::kRegSz, longText));
  ASSERT_TRUE(Registry::GetValue(kRoot, key_, "Long", Registry::kRegSz, value));
  EXPECT_EQ(value, TypedValue(longText));

  ASSERT_TRUE(Set("Number", Registry::kRegSz, std::int32_t{-42}));
  ASSERT_TRUE(Registry::GetValue(kRoot, key_, "Number", Registry::kRegSz, value));
  EXPECT_EQ(value, TypedValue(std::string("-42")));

  StoreRaw("Multi", Registry::kRegMultiSz, Bytes{'a', 0, 'b', 0, 0});
  ASSERT_TRUE(Registry::GetValue(kRoot, key_, "Multi", Registry::kRegMultiSz, value));
  EXPECT_EQ(value, TypedValue(std::string("a\0b\0", 4)));
}

TEST_F(RegistryTest, PercentRuleChoosesExpandableText) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, key_));
  struct Case {
    const char* text;
    std::uint32_t written;
  };
  for (const Case& c : {Case{"c:\\a%b%c", 2}, Case{"50%", 1}, Case{"%%x", 1}, Case{"%%x%", 2},
                        Case{"%%", 1}, Case{"no percent", 1}}) {
    std::uint32_t type = Registry::kRegSz;
    ASSERT_TRUE(Registry::SetValue(kRoot, key_, "Text", type, std::string(c.text)));
    EXPECT_EQ(type, c.written) << c.text;
    std::uint32_t stored = 0;
    ReadRaw("Text", stored);
    EXPECT_EQ(stored, c.written) << c.text;
  }
  std::uint32_t type = Registry::kRegExpandSz;
  ASSERT_TRUE(Registry::SetValue(kRoot, key_, "Plain", type, std::string("50%")));
  EXPECT_EQ(type, Registry::kRegSz) << "a requested 2 without a reference is written as 1";

  ASSERT_TRUE(Set("Dir", Registry::kRegSz, std::string("c:\\a%b%c")));
  TypedValue value = std::string("before");
  EXPECT_FALSE(Registry::GetValue(kRoot, key_, "Dir", Registry::kRegSz, value));
  EXPECT_EQ(Registry::LastRegistryError(), TypeMessage(2, 1));
  EXPECT_EQ(value, TypedValue(std::string("before")));
}

TEST_F(RegistryTest, ExpandableTextReadsWithReferencesFilledIn) {
  test::ScopedEnv home("PELORIN_TEST_HOME", "/home/someone");
  test::ScopedEnv unset("PELORIN_TEST_UNSET", nullptr);
  ASSERT_TRUE(Registry::CreateKey(kRoot, key_));
  ASSERT_TRUE(Set("Path", Registry::kRegExpandSz, std::string("%PELORIN_TEST_HOME%\\x")));
  TypedValue value;
  ASSERT_TRUE(Registry::GetValue(kRoot, key_, "Path", Registry::kRegExpandSz, value));
  EXPECT_EQ(value, TypedValue(std::string("/home/someone\\x")));

  EXPECT_EQ(Registry::ExpandEnvironment("%PELORIN_TEST_UNSET%\\y"), "%PELORIN_TEST_UNSET%\\y");
  if (!test::kWindows) {  // on Windows the system's own expansion is the reference
    EXPECT_EQ(Registry::ExpandEnvironment("50% of %PELORIN_TEST_HOME%"), "50% of /home/someone");
    EXPECT_EQ(Registry::ExpandEnvironment("%%PELORIN_TEST_HOME%%"), "%/home/someone%");
    EXPECT_EQ(Registry::ExpandEnvironment("%PELORIN_TEST_UNSET%PELORIN_TEST_HOME%"),
              "%PELORIN_TEST_UNSET/home/someone")
        << "the closing sign of an unknown reference may open the next one";
  }
  EXPECT_EQ(Registry::ExpandEnvironment("%PELORIN_TEST_HOME"), "%PELORIN_TEST_HOME");
  EXPECT_EQ(Registry::ExpandEnvironment(""), "");
}

TEST_F(RegistryTest, IntegersAreLittleEndianDwords) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, key_));
  std::uint32_t type = Registry::kRegDword;
  ASSERT_TRUE(Registry::SetValue(kRoot, key_, "Short", type, std::int16_t{-1}));
  std::uint32_t stored = 0;
  EXPECT_EQ(ReadRaw("Short", stored), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  EXPECT_EQ(stored, Registry::kRegDword);
  TypedValue value;
  ASSERT_TRUE(Registry::GetValue(kRoot, key_, "Short", Registry::kRegDword, value));
  EXPECT_EQ(value, TypedValue(std::int32_t{-1}));

  type = Registry::kRegDwordBigEndian;
  ASSERT_TRUE(Registry::SetValue(kRoot, key_, "Big", type, std::int32_t{0x01020304}));
  EXPECT_EQ(type, Registry::kRegDword) << "a requested 5 is stored as 4";
  EXPECT_EQ(ReadRaw("Big", stored), (Bytes{4, 3, 2, 1}));

  StoreRaw("Foreign", Registry::kRegDwordBigEndian, Bytes{0, 0, 1, 0});
  ASSERT_TRUE(Registry::GetValue(kRoot, key_, "Foreign", Registry::kRegDwordBigEndian, value));
  EXPECT_EQ(value, TypedValue(std::int32_t{256}));
  EXPECT_EQ(Registry::SwapByteOrder(0x11223344u), 0x44332211u);

  // A dword longer than four bytes cannot be read into one integer: a failure, not an overrun.
  StoreRaw("Long", Registry::kRegDword, Bytes{1, 2, 3, 4, 5, 6, 7, 8});
  value = std::string("kept");
  EXPECT_FALSE(Registry::GetValue(kRoot, key_, "Long", Registry::kRegSz, value));
  const std::string mismatch = Registry::LastRegistryError();
  EXPECT_FALSE(Registry::GetValue(kRoot, key_, "Long", Registry::kRegDword, value));
  EXPECT_EQ(value, TypedValue(std::string("kept")));
  // The store's "more data" code has no system text on every platform: the reason is still set.
  EXPECT_NE(Registry::LastRegistryError(), mismatch);
  EXPECT_FALSE(Registry::LastRegistryError().empty());
}

TEST_F(RegistryTest, TypeMismatchLeavesTheCallersVariable) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, key_));
  ASSERT_TRUE(Set("Name", Registry::kRegSz, std::string("Courier New")));
  TypedValue value = std::int32_t{7};
  EXPECT_FALSE(Registry::GetValue(kRoot, key_, "Name", Registry::kRegDword, value));
  EXPECT_EQ(Registry::LastRegistryError(), TypeMessage(1, 4));
  EXPECT_EQ(value, TypedValue(std::int32_t{7}));
}

TEST_F(RegistryTest, BinaryRoundTripsEveryByte) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, key_));
  Bytes all;
  for (int i = 0; i < 256; ++i) {
    all.push_back(static_cast<std::uint8_t>(i));
  }
  all.push_back(0);
  for (const Bytes& data : {all, Bytes{}, Bytes{0}}) {
    ASSERT_TRUE(Set("Blob", Registry::kRegBinary, data));
    TypedValue value;
    ASSERT_TRUE(Registry::GetValue(kRoot, key_, "Blob", Registry::kRegBinary, value));
    EXPECT_EQ(value, TypedValue(data));
  }
  StoreRaw("Odd", 42, Bytes{9, 8});
  TypedValue value;
  ASSERT_TRUE(Registry::GetValue(kRoot, key_, "Odd", 42, value));
  EXPECT_EQ(value, TypedValue(Bytes{9, 8}));
}

TEST_F(RegistryTest, KeysAndValueNamesIgnoreCase) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, key_));
  std::string shouted = key_;
  for (char& c : shouted) {
    c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  EXPECT_TRUE(Registry::KeyExists(kRoot, shouted));
  ASSERT_TRUE(Set("FontName", Registry::kRegSz, std::string("one")));
  std::uint32_t type = Registry::kRegSz;
  ASSERT_TRUE(Registry::SetValue(kRoot, shouted, "FONTNAME", type, std::string("two")));
  TypedValue value;
  ASSERT_TRUE(Registry::GetValue(kRoot, key_, "fontname", Registry::kRegSz, value));
  EXPECT_EQ(value, TypedValue(std::string("two"))) << "one value, overwritten";
}

TEST_F(RegistryTest, WritesRejectTypesAndValuesTheyCannotStore) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, key_));
  for (std::uint32_t code : {0u, 6u, 7u, 8u, 0xFFFFFFFFu}) {
    std::uint32_t type = code;
    EXPECT_FALSE(Registry::SetValue(kRoot, key_, "V", type, Bytes{1}));
    EXPECT_EQ(Registry::LastRegistryError(),
              "The value type is not compatible with the available registry types.");
    EXPECT_EQ(type, code);
  }
  const std::pair<std::uint32_t, TypedValue> inconsistent[] = {
      {Registry::kRegBinary, std::string("text")},
      {Registry::kRegBinary, std::int32_t{1}},
      {Registry::kRegDword, std::string("12")},
      {Registry::kRegDwordBigEndian, Bytes{1, 2, 3, 4}}};
  for (const auto& [code, value] : inconsistent) {
    std::uint32_t type = code;
    EXPECT_FALSE(Registry::SetValue(kRoot, key_, "V", type, value));
    EXPECT_EQ(Registry::LastRegistryError(), "The value type is not consistent.");
  }
  EXPECT_FALSE(Registry::ValueExists(kRoot, key_, "V")) << "nothing was written";
}

TEST_F(RegistryTest, KeyOpenedForReadingRefusesWrites) {
  ASSERT_TRUE(Registry::CreateKey(kRoot, key_));
  regapi::Key* key = nullptr;
  ASSERT_EQ(regapi::OpenKey(kRoot, key_, regapi::kQueryValue, key), 0u);
  const std::uint8_t byte = 1;
  EXPECT_EQ(regapi::SetValue(key, "V", Registry::kRegBinary, &byte, 1), regapi::kAccessDenied);
  regapi::CloseKey(key);
}

}  // namespace
}  // namespace pelorin
