// SPDX-License-Identifier: GPL-3.0-or-later
#include "prefs/Registry.h"

#include <type_traits>
#include <utility>

#include "platform/WinAPIError.h"

namespace pelorin::Registry {

namespace {

std::string g_lastError;

void FailWithCode(SysError code) {
  g_lastError = code == regapi::kStoreRefused ? regapi::RefusalReason() : ApiErrorText(code);
  // Some codes have no system text (234, "more data", on POSIX): a failure still says why.
  if (g_lastError.empty()) {
    g_lastError = "System error " + std::to_string(code);
  }
}
void FailWithText(std::string text) {
  g_lastError = std::move(text);
}

// Owns one open key for the length of one operation and closes it on every path.
class OpenedKey {
 public:
  OpenedKey() = default;
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;
  ~OpenedKey() {
    if (key_ != nullptr) {
      regapi::CloseKey(key_);
    }
  }

  SysError Open(regapi::Root root, const std::string& path, std::uint32_t access) {
    return Keep(regapi::OpenKey(root, path, access, key_));
  }
  SysError Create(regapi::Root root, const std::string& path) {
    return Keep(regapi::CreateKey(root, path, key_));
  }
  regapi::Key* get() const { return key_; }

 private:
  SysError Keep(SysError rc) {
    if (rc != 0) {
      key_ = nullptr;  // a failed open hands back no handle
    }
    return rc;
  }
  regapi::Key* key_ = nullptr;
};

std::int32_t LittleEndianInt(const std::uint8_t* bytes) {
  return static_cast<std::int32_t>(
      static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
      static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24);
}

std::string AsText(const TypedValue& value) {
  return std::visit(
      [](const auto& v) -> std::string {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return v;
        } else if constexpr (std::is_same_v<T, std::vector<std::uint8_t>>) {
          return std::string(v.begin(), v.end());
        } else {
          return std::to_string(v);
        }
      },
      value);
}

// Text holding "%", at least one character, then another "%" is an environment reference.
std::uint32_t TextType(const std::string& text) {
  const auto first = text.find('%');
  if (first != std::string::npos && text.find('%', first + 2) != std::string::npos) {
    return kRegExpandSz;
  }
  return kRegSz;
}

std::string TypeMismatch(std::uint32_t stored, std::uint32_t requested) {
  return "Registry data type was " + std::to_string(stored) + "instead of the requested " +
         std::to_string(requested);
}

bool IsText(std::uint32_t type) {
  return type == kRegSz || type == kRegExpandSz;
}

TypedValue Decode(std::uint32_t type, const std::vector<std::uint8_t>& data, std::uint32_t size,
                  bool asWritten) {
  switch (type) {
    case kRegSz:
    case kRegMultiSz:
    case kRegExpandSz: {
      // The stored bytes less the terminator; a value stored without one (size 0) is empty.
      std::string text(data.begin(), data.begin() + (size > 0 ? size - 1 : 0));
      if (type == kRegExpandSz && !asWritten) {
        return ExpandEnvironment(text);
      }
      return text;
    }
    case kRegDword:
      return LittleEndianInt(data.data());
    case kRegDwordBigEndian:
      return static_cast<std::int32_t>(
          SwapByteOrder(static_cast<std::uint32_t>(LittleEndianInt(data.data()))));
    default:
      return std::vector<std::uint8_t>(data.begin(), data.begin() + size);
  }
}

// GetValue on a key already open; asWritten as NamedValue has it.
bool ReadFromKey(regapi::Key* key, const std::string& name, std::uint32_t type, TypedValue& value,
                 bool asWritten = false) {
  const auto wanted = [&](std::uint32_t stored) {
    return stored == type || (asWritten && IsText(type) && IsText(stored));
  };
  // Another window may rewrite the value between the probe and the read: a value that grew in
  // between is probed again, a few times, rather than reported as a failure.
  constexpr int kAttempts = 3;
  for (int attempt = 1;; ++attempt) {
    std::uint8_t probe[4] = {};
    std::uint32_t stored = 0;
    std::uint32_t size = 0;
    SysError rc = regapi::QueryValue(key, name, &stored, probe, &size);
    if (rc != 0 && rc != regapi::kMoreData) {
      FailWithCode(rc);
      return false;
    }
    if (!wanted(stored)) {
      FailWithText(TypeMismatch(stored, type));
      return false;
    }
    // Integers are read into exactly four bytes whatever the stored size claims, so a longer
    // value cannot overrun the integer; it fails with "more data" instead.
    const bool integer = type == kRegDword || type == kRegDwordBigEndian;
    std::uint32_t capacity = integer ? 4 : size;
    std::vector<std::uint8_t> data(capacity > 0 ? capacity : 1, 0);
    std::uint32_t readType = 0;
    rc = regapi::QueryValue(key, name, &readType, data.data(), &capacity);
    const bool changed = rc == regapi::kMoreData || (rc == 0 && readType != stored);
    if (changed && !integer && attempt < kAttempts) {
      continue;
    }
    if (rc != 0) {
      FailWithCode(rc);
      return false;
    }
    if (!wanted(readType)) {
      FailWithText(TypeMismatch(readType, type));
      return false;
    }
    value = Decode(readType, data, capacity, asWritten);
    return true;
  }
}

// The bytes SetValue writes for the value as the type asked for, which becomes the type
// written; false, with the reason, when the value cannot be stored so.
bool Encode(std::uint32_t& type, const TypedValue& value, std::vector<std::uint8_t>& data) {
  switch (type) {
    case kRegSz:
    case kRegExpandSz: {
      const std::string text = AsText(value);
      type = TextType(text);
      data.assign(text.begin(), text.end());
      data.push_back(0);
      break;
    }
    case kRegBinary:
      if (!std::holds_alternative<std::vector<std::uint8_t>>(value)) {
        FailWithText("The value type is not consistent.");
        return false;
      }
      data = std::get<std::vector<std::uint8_t>>(value);
      break;
    case kRegDword:
    case kRegDwordBigEndian: {
      std::int32_t number = 0;
      if (const auto* n32 = std::get_if<std::int32_t>(&value)) {
        number = *n32;
      } else if (const auto* n16 = std::get_if<std::int16_t>(&value)) {
        number = *n16;
      } else {
        FailWithText("The value type is not consistent.");
        return false;
      }
      type = kRegDword;
      const auto bits = static_cast<std::uint32_t>(number);
      data = {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
              static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
      break;
    }
    default:
      FailWithText("The value type is not compatible with the available registry types.");
      return false;
  }
  return true;
}

bool WriteToKey(regapi::Key* key, const std::string& name, std::uint32_t type,
                const std::vector<std::uint8_t>& data) {
  const SysError rc =
      regapi::SetValue(key, name, type, data.data(), static_cast<std::uint32_t>(data.size()));
  if (rc != 0) {
    FailWithCode(rc);
    return false;
  }
  return true;
}

}  // namespace

bool KeyExists(regapi::Root root, const std::string& path) {
  OpenedKey key;
  if (SysError rc = key.Open(root, path, regapi::kQueryValue)) {
    FailWithCode(rc);
    return false;
  }
  return true;
}

bool CreateKey(regapi::Root root, const std::string& path) {
  OpenedKey key;
  if (SysError rc = key.Create(root, path)) {
    FailWithCode(rc);
    return false;
  }
  return true;
}

bool ValueExists(regapi::Root root, const std::string& path, const std::string& name) {
  OpenedKey key;
  if (SysError rc = key.Open(root, path, regapi::kQueryValue)) {
    FailWithCode(rc);
    return false;
  }
  std::uint8_t probe[4] = {};
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  const SysError rc = regapi::QueryValue(key.get(), name, &type, probe, &size);
  if (rc != 0 && rc != regapi::kMoreData) {
    FailWithCode(rc);
    return false;
  }
  return true;
}

bool GetValue(regapi::Root root, const std::string& path, const std::string& name,
              std::uint32_t type, TypedValue& value) {
  OpenedKey key;
  if (SysError rc = key.Open(root, path, regapi::kQueryValue)) {
    FailWithCode(rc);
    return false;
  }
  return ReadFromKey(key.get(), name, type, value);
}

bool SetValue(regapi::Root root, const std::string& path, const std::string& name,
              std::uint32_t& type, const TypedValue& value) {
  OpenedKey key;
  if (SysError rc = key.Open(root, path, regapi::kSetValue)) {
    FailWithCode(rc);
    return false;
  }
  std::vector<std::uint8_t> data;
  return Encode(type, value, data) && WriteToKey(key.get(), name, type, data);
}

bool GetValues(regapi::Root root, const std::string& path, std::vector<NamedValue>& values) {
  for (NamedValue& v : values) {
    v.read = false;
  }
  OpenedKey key;
  if (SysError rc = key.Open(root, path, regapi::kQueryValue)) {
    FailWithCode(rc);
    return false;
  }
  const bool grouped = regapi::BeginGroup(key.get()) == 0;
  bool all = true;
  for (NamedValue& v : values) {
    v.read = ReadFromKey(key.get(), v.name, v.type, v.value, v.asWritten);
    all = all && v.read;
  }
  if (grouped) {
    regapi::EndGroup(key.get(), true);
  }
  return all;
}

bool SetValues(regapi::Root root, const std::string& path, std::vector<NamedValue>& values) {
  OpenedKey key;
  if (SysError rc = key.Open(root, path, regapi::kSetValue)) {
    FailWithCode(rc);
    return false;
  }
  std::vector<std::vector<std::uint8_t>> data(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!Encode(values[i].type, values[i].value, data[i])) {
      return false;
    }
  }
  if (SysError rc = regapi::BeginGroup(key.get())) {
    FailWithCode(rc);
    return false;
  }
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!WriteToKey(key.get(), values[i].name, values[i].type, data[i])) {
      regapi::EndGroup(key.get(), false);
      return false;
    }
  }
  if (SysError rc = regapi::EndGroup(key.get(), true)) {
    FailWithCode(rc);
    return false;
  }
  return true;
}

WaitBudget::WaitBudget(std::chrono::milliseconds budget) {
  const regapi::Deadline mine = std::chrono::steady_clock::now() + budget;
  previous_ = regapi::SetDeadline(mine);
  if (previous_ && *previous_ < *mine) {
    regapi::SetDeadline(previous_);  // an enclosing budget ends sooner
  }
}

WaitBudget::~WaitBudget() {
  regapi::SetDeadline(previous_);
}

std::string TakeStoreNotice() {
  return regapi::TakeStoreNotice();
}

std::string ExpandEnvironment(const std::string& text) {
  return regapi::ExpandEnvironmentStrings(text);
}

std::uint32_t SwapByteOrder(std::uint32_t value) {
  return (value & 0xFFu) << 24 | (value & 0xFF00u) << 8 | (value >> 8 & 0xFF00u) | value >> 24;
}

const std::string& LastRegistryError() {
  return g_lastError;
}

}  // namespace pelorin::Registry
