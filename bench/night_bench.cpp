// One night's run of ten stand-in servers of the real-server profile, every stage on and set up as
// the demo sets it, over history already loaded, into SQLite and PostgreSQL. The engine is called
// in the load sequence's order, one engine per server, without the pauses between servers: total
// time, time and share of the night per stage, rows per second per stage, peak memory. Appends its
// table to the results file given as argument (else prints it). Exits 1 when a check fails.
#include <sys/resource.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "engine/qb_obj.h"
#include "platform/basic/clock.h"
#include "platform/basic/timestamp.h"
#include "worker/forecast_tables.h"

namespace kelvan::bench {
namespace {

using testing::Destination;
using testing::ScratchDatabase;

constexpr int kServers = 10;
constexpr int kHistoryDays = 14;   // of activity on each stand-in server
constexpr int kScale = 10;         // of the stand-in's row counts: a large site
constexpr int kSnapshotDays = 20;  // of capacity snapshots copied back in the destination
constexpr const char* kLastNight = "2026-12-05 23:00:00";
constexpr const char* kTonight = "2026-12-06 23:00:00";
constexpr const char* kPassword = "night-Bench1";
// As the demo's setup file has them.
constexpr std::int16_t kPruneDays = 30;
constexpr std::int16_t kDaysForward = 30;
constexpr std::int16_t kSampleDays = 14;
constexpr const char* kSeverity = "SEVERITY = 'E' OR SEVERITY = 'S' OR SEVERITY = 'W'";
const std::vector<std::string> kTables = {
    "ADMINS",      "DB",         "DBVOLUMES", "DEVCLASSES", "DRIVES",    "EVENTS",  "FILESPACES",
    "LOG",         "LOGVOLUMES", "NODES",     "STGPOOLS",   "SUMMARY",   "VOLUMES", "OCCUPANCY",
    "VOLUMEUSAGE", "LIBVOLUMES", "LIBRARIES", "OPTIONS",    "VOLHISTORY"};

enum Stage { kErrorTables, kCopy, kPruning, kSummaryHour, kConcurrency, kForecasts, kStages };
const char* const kStageNames[kStages] = {"error tables",   "copy",        "pruning",
                                          "hourly summary", "concurrency", "forecasts"};
// The level-1 lines that count each stage's rows written.
const char* const kRowLines[kStages] = {R"(^Successfully copied (\d+) row)",
                                        R"(^Successfully copied (\d+) row)",
                                        "",
                                        R"(^Added (\d+) rows to PostProcessingSummary)",
                                        R"(^Added (\d+) rows to SIMUL_ACTIVITY)",
                                        R"(^Forecast (\d+) Records)"};

struct StageFigures {
  double seconds = 0;
  long long rows = 0;
};

long PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;
}

void Shell(const std::string& command) {
  if (std::system(command.c_str()) != 0) throw std::runtime_error("failed: " + command);
}

std::string ServerName(int n) { return "NIGHT" + std::to_string(n); }

// One night of one server, stage by stage, on an engine of its own; `only` limits it to a stage.
class ServerNight {
 public:
  ServerNight(int n, engine::DataSource& record, const std::filesystem::path& trace)
      : server_(ServerName(n)),
        source_("DSN=" + server_ + ";UID=admin;PWD=" + kPassword),
        record_(record),
        trace_(trace) {
    engine_.SetDBType("Unknown");
    engine_.SetTrace(1, trace.string());
  }

