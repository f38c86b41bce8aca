// SPDX-License-Identifier: GPL-3.0-or-later
#include <windows.h>
// windows.h maps this name to its A/W form; ours is a function of its own.
#undef ExpandEnvironmentStrings

#include <cstring>
#include <utility>
#include <vector>

#include "platform/Utf16_win32.h"
#include "prefs/RegistryApi.h"

namespace pelorin::regapi {

// The registry keeps text in UTF-16; this API speaks UTF-8 followed by one NUL, and every size
// it reports for text is a size in those UTF-8 bytes.
struct Key {
  HKEY handle;
};

namespace {

// Predefined roots are 32-bit values sign-extended into a handle (0x80000001 -> HKCU).
HKEY RootHandle(Root root) {
  return reinterpret_cast<HKEY>(
      static_cast<ULONG_PTR>(static_cast<LONG_PTR>(static_cast<LONG>(root))));
}

bool IsText(DWORD type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The stored units without their last NUL, as UTF-8, followed by one NUL. A value stored without
// a terminator (even an empty one) gets one here, so a reader always finds it.
std::string TextFromStored(const std::vector<BYTE>& stored) {
  std::wstring units(stored.size() / sizeof(wchar_t), L'\0');
  std::memcpy(units.data(), stored.data(), units.size() * sizeof(wchar_t));
  if (!units.empty() && units.back() == L'\0') {
    units.pop_back();
  }
  std::string text = win::Narrow(units);
  text.push_back('\0');
  return text;
}

// Reads the whole stored value; the loop covers a value that grows between the calls.
LSTATUS ReadStored(HKEY key, const std::wstring& name, DWORD& type, std::vector<BYTE>& data) {
  DWORD size = 0;
  LSTATUS rc = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, nullptr, &size);
  while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
    data.resize(size);
    rc = ::RegQueryValueExW(key, name.c_str(), nullptr, &type, data.data(), &size);
    if (rc == ERROR_SUCCESS) {
      data.resize(size);
      return rc;
    }
  }
  return rc;
}

}  // namespace

SysError OpenKey(Root root, const std::string& path, std::uint32_t access, Key*& key) {
  HKEY h = nullptr;
  const LSTATUS rc = ::RegOpenKeyExW(RootHandle(root), win::Widen(path).c_str(), 0, access, &h);
  if (rc != ERROR_SUCCESS) {
    return static_cast<SysError>(rc);
  }
  key = new Key{h};
  return 0;
}

SysError CreateKey(Root root, const std::string& path, Key*& key) {
  HKEY h = nullptr;
  SECURITY_ATTRIBUTES sa{};  // all three fields zero
  DWORD disposition = 0;
  wchar_t noClass[] = L"";
  const LSTATUS rc =
      ::RegCreateKeyExW(RootHandle(root), win::Widen(path).c_str(), 0, noClass,
                        REG_OPTION_NON_VOLATILE, kCreateAccess, &sa, &h, &disposition);
  if (rc != ERROR_SUCCESS) {
    return static_cast<SysError>(rc);
  }
  key = new Key{h};
  return 0;
}

SysError QueryValue(Key* key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) {
  if (key == nullptr) {
    return ERROR_INVALID_HANDLE;
  }
  const std::wstring wname = win::Widen(name);
  DWORD storedType = 0;
  DWORD storedSize = 0;
  LSTATUS rc =
      ::RegQueryValueExW(key->handle, wname.c_str(), nullptr, &storedType, nullptr, &storedSize);
  if (rc != ERROR_SUCCESS) {
    return static_cast<SysError>(rc);
  }
  if (!IsText(storedType)) {
    // Bytes and numbers pass through as they are stored.
    DWORD t = 0;
    DWORD n = size ? *size : 0;
    rc = ::RegQueryValueExW(key->handle, wname.c_str(), nullptr, &t, data, size ? &n : nullptr);
    if (type) {
      *type = t;
    }
    if (size) {
      *size = n;
    }
    return static_cast<SysError>(rc);
  }
  std::vector<BYTE> stored;
  rc = ReadStored(key->handle, wname, storedType, stored);
  if (rc != ERROR_SUCCESS) {
    return static_cast<SysError>(rc);
  }
  const std::string text = TextFromStored(stored);
  const auto needed = static_cast<std::uint32_t>(text.size());
  if (type) {
    *type = storedType;
  }
  if (data == nullptr) {
    if (size) {
      *size = needed;
    }
    return 0;
  }
  const std::uint32_t room = size ? *size : 0;
  if (size) {
    *size = needed;
  }
  if (room < needed) {
    return kMoreData;
  }
  std::memcpy(data, text.data(), needed);
  return 0;
}

SysError SetValue(Key* key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) {
  if (key == nullptr) {
    return ERROR_INVALID_HANDLE;
  }
  const std::wstring wname = win::Widen(name);
  if (!IsText(type)) {
    return static_cast<SysError>(::RegSetValueExW(key->handle, wname.c_str(), 0, type, data, size));
  }
  std::string_view text(reinterpret_cast<const char*>(data), data ? size : 0);
  if (!text.empty() && text.back() == '\0') {
    text.remove_suffix(1);
  }
  std::wstring units = win::Widen(text);
  units.push_back(L'\0');
  return static_cast<SysError>(::RegSetValueExW(
      key->handle, wname.c_str(), 0, type, reinterpret_cast<const BYTE*>(units.data()),
      static_cast<DWORD>(units.size() * sizeof(wchar_t))));
}

// The registry keeps each value as its own call comes: a group is the one open key, no more.
SysError BeginGroup(Key* key) {
  return key != nullptr ? 0 : ERROR_INVALID_HANDLE;
}

SysError EndGroup(Key* key, bool /*commit*/) {
  return key != nullptr ? 0 : ERROR_INVALID_HANDLE;
}

// No registry call waits for another process; the deadline is only kept.
Deadline SetDeadline(Deadline deadline) {
  static Deadline current;
  return std::exchange(current, deadline);
}

// The registry opens no files of its own here: nothing is refused, moved or told.
std::string RefusalReason() {
  return std::string();
}

std::string TakeStoreNotice() {
  return std::string();
}

void CloseKey(Key* key) {
  if (key != nullptr) {
    ::RegCloseKey(key->handle);
    delete key;
  }
}

std::string ExpandEnvironmentStrings(const std::string& text) {
  const std::wstring source = win::Widen(text);
  std::wstring buf(source.size() + 1, L'\0');
  for (;;) {
    const DWORD n =
        ::ExpandEnvironmentStringsW(source.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) {
      return text;  // cannot expand: the text as written
    }
    if (n <= buf.size()) {
      buf.resize(n - 1);  // n counts the terminator
      return win::Narrow(buf);
    }
    buf.resize(n);
  }
}

}  // namespace pelorin::regapi
