// Checked ODBC calls on the handle owners, for layers that must not make raw ODBC calls (the
// destination data-access layer). Every failure goes through Check: the observer, when given,
// hears of it, then RaisedError carries the SQLSTATE and the driver's messages. Same threading
// rules as the handles they are called on.
#pragma once

#include <sql.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/odbc/diagnostics.h"
#include "platform/odbc/handles.h"

namespace kelvan::odbc {

using Length = SQLLEN;  // lengths and indicators of bound buffers
inline constexpr Length kNullData = SQL_NULL_DATA;

// The C types that values travel in.
enum class CType { kChar, kShort, kLong, kFloat, kDouble };

struct ColumnDescription {
  std::string name;
  std::int16_t sql_type = 0;  // as the driver reports it
  std::uint64_t size = 0;
  std::int16_t digits = 0;
  std::string type_name;  // the database's own name of the type; empty when the driver has none
};

enum class InfoItem { kDriverOdbcVersion, kIdentifierQuote, kDbmsName };

// SQLDriverConnect with no window and no prompt.
void DriverConnect(const ConnectionHandle& dbc, std::string_view connect_string,
                   FailureObserver* observer);
// Time-outs are set where the driver has them; a driver without them is no failure.
void SetLoginTimeout(const ConnectionHandle& dbc, int seconds);
// SQL_ATTR_CONNECTION_DEAD; false when the driver cannot tell.
bool ConnectionDead(const ConnectionHandle& dbc) noexcept;
void SetQueryTimeout(const StatementHandle& stmt, int seconds);
std::string GetInfoText(const ConnectionHandle& dbc, InfoItem item, FailureObserver* observer);

// Autocommit off opens a transaction that EndTransaction commits or rolls back; turning it back on
// commits what is open.
void SetAutocommit(const ConnectionHandle& dbc, bool on, FailureObserver* observer);
void EndTransaction(const ConnectionHandle& dbc, bool commit, FailureObserver* observer);

// SQL_NO_DATA (a searched DELETE that matched nothing) counts as success: they then return false.
bool ExecDirect(const StatementHandle& stmt, std::string_view sql, FailureObserver* observer);
void Prepare(const StatementHandle& stmt, std::string_view sql, FailureObserver* observer);
bool Execute(const StatementHandle& stmt, FailureObserver* observer);
std::int64_t RowCount(const StatementHandle& stmt, FailureObserver* observer);
// Closes the open cursor; the statement can run again.
void CloseCursor(const StatementHandle& stmt) noexcept;

// SQLColumns: one row per column of `table`, described as ODBC's catalog functions describe them
// (COLUMN_NAME 4, NULLABLE 11, COLUMN_DEF 13). An empty catalog or schema matches any.
void Columns(const StatementHandle& stmt, std::string_view catalog, std::string_view schema,
             std::string_view table, FailureObserver* observer);

int NumResultCols(const StatementHandle& stmt, FailureObserver* observer);
ColumnDescription DescribeCol(const StatementHandle& stmt, int column, FailureObserver* observer);
// True when a row was fetched, false at the end of the data.
bool Fetch(const StatementHandle& stmt, FailureObserver* observer);

// A column of the current row; nothing when it is NULL. Long texts are read in pieces.
std::optional<std::string> GetText(const StatementHandle& stmt, int column,
                                   FailureObserver* observer);
std::optional<std::int16_t> GetShort(const StatementHandle& stmt, int column,
                                     FailureObserver* observer);
std::optional<std::int32_t> GetLong(const StatementHandle& stmt, int column,
                                    FailureObserver* observer);
std::optional<float> GetFloat(const StatementHandle& stmt, int column, FailureObserver* observer);
std::optional<double> GetDouble(const StatementHandle& stmt, int column, FailureObserver* observer);

// Binds an input parameter (numbered from 1). The buffer and indicator must stay in place until
// the statement has run.
struct InputParameter {
  CType c_type = CType::kChar;
  std::int16_t sql_type = SQL_VARCHAR;
  std::uint64_t column_size = 0;
  std::int16_t digits = 0;
  void* buffer = nullptr;
  Length buffer_length = 0;
  Length* indicator = nullptr;
};
void BindInput(const StatementHandle& stmt, int number, const InputParameter& parameter,
               FailureObserver* observer);

}  // namespace kelvan::odbc
