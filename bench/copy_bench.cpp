// The copy's part of `make bench`: CopyTable of N SUMMARY rows (default 1,000,000; the first
// argument sets N) from the stand-in server into SQLite, PostgreSQL and MariaDB, beside each
// database's own CSV load of the same rows and, for PostgreSQL, pgloader reading the same SQLite
// file. Two sources of N rows each: every column set in every row, and activities mixed as a
// server's day mixes them, each leaving other columns NULL. Each way runs three times into a
// fresh database; the copy and pgloader run in processes of their own so that their peak resident
// memory is theirs alone. The copy first runs once with N / 10 rows, as the warm-up and to show
// that its memory does not grow with the rows. Prints one table per destination and source and
// writes them, with the machine and the date, to the file named by the second argument. Exits 1
// when a goal is missed.
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "engine/qb_obj.h"
#include "platform/basic/clock.h"
#include "tests/support/odbc_sandbox.h"
#include "vltsim/generator/source_tables.h"

namespace kelvan::bench {
namespace {

using testing::Destination;
constexpr int kRuns = 3;
constexpr const char* kNow = "2026-12-06 10:00:00";

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

std::string Quoted(const std::string& text) { return "'" + text + "'"; }  // paths of our own

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

// The columns of SUMMARY after its two times, over the row number i (and k = i % 10).
// Every column set: one backup after the other.
constexpr const char* kFullRow =
    "'BACKUP', i, 'NODE' || (i % 50), 'Tcp/Ip', '10.0.0.' || (i % 250), 'DAILY', i % 1000,"
    " i % 900, i % 7, i * 1024, i % 60, i % 30, i % 4, 'YES', 'VOL' || (i % 500),"
    " 'DRIVE' || (i % 8), 'LIB1', 'Data', i % 100";
// Scheduled backups (k 0-3) and other client sessions (4, 5) with a communication method and no
// library; tape mounts (6, 7) with a volume, drive, library and last use and no communication
// method or bytes; processes (8, 9), expiration without bytes. What an activity lacks is NULL.
constexpr const char* kMixedRow =
    "CASE WHEN k < 4 THEN 'BACKUP' WHEN k = 4 THEN 'RESTORE' WHEN k = 5 THEN 'ARCHIVE'"
    " WHEN k < 8 THEN 'TAPE MOUNT' WHEN k = 8 THEN 'MIGRATION' ELSE 'EXPIRATION' END, i,"
    " CASE WHEN k < 6 THEN 'NODE' || (i % 50) WHEN k < 8 THEN 'DRIVE' || (i % 8)"
    " WHEN k = 8 THEN 'DISK_POOL -> TAPE_POOL' END,"
    " CASE WHEN k < 6 THEN 'Tcp/Ip' END, CASE WHEN k < 6 THEN '10.0.0.' || (i % 250) END,"
    " CASE WHEN k < 4 THEN 'DAILY' END, i % 1000, i % 900, i % 7,"
    " CASE WHEN k < 6 OR k = 8 THEN i * 1024 END, i % 60, i % 30, i % 4, 'YES',"
    " CASE WHEN k IN (6, 7) THEN 'VOL' || (i % 500) END,"
    " CASE WHEN k IN (6, 7) THEN 'DRIVE' || (i % 8) END, CASE WHEN k IN (6, 7) THEN 'LIB1' END,"
    " CASE WHEN k IN (6, 7) THEN 'Data' END, i % 100";

// N rows ending a second apart from yesterday on.
void FillSource(const std::string& file, long rows, const char* row_columns) {
  ExecSqlite(file,
             vltsim::CreateTableSql(vltsim::FindSourceTable("SUMMARY")) +
                 "; WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
                 std::to_string(rows) +
                 "), m(i, k) AS (SELECT i, i % 10 FROM n) INSERT INTO SUMMARY SELECT"
                 " datetime('2026-12-05 00:00:00', '+' || (i / 2) || ' seconds'),"
                 " datetime('2026-12-05 00:00:00', '+' || i || ' seconds'), " +
                 row_columns + " FROM m;");
}

// The rows as the copy leaves them in the destination, as CSV for the databases' own loads.
std::string WriteCsv(const std::string& source, const std::string& csv) {
  std::string sql =
      "SELECT *, 'BENCH', '2026-12-06 00:00:00', rowid FROM SUMMARY ORDER BY END_TIME";
  if (std::system(("sqlite3 -csv " + Quoted(source) + " \"" + sql + "\" > " + Quoted(csv)).c_str()))
    throw std::runtime_error("could not write the CSV file");
  return csv;
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

struct Measured {
  double seconds = 0;
  long peak_kb = 0;  // 0: not measured (the client's, not the work's)
};

// Runs a program in a process of its own; its peak memory comes from wait4.
Measured RunProcess(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  auto start = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) {
    freopen("/dev/null", "w", stdout);  // pgloader's own report
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid < 0 || wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) ||
      WEXITSTATUS(status) != 0) {
    throw std::runtime_error(args[0] + " " + args[1] + " failed");
  }
  return {SecondsSince(start), usage.ru_maxrss};
}

std::string SelfPath() {
  std::vector<char> path(4096);
  ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  return std::string(path.data(), length > 0 ? static_cast<size_t>(length) : 0);
}

const char* KindArgument(Destination kind) {
  return kind == Destination::kSqlite ? "sqlite" : kind == Destination::kPostgres ? "pg" : "maria";
}

testing::ScratchDatabase FreshDestination(Destination kind) {
  testing::ScratchDatabase db = testing::CreateScratchDatabase(kind, "bench");
  testing::QueryWithClient(db, DestinationDdl(kind));
  return db;
}

void ExpectRows(const testing::ScratchDatabase& db, const std::string& table, long rows) {
  std::string count = testing::QueryWithClient(db, "SELECT count(*) FROM " + table);
  if (std::stol(count) != rows) throw std::runtime_error(table + " holds " + count + " rows");
}

Measured CopyOnce(Destination kind, const std::string& source_dsn, long rows) {
  testing::ScratchDatabase db = FreshDestination(kind);
  Measured m = RunProcess({SelfPath(), "--copy", KindArgument(kind), db.dsn, source_dsn});
  ExpectRows(db, "SUMMARY", rows);
  return m;
}

Measured NativeOnce(Destination kind, const std::string& csv, long rows) {
  testing::ScratchDatabase db = FreshDestination(kind);
  std::string load =
      kind == Destination::kSqlite ? ".import --csv " + Quoted(csv) + " SUMMARY"
      : kind == Destination::kPostgres
          ? "\\copy SUMMARY FROM " + Quoted(csv) + " WITH (FORMAT csv)"
          : "LOAD DATA LOCAL INFILE " + Quoted(csv) +
                " INTO TABLE SUMMARY FIELDS TERMINATED BY ',' OPTIONALLY ENCLOSED BY '\"'";
  auto start = std::chrono::steady_clock::now();
  testing::QueryWithClient(db, load);
  Measured m{SecondsSince(start), 0};
  ExpectRows(db, "SUMMARY", rows);
  return m;
}

// pgloader with its defaults (it creates the table) from the source file; the password reaches it
// through PGPASSWORD, which the client helpers have set.
Measured PgloaderOnce(const std::string& source_file, long rows) {
  testing::ScratchDatabase db = testing::CreateScratchDatabase(Destination::kPostgres, "peer");
  std::string target =
      "postgresql://" + db.uid + "@127.0.0.1:" + std::getenv("KELVAN_PG_PORT") + "/" + db.database;
  Measured m = RunProcess({"pgloader", "--quiet", "sqlite://" + source_file, target});
  ExpectRows(db, "summary", rows);
  return m;
}

struct Way {
  std::string name;
  std::vector<Measured> runs;

