// Faults of the VLT server (refused connections, a failing query, a link that breaks part way
// through a large SUMMARY copy, slow answers): what the run reports, and that the next run
// leaves the destination holding exactly the source's rows.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>

#include "tests/faults/fault_support.h"

namespace kelvan::faults {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

struct SourceFault {
  const char* name;
  std::map<std::string, std::string> keys;
  int scale;               // activity of the stand-in server; 420 gives about 100,000 rows
  int status;              // kelvan-batch's exit status under the fault
  const char* reported;    // a text the run log must hold under the fault
  bool partial_load_done;  // whether the faulty run may already have loaded some rows
};

void PrintTo(const SourceFault& fault, std::ostream* out) { *out << fault.name; }

class SourceFaultTest : public ::testing::TestWithParam<SourceFault> {};

TEST_P(SourceFaultTest, RunReportsTheFaultAndTheNextRunConverges) {
  const SourceFault& fault = GetParam();
  const std::string tag = std::string("src_") + fault.name;
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(testing::Destination::kPostgres, tag);
  testing::RunSqlScript(db, testing::SourcePath("schema/postgresql.sql"));
  const std::string server = "VLT_" + tag;
  const fs::path file = CreateVltFile(tag, 21, 2, fault.scale);
  RegisterVltServer(server, file, fault.keys);
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir(tag);
  const fs::path setup = WriteSetup(dir, {.servers = {server}}, db);

  const BatchResult faulty = RunBatch(setup, dir / "run1.htm");
  EXPECT_EQ(faulty.status, fault.status) << faulty.output;
  EXPECT_THAT(faulty.run_log, HasSubstr(fault.reported));
  EXPECT_THAT(faulty.run_log, HasSubstr("</PRE>\r\n"));  // the run log was closed
  const std::vector<std::string> source = SourceSummaryRows(file);
  const long after_fault = CountRows(ClientOf(db), "SUMMARY", server);
  if (!fault.partial_load_done) {
    EXPECT_EQ(after_fault, 0);
  }

  RegisterVltServer(server, file);
  const BatchResult healthy = RunBatch(setup, dir / "run2.htm");
  EXPECT_EQ(healthy.status, 0) << healthy.output;
  EXPECT_THAT(healthy.run_log, Not(HasSubstr("Retrying")));
  const std::vector<std::string> loaded = DestinationSummaryRows(ClientOf(db), server);
  EXPECT_EQ(loaded.size(), source.size());
  EXPECT_TRUE(loaded == source) << "destination rows differ from the source's";
  std::cout << "[fault] " << fault.name << ": status " << faulty.status << ", rows after fault "
            << after_fault << ", after next run " << loaded.size() << " of " << source.size()
            << "\n";
}

INSTANTIATE_TEST_SUITE_P(
    Faults, SourceFaultTest,
    ::testing::Values(
        SourceFault{"refused",
                    {{"RefuseConnect", "1"}},
                    1,
                    2,
                    "Incorrect connection information supplied for server VLT_src_refused\r\n"
                    "Driver's answer: 08001: [vltodbc]The server refused the connection\r\n"
                    "Skipping server VLT_src_refused\r\n",
                    false},
        // Each attempt opens its own source connection, so its one query fails every time.
        // The table is given up after four attempts: the run says so with status 1.
        SourceFault{"query_fails",
                    {{"FailExecN", "1"}},
                    1,
                    1,
                    "CopyTableErrorHandler: Retrying CopyTables again.\r\n"
                    "CopyTableErrorHandler: Retry number 3\r\n\r\n",
                    false},
        // Four attempts of 10,000 rows each cannot finish the 63,000 rows or more that a first
        // load reaches (yesterday's, and today's so far: fewest just after midnight).
        SourceFault{"link_breaks",
                    {{"FailFetchAfter", "10000"}},
                    420,
                    1,
                    "CopyTableErrorHandler: Retry number 3\r\n\r\n",
                    true},
        SourceFault{"slow",
                    {{"FetchDelayMs", "15"}},
                    1,
                    0,
                    "Server operations for VLT_src_slow successfully completed.",
                    true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvan::faults
