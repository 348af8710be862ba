// Pruning 1,000,000 old rows of one server, into SQLite and PostgreSQL: PruneRecords over a
// SUMMARYHOUR-sized table and Prune2Records over a copied table (SUMMARY). Reports rows deleted
// per second, the delete statements and the rows each removed, and the plan of the single count
// query that a prune with nothing left to delete runs. Other servers' rows and recent rows stay.
// An optional argument sets the number of old rows. Exits 1 when a check fails.
#include <algorithm>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/qb_obj.h"
#include "platform/basic/clock.h"
#include "platform/basic/timestamp.h"

namespace kelvan::bench {
namespace {

using testing::Destination;
using testing::ScratchDatabase;

constexpr const char* kNow = "2026-12-06 10:00:00";
constexpr std::int16_t kDays = 30;
constexpr std::int32_t kBatch = 1000;
constexpr const char* kServer = "BENCH";
constexpr const char* kOtherServer = "OTHER";
constexpr const char* kBatchPrefix = "Running following query: delete from ";
constexpr const char* kSweepPrefix = "Running the following query: DELETE from ";

// The rows of one server older than the cut-off: `old_dates` extraction dates, each with
// PSEUDO_INDEX 2 .. rows_per_date + 1, and `unnumbered` more without a PSEUDO_INDEX (left for
// the final sweep). Two recent dates of the server and one old date of another server are kept.
struct Layout {
  const char* table;
  bool by_extraction_date;  // Prune2Records rather than PruneRecords
  int old_dates;
  int rows_per_date;
  int unnumbered;
  long long OldRows() const { return 1LL * old_dates * rows_per_date + unnumbered; }
  long long KeptRows() const { return 3LL * rows_per_date; }
};

// SUMMARYHOUR as daily runs of the hourly summary leave it; SUMMARY as daily copies do.
std::vector<Layout> Layouts(int old_rows) {
  return {{"SUMMARYHOUR", false, std::max(1, old_rows / 10000), 10000, 100},
          {"SUMMARY", true, std::max(1, old_rows / 20000), 20000, 0}};
}

std::string DaysBefore(int days) {
  return FormatTimestamp(AddDays(*ParseTimestampText(kNow), -days));
}

// INSERT of `dates` dates counted back from `newest`, `rows` numbered rows each.
std::string FillSql(Destination kind, const std::string& table, const std::string& server,
                    const std::string& newest, int dates, int rows) {
  std::string insert = "INSERT INTO " + table +
                       " (EXT_SERVER_NAME, EXTRACT_DATE, PSEUDO_INDEX, ENTITY, BYTES) SELECT '" +
                       server + "', ";
  std::string row = ", i, 'NODE' || (i % 50), i * 1024.0";
  std::string last_day = std::to_string(dates - 1), last_index = std::to_string(rows + 1);
  if (kind == Destination::kSqlite) {
    return "WITH RECURSIVE d(d) AS (SELECT 0 UNION ALL SELECT d + 1 FROM d WHERE d < " + last_day +
           "), i(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM i WHERE i < " + last_index + ") " +
           insert + "datetime('" + newest + "', '-' || d || ' days')" + row + " FROM d, i;";
  }
  return insert + "timestamp '" + newest + "' - d * interval '1 day'" + row +
         " FROM generate_series(0, " + last_day + ") AS d(d), generate_series(2, " + last_index +
         ") AS i(i);";
}

void Fill(const ScratchDatabase& db, const Layout& layout) {
  std::string old = DaysBefore(kDays + 10), recent = DaysBefore(0);
  std::string sql =
      "BEGIN; " +
      FillSql(db.kind, layout.table, kServer, old, layout.old_dates, layout.rows_per_date) +
      FillSql(db.kind, layout.table, kServer, recent, 2, layout.rows_per_date) +
      FillSql(db.kind, layout.table, kOtherServer, old, 1, layout.rows_per_date);
  if (layout.unnumbered > 0) {
    std::string date = DaysBefore(kDays + 5);
    sql += FillSql(db.kind, layout.table, kServer, date, 1, layout.unnumbered) + " UPDATE " +
           layout.table + " SET PSEUDO_INDEX = NULL WHERE EXTRACT_DATE = '" + date + "';";
  }
  testing::QueryWithClient(db, sql + " COMMIT;");
  if (db.kind == Destination::kPostgres) {
    testing::QueryWithClient(db, std::string("ANALYZE ") + layout.table);
  }
}

long long CountRows(const ScratchDatabase& db, const Layout& layout, const std::string& where) {
  return engine::testing::QueryNumber(
      db, std::string("SELECT COUNT(*) FROM ") + layout.table + " WHERE " + where);
}
std::string OldOfServer() {
  return std::string("EXT_SERVER_NAME = '") + kServer + "' AND EXTRACT_DATE < '" +
         DaysBefore(kDays) + "'";
}

void Prune(engine::QbObj& engine, const Layout& layout, engine::testing::TestRecord& record) {
  std::optional<std::int32_t> batch = kBatch;
  if (layout.by_extraction_date) {
    engine.Prune2Records(kDays, kServer, "DSN=VLTBENCH;UID=admin", layout.table, record,
                         "EXTRACT_DATE", batch);
  } else {
    engine.PruneRecords(kDays, kServer, "DSN=VLTBENCH;UID=admin", layout.table, record,
                        "EXTRACT_DATE", batch);
  }
}

// Rows each batch statement removes, worked out from its PSEUDO_INDEX range and the layout:
// the numbers of the range not reached by an earlier statement on the same rows, times the
// dates the statement spans. A range starting below its predecessor begins another date.
std::vector<long long> RowsPerStatement(const std::vector<std::string>& statements,
                                        const Layout& layout) {
  std::vector<long long> rows;
  long long previous_low = 0, reached = 1, last_index = layout.rows_per_date + 1;
  for (const std::string& statement : statements) {
    std::string range = statement.substr(statement.find(" between ") + 9);
    long long low = std::stoll(range), high = std::stoll(range.substr(range.find(" and ") + 5));
    if (low < previous_low) reached = 1;
    long long first = std::max(low, reached + 1), last = std::min(high, last_index);
    long long numbers = std::max(0LL, last - first + 1);
    rows.push_back(numbers * (layout.by_extraction_date ? 1 : layout.old_dates));
    reached = std::max(reached, high);
    previous_low = low;
  }
  return rows;
}

void ReportStatements(const Layout& layout, const std::vector<std::string>& statements,
                      const std::vector<std::string>& sweeps, long long deleted) {
  std::vector<long long> rows = RowsPerStatement(statements, layout);
  long long batched = 0;
  for (long long n : rows) batched += n;
  long long smallest = rows.empty() ? 0 : *std::min_element(rows.begin(), rows.end());
  long long largest = rows.empty() ? 0 : *std::max_element(rows.begin(), rows.end());
  std::cout << "  " << statements.size() << " batch statements (batch size " << kBatch
            << "): " << smallest << " to " << largest << " rows each, "
            << (rows.empty() ? 0 : batched / static_cast<long long>(rows.size())) << " on average\n"
            << "  " << sweeps.size() << " final sweep statement(s): " << deleted - batched
            << " rows\n";
  Check(batched + layout.unnumbered == deleted, "the batch ranges account for every numbered row");
  Check(largest <= 1.25 * kBatch, "no batch statement deletes much more than the batch size");
  Check(sweeps.size() == (layout.unnumbered > 0 ? 1u : 0u), "one sweep, only for leftover rows");
}

void ReportEmptyPrune(const ScratchDatabase& db, const Layout& layout, engine::QbObj& engine,
                      engine::testing::TestRecord& record, const std::filesystem::path& trace) {
  engine.SetTrace(3, trace.string());
  Stopwatch watch;
  Prune(engine, layout, record);
  double seconds = watch.Seconds();
  std::vector<std::string> queries = TraceLinesAfter(trace, "Running following query: ");
  std::vector<std::string> others = TraceLinesAfter(trace, "Running the following query");
  std::cout << "  nothing left to prune: " << queries.size() + others.size() << " query in "
            << seconds * 1000 << " ms\n";
  Check(queries.size() == 1 && others.empty(), "a prune with nothing to delete runs one query");
  Check(!TraceLinesAfter(trace, "No records to Prune.").empty(), "\"No records to Prune.\"");
  if (queries.empty()) return;
  std::string plan = QueryPlan(db, queries.front());
  PrintIndented(plan);
  Check(PlanSeeksDateRange(db, plan, layout.table), "the count query seeks the index");
}

void Run(Destination kind, const Layout& layout) {
  ScratchDatabase db = testing::CreateScratchDatabase(kind, "prunebench");
  testing::ApplyDestinationSchema(db);
  Fill(db, layout);
  engine::testing::TestRecord record(db.dsn, db.uid, db.pwd);
  engine::QbObj engine;
  engine.SetDBType("Unknown");
  auto dir = testing::OdbcSandbox::Instance().MakeTempDir("prunebench");
  engine.SetTrace(3, (dir / "prune.htm").string());
  long long before = CountRows(db, layout, "1 = 1");
  Stopwatch watch;
  Prune(engine, layout, record);
  double seconds = watch.Seconds();
  long long deleted = before - CountRows(db, layout, "1 = 1");
  std::cout << testing::DestinationName(kind) << " "
            << (layout.by_extraction_date ? "Prune2Records " : "PruneRecords ") << layout.table
            << ": " << deleted << " rows deleted in " << seconds << " s, "
            << static_cast<long long>(deleted / seconds) << " rows/s\n";
  Check(deleted == layout.OldRows(), "every old row of the server deleted");
  Check(CountRows(db, layout, OldOfServer()) == 0, "no old row of the server left");
  ReportStatements(layout, TraceLinesAfter(dir / "prune.htm", kBatchPrefix),
                   TraceLinesAfter(dir / "prune.htm", kSweepPrefix), deleted);
  if (kind == Destination::kPostgres)
    testing::QueryWithClient(db, "VACUUM ANALYZE " + std::string(layout.table));
  ReportEmptyPrune(db, layout, engine, record, dir / "empty.htm");
  Check(CountRows(db, layout, "1 = 1") == layout.KeptRows(), "recent and other servers' rows kept");
}

}  // namespace
}  // namespace kelvan::bench

int main(int argc, char** argv) {
  using namespace kelvan;
  int old_rows = argc > 1 ? std::stoi(argv[1]) : 1000000;
  testing::OdbcSandbox::Instance();
  FixedClock clock(*ParseTimestampText(bench::kNow));
  ScopedClock scoped(clock);
  try {
    for (auto kind : {testing::Destination::kSqlite, testing::Destination::kPostgres}) {
      for (const bench::Layout& layout : bench::Layouts(old_rows)) bench::Run(kind, layout);
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
