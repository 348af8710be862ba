// CopyTable: one table of one VLT server copied into the destination table of the same name.
// SUMMARY and EVENTS load incrementally from the newest row held, with an overlap; every other
// table loads as a dated snapshot that replaces the snapshot of the same or a later date.
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <optional>

#include "engine/engine_text.h"
#include "engine/qb_obj.h"
#include "engine/source_connection.h"
#include "engine/source_value.h"
#include "engine/unfitting_values.h"
#include "platform/basic/clock.h"
#include "platform/basic/timestamp.h"

namespace kelvan::engine {
namespace {

constexpr int kMaxSourceColumns = 300;

enum class TableKind { kSummary, kEvents, kSnapshot };

// The column an incremental copy is ordered and windowed by.
const char* TimeColumnOf(TableKind kind) {
  return kind == TableKind::kSummary ? "END_TIME" : "SCHEDULED_START";
}

// One second after `text`: the end, excluded, of a window that includes `text` with whatever
// fraction of a second a source keeps.
std::string SecondAfter(const std::string& text) {
  std::optional<Timestamp> time = ParseTimestampText(text);
  if (!time) return text;
  return FormatTimestamp(FromDaySerial(ToDaySerial(*time) + 1.0 / 86400));
}

// Exact comparison: "summary" is a snapshot table.
TableKind KindOf(const std::string& table) {
  if (table == "SUMMARY") return TableKind::kSummary;
  if (table == "EVENTS") return TableKind::kEvents;
  return TableKind::kSnapshot;
}

struct CopyArguments {
  const std::string& server;
  const std::string& source_cnn;
  const std::string& table;
  const DataSource& data_source;
  bool multiple_per_day;
  const std::string& rollup_date;
};

std::string SecondsNow() { return FormatNumber(CurrentClock().SecondsSinceMidnight()); }

// "Delete, move next" until the end; the rows visited, i.e. deleted.
std::int64_t DeleteEveryRow(data::ResultSet& rows) {
  while (!rows.EndOfData()) {
    rows.Delete();
    rows.MoveNext();
  }
  return rows.RowCount();
}

// A destination timestamp read back (as the driver's text) against one of our texts.
bool SameTimestamp(const data::Value& value, const std::string& text) {
  if (value.IsNull()) return false;
  std::string held = value.ToText();
  std::optional<Timestamp> a = ParseTimestampText(held);
  std::optional<Timestamp> b = ParseTimestampText(text);
  return a && b ? *a == *b : held == text;
}

// The column, or nothing when the result set has none; any other failure is raised.
data::Column* ColumnOrNothing(data::ResultSet& rows, const std::string& name) {
  try {
    return &rows.ColumnNamed(name);
  } catch (const RaisedError& e) {
    if (!data::IsItemNotFound(e)) throw;
    return nullptr;
  }
}

class CopyTableRun : public OperationRun {
 public:
  CopyTableRun(QbObj& engine, CopyArguments args)
      : engine_(engine),
        args_(args),
        kind_(KindOf(args.table)),
        source_(engine.trace(), SourceTraceStyle::kTimed),
        unfitting_(engine.trace(), args.table) {}

  std::int16_t Execute();

  std::string Name() const override { return "CopyTable"; }
  std::string DescriptionPrefix() const override { return "Error copying data. "; }
  std::string FailureLine(const RaisedError& e) const override {
    return "Error in CopyTable: Error Number=" + std::to_string(e.Number()) +
           ";Source=" + e.Source() + ";Description=" + e.Description() +
           " Table Name = " + args_.table;
  }
  void Release() noexcept override {
    source_.Release();
    cursor_.reset();
    history_.reset();
  }

 private:
  void Start();
  void FindStartingDate();
  std::string LastDate();
  bool RunSourceQuery();
  void ChooseExtractDate();
  void ReplaceHistory();
  void FindPseudoIndexBoundary();
  std::int32_t ReadFirstPseudoIndex(const std::string& query);
  std::int32_t ReadMaxPseudoIndex(const std::string& query);
  void DeleteDuplicates(const std::string& query);
  void CopyRows();
  bool TimedFetch();
  void CopyRow(bool first_row);
  data::Column* LookUpTarget(const std::string& source_column);
  void SetEngineColumns(bool first_row);
  void Finish();
  void NoteNewestTime(const data::Value& value);
  void CheckCounts();
  std::int64_t CountSourceWindow(const std::string& from, const std::string& before);
  std::int64_t CountDestinationWindow(const std::string& from, const std::string& before);

