// Reading ODBC diagnostics (SQLError) and turning a failed call into a RaisedError that carries
// the first record's SQLSTATE and every record's message. Stateless; each call reads only the
// handles it is given, which belong to the calling thread.
#pragma once

#include <sql.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/basic/raised_error.h"

namespace kelvan::odbc {

struct DiagnosticRecord {
  std::string sql_state;  // five characters, e.g. "S0002"
  std::int32_t native_error = 0;
  std::string message;  // as the driver wrote it, line breaks made blanks, trailing blanks cut
  bool operator==(const DiagnosticRecord&) const = default;
};

// The handles a call was made on; leave the ones that do not apply null.
struct Handles {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
};

// True for SQL_SUCCESS, SQL_SUCCESS_WITH_INFO and SQL_NO_DATA (a DELETE that matched nothing,
// the end of a fetch).
bool Succeeded(SQLRETURN rc);

// Every pending record, statement's first, then the connection's, then the environment's.
// Reading consumes them.
std::vector<DiagnosticRecord> ReadDiagnostics(const Handles& handles);

// "STATE: message" for each record, joined by "; ", or a note of the return code when the call
// left no record.
std::string DescribeDiagnostics(std::string_view function, SQLRETURN rc,
                                const std::vector<DiagnosticRecord>& records);

// RaisedError kErrOdbcCall with `function` as source, the description above and the first
// record's SQLSTATE.
RaisedError OdbcError(std::string_view function, SQLRETURN rc,
                      const std::vector<DiagnosticRecord>& records);

// Told about every failure that Check raises, before it is raised: the data-access layer keeps
// its per-thread error list this way.
class FailureObserver {
 public:
  virtual ~FailureObserver() = default;
  virtual void OnFailure(const std::vector<DiagnosticRecord>& records) = 0;
};

// Raises OdbcError with the handles' diagnostics unless Succeeded(rc).
void Check(SQLRETURN rc, const Handles& handles, std::string_view function,
           FailureObserver* observer = nullptr);

}  // namespace kelvan::odbc
