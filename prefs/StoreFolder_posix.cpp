// SPDX-License-Identifier: GPL-3.0-or-later
#include "prefs/StoreFolder_posix.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <set>
#include <span>
#include <utility>
#include <vector>

#include "prefs/UserFolders_posix.h"

namespace pelorin::regapi {

namespace {

constexpr const char* kFileName = "registry.db";
// registry.db itself, then its companions: the log and its index, and the rollback journal of a
// store that another program switched out of WAL. A companion always goes with its file.
constexpr const char* kSuffixes[] = {"", "-wal", "-shm", "-journal"};

std::string g_refusal;
std::string g_notice;
std::set<std::string> g_refusalsTold;  // every operation meets a refusal again: told once

void Tell(const std::string& notice) {
  g_notice += (g_notice.empty() ? "" : "\n\n") + notice;
}

std::string LinkTarget(int folder, const char* name) {
  std::vector<char> target(4096);
  const ssize_t n = ::readlinkat(folder, name, target.data(), target.size());
  return n > 0 ? std::string(target.data(), static_cast<std::size_t>(n)) : std::string("?");
}

// Refuses what is a link (name in folder) or another user's; tightens the user's own to its
// owner's bits through chmod (a file's without execute: 0600 at most, a folder's 0700),
// refusing when that fails.
template <typename Chmod>
SysError CheckOwnAndPrivate(const struct stat& st, int folder, const char* name,
                            const std::string& path, Chmod chmod) {
  if (S_ISLNK(st.st_mode)) {
    return Refuse(path + " is a symbolic link to " + LinkTarget(folder, name) +
                  "; the store opens no links.");
  }
  if (st.st_uid != ::geteuid()) {
    return Refuse(path + " belongs to another user; the store opens only its user's own files.");
  }
  const mode_t mode = st.st_mode & 07777;
  const mode_t allowed = S_ISDIR(st.st_mode) ? 0700 : 0600;
  if ((mode & ~allowed) != 0 && chmod(mode & allowed) != 0) {
    return Refuse(path + " cannot be made private to its user: " + std::strerror(errno) + ".");
  }
  return 0;
}

bool SameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// A file SQLite can open as a database: empty, or beginning with SQLite's header. Judged here,
// before SQLite opens it: SQLite would delete the log beside a file that is no database.
// (Closing the descriptor would drop this process's locks on the file; the store holds none
// while it opens.)
bool LooksLikeDatabase(int folder, const char* name, const struct stat& st) {
  if (st.st_size == 0) {
    return true;
  }
  const int fd = ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    return true;  // SQLite will say why
  }
  static constexpr char kHeader[] = "SQLite format 3";  // with its zero: 16 bytes
  char head[sizeof kHeader] = {};
  const bool database = ::pread(fd, head, sizeof head, 0) == sizeof head &&
                        std::memcmp(head, kHeader, sizeof head) == 0;
  ::close(fd);
  return database;
}

bool Exists(int folder, const std::string& name) {
  struct stat st {};
  return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 || errno != ENOENT;
}

}  // namespace

SysError FromErrno(int e) {
  switch (e) {
    case 0:
      return kDamaged;  // a failure without a reason from the system
    case ENOENT:
      return kFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
      return kAccessDenied;
    default:
      return static_cast<SysError>(e);
  }
}

SysError Refuse(const std::string& reason) {
  g_refusal = reason;
  if (g_refusalsTold.insert(reason).second) {
    Tell("Pelorin does not use its settings store, so settings are not kept: " + reason);
  }
  return kStoreRefused;
}

std::string RefusalReason() {
  return g_refusal;
}

std::string TakeStoreNotice() {
  return std::exchange(g_notice, std::string());
}

StoreFolder::~StoreFolder() {
  if (fd_ >= 0) {
    ::close(fd_);
  }
}

