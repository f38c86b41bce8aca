// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user store on POSIX: one SQLite file, $XDG_CONFIG_HOME/pelorin/registry.db (default
// ~/.config/pelorin/registry.db), private to its user (0600 in a 0700 folder).
//
// A Key holds its own connection, so nothing stays open between two Registry operations and a
// forked or second process never shares one. The file is in WAL mode: every write is one
// transaction, a process killed mid-write leaves the file with every earlier commit, readers
// never wait for a writer, and a writer that finds another one busy waits up to five seconds
// for it rather than failing.
//
// Failures speak the registry's codes where it has one (2 missing key or value, which is
// ENOENT too; 5 access denied); otherwise the errno the condition is best known by. A
// file that is not a store, or a damaged one, gives EUCLEAN ("Structure needs cleaning"); a
// store still locked after the wait gives EBUSY.

#include <fcntl.h>
#include <pwd.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "prefs/RegistryApi.h"

namespace pelorin::regapi {

struct Key {
  sqlite3* db = nullptr;
  Root root = 0;
  std::string path;
  std::uint32_t access = 0;
};

namespace {

constexpr int kBusyTimeoutMs = 5000;
#ifdef EUCLEAN
constexpr SysError kDamaged = EUCLEAN;
#else
constexpr SysError kDamaged = EINVAL;
#endif

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

std::string HomeFolder() {
  if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    return home;
  }
  std::vector<char> buf(16384);
  passwd pw{};
  passwd* found = nullptr;
  if (::getpwuid_r(::getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found != nullptr &&
      found->pw_dir != nullptr) {
    return found->pw_dir;
  }
  return std::string();
}

// XDG: a relative or empty XDG_CONFIG_HOME is ignored.
std::string ConfigHome() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && xdg[0] == '/') {
    return xdg;
  }
  const std::string home = HomeFolder();
  return home.empty() ? std::string() : home + "/.config";
}

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

// The errno behind a failed open or I/O. SQLite reads errno only after cleaning up, by when it
// is often gone (a write refused for a full disk came back as no reason at all, and so as a
// damaged store); the files keep the last one they met, the log first, where writes go.
int LastSystemErrno(sqlite3* db) {
  if (db == nullptr) {
    return 0;
  }
  if (const int e = sqlite3_system_errno(db)) {
    return e;
  }
  int e = 0;
  sqlite3_file* log = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) == SQLITE_OK &&
      log != nullptr && log->pMethods != nullptr &&
      log->pMethods->xFileControl(log, SQLITE_FCNTL_LAST_ERRNO, &e) == SQLITE_OK && e != 0) {
    return e;
  }
  e = 0;
  return sqlite3_file_control(db, "main", SQLITE_FCNTL_LAST_ERRNO, &e) == SQLITE_OK ? e : 0;
}

SysError FromSqlite(sqlite3* db, int rc) {
  switch (rc & 0xFF) {
    case SQLITE_OK:
    case SQLITE_DONE:
    case SQLITE_ROW:
      return 0;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return EBUSY;
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return kAccessDenied;
    case SQLITE_FULL:
      return ENOSPC;
    case SQLITE_NOMEM:
      return ENOMEM;
    case SQLITE_CANTOPEN:
      return FromErrno(LastSystemErrno(db));
    case SQLITE_IOERR: {
      // An I/O error whose errno is lost is still an I/O error, not a damaged file.
      const int e = LastSystemErrno(db);
      return e != 0 ? FromErrno(e) : static_cast<SysError>(EIO);
    }
    default:  // CORRUPT, NOTADB, and schema errors from a file that is not ours
      return kDamaged;
  }
}

// Creates each missing folder of the path, private to the user.
SysError MakeFolders(const std::string& folder) {
  for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
    if (pos != folder.size() && folder[pos] != '/') {
      continue;
    }
    const std::string part = folder.substr(0, pos);
    if (::mkdir(part.c_str(), 0700) == 0) {
      ::chmod(part.c_str(), 0700);  // whatever the umask
    } else if (errno != EEXIST) {
      return FromErrno(errno);
    }
  }
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) {
    return FromErrno(errno);
  }
  return S_ISDIR(st.st_mode) ? 0 : static_cast<SysError>(ENOTDIR);
}

SysError CreateFileIfMissing(const std::string& file) {
  const int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd >= 0) {
    ::fchmod(fd, 0600);
    ::close(fd);
    return 0;
  }
  return errno == EEXIST ? 0 : FromErrno(errno);
}

SysError Exec(sqlite3* db, const char* sql) {
  return FromSqlite(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
}

SysError Prepare(sqlite3* db, const char* sql, Stmt& stmt) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  stmt.reset(raw);
  return FromSqlite(db, rc);
}

// Runs body inside one write transaction. IMMEDIATE takes the write lock up front, so two
// writers queue on the busy timeout instead of one failing at once on a lock upgrade.
template <typename Body>
SysError InTransaction(sqlite3* db, Body body) {
  if (SysError rc = Exec(db, "BEGIN IMMEDIATE")) {
    return rc;
  }
  SysError rc = body();
  if (rc == 0) {
    rc = Exec(db, "COMMIT");
  }
  if (rc != 0) {
    Exec(db, "ROLLBACK");
  }
  return rc;
}

