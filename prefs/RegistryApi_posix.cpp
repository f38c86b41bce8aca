// SPDX-License-Identifier: GPL-3.0-or-later
// The per-user store on POSIX: one SQLite file, $XDG_CONFIG_HOME/pelorin/registry.db (default
// ~/.config/pelorin/registry.db), private to its user (0600 in a 0700 folder); what may be
// opened there, and how, is StoreFolder's (prefs/StoreFolder_posix.h).
//
// A Key holds its own connection, so nothing stays open between two Registry operations and a
// forked or second process never shares one. The file is in WAL mode: every write is one
// transaction, a process killed mid-write leaves the file with every earlier commit, readers
// never wait for a writer, and a writer that finds another one busy waits for it (up to five
// seconds, or until the deadline set) rather than failing. A key opened only to read falls
// back on a connection that writes nothing, not even the log's index, when the disk is full:
// reading needs no free space.
//
// The store is known by its two tables and the columns used here; the schema's version is kept
// in the file (user_version). A store of another version (more tables or indexes, a later
// version number) is used as it is. A file that is not a store (random bytes, a folder in its
// place, no table of ours, or one without our columns) is moved aside and a fresh store
// started. Failures speak the registry's codes where it has
// one (2 missing key or value, which is ENOENT too; 5 access denied); otherwise the errno the
// condition is best known by. A store still locked after the wait gives EBUSY.

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "prefs/RegistryApi.h"
#include "prefs/StoreFolder_posix.h"
#include "prefs/StoreSchema_posix.h"

namespace pelorin::regapi {

struct Key {
  sqlite3* db = nullptr;
  Root root = 0;
  std::string path;
  std::uint32_t access = 0;
  bool grouped = false;  // between BeginGroup and EndGroup
};

namespace {

using Clock = std::chrono::steady_clock;
// How long one wait for another process lasts when no deadline is set.
constexpr auto kOwnWait = std::chrono::seconds(5);
Deadline g_deadline;

SysError Prepare(sqlite3* db, const char* sql, Stmt& stmt) {
  sqlite3_stmt* raw = nullptr;
  const int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  stmt.reset(raw);
  return FromSqlite(db, rc);
}

int FoldLog(void* /*context*/, sqlite3* db, const char* name, int frames) {
  constexpr int kFoldFrames = 128;
  if (frames >= kFoldFrames) {
    // Only when nobody else is in the file just now; otherwise a later commit folds it.
    sqlite3_busy_handler(db, nullptr, nullptr);
    sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_handler(db, WaitForStore, nullptr);
  }
  return SQLITE_OK;
}

// A "file:" name takes %XX for the characters that would end its path.
std::string UriPath(const std::string& path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      out += {'%', kHex[(c >> 4) & 0xF], kHex[c & 0xF]};
    } else {
      out += c;
    }
  }
  return out;
}

