// kelvan-batch as cron would run it: a setup file naming two stand-in VLT servers and a scratch
// destination, then the run log, the exit status and the destination rows.
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
using ::testing::StartsWith;

namespace fs = std::filesystem;

constexpr const char* kServerPassword = "vlt-Pa55";

using kelvan::testing::ReadFile;

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return text;
}

struct BatchResult {
  int status = -1;
  std::string run_log;
  std::string errors;  // what it wrote to stderr
};

// The program runs from a copy in `dir`: a run that falls back to its default run log, beside the
// program, then writes it there and not into the build tree.
fs::path ProgramCopy(const fs::path& dir) {
  const fs::path copy = dir / "kelvan-batch";
  if (!fs::exists(copy)) fs::copy_file(KELVAN_BATCH_PATH, copy);
  return copy;
}

BatchResult RunBatch(const fs::path& dir, const std::string& arguments) {
  const fs::path log = dir / "run.htm";
  const fs::path err = dir / "stderr.txt";
  const std::string command = ProgramCopy(dir).string() + " " + arguments +
                              " -LOG=" + log.string() + " 2>" + err.string();
  const int raw = std::system(command.c_str());
  BatchResult result;
  result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  result.run_log = ReadFile(log);
  result.errors = ReadFile(err);
  return result;
}

// A stand-in VLT server with two days of history, registered as `dsn`.
fs::path AddVltServer(const std::string& dsn, int seed) {
  auto& sandbox = testing::OdbcSandbox::Instance();
  const fs::path file = sandbox.MakeTempDir("vlt_" + dsn) / "server.db";
  const std::string command = testing::VltsimPath().string() + " create " + file.string() +
                              " --days 2 --seed " + std::to_string(seed) + " >/dev/null";
  EXPECT_EQ(std::system(command.c_str()), 0);
  sandbox.AddDataSource(dsn, testing::kVltDriver,
                        {{"Database", file.string()}, {"UID", "admin"}, {"PWD", kServerPassword}});
  return file;
}

// Rows of a source table, counted by the database's own client.
std::string SourceCount(const fs::path& server, const std::string& table,
                        const std::string& where = "1 = 1") {
  const std::string command =
      "sqlite3 " + server.string() + " \"SELECT COUNT(*) FROM " + table + " WHERE " + where + "\"";
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[64];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  return Trimmed(out);
}

