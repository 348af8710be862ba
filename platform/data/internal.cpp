#include "platform/data/internal.h"

#include <algorithm>
#include <cctype>

#include "platform/basic/raised_error.h"

namespace kelvan::data::internal {
namespace {

class ThreadErrorList : public odbc::FailureObserver {
 public:
  void OnFailure(const std::vector<odbc::DiagnosticRecord>& records) override {
    std::vector<ErrorEntry> entries;
    for (const auto& record : records) {
      entries.push_back(
          {record.native_error, record.sql_state + ": " + record.message, record.sql_state});
    }
    DataEngine::ForThisThread().ReplaceErrors(std::move(entries));
  }
};

}  // namespace

odbc::FailureObserver* ErrorListObserver() {
  thread_local ThreadErrorList observer;
  return &observer;
}

void RaiseLayerError(std::int32_t number, std::string description) {
  throw RaisedError(number, kSource, std::move(description));
}

std::int16_t ReportedType(std::int16_t driver_type) {
  switch (driver_type) {
    case 91:  // date
    case 92:  // time
    case 93:  // timestamp
      return static_cast<std::int16_t>(driver_type - 82);
    case -8:  // wide char
      return 1;
    case -9:  // wide varchar
      return 12;
    case -10:  // wide long varchar
      return -1;
    case -5:  // bigint
    case -6:  // tinyint
    case -7:  // bit
      return 2;
    default:
      return driver_type;
  }
}

size_t InsertLimits::RowsPerStatement(size_t columns) const {
  return std::clamp<size_t>(max_parameters / std::max<size_t>(columns, 1), 1, max_rows);
}

namespace {

bool Names(std::string_view dbms_name, std::string_view part) {
  return std::search(dbms_name.begin(), dbms_name.end(), part.begin(), part.end(),
                     [](char a, char b) { return std::tolower(a) == std::tolower(b); }) !=
         dbms_name.end();
}

}  // namespace

bool TransactionsEndCursors(std::string_view dbms_name) { return Names(dbms_name, "sqlite"); }

bool ReadsBackslashEscapes(std::string_view dbms_name) {
  return Names(dbms_name, "mariadb") || Names(dbms_name, "mysql");
}

InsertLimits InsertLimitsFor(std::string_view dbms_name) {
  auto names = [dbms_name](std::string_view part) { return Names(dbms_name, part); };
  // Multi-row INSERTs cost the server dearly per marker (and psqlodbc loses track of statements
  // beyond about 7,500 of them): columns go as arrays.
  if (names("postgres")) return {7000, 1000, true};
  // SQLite takes 32,766 markers; its inserts run in the process and gain up to 1,000 rows.
  if (names("sqlite")) return {30000, 1000};
  if (names("mariadb") || names("mysql")) return {7000, 250};
  return {};  // within the 2,100 markers of the strictest servers
}

odbc::StatementHandle ConnectionState::NewStatement() {
  odbc::StatementHandle stmt = odbc::StatementHandle::Allocate(dbc);
  if (query_timeout_seconds > 0) odbc::SetQueryTimeout(stmt, query_timeout_seconds);
  return stmt;
}

void TransactionSlot::Begin() {
  if (Held()) return;
  if (connection_.transaction_holder != nullptr) connection_.transaction_holder->Commit();
  if (connection_.transactions_end_cursors && connection_.reading_cursors > 0) return;
  odbc::SetAutocommit(connection_.dbc, false, ErrorListObserver());
  connection_.transaction_holder = this;
}

void TransactionSlot::Commit() {
  if (!Held()) return;
  try {
    odbc::EndTransaction(connection_.dbc, true, ErrorListObserver());
  } catch (const RaisedError&) {
    Rollback();
    throw;
  }
  connection_.transaction_holder = nullptr;
  odbc::SetAutocommit(connection_.dbc, true, ErrorListObserver());
}

void TransactionSlot::Rollback() noexcept {
  if (!Held()) return;
  connection_.transaction_holder = nullptr;
  // The failure that led here is already raised and listed; these calls must not replace it.
  try {
    odbc::EndTransaction(connection_.dbc, false, nullptr);
    odbc::SetAutocommit(connection_.dbc, true, nullptr);
  } catch (const RaisedError&) {
    // A connection that cannot roll back is broken; its next statement reports that.
  }
}

void ConnectionState::FlushWriters() {
  // A flush may raise; the writers not reached yet keep their rows for the next statement.
  for (RowWriter* writer : writers) writer->Flush();
}

void ConnectionState::SettleWriters() noexcept {
  for (RowWriter* writer : writers) writer->Settle();
}

std::string ConnectionState::QuoteIdentifier(std::string_view name) const {
  std::string quote = identifier_quote == " " ? std::string() : identifier_quote;
  if (quote.empty()) return std::string(name);
  std::string quoted = quote;
  for (char c : name) {
    quoted += c;
    if (quote.size() == 1 && c == quote[0]) quoted += c;
  }
  return quoted + quote;
}

}  // namespace kelvan::data::internal