// Connects to the checked file. A reader's connection writes nothing: the file is opened
// read-only and the log's index shared read-only, or built in memory when no other connection
// keeps it, so that it reads with neither free space nor a writable folder.
SysError Connect(const StoreFolder& folder, bool reader, Db& db) {
  const std::string name =
      reader ? "file:" + UriPath(folder.File()) + "?readonly_shm=1" : folder.File();
  const int flags = SQLITE_OPEN_NOFOLLOW |
                    (reader ? SQLITE_OPEN_READONLY | SQLITE_OPEN_URI : SQLITE_OPEN_READWRITE);
  sqlite3* raw = nullptr;
  const int rc = sqlite3_open_v2(name.c_str(), &raw, flags, nullptr);
  db.reset(raw);
  if (rc != SQLITE_OK) {
    if (sqlite3_extended_errcode(raw) == SQLITE_CANTOPEN_SYMLINK) {
      return Refuse(folder.File() +
                    " is reached through a symbolic link; the store opens no links.");
    }
    return FromSqlite(raw, rc);
  }
  if (!folder.StillHere()) {
    return Refuse(folder.File() + " was replaced while it was being opened.");
  }
  sqlite3_busy_handler(raw, WaitForStore, nullptr);
  // Closing does not fold the log back into the file (two disk syncs for every operation);
  // the log is folded and emptied once it has grown, which also keeps it quick to read back
  // for the next connection.
  sqlite3_db_config(raw, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  if (!reader) {
    sqlite3_wal_hook(raw, FoldLog, nullptr);
  }
  return 0;
}

enum class Use { kRead, kWrite, kCreate };

// Opens the store. To read or write, a store that does not exist yet (no folder, file or
// tables) is a missing key; to create, the folder, the file and the tables are made first. A
// file that cannot be used is moved aside first, and the user told where.
SysError OpenStore(Use use, Db& db) {
  const bool create = use == Use::kCreate;
  constexpr int kLooks = 3;  // another process may move the same file aside meanwhile
  for (int look = 0; look < kLooks; ++look) {
    StoreFolder folder;
    bool present = false;
    bool usable = false;
    if (SysError rc = folder.Open(create)) {
      return rc;
    }
    if (SysError rc = folder.CheckFiles(present, usable)) {
      return rc;
    }
    if (!present && create) {
      if (SysError rc = folder.CreateFile(); rc != 0 || (rc = folder.CheckFiles(present, usable))) {
        return rc;
      }
    }
    if (!present) {
      return kFileNotFound;
    }
    Shape shape = Shape::kNoDatabase;
    int version = 0;
    if (usable) {
      if (SysError rc = Connect(folder, false, db)) {
        return rc;
      }
      int rc = ReadShape(db.get(), shape, version);
      const int primary = rc & 0xFF;
      if (use == Use::kRead && (primary == SQLITE_IOERR || primary == SQLITE_FULL ||
                                primary == SQLITE_CANTOPEN || primary == SQLITE_READONLY)) {
        // No room, or no right, to write even the log's index: a reader's connection writes
        // nothing. Only then, for with a log its index does not match it retries inside
        // SQLite, past any deadline (about ten seconds).
        if (SysError e = Connect(folder, true, db)) {
          return e;
        }
        rc = ReadShape(db.get(), shape, version);
      }
      if (rc != SQLITE_OK) {
        return FromSqlite(db.get(), rc);
      }
    }
    if (shape == Shape::kOurs || shape == Shape::kEmpty) {
      // Commits append to the log without waiting for the disk: a killed process loses nothing,
      // a power cut at worst the last commits, never the file. (After the first read: this too
      // reads the file, and a reader's connection must be able to fall back first.)
      if (SysError e = Exec(db.get(), "PRAGMA synchronous=NORMAL")) {
        return e;
      }
      if (shape == Shape::kOurs && version == 0 && use != Use::kRead) {
        // Made before the version was kept: it is this version's (a failure changes nothing).
        MakeTables(db.get(), version);
      }
      if (!create) {
        return shape == Shape::kOurs ? 0 : kFileNotFound;
      }
      // A fresh file becomes WAL, and so does one another program switched out of it; if
      // another process holds it just now it stays as it is, which is just as safe.
      Exec(db.get(), "PRAGMA journal_mode=WAL");
      return shape == Shape::kOurs ? 0 : MakeTables(db.get(), version);
    }
    db.reset();
    const SysError moved = folder.MoveAside();
    if (moved != 0 && moved != EAGAIN) {
      return moved;
    }
    if (moved == 0 && !create) {
      return kFileNotFound;
    }
    // Moved aside, here or by another process: look again, and make the fresh store.
  }
  return kDamaged;
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
  if (SysError rc = OpenStore((access & kSetValue) != 0 ? Use::kWrite : Use::kRead, db)) {
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
  if (SysError rc = OpenStore(Use::kCreate, db)) {
    return rc;
  }
  std::string canonical = Canonical(path);
  // A key that is there already costs no write.
  if (FindKey(db.get(), root, canonical) != 0) {
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
  const auto write = [&] {
    const int step = sqlite3_step(stmt.get());
    return step == SQLITE_DONE ? SysError{0} : FromSqlite(key->db, step);
  };
  return key->grouped ? write() : InTransaction(key->db, write);
}

SysError BeginGroup(Key* key) {
  if (key == nullptr || key->grouped) {
    return EINVAL;
  }
  // A reader's group is one snapshot from its first read on; a writer's takes the write lock
  // at once, as every write does.
  const SysError rc = Exec(key->db, (key->access & kSetValue) != 0 ? "BEGIN IMMEDIATE" : "BEGIN");
  key->grouped = rc == 0;
  return rc;
}

SysError EndGroup(Key* key, bool commit) {
  if (key == nullptr || !key->grouped) {
    return EINVAL;
  }
  key->grouped = false;
  SysError rc = commit ? Exec(key->db, "COMMIT") : 0;
  if (!commit || rc != 0) {
    Exec(key->db, "ROLLBACK");
  }
  return rc;
}

Deadline SetDeadline(Deadline deadline) {
  return std::exchange(g_deadline, deadline);
}

int WaitForStore(void* /*unused*/, int attempt) {
  thread_local Clock::time_point started;
  const Clock::time_point now = Clock::now();
  if (attempt == 0) {
    started = now;
  }
  const Clock::time_point until =
      g_deadline ? std::min(*g_deadline, started + kOwnWait) : started + kOwnWait;
  if (now >= until) {
    return 0;
  }
  using std::chrono::milliseconds;
  constexpr milliseconds kSteps[] = {milliseconds(1), milliseconds(2), milliseconds(5),
                                     milliseconds(10), milliseconds(20)};
  const milliseconds step = kSteps[std::min<std::size_t>(attempt, std::size(kSteps) - 1)];
  std::this_thread::sleep_for(std::min<Clock::duration>(step, until - now));
  return 1;
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
