// kelvan-batch as a process among others: killed outright in the middle of a copy, started on
// a setup file whose run is still loading, and run twice at once with disjoint server lists
// into one destination (how a site spreads its servers over several loader hosts).
#include <signal.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <thread>

#include "tests/faults/fault_support.h"

namespace kelvan::faults {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TEST(ProcessFaultTest, KilledMidCopyThenRunAgainConverges) {
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(testing::Destination::kPostgres, "proc_kill");
  testing::RunSqlScript(db, testing::SourcePath("schema/postgresql.sql"));
  const SqlClient client = ClientOf(db);
  const std::string server = "VLT_proc_kill";
  const fs::path file = CreateVltFile("proc_kill", 51, 2, 100);
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir("proc_kill");
  // Held in the middle of its read, so that the kill comes mid-copy whatever the hour (a first
  // load just after midnight is quick enough to end before a kill that waits for rows).
  const fs::path hold = dir / "release";
  RegisterVltServer(server, file, {{"HoldAfterRows", "8000"}, {"HoldFile", hold.string()}});
  const fs::path setup = WriteSetup(dir, {.servers = {server}}, db);
  const std::string setup_before = ReadFile(setup);

  const pid_t batch = StartBatch(setup, dir / "run1.htm");
  ASSERT_TRUE(AwaitFile(hold.string() + ".held"));
  long rows = 0;
  for (int i = 0; i < 100 && rows == 0; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    rows = CountRows(client, "SUMMARY", server);
  }
  ASSERT_EQ(::kill(batch, SIGKILL), 0);
  const BatchResult killed = WaitBatch(batch, dir / "run1.htm");
  EXPECT_EQ(killed.status, -1);
  ASSERT_GT(rows, 0) << "the copy never got going: " << killed.output;
  RegisterVltServer(server, file);
  EXPECT_EQ(ReadFile(setup), setup_before);
  const long after_kill = CountRows(client, "SUMMARY", server);

  const BatchResult next = RunBatch(setup, dir / "run2.htm");
  EXPECT_EQ(next.status, 0) << next.output;
  EXPECT_THAT(next.run_log, StartsWith("<PRE>\r\nL O G F I L E  F O R  <b> K E L V A N"));
  EXPECT_THAT(next.run_log,
              HasSubstr("Server operations for " + server + " successfully completed.\r\n"));
  EXPECT_THAT(next.run_log, HasSubstr("Total number of servers processed was 1.\r\n"));
  EXPECT_THAT(next.run_log, EndsWith("---End-----------------------------------\r\n</PRE>\r\n"));
  const std::vector<std::string> source = SourceSummaryRows(file);
  const std::vector<std::string> loaded = DestinationSummaryRows(client, server);
  EXPECT_EQ(loaded.size(), source.size());
  EXPECT_TRUE(loaded == source) << "destination rows differ from the source's";
  std::cout << "[fault] sigkill: rows when killed " << after_kill << ", after next run "
            << loaded.size() << " of " << source.size() << "\n";
}

// A long night runs into the next scheduled start: the second run of the setup file loads
// nothing and says why; once the first has ended, the next run goes on.
TEST(ProcessFaultTest, RunOfASetupFileStillLoadingIsRefused) {
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(testing::Destination::kPostgres, "proc_overlap");
  testing::RunSqlScript(db, testing::SourcePath("schema/postgresql.sql"));
  const SqlClient client = ClientOf(db);
  const std::string server = "VLT_proc_overlap";
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir("proc_overlap");
  const fs::path release = dir / "release";
  const fs::path file = CreateVltFile("proc_overlap", 53);
  RegisterVltServer(server, file, {{"HoldAfterRows", "100"}, {"HoldFile", release.string()}});
  const fs::path setup = WriteSetup(dir, {.servers = {server}}, db);

  const pid_t first = StartBatch(setup, dir / "first.htm");
  const bool held = AwaitFile(release.string() + ".held");
  const long rows_while_held = CountRows(client, "SUMMARY", server);
  const BatchResult second = RunBatch(setup, dir / "second.htm");
  const long rows_after_second = CountRows(client, "SUMMARY", server);
  std::ofstream(release) << "go";
  const BatchResult run1 = WaitBatch(first, dir / "first.htm");
  ASSERT_TRUE(held) << run1.output;

  const std::string refusal =
      "Another run of the setup file " + setup.string() + " is loading its servers";
  EXPECT_EQ(second.status, 2) << second.output;
  EXPECT_THAT(second.output, HasSubstr(refusal));
  EXPECT_THAT(second.run_log, HasSubstr("<PRE>\r\n" + refusal));
  EXPECT_THAT(second.run_log, Not(HasSubstr("Log for")));
  EXPECT_EQ(rows_after_second, rows_while_held);
  EXPECT_EQ(run1.status, 0) << run1.output;

  const BatchResult next = RunBatch(setup, dir / "next.htm");
  EXPECT_EQ(next.status, 0) << next.output;
  EXPECT_THAT(next.run_log, HasSubstr("Server operations for " + server + " successfully"));
  const std::vector<std::string> source = SourceSummaryRows(file);
  EXPECT_GT(source.size(), 100u);
  EXPECT_TRUE(DestinationSummaryRows(client, server) == source)
      << "destination rows differ from the source's";
}

TEST(ScaleOutTest, TwoLoadersWithDisjointServerListsShareOneDestination) {
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(testing::Destination::kPostgres, "scale_out");
  testing::RunSqlScript(db, testing::SourcePath("schema/postgresql.sql"));
  const SqlClient client = ClientOf(db);
  const std::vector<std::string> servers = {"VLT_host1_a", "VLT_host1_b", "VLT_host2_a",
                                            "VLT_host2_b"};
  std::vector<fs::path> files;
  for (size_t i = 0; i < servers.size(); ++i) {
    files.push_back(CreateVltFile(servers[i], 61 + static_cast<int>(i), 2, 20));
    RegisterVltServer(servers[i], files.back());
  }
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir("scale_out");
  const std::vector<std::string> tables = {"SUMMARY", "NODES", "FILESPACES"};
  const fs::path setup1 =
      WriteSetup(dir, {.servers = {servers[0], servers[1]}, .tables = tables}, db, "host1.ini");
  const fs::path setup2 =
      WriteSetup(dir, {.servers = {servers[2], servers[3]}, .tables = tables}, db, "host2.ini");

  const pid_t host1 = StartBatch(setup1, dir / "host1.htm");
  const pid_t host2 = StartBatch(setup2, dir / "host2.htm");
  const BatchResult run1 = WaitBatch(host1, dir / "host1.htm");
  const BatchResult run2 = WaitBatch(host2, dir / "host2.htm");
  EXPECT_EQ(run1.status, 0) << run1.output;
  EXPECT_EQ(run2.status, 0) << run2.output;
  EXPECT_THAT(run1.run_log, HasSubstr("Total number of servers processed was 2.\r\n"));
  EXPECT_THAT(run2.run_log, HasSubstr("Total number of servers processed was 2.\r\n"));

  for (size_t i = 0; i < servers.size(); ++i) {
    SCOPED_TRACE(servers[i]);
    EXPECT_TRUE(DestinationSummaryRows(client, servers[i]) == SourceSummaryRows(files[i]));
    for (const char* table : {"NODES", "FILESPACES"}) {
      EXPECT_EQ(CountRows(client, table, servers[i]), SourceCount(files[i], table));
    }
  }
}

}  // namespace
}  // namespace kelvan::faults
