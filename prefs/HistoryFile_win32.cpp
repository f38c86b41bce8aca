// SPDX-License-Identifier: GPL-3.0-or-later
// The history file on Windows: %APPDATA%\Pelorin\history, locked with LockFileEx on
// history.lock. Links (reparse points) are not followed.

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>

#include "platform/Utf16_win32.h"
#include "prefs/HistoryFile.h"

namespace pelorin {

namespace {

constexpr char kFileName[] = "history";
constexpr char kLockName[] = "history.lock";

SysError LastError() {
  return static_cast<SysError>(::GetLastError());
}

class Handle {
 public:
  Handle() = default;
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) {
      ::CloseHandle(h_);
    }
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  void reset(HANDLE h) {
    if (h_ != INVALID_HANDLE_VALUE) {
      ::CloseHandle(h_);
    }
    h_ = h;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

std::wstring PathIn(const std::string& folder, const std::string& name) {
  return win::Widen(folder + "\\" + name);
}

// A plain file, opened without following a link; shared so that a replacement can take its
// name while a reader still has it open.
SysError Open(const std::wstring& path, DWORD access, DWORD disposition, Handle& out) {
  out.reset(::CreateFileW(
      path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
      disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  if (out.get() == INVALID_HANDLE_VALUE) {
    return LastError();
  }
  BY_HANDLE_FILE_INFORMATION info{};
  if (!::GetFileInformationByHandle(out.get(), &info)) {
    return LastError();
  }
  if (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) {
    out.reset(INVALID_HANDLE_VALUE);
    return ERROR_ACCESS_DENIED;
  }
  return 0;
}

SysError WriteAll(HANDLE h, std::string_view bytes) {
  while (!bytes.empty()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
    DWORD written = 0;
    if (!::WriteFile(h, bytes.data(), chunk, &written, nullptr)) {
      return LastError();
    }
    bytes.remove_prefix(written);
  }
  return 0;
}

// Creates each missing folder of the path.
SysError MakeFolders(const std::string& folder) {
  for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos != folder.size() && folder[pos] != '\\' && folder[pos] != '/') {
      continue;
    }
    ::CreateDirectoryW(win::Widen(folder.substr(0, pos)).c_str(), nullptr);  // may exist
  }
  const DWORD attributes = ::GetFileAttributesW(win::Widen(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    return LastError();
  }
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : static_cast<SysError>(ERROR_DIRECTORY);
}

// The file is there and carries the read-only attribute: the user made it read-only.
bool IsReadOnly(const std::wstring& path) {
  const DWORD attributes = ::GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0 &&
         (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

SysError SeekTo(HANDLE h, std::uint64_t offset) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  return ::SetFilePointerEx(h, at, nullptr, FILE_BEGIN) ? 0 : LastError();
}

class WinHistoryLock final : public HistoryLock {
 public:
  explicit WinHistoryLock(std::string folder) : folder_(std::move(folder)) {}
  ~WinHistoryLock() override {
    OVERLAPPED at{};
    ::UnlockFileEx(lock_.get(), 0, MAXDWORD, MAXDWORD, &at);
  }

  SysError TakeLock(Clock::time_point until) {
    if (const SysError rc =
            Open(PathIn(folder_, kLockName), GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, lock_)) {
      return rc;
    }
    for (int attempt = 0;; ++attempt) {
      OVERLAPPED at{};
      if (::LockFileEx(lock_.get(), LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0,
                       MAXDWORD, MAXDWORD, &at)) {
        readOnly_ = IsReadOnly(PathIn(folder_, kFileName));
        return 0;
      }
      const SysError rc = LastError();
      if (!IsBusy(rc) || !PauseBeforeRetry(attempt, until)) {
        return rc;
      }
    }
  }

  SysError ReadTail(std::size_t most, std::string& bytes, bool& whole) override {
    bytes.clear();
    whole = true;
    Handle file;
    if (const SysError rc = Open(PathIn(folder_, kFileName), GENERIC_READ, OPEN_EXISTING, file)) {
      return rc == ERROR_FILE_NOT_FOUND ? 0 : rc;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
      return LastError();
    }
    const auto total = static_cast<std::uint64_t>(size.QuadPart);
    const std::uint64_t from = total > most ? total - most : 0;
    whole = from == 0;
    if (const SysError rc = SeekTo(file.get(), from)) {
      return rc;
    }
    bytes.resize(static_cast<std::size_t>(total - from));
    std::size_t got = 0;
    while (got < bytes.size()) {
      DWORD n = 0;
      if (!::ReadFile(file.get(), bytes.data() + got, static_cast<DWORD>(bytes.size() - got), &n,
                      nullptr)) {
        return LastError();
      }
      if (n == 0) {
        break;  // cut shorter meanwhile
      }
      got += n;
    }
    bytes.resize(got);
    return 0;
  }

  bool ReadOnly() const override { return readOnly_; }

  SysError Append(std::string_view record) override {
    if (readOnly_) {
      return ERROR_ACCESS_DENIED;
    }
    Handle file;
    if (const SysError rc =
            Open(PathIn(folder_, kFileName), GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, file)) {
      return rc;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(file.get(), &size)) {
      return LastError();
    }
    const auto end = static_cast<std::uint64_t>(size.QuadPart);
    char last = '\n';
    DWORD n = 0;
    // The line a crash cut short stays a line of its own.
    const bool cutShort = end > 0 && SeekTo(file.get(), end - 1) == 0 &&
                          ::ReadFile(file.get(), &last, 1, &n, nullptr) && n == 1 && last != '\n';
    std::string bytes(cutShort ? 1 : 0, '\n');
    bytes.append(record);
    if (const SysError rc = SeekTo(file.get(), end)) {
      return rc;
    }
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    if (ok && written == bytes.size()) {
      return 0;
    }
    // A short write says no reason; a full disk is what stops one.
    const SysError rc = ok ? static_cast<SysError>(ERROR_DISK_FULL) : LastError();
    if (written > 0 && SeekTo(file.get(), end) == 0) {
      ::SetEndOfFile(file.get());
    }
    return rc;
  }

  SysError Replace(std::string_view bytes) override {
    if (readOnly_) {
      return ERROR_ACCESS_DENIED;
    }
    const std::wstring target = PathIn(folder_, kFileName);
    const std::wstring temp = PathIn(
        folder_, std::string(kFileName) + "." + std::to_string(::GetCurrentProcessId()) + ".tmp");
    SysError rc = 0;
    {
      Handle file;
      file.reset(::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
      if (file.get() == INVALID_HANDLE_VALUE) {
        return LastError();
      }
      rc = WriteAll(file.get(), bytes);
      if (rc == 0 && !::FlushFileBuffers(file.get())) {
        rc = LastError();
      }
    }
    if (rc == 0 && !::MoveFileExW(temp.c_str(), target.c_str(),
                                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      rc = LastError();
    }
    if (rc != 0) {
      ::DeleteFileW(temp.c_str());
    }
    return rc;
  }

 private:
  std::string folder_;
  Handle lock_;
  bool readOnly_ = false;
};

}  // namespace

std::string HistoryFile::DefaultFolder() {
  wchar_t buf[MAX_PATH * 4] = {};
  const DWORD n = ::GetEnvironmentVariableW(L"APPDATA", buf, MAX_PATH * 4);
  if (n == 0 || n >= MAX_PATH * 4) {
    return std::string();
  }
  return win::Narrow(std::wstring_view(buf, n)) + "\\Pelorin";
}

SysError HistoryLock::Acquire(const std::string& folder, Clock::time_point until,
                              std::unique_ptr<HistoryLock>& lock) {
  if (folder.empty()) {
    return ERROR_PATH_NOT_FOUND;
  }
  if (const SysError rc = MakeFolders(folder)) {
    return rc;
  }
  auto taken = std::make_unique<WinHistoryLock>(folder);
  if (const SysError rc = taken->TakeLock(until)) {
    return rc;
  }
  lock = std::move(taken);
  return 0;
}

bool HistoryLock::IsBusy(SysError code) {
  return code == ERROR_LOCK_VIOLATION;
}

}  // namespace pelorin