  void Run(std::vector<StageFigures>* figures, bool forecasts_only = false) {
    std::string run = FormatTimestamp(CurrentClock().Now());
    if (!forecasts_only) {
      Timed(figures, kErrorTables, [&] {
        engine_.ClientErrors(server_, source_, record_, kSeverity);
        engine_.ServerErrors(server_, source_, record_, kSeverity);
      });
      Timed(figures, kPruning, [&] {
        Prune("CLIENTERRORS", "DATE_TIME");
        Prune("SERVERERRORS", "DATE_TIME");
      });
      for (const std::string& table : kTables) {
        Timed(figures, kCopy, [&] { engine_.CopyTable(server_, source_, table, record_, 0, run); });
        Timed(figures, kPruning, [&] {
          std::optional<std::int32_t> batch = 1000;
          engine_.Prune2Records(kPruneDays, server_, source_, table, record_, "EXTRACT_DATE",
                                batch);
        });
      }
      Timed(figures, kSummaryHour, [&] { engine_.PostProcessSummaryTable(server_, record_); });
      Timed(figures, kPruning, [&] { Prune("SUMMARYHOUR", "EXTRACT_DATE"); });
      Timed(figures, kConcurrency,
            [&] { engine_.SimultaneousActivityTable(server_, record_, run); });
      Timed(figures, kPruning, [&] { Prune("SIMUL_ACTIVITY", "EXTRACT_DATE"); });
    }
    for (const worker::ForecastTable& t : worker::ForecastTables()) {
      Timed(figures, kForecasts, [&] {
        engine_.Forecast2CopyTable(t.select_columns, t.forecast_columns, t.order_columns,
                                   t.forecast_table_columns, server_, t.source, kDaysForward,
                                   kSampleDays, record_);
      });
      Timed(figures, kPruning, [&] { Prune(t.source + "_F", "EXTRACT_DATE"); });
    }
  }

 private:
  void Prune(const std::string& table, const char* column) {
    std::optional<std::int32_t> batch = 1000;
    engine_.PruneRecords(kPruneDays, server_, source_, table, record_, column, batch);
  }

  template <class Operation>
  void Timed(std::vector<StageFigures>* figures, Stage stage, Operation operation) {
    auto before = std::filesystem::exists(trace_) ? std::filesystem::file_size(trace_) : 0;
    Stopwatch watch;
    operation();
    if (figures == nullptr) return;
    (*figures)[stage].seconds += watch.Seconds();
    (*figures)[stage].rows += RowsTraced(before, kRowLines[stage]);
  }

  long long RowsTraced(std::uintmax_t from, const char* pattern) const {
    if (*pattern == '\0') return 0;
    std::ifstream in(trace_, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(from));
    std::regex line(pattern);
    long long rows = 0;
    std::smatch match;
    for (std::string text; std::getline(in, text);) {
      if (std::regex_search(text, match, line)) rows += std::stoll(match[1]);
    }
    return rows;
  }

