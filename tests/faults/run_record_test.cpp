// What kelvan-batch tells machines: the summary and metrics files read back against the rows the
// destination and the source hold, the count check catching a difference planted in the
// destination, and the progress shown on a terminal and off it.
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <nlohmann/json.hpp>

#include "tests/faults/fault_support.h"

namespace kelvan::faults {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct Night {
  testing::ScratchDatabase db;
  fs::path dir;
  fs::path setup;
};

Night PrepareNight(const std::string& tag, const std::vector<std::string>& servers,
                   const std::vector<std::string>& tables) {
  Night night{testing::CreateScratchDatabase(testing::Destination::kSqlite, tag), {}, {}};
  testing::RunSqlScript(night.db, testing::SourcePath("schema/sqlite.sql"));
  night.dir = testing::OdbcSandbox::Instance().MakeTempDir(tag);
  night.setup = WriteSetup(night.dir, {.servers = servers, .tables = tables}, night.db);
  return night;
}

// The value of the one sample whose name and labels are `series`; NaN when there is none.
double Sample(const std::string& metrics, const std::string& series) {
  const size_t at = metrics.find("\n" + series + " ");
  if (at == std::string::npos) return std::nan("");
  return std::stod(metrics.substr(at + series.size() + 2));
}

struct RecordCase {
  const char* name;
  bool planted;  // the destination drops the second SUMMARY row it is given
};

class BatchRecordTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(BatchRecordTest, SummaryAndMetricsCountTheRowsBothSidesHold) {
  const std::string tag = std::string("record_") + GetParam().name;
  const std::string server = "VLT_" + tag;
  const fs::path source = CreateVltFile(tag, 71);
  RegisterVltServer(server, source);
  const Night night = PrepareNight(tag, {server}, {"SUMMARY", "NODES"});
  const SqlClient client = ClientOf(night.db);
  if (GetParam().planted) {
    client(
        "CREATE TRIGGER planted AFTER INSERT ON SUMMARY WHEN NEW.PSEUDO_INDEX = 3 "
        "BEGIN DELETE FROM SUMMARY WHERE rowid = NEW.rowid; END;");
  }
  const fs::path summary_file = night.dir / "run.json";
  const fs::path metrics_file = night.dir / "run.prom";

  const BatchResult result = WaitBatch(StartBatch(night.setup, night.dir / "run.htm",
                                                  {"-SUMMARY=" + summary_file.string(),
                                                   "-metrics=" + metrics_file.string(), "-VERIFY"}),
                                       night.dir / "run.htm");

  const long copied = static_cast<long>(SourceSummaryRows(source).size());
  const long held = CountRows(client, "SUMMARY", server);
  EXPECT_EQ(held, copied - (GetParam().planted ? 1 : 0));
  const nlohmann::json summary = nlohmann::json::parse(ReadFile(summary_file));
  const nlohmann::json& tables = summary["servers"][0]["tables"];
  EXPECT_EQ(summary["servers"][0]["server"], server);
  EXPECT_EQ(tables[0]["name"], "SUMMARY");
  EXPECT_EQ(tables[0]["rows_read"], copied);
  EXPECT_EQ(tables[0]["rows_added"], copied) << "the engine handed every row over";
  EXPECT_EQ(tables[0]["count_check"]["source_rows"], copied);
  EXPECT_EQ(tables[0]["count_check"]["destination_rows"], held);
  EXPECT_EQ(tables[1]["name"], "NODES");
  EXPECT_EQ(tables[1]["rows_added"], SourceCount(source, "NODES"));
  EXPECT_EQ(tables[1]["rows_added"], CountRows(client, "NODES", server));
  EXPECT_FALSE(tables[1].contains("count_check")) << "a snapshot table is not checked";
  const std::string metrics = ReadFile(metrics_file);
  const std::string labels = "{server=\"" + server + "\",stage=\"CopyTables\",table=\"";
  EXPECT_EQ(Sample(metrics, "kelvan_rows_added_total" + labels + "SUMMARY\"}"), copied);
  EXPECT_EQ(Sample(metrics, "kelvan_count_check_destination_rows" + labels + "SUMMARY\"}"), held);
  EXPECT_EQ(Sample(metrics, "kelvan_server_up{server=\"" + server + "\"}"), 1);
  // Off a terminal, one plain line per table or stage.
  EXPECT_THAT(result.output,
              HasSubstr("Progress: server 1 of 1: " + server + ": CopyTables table NODES\n"));

