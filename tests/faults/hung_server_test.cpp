// Nights that end: a stand-in server that stops answering (at an execution, in a fetch, or while
// the destination waits on a lock) is cancelled by kelvan-batch's time limit per server or by a
// signal, and the run still ends with its closing block and an exit status that says so.
#include <signal.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/faults/fault_support.h"

namespace kelvan::faults {
namespace {

using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

// Far above what a cancelled run needs, far below the time limits a hang would otherwise meet.
constexpr std::chrono::seconds kRunBound{120};
const std::string kThreeSeconds = "-SERVERTIMEOUT=0.05";
constexpr const char* kClosingEnd = "---End-----------------------------------\r\n</PRE>\r\n";

struct Night {
  testing::ScratchDatabase db;
  fs::path dir;
  fs::path setup;
};

Night PrepareNight(const std::string& tag, testing::Destination kind,
                   const std::vector<std::string>& servers) {
  Night night{testing::CreateScratchDatabase(kind, tag), {}, {}};
  testing::ApplyDestinationSchema(night.db);
  night.dir = testing::OdbcSandbox::Instance().MakeTempDir(tag);
  night.setup = WriteSetup(night.dir, {.servers = servers}, night.db);
  return night;
}

struct HangCase {
  const char* name;
  std::map<std::string, std::string> faults;
};

class TimeLimitTest : public ::testing::TestWithParam<HangCase> {};

// The hung server is given up after its limit and the next server still loads.
TEST_P(TimeLimitTest, CancelsTheHungServerAndGoesOn) {
  const std::string tag = std::string("limit_") + GetParam().name;
  const std::string hung = "VLT_hung_" + std::string(GetParam().name);
  const std::string healthy = "VLT_after_" + std::string(GetParam().name);
  RegisterVltServer(hung, CreateVltFile(tag + "_hung", 61), GetParam().faults);
  RegisterVltServer(healthy, CreateVltFile(tag + "_ok", 62));
  const Night night = PrepareNight(tag, testing::Destination::kSqlite, {hung, healthy});

  const BatchResult result =
      WaitBatchWithin(StartBatch(night.setup, night.dir / "run.htm", {kThreeSeconds}),
                      night.dir / "run.htm", kRunBound);

  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_THAT(result.output, HasSubstr("Given up: server " + hung +
                                       ": table SUMMARY: the "
                                       "server's time limit of 0.05 minutes passed"));
  EXPECT_THAT(result.run_log, HasSubstr("Error processing server " + hung));
  EXPECT_THAT(result.run_log, Not(HasSubstr("Retry number"))) << "cancelled work is not retried";
  EXPECT_THAT(result.run_log, HasSubstr("Server operations for " + healthy + " successfully"));
  EXPECT_THAT(result.run_log, EndsWith(kClosingEnd));
  EXPECT_GT(CountRows(ClientOf(night.db), "SUMMARY", healthy), 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, TimeLimitTest,
                         ::testing::Values(HangCase{"exec", {{"HangAt", "exec"}}},
                                           HangCase{"fetch",
                                                    {{"HangAt", "fetch"}, {"HangAfterRows", "3"}}}),
                         [](const auto& info) { return std::string(info.param.name); });

// The worker's thread cannot be joined while the driver holds it: the run writes its closing
// block, says what it gave up, and ends without that thread (and without the servers after it).
TEST(IgnoredCancelTest, RunStillEndsWithItsClosingBlock) {
  const std::string hung = "VLT_deaf";
  const std::string next = "VLT_after_deaf";
  RegisterVltServer(hung, CreateVltFile("deaf", 65), {{"HangAt", "exec"}, {"IgnoreCancel", "1"}});
  RegisterVltServer(next, CreateVltFile("after_deaf", 66));
  const Night night = PrepareNight("deaf", testing::Destination::kSqlite, {hung, next});

  const BatchResult result =
      WaitBatchWithin(StartBatch(night.setup, night.dir / "run.htm", {kThreeSeconds}),
                      night.dir / "run.htm", kRunBound);

  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_THAT(result.output, HasSubstr("Given up: server " + hung +
                                       ": the server's time limit of 0.05 minutes passed"));
  EXPECT_THAT(result.run_log, HasSubstr("Server " + hung + " did not end within 15 seconds"));
  EXPECT_THAT(result.run_log, Not(HasSubstr("Log for DSN=" + next)));
  EXPECT_THAT(result.run_log, EndsWith(kClosingEnd));
}

class InterruptTest : public ::testing::TestWithParam<int> {};

TEST_P(InterruptTest, CancelsTheServerBeingLoadedAndWritesTheClosingBlock) {
  const std::string tag = "signal_" + std::to_string(GetParam());
  const std::string server = "VLT_" + tag;
  const fs::path hold = testing::OdbcSandbox::Instance().MakeTempDir(tag + "_hold") / "release";
  RegisterVltServer(server, CreateVltFile(tag, 63),
                    {{"HoldAfterRows", "3"}, {"HoldFile", hold.string()}});
  const Night night = PrepareNight(tag, testing::Destination::kSqlite, {server});

  const pid_t batch = StartBatch(night.setup, night.dir / "run.htm");
  ASSERT_TRUE(AwaitFile(hold.string() + ".held"));
  ASSERT_EQ(::kill(batch, GetParam()), 0);
  const BatchResult result = WaitBatchWithin(batch, night.dir / "run.htm", kRunBound);

  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_THAT(result.output, HasSubstr("Given up: server " + server +
                                       ": table SUMMARY: the run "
                                       "was interrupted"));
  EXPECT_THAT(result.run_log, EndsWith(kClosingEnd));
}

INSTANTIATE_TEST_SUITE_P(Signals, InterruptTest, ::testing::Values(SIGTERM, SIGINT),
                         [](const auto& info) { return info.param == SIGTERM ? "TERM" : "INT"; });

// A destination statement waiting on another session's lock is cancelled like a source call.
TEST(DestinationWaitTest, StatementWaitingOnALockIsCancelledByTheTimeLimit) {
  const std::string server = "VLT_lock_wait";
  RegisterVltServer(server, CreateVltFile("lock_wait", 64));
  const Night night = PrepareNight("lock_wait", testing::Destination::kPostgres, {server});
  const SqlClient client = ClientOf(night.db);
  // Reads pass this lock (the run's check of the destination reads), writes wait for it.
  std::thread holder([&client] {
    client("BEGIN; LOCK TABLE summary IN EXCLUSIVE MODE; SELECT pg_sleep(20); COMMIT;");
  });
  auto locked = [&client] {
    return client(
               "SELECT count(*) FROM pg_locks WHERE mode = 'ExclusiveLock' AND relation = "
               "'summary'::regclass")
        .starts_with("1");
  };
  for (int i = 0; i < 100 && !locked(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }

  const BatchResult result =
      WaitBatchWithin(StartBatch(night.setup, night.dir / "run.htm", {kThreeSeconds}),
                      night.dir / "run.htm", kRunBound);
  holder.join();

  EXPECT_EQ(result.status, 1) << result.output;
  EXPECT_THAT(result.output, HasSubstr("Given up: server " + server +
                                       ": table SUMMARY: the "
                                       "server's time limit of 0.05 minutes passed"));
  EXPECT_THAT(result.run_log, EndsWith(kClosingEnd));
}

}  // namespace
}  // namespace kelvan::faults
