#include "console/core/run_driver.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <ostream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "console/core/recording_view.h"
#include "console/core/run_lock.h"
#include "console/core/setup_file.h"
#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"
#include "platform/odbc/cancellation.h"
#include "platform/odbc/connect_string.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan::console {
namespace {

using ::testing::ElementsAre;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::StartsWith;

namespace fs = std::filesystem;

const Timestamp kStart{2024, 3, 7, 22, 0, 0};

// What a fake worker does when called.
struct Script {
  std::string result;
  std::string messages;
  std::string given_up;
  bool raise = false;
  long seconds = 0;              // the call takes this long on the fixed clock
  std::function<void()> during;  // runs inside the call, like a click while waiting
};

class FakeWorkers : public WorkerFactory {
 public:
  explicit FakeWorkers(FixedClock& clock) : clock_(clock) {}

  std::shared_ptr<RunWorker> CreateWorker(const std::string& dsn,
                                          const std::string& server_value) override {
    created.push_back(dsn + "|" + server_value);
    return std::make_shared<Worker>(*this, dsn, static_cast<int>(created.size()));
  }

  std::map<std::string, Script> scripts;
  std::vector<std::string> created;
  std::vector<std::pair<std::string, RunArguments>> calls;
  std::vector<std::string> cancel_reasons;  // what each call's work was cancelled for, if it was
  bool check_counts = false;                // as the last Observe said

 private:
  class Worker : public RunWorker {
   public:
    Worker(FakeWorkers& owner, std::string dsn, int n) : owner_(owner), dsn_(dsn), n_(n) {}
    std::int32_t ThreadID() override { return 700 + n_; }
    std::string StartELVAN(const RunArguments& arguments, const component::Pump& pump) override {
      owner_.calls.emplace_back(dsn_, arguments);
      const Script& script = owner_.scripts[dsn_];
      owner_.clock_.AdvanceSeconds(script.seconds);
      if (recorder_) {
        recorder_->Enter(worker::StepRecord::Kind::kTable, "SUMMARY");
        engine::OperationCounts counts;
        counts.rows_added = 10;
        recorder_->AddCall(counts, std::chrono::seconds(script.seconds));
      }
      pump();
      if (script.during) script.during();
      pump();  // the driver's watch sees what `during` did
      const odbc::ActingFor acting(ThreadID());
      owner_.cancel_reasons.push_back(odbc::WorkCancelReason().value_or(""));
      if (script.raise) throw RaisedError(5, "mtELVAN.ELVAN", "boom PWD=sekret9;");
      return script.result;
    }
    std::string ErrorMessages() override { return owner_.scripts[dsn_].messages; }
    std::string GivenUp() override { return owner_.scripts[dsn_].given_up; }
    void Observe(std::shared_ptr<worker::LoadRecorder> recorder, bool check_counts) override {
      recorder_ = std::move(recorder);
      owner_.check_counts = check_counts;
    }

   private:
    std::shared_ptr<worker::LoadRecorder> recorder_;
    FakeWorkers& owner_;
    std::string dsn_;
    int n_;
  };

  FixedClock& clock_;
};

class RunDriverTest : public ::testing::Test {
 protected:
  RunDriverTest() : clock_(kStart), scoped_(clock_) {
    state_.run_log_name =
        (testing::OdbcSandbox::Instance().MakeTempDir("run") / "run.htm").string();
    std::ofstream(state_.run_log_name) << "BANNER\r\n";
    state_.settings.destination = {"RPT", "rpt", "sekret2", ""};
  }

  void AddServer(const std::string& dsn, const std::string& password = "sekret1") {
    state_.settings.servers.push_back(MakeServerEntry(ServerValue(dsn, "admin", password)));
  }

  // Servers named in `down` refuse the test connection; the others report `version`.
  void Reachable(std::vector<std::string> down, std::string version = "03.52.0000") {
    connector_ = [down, version](const std::string& connect) -> std::string {
      for (const std::string& dsn : down) {
        if (connect.starts_with("DSN=" + dsn + ";")) throw RaisedError(1, "odbc", "no", "08001");
      }
      return version;
    };
  }