  const std::string difference = "Count check of SUMMARY for " + server + ": the source holds " +
                                 std::to_string(copied) + " rows from ";
  if (GetParam().planted) {
    EXPECT_EQ(result.status, 1) << result.output;
    EXPECT_EQ(summary["count_differences"], 1);
    EXPECT_EQ(summary["exit_status"], 1);
    EXPECT_THAT(result.output, HasSubstr("Count difference: server " + server + ": table SUMMARY"));
    // After the copy's own line in the run log.
    const size_t copy_line =
        result.run_log.find("Successfully copied " + std::to_string(copied) + " row(s) to SUMMARY");
    ASSERT_NE(copy_line, std::string::npos);
    EXPECT_GT(result.run_log.find(difference), copy_line);
    EXPECT_EQ(Sample(metrics, "kelvan_run_exit_status"), 1);
  } else {
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_EQ(summary["count_differences"], 0);
    EXPECT_THAT(result.run_log, Not(HasSubstr("Count check of")));
  }
  EXPECT_FALSE(fs::exists(summary_file.string() + ".tmp." + std::to_string(::getpid())));
}

INSTANTIATE_TEST_SUITE_P(Runs, BatchRecordTest,
                         ::testing::Values(RecordCase{"clean", false}, RecordCase{"planted", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// Reads what the terminal shows until `wanted` appears or the child closes it; bounded so that a
// run that never shows it fails instead of hanging.
bool ReadTerminalUntil(int terminal, std::string& shown, const std::string& wanted) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (wanted.empty() || shown.find(wanted) == std::string::npos) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    pollfd ready{terminal, POLLIN, 0};
    if (::poll(&ready, 1, 100) <= 0) continue;
    char buffer[4096];
    const ssize_t n = ::read(terminal, buffer, sizeof buffer);
    if (n <= 0) return wanted.empty();  // EIO once the child has closed the terminal
    shown.append(buffer, static_cast<size_t>(n));
  }
  return true;
}

// The server holds its SUMMARY rows until released: the live line is read while it waits.
TEST(TerminalProgressTest, LiveLineNamesServerStageTableRowsAndRate) {
  const std::string server = "VLT_progress";
  const fs::path hold = testing::OdbcSandbox::Instance().MakeTempDir("progress_hold") / "release";
  RegisterVltServer(server, CreateVltFile("progress", 72),
                    {{"HoldAfterRows", "3"}, {"HoldFile", hold.string()}});
  const Night night = PrepareNight("progress", {server}, {"SUMMARY"});
  const std::string config = "-CONFIG=" + night.setup.string();
  const std::string log = "-LOG=" + (night.dir / "run.htm").string();

  int terminal = -1;
  const pid_t batch = ::forkpty(&terminal, nullptr, nullptr, nullptr);
  ASSERT_GE(batch, 0);
  if (batch == 0) {
    ::execl(KELVAN_BATCH_PATH, KELVAN_BATCH_PATH, config.c_str(), log.c_str(), nullptr);
    ::_exit(127);
  }
  std::string shown;
  const bool live = ReadTerminalUntil(terminal, shown, "CopyTables SUMMARY");
  std::ofstream(hold).put('\n');
  EXPECT_TRUE(ReadTerminalUntil(terminal, shown, ""));
  ::close(terminal);
  int raw = 0;
  ::waitpid(batch, &raw, 0);

  ASSERT_TRUE(live) << shown;
  EXPECT_EQ(WEXITSTATUS(raw), 0) << shown;
  EXPECT_THAT(shown, HasSubstr("\r\033[Kserver 1 of 1: " + server +
                               "  CopyTables SUMMARY  0 rows  0 rows/s  0:00:"));
  EXPECT_THAT(shown, Not(HasSubstr("Progress: "))) << "no plain lines on a terminal";
}

}  // namespace
}  // namespace kelvan::faults