  std::string server_;
  std::string source_;
  engine::DataSource& record_;
  std::filesystem::path trace_;
  engine::QbObj engine_;
};

// Copies the newest snapshot of every forecast table back over the days before it, so that
// every forecast has its window of history.
void BackfillSnapshots(const ScratchDatabase& db) {
  std::string sql = "BEGIN; ";
  for (const worker::ForecastTable& t : worker::ForecastTables()) {
    if (t.source == "SIMUL_ACTIVITY") continue;  // made by the engine, a day per night
    std::string shifted = db.kind == Destination::kSqlite ? "datetime(EXTRACT_DATE, '-1 days')"
                                                          : "EXTRACT_DATE - interval '1 day'";
    sql += "CREATE TEMP TABLE SNAP AS SELECT * FROM " + t.source +
           " WHERE EXTRACT_DATE = (SELECT max(EXTRACT_DATE) FROM " + t.source + "); ";
    for (int day = 1; day <= kSnapshotDays; ++day) {
      sql += "UPDATE SNAP SET EXTRACT_DATE = " + shifted + "; INSERT INTO " + t.source +
             " SELECT * FROM SNAP; ";
    }
    sql += "DROP TABLE SNAP; ";
  }
  testing::QueryWithClient(db, sql + "COMMIT;");
}

std::string Rate(long long rows, double seconds) {
  if (rows == 0 || seconds <= 0) return "-";
  return std::to_string(static_cast<long long>(rows / seconds));
}

std::string Table(Destination kind, const std::vector<StageFigures>& figures, double total,
                  long peak) {
  std::ostringstream out;
  out.setf(std::ios::fixed);
  out.precision(2);
  out << "### " << testing::DestinationName(kind) << "\n\n"
      << "| stage | seconds | share of the night | rows written | rows/s |\n"
      << "|---|---|---|---|---|\n";
  for (int s = 0; s < kStages; ++s) {
    out << "| " << kStageNames[s] << " | " << figures[s].seconds << " | "
        << 100 * figures[s].seconds / total << " % | " << figures[s].rows << " | "
        << Rate(figures[s].rows, figures[s].seconds) << " |\n";
  }
  out << "| whole night | " << total << " | 100 % | | |\n\n"
      << "- peak resident memory of the process: " << peak << " MB\n";
  double after =
      figures[kSummaryHour].seconds + figures[kConcurrency].seconds + figures[kForecasts].seconds;
  bool met = after < figures[kCopy].seconds / 2;
  Check(met, "the stages after the copy add less than half of the copy's time");
  out << "- " << (met ? "met" : "NOT MET") << ": hourly summary, concurrency and forecasts "
      << after << " s, under half the copy's " << figures[kCopy].seconds << " s\n";
  return out.str();
}

std::string Run(Destination kind, const std::filesystem::path& dir) {
  ScratchDatabase db = testing::CreateScratchDatabase(kind, "nightbench");
  testing::ApplyDestinationSchema(db);
  engine::testing::TestRecord record(db.dsn, db.uid, db.pwd);
  auto trace = dir / (testing::DestinationName(kind) + ".htm");
  FixedClock last_night(*ParseTimestampText(kLastNight));
  {
    ScopedClock scoped(last_night);
    for (int n = 0; n < kServers; ++n) ServerNight(n, record, trace).Run(nullptr);
    BackfillSnapshots(db);
    for (int n = 0; n < kServers; ++n) ServerNight(n, record, trace).Run(nullptr, true);
  }
  for (int n = 0; n < kServers; ++n) {
    Shell(testing::VltsimPath().string() + " advance " + (dir / (ServerName(n) + ".db")).string() +
          " --hours 24 >/dev/null");
  }
  if (kind == Destination::kPostgres) testing::QueryWithClient(db, "ANALYZE");
  FixedClock tonight(*ParseTimestampText(kTonight));
  ScopedClock scoped(tonight);
  std::vector<StageFigures> figures(kStages);
  Stopwatch night;
  for (int n = 0; n < kServers; ++n) ServerNight(n, record, trace).Run(&figures);
  return Table(kind, figures, night.Seconds(), PeakMegabytes());
}

// The servers, made as of last night; each run starts from the same files.
void MakeServers(const std::filesystem::path& dir) {
  auto& sandbox = testing::OdbcSandbox::Instance();
  for (int n = 0; n < kServers; ++n) {
    auto file = dir / (ServerName(n) + ".db");
    Shell(testing::VltsimPath().string() + " create " + file.string() + " --days " +
          std::to_string(kHistoryDays) + " --seed " + std::to_string(100 + n) + " --now \"" +
          kLastNight + "\" --scale " + std::to_string(kScale) + " --profile real >/dev/null");
    std::filesystem::copy_file(file, file.string() + ".made");
    sandbox.AddDataSource(ServerName(n), testing::kVltDriver,
                          {{"Database", file.string()}, {"UID", "admin"}, {"PWD", kPassword}});
  }
}

void RestoreServers(const std::filesystem::path& dir) {
  for (int n = 0; n < kServers; ++n) {
    auto file = dir / (ServerName(n) + ".db");
    std::filesystem::copy_file(file.string() + ".made", file,
                               std::filesystem::copy_options::overwrite_existing);
  }
}

}  // namespace
}  // namespace kelvan::bench

int main(int argc, char** argv) {
  using namespace kelvan;
  auto dir = testing::OdbcSandbox::Instance().MakeTempDir("nightbench");
  std::string results =
      "\n## A whole night\n\n" + std::to_string(bench::kServers) +
      " stand-in servers (real-server profile at scale " + std::to_string(bench::kScale) + ", " +
      std::to_string(bench::kHistoryDays) + " days of activity, capacity snapshots back " +
      std::to_string(bench::kSnapshotDays) +
      " days), loaded the night before; then one night: error tables, 19 tables copied, every "
      "prune, hourly summary, concurrency table and the eight forecasts, with the demo's options "
      "and without the 5-second pauses between servers.\n\n";
  try {
    bench::MakeServers(dir);
    for (auto kind : {testing::Destination::kSqlite, testing::Destination::kPostgres}) {
      bench::RestoreServers(dir);
      results += bench::Run(kind, dir) + "\n";
    }
  } catch (const std::exception& e) {
    std::cerr << "bench: " << e.what() << "\n";
    return 1;
  }
  std::cout << results;
  if (argc > 1) std::ofstream(argv[1], std::ios::app) << results;
  return bench::AnyCheckFailed() ? 1 : 0;
}
