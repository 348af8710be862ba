// Forecast2CopyTable: keeps the forecast table <T>_F beside a copied table <T>. For every day
// since the last forecast it fits a line through the preceding window of one server's history,
// per measured column and per group of rows, and writes one row per group and day.
#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/engine_text.h"
#include "engine/qb_obj.h"
#include "engine/regression.h"
#include "platform/basic/clock.h"
#include "platform/basic/numeric_text.h"
#include "platform/basic/timestamp.h"
#include "platform/data/data_engine.h"

namespace kelvan::engine {
namespace {

constexpr std::int32_t kErrInvalidArgument = 5;  // "Invalid procedure call or argument"
constexpr const char* kDateColumn = "EXTRACT_DATE";
constexpr const char* kHorizonColumn = "DAYS_TO_FORECAST";

struct ForecastArguments {
  const std::vector<std::string>& select;
  const std::vector<std::string>& fc;
  const std::vector<std::string>& order;
  const std::vector<std::string>& forecast_table;
  const std::string& server;
  const std::string& table;
  std::int16_t days_forward;
  std::int16_t sample_days;
  const DataSource& data_source;
};

// Tables whose observation is one aggregate per group and day, aliased by their single forecast
// column. "count(*)" without a blank: some destinations reject "count (*)".
std::optional<std::string> SampleAggregate(const std::string& table) {
  if (table == "NODES" || table == "LIBVOLUMES") return "count(*)";
  // The day's peak of simultaneous tape mounts; 0 on a day with sessions but no mount.
  if (table == "SIMUL_ACTIVITY") {
    return "max(CASE WHEN ACTIVITY = 'TAPE MOUNT' THEN ACTIVITY_COUNT ELSE 0 END)";
  }
  return std::nullopt;
}

std::string Joined(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ",") + item;
  return text;
}

std::vector<std::string> Without(const std::vector<std::string>& items, const char* dropped) {
  std::vector<std::string> kept;
  for (const std::string& item : items) {
    if (item != dropped) kept.push_back(item);
  }
  return kept;
}

std::string TimerText() { return FormatNumber(CurrentClock().SecondsSinceMidnight()); }
Timestamp ParsedDate(const std::string& text) { return *ParseTimestampText(text); }
long DayNumber(const Timestamp& ts) { return std::lround(ToDaySerial(StartOfDay(ts))); }

// The date of a one-value query, normalised to "yyyy-mm-dd hh:mm:ss"; nothing when the result
// is empty or NULL.
std::optional<std::string> ReadDate(data::ResultSet& rows, const char* column) {
  if (rows.EndOfData()) return std::nullopt;
  const data::Value& value = rows.ColumnNamed(column).GetValue();
  if (value.IsNull()) return std::nullopt;
  return FormatTimestampText(value.ToText());
}

std::optional<double> NumberOrNothing(const data::Value& value) {
  try {
    return value.ToDouble();
  } catch (const RaisedError& e) {
    if (e.Number() != kErrTypeMismatch) throw;
    return std::nullopt;
  }
}

// SetForecastDate: the first day to forecast, or "" when there is nothing to forecast.
class SetForecastDateRun : public OperationRun {
 public:
  SetForecastDateRun(QbObj& engine, const ForecastArguments& args) : engine_(engine), args_(args) {}

  std::string Execute();

  std::string Name() const override { return "SetForecastDate"; }
  std::string DescriptionPrefix() const override { return "Error setting forecast date. "; }
  std::string FailureLine(const RaisedError& e) const override {
    return "Error in SetForecastDate: " + std::to_string(e.Number()) + " - " + e.Description();
  }
  void Release() noexcept override { cursor_.reset(); }

 private:
  std::optional<std::string> QueryDate(const std::string& query, const char* column);
  void Trace(const std::string& message, std::int16_t level) { engine_.Trace(message, level); }

