// The engine's own ODBC 2 connection to a VLT server (the source of a copy or load), opened
// with its trace lines in the fixed order every operation shares, and released statement,
// connection, environment. One per operation run; used by the operation's thread only.
#pragma once

#include <sql.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/trace_log.h"
#include "platform/basic/raised_error.h"
#include "platform/odbc/diagnostics.h"
#include "platform/odbc/handles.h"

namespace kelvan::engine {

// The copy writes the time into its step lines; the error-table loads write them plain.
enum class SourceTraceStyle { kTimed, kPlain };

// Every source call but the fetch fails on anything other than SQL_SUCCESS (SQL_SUCCESS_WITH_INFO
// included): raises RaisedError kErrOdbcCall with the handles' diagnostics.
void CheckSourceCall(SQLRETURN rc, const odbc::Handles& handles, std::string_view function);
// The failure of a call whose first diagnostic record alone was read (SQLError), if it left one.
RaisedError SourceCallFailure(std::string_view function, SQLRETURN rc,
                              const std::optional<odbc::DiagnosticRecord>& first);

class SourceConnection {
 public:
  SourceConnection(TraceLog& trace, SourceTraceStyle style) : trace_(trace), style_(style) {}

  // SQLAllocEnv, SQLAllocConnect, SQLDriverConnect without prompting. The password of
  // `connect_string` reaches neither the trace nor a raised error.
  void Open(const std::string& connect_string);
  // SQLAllocStmt, after dropping the statement allocated before, if any; `traced` false leaves
  // out the "Allocated SQL Statement Okay" line (the error-table count has none).
  void AllocateStatement(bool traced = true);
  void FreeStatement() noexcept { stmt_.Free(); }

  // SQLExecDirect on the statement; the return code is the caller's to judge.
  SQLRETURN ExecDirect(const std::string& sql);
  // The first diagnostic record of the environment, connection and statement (SQLError).
  std::optional<odbc::DiagnosticRecord> FirstDiagnostic() const;
  // SQLNativeSql of `text`, before its first NUL, blanks trimmed; empty when the call fails.
  std::string NativeSqlText(const std::string& text);

  // The names of the result's columns (SQLNumResultCols, SQLDescribeCol); raises when a call
  // fails or there are more than `max_columns`.
  std::vector<std::string> ColumnNames(int max_columns) const;
  // SQLFetch: true for a row, false at the end of the data (or any other answer but an error);
  // an error (a broken connection) raises.
  bool Fetch();

  SQLHSTMT statement() const { return stmt_.get(); }
  odbc::Handles handles() const { return {env_.get(), dbc_.get(), stmt_.get()}; }

  // SQLFreeStmt(SQL_DROP), SQLDisconnect, SQLFreeConnect, SQLFreeEnv; return codes ignored.
  void Release() noexcept;

 private:
  std::string Stamp(const std::string& line) const;

  TraceLog& trace_;
  SourceTraceStyle style_;
  // Declared in this order so that they are freed statement first, environment last.
  odbc::EnvironmentHandle env_;
  odbc::ConnectionHandle dbc_;
  odbc::StatementHandle stmt_;
};

}  // namespace kelvan::engine
