// PostProcessSummaryTable over 100,000 new SUMMARY activities and SimultaneousActivityTable over
// one day of 100,000 SUMMARY rows, into SQLite and PostgreSQL: rows written per second and peak
// resident memory. An optional argument sets the number of rows.
#include <sys/resource.h>

#include <chrono>
#include <iostream>
#include <string>

#include "engine/qb_obj.h"
#include "platform/basic/clock.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan::bench {
namespace {

using testing::Destination;

class Record : public engine::DataSource {
 public:
  explicit Record(const testing::ScratchDatabase& db) : db_(db) {}
  std::string Name() const override { return db_.dsn; }
  std::string UserName() const override { return db_.uid; }
  std::string Password() const override { return db_.pwd; }
  std::string Qualifier() const override { return ""; }

 private:
  testing::ScratchDatabase db_;
};

// Seconds after 2026-12-05 00:00:00 as a destination timestamp expression.
std::string After(Destination kind, const std::string& seconds) {
  if (kind == Destination::kSqlite) {
    return "datetime('2026-12-05 00:00:00', '+' || (" + seconds + ") || ' seconds')";
  }
  return "(timestamp '2026-12-05 00:00:00' + (" + seconds + ") * interval '1 second')";
}

// Activities ending a second apart; most last up to an hour, every tenth up to 5.5 hours; every
// seventh is a tape mount, the rest sessions. All of one extraction day.
std::string FillSummary(Destination kind, int rows) {
  const std::string duration = "(CASE WHEN i % 10 = 0 THEN i % 20000 ELSE (i * 37) % 3600 END)";
  std::string select =
      "SELECT 'BENCH', '2026-12-06 00:00:00', i + 1, " + After(kind, "i + 20000 - " + duration) +
      ", " + After(kind, "i + 20000") +
      ", CASE WHEN i % 7 = 0 THEN 'TAPE MOUNT' ELSE 'BACKUP' END, i, 'NODE' || (i % 50),"
      " CASE WHEN i % 7 = 0 THEN NULL ELSE 'Tcp/Ip' END, 'LIB1', 'Data', i * 1024";
  std::string insert =
      "INSERT INTO SUMMARY (EXT_SERVER_NAME, EXTRACT_DATE, PSEUDO_INDEX, START_TIME, END_TIME,"
      " ACTIVITY, NUMBER_X, ENTITY, COMMMETH, LIBRARY_NAME, LAST_USE, BYTES) ";
  std::string n = std::to_string(rows);
  if (kind == Destination::kSqlite) {
    return "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " + n + ") " +
           insert + select + " FROM n";
  }
  return insert + select + " FROM generate_series(1, " + n + ") AS n(i)";
}

long PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

template <class Operation>
void Measure(const char* what, const testing::ScratchDatabase& db, const char* table,
             Operation operation) {
  auto start = std::chrono::steady_clock::now();
  operation();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  long written =
      std::stol(testing::QueryWithClient(db, std::string("SELECT COUNT(*) FROM ") + table));
  std::cout << testing::DestinationName(db.kind) << " " << what << ": " << written << " rows in "
            << seconds << " s, " << static_cast<long>(written / seconds) << " rows/s, peak "
            << PeakMegabytes() << " MB\n";
}

void Run(Destination kind, int rows) {
  testing::ScratchDatabase db = testing::CreateScratchDatabase(kind, "derivedbench");
  testing::ApplyDestinationSchema(db);
  testing::QueryWithClient(db, FillSummary(kind, rows));
  Record record(db);
  engine::QbObj engine;
  engine.SetDBType("Unknown");
  Measure("PostProcessSummaryTable", db, "SUMMARYHOUR",
          [&] { engine.PostProcessSummaryTable("BENCH", record); });
  Measure("SimultaneousActivityTable", db, "SIMUL_ACTIVITY",
          [&] { engine.SimultaneousActivityTable("BENCH", record, "2026-12-06 10:00:00"); });
}

}  // namespace
}  // namespace kelvan::bench

int main(int argc, char** argv) {
  using namespace kelvan;
  int rows = argc > 1 ? std::stoi(argv[1]) : 100000;
  FixedClock clock(*ParseTimestampText("2026-12-06 10:00:00"));
  ScopedClock scoped(clock);
  try {
    for (auto kind : {testing::Destination::kSqlite, testing::Destination::kPostgres}) {
      bench::Run(kind, rows);
    }
  } catch (const RaisedError& e) {
    std::cerr << "bench: error " << e.Number() << " in " << e.Source() << ": " << e.Description()
              << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "bench: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
