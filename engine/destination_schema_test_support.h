// The destination schema of schema/ applied to a scratch database, for the engine's tests that
// work on the real destination tables. Test main thread only.
#pragma once

#include "tests/support/odbc_sandbox.h"

namespace kelvan::engine::testing {

inline void ApplyDestinationSchema(const kelvan::testing::ScratchDatabase& db) {
  using kelvan::testing::Destination;
  const char* file = db.kind == Destination::kSqlite     ? "schema/sqlite.sql"
                     : db.kind == Destination::kPostgres ? "schema/postgresql.sql"
                                                         : "schema/mariadb.sql";
  kelvan::testing::RunSqlScript(db, kelvan::testing::SourcePath(file));
}

}  // namespace kelvan::engine::testing
