// Secrets and hostile names: no password in anything a run writes or prints, setup files kept
// from other users, and SQL text in server and entity names that stays text.
#include <sys/stat.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "console/core/setup_file.h"
#include "tests/faults/fault_support.h"

namespace kelvan::faults {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr const char* kExposedWarning = "can be read by other users";

TEST(SecretsTest, NoPasswordInAnyFileARunWritesOrInWhatItPrints) {
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(testing::Destination::kPostgres, "secrets");
  testing::RunSqlScript(db, testing::SourcePath("schema/postgresql.sql"));
  ASSERT_FALSE(db.pwd.empty());
  // A healthy server, one that refuses connections and one whose queries fail: every path
  // that reports a server's connection, including the retry texts.
  RegisterVltServer("VLT_sec_ok", CreateVltFile("sec_ok", 81));
  RegisterVltServer("VLT_sec_refused", CreateVltFile("sec_refused", 82), {{"RefuseConnect", "1"}});
  RegisterVltServer("VLT_sec_failing", CreateVltFile("sec_failing", 83), {{"FailExecN", "1"}});
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir("secrets");
  const fs::path setup =
      WriteSetup(dir,
                 {.servers = {"VLT_sec_ok", "VLT_sec_refused", "VLT_sec_failing"},
                  .tables = {"SUMMARY", "NODES", "OCCUPANCY"},
                  .load_error_tables = true,
                  .simul_activity = true,
                  .summary_hour = true,
                  .forecasting = true,
                  .trace_level = 3},
                 db);
  const BatchResult run = RunBatch(setup, dir / "run.htm");
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_THAT(run.run_log, HasSubstr("LocalErr: Retrying ClientErrors again."));
  EXPECT_THAT(run.run_log, HasSubstr("Server Name = VLT_sec_ok"));  // the trace is at level 3

  int scanned = 0;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.path() == setup) continue;
    const std::string content = ReadFile(entry.path());
    EXPECT_THAT(content, Not(HasSubstr(kVltPassword))) << entry.path();
    EXPECT_THAT(content, Not(HasSubstr(db.pwd))) << entry.path();
    ++scanned;
  }
  EXPECT_GE(scanned, 2);  // the run log and what was printed
}

class SetupFileModeTest : public ::testing::TestWithParam<bool> {};

TEST_P(SetupFileModeTest, IsWrittenReadableByItsOwnerOnlyWhateverTheUmask) {
  const bool existed = GetParam();
  const fs::path path = testing::OdbcSandbox::Instance().MakeTempDir("mode") / "KELVAN.ini";
  if (existed) {
    std::ofstream(path) << "[SERVER]\r\n";
    fs::permissions(path, fs::perms(0644));
  }
  const mode_t old_mask = ::umask(0);
  console::Settings settings;
  settings.destination.password = "dest-pw";
  console::WriteSetupToFile(path.string(), settings);
  ::umask(old_mask);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

INSTANTIATE_TEST_SUITE_P(NewAndExisting, SetupFileModeTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "ExistingFile" : "NewFile"; });

TEST(SecretsTest, BatchWarnsWhenTheSetupFileIsReadableByOthers) {
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(testing::Destination::kSqlite, "exposed");
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir("exposed");
  const fs::path setup = WriteSetup(dir, {.servers = {}}, db);

  EXPECT_THAT(RunBatch(setup, dir / "private.htm").output, Not(HasSubstr(kExposedWarning)));
  for (const fs::perms mode : {fs::perms(0640), fs::perms(0604)}) {
    fs::permissions(setup, mode);
    const BatchResult exposed = RunBatch(setup, dir / "exposed.htm");
    EXPECT_THAT(exposed.output,
                HasSubstr("Warning: the setup file " + setup.string() + " " + kExposedWarning));
  }
}

// Names that would end a string literal, start a new statement or comment out the rest.
TEST(InjectionTest, QuotesAndCommentsInNamesStayText) {
  const testing::ScratchDatabase db =
      testing::CreateScratchDatabase(testing::Destination::kPostgres, "inject");
  testing::RunSqlScript(db, testing::SourcePath("schema/postgresql.sql"));
  const SqlClient client = ClientOf(db);
  const std::string bystander = "VLT_bystander";
  const fs::path bystander_file = CreateVltFile("bystander", 91);
  RegisterVltServer(bystander, bystander_file);
  const std::string hostile = "VLT_O'Brien' OR '1'='1--/*";
  const fs::path hostile_file = CreateVltFile("hostile", 92);
  Shell("sqlite3 " + hostile_file.string() +
        " \"UPDATE SUMMARY SET ENTITY = 'x''); DELETE FROM SUMMARY; --' WHERE rowid % 7 = 0; "
        "UPDATE NODES SET NODE_NAME = NODE_NAME || ''' OR ''''=''' WHERE rowid % 3 = 0;\"");
  RegisterVltServer(hostile, hostile_file);
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir("inject");
  const SetupOptions options{.servers = {bystander, hostile},
                             .tables = {"SUMMARY", "NODES"},
                             .simul_activity = true,
                             .summary_hour = true};
  const fs::path setup = WriteSetup(dir, options, db);

  for (int run = 1; run <= 2; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    const BatchResult result = RunBatch(setup, dir / ("run" + std::to_string(run) + ".htm"));
    EXPECT_EQ(result.status, 0) << result.output;
    EXPECT_THAT(result.run_log, Not(HasSubstr("Retrying")));
    EXPECT_TRUE(DestinationSummaryRows(client, bystander) == SourceSummaryRows(bystander_file));
    EXPECT_TRUE(DestinationSummaryRows(client, hostile) == SourceSummaryRows(hostile_file));
    EXPECT_EQ(CountRows(client, "NODES", hostile), SourceCount(hostile_file, "NODES"));
    EXPECT_EQ(CountRows(client, "NODES", bystander), SourceCount(bystander_file, "NODES"));
  }
  EXPECT_EQ(client("SELECT COUNT(*) FROM NODES WHERE NODE_NAME LIKE '%'' OR ''''=''' "),
            Shell("sqlite3 " + hostile_file.string() +
                  " 'SELECT COUNT(*) FROM NODES WHERE rowid % 3 = 0'"));
}

}  // namespace
}  // namespace kelvan::faults
