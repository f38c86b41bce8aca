// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the POSIX store lives and what of it may be opened: the folder pelorin under
// $XDG_CONFIG_HOME (default ~/.config; that one is the user's choice and may be reached through
// links), and in it registry.db with the companions SQLite keeps beside it. The folder and every
// file must be the user's own and not a link, and are kept private to the user (0700, 0600):
// looser modes are tightened. A link, anything of another user's, or what cannot be made
// private is refused with the reason, and left as it is.
//
// Once the folder is checked and private, nobody but its user (and root) can change what is in
// it, so the files are checked by name inside the folder held open; the path SQLite is given
// runs through no link at all (SQLite refuses one with SQLITE_OPEN_NOFOLLOW), and the folder
// at that path is checked to be the one held after SQLite has opened it.

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "prefs/RegistryApi.h"

namespace pelorin::regapi {

#ifdef EUCLEAN
inline constexpr SysError kDamaged = EUCLEAN;
#else
inline constexpr SysError kDamaged = EINVAL;
#endif

// The registry's code for an errno where it has one (2, 5); otherwise the errno itself.
SysError FromErrno(int e);

// The busy handler of every connection, and the wait of anything else that waits for another
// process: true (after a short sleep) while the wait may go on. attempt counts from 0 for each
// wait.
int WaitForStore(void* unused, int attempt);

class StoreFolder {
 public:
  StoreFolder() = default;
  ~StoreFolder();
  StoreFolder(const StoreFolder&) = delete;
  StoreFolder& operator=(const StoreFolder&) = delete;

  // Finds the folder and checks it; with create, makes it (and the configuration folder) first.
  // A folder that is missing without create is kFileNotFound.
  SysError Open(bool create);
  // Checks registry.db and its companions. present: registry.db is there; usable: it is a plain
  // file (a folder in its place, say, is there but not usable).
  SysError CheckFiles(bool& present, bool& usable);
  // An empty registry.db, private; one made meanwhile by another process is kept.
  SysError CreateFile();
  // The path of registry.db, through no link.
  const std::string& File() const { return file_; }
  // The folder at the path is still the one checked.
  bool StillHere() const;
  // Moves registry.db and its companions aside beside them, named with the time (for example
  // registry.db.damaged-20261207-013000, its log registry.db.damaged-20261207-013000-wal), and
  // tells the user where. EAGAIN when registry.db is no longer the file CheckFiles found: another
  // process has moved it already.
  SysError MoveAside();

 private:
  int fd_ = -1;
  std::string folder_;
  std::string file_;
  struct stat checked_ {};  // registry.db as CheckFiles found it
};

// Records why the store refuses, tells the user once, and gives kStoreRefused.
SysError Refuse(const std::string& reason);

}  // namespace pelorin::regapi