  QbObj& engine_;
  const ForecastArguments& args_;
  data::Connection* destination_ = nullptr;
  std::optional<data::ResultSet> cursor_;
};

std::string SetForecastDateRun::Execute() {
  std::string prefixed = PrefixedTableName(args_.data_source, args_.table);
  std::string where = " where EXT_SERVER_NAME = '" + QuoteSqlText(args_.server) + "'";
  Trace("===Entering Function SetForecastDate " + args_.table + "_F " + TimerText(), 2);
  engine_.TraceCallLines(args_.server, args_.table, args_.data_source);
  destination_ = &engine_.OpenDestinationConnection(args_.data_source);
  std::optional<std::string> first =
      QueryDate("SELECT min(EXTRACT_DATE) as FIRST_DATE from " + prefixed + where, "FIRST_DATE");
  if (!first) {
    Trace("", 3);
    Trace("No recoreds available in table: " + args_.table, 1);
    return {};
  }
  Trace("Oldest record available date = " + *first, 2);
  std::string last =
      *QueryDate("SELECT max(EXTRACT_DATE) as LAST_DATE from " + prefixed + where, "LAST_DATE");
  Trace("Last Date Source Table = " + last, 2);
  if (last == *first) {
    Trace("No forecast data available in the table: " + args_.table, 1);
    return {};
  }
  Timestamp window_end = AddDays(ParsedDate(*first), args_.sample_days);
  if (DayNumber(ParsedDate(last)) - DayNumber(window_end) < 0) {
    Trace("Sample set too small to perform forecast calculations: " + args_.table, 1);
    return {};
  }
  std::string last_forecast =
      QueryDate("SELECT max(EXTRACT_DATE) as LAST_DATE_F from " + prefixed + "_F" + where,
                "LAST_DATE_F")
          .value_or(*first);
  Trace("Forecast Last Date = " + last_forecast, 2);
  std::int16_t k = RoundToInt16(DayNumber(ParsedDate(last_forecast)) - DayNumber(window_end));
  Trace("First Date plus " + std::to_string(args_.sample_days) +
            " to ForecastLastDate: " + std::to_string(k),
        3);
  return FormatTimestamp(k >= 0 ? AddDays(ParsedDate(last_forecast), 1) : window_end);
}

std::optional<std::string> SetForecastDateRun::QueryDate(const std::string& query,
                                                         const char* column) {
  Trace("Running the following query: " + query, 2);
  cursor_ =
      destination_->OpenResultSet(query, data::CursorType::kForwardOnly, data::LockType::kReadOnly);
  if (std::string(column) == "LAST_DATE") {
    Trace("Result set successfully opened on " + args_.table + " table.", 3);
  }
  std::optional<std::string> date = ReadDate(*cursor_, column);
  cursor_->Close();
  cursor_.reset();
  return date;
}

// Forecast rows are written this many at a time or more, each batch in one transaction.
constexpr size_t kRowsPerBatch = 2000;

// A forecast row waiting to be written, with the texts that the row's own INSERT statement gave
// its values: the database reads them as it read the statement.
struct ForecastRow {
  std::int32_t pseudo_index = 0;
  std::string date;
  std::vector<std::optional<std::string>> keys;  // per row key; nothing for NULL
  std::vector<std::string> fitted;               // "NULL" for an unknown value
};

class ForecastRun : public OperationRun {
 public:
  ForecastRun(QbObj& engine, ForecastArguments args)
      : engine_(engine),
        args_(args),
        aggregate_(SampleAggregate(args.table)),
        group_keys_(Without(args.order, kDateColumn)),
        row_keys_(Without(args.forecast_table, kHorizonColumn)) {}

  std::int16_t Execute();

  std::string Name() const override { return "Forecast2CopyTable"; }
  std::string DescriptionPrefix() const override { return "Error forecasting data. "; }
  std::string FailureLine(const RaisedError& e) const override {
    TraceUntracedInsert();
    return "Error in Forecast2CopyTable: " + std::to_string(e.Number()) + " - " + e.Description();
  }
  void Release() noexcept override {
    sample_.reset();
    written_.reset();
  }