  RunOutcome Go() {
    driver_ = std::make_unique<RunDriver>(state_, view_, workers_, connector_);
    return driver_->Go();
  }

  std::string RunLog() const {
    std::ifstream in(state_.run_log_name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  FixedClock clock_;
  ScopedClock scoped_;
  ConsoleState state_;
  RecordingView view_{&clock_};
  FakeWorkers workers_{clock_};
  TestConnector connector_ = [](const std::string&) { return std::string("03.52.0000"); };
  std::unique_ptr<RunDriver> driver_;
};

TEST_F(RunDriverTest, EmptyServerListWritesOnlyTheMessage) {
  state_.log_text = "left from start-up";
  const RunOutcome outcome = Go();
  EXPECT_EQ(outcome.kind, RunOutcome::Kind::kEmptyServerList);
  EXPECT_EQ(state_.log_text, "Error: Empty server list.");
  EXPECT_EQ(RunLog(), "BANNER\r\nError: Empty server list.\r\n");
  EXPECT_THAT(workers_.created, IsEmpty());
  EXPECT_FALSE(state_.busy);
}

// Every server of the list is in the record, in list order, whatever became of it.
TEST_F(RunDriverTest, RecordHoldsEveryServerWithItsResultAndSteps) {
  for (const char* dsn : {"VLTA", "VLTB", "VLTC", "VLTD"}) AddServer(dsn);
  Reachable({"VLTB"});
  workers_.scripts["VLTA"].seconds = 4;
  workers_.scripts["VLTC"].result = "LocalErr:  Failed on: ServerErrors";
  workers_.scripts["VLTC"].given_up = "stage ServerErrors: <5> boom";
  workers_.scripts["VLTD"].given_up = "table NODES: <7> refused";
  ServerProgress during_a;
  workers_.scripts["VLTA"].during = [&] { during_a = driver_->Progress(); };
  driver_ = std::make_unique<RunDriver>(state_, view_, workers_, connector_);
  driver_->SetCheckCounts(true);

  const RunRecord record = driver_->Go().record;

  EXPECT_TRUE(workers_.check_counts);
  EXPECT_EQ(during_a.position, 1);
  EXPECT_EQ(during_a.total, 3);
  EXPECT_EQ(during_a.server, "VLTA");
  ASSERT_EQ(during_a.steps.size(), 1u);
  EXPECT_EQ(during_a.steps[0].counts.rows_added, 10);
  EXPECT_EQ(record.started, kStart);
  ASSERT_EQ(record.servers.size(), 4u);
  const std::vector<std::pair<ServerRun::Result, std::string>> expected = {
      {ServerRun::Result::kLoaded, ""},
      {ServerRun::Result::kUnreachable, "no"},
      {ServerRun::Result::kFailed, "stage ServerErrors: <5> boom"},
      {ServerRun::Result::kGivenUp, "table NODES: <7> refused"}};
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(record.servers[i].result, expected[i].first) << i;
    EXPECT_EQ(record.servers[i].first_error, expected[i].second) << i;
  }
  EXPECT_EQ(record.servers[0].seconds, 4);
  ASSERT_EQ(record.servers[0].steps.size(), 1u);
  EXPECT_EQ(record.servers[0].steps[0].name, "SUMMARY");
  EXPECT_TRUE(record.servers[1].steps.empty());
}

TEST_F(RunDriverTest, UnreachableServersAreSkippedAndTheClosingBlockWritten) {
  AddServer("A");
  AddServer("B");
  Reachable({"A", "B", "RPT"});
  const RunOutcome outcome = Go();
  EXPECT_EQ(outcome.kind, RunOutcome::Kind::kNoUsableServer);
  EXPECT_THAT(workers_.created, IsEmpty());
  const std::string expected_log =
      "Verifying database connection to all the servers listed in the server list."
      "\r\nUnable to connect to server A\r\nDriver's answer: 08001: no\r\nCheck connection "
      "information or server availability.\r\nSkipping server A\r\n"
      "\r\nUnable to connect to server B\r\nDriver's answer: 08001: no\r\nCheck connection "
      "information or server availability.\r\nSkipping server B\r\n"
      "No servers with correct information available.";
  EXPECT_EQ(state_.log_text, expected_log);
  const std::string log = RunLog();
  EXPECT_THAT(log, HasSubstr("Database Type:  Unknown  ODBC Version: Not available check "
                             "connection\r\n\r\n"));
  EXPECT_THAT(log, HasSubstr("---------------------------------------------------------------"
                             "------\r\n\r\n"
                             "Incorrect connection information supplied for server A\r\n"
                             "Driver's answer: 08001: no\r\nSkipping server A\r\n"
                             "Incorrect connection information supplied for server B\r\n"
                             "Driver's answer: 08001: no\r\nSkipping server B\r\n"));
  EXPECT_THAT(log,
              EndsWith("----------------------------------------\r\n"
                       "Average time per server was 0:00:00.\r\n"
                       "Total number of servers processed was 0.\r\n"
                       "----------------Messages from the text box------------------------\r\n" +
                       expected_log +
                       "\r\n"
                       "Total processing time minutes:>0.00\r\n"
                       "----------------------------End-----------------------------------\r\n"
                       "</PRE>\r\n"));
}

TEST_F(RunDriverTest, OnlyReachableServersGetWorkersInListOrder) {
  AddServer("A");
  AddServer("B");
  AddServer("C");
  Reachable({"B"});
  workers_.scripts["A"].messages = "A copied.\r\n";
  const RunOutcome outcome = Go();
  EXPECT_EQ(outcome.kind, RunOutcome::Kind::kRan);
  EXPECT_EQ(outcome.usable, 2);
  EXPECT_EQ(outcome.completed, 2);
  EXPECT_THAT(workers_.created,
              ElementsAre("A|DSN=A;UID=admin;PWD=sekret1", "C|DSN=C;UID=admin;PWD=sekret1"));
  EXPECT_THAT(state_.log_text,
              HasSubstr("\r\nServer = A\r\nDataSource = RPT\r\nServer values = DSN=A;UID=admin\r\n"
                        "Thread ID = 701\r\nA copied.\r\n"
                        "Server operations for A successfully completed.\r\n"));
  EXPECT_THAT(state_.log_text, HasSubstr("\r\nC uses ODBC driver version: 03.52.0000\r\n"));
  EXPECT_THAT(RunLog(), HasSubstr("\r\n========================== Log for DSN=C;UID=admin\r\n"
                                  "2024-03-07 22:00:05\r\n"));
  EXPECT_THAT(RunLog(), HasSubstr("Total number of servers processed was 2.\r\n"));
  EXPECT_EQ(view_.status_labels().back(), "Processing Complete");
  EXPECT_EQ(view_.panels().at(StatusPanel::kPosition), "2/2");
  EXPECT_THAT(view_.waits(), ElementsAre(std::chrono::milliseconds(5000)));
}

TEST_F(RunDriverTest, FailuresAreReportedAndTheRunGoesOn) {
  AddServer("A");
  AddServer("B");
  AddServer("C");
  workers_.scripts["A"].raise = true;
  workers_.scripts["B"].result = "Stage failed four times.\r\n";
  const RunOutcome outcome = Go();
  EXPECT_EQ(workers_.calls.size(), 3u);
  EXPECT_EQ(outcome.completed, 1);
  EXPECT_THAT(state_.log_text, HasSubstr("Thread ID = 701\r\n"
                                         "Error encountered while processing this server.\r\n"
                                         "Moving to the next server on the list.\r\n"
                                         "Error processing server A\r\n"
                                         "formELVAN: Error Number = 5\r\n"
                                         "formELVAN: Error Source = mtELVAN.ELVAN\r\n"
                                         "formELVAN: Error Description = boom PWD=****;\r\n\r\n"));
  EXPECT_THAT(state_.log_text,
              HasSubstr("Error processing server B\r\nStage failed four times.\r\n\r\n"));
  EXPECT_EQ(view_.status_labels().back(), "Processing Complete") << "the last server succeeded";
}

TEST_F(RunDriverTest, FailureOfTheLastServerSetsTheErrorStatus) {
  AddServer("A");
  AddServer("B");
  workers_.scripts["B"].result = "failed\r\n";
  Go();
  EXPECT_EQ(view_.status_labels().back(), "Error Processing Data");
}

TEST_F(RunDriverTest, OldDriverIsWarnedAboutAndStillProcessed) {
  AddServer("A");
  Reachable({}, "03.01.0000xyz");
  const RunOutcome outcome = Go();
  EXPECT_THAT(state_.log_text,
              HasSubstr("WARNING: This version of ODBC driver is not intended for use with this "
                        "tool.  Use it at your own risk. \r\n\r\nA uses ODBC driver version: "
                        "03.01.0000\r\n"));
  EXPECT_EQ(outcome.completed, 1);
}

TEST_F(RunDriverTest, OptionsBlockListsTheSettings) {
  AddServer("A");
  Settings& s = state_.settings;
  s.tables = {"\"SUMMARY\",\"EVENTS\",", 2, kTrue16};
  s.advanced = {{kTrue16, kFalse16, kTrue16, kFalse16, kFalse16}, 45, 9999, 500, "QDB", 2};
  s.post_processing.generate_summaryhour = kTrue16;
  s.post_processing.activate_forecasting = kTrue16;
  s.post_processing.forecast_tables = {kTrue16, 0, 0, 0, 0, 0, kTrue16};
  s.post_processing.forecast_number_of_days = 30;
  s.post_processing.forecast_size_of_sample_set = 14;
  Go();
  EXPECT_THAT(
      RunLog(),
      StartsWith(("BANNER\r\n"
                  "<PRE>\r\n"
                  "Database Type:  QDB  ODBC Version: 03.52.0000\r\n\r\n"
                  "--------------------------Options------------------------------------\r\n\r\n"
                  "Load Clienterrors and Servererrors: True\r\n"
                  "Tables Selected: SUMMARY EVENTS \r\n"
                  "Log File: " +
                  state_.run_log_name +
                  "\r\n"
                  "Trace Level: 2\r\n"
                  "Prune Records Older Than: 45 Prune Batch Size: 500\r\n"
                  "Severity Selections: E=True, I=False, D=True, S=False, W=False\r\n"
                  "Generate SUMMARYHOUR Table: True\r\n"
                  "Generate SIMUL_ACTIVITY Table: False\r\n"
                  "Run Forecasting: True\r\n"
                  "  Forecast Days: 30 Size of Sample: 14\r\n"
                  "  DB Table: True\r\n"
                  "  FILESPACES Table: False\r\n"
                  "  LOG Table: False\r\n"
                  "  STGPOOLS Table: False\r\n"
                  "  LIBVOLUMES Table: False\r\n"
                  "  NODES Table: False\r\n"
                  "  OCCUPANCY Table: True\r\n"
                  "---------------------------------------------------------------------\r\n\r\n"
                  "\r\n========================== Log for DSN=A;UID=admin\r\n")));
}

TEST_F(RunDriverTest, ForecastLinesOnlyWhenForecastingIsOn) {
  AddServer("A");
  state_.settings.post_processing.forecast_tables.fill(kTrue16);
  Go();
  EXPECT_THAT(RunLog(), HasSubstr("Run Forecasting: False\r\n-----"));
  EXPECT_THAT(RunLog(), Not(HasSubstr("Table: True")));
}

TEST_F(RunDriverTest, WorkerReceivesTheSettings) {
  AddServer("A");
  Settings& s = state_.settings;
  s.advanced.severity = {kFalse16, kFalse16, kFalse16, kTrue16, kFalse16};
  s.advanced.approx_records_to_prune_per_batch = 32000;
  s.post_processing.forecast_number_of_days = 7;
  s.forecast_setup_code = 0x0101;
  Go();
  ASSERT_EQ(workers_.calls.size(), 1u);
  const RunArguments& arguments = workers_.calls[0].second;
  EXPECT_EQ(arguments.destination, s.destination);
  EXPECT_EQ(arguments.approx_records_to_prune_per_batch, 32000);
  const worker::LoadOptions& a = arguments.options;
  EXPECT_THAT(a.tables, ElementsAre("")) << "no table: one empty element";
  EXPECT_EQ(a.log_file_name, state_.run_log_name);
  EXPECT_EQ(a.prune_records, kTrue16);
  EXPECT_EQ(a.multiple_data_sets_per_day, kFalse16);
  EXPECT_EQ(a.severity_string, "SEVERITY = 'S'");
  EXPECT_EQ(a.forecast_setup_code, 0x0101);
  EXPECT_EQ(a.forecast_number_of_days, 7);
}

TEST_F(RunDriverTest, ClosingBlockAveragesTheElapsedTime) {
  AddServer("A");
  AddServer("B");
  workers_.scripts["A"].seconds = 55;
  workers_.scripts["B"].seconds = 60;  // 55 + 5 pause + 60 = 120 seconds for 2 servers
  Go();
  EXPECT_THAT(RunLog(), HasSubstr("Average time per server was 0:01:00.\r\n"));
  EXPECT_THAT(RunLog(), HasSubstr("Total processing time minutes:>2.00\r\n"));
  EXPECT_EQ(view_.panels().at(StatusPanel::kElapsed), "0:02:00");
}

// The clocks go back an hour during the run: the run still took two minutes.
TEST_F(RunDriverTest, ElapsedTimeIgnoresAWallClockChange) {
  AddServer("A");
  AddServer("B");
  workers_.scripts["A"].seconds = 55;
  workers_.scripts["A"].during = [this] {
    clock_.Set(FromDaySerial(ToDaySerial(clock_.Now()) - 1.0 / 24.0));
  };
  workers_.scripts["B"].seconds = 60;
  Go();
  EXPECT_THAT(RunLog(), HasSubstr("Total processing time minutes:>2.00\r\n"));
  EXPECT_EQ(view_.panels().at(StatusPanel::kElapsed), "0:02:00");
}

// What other loaders answer for each server's claims, in turn (the last answer repeats), and
// what the run loads, marks done and gives back.
struct ClaimCase {
  std::string name;
  std::map<std::string, std::vector<ClaimAnswer::Kind>> answers;
  bool cancel_in_a = false;  // the run is cancelled while A loads
  std::vector<std::string> loaded;
  std::vector<std::string> finished;  // "server done" or "server given back"
  std::string processed;              // the closing block's count
};

class FakeClaims : public ServerClaims {
 public:
  explicit FakeClaims(std::map<std::string, std::vector<ClaimAnswer::Kind>> answers)
      : answers_(std::move(answers)) {}
  ClaimAnswer Claim(const std::string& server, odbc::WorkKey) override {
    std::vector<ClaimAnswer::Kind>& turns = answers_[server];
    const ClaimAnswer::Kind kind = turns.empty() ? ClaimAnswer::Kind::kClaimed : turns.front();
    if (turns.size() > 1) turns.erase(turns.begin());
    return {kind, "host2 4242"};
  }
  bool Holds(const std::string&) override { return true; }
  void Finish(const std::string& server, bool done) noexcept override {
    finished.push_back(server + (done ? " done" : " given back"));
  }
  std::chrono::milliseconds PollInterval() const override { return std::chrono::seconds(3); }

