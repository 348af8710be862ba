// ClientErrors and ServerErrors: the activity log's messages of chosen severities, loaded
// incrementally into CLIENTERRORS and SERVERERRORS from the newest message held for the server,
// with an overlap at that very time.
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <vector>

#include "engine/engine_text.h"
#include "engine/qb_obj.h"
#include "engine/source_connection.h"
#include "engine/source_value.h"
#include "engine/unfitting_values.h"
#include "platform/basic/clock.h"
#include "platform/basic/timestamp.h"
#include "platform/basic/utf8_text.h"

namespace kelvan::engine {
namespace {

// One column of the activity-log query, by position, and where it goes.
struct LogColumn {
  const char* destination;
  SQLSMALLINT c_type;          // SQL_C_TIMESTAMP, SQL_C_LONG or SQL_C_CHAR
  std::size_t characters = 0;  // SQL_C_CHAR only: a longer text is left unset, not stored cut
  bool blank_quotes = false;   // double quotes become blanks (they would break the report's SQL)
};

constexpr std::array kClientColumns = {
    LogColumn{"DATE_TIME", SQL_C_TIMESTAMP},  LogColumn{"MSGNO", SQL_C_LONG},
    LogColumn{"SEVERITY", SQL_C_CHAR, 4},     LogColumn{"MESSAGE", SQL_C_CHAR, 255, true},
    LogColumn{"NODE_NAME", SQL_C_CHAR, 64},   LogColumn{"SCHEDULE", SQL_C_CHAR, 30},
    LogColumn{"DOMAIN_NAME", SQL_C_CHAR, 30}, LogColumn{"SESSION_ID", SQL_C_LONG}};
constexpr std::array kServerColumns = {
    LogColumn{"DATE_TIME", SQL_C_TIMESTAMP}, LogColumn{"MSGNO", SQL_C_LONG},
    LogColumn{"MESSAGE", SQL_C_CHAR, 255, true}, LogColumn{"SEVERITY", SQL_C_CHAR, 4}};

constexpr std::int16_t kTimestampType = 11;  // the destination type code read as a timestamp

// What tells the two loads apart.
struct ErrorTable {
  bool client;
  const char* operation;    // "ClientErrors"
  const char* sql_table;    // as the SQL texts write it
  const char* shown_table;  // as the trace lines name it
  const char* select;       // the source query before its date and severity condition
  const char* overlap;      // between the server name and the starting date
  std::span<const LogColumn> columns;
};

constexpr ErrorTable kClient{
    true,
    "ClientErrors",
    "CLIENTERRORS",
    "CLIENTERRORS",
    "SELECT DATE_TIME, MSGNO, SEVERITY, MESSAGE, NODENAME, SCHEDNAME, DOMAINNAME, SESSID"
    " from ACTLOG where ORIGINATOR = 'CLIENT'",
    "' and DATE_TIME>=",
    kClientColumns};
constexpr ErrorTable kServer{false,
                             "ServerErrors",
                             "ServerErrors",
                             "SERVERERRORS",
                             "SELECT DATE_TIME, MSGNO, MESSAGE, SEVERITY"
                             " from ACTLOG where ORIGINATOR = 'SERVER'",
                             "' and DATE_TIME >= ",
                             kServerColumns};

// A text longer than the column's characters is left unset rather than stored cut.
std::optional<data::Value> ReadLogText(SQLHSTMT stmt, SQLUSMALLINT position,
                                       const LogColumn& column) {
  std::optional<std::string> text = ReadSourceText(stmt, position, column.characters);
  if (!text || Utf8Length(*text) > column.characters) return std::nullopt;
  if (column.blank_quotes) std::replace(text->begin(), text->end(), '"', ' ');
  return data::Value(std::move(*text));
}

class ErrorTableRun : public OperationRun {
 public:
  ErrorTableRun(QbObj& engine, const ErrorTable& table, const std::string& server,
                const std::string& source_cnn, const DataSource& data_source,
                const std::string& severity)
      : engine_(engine),
        table_(table),
        server_(server),
        source_cnn_(source_cnn),
        data_source_(data_source),
        severity_(severity),
        source_(engine.trace(), SourceTraceStyle::kPlain),
        unfitting_(engine.trace(), table.shown_table) {}

  std::int16_t Execute();

  std::string Name() const override { return table_.operation; }
  std::string DescriptionPrefix() const override {
    return table_.client ? "CLIENTERRORS: Error accessing data." : "Error copying data.";
  }
  std::string FailureLine(const RaisedError& e) const override {
    return "Error in " + Name() + ": " + e.Source() + (table_.client ? "" : " - ") +
           e.Description();
  }
  void Release() noexcept override {
    source_.Release();
    cursor_.reset();
  }

