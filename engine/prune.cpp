// PruneRecords and Prune2Records: one server's rows older than a number of days deleted from a
// destination table in batches of consecutive PSEUDO_INDEX values, each batch committed by
// itself, so that no statement holds the whole table's worth of deletions.
#include <algorithm>
#include <optional>
#include <vector>

#include "engine/engine_text.h"
#include "engine/qb_obj.h"
#include "platform/basic/clock.h"
#include "platform/basic/numeric_text.h"
#include "platform/basic/timestamp.h"

namespace kelvan::engine {
namespace {

constexpr std::int32_t kDefaultBatch = 1000;
constexpr std::int32_t kMaxBatch = 32767;
constexpr const char* kDefaultLine =
    "Setting ApproxNumOfRecordsDeletedPerCommit to a default value of 1000";

struct PruneArguments {
  std::int16_t days;
  const std::string& server;
  const std::string& source_cnn;  // traced only
  const std::string& table;
  const DataSource& data_source;
  const std::string& column;
  std::optional<std::int32_t>& batch;  // settled in place
};

std::string UpperTrimmed(const std::string& text) {
  std::string upper = TrimBlanks(text);
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return upper;
}

class PruneRun : public OperationRun {
 public:
  PruneRun(QbObj& engine, const char* name, PruneArguments args)
      : engine_(engine), name_(name), args_(args) {}

  // The opening both operations share; the number of rows older than the cut-off.
  std::int64_t CountOldRows();
  void PruneByRanges(std::int64_t count);
  void PruneByExtractions();

  std::string Name() const override { return name_; }
  std::string DescriptionPrefix() const override {
    return "Error deleting data from KELVAN database";
  }
  std::string FailureLine(const RaisedError& e) const override {
    return "Error in " + name_ + ": " + e.Source() + e.Description();
  }
  void Release() noexcept override {
    cursor_.reset();
    destination_ = nullptr;
  }

 private:
  void Start();
  void SettleBatchSize();
  std::string Where(const std::string& condition) const {
    return " where EXT_SERVER_NAME = '" + QuoteSqlText(args_.server) + "' and " + condition;
  }
  std::string CutOffCondition() const;
  double ReadNumber(const std::string& query, const char* column);
  std::int32_t ReadMaxPseudoIndex(const std::string& where);
  void DeleteInBatches(const std::string& where, std::int32_t first, std::int32_t max,
                       std::int16_t step);
  std::int64_t CountRowsLeft();
  std::vector<std::string> ExtractDates();
  void Exiting();

  void Trace(const std::string& message, std::int16_t level) { engine_.Trace(message, level); }
  data::ResultSet& OpenCursor(const std::string& query) {
    cursor_ = destination_->OpenResultSet(query, data::CursorType::kForwardOnly,
                                          data::LockType::kReadOnly);
    return *cursor_;
  }
  void CloseCursor() {
    cursor_->Close();
    cursor_.reset();
  }