  std::vector<std::string> finished;

 private:
  std::map<std::string, std::vector<ClaimAnswer::Kind>> answers_;
};

class ClaimedRunDriverTest : public RunDriverTest,
                             public ::testing::WithParamInterface<ClaimCase> {};

TEST_P(ClaimedRunDriverTest, ServersAreLoadedOnlyUnderTheirClaim) {
  const ClaimCase& c = GetParam();
  for (const char* dsn : {"A", "B", "C"}) AddServer(dsn);
  if (c.cancel_in_a) workers_.scripts["A"].during = [this] { driver_->Cancel(); };
  FakeClaims claims(c.answers);
  driver_ = std::make_unique<RunDriver>(state_, view_, workers_, connector_);
  driver_->SetClaims(&claims);

  const RunOutcome outcome = driver_->Go();

  std::vector<std::string> loaded;
  for (const auto& call : workers_.calls) loaded.push_back(call.first);
  EXPECT_EQ(loaded, c.loaded);
  EXPECT_EQ(claims.finished, c.finished);
  EXPECT_THAT(RunLog(), HasSubstr("Total number of servers processed was " + c.processed));
  for (const ServerRun& server : outcome.record.servers) {
    const bool skipped = c.answers.count(server.server) != 0 &&
                         c.answers.at(server.server).back() == ClaimAnswer::Kind::kDone;
    EXPECT_EQ(server.result == ServerRun::Result::kElsewhere, skipped) << server.server;
    if (skipped) {
      EXPECT_THAT(RunLog(), HasSubstr("Server " + server.server +
                                      " was loaded in this run window by another loader (host2 "
                                      "4242): skipped.\r\n"));
    }
  }
}

using K = ClaimAnswer::Kind;
INSTANTIATE_TEST_SUITE_P(
    Claims, ClaimedRunDriverTest,
    ::testing::Values(
        ClaimCase{"done_elsewhere_skipped",
                  {{"B", {K::kDone}}},
                  false,
                  {"A", "C"},
                  {"A done", "C done"},
                  "2."},
        ClaimCase{"held_elsewhere_loaded_once_free",
                  {{"A", {K::kHeld, K::kHeld, K::kClaimed}}},
                  false,
                  {"B", "C", "A"},
                  {"B done", "C done", "A done"},
                  "3."},
        ClaimCase{"held_until_done_elsewhere",
                  {{"A", {K::kHeld, K::kDone}}},
                  false,
                  {"B", "C"},
                  {"B done", "C done"},
                  "2."},
        ClaimCase{"cancelled_run_gives_its_server_back", {}, true, {"A"}, {"A given back"}, "3."}),
    [](const auto& info) { return info.param.name; });

TEST_F(RunDriverTest, CancelStopsBeforeTheNextServer) {
  AddServer("A");
  AddServer("B");
  workers_.scripts["A"].during = [this] { driver_->Cancel(); };
  workers_.scripts["A"].messages = "A done.\r\n";
  const RunOutcome outcome = Go();
  EXPECT_EQ(workers_.calls.size(), 1u);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_THAT(state_.log_text, HasSubstr("A done.\r\nServer operations for A successfully"));
  EXPECT_THAT(RunLog(), EndsWith("</PRE>\r\n"));
  EXPECT_FALSE(state_.busy);
}

// A server past its limit has its work cancelled (and allowed again when its call ends); the
// run goes on with the next server.
TEST_F(RunDriverTest, TimeLimitCancelsTheServerWorkAndTheRunGoesOn) {
  AddServer("A");
  AddServer("B");
  workers_.scripts["A"].result = "failed";
  workers_.scripts["A"].seconds = 61;
  workers_.scripts["B"].seconds = 59;
  driver_ = std::make_unique<RunDriver>(state_, view_, workers_, connector_);
  RunLimits limits;
  limits.server_seconds = 60;
  driver_->SetLimits(limits);
  const RunOutcome outcome = driver_->Go();
  const std::string reason = "the server's time limit of 1.00 minutes passed";
  EXPECT_THAT(workers_.cancel_reasons, ElementsAre(reason, ""));
  EXPECT_THAT(state_.log_text, HasSubstr("Server A: " + reason +
                                         "; its database calls in progress were cancelled."));
  EXPECT_THAT(RunLog(), HasSubstr("Server A: " + reason));
  EXPECT_EQ(outcome.completed, 1);
  const odbc::ActingFor acting(701);
  EXPECT_EQ(odbc::WorkCancelReason(), std::nullopt);
}

// A worker that does not return after its cancel (a driver that ignores it) is left behind once
// the closing block is written; an interrupt cancels the server being loaded at once.
TEST_F(RunDriverTest, InterruptedServerThatDoesNotEndIsAbandonedAfterTheClosingBlock) {
  AddServer("A");
  AddServer("B");
  workers_.scripts["A"].during = [this] {
    driver_->Interrupt();
    clock_.AdvanceSeconds(16);
  };
  std::optional<RunOutcome> abandoned;
  std::string log_when_abandoned;
  driver_ = std::make_unique<RunDriver>(state_, view_, workers_, connector_);
  RunLimits limits;
  limits.abandon = [&](const RunOutcome& outcome) {
    abandoned = outcome;
    log_when_abandoned = RunLog();
  };
  driver_->SetLimits(limits);
  driver_->Go();
  EXPECT_THAT(workers_.cancel_reasons, ElementsAre("the run was interrupted"));
  ASSERT_TRUE(abandoned.has_value());
  EXPECT_THAT(abandoned->given_up, ElementsAre("server A: the run was interrupted"));
  EXPECT_THAT(log_when_abandoned,
              HasSubstr("Server A did not end within 15 seconds of the cancel"));
  EXPECT_THAT(log_when_abandoned, EndsWith("</PRE>\r\n"));
}

TEST_F(RunDriverTest, PasswordsNeverReachWhatTheConsoleWrites) {
  AddServer("A", "sekret1");
  AddServer("B", "sekret1");
  workers_.scripts["A"].messages = "connect DSN=A;UID=admin;PWD=sekret1 failed\r\n";
  workers_.scripts["B"].raise = true;
  Go();
  EXPECT_THAT(RunLog(), Not(HasSubstr("sekret")));
  EXPECT_THAT(state_.log_text, Not(HasSubstr("sekret")));
  for (const auto& label : view_.status_labels()) EXPECT_THAT(label, Not(HasSubstr("sekret")));
  EXPECT_THAT(view_.messages(), IsEmpty());
}

// Runs of a setup file on disk: one at a time.
class SetupFileRunTest : public RunDriverTest {
 protected:
  SetupFileRunTest() {
    setup_file_ = (fs::path(state_.run_log_name).parent_path() / "KELVAN.ini").string();
    std::ofstream(setup_file_) << "[SERVER]\r\n";
    state_.setup_file_name = setup_file_;
    AddServer("A");
  }