// Setup-file lines, written out as an operator's saved file would hold them.
std::string SetupFile(const std::vector<std::string>& servers, const testing::ScratchDatabase& db) {
  std::vector<std::string> lines = {"[SERVER]",
                                    "TotalNoServers:=" + std::to_string(servers.size())};
  for (const std::string& dsn : servers) {
    lines.push_back("Server:=DSN=" + dsn + ";UID=admin;PWD=" + kServerPassword);
  }
  for (const char* line :
       {"", "", "[TABLE LIST]", "TotalNoTables:=2", "TableArray:=\"SUMMARY\",\"NODES\",",
        "LoadErrorTables:=False", "", ""}) {
    lines.emplace_back(line);
  }
  lines.insert(lines.end(), {"[DATA SOURCE]", "DSN:=" + db.dsn, "UID:=" + db.uid,
                             "Password:=" + db.pwd, "Qualifier:=", "", ""});
  for (const char* line : {"[ADVANCED SETUP OPTIONS]",
                           "Severity_E:=True",
                           "Severity_I:=False",
                           "Severity_D:=True",
                           "Severity_S:=True",
                           "Severity_W:=True",
                           "PruneDataBeyondDays:=30",
                           "DatabaseMaxSizeLimitInNoOfDays:=9999",
                           "ApproxRecordsToPrunePerBatch:=1000",
                           "DatabaseType:=Unknown",
                           "TraceLevel:=1",
                           "",
                           "",
                           "[POST PROCESSING SETUP OPTIONS]",
                           "GenerateSUMMARYHOURTableData:=False",
                           "GenerateSIMULACTIVITYTable:=False",
                           "ActivateForecasting:=False",
                           "ForecastNumberOfDays:=30",
                           "ForecastSizeOfSampleSet:=14",
                           "",
                           ""}) {
    lines.emplace_back(line);
  }
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

class BatchRunTest : public ::testing::TestWithParam<Destination> {};

TEST_P(BatchRunTest, LoadsTwoServersAndASecondRunAddsNoDuplicates) {
  const std::string tag = "e2e_" + testing::DestinationName(GetParam());
  const testing::ScratchDatabase db = testing::CreateScratchDatabase(GetParam(), tag);
  testing::ApplyDestinationSchema(db);
  const std::string a = "VLTA_" + tag;
  const std::string b = "VLTB_" + tag;
  const fs::path server_a = AddVltServer(a, 11);
  const fs::path server_b = AddVltServer(b, 12);
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir(tag);
  std::ofstream(dir / "KELVAN.ini", std::ios::binary) << SetupFile({a, b}, db);

  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const BatchResult result = RunBatch(dir, "-config=" + (dir / "KELVAN.ini").string());
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_THAT(result.run_log, StartsWith("<PRE>\r\nL O G F I L E  F O R  <b> K E L V A N"));
    EXPECT_THAT(result.run_log, HasSubstr("Tables Selected: SUMMARY NODES \r\n"));
    EXPECT_THAT(result.run_log,
                HasSubstr("========================== Log for DSN=" + a + ";UID=admin\r\n"));
    EXPECT_THAT(result.run_log,
                HasSubstr("Server operations for " + b + " successfully completed.\r\n"));
    EXPECT_THAT(result.run_log, HasSubstr("Total number of servers processed was 2.\r\n"));
    EXPECT_THAT(result.run_log, EndsWith("</PRE>\r\n"));
    EXPECT_THAT(result.errors, HasSubstr("Server = " + a));
    for (const std::string& text : {result.run_log, result.errors}) {
      EXPECT_THAT(text, Not(HasSubstr(kServerPassword)));
      if (!db.pwd.empty()) {
        EXPECT_THAT(text, Not(HasSubstr(db.pwd)));
      }
    }
    const std::string summary = testing::QueryWithClient(
        db, "SELECT EXT_SERVER_NAME, COUNT(*) FROM SUMMARY GROUP BY EXT_SERVER_NAME ORDER BY 1");
    // A server's first load reaches back to yesterday's midnight.
    const std::string since = "END_TIME >= date('now', 'localtime', '-1 day')";
    EXPECT_EQ(Trimmed(summary), a + "\t" + SourceCount(server_a, "SUMMARY", since) + "\n" + b +
                                    "\t" + SourceCount(server_b, "SUMMARY", since));
    const std::string nodes = testing::QueryWithClient(
        db, "SELECT COUNT(*) FROM NODES WHERE EXT_SERVER_NAME = '" + a + "'");
    EXPECT_EQ(Trimmed(nodes), SourceCount(server_a, "NODES"));
  }
}

INSTANTIATE_TEST_SUITE_P(Destinations, BatchRunTest,
                         ::testing::Values(Destination::kSqlite, Destination::kPostgres),
                         [](const auto& info) { return testing::DestinationName(info.param); });

TEST(BatchExitTest, StatusTellsTheOutcome) {
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(Destination::kSqlite, "e2e_exit");
  testing::RunSqlScript(db, testing::SourcePath("schema/sqlite.sql"));
  const fs::path server = AddVltServer("VLTC_exit", 13);
  testing::OdbcSandbox::Instance().AddDataSource(
      "VLT_LOCKED", testing::kVltDriver,
      {{"Database", server.string()}, {"UID", "admin"}, {"PWD", "another-Pa55"}});
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir("e2e_exit");

  const BatchResult missing = RunBatch(dir, "-CONFIG=" + (dir / "none.ini").string());
  EXPECT_EQ(missing.status, 2);
  EXPECT_THAT(missing.errors, HasSubstr("Could not locate the configuration file ("));

  std::ofstream(dir / "one_down.ini", std::ios::binary)
      << SetupFile({"VLTC_exit", "VLT_NOT_THERE", "VLT_LOCKED"}, db);
  const BatchResult one_down = RunBatch(dir, "-CONFIG=" + (dir / "one_down.ini").string());
  EXPECT_EQ(one_down.status, 1);
  EXPECT_THAT(one_down.run_log, HasSubstr("Skipping server VLT_NOT_THERE\r\n"));
  EXPECT_THAT(one_down.run_log, HasSubstr("Server operations for VLTC_exit successfully"));
  // What differs between a missing data source and a refused password is the driver's answer.
  for (const char* answer : {"server VLT_NOT_THERE\r\nDriver's answer: IM002",
                             "server VLT_LOCKED\r\nDriver's answer: 28000"}) {
    EXPECT_THAT(one_down.run_log, HasSubstr(answer));
  }
  EXPECT_THAT(one_down.errors,
              HasSubstr("Driver's answer: 28000: [vltodbc]Invalid user name or password"));

  std::ofstream(dir / "all_down.ini", std::ios::binary) << SetupFile({"VLT_NOT_THERE"}, db);
  EXPECT_EQ(RunBatch(dir, "-CONFIG=" + (dir / "all_down.ini").string()).status, 2);

  const BatchResult wrong = RunBatch(dir, "/LOG=x.htm");
  EXPECT_THAT(wrong.errors, HasSubstr("Incorrect use of command line arguments."));
  EXPECT_THAT(wrong.errors, HasSubstr("Run log: " + dir.string() + "/vltlog_"));
}