  void Trace(const std::string& message, std::int16_t level) { engine_.Trace(message, level); }
  data::ResultSet& OpenCursor(const std::string& query, data::CursorType type,
                              data::LockType lock) {
    cursor_ = destination_->OpenResultSet(query, type, lock);
    return *cursor_;
  }
  void CloseCursor() {
    cursor_->Close();
    cursor_.reset();
  }
  std::string ServerCondition() const { return " where EXT_SERVER_NAME = '" + srv_ + "'"; }
  std::string SinceStartingDate(const char* column) const {
    return std::string(" and ") + column +
           " >= " + engine_.DestinationTimestampLiteral(starting_date_);
  }
  std::string OfExtractDate() const {
    return " and EXTRACT_DATE = '" + QuoteSqlText(extract_date_) + "'";
  }

  QbObj& engine_;
  CopyArguments args_;
  TableKind kind_;
  std::string srv_;       // server name quoted for SQL
  std::string prefixed_;  // destination table name with its qualifier
  SourceConnection source_;
  data::Connection* destination_ = nullptr;  // owned by the engine's cache
  std::optional<data::ResultSet> cursor_;    // the last-date or boundary cursor while open
  std::optional<data::ResultSet> history_;   // rows deleted and added, open to the end
  std::string last_date_;                    // "yyyy-mm-dd hh:mm:ss"; SUMMARY, EVENTS only
  std::string starting_date_;                // a source timestamp literal; SUMMARY, EVENTS only
  std::string extract_date_;
  std::int32_t lower_pseudo_index_ = 0;
  std::vector<std::string> source_columns_;
  std::vector<data::Column*> targets_;  // per source column; nullptr: not copied
  std::array<data::Column*, 3> engine_columns_{};
  std::int32_t rows_copied_ = 0;
  double fetch_seconds_ = 0;
  UnfittingValues unfitting_;
  // Incremental copies, for the count check: the source column of their time (none: past the
  // end) and the newest time copied.
  size_t time_column_ = std::numeric_limits<size_t>::max();
  std::string newest_time_;
};

std::int16_t CopyTableRun::Execute() {
  Start();
  engine_.ChooseCursorDriver();
  source_.Open(args_.source_cnn);
  destination_ = &engine_.OpenDestinationConnection(args_.data_source);
  if (kind_ != TableKind::kSnapshot) FindStartingDate();
  Trace("Set StartingDate = " + starting_date_, 2);
  if (!RunSourceQuery()) {
    source_.Release();
    return 2;
  }
  ChooseExtractDate();
  ReplaceHistory();
  source_columns_ = source_.ColumnNames(kMaxSourceColumns);
  Trace("Successfully extracted column names out of VLT database.", 3);
  // Only the count check needs the newest time: other copies skip the per-row work.
  if (kind_ != TableKind::kSnapshot && engine_.count_check()) {
    time_column_ = static_cast<size_t>(
        std::find(source_columns_.begin(), source_columns_.end(), TimeColumnOf(kind_)) -
        source_columns_.begin());
  }
  CopyRows();
  Finish();
  return 0;
}

void CopyTableRun::Start() {
  double start = engine_.MarkOperationStart();
  engine_.ResetPseudoIndex();
  srv_ = QuoteSqlText(args_.server);
  prefixed_ = PrefixedTableName(args_.data_source, args_.table);
  Trace("===Entering Function CopyTable " + args_.table + " Start Time = " + FormatNumber(start),
        2);
  Trace("Server Name = " + args_.server, 3);
  Trace("Source Connection = " + CutBeforePassword(args_.source_cnn), 3);
  Trace("Data Source = " + args_.data_source.Name(), 3);
}

void CopyTableRun::FindStartingDate() {
  std::string query =
      kind_ == TableKind::kSummary
          ? "SELECT max(END_TIME) as LAST_DATE from " + prefixed_ + ServerCondition()
          : "SELECT max(SCHEDULED_START) as LAST_DATE from " + prefixed_ + ServerCondition() +
                " and STATUS <> 'Pending'";
  Trace("Running the following query to set Last Date: " + query, 2);
  OpenCursor(query, data::CursorType::kForwardOnly, data::LockType::kReadOnly);
  Trace("Result set successfully opened on destination.", 3);
  last_date_ = LastDate();
  Trace("Last date = " + last_date_, 3);
  CloseCursor();
  starting_date_ = source_.NativeSqlText("{ts '" + last_date_ + "'}");
  if (starting_date_.empty()) starting_date_ = "'" + last_date_ + "'";
}

// The newest time held for this server, or yesterday at midnight when there is none.
std::string CopyTableRun::LastDate() {
  if (!cursor_->EndOfData()) {
    const data::Value& value = cursor_->ColumnNamed("LAST_DATE").GetValue();
    if (!value.IsNull()) return FormatTimestampText(value.ToText());
  }
  return FormatTimestamp(AddDays(StartOfDay(CurrentClock().Now()), -1));
}

// False when the server has no such table (SQLSTATE S0002).
bool CopyTableRun::RunSourceQuery() {
  std::string query = "SELECT * from " + args_.table;
  if (kind_ == TableKind::kSummary) {
    query += " where END_TIME >= " + starting_date_ + " order by END_TIME";
  } else if (kind_ == TableKind::kEvents) {
    // Ordered like SUMMARY: rows commit as they are read, and a retry restarts from the newest
    // time held, which is only right when no earlier time is still to come.
    query += " where SCHEDULED_START >= " + starting_date_ + " order by SCHEDULED_START";
  }
  source_.AllocateStatement();
  Trace("Running the following query on vlt server: " + query, 2);
  SQLRETURN rc = source_.ExecDirect(query);
  Trace("SQLExecDirect function call returned " + std::to_string(rc), 3);
  if (rc != SQL_SUCCESS) {
    std::optional<odbc::DiagnosticRecord> record = source_.FirstDiagnostic();
    odbc::DiagnosticRecord shown = record.value_or(odbc::DiagnosticRecord{});
    Trace(TrimBlanks(shown.sql_state + " - " + shown.message), 2);
    if (shown.sql_state == "S0002") return false;
    throw SourceCallFailure("SQLExecDirect", rc, record);
  }
  Trace("Executed SQL Statement Okay. Date/Time = " + FormatTimestamp(CurrentClock().Now()), 3);
  return true;
}

void CopyTableRun::ChooseExtractDate() {
  if (args_.multiple_per_day) {
    extract_date_ = args_.rollup_date;
  } else {
    extract_date_ = FormatTimestampText(args_.rollup_date).substr(0, 10) + " 00:00:00";
  }
  Trace("RollupDate = " + args_.rollup_date + " Today = " + extract_date_, 3);
}

void CopyTableRun::ReplaceHistory() {
  std::string query = "SELECT * from " + prefixed_ + ServerCondition();
  if (kind_ == TableKind::kEvents) {
    query += SinceStartingDate("SCHEDULED_START");
    extract_date_ = args_.rollup_date;  // EVENTS rows always carry the run timestamp
  } else if (kind_ == TableKind::kSummary) {
    FindPseudoIndexBoundary();
    query += SinceStartingDate("END_TIME");
  } else {
    query += " and EXTRACT_DATE >= '" + QuoteSqlText(extract_date_) + "'";
  }
  Trace("Running the following query: " + query, 2);
  history_ =
      destination_->OpenResultSet(query, data::CursorType::kDynamic, data::LockType::kPessimistic);
  Trace("Result set successfully opened on history table.", 3);
  std::int64_t deleted = DeleteEveryRow(*history_);
  engine_.counts().rows_deleted += deleted;
  Trace("Deleted " + std::to_string(deleted) + " rows from the " + args_.table + " table.", 3);
}

// Rows of today's extract date numbered above the first overlapping row (plus one) would
// collide with the numbers this call hands out: they go first. The boundaries are 32-bit, so a
// day of more than 32767 rows loads again.
void CopyTableRun::FindPseudoIndexBoundary() {
  std::string table = " from " + prefixed_ + ServerCondition();
  lower_pseudo_index_ = ReadFirstPseudoIndex("SELECT PSEUDO_INDEX, EXTRACT_DATE" + table +
                                             SinceStartingDate("END_TIME"));
  std::int32_t upper =
      ReadMaxPseudoIndex("SELECT max(PSEUDO_INDEX) as PSEUDO_INDEX" + table + OfExtractDate());
  if (upper > lower_pseudo_index_) {
    DeleteDuplicates("SELECT *" + table + " and PSEUDO_INDEX > " +
                     std::to_string(std::int64_t{lower_pseudo_index_} + 1) + OfExtractDate());
  }
}

std::int32_t CopyTableRun::ReadFirstPseudoIndex(const std::string& query) {
  Trace("Running the following query for Pseudo Index: " + query, 3);
  data::ResultSet& rows =
      OpenCursor(query, data::CursorType::kForwardOnly, data::LockType::kPessimistic);
  std::int32_t lower = 0;
  if (!rows.EndOfData()) {
    const data::Value& index = rows.ColumnNamed("PSEUDO_INDEX").GetValue();
    if (!index.IsNull() &&
        SameTimestamp(rows.ColumnNamed("EXTRACT_DATE").GetValue(), extract_date_)) {
      lower = index.ToInt32();
    }
  }
  CloseCursor();
  return lower;
}

std::int32_t CopyTableRun::ReadMaxPseudoIndex(const std::string& query) {
  Trace("Running the following query for Pseudo Index verification: " + query, 3);
  data::ResultSet& rows =
      OpenCursor(query, data::CursorType::kForwardOnly, data::LockType::kPessimistic);
  std::int32_t upper = 0;
  if (!rows.EndOfData()) {
    const data::Value& index = rows.ColumnNamed("PSEUDO_INDEX").GetValue();
    if (!index.IsNull()) upper = index.ToInt32();
  }
  CloseCursor();
  return upper;
}

void CopyTableRun::DeleteDuplicates(const std::string& query) {
  Trace("Running the following query for Pseudo Index verification: " + query, 3);
  data::ResultSet& rows =
      OpenCursor(query, data::CursorType::kDynamic, data::LockType::kPessimistic);
  Trace("Result set successfully opened on destination.", 3);
  std::int64_t deleted = DeleteEveryRow(rows);
  engine_.counts().rows_deleted += deleted;
  Trace(
      "Deleted " + std::to_string(deleted) + " duplicate rows from the " + args_.table + " table.",
      3);
  CloseCursor();
}

void CopyTableRun::CopyRows() {
  for (bool first_row = true; TimedFetch(); first_row = false) CopyRow(first_row);
}

// A fetch that fails ends the rows as the end of the data does.
bool CopyTableRun::TimedFetch() {
  auto before = std::chrono::steady_clock::now();
  bool row = source_.Fetch();
  fetch_seconds_ +=
      std::chrono::duration<double>(std::chrono::steady_clock::now() - before).count();
  if (row) ++engine_.counts().rows_read;
  return row;
}

void CopyTableRun::CopyRow(bool first_row) {
  history_->AddNew();
  for (size_t i = 0; i < source_columns_.size(); ++i) {
    data::Column* target = first_row ? LookUpTarget(source_columns_[i]) : targets_[i];
    if (target == nullptr) continue;
    SourceCell cell = ReadSourceValue(source_.statement(), static_cast<SQLUSMALLINT>(i + 1),
                                      target->Type(), target->Size());
    if (cell.value) {
      if (i == time_column_) NoteNewestTime(*cell.value);
      target->SetValue(std::move(*cell.value));
    }
    if (cell.unfitting) {
      unfitting_.Note(source_columns_[i], *cell.unfitting);
      ++engine_.counts().values_unset;
    }
    if (first_row) Trace("column name = " + target->Name(), 3);
  }
  SetEngineColumns(first_row);
  history_->Update();
  ++rows_copied_;
  ++engine_.counts().rows_added;
}

void CopyTableRun::NoteNewestTime(const data::Value& value) {
  std::string time = FormatTimestampText(value.ToText());
  if (time > newest_time_) newest_time_ = time;
}

// The destination column of the source column's name, else of that name + "_X", else nothing
// (named in the trace). Looked up on the first row; later rows reuse the answer.
data::Column* CopyTableRun::LookUpTarget(const std::string& source_column) {
  data::Column* target = ColumnOrNothing(*history_, source_column);
  if (target == nullptr) {
    try {
      target = &history_->ColumnNamed(source_column + "_X");
    } catch (const RaisedError& e) {
      if (!data::IsItemNotFound(e)) throw;
      Trace(std::to_string(e.Number()) + " " + e.Description() + " " + source_column +
                " in table " + args_.table,
            3);
    }
  }
  targets_.push_back(target);
  return target;
}

void CopyTableRun::SetEngineColumns(bool first_row) {
  if (first_row) {
    engine_columns_ = {&history_->ColumnNamed("EXT_SERVER_NAME"),
                       &history_->ColumnNamed("EXTRACT_DATE"),
                       &history_->ColumnNamed("PSEUDO_INDEX")};
  }
  engine_columns_[0]->SetValue(data::Value(args_.server));
  engine_columns_[1]->SetValue(data::Value(extract_date_));
  std::int64_t index = std::int64_t{engine_.PseudoIndexNumberGenerator()} + lower_pseudo_index_;
  if (index > std::numeric_limits<std::int32_t>::max()) {
    throw RaisedError(kErrOverflow, "Qobra", "Overflow: PSEUDO_INDEX beyond 32 bits");
  }
  engine_columns_[2]->SetValue(data::Value(static_cast<std::int32_t>(index)));
}

void CopyTableRun::Finish() {
  // Rows held back for batch writing are written before success is reported.
  history_->Close();
  history_.reset();
  if (rows_copied_ > 0) {
    Trace("Average performance for fetching data from RPX server was " +
              FormatNumber(fetch_seconds_ / rows_copied_),
          3);
  }
  Trace("Added new record(s) to the " + args_.table + " table. (" + SecondsNow() + ")", 3);
  Trace("", 3);
  Trace("Successfully copied " + std::to_string(rows_copied_) + " row(s) to " + args_.table + " (" +
            FormatTime(CurrentClock().Now()) + ")",
        1);
  unfitting_.TraceCount();
  if (!newest_time_.empty()) CheckCounts();
  source_.Release();
}

// Rows that reach the source after the copy lie past the newest time copied: they do not count.
void CopyTableRun::CheckCounts() {
  const std::string before = SecondAfter(newest_time_);
  CountCheck check;
  check.from = last_date_;
  check.to = newest_time_;
  check.source_rows = CountSourceWindow(starting_date_, before);
  check.destination_rows = CountDestinationWindow(starting_date_, before);
  engine_.counts().count_check = check;
}

std::int64_t CopyTableRun::CountSourceWindow(const std::string& from, const std::string& before) {
  std::string end = source_.NativeSqlText("{ts '" + before + "'}");
  if (end.empty()) end = "'" + before + "'";
  const std::string column = TimeColumnOf(kind_);
  std::string query = "SELECT count(*) from " + args_.table + " where " + column + " >= " + from +
                      " and " + column + " < " + end;
  Trace("Counting the rows copied on the vlt server: " + query, 2);
  source_.AllocateStatement(false);
  CheckSourceCall(source_.ExecDirect(query), source_.handles(), "SQLExecDirect");
  if (!source_.Fetch()) return 0;
  return ReadSourceInteger(source_.statement(), 1).value_or(0);
}

std::int64_t CopyTableRun::CountDestinationWindow(const std::string& from,
                                                  const std::string& before) {
  const std::string column = TimeColumnOf(kind_);
  std::string query = "SELECT count(*) as ROW_COUNT from " + prefixed_ + ServerCondition() +
                      " and " + column + " >= " + engine_.DestinationTimestampLiteral(from) +
                      " and " + column + " < " +
                      engine_.DestinationTimestampLiteral("'" + before + "'");
  Trace("Counting the rows copied on the destination: " + query, 2);
  data::ResultSet& rows =
      OpenCursor(query, data::CursorType::kForwardOnly, data::LockType::kReadOnly);
  std::int64_t count = 0;
  if (!rows.EndOfData()) count = std::llround(rows.ColumnNamed("ROW_COUNT").GetValue().ToDouble());
  CloseCursor();
  return count;
}

}  // namespace

std::int16_t QbObj::CopyTable(const std::string& strServerName, const std::string& strSourceCnn,
                              const std::string& strTableName, DataSource& DataSource,
                              Bool16 MultipleDataSetsPerDay, const std::string& RollupDate) {
  CopyTableRun run(*this, {strServerName, strSourceCnn, strTableName, DataSource,
                           IsSet(MultipleDataSetsPerDay), RollupDate});
  counts_ = {};
  return RunOperation(run, [&run] { return run.Execute(); });
}

}  // namespace kelvan::engine
