#include "platform/odbc/calls.h"

#include <sqlext.h>

#include <limits>
#include <vector>

#include "platform/odbc/cancellation.h"

namespace kelvan::odbc {
namespace {

SQLCHAR* Text(std::string_view text) {
  // The ODBC prototypes are not const-correct; the driver only reads these buffers.
  return reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.data()));
}

SQLINTEGER TextLength(std::string_view text) {
  if (text.size() > static_cast<size_t>(std::numeric_limits<SQLINTEGER>::max())) {
    throw RaisedError(kErrOdbcCall, "ODBC", "SQL text too long");
  }
  return static_cast<SQLINTEGER>(text.size());
}

Handles Of(const StatementHandle& stmt) { return Handles{.stmt = stmt.get()}; }
Handles Of(const ConnectionHandle& dbc) { return Handles{.dbc = dbc.get()}; }

SQLSMALLINT ToSqlCType(CType type) {
  switch (type) {
    case CType::kShort:
      return SQL_C_SSHORT;
    case CType::kLong:
      return SQL_C_SLONG;
    case CType::kFloat:
      return SQL_C_FLOAT;
    case CType::kDouble:
      return SQL_C_DOUBLE;
    case CType::kChar:
      break;
  }
  return SQL_C_CHAR;
}

template <typename T>
std::optional<T> GetFixed(const StatementHandle& stmt, int column, CType type,
                          FailureObserver* observer) {
  T value{};
  SQLLEN indicator = 0;
  SQLRETURN rc = SQLGetData(stmt.get(), static_cast<SQLUSMALLINT>(column), ToSqlCType(type), &value,
                            sizeof value, &indicator);
  Check(rc, Of(stmt), "SQLGetData", observer);
  if (indicator == SQL_NULL_DATA) return std::nullopt;
  return value;
}

}  // namespace

void DriverConnect(const ConnectionHandle& dbc, std::string_view connect_string,
                   FailureObserver* observer) {
  SQLCHAR out[1024];
  SQLSMALLINT out_length = 0;
  if (connect_string.size() > 32000)
    throw RaisedError(kErrOdbcCall, "ODBC", "connect string too long");
  const CancellableCall call;
  SQLRETURN rc = SQLDriverConnect(dbc.get(), nullptr, Text(connect_string),
                                  static_cast<SQLSMALLINT>(connect_string.size()), out, sizeof out,
                                  &out_length, SQL_DRIVER_NOPROMPT);
  Check(rc, Of(dbc), "SQLDriverConnect", observer);
}

void SetLoginTimeout(const ConnectionHandle& dbc, int seconds) {
  SQLRETURN rc = SQLSetConnectAttr(dbc.get(), SQL_ATTR_LOGIN_TIMEOUT,
                                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds)), 0);
  if (!Succeeded(rc)) ReadDiagnostics(Of(dbc));  // not offered by this driver: go on without
}

bool ConnectionDead(const ConnectionHandle& dbc) noexcept {
  SQLUINTEGER dead = SQL_CD_FALSE;
  SQLRETURN rc = SQLGetConnectAttr(dbc.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  if (!Succeeded(rc)) ReadDiagnostics(Of(dbc));
  return Succeeded(rc) && dead == SQL_CD_TRUE;
}

void SetQueryTimeout(const StatementHandle& stmt, int seconds) {
  SQLRETURN rc = SQLSetStmtAttr(stmt.get(), SQL_ATTR_QUERY_TIMEOUT,
                                reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds)), 0);
  if (!Succeeded(rc)) ReadDiagnostics(Of(stmt));
}

std::string GetInfoText(const ConnectionHandle& dbc, InfoItem item, FailureObserver* observer) {
  SQLUSMALLINT type = item == InfoItem::kDriverOdbcVersion ? SQL_DRIVER_ODBC_VER
                      : item == InfoItem::kIdentifierQuote ? SQL_IDENTIFIER_QUOTE_CHAR
                                                           : SQL_DBMS_NAME;
  SQLCHAR buffer[256] = {};
  SQLSMALLINT length = 0;
  Check(SQLGetInfo(dbc.get(), type, buffer, sizeof buffer, &length), Of(dbc), "SQLGetInfo",
        observer);
  return std::string(reinterpret_cast<char*>(buffer));
}

void SetAutocommit(const ConnectionHandle& dbc, bool on, FailureObserver* observer) {
  SQLULEN value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
  Check(SQLSetConnectAttr(dbc.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0),
        Of(dbc), "SQLSetConnectAttr", observer);
}

void EndTransaction(const ConnectionHandle& dbc, bool commit, FailureObserver* observer) {
  Check(SQLEndTran(SQL_HANDLE_DBC, dbc.get(), commit ? SQL_COMMIT : SQL_ROLLBACK), Of(dbc),
        "SQLEndTran", observer);
}

bool ExecDirect(const StatementHandle& stmt, std::string_view sql, FailureObserver* observer) {
  const CancellableCall call(stmt.get());
  SQLRETURN rc = SQLExecDirect(stmt.get(), Text(sql), TextLength(sql));
  Check(rc, Of(stmt), "SQLExecDirect", observer);
  return rc != SQL_NO_DATA;
}