 private:
  void CheckArguments() const;
  void Start();
  void CleanUpToday();
  void BuildLists();
  void DailyPass();
  std::string SampleQuery() const;
  void OpenSample(const std::string& query);
  void StartGroup();
  void FindSampleColumns();
  bool GroupChanged();
  void AddObservation();
  void FinishGroup();
  bool FitGroup();
  void FormatForecastRecord(ForecastRow& row);
  void InsertForecastRecord(ForecastRow row);
  std::string RowText(const ForecastRow& row, bool fitted) const;
  std::string InsertStatement(const ForecastRow& row) const;
  std::string InsertCommand(const ForecastRow& row) const {
    return " Insert Command: " + InsertStatement(row);
  }
  void WriteRows();
  bool FindColumns();
  void WriteRowByStatement();
  void Reject(const ForecastRow& row, const RaisedError& error);
  void FillNewRow(const ForecastRow& row, data::NewRow& values) const;
  void Finish();
  bool TracesDetails() const { return engine_.trace().level() >= 3; }

  // A message not written still becomes the one a level-1 line repeats: the insert text that is
  // not traced is made only when such a line follows it.
  void Trace(const std::string& message, std::int16_t level) {
    if (level == 1) TraceUntracedInsert();
    untraced_insert_.reset();
    engine_.Trace(message, level);
  }
  void TraceUntracedInsert() const {
    if (untraced_insert_) engine_.Trace(InsertCommand(pending_.at(*untraced_insert_)), 3);
    untraced_insert_.reset();
  }
  std::string ServerCondition(const char* where) const {
    return std::string(where) + " EXT_SERVER_NAME = '" + QuoteSqlText(args_.server) + "'";
  }

