// Helpers of the tests of the tables derived from SUMMARY: one destination per database type
// with the schema applied, made once per test process and emptied before each test. Test main
// thread only.
#pragma once

#include <map>
#include <string>

#include "engine/engine_test_support.h"

namespace kelvan::engine::testing {

// A new destination of `kind` with the schema applied: for tests that change table definitions.
inline ScratchDatabase FreshSchemaDatabase(Destination kind) {
  ScratchDatabase db = kelvan::testing::CreateScratchDatabase(kind, "derived");
  ApplyDestinationSchema(db);
  return db;
}

// The shared destination of `kind`, with SUMMARY, SUMMARYHOUR and SIMUL_ACTIVITY emptied.
inline const ScratchDatabase& EmptiedSchemaDatabase(Destination kind) {
  static std::map<Destination, ScratchDatabase> databases;
  auto found = databases.find(kind);
  if (found == databases.end()) found = databases.emplace(kind, FreshSchemaDatabase(kind)).first;
  ExecuteOnDestination(found->second,
                       "DELETE FROM SUMMARY; DELETE FROM SUMMARYHOUR; DELETE FROM SIMUL_ACTIVITY;");
  return found->second;
}

}  // namespace kelvan::engine::testing