  QbObj& engine_;
  std::string name_;
  PruneArguments args_;
  std::string prefixed_;  // the table with its qualifier
  std::string where_;     // the server and the cut-off
  std::int16_t batch_ = kDefaultBatch;
  data::Connection* destination_ = nullptr;  // owned by the engine's cache
  std::optional<data::ResultSet> cursor_;
};

std::int64_t PruneRun::CountOldRows() {
  Start();
  engine_.ChooseCursorDriver();
  SettleBatchSize();
  std::string connect = DestinationConnectString(args_.data_source);
  destination_ = &engine_.CachedDestinationConnection(connect);
  Trace("Connection established to " + CutBeforePassword(connect), 2);
  prefixed_ = PrefixedTableName(args_.data_source, args_.table);
  where_ = Where(CutOffCondition());
  auto count = static_cast<std::int64_t>(
      ReadNumber("select count(*) as TOTAL_COUNT from " + prefixed_ + where_, "TOTAL_COUNT"));
  Trace("Total records to delete = " + std::to_string(count), 3);
  if (count == 0) {
    Trace("", 3);
    Trace("No records to Prune.", 1);
  }
  return count;
}

void PruneRun::Start() {
  double start = engine_.MarkOperationStart();
  Trace(
      "===Entering Function " + name_ + " " + args_.table + " Start Time = " + FormatNumber(start),
      2);
  Trace("Server Name = " + args_.server, 3);
  Trace("Source Connection = " + CutBeforePassword(args_.source_cnn), 3);
  Trace("Table Name = " + args_.table, 3);
  Trace("Data Source = " + args_.data_source.Name(), 3);
}

void PruneRun::SettleBatchSize() {
  std::optional<std::int32_t>& wanted = args_.batch;
  if (!wanted) {
    wanted = kDefaultBatch;
    Trace(kDefaultLine, 2);
  }
  if (*wanted < 1) {
    wanted = kDefaultBatch;
    Trace("ApproxNumOfRecordsDeletedPerCommit is set to a value less than or equal to zero.", 2);
    Trace(kDefaultLine, 2);
  }
  if (*wanted > kMaxBatch) {
    wanted = kMaxBatch;
    Trace("ApproxNumOfRecordsDeletedPerCommit is set to a value greater than 32767.", 2);
    Trace("Setting ApproxNumOfRecordsDeletedPerCommit to a maximum value of 32767", 2);
  }
  batch_ = static_cast<std::int16_t>(*wanted);
}

// DATE_TIME columns compare as timestamps; the others (EXTRACT_DATE) as text literals, which
// every destination converts for a timestamp column and SQLite compares as stored.
std::string PruneRun::CutOffCondition() const {
  std::string cut_off =
      "'" + QuoteSqlText(FormatTimestamp(AddDays(CurrentClock().Now(), -args_.days))) + "'";
  if (UpperTrimmed(args_.column) == "DATE_TIME") {
    return args_.column + " < " + engine_.DestinationTimestampLiteral(cut_off);
  }
  return args_.column + " < " + cut_off;
}

// The single value of `column`; null (or no row) is 0.
double PruneRun::ReadNumber(const std::string& query, const char* column) {
  Trace("Running following query: " + query, 2);
  data::ResultSet& rows = OpenCursor(query);
  double number = 0;
  if (!rows.EndOfData()) {
    const data::Value& value = rows.ColumnNamed(column).GetValue();
    if (!value.IsNull()) number = value.ToDouble();
  }
  CloseCursor();
  return number;
}

std::int32_t PruneRun::ReadMaxPseudoIndex(const std::string& where) {
  std::int32_t max = RoundToInt32(
      ReadNumber("select max(PSEUDO_INDEX) as MAX_PI from " + prefixed_ + where, "MAX_PI"));
  Trace("Maximum pseudo index number = " + std::to_string(max), 3);
  return max;
}

// Consecutive ranges overlap by two values, so a row at a range's edge is never missed.
void PruneRun::DeleteInBatches(const std::string& where, std::int32_t first, std::int32_t max,
                               std::int16_t step) {
  for (std::int64_t i = first; i <= max; i += step) {
    Trace("Min " + std::to_string(first) + " to Max " + std::to_string(max) + " step " +
              std::to_string(step),
          2);
    std::string statement = "delete from " + prefixed_ + where + " and PSEUDO_INDEX between " +
                            std::to_string(i - 1) + " and " + std::to_string(i + step);
    Trace("Running following query: " + statement, 3);
    destination_->Execute(statement);
  }
}

void PruneRun::PruneByRanges(std::int64_t count) {
  std::int32_t max = ReadMaxPseudoIndex(where_);
  std::int32_t min = RoundToInt32(
      ReadNumber("select min(PSEUDO_INDEX) as MIN_PI from " + prefixed_ + where_, "MIN_PI"));
  Trace("Minimum pseudo index number = " + std::to_string(min), 3);
  // Rows per pseudo-index value; a step of about batch_ / density values spans batch_ rows.
  std::int64_t span = std::int64_t{max} - min;
  auto rows = static_cast<double>(count);
  std::int32_t density = RoundToInt32(span != 0 ? rows / static_cast<double>(span) : rows);
  std::int16_t step = 1;
  if (batch_ > density)
    step = density >= 1 ? RoundToInt16(static_cast<double>(batch_) / density) : batch_;
  DeleteInBatches(where_, min, max, step);
  Trace("", 3);
  Trace("Found " + std::to_string(span) + " records to be Pruned from " + args_.table, 1);
  std::int64_t left = CountRowsLeft();
  if (left > 0) {
    std::string statement = "DELETE from " + prefixed_ + where_;
    Trace("Running the following query: " + statement, 2);
    destination_->Execute(statement);
    Trace("", 3);
    Trace("Successfully Pruned " + std::to_string(left) + " rows from the " + prefixed_ + " table.",
          1);
    Exiting();
  }
}

std::int64_t PruneRun::CountRowsLeft() {
  std::string query = "SELECT * from " + prefixed_ + where_;
  Trace("Running the following query to check Record Count after deleting: " + query, 2);
  data::ResultSet& rows = OpenCursor(query);
  while (!rows.EndOfData()) rows.MoveNext();
  std::int64_t left = rows.RowCount();
  CloseCursor();
  Trace("Verified " + std::to_string(left) + " records left to be Pruned from " + args_.table, 3);
  return left;
}

void PruneRun::PruneByExtractions() {
  std::int64_t total = 0;
  for (const std::string& date : ExtractDates()) {
    // The date is the driver's own text of the stored value, which each destination reads
    // back as equal; quoting it keeps a stray quote in a text column from breaking the SQL.
    std::string where = Where(args_.column + " = '" + QuoteSqlText(date) + "'");
    std::int32_t max = ReadMaxPseudoIndex(where);
    std::int16_t step = static_cast<std::int16_t>(std::min<std::int32_t>(batch_, max));
    DeleteInBatches(where, 2, max, step);
    total += std::int64_t{max} - 2;
  }
  Trace("", 3);
  Trace("Successfully Pruned " + std::to_string(total) + " rows from the " + prefixed_ + " table.",
        1);
  Exiting();
}

// Read whole before the first delete, so that no cursor stays open on the table being pruned.
std::vector<std::string> PruneRun::ExtractDates() {
  std::string query = "select DISTINCT EXTRACT_DATE as PRUNEDATE from " + prefixed_ + where_;
  Trace("Running following query: " + query, 2);
  data::ResultSet& rows = OpenCursor(query);
  std::vector<std::string> dates;
  for (; !rows.EndOfData(); rows.MoveNext()) {
    dates.push_back(rows.ColumnNamed("PRUNEDATE").GetValue().ToText());
  }
  CloseCursor();
  return dates;
}

// Both operations close with PruneRecords' words.
void PruneRun::Exiting() {
  Trace("Exiting Function PruneRecords. Time:>" + FormatTime(CurrentClock().Now()) + " Table:>" +
            args_.table,
        2);
}

}  // namespace

std::optional<std::int16_t> QbObj::PruneRecords(
    std::int16_t NoOfDays, const std::string& strServerName, const std::string& strSourceCnn,
    const std::string& strTableName, DataSource& DataSource, const std::string& DateTimeColumnName,
    std::optional<std::int32_t>& ApproxNumOfRecordsDeletedPerCommit) {
  PruneRun run(*this, "PruneRecords",
               {NoOfDays, strServerName, strSourceCnn, strTableName, DataSource, DateTimeColumnName,
                ApproxNumOfRecordsDeletedPerCommit});
  counts_ = {};
  return RunOperation(run, [&run, this]() -> std::optional<std::int16_t> {
    std::int64_t count = run.CountOldRows();
    if (count == 0) return std::int16_t{0};
    run.PruneByRanges(count);
    counts_.rows_pruned = count;  // every row older than the cut-off is gone
    return std::nullopt;
  });
}

std::int16_t QbObj::Prune2Records(std::int16_t NoOfDays, const std::string& strServerName,
                                  const std::string& strSourceCnn, const std::string& strTableName,
                                  DataSource& DataSource, const std::string& DateTimeColumnName,
                                  std::optional<std::int32_t>& ApproxNumOfRecordsDeletedPerCommit) {
  PruneRun run(*this, "Prune2Records",
               {NoOfDays, strServerName, strSourceCnn, strTableName, DataSource, DateTimeColumnName,
                ApproxNumOfRecordsDeletedPerCommit});
  counts_ = {};
  return RunOperation(run, [&run, this] {
    const std::int64_t count = run.CountOldRows();
    if (count != 0) run.PruneByExtractions();
    counts_.rows_pruned = count;  // every row older than the cut-off is gone
    return std::int16_t{0};
  });
}

}  // namespace kelvan::engine
