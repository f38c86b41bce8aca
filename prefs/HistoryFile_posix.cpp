// SPDX-License-Identifier: GPL-3.0-or-later
// The history file on POSIX: a folder and two files private to the user, reached through a
// descriptor of the folder so that nothing swapped in under a name is followed.

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <utility>

#include "prefs/HistoryFile.h"
#include "prefs/UserFolders_posix.h"

namespace pelorin {

namespace {

constexpr char kFileName[] = "history";
constexpr char kLockName[] = "history.lock";

SysError LastError() {
  return static_cast<SysError>(errno);
}

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// A descriptor is usable when it is the user's own and of the kind expected; a file is made
// private if it is not (its owner's bits kept: a read-only file stays read-only).
SysError CheckOwn(int fd, bool folder) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) {
    return LastError();
  }
  if (st.st_uid != ::geteuid()) {
    return EPERM;
  }
  if (folder) {
    return S_ISDIR(st.st_mode) ? 0 : static_cast<SysError>(ENOTDIR);
  }
  if (!S_ISREG(st.st_mode)) {
    return EINVAL;
  }
  const mode_t mode = st.st_mode & 07777;
  if ((mode & ~mode_t{0600}) != 0 && ::fchmod(fd, mode & 0600) != 0) {
    return LastError();
  }
  return 0;
}

// The file is there and its owner may not write it: the user made it read-only.
bool IsReadOnly(int dir) {
  struct stat st {};
  return ::fstatat(dir, kFileName, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
         (st.st_mode & S_IWUSR) == 0;
}

// A file of the folder, never through a symbolic link (ELOOP), only when it is the user's own.
SysError OpenIn(int dir, const char* name, int flags, int& fd) {
  fd = ::openat(dir, name, flags | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    return LastError();
  }
  if (const SysError rc = CheckOwn(fd, false)) {
    ::close(fd);
    fd = -1;
    return rc;
  }
  return 0;
}

SysError WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return LastError();
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

class PosixHistoryLock final : public HistoryLock {
 public:
  PosixHistoryLock(int dir, int lock) : dir_(dir), lock_(lock), readOnly_(IsReadOnly(dir)) {}

  SysError ReadTail(std::size_t most, std::string& bytes, bool& whole) override {
    bytes.clear();
    whole = true;
    int raw = -1;
    if (const SysError rc = OpenIn(dir_.get(), kFileName, O_RDONLY, raw)) {
      return rc == ENOENT ? 0 : rc;
    }
    const Fd fd(raw);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
      return LastError();
    }
    const auto size = static_cast<std::size_t>(st.st_size);
    const std::size_t from = size > most ? size - most : 0;
    whole = from == 0;
    bytes.resize(size - from);
    std::size_t got = 0;
    while (got < bytes.size()) {
      const ssize_t n =
          ::pread(fd.get(), bytes.data() + got, bytes.size() - got, static_cast<off_t>(from + got));
      if (n == 0) {
        break;  // cut shorter meanwhile
      }
      if (n < 0) {
        if (errno == EINTR) {
          continue;
        }
        return LastError();
      }
      got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    return 0;
  }

  bool ReadOnly() const override { return readOnly_; }

  SysError Append(std::string_view record) override {
    if (readOnly_) {
      return EACCES;
    }
    int raw = -1;
    if (const SysError rc = OpenIn(dir_.get(), kFileName, O_RDWR | O_CREAT | O_APPEND, raw)) {
      return rc;
    }
    const Fd fd(raw);
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0) {
      return LastError();
    }
    std::string bytes;
    char last = '\n';
    if (st.st_size > 0 && ::pread(fd.get(), &last, 1, st.st_size - 1) == 1 && last != '\n') {
      bytes = "\n";  // the line a crash cut short stays a line of its own
    }
    bytes.append(record);
    ssize_t n = 0;
    do {
      n = ::write(fd.get(), bytes.data(), bytes.size());
    } while (n < 0 && errno == EINTR);
    if (n == static_cast<ssize_t>(bytes.size())) {
      return 0;
    }
    // A short write says no reason; a full disk is what stops one.
    const SysError rc = n < 0 ? LastError() : static_cast<SysError>(ENOSPC);
    if (n > 0) {
      (void)!::ftruncate(fd.get(), st.st_size);
    }
    return rc;
  }

  SysError Replace(std::string_view bytes) override {
    if (readOnly_) {
      return EACCES;
    }
    const std::string temp = std::string(kFileName) + "." + std::to_string(::getpid()) + ".tmp";
    int raw = ::openat(dir_.get(), temp.c_str(),
                       O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (raw < 0) {
      return LastError();
    }
    SysError rc = 0;
    {
      const Fd fd(raw);
      rc = ::fchmod(fd.get(), 0600) != 0 ? LastError() : WriteAll(fd.get(), bytes);
      if (rc == 0 && ::fsync(fd.get()) != 0) {
        rc = LastError();
      }
    }
    if (rc == 0 && ::renameat(dir_.get(), temp.c_str(), dir_.get(), kFileName) != 0) {
      rc = LastError();
    }
    if (rc != 0) {
      ::unlinkat(dir_.get(), temp.c_str(), 0);
    }
    return rc;
  }

 private:
  Fd dir_;
  Fd lock_;  // closing it lets the lock go
  bool readOnly_;
};

}  // namespace

std::string HistoryFile::DefaultFolder() {
  const std::string config = ConfigHome();
  return config.empty() ? std::string() : config + "/pelorin";
}

SysError HistoryLock::Acquire(const std::string& folder, Clock::time_point until,
                              std::unique_ptr<HistoryLock>& lock) {
  if (folder.empty()) {
    return ENOENT;
  }
  if (const int e = MakePrivateFolders(folder)) {
    return static_cast<SysError>(e);
  }
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dir < 0) {
    return LastError();
  }
  Fd dirFd(dir);
  if (const SysError rc = CheckOwn(dir, true)) {
    return rc;
  }
  int raw = -1;
  if (const SysError rc = OpenIn(dir, kLockName, O_RDWR | O_CREAT, raw)) {
    return rc;
  }
  Fd lockFd(raw);
  for (int attempt = 0; ::flock(raw, LOCK_EX | LOCK_NB) != 0; ++attempt) {
    const int e = errno;
    if (e == EINTR) {
      continue;
    }
    if (e != EWOULDBLOCK || !PauseBeforeRetry(attempt, until)) {
      return static_cast<SysError>(e);
    }
  }
  lock = std::make_unique<PosixHistoryLock>(dirFd.release(), lockFd.release());
  return 0;
}

bool HistoryLock::IsBusy(SysError code) {
  return code == EWOULDBLOCK;
}

}  // namespace pelorin
