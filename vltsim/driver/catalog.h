// The catalog functions (SQLTables, SQLColumns, SQLGetTypeInfo, SQLPrimaryKeys, SQLStatistics)
// as SELECTs over SQLite's own schema, run like any query. The server has no catalogs, schemas,
// keys or indexes it would show. Stateless; thread-safe.
#pragma once

#include <sql.h>
#include <sqlite3.h>

#include <optional>
#include <string>
#include <vector>

#include "vltsim/driver/column_type.h"

namespace kelvan::vltsim {

// A catalog argument: absent when the application passed a null pointer.
using CatalogArgument = std::optional<std::string>;

struct CatalogQuery {
  std::string sql;
  std::vector<CatalogArgument> parameters;  // bound to ?1, ?2, ... (absent binds NULL)
  std::vector<ColumnType> types;            // what each result column reports
};

// Makes the functions the catalog queries call known to `db`.
void RegisterCatalogFunctions(sqlite3* db);

// Table and column names are search patterns ("%", "_", escaped with "\"); `table_types` a
// comma-separated list such as "'TABLE','VIEW'".
CatalogQuery TablesQuery(const CatalogArgument& catalog, const CatalogArgument& schema,
                         const CatalogArgument& table, const CatalogArgument& table_types);
CatalogQuery ColumnsQuery(const CatalogArgument& catalog, const CatalogArgument& schema,
                          const CatalogArgument& table, const CatalogArgument& column,
                          int odbc_version);
// SQL_ALL_TYPES or one type code, of either ODBC version.
CatalogQuery TypeInfoQuery(SQLSMALLINT data_type, int odbc_version);
CatalogQuery PrimaryKeysQuery();
CatalogQuery StatisticsQuery();

}  // namespace kelvan::vltsim