struct GivenUpCase {
  const char* name;
  const char* breakage;  // SQL run on the destination before the run; empty for none
  bool wrong_password;   // the setup file names a wrong destination password
  int status;
  const char* said;  // what stderr says; empty for a clean run
};

class BatchGivenUpTest : public ::testing::TestWithParam<GivenUpCase> {};

// A destination that cannot take the run stops it before its first server (status 2); a table
// that fails in the run is given up (status 1), though the run log says "successfully
// completed" for its server: the worker reached its end, it only went without a table.
TEST_P(BatchGivenUpTest, ExitStatusCountsEveryTable) {
  const GivenUpCase& c = GetParam();
  const std::string tag = std::string("e2e_given_up_") + c.name;
  testing::ScratchDatabase db = testing::CreateScratchDatabase(Destination::kPostgres, tag);
  testing::RunSqlScript(db, testing::SourcePath("schema/postgresql.sql"));
  if (*c.breakage != '\0') testing::QueryWithClient(db, c.breakage);
  const std::string dsn = "VLTG_" + std::string(c.name);
  AddVltServer(dsn, 14);
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir(tag);
  if (c.wrong_password) db.pwd = "not-the-Pa55word";
  std::ofstream(dir / "KELVAN.ini", std::ios::binary) << SetupFile({dsn}, db);

  const BatchResult result = RunBatch(dir, "-CONFIG=" + (dir / "KELVAN.ini").string());

  EXPECT_EQ(result.status, c.status) << result.errors;
  if (*c.said == '\0') {
    EXPECT_THAT(result.errors, Not(HasSubstr("Given up:")));
  } else {
    EXPECT_THAT(result.errors, HasSubstr(c.said));
  }
  if (c.status == 2) {
    EXPECT_THAT(result.run_log, HasSubstr(c.said));
    EXPECT_THAT(result.run_log, Not(HasSubstr("Log for"))) << "no server may be loaded";
  }
  EXPECT_THAT(result.errors, HasSubstr("Run log: " + (dir / "run.htm").string()));
  EXPECT_THAT(result.errors, Not(HasSubstr("not-the-Pa55word")));
  EXPECT_THAT(result.errors, Not(HasSubstr("DRIVER keyword syntax error"))) << "server not found";
}

INSTANTIATE_TEST_SUITE_P(
    Destinations, BatchGivenUpTest,
    ::testing::Values(
        GivenUpCase{"clean", "", false, 0, ""},
        GivenUpCase{"rejects", "ALTER TABLE NODES ADD CONSTRAINT never CHECK (1 = 0)", false, 1,
                    "Given up: server VLTG_rejects: table NODES: "},
        GivenUpCase{"no_column", "ALTER TABLE NODES DROP COLUMN EXTRACT_DATE", false, 2,
                    "table NODES lacks the column(s) EXTRACT_DATE"},
        GivenUpCase{"no_table", "DROP TABLE SUMMARY", false, 2, "table SUMMARY cannot be read"},
        GivenUpCase{"bad_pwd", "", true, 2, "Unable to connect to the destination data source"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvan
