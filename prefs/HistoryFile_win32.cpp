// SPDX-License-Identifier: GPL-3.0-or-later
// The history file on Windows: %APPDATA%\Pelorin\history, locked with LockFileEx on
// history.lock. Links (reparse points) are not followed.

#include <windows.h>

#include <algorithm>
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

class WinHistoryLock final : public HistoryLock {
 public:
  explicit WinHistoryLock(std::string folder) : folder_(std::move(folder)) {}
  ~WinHistoryLock() override {
    OVERLAPPED at{};
    ::UnlockFileEx(lock_.get(), 0, MAXDWORD, MAXDWORD, &at);
  }

  SysError TakeLock() {
    if (const SysError rc =
            Open(PathIn(folder_, kLockName), GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS, lock_)) {
      return rc;
    }
    OVERLAPPED at{};
    return ::LockFileEx(lock_.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &at)
               ? 0
               : LastError();
  }

  SysError Read(std::string& bytes) override {
    bytes.clear();
    Handle file;
    if (const SysError rc = Open(PathIn(folder_, kFileName), GENERIC_READ, OPEN_EXISTING, file)) {
      return rc == ERROR_FILE_NOT_FOUND ? 0 : rc;
    }
    char buf[16384];
    for (;;) {
      DWORD n = 0;
      if (!::ReadFile(file.get(), buf, sizeof buf, &n, nullptr)) {
        return LastError();
      }
      if (n == 0) {
        return 0;
      }
      bytes.append(buf, n);
    }
  }

  SysError Append(std::string_view bytes) override {
    Handle file;
    if (const SysError rc = Open(PathIn(folder_, kFileName), FILE_APPEND_DATA, OPEN_ALWAYS, file)) {
      return rc;
    }
    return WriteAll(file.get(), bytes);
  }

  SysError Replace(std::string_view bytes) override {
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

SysError HistoryLock::Acquire(const std::string& folder, std::unique_ptr<HistoryLock>& lock) {
  if (folder.empty()) {
    return ERROR_PATH_NOT_FOUND;
  }
  if (const SysError rc = MakeFolders(folder)) {
    return rc;
  }
  auto taken = std::make_unique<WinHistoryLock>(folder);
  if (const SysError rc = taken->TakeLock()) {
    return rc;
  }
  lock = std::move(taken);
  return 0;
}

}  // namespace pelorin
