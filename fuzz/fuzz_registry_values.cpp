// The typed store layer reading values whose stored bytes and type are arbitrary.
// Input: the stored type, one more type to request, which value name to use, then the bytes.
// Each value is written raw, then read back through Registry::GetValue with every type.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <variant>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "prefs/Registry.h"
#include "prefs/RegistryApi.h"

namespace {

namespace Registry = pelorin::Registry;
namespace regapi = pelorin::regapi;

const char kKey[] = "Software\\Pelorin\\Fuzz";
// Names differ only in case on purpose: the store must treat them as one value.
const char* const kNames[] = {"Value", "VALUE", "Other"};

std::string g_scratch;

void RemoveScratch() {
  std::error_code ignored;
  std::filesystem::remove_all(g_scratch, ignored);
}

// One scratch configuration folder per process: the user's own store is never touched.
void MakeScratchStore() {
  std::string pattern = std::filesystem::temp_directory_path() / "pelorin-fuzz.XXXXXX";
  if (::mkdtemp(pattern.data()) == nullptr) {
    std::perror("mkdtemp");
    std::abort();
  }
  g_scratch = pattern;
  std::atexit(RemoveScratch);
  ::setenv("XDG_CONFIG_HOME", g_scratch.c_str(), 1);
  FUZZ_CHECK(Registry::CreateKey(regapi::kCurrentUser, kKey));
}

std::int32_t LittleEndianPadded(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t v = 0;
  for (std::size_t k = 0; k < 4 && k < bytes.size(); ++k) {
    v |= static_cast<std::uint32_t>(bytes[k]) << (8 * k);
  }
  return static_cast<std::int32_t>(v);
}

void CheckRead(const char* name, std::uint32_t stored, const std::vector<std::uint8_t>& bytes,
               std::uint32_t requested) {
  const pelorin::TypedValue sentinel = std::int16_t{-7};
  pelorin::TypedValue value = sentinel;
  if (!Registry::GetValue(regapi::kCurrentUser, kKey, name, requested, value)) {
    FUZZ_CHECK(!Registry::LastRegistryError().empty());
    FUZZ_CHECK(value == sentinel);  // a failed read leaves the value alone
    return;
  }
  FUZZ_CHECK(requested == stored);
  switch (requested) {
    case Registry::kRegSz:
    case Registry::kRegMultiSz: {
      const auto* text = std::get_if<std::string>(&value);
      FUZZ_CHECK(text != nullptr);
      const std::size_t length = bytes.empty() ? 0 : bytes.size() - 1;
      FUZZ_CHECK(*text == std::string(bytes.begin(), bytes.begin() + length));
      break;
    }
    case Registry::kRegExpandSz:
      FUZZ_CHECK(std::holds_alternative<std::string>(value));
      break;
    case Registry::kRegDword: {
      const auto* number = std::get_if<std::int32_t>(&value);
      FUZZ_CHECK(number != nullptr && bytes.size() <= 4);
      FUZZ_CHECK(*number == LittleEndianPadded(bytes));
      break;
    }
    case Registry::kRegDwordBigEndian: {
      const auto* number = std::get_if<std::int32_t>(&value);
      FUZZ_CHECK(number != nullptr && bytes.size() <= 4);
      FUZZ_CHECK(static_cast<std::uint32_t>(*number) ==
                 Registry::SwapByteOrder(static_cast<std::uint32_t>(LittleEndianPadded(bytes))));
      break;
    }
    default: {
      const auto* raw = std::get_if<std::vector<std::uint8_t>>(&value);
      FUZZ_CHECK(raw != nullptr && *raw == bytes);
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  MakeScratchStore();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) {
    return 0;
  }
  const std::uint32_t stored = data[0];
  const std::uint32_t extraRequest = data[1];
  const char* name = kNames[data[2] % 3];
  const std::vector<std::uint8_t> bytes(data + 3, data + size);

  regapi::Key* key = nullptr;
  FUZZ_CHECK(regapi::OpenKey(regapi::kCurrentUser, kKey, regapi::kSetValue, key) == 0);
  const pelorin::SysError rc =
      regapi::SetValue(key, name, stored, bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  regapi::CloseKey(key);
  FUZZ_CHECK(rc == 0);

  FUZZ_CHECK(Registry::ValueExists(regapi::kCurrentUser, kKey, name));
  for (std::uint32_t requested : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 11u, extraRequest}) {
    CheckRead(name, stored, bytes, requested);
  }
  return 0;
}
