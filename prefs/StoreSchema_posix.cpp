// SPDX-License-Identifier: GPL-3.0-or-later
#include "prefs/StoreSchema_posix.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <initializer_list>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "prefs/StoreFolder_posix.h"

namespace pelorin::regapi {

namespace {

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

// The schema's version, kept in the file's header (PRAGMA user_version): 0 in stores made
// before it was kept, which are the same.
constexpr int kSchemaVersion = 1;

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         sqlite3_strnicmp(a.data(), b.data(), static_cast<int>(a.size())) == 0;
}

struct Table {
  const char* name;
  const char* create;
  std::initializer_list<std::string_view> columns;  // those used here
};
const Table kTables[] = {
    {"keys",
     "CREATE TABLE IF NOT EXISTS keys(root INTEGER NOT NULL, path TEXT NOT NULL COLLATE NOCASE,"
     " PRIMARY KEY(root, path)) WITHOUT ROWID",
     {"root", "path"}},
    {"vals",
     "CREATE TABLE IF NOT EXISTS vals(root INTEGER NOT NULL, key TEXT NOT NULL COLLATE NOCASE,"
     " name TEXT NOT NULL COLLATE NOCASE, type INTEGER NOT NULL, data BLOB NOT NULL,"
     " PRIMARY KEY(root, key, name)) WITHOUT ROWID",
     {"root", "key", "name", "type", "data"}}};

// Steps a query to its end, handing each row to row.
template <typename Row>
int EachRow(sqlite3* db, const char* sql, const char* parameter, Row row) {
  sqlite3_stmt* raw = nullptr;
  int rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
  const Stmt stmt(raw);
  if (rc == SQLITE_OK && parameter != nullptr) {
    rc = sqlite3_bind_text(stmt.get(), 1, parameter, -1, SQLITE_STATIC);
  }
  while (rc == SQLITE_OK || rc == SQLITE_ROW) {
    rc = sqlite3_step(stmt.get());
    if (rc == SQLITE_ROW) {
      const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt.get(), 0));
      row(std::string_view(text != nullptr ? text : ""));
    }
  }
  return rc == SQLITE_DONE ? SQLITE_OK : rc;
}

// Whether the table has every column used here.
int HasColumns(sqlite3* db, const Table& table, bool& has) {
  std::size_t found = 0;
  const int rc = EachRow(
      db, "SELECT name FROM pragma_table_info(?1)", table.name, [&](std::string_view column) {
        found += std::count_if(table.columns.begin(), table.columns.end(),
                               [&](std::string_view c) { return EqualNoCase(c, column); });
      });
  has = found == table.columns.size();
  return rc;
}

}  // namespace

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

SysError Exec(sqlite3* db, const char* sql) {
  return FromSqlite(db, sqlite3_exec(db, sql, nullptr, nullptr, nullptr));
}

int ReadShape(sqlite3* db, Shape& shape, int& version) {
  int ours = 0;
  int others = 0;
  bool broken = false;
  std::vector<const Table*> present;
  int rc = EachRow(db,
                   "SELECT name FROM sqlite_master WHERE type='table'"
                   " AND name NOT LIKE 'sqlite!_%' ESCAPE '!'",
                   nullptr, [&](std::string_view name) {
                     const auto it =
                         std::find_if(std::begin(kTables), std::end(kTables),
                                      [&](const Table& t) { return EqualNoCase(t.name, name); });
                     if (it != std::end(kTables)) {
                       present.push_back(&*it);
                     } else {
                       ++others;
                     }
                   });
  for (const Table* table : present) {
    bool has = false;
    if (rc == SQLITE_OK) {
      rc = HasColumns(db, *table, has);
    }
    ++ours;
    broken = broken || !has;
  }
  if (rc == SQLITE_OK) {
    rc = EachRow(db, "PRAGMA user_version", nullptr,
                 [&](std::string_view v) { version = std::atoi(std::string(v).c_str()); });
  }
  if (rc == SQLITE_OK) {
    // One of our tables alone is a store made part way: the other is made with it.
    shape = broken                        ? Shape::kForeign
            : ours == std::ssize(kTables) ? Shape::kOurs
            : ours > 0 || others == 0     ? Shape::kEmpty
                                          : Shape::kForeign;
    return SQLITE_OK;
  }
  if ((rc & 0xFF) == SQLITE_NOTADB || (rc & 0xFF) == SQLITE_CORRUPT) {
    shape = Shape::kNoDatabase;
    return SQLITE_OK;
  }
  return rc;
}

SysError MakeTables(sqlite3* db, int version) {
  return InTransaction(db, [db, version] {
    for (const Table& table : kTables) {
      if (SysError rc = Exec(db, table.create)) {
        return rc;
      }
    }
    if (version == 0) {
      const std::string pragma = "PRAGMA user_version=" + std::to_string(kSchemaVersion);
      return Exec(db, pragma.c_str());
    }
    return SysError{0};
  });
}

}  // namespace pelorin::regapi
