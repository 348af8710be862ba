// SimultaneousActivityTable: the sessions and tape mounts of one day's SUMMARY rows turned into
// start and end events, swept in time order into SIMUL_ACTIVITY with the number running after
// each event.
#include <limits>
#include <optional>
#include <vector>

#include "engine/engine_text.h"
#include "engine/qb_obj.h"
#include "platform/basic/clock.h"
#include "platform/basic/timestamp.h"
#include "platform/data/data_engine.h"

namespace kelvan::engine {
namespace {

constexpr const char* kTable = "SIMUL_ACTIVITY";
constexpr std::int64_t kRecordDensity = 1000;  // pseudo indexes per batch
constexpr const char* kTapeMount = "TAPE MOUNT";

// A 16-bit running count; beyond its range it fails rather than wraps.
void AddToCount(std::int16_t& count, int delta) {
  int sum = count + delta;
  if (sum > std::numeric_limits<std::int16_t>::max() ||
      sum < std::numeric_limits<std::int16_t>::min()) {
    throw RaisedError(kErrOverflow, "Qobra", "Overflow");
  }
  count = static_cast<std::int16_t>(sum);
}

// What one event writes besides the columns that every row shares.
struct Event {
  std::int32_t number = 0;  // of the INSERT statement, in the trace
  std::int32_t pseudo_index = 0;
  int delta = 0;  // 1 start, -1 end
  std::string activity, entity, subactivity;
  std::optional<std::string> time;  // "yyyy-mm-dd hh:mm:ss"; nothing for an event without a time
  std::int16_t count = 0;
};

class SimulActivityRun : public DerivedTableRun {
 public:
  SimulActivityRun(QbObj& engine, const std::string& server, const DataSource& data_source,
                   const std::string& rollup_date)
      : engine_(engine), server_(server), data_source_(data_source), rollup_date_(rollup_date) {}

  std::int16_t Execute();

  std::string Name() const override { return "SimultaneousActivityTable"; }
  void Release() noexcept override {
    events_.reset();
    writing_.reset();
  }

 private:
  void Start();
  void ReplaceDay();
  std::int32_t ReadPseudoIndex(const std::string& query, const char* column, const char* which);
  void SweepBatches(std::int64_t min_pi, std::int64_t max_pi);
  std::int32_t SweepBatch(std::int64_t first, std::int64_t last);
  std::string EventQuery(std::int64_t first, std::int64_t last) const;
  std::string OfRollupDay() const;
  void ReadEvents();
  template <class Step>
  bool Ignoring(Step step);
  void Ignore(const RaisedError& e);
  Event ReadEvent();
  void Queue(Event event);
  std::string InsertCommand(const Event& event) const;
  void WriteBatch();
  void FillRows();
  void Finish();

  // An unwritten message still becomes the one a level-1 line repeats: the text of an insert
  // not traced is made only when such a line follows it.
  void Trace(const std::string& message, std::int16_t level) {
    if (level == 1 && untraced_insert_) engine_.Trace(InsertCommand(*untraced_insert_), 3);
    untraced_insert_.reset();
    engine_.Trace(message, level);
  }
  std::string SecondsSinceStart() const {
    return FormatNumber(CurrentClock().SecondsSinceMidnight() - engine_.operation_start());
  }