  std::string setup_file_;
};

TEST_F(SetupFileRunTest, AnotherRunOfTheSetupFileKeepsThisOneFromStarting) {
  std::optional<RunLock> other = RunLock::TryAcquire(setup_file_);
  ASSERT_TRUE(other.has_value());
  state_.log_text = "left from the last run";
  EXPECT_EQ(Go().kind, RunOutcome::Kind::kNotStarted);
  const std::string message = "Another run of the setup file " + setup_file_ +
                              " is loading its servers (it holds " +
                              fs::canonical(setup_file_).string() +
                              ".lock): this run was not started. Start it again when that run "
                              "has ended.";
  ASSERT_EQ(view_.messages().size(), 1u);
  EXPECT_EQ(view_.messages()[0].text, message);
  EXPECT_EQ(RunLog(), "BANNER\r\n<PRE>\r\n" + message + "\r\n</PRE>\r\n");
  EXPECT_THAT(workers_.created, IsEmpty());
  EXPECT_EQ(state_.log_text, "left from the last run");
  EXPECT_FALSE(view_.running());

  other.reset();
  EXPECT_EQ(Go().kind, RunOutcome::Kind::kRan);
  EXPECT_EQ(workers_.calls.size(), 1u);
}

TEST_F(SetupFileRunTest, TheRunHoldsTheLockUntilItEndsEvenWhenTheFileIsSaved) {
  bool held_during_the_run = false;
  workers_.scripts["A"].during = [&] {
    WriteSetupToFile(setup_file_, state_.settings);  // replaces the file
    held_during_the_run = !RunLock::TryAcquire(setup_file_).has_value();
  };
  workers_.scripts["A"].raise = true;
  Go();
  EXPECT_TRUE(held_during_the_run);
  EXPECT_TRUE(RunLock::TryAcquire(setup_file_).has_value());
}

TEST_F(SetupFileRunTest, LockFileThatCannotBeOpenedKeepsTheRunFromStarting) {
  fs::create_directory(setup_file_ + ".lock");
  EXPECT_EQ(Go().kind, RunOutcome::Kind::kNotStarted);
  ASSERT_EQ(view_.messages().size(), 1u);
  EXPECT_THAT(view_.messages()[0].text, HasSubstr(setup_file_ + ".lock, the lock that keeps"));
  EXPECT_THAT(workers_.created, IsEmpty());
}

TEST_F(SetupFileRunTest, SettingsNeverSavedTakeNoLock) {
  state_.setup_file_name += ".unsaved";
  EXPECT_EQ(Go().kind, RunOutcome::Kind::kRan);
  EXPECT_FALSE(fs::exists(state_.setup_file_name + ".lock"));
}

TEST(HidePasswordsTest, MasksEveryPasswordValue) {
  EXPECT_EQ(odbc::HidePasswordEntries("DSN=a;pwd=x;UID=u\r\nPWD=yy"),
            "DSN=a;pwd=****;UID=u\r\nPWD=****");
  EXPECT_EQ(odbc::HidePasswordEntries("no password here"), "no password here");
}

// The test connections through real drivers: the stand-in VLT server.
class RealConnectionTest : public RunDriverTest {
 protected:
  static void SetUpTestSuite() {
    auto& sandbox = testing::OdbcSandbox::Instance();
    const fs::path file = sandbox.MakeTempDir("vlt") / "vlt.db";
    const std::string command = testing::VltsimPath().string() + " create " + file.string() +
                                " --days 1 --seed 7 > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0);
    sandbox.AddDataSource("VLTOLD", testing::kVltDriver,
                          {{"Database", file.string()}, {"DriverOdbcVer", "03.01"}});
    sandbox.AddDataSource("VLTLOCKED", testing::kVltDriver,
                          {{"Database", file.string()}, {"UID", "admin"}, {"PWD", "right"}});
  }

  RealConnectionTest() { connector_ = OpenTestConnection; }
};

TEST_F(RealConnectionTest, OldDriverWarnedAndUnknownServerSkipped) {
  AddServer("VLTOLD", "any");
  AddServer("NOSUCHDSN");
  AddServer("VLTLOCKED", "wrong");
  const RunOutcome outcome = Go();
  EXPECT_EQ(outcome.usable, 1);
  EXPECT_THAT(workers_.created, ElementsAre("VLTOLD|DSN=VLTOLD;UID=admin;PWD=any"));
  EXPECT_THAT(state_.log_text, HasSubstr("WARNING: This version of ODBC driver"));
  EXPECT_THAT(state_.log_text, HasSubstr("VLTOLD uses ODBC driver version: 03.01"));
  EXPECT_THAT(state_.log_text, HasSubstr("Skipping server NOSUCHDSN"));
  EXPECT_THAT(state_.log_text, HasSubstr("Skipping server VLTLOCKED"));
}

}  // namespace
}  // namespace kelvan::console
