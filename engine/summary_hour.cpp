// PostProcessSummaryTable: the server's SUMMARY activities cut into clock-hour slices in
// SUMMARYHOUR, incrementally from the latest activity end already summarised.
#include "engine/summary_hour.h"

#include <array>
#include <optional>

#include "engine/engine_text.h"
#include "engine/qb_obj.h"
#include "platform/basic/clock.h"

namespace kelvan::engine {
namespace {

constexpr const char* kHourTable = "SUMMARYHOUR";
constexpr const char* kActivityTable = "SUMMARY";
// Taken over unchanged from the activity into each of its slices.
constexpr std::array<const char*, 7> kCopiedColumns = {
    "EXTRACT_DATE", "ACTIVITY", "NUMBER_X", "ENTITY", "COMMMETH", "ADDRESS", "END_TIME"};

int SecondsIntoHour(const Timestamp& ts) { return ts.minute * 60 + ts.second; }

bool SameDay(const Timestamp& a, const Timestamp& b) { return StartOfDay(a) == StartOfDay(b); }

Timestamp NextHour(const Timestamp& slice) {
  if (slice.hour < 23) return Timestamp{slice.year, slice.month, slice.day, slice.hour + 1, 0, 0};
  return AddDays(Timestamp{slice.year, slice.month, slice.day, 0, 0, 0}, 1);
}

// The start hour's rule is tested first, so on a later day the start hour counts 3600 even when
// the activity ends within it.
std::int16_t SecondsInSlice(const Timestamp& start, const Timestamp& end, const Timestamp& slice) {
  int seconds = 3600;
  if (slice.hour == start.hour) {
    if (end.hour == start.hour && SameDay(end, start)) {
      seconds = SecondsIntoHour(end) - SecondsIntoHour(start);
    } else if (SameDay(start, slice)) {
      seconds = 3600 - SecondsIntoHour(start);
    }
  } else if (slice.hour == end.hour && SameDay(slice, end)) {
    seconds = SecondsIntoHour(end);
  }
  return static_cast<std::int16_t>(seconds == 0 ? 1 : seconds);
}

// A destination date and time, whatever type the driver reports it as.
Timestamp ReadTimestamp(const data::Value& value) {
  return *ParseTimestampText(FormatTimestampText(value.ToText()));
}

struct Activity {
  Timestamp start, end;
  double rate = 0;  // bytes per second; all the bytes when the activity took no time
};

class SummaryHourRun : public DerivedTableRun {
 public:
  SummaryHourRun(QbObj& engine, const std::string& server, const DataSource& data_source)
      : engine_(engine), server_(server), data_source_(data_source) {}

  std::int16_t Execute();

  std::string Name() const override { return "PostProcessSummaryTable"; }
  void Release() noexcept override {
    activities_.reset();
    target_.reset();
  }

 private:
  void Start();
  void Connect();
  std::string LastDate();
  void RemoveWhatWillBeRedone();
  void OpenCursors();
  void BindColumns();
  std::optional<Activity> ReadActivity();
  void AddSlices(const Activity& activity);
  void Finish();

  void Trace(const std::string& message, std::int16_t level) { engine_.Trace(message, level); }

