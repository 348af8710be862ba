// Faults of the destination: a damaged table or a rejected statement on the shared PostgreSQL
// server, and a PostgreSQL server of the test's own that dies in the middle of a copy. Each run
// must end without a crash, say what failed, and the run after the repair must hold exactly the
// source's rows.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <thread>

#include "tests/faults/fault_support.h"

namespace kelvan::faults {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// Data source names longer than 32 characters fail to connect (IM012): keep the names short.
struct Damage {
  const char* name;
  const char* damage_sql;
  const char* repair_sql;
  bool simul_activity;
  int status;                // kelvan-batch's exit status while damaged
  const char* reported;      // a text the run log must hold while damaged
  bool values_lost = false;  // rows loaded while damaged keep the values left unset
};

void PrintTo(const Damage& damage, std::ostream* out) { *out << damage.name; }

class DestinationDamageTest : public ::testing::TestWithParam<Damage> {};

TEST_P(DestinationDamageTest, RunReportsItAndTheRunAfterTheRepairConverges) {
  const Damage& damage = GetParam();
  const std::string tag = std::string("dst_") + damage.name;
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(testing::Destination::kPostgres, tag);
  testing::RunSqlScript(db, testing::SourcePath("schema/postgresql.sql"));
  const std::string server = "VLT_" + tag;
  const fs::path file = CreateVltFile(tag, 31);
  RegisterVltServer(server, file);
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir(tag);
  const fs::path setup = WriteSetup(dir,
                                    {.servers = {server},
                                     .tables = {"SUMMARY", "NODES"},
                                     .simul_activity = damage.simul_activity},
                                    db);
  const SqlClient client = ClientOf(db);

  client(damage.damage_sql);
  const BatchResult damaged = RunBatch(setup, dir / "run1.htm");
  EXPECT_EQ(damaged.status, damage.status) << damaged.output;
  EXPECT_THAT(damaged.run_log, HasSubstr(damage.reported));
  EXPECT_THAT(damaged.run_log, HasSubstr("</PRE>\r\n"));
  const long summary_damaged = CountRows(client, "SUMMARY", server);

  client(damage.repair_sql);
  const BatchResult repaired = RunBatch(setup, dir / "run2.htm");
  EXPECT_EQ(repaired.status, 0) << repaired.output;
  EXPECT_THAT(repaired.run_log, Not(HasSubstr("Retrying")));
  const std::vector<std::string> source = SourceSummaryRows(file);
  const std::vector<std::string> loaded = DestinationSummaryRows(client, server);
  EXPECT_EQ(loaded.size(), source.size());
  EXPECT_TRUE(damage.values_lost || loaded == source)
      << "destination rows differ from the source's";
  const long nodes = CountRows(client, "NODES", server);
  EXPECT_EQ(nodes, SourceCount(file, "NODES"));
  if (damage.simul_activity) {
    EXPECT_GT(CountRows(client, "SIMUL_ACTIVITY", server), 0);
  }
  std::cout << "[fault] " << damage.name << ": status " << damaged.status << ", SUMMARY rows "
            << summary_damaged << " while damaged, " << loaded.size() << " of " << source.size()
            << " after the repair; NODES " << nodes << "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, DestinationDamageTest,
    ::testing::Values(
        // Found before the first server: one message, nothing loaded.
        Damage{"missing_table", "ALTER TABLE NODES RENAME TO NODES_AWAY",
               "ALTER TABLE NODES_AWAY RENAME TO NODES", false, 2,
               "cannot take this run: table NODES cannot be read (42P01"},
        // Source values of EXAMINED reach 85,000, beyond a small integer: those are left unset
        // and counted, and every row arrives.
        Damage{"column_too_small", "ALTER TABLE SUMMARY ALTER COLUMN EXAMINED TYPE SMALLINT",
               "ALTER TABLE SUMMARY ALTER COLUMN EXAMINED TYPE BIGINT", false, 0,
               "value(s) unset in SUMMARY that did not fit their destination columns", true},
        Damage{
            "simul_rejected",
            "CREATE FUNCTION faults_reject() RETURNS trigger AS $$ BEGIN "
            "RAISE EXCEPTION 'rejected by the fault test'; END $$ LANGUAGE plpgsql; "
            "CREATE TRIGGER faults_reject BEFORE INSERT OR UPDATE ON SIMUL_ACTIVITY "
            "FOR EACH ROW EXECUTE FUNCTION faults_reject()",
            // The sweep goes on past a rejected row and counts it; the next run rewrites the day.
            "DROP TRIGGER faults_reject ON SIMUL_ACTIVITY", true, 0,
            "INSERT statement(s) on SIMUL_ACTIVITY table on VLT_dst_simul_rejected"}),
    [](const auto& info) { return std::string(info.param.name); });

// PostgreSQL ends the loader's session while the stand-in holds the SUMMARY read after 100 rows:
// the retry must open a new connection, so the same run loads that server in full.
TEST(DestinationServerTest, SessionEndedMidCopyIsReplacedWithinTheRun) {
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(testing::Destination::kPostgres, "dst_ended");
  testing::RunSqlScript(db, testing::SourcePath("schema/postgresql.sql"));
  const SqlClient client = ClientOf(db);
  const std::string server = "VLT_dst_ended";
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir("dst_ended");
  const fs::path release = dir / "release";
  const fs::path file = CreateVltFile("dst_ended", 43);
  RegisterVltServer(server, file, {{"HoldAfterRows", "100"}, {"HoldFile", release.string()}});
  const fs::path setup = WriteSetup(dir, {.servers = {server}, .tables = {"SUMMARY", "NODES"}}, db);

  const pid_t batch = StartBatch(setup, dir / "run.htm");
  const bool held = AwaitFile(release.string() + ".held");
  client(
      "SELECT count(pg_terminate_backend(pid)) FROM pg_stat_activity WHERE datname = "
      "current_database() AND pid <> pg_backend_pid()");
  std::ofstream(release) << "go";
  const BatchResult run = WaitBatch(batch, dir / "run.htm");
  ASSERT_TRUE(held) << run.output;
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_THAT(run.run_log, HasSubstr("CopyTableErrorHandler: Retrying CopyTables again."));
  EXPECT_THAT(run.run_log, HasSubstr("Server operations for " + server + " successfully"));
  const std::vector<std::string> source = SourceSummaryRows(file);
  const std::vector<std::string> loaded = DestinationSummaryRows(client, server);
  EXPECT_GT(source.size(), 100u);
  EXPECT_EQ(loaded.size(), source.size());
  EXPECT_TRUE(loaded == source) << "destination rows differ from the source's";
  EXPECT_EQ(CountRows(client, "NODES", server), SourceCount(file, "NODES"));
}

// The stand-in holds the SUMMARY read after 2,000 rows while PostgreSQL is stopped and started
// again, so that the stop comes mid-copy at any hour and on any machine's speed.
TEST(DestinationServerTest, ServerStoppedMidCopyThenRestartedConverges) {
  PrivatePostgres postgres;
  const testing::ScratchDatabase db = postgres.CreateDatabase("crash");
  const SqlClient client = postgres.ClientOf(db);
  const std::string server = "VLT_dst_crash";
  const fs::path file = CreateVltFile("dst_crash", 41, 2, 100);
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir("dst_crash");
  const fs::path release = dir / "release";
  RegisterVltServer(server, file, {{"HoldAfterRows", "2000"}, {"HoldFile", release.string()}});
  const fs::path setup = WriteSetup(dir, {.servers = {server}}, db);

  const pid_t batch = StartBatch(setup, dir / "run1.htm");
  const bool copying = AwaitFile(release.string() + ".held");
  postgres.Crash();
  std::this_thread::sleep_for(std::chrono::seconds(1));
  postgres.Start();
  std::ofstream(release) << "go";
  const BatchResult crashed = WaitBatch(batch, dir / "run1.htm");
  ASSERT_TRUE(copying) << crashed.output;
  EXPECT_GE(crashed.status, 0) << "kelvan-batch died: " << crashed.output;
  EXPECT_THAT(crashed.run_log, HasSubstr("CopyTableErrorHandler: Retrying CopyTables again."));
  EXPECT_THAT(crashed.run_log, HasSubstr("</PRE>\r\n"));
  const long after_crash = CountRows(client, "SUMMARY", server);

  const BatchResult next = RunBatch(setup, dir / "run2.htm");
  EXPECT_EQ(next.status, 0) << next.output;
  const std::vector<std::string> source = SourceSummaryRows(file);
  const std::vector<std::string> loaded = DestinationSummaryRows(client, server);
  EXPECT_EQ(loaded.size(), source.size());
  EXPECT_TRUE(loaded == source) << "destination rows differ from the source's";
  std::cout << "[fault] postgres_crash: status " << crashed.status << ", rows after crash run "
            << after_crash << ", after next run " << loaded.size() << " of " << source.size()
            << "\n";
}

}  // namespace
}  // namespace kelvan::faults
