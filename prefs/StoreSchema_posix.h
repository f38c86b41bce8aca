// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// For the POSIX store's own files: SQLite handles, its results in the registry's codes, one
// write transaction, and the schema: what a file holds and the tables it is made to hold.

#include <sqlite3.h>

#include <memory>

#include "prefs/RegistryApi.h"

namespace pelorin::regapi {

struct DbCloser {
  void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
};
using Db = std::unique_ptr<sqlite3, DbCloser>;

struct StmtFinalizer {
  void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Stmt = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

// SQLite's result as the registry's code (the errno behind it where one is known).
SysError FromSqlite(sqlite3* db, int rc);
SysError Exec(sqlite3* db, const char* sql);

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

// What the file holds: our tables (whatever else another version keeps beside them), nothing
// of ours yet, something else, or no database at all.
enum class Shape { kEmpty, kOurs, kForeign, kNoDatabase };

// Reads what the file holds and its schema version; gives SQLite's result when that cannot be
// told.
int ReadShape(sqlite3* db, Shape& shape, int& version);
// Makes what is missing of the tables; a store without a schema version gets this one's.
SysError MakeTables(sqlite3* db, int version);

}  // namespace pelorin::regapi