void Prepare(const StatementHandle& stmt, std::string_view sql, FailureObserver* observer) {
  Check(SQLPrepare(stmt.get(), Text(sql), TextLength(sql)), Of(stmt), "SQLPrepare", observer);
}

bool Execute(const StatementHandle& stmt, FailureObserver* observer) {
  const CancellableCall call(stmt.get());
  SQLRETURN rc = SQLExecute(stmt.get());
  Check(rc, Of(stmt), "SQLExecute", observer);
  return rc != SQL_NO_DATA;
}

std::int64_t RowCount(const StatementHandle& stmt, FailureObserver* observer) {
  SQLLEN count = 0;
  Check(SQLRowCount(stmt.get(), &count), Of(stmt), "SQLRowCount", observer);
  return count;
}

void CloseCursor(const StatementHandle& stmt) noexcept {
  if (stmt.get() != SQL_NULL_HSTMT) SQLFreeStmt(stmt.get(), SQL_CLOSE);
}

void Columns(const StatementHandle& stmt, std::string_view catalog, std::string_view schema,
             std::string_view table, FailureObserver* observer) {
  auto name = [](std::string_view text) { return text.empty() ? nullptr : Text(text); };
  auto length = [](std::string_view text) { return static_cast<SQLSMALLINT>(text.size()); };
  Check(SQLColumns(stmt.get(), name(catalog), length(catalog), name(schema), length(schema),
                   Text(table), length(table), nullptr, 0),
        Of(stmt), "SQLColumns", observer);
}

int NumResultCols(const StatementHandle& stmt, FailureObserver* observer) {
  SQLSMALLINT count = 0;
  Check(SQLNumResultCols(stmt.get(), &count), Of(stmt), "SQLNumResultCols", observer);
  return count;
}

ColumnDescription DescribeCol(const StatementHandle& stmt, int column, FailureObserver* observer) {
  SQLCHAR name[256] = {};
  SQLSMALLINT name_length = 0, sql_type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  SQLRETURN rc = SQLDescribeCol(stmt.get(), static_cast<SQLUSMALLINT>(column), name, sizeof name,
                                &name_length, &sql_type, &size, &digits, &nullable);
  Check(rc, Of(stmt), "SQLDescribeCol", observer);
  SQLCHAR type_name[128] = {};
  SQLSMALLINT type_name_length = 0;
  rc = SQLColAttribute(stmt.get(), static_cast<SQLUSMALLINT>(column), SQL_DESC_TYPE_NAME, type_name,
                       sizeof type_name, &type_name_length, nullptr);
  if (!SQL_SUCCEEDED(rc)) type_name[0] = 0;  // only a refinement: never a failure
  return ColumnDescription{std::string(reinterpret_cast<char*>(name)), sql_type, size, digits,
                           std::string(reinterpret_cast<char*>(type_name))};
}

bool Fetch(const StatementHandle& stmt, FailureObserver* observer) {
  const CancellableCall call(stmt.get());
  SQLRETURN rc = SQLFetch(stmt.get());
  Check(rc, Of(stmt), "SQLFetch", observer);
  return rc != SQL_NO_DATA;
}

std::optional<std::string> GetText(const StatementHandle& stmt, int column,
                                   FailureObserver* observer) {
  std::string text;
  std::vector<char> buffer(4096);
  for (;;) {
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt.get(), static_cast<SQLUSMALLINT>(column), SQL_C_CHAR,
                              buffer.data(), static_cast<SQLLEN>(buffer.size()), &indicator);
    if (rc == SQL_NO_DATA) return text;  // every piece has been read
    Check(rc, Of(stmt), "SQLGetData", observer);
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    size_t piece = (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(buffer.size()))
                       ? buffer.size() - 1
                       : static_cast<size_t>(indicator);
    text.append(buffer.data(), piece);
    if (rc == SQL_SUCCESS) return text;
  }
}

std::optional<std::int16_t> GetShort(const StatementHandle& stmt, int column,
                                     FailureObserver* observer) {
  return GetFixed<std::int16_t>(stmt, column, CType::kShort, observer);
}

std::optional<std::int32_t> GetLong(const StatementHandle& stmt, int column,
                                    FailureObserver* observer) {
  return GetFixed<std::int32_t>(stmt, column, CType::kLong, observer);
}

std::optional<float> GetFloat(const StatementHandle& stmt, int column, FailureObserver* observer) {
  return GetFixed<float>(stmt, column, CType::kFloat, observer);
}

std::optional<double> GetDouble(const StatementHandle& stmt, int column,
                                FailureObserver* observer) {
  return GetFixed<double>(stmt, column, CType::kDouble, observer);
}

void BindInput(const StatementHandle& stmt, int number, const InputParameter& parameter,
               FailureObserver* observer) {
  SQLRETURN rc = SQLBindParameter(stmt.get(), static_cast<SQLUSMALLINT>(number), SQL_PARAM_INPUT,
                                  ToSqlCType(parameter.c_type), parameter.sql_type,
                                  parameter.column_size, parameter.digits, parameter.buffer,
                                  parameter.buffer_length, parameter.indicator);
  Check(rc, Of(stmt), "SQLBindParameter", observer);
}

}  // namespace kelvan::odbc