  double RowsPerSecond(long rows) const {
    std::vector<double> seconds;
    for (const Measured& m : runs) seconds.push_back(m.seconds);
    std::sort(seconds.begin(), seconds.end());
    return rows / seconds[seconds.size() / 2];
  }
  long PeakMb() const {
    long peak = 0;
    for (const Measured& m : runs) peak = std::max(peak, m.peak_kb);
    return peak / 1024;
  }
};

template <class Once>
Way Repeat(const std::string& name, Once once) {
  Way way{name, {}};
  for (int run = 0; run < kRuns; ++run) way.runs.push_back(once());
  return way;
}

// The rows of one source: the stand-in server's file, its data sources (of N and N / 10 rows)
// and the same N rows as CSV.
struct Source {
  std::string name;
  std::string file, dsn, small_dsn, csv;
};

struct Inputs {
  long rows;
  Source full, mixed;
};

class Report {
 public:
  void Table(Destination kind, long rows, const Source& source, const Way& copy, const Way& peer,
             const std::optional<Way>& native, const Measured& small);
  void MixedAgainstFull(const Way& full, const Way& mixed, long rows);
  bool Failed() const { return failed_; }
  std::string Text() const { return out_.str(); }

 private:
  void Row(const Way& way, long rows, double peer_rate) {
    double rate = way.RowsPerSecond(rows);
    out_ << "| " << way.name << " | " << std::lround(rate) << " | " << std::fixed
         << std::setprecision(2) << rate / peer_rate << " | "
         << (way.PeakMb() ? std::to_string(way.PeakMb()) + " MB" : "not measured") << " |\n";
    out_.unsetf(std::ios::fixed);
  }
  void Goal(bool met, const std::string& text) {
    out_ << "- " << (met ? "met" : "NOT MET") << ": " << text << "\n";
    failed_ = failed_ || !met;
  }