int FoldLog(void* /*context*/, sqlite3* db, const char* name, int frames) {
  constexpr int kFoldFrames = 128;
  if (frames >= kFoldFrames) {
    // Only when nobody else is in the file just now; otherwise a later commit folds it.
    sqlite3_busy_timeout(db, 0);
    sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
  }
  return SQLITE_OK;
}

constexpr const char* kSchema =
    "CREATE TABLE IF NOT EXISTS keys(root INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE,"
    " PRIMARY KEY(root, path)) WITHOUT ROWID;"
    "CREATE TABLE IF NOT EXISTS vals(root INTEGER NOT NULL, key TEXT NOT NULL COLLATE NOCASE,"
    " name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB NOT NULL,"
    " PRIMARY KEY(root, key, name)) WITHOUT ROWID;";

// Opens the store. With create, the folder, the file and the tables are made first; without,
// a store that does not exist yet (no file, no tables) is a missing key.
SysError OpenStore(bool create, Db& db) {
  const std::string home = ConfigHome();
  if (home.empty()) {
    return kFileNotFound;
  }
  const std::string folder = home + "/pelorin";
  const std::string file = folder + "/registry.db";
  if (create) {
    if (SysError rc = MakeFolders(folder)) {
      return rc;
    }
    if (SysError rc = CreateFileIfMissing(file)) {
      return rc;
    }
  } else {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
      return FromErrno(errno);
    }
  }
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(file.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
  db.reset(raw);
  if (rc != SQLITE_OK) {
    return FromSqlite(raw, rc);
  }
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  // Commits append to the log without waiting for the disk: a killed process loses nothing, a
  // power cut at worst the last commits, never the file.
  if (SysError e = Exec(raw, "PRAGMA synchronous=NORMAL")) {
    return e;
  }
  // Closing does not fold the log back into the file (two disk syncs for every operation);
  // the log is folded and emptied once it has grown, which also keeps it quick to read back
  // for the next connection.
  sqlite3_db_config(raw, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_wal_hook(raw, FoldLog, nullptr);
  if (create) {
    // A fresh file becomes WAL; if another process holds it just now it stays as it is, which
    // is just as safe.
    Exec(raw, "PRAGMA journal_mode=WAL");
    return InTransaction(raw, [raw] { return Exec(raw, kSchema); });
  }
  Stmt stmt;
  if (SysError e = Prepare(raw,
                           "SELECT count(*) FROM sqlite_master WHERE type='table'"
                           " AND name IN ('keys','vals')",
                           stmt)) {
    return e;
  }
  const int step = sqlite3_step(stmt.get());
  if (step != SQLITE_ROW) {
    return FromSqlite(raw, step);
  }
  return sqlite3_column_int(stmt.get(), 0) == 2 ? 0 : kFileNotFound;
}

// "a\\b\\" and "a\b" name the same key.
std::string Canonical(const std::string& path) {
  std::string out;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('\\', start);
    if (end == std::string::npos) {
      end = path.size();
    }
    if (end > start) {
      if (!out.empty()) {
        out += '\\';
      }
      out.append(path, start, end - start);
    }
    start = end + 1;
  }
  return out;
}

void BindText(sqlite3_stmt* stmt, int index, const std::string& text) {
  sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

SysError FindKey(sqlite3* db, Root root, const std::string& path) {
  if (path.empty()) {
    return 0;  // the root itself
  }
  Stmt stmt;
  if (SysError e = Prepare(db, "SELECT 1 FROM keys WHERE root=?1 AND path=?2", stmt)) {
    return e;
  }
  sqlite3_bind_int64(stmt.get(), 1, root);
  BindText(stmt.get(), 2, path);
  const int step = sqlite3_step(stmt.get());
  if (step == SQLITE_ROW) {
    return 0;
  }
  return step == SQLITE_DONE ? kFileNotFound : FromSqlite(db, step);
}

SysError InsertKeyWithParents(sqlite3* db, Root root, const std::string& path) {
  Stmt stmt;
  if (SysError e = Prepare(db, "INSERT OR IGNORE INTO keys(root, path) VALUES(?1, ?2)", stmt)) {
    return e;
  }
  for (std::size_t pos = 0; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '\\') {
      continue;
    }
    sqlite3_reset(stmt.get());
    sqlite3_bind_int64(stmt.get(), 1, root);
    BindText(stmt.get(), 2, path.substr(0, pos));
    const int step = sqlite3_step(stmt.get());
    if (step != SQLITE_DONE) {
      return FromSqlite(db, step);
    }
  }
  return 0;
}

Key* NewKey(Db db, Root root, std::string path, std::uint32_t access) {
  auto* key = new Key;
  key->db = db.release();
  key->root = root;
  key->path = std::move(path);
  key->access = access;
  return key;
}

}  // namespace

