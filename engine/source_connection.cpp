#include "engine/source_connection.h"

#include <sqlext.h>

#include <algorithm>
#include <cstring>

#include "engine/engine_text.h"
#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"
#include "platform/odbc/calls.h"
#include "platform/odbc/cancellation.h"
#include "platform/odbc/connect_string.h"

namespace kelvan::engine {
namespace {

constexpr int kNameBufferLength = 256;
constexpr int kNativeBufferLength = 256;
constexpr std::int32_t kErrTooManyColumns = 9;  // "Subscript out of range"
// So that a server that stops answering fails the call instead of holding the run; generous,
// since one fetch of a large table may wait long on a busy server.
constexpr int kSourceLoginTimeoutSeconds = 30;
constexpr int kSourceQueryTimeoutSeconds = 1800;

// ODBC takes its input texts as writable buffers, and some drivers do write into them.
std::vector<SQLCHAR> WritableText(std::string_view text, size_t min_size = 0) {
  std::vector<SQLCHAR> buffer(std::max(text.size() + 1, min_size), 0);
  std::copy(text.begin(), text.end(), buffer.begin());
  return buffer;
}

std::string Now() { return FormatTimestamp(CurrentClock().Now()); }

}  // namespace

void CheckSourceCall(SQLRETURN rc, const odbc::Handles& handles, std::string_view function) {
  if (rc == SQL_SUCCESS) return;
  throw odbc::OdbcError(function, rc, odbc::ReadDiagnostics(handles));
}

RaisedError SourceCallFailure(std::string_view function, SQLRETURN rc,
                              const std::optional<odbc::DiagnosticRecord>& first) {
  std::vector<odbc::DiagnosticRecord> records;
  if (first) records.push_back(*first);
  return odbc::OdbcError(function, rc, records);
}

std::string SourceConnection::Stamp(const std::string& line) const {
  if (style_ == SourceTraceStyle::kPlain) return line;
  return line + ". Date/Time = " + Now();
}

void SourceConnection::Open(const std::string& connect_string) {
  env_ = odbc::EnvironmentHandle::Allocate();
  trace_.Write(Stamp("Allocated environment handle"), 3);
  dbc_ = odbc::ConnectionHandle::Allocate(env_);
  odbc::SetLoginTimeout(dbc_, kSourceLoginTimeoutSeconds);
  trace_.Write(Stamp("Allocated connection handle"), 3);
  std::string shown = CutBeforePassword(connect_string);
  trace_.Write("Opening Connection " + shown, 2);
  // Values braced where they need it, so a password with ";" or braces connects.
  const std::string normalized = odbc::NormalizedConnectString(connect_string);
  std::vector<SQLCHAR> in = WritableText(normalized);
  SQLCHAR out[256] = {};
  SQLSMALLINT out_length = 0;
  const odbc::CancellableCall call;
  SQLRETURN rc =
      SQLDriverConnect(dbc_.get(), nullptr, in.data(), static_cast<SQLSMALLINT>(normalized.size()),
                       out, sizeof out, &out_length, SQL_DRIVER_NOPROMPT);
  try {
    CheckSourceCall(rc, {env_.get(), dbc_.get(), SQL_NULL_HSTMT}, "SQLDriverConnect");
  } catch (const RaisedError& e) {
    throw RaisedError(e.Number(), e.Source(), HidePassword(e.Description(), connect_string),
                      e.SqlState());
  }
  trace_.Write(style_ == SourceTraceStyle::kPlain
                   ? "Opened Connection Okay " + shown
                   : "Opened Connection Okay. " + shown + " Date / Time = " + Now(),
               3);
}

void SourceConnection::AllocateStatement(bool traced) {
  stmt_.Free();
  stmt_ = odbc::StatementHandle::Allocate(dbc_);
  odbc::SetQueryTimeout(stmt_, kSourceQueryTimeoutSeconds);
  if (traced) trace_.Write(Stamp("Allocated SQL Statement Okay"), 3);
}

SQLRETURN SourceConnection::ExecDirect(const std::string& sql) {
  std::vector<SQLCHAR> text = WritableText(sql);
  const odbc::CancellableCall call(stmt_.get());
  return SQLExecDirect(stmt_.get(), text.data(), static_cast<SQLINTEGER>(sql.size()));
}

std::optional<odbc::DiagnosticRecord> SourceConnection::FirstDiagnostic() const {
  std::vector<odbc::DiagnosticRecord> records = odbc::ReadDiagnostics(handles());
  if (records.empty()) return std::nullopt;
  return records.front();
}

std::string SourceConnection::NativeSqlText(const std::string& text) {
  // One driver writes a NUL into the input at BufferLength - 1, so the input is at least as
  // long as the output buffer.
  std::vector<SQLCHAR> in = WritableText(text, kNativeBufferLength);
  SQLCHAR out[kNativeBufferLength] = {};
  SQLINTEGER out_length = 0;
  SQLNativeSql(dbc_.get(), in.data(), static_cast<SQLINTEGER>(text.size()), out,
               kNativeBufferLength, &out_length);
  out[kNativeBufferLength - 1] = 0;
  return TrimBlanks(reinterpret_cast<const char*>(out));
}

std::vector<std::string> SourceConnection::ColumnNames(int max_columns) const {
  SQLSMALLINT count = 0;
  CheckSourceCall(SQLNumResultCols(stmt_.get(), &count), handles(), "SQLNumResultCols");
  if (count > max_columns) {
    throw RaisedError(kErrTooManyColumns, "Qobra",
                      "The source result has " + std::to_string(count) + " columns; at most " +
                          std::to_string(max_columns) + " can be read");
  }
  std::vector<std::string> names;
  for (SQLUSMALLINT column = 1; column <= count; ++column) {
    SQLCHAR name[kNameBufferLength] = {};
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    CheckSourceCall(SQLDescribeCol(stmt_.get(), column, name, kNameBufferLength, &name_length,
                                   &type, &size, &digits, &nullable),
                    handles(), "SQLDescribeCol");
    size_t length = std::clamp<SQLSMALLINT>(name_length, 0, kNameBufferLength - 1);
    names.emplace_back(reinterpret_cast<const char*>(name), length);
  }
  return names;
}

bool SourceConnection::Fetch() {
  const odbc::CancellableCall call(stmt_.get());
  SQLRETURN rc = SQLFetch(stmt_.get());
  // A broken connection must not pass for the end of the data: the rows not yet read would be
  // lost without a word, and an EVENTS or snapshot load would never fetch them again.
  if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) CheckSourceCall(rc, handles(), "SQLFetch");
  return rc == SQL_SUCCESS;
}

void SourceConnection::Release() noexcept {
  stmt_.Free();
  dbc_.Free();
  env_.Free();
}

}  // namespace kelvan::engine