  std::ostringstream out_;
  bool failed_ = false;
};

void Report::Table(Destination kind, long rows, const Source& source, const Way& copy,
                   const Way& peer, const std::optional<Way>& native, const Measured& small) {
  out_ << "\n### " << testing::DestinationName(kind) << ", " << source.name << " (" << rows
       << " rows, median of " << kRuns
       << ")\n\n| way | rows/s | ratio to the peer | peak RSS |\n|---|---|---|---|\n";
  double peer_rate = peer.RowsPerSecond(rows);
  Row(copy, rows, peer_rate);
  Row(peer, rows, peer_rate);
  if (native) Row(*native, rows, peer_rate);
  double ratio = copy.RowsPerSecond(rows) / peer_rate;
  double target = kind == Destination::kPostgres ? 1.2
                  : kind == Destination::kSqlite ? 0.5
                                                 : 1 / 3.;
  Goal(ratio >= target, "copy at least " + std::to_string(target).substr(0, 4) + " x the peer");
  if (native) {
    out_ << "- copy / native bulk load: " << std::setprecision(2)
         << copy.RowsPerSecond(rows) / native->RowsPerSecond(rows) << "\n";
  }
  long small_mb = small.peak_kb / 1024;
  Goal(copy.PeakMb() < 64 && copy.PeakMb() <= small_mb * 1.1,
       "copy peak RSS " + std::to_string(copy.PeakMb()) + " MB for " + std::to_string(rows) +
           " rows, " + std::to_string(small_mb) + " MB for " + std::to_string(rows / 10) +
           " (same within 10 %, under 64 MB)");
}

void Report::MixedAgainstFull(const Way& full, const Way& mixed, long rows) {
  double ratio = mixed.RowsPerSecond(rows) / full.RowsPerSecond(rows);
  std::ostringstream text;
  text << "copy of mixed rows within 20 % of full rows (" << std::fixed << std::setprecision(2)
       << ratio << " x)";
  Goal(ratio >= 0.8, text.str());
}

// The copy's measurements of one destination and source, in the report; returns the copy's.
Way Measure(Destination kind, long rows, const Source& source, Report& report) {
  std::cout << "measuring " << testing::DestinationName(kind) << ", " << source.name << "...\n"
            << std::flush;
  Measured small = CopyOnce(kind, source.small_dsn, rows / 10);  // also the warm-up
  Way copy = Repeat("KELVAN CopyTable", [&] { return CopyOnce(kind, source.dsn, rows); });
  Way native = Repeat(kind == Destination::kSqlite     ? "sqlite3 .import (CSV)"
                      : kind == Destination::kPostgres ? "psql \\copy (CSV)"
                                                       : "LOAD DATA LOCAL INFILE (CSV)",
                      [&] { return NativeOnce(kind, source.csv, rows); });
  if (kind == Destination::kPostgres) {
    Way peer =
        Repeat("pgloader from the SQLite file", [&] { return PgloaderOnce(source.file, rows); });
    report.Table(kind, rows, source, copy, peer, native, small);
  } else {
    report.Table(kind, rows, source, copy, native, std::nullopt, small);
  }
  return copy;
}

void MeasureBothSources(Destination kind, const Inputs& in, Report& report) {
  Way full = Measure(kind, in.rows, in.full, report);
  Way mixed = Measure(kind, in.rows, in.mixed, report);
  report.MixedAgainstFull(full, mixed, in.rows);
}

std::string Registered(const std::string& file, const std::string& dsn) {
  testing::OdbcSandbox::Instance().AddDataSource(dsn, testing::kVltDriver, {{"Database", file}});
  return dsn;
}

// `tag` names the source's files and data sources.
Source PrepareSource(const std::string& name, const std::string& tag, long rows,
                     const char* row_columns) {
  std::string dir = testing::OdbcSandbox::Instance().MakeTempDir(tag).string();
  Source source{name, dir + "/server.db", "", "", ""};
  FillSource(source.file, rows, row_columns);
  FillSource(dir + "/small.db", rows / 10, row_columns);
  source.dsn = Registered(source.file, "VLT_BENCH_" + tag);
  source.small_dsn = Registered(dir + "/small.db", "VLT_BENCH_SMALL_" + tag);
  source.csv = WriteCsv(source.file, dir + "/summary.csv");
  return source;
}

Inputs Prepare(long rows) {
  return {rows, PrepareSource("full rows", "FULL", rows, kFullRow),
          PrepareSource("mixed activities", "MIXED", rows, kMixedRow)};
}

std::string Machine() {
  utsname name{};
  uname(&name);
  std::time_t now = std::time(nullptr);
  char date[32];
  std::strftime(date, sizeof date, "%Y-%m-%d %H:%M", std::localtime(&now));
  return std::string(name.nodename) + ", " + name.sysname + " " + name.release + ", " +
         std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores, " + date;
}

// KELVAN_BENCH_ONLY=sqlite|pg|maria measures one destination, for profiling.
bool Selected(Destination kind) {
  const char* only = std::getenv("KELVAN_BENCH_ONLY");
  return only == nullptr || *only == 0 || KindArgument(kind) == std::string(only);
}

int RunAll(long rows, const std::string& results) {
  Inputs in = Prepare(rows);
  Report report;
  for (auto kind : {Destination::kPostgres, Destination::kSqlite, Destination::kMariaDb}) {
    if (Selected(kind)) MeasureBothSources(kind, in, report);
  }
  std::string text = "## Copy (" + Machine() + ")\n" + report.Text();
  std::cout << text;
  if (!results.empty()) std::ofstream(results) << "# Benchmarks\n\n" << text << "\n";
  return report.Failed() ? 1 : 0;
}

class Record : public engine::DataSource {
 public:
  Record(std::string dsn, std::string uid, std::string pwd)
      : dsn_(std::move(dsn)), uid_(std::move(uid)), pwd_(std::move(pwd)) {}
  std::string Name() const override { return dsn_; }
  std::string UserName() const override { return uid_; }
  std::string Password() const override { return pwd_; }
  std::string Qualifier() const override { return ""; }

