#include "platform/odbc/diagnostics.h"

#include <sqlext.h>

#include <algorithm>

namespace kelvan::odbc {
namespace {

// A driver whose SQLError keeps answering with the same record would otherwise never let go.
constexpr int kMaxRecordsPerHandle = 64;
constexpr SQLSMALLINT kMessageBufferSize = 1024;

std::string CleanMessage(const SQLCHAR* text, SQLSMALLINT length) {
  size_t size = std::clamp<SQLSMALLINT>(length, 0, kMessageBufferSize - 1);
  std::string message(reinterpret_cast<const char*>(text), size);
  message.resize(std::min(message.size(), message.find('\0')));
  std::replace_if(
      message.begin(), message.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  message.erase(message.find_last_not_of(" \t") + 1);
  return message;
}

void ReadRecords(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, std::vector<DiagnosticRecord>& out) {
  for (int i = 0; i < kMaxRecordsPerHandle; ++i) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLCHAR message[kMessageBufferSize] = {};
    SQLSMALLINT length = 0;
    SQLRETURN rc = SQLError(env, dbc, stmt, state, &native, message, kMessageBufferSize, &length);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) return;
    out.push_back({std::string(reinterpret_cast<char*>(state)), static_cast<std::int32_t>(native),
                   CleanMessage(message, length)});
  }
}

}  // namespace

bool Succeeded(SQLRETURN rc) {
  return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA;
}

std::vector<DiagnosticRecord> ReadDiagnostics(const Handles& handles) {
  std::vector<DiagnosticRecord> records;
  if (handles.stmt != SQL_NULL_HSTMT) {
    ReadRecords(SQL_NULL_HENV, SQL_NULL_HDBC, handles.stmt, records);
  }
  if (handles.dbc != SQL_NULL_HDBC)
    ReadRecords(SQL_NULL_HENV, handles.dbc, SQL_NULL_HSTMT, records);
  if (handles.env != SQL_NULL_HENV) {
    ReadRecords(handles.env, SQL_NULL_HDBC, SQL_NULL_HSTMT, records);
  }
  return records;
}

std::string DescribeDiagnostics(std::string_view function, SQLRETURN rc,
                                const std::vector<DiagnosticRecord>& records) {
  if (records.empty()) {
    return std::string(function) + " failed with return code " + std::to_string(rc);
  }
  std::string text;
  for (const DiagnosticRecord& record : records) {
    if (!text.empty()) text += "; ";
    text += record.sql_state + ": " + record.message;
  }
  return text;
}

RaisedError OdbcError(std::string_view function, SQLRETURN rc,
                      const std::vector<DiagnosticRecord>& records) {
  return RaisedError(kErrOdbcCall, std::string(function),
                     DescribeDiagnostics(function, rc, records),
                     records.empty() ? std::string() : records.front().sql_state);
}

void Check(SQLRETURN rc, const Handles& handles, std::string_view function,
           FailureObserver* observer) {
  if (Succeeded(rc)) return;
  std::vector<DiagnosticRecord> records = ReadDiagnostics(handles);
  if (observer != nullptr) observer->OnFailure(records);
  throw OdbcError(function, rc, records);
}

}  // namespace kelvan::odbc