 private:
  void Start();
  void FindStartingDate();
  void CountSourceRows();
  void RunSourceQuery();
  void DeleteOverlap();
  void CopyRows();
  void CopyColumn(size_t i, data::Column& target);
  void Finish();

  void Trace(const std::string& message, std::int16_t level) { engine_.Trace(message, level); }
  std::string Condition() const {
    return " and DATE_TIME >= " + starting_date_ + " and (" + severity_ + ")";
  }
  std::string PrefixedTable() const { return TablePrefix(data_source_) + table_.sql_table; }

  QbObj& engine_;
  const ErrorTable& table_;
  const std::string& server_;
  const std::string& source_cnn_;
  const DataSource& data_source_;
  const std::string& severity_;
  SourceConnection source_;
  data::Connection* destination_ = nullptr;  // owned by the engine's cache
  std::optional<data::ResultSet> cursor_;
  std::string srv_;            // server name quoted for SQL
  std::string last_date_;      // as the destination returned it
  std::string starting_date_;  // a source timestamp literal
  double start_ = 0;
  std::int32_t rows_copied_ = 0;
  UnfittingValues unfitting_;
};

std::int16_t ErrorTableRun::Execute() {
  Start();
  engine_.ChooseCursorDriver();
  source_.Open(source_cnn_);
  destination_ = &engine_.OpenDestinationConnection(data_source_);
  FindStartingDate();
  if (table_.client && engine_.trace().level() == 3) CountSourceRows();
  RunSourceQuery();
  DeleteOverlap();
  CopyRows();
  Finish();
  return 0;
}

void ErrorTableRun::Start() {
  start_ = engine_.MarkOperationStart();
  engine_.ResetPseudoIndex();
  srv_ = QuoteSqlText(server_);
  Trace(std::string("===Entering Function ") + table_.operation +
            "-Start Time = " + FormatNumber(start_),
        2);
  Trace("Server Name = " + server_, 3);
  Trace("Source Connection = " + CutBeforePassword(source_cnn_), 3);
  Trace("Data Source = " + data_source_.Name(), 3);
}

void ErrorTableRun::FindStartingDate() {
  std::string query = "SELECT max(DATE_TIME) as LAST_DATE from " + PrefixedTable() +
                      " where EXT_SERVER_NAME = '" + srv_ + "'";
  Trace("Running the following query: " + query, 2);
  cursor_ =
      destination_->OpenResultSet(query, data::CursorType::kForwardOnly, data::LockType::kReadOnly);
  Trace("Result set successfully opened on destination.", 3);
  const data::Value* last =
      cursor_->EndOfData() ? nullptr : &cursor_->ColumnNamed("LAST_DATE").GetValue();
  last_date_ = last && !last->IsNull()
                   ? last->ToText()
                   : FormatTimestamp(AddDays(StartOfDay(CurrentClock().Now()), -1));
  Trace("Starting Date = " + last_date_, 2);
  cursor_->Close();
  cursor_.reset();
  std::string formatted = FormatTimestampText(last_date_);
  starting_date_ = source_.NativeSqlText("{ts '" + formatted + "'}");
  if (starting_date_.empty()) starting_date_ = "'" + formatted + "'";
}

// Informative only: what follows runs whatever the count says.
void ErrorTableRun::CountSourceRows() {
  source_.AllocateStatement(false);
  CheckSourceCall(
      source_.ExecDirect("SELECT COUNT (*) as RecNo from ACTLOG where ORIGINATOR = 'CLIENT'" +
                         Condition()),
      source_.handles(), "SQLExecDirect");
  const std::optional<std::int64_t> count =
      source_.Fetch() ? ReadSourceInteger(source_.statement(), 1) : std::nullopt;
  if (count.value_or(0) > 0) {
    Trace("Found " + std::to_string(*count) + " record(s) from VLT", 3);
  } else {
    Trace("No Records on VLT to Copy", 3);
  }
  source_.FreeStatement();
}

void ErrorTableRun::RunSourceQuery() {
  // In time order: rows commit as they are read, and a retry restarts from the newest time held.
  std::string query = table_.select + Condition() + " order by DATE_TIME";
  source_.AllocateStatement();
  Trace("Running the following query: " + query, 2);
  CheckSourceCall(source_.ExecDirect(query), source_.handles(), "SQLExecDirect");
  Trace("Executed SQL Statement Okay", 3);
}

void ErrorTableRun::DeleteOverlap() {
  std::string query = "SELECT * from " + PrefixedTable() + " where EXT_SERVER_NAME = '" + srv_ +
                      table_.overlap + engine_.DestinationTimestampLiteral(starting_date_);
  Trace("Running the following query: " + query, 2);
  cursor_ = destination_->OpenResultSet(query, data::CursorType::kDynamic,
                                        data::LockType::kPessimistic, data::Execution::kDirect);
  Trace("Result set successfully opened on destination.", 3);
  Trace(std::string("Deleting records from ") + table_.shown_table +
            " whose DATE_TIME column equals " + last_date_,
        3);
  std::int64_t deleted = 0;
  for (; !cursor_->EndOfData(); cursor_->MoveNext()) {
    cursor_->Delete();
    ++deleted;
  }
  engine_.counts().rows_deleted += deleted;
  std::string count = std::to_string(deleted);
  Trace(table_.client ? "Successfully deleted " + count + " rows from CLIENTERRORS table."
                      : "Successfully deleted (" + count + ") :" +
                            std::to_string(cursor_->RowCount()) + " rows from SERVERERRORS table.",
        2);
}

void ErrorTableRun::CopyRows() {
  data::Column& server = cursor_->ColumnNamed("EXT_SERVER_NAME");
  data::Column& pseudo_index = cursor_->ColumnNamed("PSEUDO_INDEX");
  std::vector<data::Column*> targets;
  for (const LogColumn& column : table_.columns) {
    targets.push_back(&cursor_->ColumnNamed(column.destination));
  }
  while (source_.Fetch()) {
    ++engine_.counts().rows_read;
    cursor_->AddNew();
    server.SetValue(data::Value(server_));
    pseudo_index.SetValue(data::Value(engine_.PseudoIndexNumberGenerator()));
    for (size_t i = 0; i < targets.size(); ++i) CopyColumn(i, *targets[i]);
    cursor_->Update();
    ++rows_copied_;
    ++engine_.counts().rows_added;
  }
}

void ErrorTableRun::CopyColumn(size_t i, data::Column& target) {
  const LogColumn& column = table_.columns[i];
  const auto position = static_cast<SQLUSMALLINT>(i + 1);
  std::optional<data::Value> value;
  if (column.c_type == SQL_C_TIMESTAMP) {
    value = ReadSourceValue(source_.statement(), position, kTimestampType, 0).value;
  } else if (column.c_type == SQL_C_CHAR) {
    value = ReadLogText(source_.statement(), position, column);
  } else if (std::optional<std::int64_t> number =
                 ReadSourceInteger(source_.statement(), position)) {
    value = IntegerValueFor(*number, target.Type());
    if (!value) {
      unfitting_.Note(column.destination, *number);
      ++engine_.counts().values_unset;
    }
  }
  if (value) target.SetValue(std::move(*value));
}

void ErrorTableRun::Finish() {
  // Rows held back for batch writing are written before success is reported.
  cursor_->Close();
  cursor_.reset();
  Trace("", 3);
  Trace("Successfully copied " + std::to_string(rows_copied_) + " row(s) to " +
            (table_.client ? "CLIENTERRORS" : "SERVERERROR") + " (" +
            FormatTime(CurrentClock().Now()) + ")",
        1);
  unfitting_.TraceCount();
  source_.Release();
  if (table_.client) {
    Trace("Exiting function ClientErrors Time:>" +
              FormatNumber(CurrentClock().SecondsSinceMidnight() - start_),
          3);
  }
}

std::int16_t LoadErrorTable(QbObj& engine, const ErrorTable& table, const std::string& server,
                            const std::string& source_cnn, const DataSource& data_source,
                            const std::string& severity) {
  ErrorTableRun run(engine, table, server, source_cnn, data_source, severity);
  engine.counts() = {};
  return engine.RunOperation(run, [&run] { return run.Execute(); });
}

}  // namespace

std::int16_t QbObj::ClientErrors(const std::string& strServerName, const std::string& strSourceCnn,
                                 DataSource& DataSource, const std::string& strSeverity) {
  return LoadErrorTable(*this, kClient, strServerName, strSourceCnn, DataSource, strSeverity);
}

std::int16_t QbObj::ServerErrors(const std::string& strServerName, const std::string& strSourceCnn,
                                 DataSource& DataSource, const std::string& strSeverity) {
  return LoadErrorTable(*this, kServer, strServerName, strSourceCnn, DataSource, strSeverity);
}

}  // namespace kelvan::engine