SysError OpenKey(Root root, const std::string& path, std::uint32_t access, Key*& key) {
  Db db;
  if (SysError rc = OpenStore(false, db)) {
    return rc;
  }
  std::string canonical = Canonical(path);
  if (SysError rc = FindKey(db.get(), root, canonical)) {
    return rc;
  }
  key = NewKey(std::move(db), root, std::move(canonical), access);
  return 0;
}

SysError CreateKey(Root root, const std::string& path, Key*& key) {
  Db db;
  if (SysError rc = OpenStore(true, db)) {
    return rc;
  }
  std::string canonical = Canonical(path);
  if (!canonical.empty()) {
    if (SysError rc = InTransaction(
            db.get(), [&] { return InsertKeyWithParents(db.get(), root, canonical); })) {
      return rc;
    }
  }
  key = NewKey(std::move(db), root, std::move(canonical), kCreateAccess);
  return 0;
}

SysError QueryValue(Key* key, const std::string& name, std::uint32_t* type, std::uint8_t* data,
                    std::uint32_t* size) {
  constexpr SysError kInvalidParameter = EINVAL;
  if (key == nullptr || (data != nullptr && size == nullptr)) {
    return kInvalidParameter;
  }
  if ((key->access & kQueryValue) == 0) {
    return kAccessDenied;
  }
  Stmt stmt;
  if (SysError e = Prepare(
          key->db, "SELECT type, data FROM vals WHERE root=?1 AND key=?2 AND name=?3", stmt)) {
    return e;
  }
  sqlite3_bind_int64(stmt.get(), 1, key->root);
  BindText(stmt.get(), 2, key->path);
  BindText(stmt.get(), 3, name);
  const int step = sqlite3_step(stmt.get());
  if (step == SQLITE_DONE) {
    return kFileNotFound;
  }
  if (step != SQLITE_ROW) {
    return FromSqlite(key->db, step);
  }
  const auto* blob = static_cast<const std::uint8_t*>(sqlite3_column_blob(stmt.get(), 1));
  const auto stored = static_cast<std::uint32_t>(sqlite3_column_bytes(stmt.get(), 1));
  if (type != nullptr) {
    *type = static_cast<std::uint32_t>(sqlite3_column_int64(stmt.get(), 0));
  }
  if (size == nullptr) {
    return 0;
  }
  const std::uint32_t room = *size;
  *size = stored;
  if (data == nullptr) {
    return 0;
  }
  if (stored > room) {
    return kMoreData;
  }
  for (std::uint32_t i = 0; i < stored; ++i) {
    data[i] = blob[i];
  }
  return 0;
}

SysError SetValue(Key* key, const std::string& name, std::uint32_t type, const std::uint8_t* data,
                  std::uint32_t size) {
  if (key == nullptr || (data == nullptr && size != 0)) {
    return EINVAL;
  }
  if ((key->access & kSetValue) == 0) {
    return kAccessDenied;
  }
  Stmt stmt;
  if (SysError e =
          Prepare(key->db,
                  "INSERT INTO vals(root, key, name, type, data) VALUES(?1, ?2, ?3, ?4, ?5)"
                  " ON CONFLICT(root, key, name) DO UPDATE SET type=excluded.type,"
                  " data=excluded.data",
                  stmt)) {
    return e;
  }
  static const std::uint8_t kNoBytes = 0;  // a null blob would bind SQL NULL
  sqlite3_bind_int64(stmt.get(), 1, key->root);
  BindText(stmt.get(), 2, key->path);
  BindText(stmt.get(), 3, name);
  sqlite3_bind_int64(stmt.get(), 4, type);
  sqlite3_bind_blob(stmt.get(), 5, size != 0 ? data : &kNoBytes, static_cast<int>(size),
                    SQLITE_TRANSIENT);
  return InTransaction(key->db, [&] {
    const int step = sqlite3_step(stmt.get());
    return step == SQLITE_DONE ? SysError{0} : FromSqlite(key->db, step);
  });
}

void CloseKey(Key* key) {
  if (key != nullptr) {
    sqlite3_close_v2(key->db);
    delete key;
  }
}

std::string ExpandEnvironmentStrings(const std::string& text) {
  std::string out;
  std::size_t pos = 0;
  while (pos < text.size()) {
    const std::size_t open = text.find('%', pos);
    if (open == std::string::npos) {
      out.append(text, pos, std::string::npos);
      break;
    }
    out.append(text, pos, open - pos);
    const std::size_t close = text.find('%', open + 1);
    if (close != std::string::npos && close > open + 1) {
      const std::string name = text.substr(open + 1, close - open - 1);
      const char* value = name.find('=') == std::string::npos ? std::getenv(name.c_str()) : nullptr;
      if (value != nullptr) {
        out += value;
        pos = close + 1;
        continue;
      }
    }
    // Not a known reference: the "%" stays, and scanning goes on after it, so the closing "%"
    // may still open a reference of its own.
    out += '%';
    pos = open + 1;
  }
  return out;
}

}  // namespace pelorin::regapi
