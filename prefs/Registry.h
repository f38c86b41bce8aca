// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Typed access to the per-user key-value store (the registry on Windows, a SQLite file
// elsewhere). Every operation opens the key, does its one thing and closes it again: no handle
// outlives a call. Failures return false and leave the reason in LastRegistryError().
// Nothing here uses Qt; the platform part is regapi (prefs/RegistryApi.h).

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "prefs/RegistryApi.h"

namespace pelorin {

// A value as read or written: text, 32-bit integer, 16-bit integer (write only) or bytes.
using TypedValue = std::variant<std::string, std::int32_t, std::int16_t, std::vector<std::uint8_t>>;

namespace Registry {

// The registry's own type codes.
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegExpandSz = 2;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr std::uint32_t kRegDwordBigEndian = 5;
inline constexpr std::uint32_t kRegMultiSz = 7;

bool KeyExists(regapi::Root root, const std::string& path);
// Creates the key and any missing parents; an existing key counts as success.
bool CreateKey(regapi::Root root, const std::string& path);
bool ValueExists(regapi::Root root, const std::string& path, const std::string& name);

// Reads the value if it is stored with exactly the requested type. Codes 1, 2 and 7 give text
// (2 with %NAME% references expanded), 4 a 32-bit integer, 5 a 32-bit integer with its bytes
// reversed, every other code the bytes. On failure value is left as it was.
bool GetValue(regapi::Root root, const std::string& path, const std::string& name,
              std::uint32_t type, TypedValue& value);

// Writes the value in an existing key. Codes 1 and 2 take any value as text and store code 2
// when the text holds "%", at least one character and another "%"; otherwise code 1. Code 3
// takes bytes only; 4 and 5 take integers only and store code 4. Others are rejected. type
// receives the code actually written.
bool SetValue(regapi::Root root, const std::string& path, const std::string& name,
              std::uint32_t& type, const TypedValue& value);

std::string ExpandEnvironment(const std::string& text);
std::uint32_t SwapByteOrder(std::uint32_t value);

// The reason for the last failure; empty until the first one, untouched by successes.
const std::string& LastRegistryError();

}  // namespace Registry
}  // namespace pelorin