  QbObj& engine_;
  const std::string& server_;
  const DataSource& data_source_;
  std::string prefix_;                       // set first thing, under the failure convention
  data::Connection* destination_ = nullptr;  // owned by the engine's cache
  std::string where_;                        // this server's rows from the last date on
  std::optional<data::ResultSet> activities_;
  std::optional<data::ResultSet> target_;
  std::array<data::Column*, kCopiedColumns.size()> copied_from_{};
  std::array<data::Column*, kCopiedColumns.size()> copied_to_{};
  struct {
    data::Column *bytes, *start, *end;
  } read_{};
  struct {
    data::Column *server, *pseudo_index, *day, *hour, *elapsed, *bytes;
  } written_{};
  std::int32_t rows_added_ = 0;
};

std::int16_t SummaryHourRun::Execute() {
  prefix_ = TablePrefix(data_source_);  // raises for a qualifier that is no plain name
  Start();
  Connect();
  std::string last_date = LastDate();
  where_ = " where EXT_SERVER_NAME = '" + QuoteSqlText(server_) + "' and END_TIME >= " +
           engine_.DestinationTimestampLiteral("'" + QuoteSqlText(last_date) + "'");
  RemoveWhatWillBeRedone();
  OpenCursors();
  for (; !activities_->EndOfData(); activities_->MoveNext()) {
    if (std::optional<Activity> activity = ReadActivity()) AddSlices(*activity);
  }
  Finish();
  return 0;
}

void SummaryHourRun::Start() {
  double start = engine_.MarkOperationStart();
  Trace("===Entering Function PostProcessSummaryTable Start Time = " + FormatNumber(start), 2);
  engine_.TraceCallLines(server_, kHourTable, data_source_);
}

void SummaryHourRun::Connect() {
  engine_.ResetPseudoIndex();
  engine_.ChooseCursorDriver();
  std::string connect = DestinationConnectString(data_source_);
  destination_ = &engine_.CachedDestinationConnection(connect);
  Trace("Connection established to " + CutBeforePassword(connect), 2);
}

// The latest activity end summarised for this server, or yesterday at midnight.
std::string SummaryHourRun::LastDate() {
  std::string query = "SELECT max(END_TIME) as LAST_DATE from " + prefix_ + kHourTable +
                      " where EXT_SERVER_NAME = '" + QuoteSqlText(server_) + "'";
  Trace("Running the following query: " + query, 2);
  data::ResultSet cursor = destination_->OpenResultSet(query);
  std::string last_date = FormatTimestamp(AddDays(StartOfDay(CurrentClock().Now()), -1));
  if (!cursor.EndOfData()) {
    data::Column& column = cursor.ColumnNamed("LAST_DATE");
    if (!column.GetValue().IsNull()) {
      if (column.Type() == 11) Trace("sql_timestamp type.", 3);
      last_date = FormatTimestampText(column.GetValue().ToText());
    }
  }
  Trace("Last date = " + last_date, 3);
  cursor.Close();
  return last_date;
}

void SummaryHourRun::RemoveWhatWillBeRedone() {
  std::string query = "SELECT count(*) as TOTAL_COUNT from " + prefix_ + kHourTable + where_;
  Trace("Checking to see if there are records to delete: " + query, 3);
  data::ResultSet cursor = destination_->OpenResultSet(query);
  const std::string opened =
      std::string("Result set successfully opened on ") + kHourTable + " table.";
  Trace(opened, 3);
  std::int64_t count = 0;
  try {
    count = cursor.EndOfData() ? 0 : cursor.ColumnNamed("TOTAL_COUNT").GetValue().ToInt32();
  } catch (const RaisedError&) {
    count = 0;  // an unreadable count deletes nothing
  }
  cursor.Close();
  Trace("Found " + std::to_string(count) + " rows to delete.", 3);
  if (count <= 0) return;
  std::string statement = "DELETE from " + prefix_ + kHourTable + where_;
  Trace("Running the following query: " + statement, 2);
  std::int64_t deleted = destination_->Execute(statement);
  engine_.counts().rows_deleted += deleted;
  Trace(opened, 3);
  Trace("Deleted " + std::to_string(deleted) + " rows from the table.", 2);
}

void SummaryHourRun::OpenCursors() {
  // In end-time order: slices commit as they go, and a rerun restarts from the newest end held.
  std::string query = "SELECT * from " + prefix_ + kActivityTable + where_ + " order by END_TIME";
  Trace("Running the following query: " + query, 2);
  activities_ = destination_->OpenResultSet(query, data::CursorType::kForwardOnly);
  Trace(std::string("Result set successfully opened on ") + kActivityTable + " table.", 3);
  query = "SELECT * from " + prefix_ + kHourTable + where_;
  Trace("Running the following query: " + query, 2);
  target_ =
      destination_->OpenResultSet(query, data::CursorType::kDynamic, data::LockType::kPessimistic);
  Trace("Open connection successful.", 3);
  BindColumns();
}

void SummaryHourRun::BindColumns() {
  for (size_t i = 0; i < kCopiedColumns.size(); ++i) {
    copied_from_[i] = &activities_->ColumnNamed(kCopiedColumns[i]);
    copied_to_[i] = &target_->ColumnNamed(kCopiedColumns[i]);
  }
  read_ = {&activities_->ColumnNamed("BYTES"), &activities_->ColumnNamed("START_TIME"),
           &activities_->ColumnNamed("END_TIME")};
  data::ResultSet& to = *target_;
  written_ = {&to.ColumnNamed("EXT_SERVER_NAME"), &to.ColumnNamed("PSEUDO_INDEX"),
              &to.ColumnNamed("DATE_VALUE"),      &to.ColumnNamed("HOUR_VALUE"),
              &to.ColumnNamed("ELAPSED_TIME"),    &to.ColumnNamed("BYTES")};
}

// Nothing for an activity without bytes or without both of its times.
std::optional<Activity> SummaryHourRun::ReadActivity() {
  const data::Value& bytes_value = read_.bytes->GetValue();
  double bytes = bytes_value.IsNull() ? 0 : bytes_value.ToDouble();
  const data::Value& start = read_.start->GetValue();
  const data::Value& end = read_.end->GetValue();
  if (!(bytes > 0) || start.IsNull() || end.IsNull()) return std::nullopt;
  Activity activity{ReadTimestamp(start), ReadTimestamp(end)};
  std::int64_t seconds = SecondsBetween(activity.start, activity.end);
  activity.rate = seconds == 0 ? bytes : bytes / static_cast<double>(seconds);
  return activity;
}

void SummaryHourRun::AddSlices(const Activity& activity) {
  const std::string end_text = read_.end->GetValue().ToText();
  for (const HourSlice& slice : SliceIntoHours(activity.start, activity.end)) {
    target_->AddNew();
    Trace("ENDTIME: " + end_text, 3);
    written_.server->SetValue(data::Value(server_));
    written_.pseudo_index->SetValue(data::Value(engine_.PseudoIndexNumberGenerator()));
    for (size_t i = 0; i < kCopiedColumns.size(); ++i) {
      copied_to_[i]->SetValue(copied_from_[i]->GetValue());
    }
    written_.day->SetValue(data::Value(slice.day));
    written_.hour->SetValue(data::Value(slice.hour));
    written_.elapsed->SetValue(data::Value(slice.seconds));
    written_.bytes->SetValue(data::Value(activity.rate * slice.seconds));
    target_->Update();
    ++rows_added_;
    ++engine_.counts().rows_added;
  }
}

void SummaryHourRun::Finish() {
  // Rows held back for batch writing are written before success is reported.
  target_->Close();
  target_.reset();
  activities_->Close();
  activities_.reset();
  Trace("", 3);
  Trace("Added " + std::to_string(rows_added_) + " rows to PostProcessingSummary Table (" +
            FormatTime(CurrentClock().Now()) + ")",
        1);
  Trace("Exiting Function PostProcessSummaryTable. Time:> " +
            FormatNumber(CurrentClock().SecondsSinceMidnight() - engine_.operation_start()),
        2);
}

}  // namespace

std::vector<HourSlice> SliceIntoHours(const Timestamp& start, const Timestamp& end) {
  std::vector<HourSlice> slices;
  if (end < start) return slices;
  Timestamp slice{start.year, start.month, start.day, start.hour, 0, 0};
  // Ending exactly on the hour leaves no zero-length slice for that hour.
  for (; slice <= end; slice = NextHour(slice)) {
    slices.push_back({FormatDate(slice), static_cast<std::int16_t>(slice.hour),
                      SecondsInSlice(start, end, slice)});
    if (NextHour(slice) == end) break;
  }
  return slices;
}

std::int64_t SecondsBetween(const Timestamp& start, const Timestamp& end) {
  auto days =
      static_cast<std::int64_t>(ToDaySerial(StartOfDay(end)) - ToDaySerial(StartOfDay(start)));
  return days * 86400 + static_cast<std::int64_t>(SecondsSinceMidnight(end)) -
         static_cast<std::int64_t>(SecondsSinceMidnight(start));
}

std::int16_t QbObj::PostProcessSummaryTable(const std::string& strServerName,
                                            DataSource& DataSource) {
  SummaryHourRun run(*this, strServerName, DataSource);
  counts_ = {};
  return RunOperation(run, [&run] { return run.Execute(); });
}

}  // namespace kelvan::engine
