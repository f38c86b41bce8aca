// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Typed access to the per-user key-value store (the registry on Windows, a SQLite file
// elsewhere). Every operation opens the key, does its one thing and closes it again: no handle
// outlives a call. Failures return false and leave the reason in LastRegistryError().
// Nothing here uses Qt; the platform part is regapi (prefs/RegistryApi.h).

#include <chrono>
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

// One of several values read or written together: its name, its type (a write's receives the
// code written) and the value; read tells whether a read delivered it. A read asWritten of a
// text (code 1 or 2) takes it stored as either and gives it as it was written, without
// expanding: what a write of code 1 stored as code 2 by the percent rule reads back the same.
struct NamedValue {
  std::string name;
  std::uint32_t type = 0;
  TypedValue value = {};
  bool read = false;
  bool asWritten = false;
};

// Reads several values under one key, each as GetValue would, all from one moment of the store
// (on Windows each as its read comes). A value not read keeps its value; LastRegistryError
// gives the reason for the last one missed. True when every one was read.
bool GetValues(regapi::Root root, const std::string& path, std::vector<NamedValue>& values);

// Writes several values under one key, each as SetValue would, kept together: all of them, or
// none when any cannot be written, and a reader sees all or none. When one of them cannot be
// stored as its type nothing is written, on every platform. Windows' registry keeps each value
// as it is written under the one open key: there a failure part way keeps the earlier ones,
// and a reader in between sees some of them.
bool SetValues(regapi::Root root, const std::string& path, std::vector<NamedValue>& values);

// While it lives, operations wait for a store another process holds only until budget has
// passed since it was made, all of them together; past that, an operation that would wait
// fails at once. Without one, each wait lasts up to five seconds.
class WaitBudget {
 public:
  explicit WaitBudget(std::chrono::milliseconds budget);
  ~WaitBudget();
  WaitBudget(const WaitBudget&) = delete;
  WaitBudget& operator=(const WaitBudget&) = delete;

 private:
  regapi::Deadline previous_;
};

// What the store did or refused that its user should be told, once: a file that could not be
// used moved aside (and where), a store refused (and why). Empty when there is nothing new.
std::string TakeStoreNotice();

std::string ExpandEnvironment(const std::string& text);
std::uint32_t SwapByteOrder(std::uint32_t value);

// The reason for the last failure; empty until the first one, untouched by successes.
const std::string& LastRegistryError();

}  // namespace Registry
}  // namespace pelorin
