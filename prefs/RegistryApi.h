// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The raw per-user key-value store under the typed Registry layer, shaped like the Win32
// registry calls so that the Windows file is a thin shim over Reg*W and the POSIX file keeps the
// same semantics in a SQLite file ($XDG_CONFIG_HOME/pelorin/registry.db).
// Text values are UTF-8 followed by one zero byte, and sizes count those bytes.
// Key paths use "\" between components; keys and value names compare without regard to case.
// Every call returns a system error code: 0 success, 2 missing key or value, 5 access denied,
// 234 (more data) when a value does not fit the caller's buffer, and so on.
// Nothing here uses Qt.

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/SysError.h"

namespace pelorin::regapi {

using Root = std::uint32_t;
inline constexpr Root kCurrentUser = 0x80000001u;

inline constexpr std::uint32_t kQueryValue = 0x1;  // KEY_QUERY_VALUE
inline constexpr std::uint32_t kSetValue = 0x2;    // KEY_SET_VALUE
inline constexpr std::uint32_t kCreateAccess = 0x3F;

inline constexpr SysError kFileNotFound = 2;
// The registry's own code on every platform, so that callers see the same codes everywhere. On
// POSIX its text is errno 5's ("Input/output error"); only the code is a contract.
inline constexpr SysError kAccessDenied = 5;
inline constexpr SysError kMoreData = 234;
// The store would not open a file or folder it must not use (a link, another user's, one that
// cannot be made private); RefusalReason() says which and why. Bit 29 marks a code as the
// program's own on Windows, where no system code has it.
inline constexpr SysError kStoreRefused = 0x20000001;

// An open key; valid from a successful OpenKey/CreateKey until CloseKey. A failed open leaves
// the caller's pointer untouched.
struct Key;

SysError OpenKey(Root root, const std::string& path, std::uint32_t access, Key*& key);
// Opens the key, creating it and every missing parent first.
SysError CreateKey(Root root, const std::string& path, Key*& key);
// As RegQueryValueEx: type receives the stored type; size is the buffer size on entry and the
// stored size on return; data may be null. A value larger than the buffer gives 234.
SysError QueryValue(Key* key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size);
SysError SetValue(Key* key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size);
void CloseKey(Key* key);

// Several calls on one key as one: between BeginGroup and EndGroup every value read comes from
// one moment of the store, and the values written are kept together (EndGroup with commit) or
// not at all (without, or when the key is closed first). Windows' registry has no such group:
// there each value is read and kept as its own call comes, and these two do nothing.
SysError BeginGroup(Key* key);
SysError EndGroup(Key* key, bool commit);

// How long a call may wait for a store another process holds: until the deadline when one is
// set (every call's waits together), otherwise up to five seconds for each wait. A call that
// would wait past it fails at once. Returns the deadline it replaces. Windows' registry makes
// no caller wait for another process; the deadline changes nothing there.
using Deadline = std::optional<std::chrono::steady_clock::time_point>;
Deadline SetDeadline(Deadline deadline);

// Why the store last answered kStoreRefused: the file or folder and what is wrong with it.
std::string RefusalReason();

// What the store did or refused that its user should be told, in words for the user: a file
// that could not be used moved aside (and where to), a store refused (and why). Each is told
// once per process; empty when there is nothing new. Taking it empties it. Never on Windows.
std::string TakeStoreNotice();

// Expands %NAME% references from the environment; an unknown reference stays as written.
std::string ExpandEnvironmentStrings(const std::string& text);

}  // namespace pelorin::regapi
