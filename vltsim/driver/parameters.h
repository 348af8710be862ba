// The application's parameter buffers (SQLBindParameter) and their values bound into a SQLite
// statement at execution. Input parameters only. Not thread-safe: used under the statement's
// connection's lock.
#pragma once

#include <sql.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <map>

namespace kelvan::vltsim {

struct ParameterBinding {
  SQLSMALLINT c_type = SQL_C_CHAR;
  SQLSMALLINT sql_type = SQL_VARCHAR;
  SQLPOINTER value = nullptr;
  SQLLEN buffer_length = 0;
  SQLLEN* indicator = nullptr;  // length, SQL_NTS or SQL_NULL_DATA; null reads as SQL_NTS
};

using ParameterBindings = std::map<SQLUSMALLINT, ParameterBinding>;

// Reads each marker's buffers now, as ODBC defers them to execution. Dates and times become
// "yyyy-mm-dd hh:mm:ss[.f…]" texts, the form the server stores. Throws RaisedError 07002 for a
// marker without a binding, HYC00 for data at execution, HY003 for a C type it cannot read.
void BindParameterValues(sqlite3_stmt* stmt, const ParameterBindings& bindings);

}  // namespace kelvan::vltsim