SysError StoreFolder::Open(bool create) {
  const std::string configured = ConfigHome();
  if (configured.empty()) {
    return kFileNotFound;
  }
  if (create) {
    if (const int e = MakePrivateFolders(configured)) {
      return FromErrno(e);
    }
  }
  const std::unique_ptr<char, decltype(&std::free)> home(::realpath(configured.c_str(), nullptr),
                                                         &std::free);
  if (home == nullptr) {
    return FromErrno(errno);
  }
  folder_ = std::string(home.get()) + (home.get()[1] != '\0' ? "/pelorin" : "pelorin");
  file_ = folder_ + "/" + kFileName;
  const int parent = ::open(home.get(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (parent < 0) {
    return FromErrno(errno);
  }
  struct stat st {};
  bool made = false;
  if (::fstatat(parent, "pelorin", &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT && create) {
    made = ::mkdirat(parent, "pelorin", 0700) == 0;
    if (!made && errno != EEXIST) {
      const int failure = errno;
      ::close(parent);
      return FromErrno(failure);
    }
  }
  fd_ = ::openat(parent, "pelorin", O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  const int failure = errno;
  SysError rc = 0;
  if (fd_ < 0 && ::fstatat(parent, "pelorin", &st, AT_SYMLINK_NOFOLLOW) == 0) {
    // Say what is there when it is a link or another user's; a folder of the user's own that
    // the user may not enter stays access denied.
    rc = CheckOwnAndPrivate(st, parent, "pelorin", folder_, [](mode_t) { return 0; });
  }
  ::close(parent);
  if (fd_ < 0) {
    return rc != 0 ? rc : FromErrno(failure);
  }
  if (made) {
    ::fchmod(fd_, 0700);  // whatever the umask
  }
  if (::fstat(fd_, &st) != 0) {
    return FromErrno(errno);
  }
  return CheckOwnAndPrivate(st, -1, "", folder_,
                            [this](mode_t mode) { return ::fchmod(fd_, mode); });
}

SysError StoreFolder::CheckFiles(bool& present, bool& usable) {
  present = false;
  usable = true;
  for (const std::string suffix : kSuffixes) {
    const std::string name = kFileName + suffix;
    struct stat st {};
    if (::fstatat(fd_, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      if (errno == ENOENT) {
        continue;
      }
      return FromErrno(errno);
    }
    const bool plain = S_ISREG(st.st_mode);
    // Nothing but a plain file is made private here: what is not one is moved aside whole.
    if (SysError rc = CheckOwnAndPrivate(
            st, fd_, name.c_str(), folder_ + "/" + name,
            [&](mode_t mode) { return plain ? ::fchmodat(fd_, name.c_str(), mode, 0) : 0; })) {
      return rc;
    }
    if (suffix.empty()) {
      present = true;
      checked_ = st;
      usable = plain && LooksLikeDatabase(fd_, kFileName, st);
    } else {
      usable = usable && plain;
    }
  }
  return 0;
}

SysError StoreFolder::CreateFile() {
  const int fd = ::openat(fd_, kFileName, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::fchmod(fd, 0600);  // whatever the umask
    ::close(fd);
    return 0;
  }
  return errno == EEXIST ? 0 : FromErrno(errno);
}

bool StoreFolder::StillHere() const {
  struct stat here {};
  struct stat held {};
  return ::lstat(folder_.c_str(), &here) == 0 && ::fstat(fd_, &held) == 0 && SameFile(here, held);
}

SysError StoreFolder::MoveAside() {
  // One mover at a time: two windows that both found the file unusable must not both move it,
  // nor the later one move the fresh store the earlier one has started meanwhile.
  for (int attempt = 0; ::flock(fd_, LOCK_EX | LOCK_NB) != 0; ++attempt) {
    if (errno != EWOULDBLOCK || !WaitForStore(nullptr, attempt)) {
      return EBUSY;
    }
  }
  struct Unlock {
    int fd;
    ~Unlock() { ::flock(fd, LOCK_UN); }
  } unlock{fd_};
  struct stat now {};
  if (::fstatat(fd_, kFileName, &now, AT_SYMLINK_NOFOLLOW) != 0 || !SameFile(now, checked_)) {
    return EAGAIN;
  }
  char stamp[32] = {};
  const std::time_t t = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&t, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = std::string(kFileName) + ".damaged-" + stamp;
  std::string aside = base;
  const auto taken = [&](const std::string& name) {
    for (const char* suffix : kSuffixes) {
      if (Exists(fd_, name + suffix)) {
        return true;
      }
    }
    return false;
  };
  for (int n = 2; taken(aside); ++n) {
    aside = base + "-" + std::to_string(n);
  }
  // The companions first: a log left behind would be read into the fresh store.
  for (const char* suffix : std::span(kSuffixes).subspan(1)) {
    const std::string from = kFileName + std::string(suffix);
    if (::renameat(fd_, from.c_str(), fd_, (aside + suffix).c_str()) != 0 && errno != ENOENT) {
      return FromErrno(errno);
    }
  }
  if (::renameat(fd_, kFileName, fd_, aside.c_str()) != 0) {
    return FromErrno(errno);
  }
  Tell("The settings file " + file_ + " could not be used. It has been kept as " + folder_ + "/" +
       aside + ", and Pelorin starts a fresh one.");
  return 0;
}

}  // namespace pelorin::regapi
