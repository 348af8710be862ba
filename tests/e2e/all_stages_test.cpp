// kelvan-batch with every stage on (error tables, all nineteen tables, pruning, hourly summary,
// simultaneous activity, forecasts of every table the setup file can switch on) over a stand-in
// server with 60 days of history. kelvan-batch reads the system clock, so the forecast history
// is made in the destination: after a first run, its snapshot is copied to each of the twenty
// days before, and to a day older than the pruning limit, before a second run.
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan {
namespace {

using testing::Destination;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

namespace fs = std::filesystem;

constexpr const char* kServerPassword = "vlt-All5tages";
constexpr int kHistoryDays = 20;  // snapshot copies before the first run's day
constexpr int kPruneDays = 30;
constexpr int kStaleDays = 40;  // a snapshot copy old enough to be pruned
constexpr int kSampleDays = 7;
// The first forecast date is the oldest snapshot plus the sample window; one pass a day to today.
constexpr int kForecastPasses = kHistoryDays - kSampleDays + 1;

const std::vector<std::string> kTables = {
    "ADMINS",      "DB",         "DBVOLUMES", "DEVCLASSES", "DRIVES",    "EVENTS",  "FILESPACES",
    "LOG",         "LOGVOLUMES", "NODES",     "STGPOOLS",   "SUMMARY",   "VOLUMES", "OCCUPANCY",
    "VOLUMEUSAGE", "LIBVOLUMES", "LIBRARIES", "OPTIONS",    "VOLHISTORY"};
const std::vector<std::string> kForecastTables = {
    "DB", "FILESPACES", "LOG", "STGPOOLS", "LIBVOLUMES", "NODES", "OCCUPANCY"};

using kelvan::testing::ReadFile;

long long Number(const testing::ScratchDatabase& db, const std::string& sql) {
  return std::stoll(testing::QueryWithClient(db, sql));
}

std::string SetupFile(const std::string& dsn, const testing::ScratchDatabase& db) {
  std::string table_array;
  for (const std::string& table : kTables) table_array += "\"" + table + "\",";
  std::vector<std::string> lines = {"[SERVER]",
                                    "TotalNoServers:=1",
                                    "Server:=DSN=" + dsn + ";UID=admin;PWD=" + kServerPassword,
                                    "",
                                    "",
                                    "[TABLE LIST]",
                                    "TotalNoTables:=" + std::to_string(kTables.size()),
                                    "TableArray:=" + table_array,
                                    "LoadErrorTables:=True",
                                    "",
                                    "",
                                    "[DATA SOURCE]",
                                    "DSN:=" + db.dsn,
                                    "UID:=" + db.uid,
                                    "Password:=" + db.pwd,
                                    "Qualifier:=",
                                    "",
                                    "",
                                    "[ADVANCED SETUP OPTIONS]",
                                    "Severity_E:=True",
                                    "Severity_I:=True",
                                    "Severity_D:=True",
                                    "Severity_S:=True",
                                    "Severity_W:=True",
                                    "PruneDataBeyondDays:=" + std::to_string(kPruneDays),
                                    "DatabaseMaxSizeLimitInNoOfDays:=9999",
                                    "ApproxRecordsToPrunePerBatch:=1000",
                                    "DatabaseType:=Unknown",
                                    "TraceLevel:=1",
                                    "",
                                    "",
                                    "[POST PROCESSING SETUP OPTIONS]",
                                    "GenerateSUMMARYHOURTableData:=True",
                                    "GenerateSIMULACTIVITYTable:=True",
                                    "ActivateForecasting:=True"};
  for (const std::string& table : kForecastTables) {
    lines.push_back("ForecastTable_" + table + ":=True");
  }
  lines.insert(lines.end(), {"ForecastNumberOfDays:=30",
                             "ForecastSizeOfSampleSet:=" + std::to_string(kSampleDays), "", ""});
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// SQL that copies the newest snapshot of `table` to each of the `days` days before it and to
// the day `stale` days before it.
std::string BackfillSql(Destination kind, const std::string& table, int days, int stale) {
  auto shifted = [kind](int n) {
    return kind == Destination::kSqlite
               ? "datetime(EXTRACT_DATE, '-" + std::to_string(n) + " days')"
               : "EXTRACT_DATE - interval '" + std::to_string(n) + " days'";
  };
  std::string sql = "CREATE TEMP TABLE SNAP AS SELECT * FROM " + table +
                    " WHERE EXTRACT_DATE = (SELECT max(EXTRACT_DATE) FROM " + table + "); ";
  for (int n = 1; n <= days; ++n) {
    sql += "UPDATE SNAP SET EXTRACT_DATE = " + shifted(1) + "; INSERT INTO " + table +
           " SELECT * FROM SNAP; ";
  }
  sql += "UPDATE SNAP SET EXTRACT_DATE = " + shifted(stale - days) + "; INSERT INTO " + table +
         " SELECT * FROM SNAP; DROP TABLE SNAP;";
  return sql;
}

struct BatchResult {
  int status = -1;
  std::string run_log;
  std::string errors;
};

BatchResult RunBatch(const fs::path& dir) {
  const fs::path log = dir / "run.htm";
  fs::remove(log);
  const std::string command = std::string(KELVAN_BATCH_PATH) +
                              " -config=" + (dir / "KELVAN.ini").string() +
                              " -LOG=" + log.string() + " 2>" + (dir / "stderr.txt").string();
  const int raw = std::system(command.c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadFile(log), ReadFile(dir / "stderr.txt")};
}

void ExpectGoodEnd(const BatchResult& result, const std::string& dsn,
                   const testing::ScratchDatabase& db) {
  EXPECT_EQ(result.status, 0) << result.errors;
  EXPECT_THAT(result.run_log, HasSubstr("Server operations for " + dsn + " successfully"));
  EXPECT_THAT(result.run_log, HasSubstr("Total number of servers processed was 1.\r\n"));
  EXPECT_THAT(result.run_log, EndsWith("</PRE>\r\n"));
  for (const char* failure : {"LocalErr", "Exception Found", "Error pruning", "Error forecasting",
                              "Error post processing", "Could not collect", "Insert Error"}) {
    EXPECT_THAT(result.run_log, Not(HasSubstr(failure))) << result.run_log;
  }
  EXPECT_THAT(result.run_log, Not(HasSubstr("Forecasting not activated.")));
  for (const std::string& text : {result.run_log, result.errors}) {
    EXPECT_THAT(text, Not(HasSubstr(kServerPassword)));
    if (!db.pwd.empty()) {
      EXPECT_THAT(text, Not(HasSubstr(db.pwd)));
    }
  }
}

class AllStagesTest : public ::testing::TestWithParam<Destination> {};

TEST_P(AllStagesTest, TwoDailyRunsLoadPruneSummariseAndForecast) {
  const Destination kind = GetParam();
  const std::string tag = "e2e_all_" + testing::DestinationName(kind);
  const testing::ScratchDatabase db = testing::CreateScratchDatabase(kind, tag);
  testing::ApplyDestinationSchema(db);
  auto& sandbox = testing::OdbcSandbox::Instance();
  const fs::path dir = sandbox.MakeTempDir(tag);
  const std::string dsn = "VLTALL_" + testing::DestinationName(kind);
  const std::string create = testing::VltsimPath().string() + " create " +
                             (dir / "server.db").string() +
                             " --days 60 --seed 31 --profile real >/dev/null";
  ASSERT_EQ(std::system(create.c_str()), 0);
  sandbox.AddDataSource(
      dsn, testing::kVltDriver,
      {{"Database", (dir / "server.db").string()}, {"UID", "admin"}, {"PWD", kServerPassword}});
  std::ofstream(dir / "KELVAN.ini", std::ios::binary) << SetupFile(dsn, db);

  {
    SCOPED_TRACE("first run");
    ExpectGoodEnd(RunBatch(dir), dsn, db);
  }
  std::string backfill;
  for (const std::string& table : kForecastTables) {
    backfill += BackfillSql(kind, table, kHistoryDays, kStaleDays);
  }
  testing::QueryWithClient(db, "BEGIN; " + backfill + " COMMIT;");

  const BatchResult second = RunBatch(dir);
  ExpectGoodEnd(second, dsn, db);
  // One forecast row per pass for the tables of one series; more for the grouped ones.
  for (const char* table : {"DB", "LOG", "NODES"}) {
    EXPECT_THAT(second.run_log, HasSubstr("Forecast " + std::to_string(kForecastPasses) +
                                          " Records Table: " + table + " ("));
  }
  const std::string cut_off = kind == Destination::kSqlite
                                  ? "datetime('now', 'localtime', '-30 days')"
                                  : "localtimestamp - interval '30 days'";
  for (const std::string& table : kForecastTables) {
    SCOPED_TRACE(table);
    EXPECT_EQ(Number(db, "SELECT COUNT(DISTINCT EXTRACT_DATE) FROM " + table + "_F"),
              kForecastPasses);
    EXPECT_EQ(Number(db, "SELECT COUNT(*) FROM " + table + " WHERE EXTRACT_DATE < " + cut_off), 0);
  }
  for (const char* table : {"CLIENTERRORS", "SERVERERRORS", "SUMMARY", "SUMMARYHOUR",
                            "SIMUL_ACTIVITY", "VOLHISTORY", "EVENTS"}) {
    EXPECT_GT(Number(db, std::string("SELECT COUNT(*) FROM ") + table), 0) << table;
  }
}

INSTANTIATE_TEST_SUITE_P(Destinations, AllStagesTest,
                         ::testing::Values(Destination::kSqlite, Destination::kPostgres),
                         [](const auto& info) { return testing::DestinationName(info.param); });

}  // namespace
}  // namespace kelvan
