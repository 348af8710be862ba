// The SQL tables of the simulated VLT server: names, columns and declared types. The driver
// reports each column's SQL type from its declared type, so the types here are what a loader
// sees. Immutable after start-up; thread-safe.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelvan::vltsim {

struct SourceColumn {
  std::string name;
  std::string type;  // declared type, e.g. "VARCHAR(64)", "DECIMAL(5,1)", "TIMESTAMP"
};

struct SourceTable {
  std::string name;
  bool snapshot;  // shows the server's current state; false for the activity histories
  std::vector<SourceColumn> columns;

  int ColumnIndex(std::string_view column) const;  // -1 when absent
};

// The nineteen tables a loader may copy, in the order its table list offers them, then ACTLOG.
const std::vector<SourceTable>& SourceTables();
// The table of that exact name; throws std::out_of_range for an unknown one.
const SourceTable& FindSourceTable(std::string_view name);
std::string CreateTableSql(const SourceTable& table);

}  // namespace kelvan::vltsim