  QbObj& engine_;
  ForecastArguments args_;
  std::optional<std::string> aggregate_;  // set for tables forecast from a daily aggregate
  std::vector<std::string> group_keys_;   // order columns but the date
  std::vector<std::string> row_keys_;     // forecast-table columns but the horizon
  std::string prefix_;
  data::Connection* destination_ = nullptr;  // owned by the engine's cache
  std::optional<data::ResultSet> written_;   // today's rows deleted, then the forecast rows added
  std::optional<data::ResultSet> sample_;
  std::string select_list_, fitted_list_, order_list_, forecast_table_list_;
  std::string forecast_date_;
  Timestamp window_start_;
  std::vector<TrendRecord> records_;
  double sample_count_ = 0;                // rows of the group
  std::vector<double> value_counts_;       // per forecast column: rows that had a value for it
  std::vector<std::string> group_values_;  // of the current group's first row
  std::vector<data::Column*> group_columns_, fc_columns_;  // of the sample, for this pass
  data::Column* date_column_ = nullptr;
  std::string raw_date_, date_;  // the last row's date as read and normalised, and its abscissa
  std::optional<double> date_x_;
  std::vector<data::Value> row_values_;
  std::vector<ForecastRow> pending_;  // built, not yet written
  std::vector<data::NewRow> new_rows_;
  std::vector<size_t> columns_at_;  // where each value of a row goes in the result set
  mutable std::optional<size_t> untraced_insert_;  // in pending_
  std::int32_t rows_written_ = 0;                  // handed over, less those rejected
  std::int32_t insert_errors_ = 0;
};

std::int16_t ForecastRun::Execute() {
  Start();
  CleanUpToday();
  SetForecastDateRun date_run(engine_, args_);
  forecast_date_ = engine_.RunOperation(date_run, [&date_run] { return date_run.Execute(); });
  if (forecast_date_.empty()) {
    Trace("Forecast2CopyTable: No Forecast for: " + args_.table, 2);
    return 0;
  }
  Trace("", 3);
  Trace("Forecast Start Date = " + forecast_date_, 2);
  BuildLists();
  while (forecast_date_ <= FormatTimestamp(CurrentClock().Now())) {
    DailyPass();
    if (pending_.size() >= kRowsPerBatch) WriteRows();
  }
  WriteRows();
  Finish();
  return 0;
}

// Lists that no table could be forecast from would only fail later, row by row.
void ForecastRun::CheckArguments() const {
  bool dated =
      std::find(args_.select.begin(), args_.select.end(), kDateColumn) != args_.select.end();
  if (args_.fc.empty() || !dated || (aggregate_ && args_.fc.size() != 1)) {
    throw RaisedError(kErrInvalidArgument, "Qobra",
                      "Invalid column lists for the forecast of " + args_.table);
  }
}

void ForecastRun::Start() {
  double start = engine_.MarkOperationStart();
  Trace("===Entering Function Forecast2CopyTable " + args_.table + "_F " + FormatNumber(start), 2);
  engine_.TraceCallLines(args_.server, args_.table, args_.data_source);
  CheckArguments();
  prefix_ = TablePrefix(args_.data_source);
  engine_.ChooseCursorDriver();
  destination_ = &engine_.OpenDestinationConnection(args_.data_source);
}

void ForecastRun::CleanUpToday() {
  std::string table_f = args_.table + "_F";
  std::string query = "SELECT * from " + prefix_ + table_f + ServerCondition(" where") +
                      " and EXTRACT_DATE>= '" + FormatDate(CurrentClock().Now()) + "'";
  Trace("Running the following query: " + query, 2);
  try {
    written_ = destination_->OpenResultSet(query, data::CursorType::kDynamic,
                                           data::LockType::kPessimistic);
  } catch (const RaisedError&) {
    Trace("Forecast2CopyTable: DB failure on select for initial clean up.", 2);
    throw;
  }
  Trace("Result set successfully opened on " + table_f + " table.", 3);
  while (!written_->EndOfData()) {
    written_->Delete();
    written_->MoveNext();
  }
  Trace("Forecast2CopyTable: Deleted " + std::to_string(written_->RowCount()) + " rows from " +
            table_f + " table.",
        2);
}

void ForecastRun::BuildLists() {
  select_list_ = aggregate_ ? Joined(args_.fc) + "," + Joined(args_.select)
                            : Joined(args_.select) + "," + Joined(args_.fc);
  std::vector<std::string> fitted;
  for (const std::string& c : args_.fc) {
    fitted.insert(fitted.end(), {"F_" + c, "I_" + c, "S_" + c, "C_" + c});
  }
  fitted_list_ = Joined(fitted);
  order_list_ = Joined(args_.order);
  forecast_table_list_ = Joined(args_.forecast_table);
}

void ForecastRun::DailyPass() {
  engine_.ResetPseudoIndex();
  Trace("Added " + std::to_string(rows_written_), 3);
  window_start_ = AddDays(ParsedDate(forecast_date_), -args_.sample_days);
  date_x_.reset();
  OpenSample(SampleQuery());
  if (!sample_->EndOfData()) FindSampleColumns();
  StartGroup();
  while (!sample_->EndOfData()) {
    if (GroupChanged()) {
      Trace("In bRecordDone processing", 3);
      FinishGroup();
      StartGroup();
    }
    AddObservation();
    sample_->MoveNext();
  }
  Trace("In process last record set", 3);
  FinishGroup();
  sample_->Close();
  sample_.reset();
  forecast_date_ = FormatTimestamp(AddDays(ParsedDate(forecast_date_), 1));
  Trace("", 3);
}

std::string ForecastRun::SampleQuery() const {
  std::string from = " FROM " + prefix_ + args_.table + ServerCondition(" WHERE") +
                     " AND EXTRACT_DATE BETWEEN '" + FormatTimestamp(window_start_) + "' AND '" +
                     forecast_date_ + "'";
  if (aggregate_) {
    return "SELECT " + *aggregate_ + " as " + select_list_ + from + " GROUP BY " + order_list_ +
           " Order By " + order_list_;
  }
  return "SELECT " + select_list_ + from + " ORDER BY " + order_list_;
}

void ForecastRun::OpenSample(const std::string& query) {
  Trace("Running the following query[" + std::to_string(query.size()) + "]: " + query, 2);
  try {
    sample_ = destination_->OpenResultSet(query, data::CursorType::kForwardOnly,
                                          data::LockType::kReadOnly);
  } catch (const RaisedError&) {
    Trace("DB failure on " + args_.table + " select unique cases.", 3);
    throw;
  }
  Trace("Successfully opened the unique cases result set for " + FormatTimestamp(window_start_) +
            " and " + forecast_date_,
        3);
}

// The group's keys are read from the row the cursor stands on (none after the last row).
void ForecastRun::StartGroup() {
  records_.assign(args_.fc.size(), TrendRecord{});
  sample_count_ = 0;
  value_counts_.assign(args_.fc.size(), 0);
  group_values_.clear();
  row_values_.clear();
  if (sample_->EndOfData()) return;
  for (data::Column* key : group_columns_) group_values_.push_back(key->GetValue().ToText());
  for (const std::string& key : row_keys_) {
    row_values_.push_back(sample_->ColumnNamed(key).GetValue());
  }
}

// Looked up once a pass rather than for every row.
void ForecastRun::FindSampleColumns() {
  group_columns_.clear();
  for (const std::string& key : group_keys_) group_columns_.push_back(&sample_->ColumnNamed(key));
  date_column_ = &sample_->ColumnNamed(kDateColumn);
  fc_columns_.clear();
  for (const std::string& c : args_.fc) fc_columns_.push_back(&sample_->ColumnNamed(c));
}

bool ForecastRun::GroupChanged() {
  for (size_t i = 0; i < group_columns_.size(); ++i) {
    const data::Value& value = group_columns_[i]->GetValue();
    bool same = value.kind() == data::Value::Kind::kText ? value.Text() == group_values_[i]
                                                         : value.ToText() == group_values_[i];
    if (!same) return true;
  }
  return false;
}

// A value that is NULL (or no number) is left out of its column's sums; the row still counts
// for the others.
void ForecastRun::AddObservation() {
  // The rows of one extraction share its date: worked out once for them.
  std::string raw_date = date_column_->GetValue().ToText();
  if (raw_date != raw_date_ || !date_x_) {
    date_ = FormatTimestampText(raw_date);
    double seconds = (ToDaySerial(ParsedDate(date_)) - ToDaySerial(window_start_)) * 86400.0;
    date_x_ = SecondsToDays(RoundToInt32(seconds));  // both are whole seconds
    raw_date_ = std::move(raw_date);
  }
  const std::string& date = date_;
  double x = *date_x_;
  for (size_t j = 0; j < args_.fc.size(); ++j) {
    const data::Value& value = fc_columns_[j]->GetValue();
    std::optional<double> y = NumberOrNothing(value);
    if (!y) continue;
    // Unwritten, these lines are always followed by those of the sums: made only when written.
    if (TracesDetails()) {
      Trace("From " + FormatTimestamp(window_start_) + " To Extract_Date " + date, 3);
      Trace("for Column = " + args_.fc[j], 3);
      Trace("Value = " + value.ToText(), 3);
      Trace("dx value = " + DoubleText(x), 3);
      Trace("dy value = " + DoubleText(*y), 3);
    }
    untraced_insert_.reset();
    AccumulateSample(engine_, records_[j], x, *y, sample_count_);
    value_counts_[j] += 1;
  }
  sample_count_ += 1;
}

void ForecastRun::FinishGroup() {
  if (!FitGroup()) {
    Trace("Record not written not enough data points", 3);
    return;
  }
  ForecastRow row;
  row.pseudo_index = engine_.PseudoIndexNumberGenerator();
  row.date = forecast_date_;
  for (const data::Value& value : row_values_) {
    row.keys.push_back(value.IsNull() ? std::nullopt : std::optional(value.ToText()));
  }
  FormatForecastRecord(row);
  InsertForecastRecord(std::move(row));
}

// False when the group has too few rows to write. Columns that lacked values in some rows are
// fitted one by one over their own values; one with fewer than two is unknown throughout.
bool ForecastRun::FitGroup() {
  bool complete = std::all_of(value_counts_.begin(), value_counts_.end(),
                              [this](double count) { return count == sample_count_; });
  if (complete || sample_count_ < 2) {
    std::int16_t last_column = static_cast<std::int16_t>(records_.size() - 1);
    return CalculateRegression2(engine_, records_, sample_count_, last_column,
                                args_.days_forward) != kTooFewSamples;
  }
  for (size_t j = 0; j < records_.size(); ++j) {
    std::vector<TrendRecord> alone{records_[j]};
    if (CalculateRegression2(engine_, alone, value_counts_[j], 0, args_.days_forward) ==
        kTooFewSamples) {
      alone[0].fcValue = alone[0].slope = alone[0].intercept = alone[0].confidence = kNotComputable;
    }
    records_[j] = alone[0];
  }
  return true;
}

void ForecastRun::FormatForecastRecord(ForecastRow& row) {
  Trace("===Entering Function FormatForecastRecord " + TimerText(), 2);
  if (TracesDetails()) Trace("Record:" + RowText(row, false) + ",", 3);
  for (const TrendRecord& record : records_) {
    for (double value : {record.fcValue, record.intercept, record.slope, record.confidence}) {
      // A value beyond the double range has no SQL text; it is as unknown as the sentinel.
      bool unknown = value == kNotComputable || !std::isfinite(value);
      row.fitted.push_back(unknown ? std::string("NULL") : DoubleText(value));
    }
  }
  if (TracesDetails()) Trace("Insert Record:" + RowText(row, true) + ",", 3);
}

// Hands the row over to be written with the next batch.
void ForecastRun::InsertForecastRecord(ForecastRow row) {
  Trace("===Entering Function InsertForecastRecord " + TimerText(), 2);
  if (TracesDetails()) engine_.TraceCallLines(args_.server, args_.table, args_.data_source);
  engine_.OpenDestinationConnection(args_.data_source);
  if (TracesDetails()) Trace(InsertCommand(row), 3);
  ++rows_written_;
  pending_.push_back(std::move(row));
  if (!TracesDetails()) untraced_insert_ = pending_.size() - 1;
}

// The values as the INSERT statement of the row alone gives them, without a trailing comma.
std::string ForecastRun::RowText(const ForecastRow& row, bool fitted) const {
  std::string text = "'" + QuoteSqlText(args_.server) + "'," + std::to_string(row.pseudo_index) +
                     "," + engine_.DestinationTimestampLiteral("'" + row.date + "'");
  size_t key = 0;
  for (const std::string& column : args_.forecast_table) {
    if (column == kHorizonColumn) {
      text += "," + std::to_string(args_.days_forward);
    } else {
      const std::optional<std::string>& value = row.keys.at(key++);
      text += value ? ",'" + QuoteSqlText(*value) + "'" : std::string(",NULL");
    }
  }
  if (fitted) {
    for (const std::string& value : row.fitted) text += "," + value;
  }
  return text;
}

std::string ForecastRun::InsertStatement(const ForecastRow& row) const {
  return "INSERT INTO " + prefix_ + args_.table + "_F (EXT_SERVER_NAME, " +
         "PSEUDO_INDEX, EXTRACT_DATE," + forecast_table_list_ + "," + fitted_list_ + ") VALUES (" +
         RowText(row, true) + ")";
}

void ForecastRun::FillNewRow(const ForecastRow& row, data::NewRow& values) const {
  values.assign(static_cast<size_t>(written_->ColumnCount()), std::nullopt);
  auto at = columns_at_.begin();
  values[*at++].emplace(args_.server);
  values[*at++].emplace(row.pseudo_index);
  values[*at++].emplace(row.date);
  auto key = row.keys.begin();
  for (const std::string& column : args_.forecast_table) {
    data::Value value;
    if (column == kHorizonColumn) {
      value = data::Value(args_.days_forward);
    } else if (*key) {
      value = data::Value(**key);
    }
    if (column != kHorizonColumn) ++key;
    values[*at++] = std::move(value);
  }
  for (const std::string& fitted : row.fitted) {
    values[*at++] = fitted == "NULL" ? data::Value() : data::Value(fitted);
  }
}

// The rows built since the last batch, in one transaction; a row the database rejects is traced
// and counted as an insert error, and the others are written.
void ForecastRun::WriteRows() {
  if (pending_.empty()) return;
  untraced_insert_.reset();  // the pass's last lines came after it
  if (columns_at_.empty() && !FindColumns()) {
    WriteRowByStatement();
  } else {
    new_rows_.resize(pending_.size());
    for (size_t i = 0; i < pending_.size(); ++i) FillNewRow(pending_[i], new_rows_[i]);
    for (const data::RejectedRow& rejected : written_->AddRows(new_rows_)) {
      Reject(pending_[rejected.index], rejected.error);
    }
  }
  pending_.clear();
}

// False when <T>_F lacks a column of the row.
bool ForecastRun::FindColumns() {
  std::vector<std::string> names = {"EXT_SERVER_NAME", "PSEUDO_INDEX", kDateColumn};
  names.insert(names.end(), args_.forecast_table.begin(), args_.forecast_table.end());
  for (const std::string& c : args_.fc) {
    for (const char* kind : {"F_", "I_", "S_", "C_"}) names.push_back(kind + c);
  }
  std::vector<size_t> found;
  for (const std::string& name : names) {
    data::Column* column = written_->FindColumn(name);
    if (column == nullptr) return false;
    found.push_back(column->Index());
  }
  columns_at_ = std::move(found);
  return true;
}

// Each row by its own INSERT statement, for the database to say what it lacks.
void ForecastRun::WriteRowByStatement() {
  for (const ForecastRow& row : pending_) {
    try {
      destination_->Execute(InsertStatement(row));
    } catch (const RaisedError& e) {
      Reject(row, e);
    }
  }
  data::DataEngine::ForThisThread().ClearErrors();
}

void ForecastRun::Reject(const ForecastRow& row, const RaisedError& error) {
  Trace(InsertCommand(row), 3);  // the statement that the error lines follow
  Trace("Insert Record Error: [" + std::to_string(error.Number()) +
            "] Qobra.QbObj.InsertForecastRecord: " + error.Description(),
        1);
  Trace("RECORD: " + RowText(row, true), 1);
  --rows_written_;
  ++insert_errors_;
}

void ForecastRun::Finish() {
  written_->Close();
  written_.reset();
  engine_.counts().rows_added = rows_written_;
  std::string now = FormatTime(CurrentClock().Now());
  Trace("Forecast " + std::to_string(rows_written_) + " Records" + " Table: " + args_.table + " (" +
            now + ")",
        1);
  if (insert_errors_ > 0) {
    Trace("Insert Error Count " + std::to_string(insert_errors_) + " Table: " + args_.table, 1);
  }
  Trace("Exiting function Forecast2CopyTable. Time:>" + now + " Table:>" + args_.table, 3);
}

}  // namespace

std::int16_t QbObj::Forecast2CopyTable(const std::vector<std::string>& strSelectColumns,
                                       const std::vector<std::string>& strFCColumns,
                                       const std::vector<std::string>& strOrderColumns,
                                       const std::vector<std::string>& strForecastTableColumns,
                                       const std::string& strServerName,
                                       const std::string& strTableName, std::int16_t idaysforward,
                                       std::int16_t sizeOfSampleSet, DataSource& DataSource) {
  ForecastRun run(*this, {strSelectColumns, strFCColumns, strOrderColumns, strForecastTableColumns,
                          strServerName, strTableName, idaysforward, sizeOfSampleSet, DataSource});
  counts_ = {};
  return RunOperation(run, [&run] { return run.Execute(); });
}

}  // namespace kelvan::engine