 private:
  std::string dsn_, uid_, pwd_;
};

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// One copy, in the process the bench started for it: the data sources are the bench's (its
// ODBCINI is inherited) and the destination's user and password come from the environment.
int CopyProcess(const std::string& kind, const std::string& dsn, const std::string& source_dsn) {
  std::string prefix = kind == "pg" ? "KELVAN_PG_" : "KELVAN_MARIADB_";
  Record record(dsn, kind == "sqlite" ? "" : Env((prefix + "USER").c_str()),
                kind == "sqlite" ? "" : Env((prefix + "PASSWORD").c_str()));
  engine::QbObj engine;
  return engine.CopyTable("BENCH", "DSN=" + source_dsn + ";UID=bench;PWD=bench", "SUMMARY", record,
                          kFalse16, kNow) == 0
             ? 0
             : 1;
}

}  // namespace
}  // namespace kelvan::bench

int main(int argc, char** argv) {
  using namespace kelvan;
  FixedClock clock(*ParseTimestampText(bench::kNow));
  ScopedClock scoped(clock);
  try {
    if (argc == 5 && std::string(argv[1]) == "--copy") {
      return bench::CopyProcess(argv[2], argv[3], argv[4]);
    }
    long rows = argc > 1 ? std::stol(argv[1]) : 1000000;
    return bench::RunAll(rows, argc > 2 ? argv[2] : "");
  } catch (const RaisedError& e) {
    std::cerr << "bench: error " << e.Number() << " in " << e.Source() << ": " << e.Description()
              << "\n";
  } catch (const std::exception& e) {
    std::cerr << "bench: " << e.what() << "\n";
  }
  return 1;
}
