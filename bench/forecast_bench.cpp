// Forecast2CopyTable over a year of daily snapshots of every forecast table of one server (100
// storage pools, 500 file spaces, 2,000 occupancy rows a day), into SQLite and PostgreSQL. The
// first run catches up one pass per day: passes per second and total time per table. A second
// run the same day redoes today's pass only; the plan of its sample query must reach the table
// through the (EXT_SERVER_NAME, EXTRACT_DATE) index, reading its window and not the year.
// An optional argument sets the number of days. Exits 1 when a check fails.
#include <iostream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/qb_obj.h"
#include "platform/basic/clock.h"
#include "platform/basic/timestamp.h"
#include "platform/data/connection.h"
#include "worker/forecast_tables.h"

namespace kelvan::bench {
namespace {

using testing::Destination;
using testing::ScratchDatabase;

constexpr const char* kNow = "2026-12-06 10:00:00";  // the newest snapshot's time
constexpr const char* kServer = "BENCH";
constexpr std::int16_t kDaysForward = 30;
constexpr std::int16_t kSampleDays = 14;

// One table's daily snapshot: `rows` rows numbered i = 1.., with values as SQL expressions of
// i and the day number d (0 for the oldest snapshot), valid on every destination.
struct Snapshot {
  const char* table;
  int rows;
  const char* columns;
  const char* values;
};

const Snapshot kSnapshots[] = {
    {"DB", 1,
     "AVAIL_SPACE_MB, CAPACITY_MB, MAX_EXTENSION_MB, MAX_REDUCTION_MB, PCT_UTILIZED,"
     " MAX_PCT_UTILIZED, PHYSICAL_VOLUMES, CACHE_HIT_PCT, CACHE_WAIT_PCT",
     "20000 - d * 20, 20000, 5000 - d, 100 + d % 7, 40 + d * 0.1, 80, 2 + d / 100, 98.5,"
     " (d % 5) * 0.1"},
    {"FILESPACES", 500, "NODE_NAME, FILESPACE_NAME, CAPACITY, PCT_UTIL",
     "'NODE' || (i % 100), '/fs' || i, 1000.0 * i + d, i % 50 + d * 0.1"},
    {"LOG", 1,
     "AVAIL_SPACE_MB, CAPACITY_MB, MAX_EXTENSION_MB, MAX_REDUCTION_MB, PCT_UTILIZED,"
     " MAX_PCT_UTILIZED, PHYSICAL_VOLUMES",
     "8000 - d * 5, 8000, 2000, 50 + d % 3, 10 + (d % 30) * 0.5, 60, 1"},
    {"STGPOOLS", 100,
     "STGPOOL_NAME, EST_CAPACITY_MB, PCT_UTILIZED, PCT_MIGR, PCT_LOGICAL, MAXSCRATCH, MIGR_MB,"
     " MIGR_SECONDS",
     "'POOL' || i, 1000.0 * i + d * 10, i % 60 + d * 0.05, i % 30 + d * 0.02, 99.5, 100 + i,"
     " (i * d) % 1000, (i + d) % 3600"},
    {"LIBVOLUMES", 300, "LIBRARY_NAME, VOLUME_NAME, STATUS",
     "'LIB' || (i % 3), 'VOL' || i, CASE WHEN i % 4 = 0 THEN 'Scratch' ELSE 'Private' END"},
    {"NODES", 200, "NODE_NAME", "'NODE' || i"},
    {"SIMUL_ACTIVITY", 48, "ACTIVITY, ENTITY, START_STOP, ACTIVITY_COUNT, ENTITY_COUNT",
     "CASE WHEN i % 3 = 0 THEN 'TAPE MOUNT' ELSE 'BACKUP' END, 'NODE' || i, 1, i % 8 + d % 5, 1"},
    {"OCCUPANCY", 2000,
     "NODE_NAME, TYPE, FILESPACE_NAME, STGPOOL_NAME, NUM_FILES, PHYSICAL_MB,"
     " LOGICAL_MB",
     "'NODE' || (i % 100), CASE WHEN i % 2 = 0 THEN 'Bkup' ELSE 'Arch' END, '/fs' || i,"
     " 'POOL' || (i % 100), 1000 + i + d * 3, i * 10.0 + d, i * 12.0 + d"},
};

const Snapshot& SnapshotOf(const std::string& table) {
  for (const Snapshot& snapshot : kSnapshots) {
    if (table == snapshot.table) return snapshot;
  }
  throw std::logic_error("no snapshot for " + table);
}

std::string FillSql(Destination kind, const Snapshot& s, const std::string& first, int days) {
  std::string insert = std::string("INSERT INTO ") + s.table +
                       " (EXT_SERVER_NAME, EXTRACT_DATE, PSEUDO_INDEX, " + s.columns +
                       ") SELECT '" + kServer + "', ";
  std::string row = std::string(", i + 1, ") + s.values;
  std::string last_day = std::to_string(days - 1), rows = std::to_string(s.rows);
  if (kind == Destination::kSqlite) {
    return "WITH RECURSIVE d(d) AS (SELECT 0 UNION ALL SELECT d + 1 FROM d WHERE d < " + last_day +
           "), i(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM i WHERE i < " + rows + ") " + insert +
           "datetime('" + first + "', '+' || d || ' days')" + row + " FROM d, i;";
  }
  return insert + "timestamp '" + first + "' + d * interval '1 day'" + row +
         " FROM generate_series(0, " + last_day + ") AS d(d), generate_series(1, " + rows +
         ") AS i(i);";
}

// Every snapshot of every table, in one transaction.
void Fill(const ScratchDatabase& db, int days) {
  std::string first = FormatTimestamp(AddDays(*ParseTimestampText(kNow), -(days - 1)));
  std::string sql = "BEGIN; ";
  for (const Snapshot& snapshot : kSnapshots) sql += FillSql(db.kind, snapshot, first, days);
  testing::QueryWithClient(db, sql + " COMMIT;");
  if (db.kind == Destination::kPostgres) testing::QueryWithClient(db, "ANALYZE");
}

long long Count(const ScratchDatabase& db, const std::string& what, const std::string& table) {
  return engine::testing::QueryNumber(
      db, "SELECT " + what + " FROM " + table + " WHERE EXT_SERVER_NAME = '" + kServer + "'");
}

void Forecast(engine::QbObj& engine, const worker::ForecastTable& t,
              engine::testing::TestRecord& record) {
  engine.Forecast2CopyTable(t.select_columns, t.forecast_columns, t.order_columns,
                            t.forecast_table_columns, kServer, t.source, kDaysForward, kSampleDays,
                            record);
}

// The second run of the day: today's pass again, traced, and the plan of its sample query.
void CheckRerunAndPlan(const ScratchDatabase& db, const worker::ForecastTable& t,
                       engine::testing::TestRecord& record, long long rows, int days) {
  auto trace = testing::OdbcSandbox::Instance().MakeTempDir("forecastbench") / "rerun.htm";
  engine::QbObj engine;
  engine.SetDBType("Unknown");
  engine.SetTrace(2, trace.string());
  Forecast(engine, t, record);
  Check(Count(db, "COUNT(*)", t.source + "_F") == rows, "a rerun replaces today's rows only");
  std::vector<std::string> samples = TraceLinesAfter(trace, "Running the following query[");
  Check(samples.size() == 1, "a rerun makes one pass");
  if (samples.empty()) return;
  std::string query = samples.front().substr(samples.front().find("]: ") + 3);
  std::string plan = QueryPlan(db, query);
  // A planner with statistics may rightly read a small table, or one the window covers much
  // of, whole.
  bool large = SnapshotOf(t.source).rows >= 100 && days >= 10 * (kSampleDays + 1);
  if (large || db.kind == Destination::kSqlite) {
    Check(PlanSeeksDateRange(db, plan, t.source), "the sample query seeks its window");
  }
  if (t.source == "OCCUPANCY") PrintIndented(plan);
}

// Forecast rows as the catch-up hands them to the batch path (the fitted values as the texts its
// INSERT statement gave them), 100,000 into OCCUPANCY_F in batches of 2,000: rows per second.
void MeasureRowWrites(const ScratchDatabase& db) {
  constexpr int kBatch = 2000, kBatches = 50;
  data::Connection connection = data::Connection::Open(db.ConnectString());
  data::ResultSet target =
      connection.OpenResultSet("SELECT * FROM OCCUPANCY_F WHERE EXT_SERVER_NAME = 'WRITES'",
                               data::CursorType::kDynamic, data::LockType::kPessimistic);
  std::vector<data::NewRow> rows(kBatch);
  Stopwatch watch;
  for (int b = 0; b < kBatches; ++b) {
    for (int i = 0; i < kBatch; ++i) {
      data::NewRow& row = rows[i];
      row.assign(static_cast<size_t>(target.ColumnCount()), std::nullopt);
      row[0].emplace("WRITES");
      row[1].emplace(static_cast<std::int32_t>(i + 2));
      row[2].emplace(FormatTimestamp(AddDays(*ParseTimestampText(kNow), -b)));
      row[3].emplace(kDaysForward);
      for (size_t k = 4; k < 8; ++k) row[k].emplace("KEY" + std::to_string(i));
      for (size_t f = 8; f < row.size(); ++f) row[f].emplace(std::to_string(i * 1.25 + f));
    }
    Check(target.AddRows(rows).empty(), "every forecast row written");
  }
  target.Close();
  double seconds = watch.Seconds();
  double rate = kBatch * kBatches / seconds;
  std::cout << "  forecast rows through the batch path: " << kBatch * kBatches << " rows in "
            << seconds << " s, " << static_cast<long long>(rate) << " rows/s\n";
  Check(rate >= 30000, "forecast rows written at 30,000 rows/s or more");
}

void Run(Destination kind, int days) {
  ScratchDatabase db = testing::CreateScratchDatabase(kind, "forecastbench");
  testing::ApplyDestinationSchema(db);
  Stopwatch fill;
  Fill(db, days);
  std::cout << testing::DestinationName(kind) << ": " << days << " days of snapshots in "
            << fill.Seconds() << " s\n";
  engine::testing::TestRecord record(db.dsn, db.uid, db.pwd);
  auto trace = testing::OdbcSandbox::Instance().MakeTempDir("forecastbench") / "run.htm";
  for (const worker::ForecastTable& t : worker::ForecastTables()) {
    engine::QbObj engine;
    engine.SetDBType("Unknown");
    engine.SetTrace(1, trace.string());
    Stopwatch watch;
    Forecast(engine, t, record);
    double seconds = watch.Seconds();
    long long passes = Count(db, "COUNT(DISTINCT EXTRACT_DATE)", t.source + "_F");
    long long rows = Count(db, "COUNT(*)", t.source + "_F");
    std::cout << "  " << t.source << "_F: " << passes << " passes in " << seconds << " s, "
              << passes / seconds << " passes/s, " << rows << " rows, "
              << static_cast<long long>(rows / seconds) << " rows/s\n";
    // The first forecast date is the oldest snapshot plus the window; one pass a day to now.
    Check(passes == days - kSampleDays, "one pass per day after the first window");
    CheckRerunAndPlan(db, t, record, rows, days);
  }
  MeasureRowWrites(db);
}

}  // namespace
}  // namespace kelvan::bench

int main(int argc, char** argv) {
  using namespace kelvan;
  int days = argc > 1 ? std::stoi(argv[1]) : 365;
  testing::OdbcSandbox::Instance();
  FixedClock clock(*ParseTimestampText(bench::kNow));
  ScopedClock scoped(clock);
  try {
    for (auto kind : {testing::Destination::kSqlite, testing::Destination::kPostgres}) {
      bench::Run(kind, days);
    }
  } catch (const RaisedError& e) {
    std::cerr << "bench: error " << e.Number() << " in " << e.Source() << ": " << e.Description()
              << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "bench: " << e.what() << "\n";
    return 1;
  }
  return bench::AnyCheckFailed() ? 1 : 0;
}
