// The capacity report of 50 servers with a year of daily snapshots in a SQLite destination: the
// time to read, fit, chart and write it (target under 30 s), the page's size and its charts.
// Optional arguments: servers, days.
#include <fstream>
#include <iostream>
#include <string>

#include "bench/bench_support.h"
#include "platform/basic/clock.h"
#include "report/report_run.h"
#include "tests/support/files.h"

namespace kelvan::bench {
namespace {

constexpr double kTargetSeconds = 30;
const Timestamp kToday{2026, 12, 7, 12, 0, 0};

// Per server and day: the database, the log, 4 pools, 20 file spaces, 10 scratch volumes,
// 20 nodes, 4 drives, 24 hours of bytes, 2 activity peaks and 5 errors; growth differs by server.
std::string FillScript(int servers, int days) {
  const std::string grid =
      "WITH RECURSIVE s(s) AS (SELECT 1 UNION ALL SELECT s + 1 FROM s WHERE s < " +
      std::to_string(servers) + "), d(d) AS (SELECT 0 UNION ALL SELECT d + 1 FROM d WHERE d < " +
      std::to_string(days - 1) +
      "), n(n) AS (SELECT 0 UNION ALL SELECT n + 1 FROM n WHERE n < 23) ";
  const std::string day = "datetime('2026-12-07 01:30:00', '-' || d || ' days')";
  const std::string growth = "(" + std::to_string(days) + " - d) * (s % 7 + 1) * 0.01";
  const std::string from = " FROM s, d";
  auto per = [&](const std::string& table, const std::string& columns, const std::string& values,
                 int count, const std::string& date_column = "EXTRACT_DATE") {
    return "INSERT INTO " + table + " (EXT_SERVER_NAME, " + date_column + ", " + columns + ") " +
           grid + "SELECT 'VLT' || s, " + day + ", " + values + from + ", n WHERE n < " +
           std::to_string(count) + ";\n";
  };
  return "BEGIN;\n" + per("DB", "PCT_UTILIZED", "20 + " + growth + " + (d * 7 % 5)", 1) +
         per("LOG", "PCT_UTILIZED", "10 + " + growth + " / 2 + (d * 3 % 4)", 1) +
         per("STGPOOLS", "STGPOOL_NAME, PCT_UTILIZED", "'POOL' || n, 30 + n * 5 + " + growth, 4) +
         per("FILESPACES", "NODE_NAME, FILESPACE_NAME, PCT_UTIL",
             "'NODE' || (n % 5), '/fs' || n, 10 + n * 2 + " + growth + " * (n % 3)", 20) +
         per("LIBVOLUMES", "STATUS", "'Scratch'", 10) + per("NODES", "NODE_NAME", "'N' || n", 20) +
         per("DRIVES", "DRIVE_NAME", "'D' || n", 4) +
         per("SIMUL_ACTIVITY", "ACTIVITY, ACTIVITY_COUNT",
             "CASE n WHEN 0 THEN 'SESSION' ELSE 'TAPE MOUNT' END, 3 + (d + n) % 9", 2) +
         per("CLIENTERRORS", "SEVERITY, MSGNO, MESSAGE", "'E', 4000 + n, 'client message ' || n", 5,
             "DATE_TIME") +
         "INSERT INTO SUMMARYHOUR (EXT_SERVER_NAME, DATE_VALUE, HOUR_VALUE, BYTES) " + grid +
         "SELECT 'VLT' || s, date(" + day + "), n, 1e9 * ((n * 7 + d) % 13)" + from + ", n;\n" +
         "COMMIT;\n";
}

}  // namespace
}  // namespace kelvan::bench

int main(int argc, char** argv) {
  using namespace kelvan;
  using namespace kelvan::bench;
  const int servers = argc > 1 ? std::stoi(argv[1]) : 50;
  const int days = argc > 2 ? std::stoi(argv[2]) : 365;
  testing::OdbcSandbox::Instance();
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(testing::Destination::kSqlite, "report");
  testing::ApplyDestinationSchema(db);
  const auto script = testing::OdbcSandbox::Instance().MakeTempDir("fill") / "fill.sql";
  std::ofstream(script) << FillScript(servers, days);
  Stopwatch fill;
  testing::RunSqlScript(db, script);
  std::cout << "kelvan-report over " << servers << " servers x " << days
            << " days of snapshots (SQLite)\n  filled in " << fill.Seconds() << " s\n";

  FixedClock clock(kToday);
  ScopedClock scoped(clock);
  report::ReportOptions options;
  options.dest_dsn = db.dsn;
  options.history_days = days;
  options.out = (testing::OdbcSandbox::Instance().MakeTempDir("page") / "report.html").string();
  Stopwatch run;
  const report::ReportOutcome outcome = report::WriteReport(options);
  const double seconds = run.Seconds();
  Check(outcome.status == 0, "the report was written: " + outcome.message);
  const std::string page = testing::ReadFile(options.out);
  size_t charts = 0;
  for (size_t at = page.find("<svg"); at != std::string::npos; at = page.find("<svg", at + 1)) {
    ++charts;
  }
  std::cout << "  report written in " << seconds << " s (target under " << kTargetSeconds
            << " s): " << charts << " charts, " << page.size() / 1e6 << " MB\n";
  Check(seconds < kTargetSeconds, "the report took longer than the target");
  return AnyCheckFailed() ? 1 : 0;
}
