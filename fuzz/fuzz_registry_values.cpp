// SPDX-License-Identifier: GPL-3.0-or-later
// The typed store layer reading values whose stored bytes and type are arbitrary.
// Input: the stored type, one more type to request, which value name to use, then the bytes.
// Each value is written raw, then read back through Registry::GetValue with every type; the
// exact decoding of each type is test_registry's.

#include <stdlib.h>

#include <filesystem>

#include "fuzz/FuzzCheck.h"
#include "prefs/Registry.h"
#include "prefs/RegistryApi.h"

using namespace pelorin;

static const char kKey[] = "Software\\Pelorin\\Fuzz";
static std::string g_scratch;
static std::error_code g_ignored;

// One scratch configuration folder per process: the user's own store is never touched.
extern "C" int LLVMFuzzerInitialize(int* /*argc*/, char*** /*argv*/) {
  g_scratch = std::filesystem::temp_directory_path() / "pelorin-fuzz.XXXXXX";
  FUZZ_CHECK(::mkdtemp(g_scratch.data()) != nullptr);
  std::atexit([] { std::filesystem::remove_all(g_scratch, g_ignored); });
  ::setenv("XDG_CONFIG_HOME", g_scratch.c_str(), 1);
  FUZZ_CHECK(Registry::CreateKey(regapi::kCurrentUser, kKey));
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3)
    return 0;
  // Names that differ only in case on purpose: the store must treat them as one value.
  const char* name = data[2] % 3 == 0 ? "Value" : data[2] % 3 == 1 ? "VALUE" : "Other";
  const std::vector<std::uint8_t> bytes(data + 3, data + size);
  regapi::Key* key = nullptr;
  FUZZ_CHECK(regapi::OpenKey(regapi::kCurrentUser, kKey, regapi::kSetValue, key) == 0);
  const SysError rc =
      regapi::SetValue(key, name, data[0], bytes.data(), static_cast<std::uint32_t>(bytes.size()));
  regapi::CloseKey(key);
  FUZZ_CHECK(rc == 0 && Registry::ValueExists(regapi::kCurrentUser, kKey, name));
  for (std::uint32_t requested :
       {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 11u, std::uint32_t{data[1]}}) {
    // Only the stored type reads, and bytes come back as stored; a failed read says why and
    // leaves the value alone.
    TypedValue value = std::int16_t{-7};
    if (Registry::GetValue(regapi::kCurrentUser, kKey, name, requested, value)) {
      FUZZ_CHECK(requested == data[0]);
      const auto* stored = std::get_if<std::vector<std::uint8_t>>(&value);
      FUZZ_CHECK(stored == nullptr || *stored == bytes);
    } else {
      FUZZ_CHECK(!Registry::LastRegistryError().empty() && value == TypedValue(std::int16_t{-7}));
    }
  }
  return 0;
}
