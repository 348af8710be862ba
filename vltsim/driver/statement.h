// Statement: one SELECT on the stand-in server, streamed row by row from SQLite, with the
// column descriptions and the SQLGetData conversions. Used under its connection's lock, except
// Cancel, which any thread may call at any time.
#pragma once

#include <sqlite3.h>

#include <string>
#include <vector>

#include "vltsim/driver/attributes.h"
#include "vltsim/driver/column_type.h"
#include "vltsim/driver/connect_settings.h"
#include "vltsim/driver/diagnostics.h"
#include "vltsim/driver/interruption.h"
#include "vltsim/driver/value_convert.h"

namespace kelvan::vltsim {

class Connection;

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
  // SQLSetStmtAttr/SQLGetStmtAttr: a forward-only, read-only cursor of one row at a time.
  AttributeSet& Attributes() { return attributes_; }

  // Compiles one SELECT, escapes translated, its rows scrambled when the connection asks for it
  // and the SELECT has no ORDER BY. Throws RaisedError: 42S02 missing table, 42000 other SQL
  // errors and anything but a single SELECT, HY000 other SQLite failures.
  void Prepare(const std::string& sql);
  // Runs the prepared SELECT and reads ahead its first row (which also types computed
  // columns). Counts as an execution for the connection's fault injection. Execute, ExecDirect
  // and Fetch throw RaisedError HY008 when cancelled, HYT00 past the query timeout.
  void Execute();
  void ExecDirect(const std::string& sql);
  // SQL_CLOSE: ends the cursor, keeps the prepared statement.
  void Close();
  // Ends the execution or fetch under way on another thread; does nothing to an idle statement.
  void Cancel() { interruption_.Cancel(); }

  int ColumnCount() const { return static_cast<int>(columns_.size()); }
  // 1-based; throws 07009 for a number that is no column.
  const ColumnInfo& Column(SQLUSMALLINT number) const;
  // The type code as the application's ODBC version expects it.
  SQLSMALLINT ReportedType(const ColumnInfo& column) const;

  // SQL_SUCCESS for a row, SQL_NO_DATA after the last.
  SQLRETURN Fetch();
  // One column of the current row. Text comes in pieces over repeated calls (01004 while
  // some is left, SQL_NO_DATA once all was returned).
  SQLRETURN GetData(SQLUSMALLINT number, SQLSMALLINT c_type, SQLPOINTER target,
                    SQLLEN buffer_length, SQLLEN* indicator);

 private:
  enum class Cursor { kClosed, kFirstRowAhead, kNoRowAhead, kOnRow, kAtEnd };

  void Finalize();
  void ScrambleRowOrder();
  void Run();
  std::chrono::seconds QueryTimeout() const;
  void HangWhenDue(HangAt point);
  void DescribeColumns(bool row_available);
  bool Step();  // true for a row, false at the end; throws on failure
  SourceValue CurrentValue(int index, bool as_text) const;
  SQLSMALLINT DefaultCType(const ColumnInfo& column) const;
  SQLRETURN GetText(const SourceValue& value, SQLPOINTER target, SQLLEN buffer_length,
                    SQLLEN* indicator);
  void HoldWhenDue();
  void BreakLinkWhenDue();

  Connection& connection_;
  AttributeSet attributes_;
  sqlite3_stmt* stmt_ = nullptr;
  std::vector<ColumnInfo> columns_;
  Cursor cursor_ = Cursor::kClosed;
  int rows_fetched_ = 0;
  // SQLGetData's progress on the current row.
  int data_column_ = 0;     // column last read, 0 for none
  size_t data_offset_ = 0;  // bytes of its text already returned
  bool data_done_ = false;  // all of it returned
  Interruption interruption_;
};

}  // namespace kelvan::vltsim
