// Statement: one SELECT (or catalog query) on the stand-in server, streamed from SQLite in
// rowsets, with its parameters, the column descriptions, and the conversions of bound columns
// and SQLGetData. Used under its connection's lock, except
// Cancel, which any thread may call at any time.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "vltsim/driver/attributes.h"
#include "vltsim/driver/catalog.h"
#include "vltsim/driver/column_type.h"
#include "vltsim/driver/connect_settings.h"
#include "vltsim/driver/diagnostics.h"
#include "vltsim/driver/interruption.h"
#include "vltsim/driver/parameters.h"
#include "vltsim/driver/value_convert.h"

namespace kelvan::vltsim {

class Connection;

// What one value's transfer into an application buffer did. Small enough to come back in
// registers: every SQLGetData makes one.
struct ValueTransfer {
  const char* warning = nullptr;  // 01004 or 01S07
  std::uint32_t consumed = 0;     // bytes of text written (SQLite texts stay below 2^31)
  bool complete = true;           // nothing of the value is left
};

// A column buffer of SQLBindCol: where row 0 of a rowset goes.
struct ColumnBinding {
  SQLSMALLINT c_type = SQL_C_CHAR;
  SQLPOINTER target = nullptr;
  SQLLEN buffer_length = 0;
  SQLLEN* indicator = nullptr;
};

struct ColumnInfo {
  std::string name;  // as SQLite names it: the declared name, or the alias
  ColumnType type;
};

class Statement : public Handle {
 public:
  explicit Statement(Connection& connection);
  ~Statement() override;

  std::mutex& Lock() override;
  Connection& Conn() { return connection_; }
  // SQLSetStmtAttr/SQLGetStmtAttr: a forward-only, read-only cursor; a fetch fills a rowset of
  // SQL_ATTR_ROW_ARRAY_SIZE rows, bound column-wise or row-wise.
  const AttributeSet& Attributes() const { return attributes_; }
  SQLRETURN SetAttribute(SQLINTEGER attribute, SQLULEN value);

  // Compiles one SELECT, escapes translated, its rows scrambled when the connection asks for it
  // and the SELECT has no ORDER BY. Throws RaisedError: 42S02 missing table, 42000 other SQL
  // errors and anything but a single SELECT, HY000 other SQLite failures.
  void Prepare(const std::string& sql);
  // Runs the prepared SELECT and reads ahead its first row (which also types computed
  // columns). Counts as an execution for the connection's fault injection. Execute, ExecDirect
  // and Fetch throw RaisedError HY008 when cancelled, HYT00 past the query timeout.
  void Execute();
  void ExecDirect(const std::string& sql);
  // Runs a catalog function's query as the statement's result.
  void ExecCatalog(const CatalogQuery& query);
  // SQL_CLOSE: ends the cursor, keeps the prepared statement.
  void Close();
  // Ends the execution or fetch under way on another thread; does nothing to an idle statement.
  // IgnoreCancel=1 plays a driver that accepts the cancel and goes on waiting.
  void Cancel();

  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  // 1-based; throws 07009 for a number that is no column.
  const ColumnInfo& Column(SQLUSMALLINT number) const;
  // The type code as the application's ODBC version expects it.
  SQLSMALLINT ReportedType(const ColumnInfo& column) const;

  int OdbcVersion() const;

  // SQLBindCol (a null target unbinds) and SQLFreeStmt(SQL_UNBIND).
  void BindColumn(SQLUSMALLINT number, const ColumnBinding& binding);
  void UnbindColumns() { bindings_.clear(); }
  // SQLBindParameter, SQLFreeStmt(SQL_RESET_PARAMS), SQLNumParams.
  void BindParameter(SQLUSMALLINT number, const ParameterBinding& binding);
  void ResetParameters() { parameters_.clear(); }
  int ParameterCount() const;

  // Fills the next rowset into the bound columns: SQL_SUCCESS for at least one row (with info
  // when a value was truncated or, in a rowset of several rows, a row failed), SQL_NO_DATA
  // after the last.
  SQLRETURN Fetch();
  // One column of the current row (rowsets of one row only). Text comes in pieces over
  // repeated calls (01004 while some is left, SQL_NO_DATA once all was returned).
  SQLRETURN GetData(SQLUSMALLINT number, SQLSMALLINT c_type, SQLPOINTER target,
                    SQLLEN buffer_length, SQLLEN* indicator);

 private:
  enum class Cursor { kClosed, kFirstRowAhead, kNoRowAhead, kOnRow, kAtEnd };

  // The rowset attributes as the last SetAttribute left them: read at every fetch.
  struct RowsetLayout {
    SQLULEN size = 1;
    SQLULEN bind_type = SQL_BIND_BY_COLUMN;
    const SQLLEN* bind_offset = nullptr;
    SQLUSMALLINT* statuses = nullptr;
    SQLULEN* fetched = nullptr;
  };

  void Finalize();
  void Compile(const std::string& text);
  void ScrambleRowOrder();
  void Run();
  std::chrono::seconds QueryTimeout() const;
  void HangWhenDue(HangAt point);
  void DescribeColumns(bool row_available);
  bool Step();  // true for a row, false at the end; throws on failure
  SourceValue CurrentValue(int index, bool as_text) const;
  SQLSMALLINT DefaultCType(const ColumnInfo& column) const;
  bool NextRow();
  void WriteBoundRow(SQLULEN row);
  SQLPOINTER RowAddress(SQLPOINTER base, SQLULEN row, SQLLEN element_size) const;
  SQLRETURN Warn(const char* state) {
    return state == nullptr ? SQLRETURN{SQL_SUCCESS} : AddWarning(state);
  }
  SQLRETURN AddWarning(const char* state);
  void HoldWhenDue();
  void BreakLinkWhenDue();

  Connection& connection_;
  AttributeSet attributes_;
  RowsetLayout rowset_;
  sqlite3_stmt* stmt_ = nullptr;
  std::vector<ColumnInfo> columns_;
  std::vector<ColumnType> fixed_types_;  // a catalog result's column types; empty otherwise
  std::map<SQLUSMALLINT, ColumnBinding> bindings_;
  ParameterBindings parameters_;
  Cursor cursor_ = Cursor::kClosed;
  int rows_fetched_ = 0;
  // SQLGetData's progress on the current row.
  int data_column_ = 0;     // column last read, 0 for none
  size_t data_offset_ = 0;  // bytes of its text already returned
  bool data_done_ = false;  // all of it returned
  Interruption interruption_;
};

}  // namespace kelvan::vltsim
