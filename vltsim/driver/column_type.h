// The ODBC SQL type the driver reports for a result column, from SQLite's declared type or,
// for computed columns, from the first row's value. Stateless; thread-safe.
#pragma once

#include <sql.h>

#include <string_view>

namespace kelvan::vltsim {

struct ColumnType {
  SQLSMALLINT sql_type = SQL_VARCHAR;  // ODBC 3 code (91/92/93 for date, time, timestamp)
  SQLULEN size = 255;                  // column size in characters or digits
  SQLSMALLINT digits = 0;              // scale, or fraction digits of a timestamp
};

// From a declared type such as "VARCHAR(32)", "DECIMAL(12,2)" or "TIMESTAMP"; an unknown or
// empty declaration reads as VARCHAR(255).
ColumnType TypeFromDeclared(std::string_view declared);

// For a column SQLite declares no type for (an expression such as max(END_TIME)): integers
// are INTEGER (BIGINT beyond 32 bits), reals DOUBLE, texts that read as a timestamp, date or
// time are reported as such, and anything else, NULL or no row at all, VARCHAR(255).
// `sqlite_type` is sqlite3_column_type's storage class, 0 when there is no row.
ColumnType TypeFromValue(int sqlite_type, long long integer, std::string_view text);

// The code an application of `odbc_version` (2 or 3) expects: 9/10/11 for date and time
// types under ODBC 2.
SQLSMALLINT TypeForVersion(SQLSMALLINT sql_type, int odbc_version);

SQLLEN DisplaySize(const ColumnType& type);
// The bytes a value takes in its default C type (SQLColumns' BUFFER_LENGTH).
SQLLEN TransferOctetLength(const ColumnType& type);
bool IsDateTimeType(SQLSMALLINT sql_type);
bool IsTextType(SQLSMALLINT sql_type);
// The verbose type of SQL_DESC_TYPE and SQL_DATA_TYPE: one code for all date and time types
// under ODBC 3; and the subcode that tells them apart (0 for other types).
SQLSMALLINT VerboseType(SQLSMALLINT sql_type, int odbc_version);
SQLSMALLINT DateTimeSubcode(SQLSMALLINT sql_type);
const char* TypeName(SQLSMALLINT sql_type);

}  // namespace kelvan::vltsim
