// CopyTable of 200,000 SUMMARY rows from the stand-in server into SQLite and PostgreSQL:
// rows per second and peak resident memory. Memory must not grow with the number of rows, so
// the copy runs twice per destination, with a quarter of the rows and then with all of them.
#include <sqlite3.h>
#include <sys/resource.h>

#include <chrono>
#include <iostream>
#include <stdexcept>
#include <string>

#include "engine/qb_obj.h"
#include "platform/basic/clock.h"
#include "tests/support/odbc_sandbox.h"
#include "vltsim/generator/source_tables.h"

namespace kelvan::bench {
namespace {

using testing::Destination;
constexpr int kRows = 200000;

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

void ExecSqlite(const std::string& file, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open(file.c_str(), &db);
  char* message = nullptr;
  int rc = sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message);
  std::string error = message ? message : "";
  sqlite3_free(message);
  sqlite3_close(db);
  if (rc != SQLITE_OK) throw std::runtime_error("source: " + error);
}

// A server whose SUMMARY holds `rows` rows ending one second apart from yesterday on.
std::string MakeSource(int rows) {
  auto& sandbox = testing::OdbcSandbox::Instance();
  std::string file = (sandbox.MakeTempDir("src") / "server.db").string();
  const vltsim::SourceTable& summary = vltsim::FindSourceTable("SUMMARY");
  ExecSqlite(file, vltsim::CreateTableSql(summary) +
                       "; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n "
                       "WHERE i < " +
                       std::to_string(rows) +
                       ") INSERT INTO SUMMARY (START_TIME, END_TIME, ACTIVITY, NUMBER, ENTITY,"
                       " EXAMINED, AFFECTED, BYTES, SUCCESSFUL) SELECT '2026-12-05 00:00:00',"
                       " datetime('2026-12-05 00:00:00', '+' || i || ' seconds'), 'BACKUP', i,"
                       " 'NODE' || (i % 50), i % 1000, i % 900, i * 1024, 'YES' FROM n;");
  std::string dsn = "VLT_BENCH" + std::to_string(rows);
  sandbox.AddDataSource(dsn, testing::kVltDriver, {{"Database", file}});
  return "DSN=" + dsn + ";UID=bench;PWD=bench";
}

std::string DestinationDdl(Destination kind) {
  std::string sql = "CREATE TABLE SUMMARY (";
  for (const vltsim::SourceColumn& column : vltsim::FindSourceTable("SUMMARY").columns) {
    std::string type = column.type;
    if (type == "TIMESTAMP" && kind == Destination::kMariaDb) type = "DATETIME";
    sql += column.name + " " + type + ", ";
  }
  std::string ts = kind == Destination::kMariaDb ? "DATETIME" : "TIMESTAMP";
  return sql + "EXT_SERVER_NAME VARCHAR(64), EXTRACT_DATE " + ts + ", PSEUDO_INDEX INTEGER)";
}

long PeakKilobytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

void Run(Destination kind, const std::string& source, int rows) {
  testing::ScratchDatabase db = testing::CreateScratchDatabase(kind, "bench");
  testing::QueryWithClient(db, DestinationDdl(kind));
  Record record(db);
  engine::QbObj engine;
  auto start = std::chrono::steady_clock::now();
  engine.CopyTable("BENCH", source, "SUMMARY", record, kFalse16, "2026-12-06 10:00:00");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::cout << testing::DestinationName(kind) << ": " << rows << " rows in " << seconds << " s, "
            << static_cast<long>(rows / seconds) << " rows/s, peak RSS " << PeakKilobytes() / 1024
            << " MB\n";
}

}  // namespace
}  // namespace kelvan::bench

int main() {
  using namespace kelvan;
  FixedClock clock(*ParseTimestampText("2026-12-06 10:00:00"));
  ScopedClock scoped(clock);
  try {
    for (int rows : {bench::kRows / 4, bench::kRows}) {
      std::string source = bench::MakeSource(rows);
      for (auto kind : {testing::Destination::kSqlite, testing::Destination::kPostgres}) {
        bench::Run(kind, source, rows);
      }
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