  QbObj& engine_;
  const std::string& server_;
  const DataSource& data_source_;
  const std::string& rollup_date_;
  std::string prefix_;                       // set first thing, under the failure convention
  std::string rollup_day_;                   // "yyyy-mm-dd 00:00:00"
  std::string day_clause_;                   // this server's rows of the rollup day
  std::string summary_day_;                  // this server's SUMMARY rows extracted that day
  data::Connection* destination_ = nullptr;  // owned by the engine's cache
  std::optional<data::ResultSet> writing_;
  std::optional<data::ResultSet> events_;
  std::int16_t sessions_ = 0;       // running, carried across batches
  std::int16_t tape_mounts_ = 0;    // likewise
  std::int32_t rows_inserted_ = 0;  // statements issued, accepted or not
  std::int32_t rows_rejected_ = 0;
  std::int32_t events_left_out_ = 0;  // failed before their INSERT, in the ignored stretch
  std::vector<Event> batch_;
  std::vector<data::NewRow> rows_;
  std::optional<Event> untraced_insert_;
};

std::int16_t SimulActivityRun::Execute() {
  prefix_ = TablePrefix(data_source_);  // raises for a qualifier that is no plain name
  Start();
  engine_.ChooseCursorDriver();
  destination_ = &engine_.CachedDestinationConnection(DestinationConnectString(data_source_));
  day_clause_ = " where EXT_SERVER_NAME = '" + QuoteSqlText(server_) + "' and EXTRACT_DATE = '" +
                QuoteSqlText(rollup_day_) + "'";
  ReplaceDay();
  summary_day_ = " where EXT_SERVER_NAME = '" + QuoteSqlText(server_) + "'" + OfRollupDay();
  std::int32_t max_pi = ReadPseudoIndex(
      "select max(PSEUDO_INDEX) as MAXPI from " + prefix_ + "SUMMARY " + summary_day_, "MAXPI",
      "max");
  std::int32_t min_pi = ReadPseudoIndex(
      "SELECT min(PSEUDO_INDEX) as MINPI from " + prefix_ + "SUMMARY " + summary_day_, "MINPI",
      "min");
  if (min_pi < 1) {
    Trace("No new records in SUMMARY table for SIMUL_ACTIVITY.", 2);
    Trace("Exiting Function SimultaneousActivityTable. Time:>" + SecondsSinceStart(), 2);
    return 0;
  }
  std::string query = "SELECT * from " + prefix_ + kTable + day_clause_;
  Trace("Running the following query for writing: " + query, 2);
  writing_ =
      destination_->OpenResultSet(query, data::CursorType::kDynamic, data::LockType::kPessimistic);
  SweepBatches(min_pi, max_pi);
  Finish();
  return 0;
}

void SimulActivityRun::Start() {
  double start = engine_.MarkOperationStart();
  Trace("===Entering Function SimultaneousActivityTable  Start Time = " + FormatNumber(start), 2);
  engine_.TraceCallLines(server_, kTable, data_source_);
  engine_.ResetPseudoIndex();
  rollup_day_ = FormatTimestampText(rollup_date_).substr(0, 10) + " 00:00:00";
}

void SimulActivityRun::ReplaceDay() {
  const std::string running =
      "Running the following query against Destination Table(" + std::string(kTable) + "): ";
  std::string query = "SELECT COUNT(*) as TOTAL_COUNT from " + prefix_ + kTable + day_clause_;
  Trace(running + query, 2);
  data::ResultSet cursor = destination_->OpenResultSet(query);
  Trace("Open connection successful.", 3);
  std::int64_t count = 0;
  try {
    count = cursor.EndOfData() ? 0 : cursor.ColumnNamed("TOTAL_COUNT").GetValue().ToInt32();
  } catch (const RaisedError&) {
    count = 0;  // an unreadable count deletes nothing
  }
  cursor.Close();
  Trace("Record count for deletes: " + std::to_string(count), 3);
  if (count <= 0) return;
  std::string statement = "DELETE from " + prefix_ + kTable + day_clause_;
  Trace(running + statement, 2);
  engine_.counts().rows_deleted += destination_->Execute(statement);
  Trace("Open connection successful.", 3);
  Trace("Deleted Records: " + std::to_string(count), 3);
}

// The value of a one-row aggregate; 0 when it is null.
std::int32_t SimulActivityRun::ReadPseudoIndex(const std::string& query, const char* column,
                                               const char* which) {
  Trace(std::string("Running the following query to get ") + which + " pseudo index: " + query, 2);
  data::ResultSet cursor = destination_->OpenResultSet(query);
  std::int32_t value = 0;
  if (!cursor.EndOfData()) {
    const data::Value& read = cursor.ColumnNamed(column).GetValue();
    if (!read.IsNull()) value = read.ToInt32();
  }
  cursor.Close();
  return value;
}

// Batches of 1000 pseudo indexes; the first covers min_pi to min_pi + 1000.
void SimulActivityRun::SweepBatches(std::int64_t min_pi, std::int64_t max_pi) {
  std::int64_t first = min_pi;
  for (std::int64_t i = min_pi; i <= max_pi; i += kRecordDensity) {
    Trace("i (" + std::to_string(i) + ") = MinPI (" + std::to_string(first) + ") to MaxPIValue (" +
              std::to_string(max_pi) + ") step Recorddensity (" + std::to_string(kRecordDensity) +
              ")",
          2);
    std::int32_t inserted = SweepBatch(first, i + kRecordDensity);
    first = i + kRecordDensity + 1;
    Trace("Increment MinPI = " + std::to_string(first), 2);
    Trace("Inserted " + std::to_string(inserted) + " records", 3);
  }
}

// The rows inserted (statements issued) for the batch. The events are read whole, then written
// in one transaction.
std::int32_t SimulActivityRun::SweepBatch(std::int64_t first, std::int64_t last) {
  Trace("Increment MaxPI = " + std::to_string(last), 2);
  std::string query = EventQuery(first, last);
  Trace("Running the following query against Source Table (SUMMARY): " + query, 2);
  events_ = destination_->OpenResultSet(query, data::CursorType::kForwardOnly);
  Trace("Open connection successful.", 3);
  std::int32_t before = rows_inserted_;
  batch_.clear();
  ReadEvents();
  Ignoring([this] { events_->Close(); });
  events_.reset();
  WriteBatch();
  return rows_inserted_ - before;
}

// PSEUDO_INDEX starts again with every extraction, so the range alone would take in the events
// of every older day still held. A range of times, since with several extractions a day the
// extract dates carry the run's time.
std::string SimulActivityRun::OfRollupDay() const {
  std::string next_day = FormatTimestamp(AddDays(*ParseTimestampText(rollup_day_), 1));
  return " and EXTRACT_DATE >= " +
         engine_.DestinationTimestampLiteral("'" + QuoteSqlText(rollup_day_) + "'") +
         " and EXTRACT_DATE < " +
         engine_.DestinationTimestampLiteral("'" + QuoteSqlText(next_day) + "'");
}

std::string SimulActivityRun::EventQuery(std::int64_t first, std::int64_t last) const {
  std::string from =
      prefix_ + "SUMMARY where EXT_SERVER_NAME = '" + QuoteSqlText(server_) + "'" + OfRollupDay();
  std::string condition =
      " and (COMMMETH IS NOT NULL or ACTIVITY = 'TAPE MOUNT') and (PSEUDO_INDEX between " +
      std::to_string(first) + " and " + std::to_string(last);
  const std::string columns =
      " as TIMEE, EXTRACT_DATE, ACTIVITY, ENTITY, LIBRARY_NAME, LAST_USE from ";
  return "SELECT 'START_SESSION' as START_END,START_TIME" + columns + from + condition +
         ") UNION ALL SELECT 'END_SESSION' as START_END,END_TIME" + columns + from + condition +
         ") order by TIMEE";
}

// From the batch's first INSERT until the next batch's query every failure is ignored: an event
// that cannot be read or counted is left out, and a cursor that cannot move on ends the batch.
void SimulActivityRun::ReadEvents() {
  if (events_->EndOfData()) return;
  Queue(ReadEvent());
  while (Ignoring([this] { events_->MoveNext(); }) && !events_->EndOfData()) {
    if (!Ignoring([this] { Queue(ReadEvent()); })) ++events_left_out_;
  }
}

// False when `step` failed; the failure is reported and goes no further. Anything but a raised
// failure (no memory left) still ends the operation.
template <class Step>
bool SimulActivityRun::Ignoring(Step step) {
  try {
    step();
    return true;
  } catch (const RaisedError& e) {
    Ignore(e);
  }
  return false;
}

void SimulActivityRun::Ignore(const RaisedError& e) {
  Trace("Ignored error in SimultaneousActivityTable: " + NumberedErrorText(e), 1);
  // So that a later failure is not described with this one's diagnostics.
  data::DataEngine::ForThisThread().ClearErrors();
}

// Reads the current event and moves the running counts on.
Event SimulActivityRun::ReadEvent() {
  Event event;
  event.delta = events_->ColumnNamed("START_END").GetValue().ToText() == "START_SESSION" ? 1 : -1;
  std::string activity = events_->ColumnNamed("ACTIVITY").GetValue().ToText();
  if (activity == kTapeMount) {
    AddToCount(tape_mounts_, event.delta);
    const data::Value& library = events_->ColumnNamed("LIBRARY_NAME").GetValue();
    if (library.IsNull()) Trace("LIBRARY_NAME " + library.ToText(), 3);
    event.activity = activity;
    event.entity = library.ToText();
    event.subactivity = events_->ColumnNamed("LAST_USE").GetValue().ToText();
    event.count = tape_mounts_;
  } else {
    AddToCount(sessions_, event.delta);
    event.activity = "SESSION";
    event.entity = events_->ColumnNamed("ENTITY").GetValue().ToText();
    event.subactivity = std::move(activity);
    event.count = sessions_;
  }
  const data::Value& time = events_->ColumnNamed("TIMEE").GetValue();
  if (engine_.trace().level() >= 3) Trace("TIMEE Value: " + time.ToText(), 3);
  if (!time.IsNull()) event.time = FormatTimestampText(time.ToText());
  if (engine_.trace().level() >= 3) {
    Trace("Activity_Time: " + (event.time ? "'" + *event.time + "'" : std::string("NULL")), 3);
  }
  return event;
}

void SimulActivityRun::Queue(Event event) {
  event.pseudo_index = engine_.PseudoIndexNumberGenerator();
  event.number = ++rows_inserted_;
  if (engine_.trace().level() >= 3) {
    Trace(InsertCommand(event), 3);
  } else {
    untraced_insert_ = event;
  }
  batch_.push_back(std::move(event));
}

// The trace line of the INSERT statement that writes the event alone.
std::string SimulActivityRun::InsertCommand(const Event& event) const {
  std::string time = event.time ? "'" + *event.time + "'" : "NULL";
  std::string values = "'" + QuoteSqlText(server_) + "'," + std::to_string(event.pseudo_index) +
                       ",'" + QuoteSqlText(rollup_day_) + "','" + QuoteSqlText(event.activity) +
                       "','" + QuoteSqlText(event.entity) + "','" +
                       QuoteSqlText(event.subactivity) + "'," + std::to_string(event.delta) + "," +
                       engine_.DestinationTimestampLiteral(time) + "," +
                       std::to_string(event.count) + ",NULL,NULL";
  return " Insert Command[" + std::to_string(event.number) + "] INSERT INTO " + prefix_ + kTable +
         "(EXT_SERVER_NAME, PSEUDO_INDEX, EXTRACT_DATE,ACTIVITY, ENTITY, SUBACTIVITY, START_STOP, "
         "ACTIVITY_TIME, ACTIVITY_COUNT, ENTITY_COUNT, SUBACTIVITY_COUNT) VALUES (" +
         values + ")";
}

// Rows the database rejects are left out, reported and counted; the sweep goes on: the next run
// rewrites the day.
void SimulActivityRun::WriteBatch() {
  if (batch_.empty()) return;
  std::vector<data::RejectedRow> rejected;
  bool written = Ignoring([this, &rejected] {
    FillRows();
    rejected = writing_->AddRows(rows_);
  });
  if (!written) {
    rows_rejected_ += static_cast<std::int32_t>(batch_.size());
    return;
  }
  for (const data::RejectedRow& r : rejected) {
    ++rows_rejected_;
    Trace(InsertCommand(batch_[r.index]), 3);  // the statement the failure line repeats
    Ignore(r.error);
  }
}

// The batch's events as rows of SIMUL_ACTIVITY, the columns found by name.
void SimulActivityRun::FillRows() {
  static const char* const kColumns[] = {"EXT_SERVER_NAME", "PSEUDO_INDEX",     "EXTRACT_DATE",
                                         "ACTIVITY",        "ENTITY",           "SUBACTIVITY",
                                         "START_STOP",      "ACTIVITY_TIME",    "ACTIVITY_COUNT",
                                         "ENTITY_COUNT",    "SUBACTIVITY_COUNT"};
  std::vector<size_t> at;
  for (const char* name : kColumns) at.push_back(writing_->ColumnNamed(name).Index());
  rows_.resize(batch_.size());
  for (size_t i = 0; i < batch_.size(); ++i) {
    const Event& e = batch_[i];
    data::NewRow& row = rows_[i];
    row.assign(static_cast<size_t>(writing_->ColumnCount()), std::nullopt);
    row[at[0]].emplace(server_);
    row[at[1]].emplace(e.pseudo_index);
    row[at[2]].emplace(rollup_day_);
    row[at[3]].emplace(e.activity);
    row[at[4]].emplace(e.entity);
    row[at[5]].emplace(e.subactivity);
    row[at[6]].emplace(static_cast<std::int16_t>(e.delta));
    row[at[7]] = e.time ? data::Value(*e.time) : data::Value();
    row[at[8]].emplace(e.count);
    row[at[9]].emplace();  // ENTITY_COUNT and SUBACTIVITY_COUNT are NULL
    row[at[10]].emplace();
  }
}

void SimulActivityRun::Finish() {
  Ignoring([this] { writing_->Close(); });
  writing_.reset();
  engine_.counts().rows_added = rows_inserted_ - rows_rejected_;
  Trace("Exiting Function SimultaneousActivityTable. Time:>" + SecondsSinceStart(), 3);
  Trace("", 3);
  std::string now = " (" + FormatTime(CurrentClock().Now()) + ")";
  Trace("Added " + std::to_string(rows_inserted_) + " rows to SIMUL_ACTIVITY table on " + server_ +
            now,
        1);
  if (rows_rejected_ > 0) {
    Trace("Rejected " + std::to_string(rows_rejected_) +
              " INSERT statement(s) on SIMUL_ACTIVITY table on " + server_ + now,
          1);
  }
  if (events_left_out_ > 0) {
    Trace("Left out " + std::to_string(events_left_out_) +
              " event(s) that could not be read on SIMUL_ACTIVITY table on " + server_ + now,
          1);
  }
}

}  // namespace

std::int16_t QbObj::SimultaneousActivityTable(const std::string& strServerName,
                                              DataSource& DataSource,
                                              const std::string& RollupDate) {
  SimulActivityRun run(*this, strServerName, DataSource, RollupDate);
  counts_ = {};
  return RunOperation(run, [&run] { return run.Execute(); });
}

}  // namespace kelvan::engine
