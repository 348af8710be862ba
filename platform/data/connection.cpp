#include "platform/data/connection.h"

#include <algorithm>
#include <utility>

#include "platform/data/internal.h"
#include "platform/odbc/connect_string.h"

namespace kelvan::data {
namespace {

// A driver could echo the connect string in a message; the password must not reach the caller.
class ScrubbingObserver : public odbc::FailureObserver {
 public:
  explicit ScrubbingObserver(std::string secret) : secret_(std::move(secret)) {}
  void OnFailure(const std::vector<odbc::DiagnosticRecord>& records) override {
    std::vector<odbc::DiagnosticRecord> clean = records;
    for (auto& record : clean) record.message = odbc::HideSecrets(record.message, {secret_});
    internal::ErrorListObserver()->OnFailure(clean);
  }

 private:
  std::string secret_;
};

// Values are braced where they need it, so a password with ";" or braces connects.
void ConnectWithoutSecrets(const odbc::ConnectionHandle& dbc, std::string_view connect_string) {
  const std::string secret = odbc::PasswordOf(connect_string).value_or("");
  ScrubbingObserver observer(secret);
  try {
    odbc::DriverConnect(dbc, odbc::NormalizedConnectString(connect_string), &observer);
  } catch (const RaisedError& e) {
    throw RaisedError(e.Number(), e.Source(), odbc::HideSecrets(e.Description(), {secret}),
                      e.SqlState());
  }
}

// Only tunes the inserts: a driver that cannot name its database gets the cautious limits.
std::string DbmsNameOf(const odbc::ConnectionHandle& dbc) {
  try {
    return odbc::GetInfoText(dbc, odbc::InfoItem::kDbmsName, nullptr);
  } catch (const RaisedError&) {
    return "";
  }
}

bool StateSaysLost(const std::string& state) {
  return state.rfind("08", 0) == 0 || state == "57P01" || state == "57P02" || state == "57P03";
}

// MariaDB reads a backslash in a string literal as an escape unless told not to: a name ending
// in one would break, or reshape, every statement that quotes it. Its driver ignores the query
// time limit: the server's own limit per statement stands in for it.
void SetMariaDbSession(internal::ConnectionState& state, const std::string& dbms) {
  if (!internal::ReadsBackslashEscapes(dbms)) return;
  std::string sql = "SET SESSION sql_mode = CONCAT(@@SESSION.sql_mode, ',NO_BACKSLASH_ESCAPES')";
  if (dbms.find("MariaDB") != std::string::npos && state.query_timeout_seconds > 0) {
    sql += ", SESSION max_statement_time = " + std::to_string(state.query_timeout_seconds);
  }
  odbc::StatementHandle stmt = state.NewStatement();
  odbc::ExecDirect(stmt, sql, internal::ErrorListObserver());
}

// Several loaders (or -PARALLEL workers) write one SQLite file: a writer that finds it locked
// waits for the lock as long as a statement may take, instead of failing at once.
void SetSqliteSession(internal::ConnectionState& state, const std::string& dbms) {
  if (dbms.find("SQLite") == std::string::npos || state.query_timeout_seconds <= 0) return;
  odbc::StatementHandle stmt = state.NewStatement();
  odbc::ExecDirect(stmt,
                   "PRAGMA busy_timeout = " + std::to_string(state.query_timeout_seconds * 1000),
                   internal::ErrorListObserver());
}

}  // namespace

bool IsConnectionLost(const RaisedError& error) {
  if (StateSaysLost(error.SqlState())) return true;
  const std::vector<ErrorEntry>& entries = DataEngine::ForThisThread().Errors();
  return std::any_of(entries.begin(), entries.end(),
                     [](const ErrorEntry& entry) { return StateSaysLost(entry.sql_state); });
}

Connection Connection::Open(std::string_view connect_string, const ConnectOptions& options) {
  DataEngine& engine = DataEngine::ForThisThread();
  auto state = std::make_shared<internal::ConnectionState>();
  state->environment = engine.Environment();
  state->dbc = odbc::ConnectionHandle::Allocate(*state->environment);
  odbc::SetLoginTimeout(state->dbc, options.login_timeout_seconds);
  ConnectWithoutSecrets(state->dbc, connect_string);
  auto* observer = internal::ErrorListObserver();
  state->odbc_version = odbc::GetInfoText(state->dbc, odbc::InfoItem::kDriverOdbcVersion, observer);
  state->identifier_quote =
      odbc::GetInfoText(state->dbc, odbc::InfoItem::kIdentifierQuote, observer);
  const std::string dbms = DbmsNameOf(state->dbc);
  state->insert_limits = internal::InsertLimitsFor(dbms);
  state->transactions_end_cursors = internal::TransactionsEndCursors(dbms);
  state->query_timeout_seconds = options.query_timeout_seconds;
  state->cursor_driver = engine.cursor_driver();
  state->dbms_name = dbms;
  SetMariaDbSession(*state, dbms);
  SetSqliteSession(*state, dbms);
  return Connection(std::move(state));
}

Connection::Connection(std::shared_ptr<internal::ConnectionState> state)
    : state_(std::move(state)) {}

Connection::~Connection() = default;

internal::ConnectionState& Connection::State() const {
  if (!state_) internal::RaiseLayerError(kErrNoCurrentRow, "The connection is not open");
  return *state_;
}

const std::string& Connection::OdbcVersion() const { return State().odbc_version; }

const std::string& Connection::DbmsName() const { return State().dbms_name; }

CursorDriver Connection::cursor_driver() const { return State().cursor_driver; }

bool Connection::IsDead() const noexcept { return state_ && odbc::ConnectionDead(state_->dbc); }

ResultSet Connection::OpenResultSet(std::string_view sql, CursorType cursor, LockType lock,
                                    Execution execution) {
  State().FlushWriters();
  return ResultSet(state_, sql, cursor, lock, execution);
}

std::int64_t Connection::Execute(std::string_view sql) {
  internal::ConnectionState& state = State();
  rows_affected_ = 0;
  state.FlushWriters();
  odbc::StatementHandle stmt = state.NewStatement();
  auto* observer = internal::ErrorListObserver();
  rows_affected_ = odbc::ExecDirect(stmt, sql, observer) ? odbc::RowCount(stmt, observer) : 0;
  return rows_affected_;
}

}  // namespace kelvan::data
