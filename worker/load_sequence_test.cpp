#include "worker/load_sequence.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/basic/clock.h"
#include "platform/basic/text_lines.h"
#include "platform/odbc/cancellation.h"
#include "tests/support/files.h"
#include "tests/support/odbc_sandbox.h"
#include "tests/support/test_names.h"
#include "worker/data_src.h"
#include "worker/fake_engine.h"

namespace kelvan::worker {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using testing::EngineScript;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::Raises;
using testing::Returns;

using kelvan::testing::ReadFile;

int CountOf(const std::string& text, const std::string& part) {
  int count = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

class LoadSequenceTest : public ::testing::Test {
 protected:
  LoadSequenceTest() {
    destination_.SetName("REPORTS");
    destination_.SetUserName("loader");
    destination_.SetPassword("dest-secret");
    options_.log_file_name =
        (kelvan::testing::OdbcSandbox::Instance().MakeTempDir("worker") / "vltlog.htm").string();
    options_.trace_level = 2;
    options_.prune_records_beyond_days = 30;
    options_.severity_string = "(SEVERITY = 'E')";
    options_.multiple_data_sets_per_day = kTrue16;
    options_.database_type = "QDB";
    options_.forecast_number_of_days = 7;
    options_.forecast_size_of_sample_set = 14;
  }

  // Every switch on, every forecast table selected.
  void SwitchEverythingOn() {
    options_.prune_records = kTrue16;
    options_.load_error_tables = kTrue16;
    options_.generate_summary_hour = kTrue16;
    options_.generate_simul_activity = kTrue16;
    options_.activate_forecasting = kTrue16;
    options_.forecast_setup_code = 0x01FF;
  }

  LoadOutcome Run(LogAppender append = AppendToFile) {
    LoadSequence sequence("VLT1", "DSN=VLT1;UID=admin;PWD=secret", destination_, options_, batch_,
                          std::move(append), recorder_);
    return sequence.Run();
  }

  // Whether a call of `key` was made, or of any table when `key` names only an operation.
  bool Called(const std::string& key) const {
    for (const auto& made : script_.Keys()) {
      if (made == key || made.starts_with(key + " ")) return true;
    }
    return false;
  }

  std::string LogFile() const { return ReadFile(options_.log_file_name); }

  FixedClock clock_{Timestamp{2024, 3, 5, 17, 4, 9}};
  ScopedClock use_clock_{clock_};
  EngineScript script_;
  DataSrc destination_;
  LoadOptions options_;
  std::int32_t batch_ = 500;
  LoadRecorder recorder_;
};

// --- The copy stage ---------------------------------------------------------------------------

struct TableArrayCase {
  std::vector<std::string> tables;
  std::vector<std::string> keys;
};

class TableArrayTest : public LoadSequenceTest,
                       public ::testing::WithParamInterface<TableArrayCase> {};

TEST_P(TableArrayTest, EmptyEntriesAreSkippedSilentlyAndLaterStagesRun) {
  options_.tables = GetParam().tables;
  options_.generate_summary_hour = kTrue16;
  options_.generate_simul_activity = kTrue16;

  LoadOutcome outcome = Run();

  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(outcome.text, "Forecasting not activated.\r\n");
  EXPECT_THAT(script_.Keys(), ElementsAreArray(GetParam().keys));
}

INSTANTIATE_TEST_SUITE_P(
    Tables, TableArrayTest,
    ::testing::Values(TableArrayCase{{},
                                     {"Create", "SetTrace", "SetDBType", "PostProcessSummaryTable",
                                      "SimultaneousActivityTable"}},
                      TableArrayCase{{""},
                                     {"Create", "SetTrace", "SetDBType", "PostProcessSummaryTable",
                                      "SimultaneousActivityTable"}},
                      TableArrayCase{{"", "SUMMARY", "", "EVENTS"},
                                     {"Create", "SetTrace", "SetDBType", "CopyTable SUMMARY",
                                      "CopyTable EVENTS", "PostProcessSummaryTable",
                                      "SimultaneousActivityTable"}}),
    [](const auto& info) {
      std::string name = "Entries";
      for (const std::string& table : info.param.tables) {
        name += "_" + (table.empty() ? "Blank" : table);
      }
      return name;
    });

class CopyResultTest : public LoadSequenceTest,
                       public ::testing::WithParamInterface<std::int16_t> {};

// Any non-zero result is reported; only 2 (no such table on the server) stops the pruning.
TEST_P(CopyResultTest, NonZeroResultIsReportedAndOnlyTwoSkipsPruning) {
  options_.tables = {"OCCUPANCY", "NODES"};
  options_.prune_records = kTrue16;
  script_.Always("CopyTable OCCUPANCY", Returns(GetParam()));

  LoadOutcome outcome = Run();

  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(outcome.text,
            "Copy Table function exception found.\r\n"
            "Could not collect data from table OCCUPANCY.\r\n"
            "Forecasting not activated.\r\n");
  EXPECT_EQ(script_.CallsOf("Prune2Records OCCUPANCY"), GetParam() == 2 ? 0 : 1);
  EXPECT_EQ(script_.CallsOf("Prune2Records NODES"), 1);
}

INSTANTIATE_TEST_SUITE_P(Results, CopyResultTest, ::testing::Values(1, 2, -1),
                         [](const auto& info) {
                           return kelvan::testing::NameFromText(std::to_string(info.param));
                         });

TEST_F(LoadSequenceTest, TableFailingEveryTimeGetsFourAttemptsAndRunStillEndsWell) {
  options_.tables = {"EVENTS", "NODES"};
  options_.prune_records = kTrue16;
  script_.Always("CopyTable EVENTS", Raises());

  LoadOutcome outcome = Run();

  const std::string error =
      "CopyTableErrorHandler <40002> Scripted failure of CopyTable EVENTS "
      "in [Qobra.QbObj.CopyTable]\r\n";
  const std::string retrying = "CopyTableErrorHandler: Retrying CopyTables again.\r\n";
  const std::string block1 = error + retrying + "CopyTableErrorHandler: Retry number 1\r\n\r\n";
  const std::string block2 = error + retrying + "CopyTableErrorHandler: Retry number 2\r\n\r\n";
  const std::string block3 = error + retrying + "CopyTableErrorHandler: Retry number 3\r\n\r\n";
  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(outcome.text, block1 + block2 + block3 + error + "Forecasting not activated.\r\n");
  EXPECT_EQ(script_.CallsOf("CopyTable EVENTS"), 4);
  EXPECT_EQ(script_.CallsOf("Prune2Records EVENTS"), 0);
  EXPECT_EQ(script_.CallsOf("Prune2Records NODES"), 1);
  // Each retry appends the whole text so far, then one CR LF.
  EXPECT_EQ(LogFile(),
            block1 + "\r\n" + block1 + block2 + "\r\n" + block1 + block2 + block3 + "\r\n");
}

TEST_F(LoadSequenceTest, TableRetryAfterCopyDoneRepeatsOnlyThePruning) {
  options_.tables = {"STGPOOLS"};
  options_.prune_records = kTrue16;
  script_.Next("Prune2Records STGPOOLS", {Raises()});

  LoadOutcome outcome = Run();

  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(script_.CallsOf("CopyTable STGPOOLS"), 1);
  EXPECT_EQ(script_.CallsOf("Prune2Records STGPOOLS"), 2);
  EXPECT_THAT(outcome.text, HasSubstr("CopyTableErrorHandler: Retry number 1\r\n\r\n"));
}

engine::OperationCounts Rows(std::int64_t read, std::int64_t added, std::int64_t deleted = 0,
                             std::int64_t pruned = 0, std::int64_t unset = 0) {
  engine::OperationCounts counts;
  counts.rows_read = read;
  counts.rows_added = added;
  counts.rows_deleted = deleted;
  counts.rows_pruned = pruned;
  counts.values_unset = unset;
  return counts;
}

engine::OperationCounts Checked(std::int64_t source, std::int64_t destination) {
  engine::OperationCounts counts;
  counts.count_check =
      engine::CountCheck{"2026-01-01 00:00:00", "2026-01-02 10:00:00", source, destination};
  return counts;
}

// What each table and stage did, summed over its calls and attempts, as the engine counted it.
TEST_F(LoadSequenceTest, RecordSumsEachTableAndStageOverItsCallsAndRetries) {
  options_.tables = {"SUMMARY", "NODES"};
  options_.prune_records = kTrue16;
  options_.load_error_tables = kTrue16;
  testing::Outcome failed_part_way = Raises();
  failed_part_way.counts = Rows(5, 5);
  script_.Next("CopyTable SUMMARY", {failed_part_way, testing::Counts(Rows(7, 7, 2, 0, 1))});
  script_.Always("Prune2Records SUMMARY", testing::Counts(Rows(0, 0, 0, 3)));
  script_.Always("CopyTable NODES", Raises());
  script_.Always("ClientErrors", testing::Counts(Rows(0, 4)));
  script_.Next("ServerErrors", {Raises()});

  Run();

  const std::vector<StepRecord> steps = recorder_.Steps();
  ASSERT_EQ(steps.size(), 4u);
  const std::string summary_error =
      "<40002> Scripted failure of CopyTable SUMMARY in [Qobra.QbObj.CopyTable]";
  EXPECT_EQ(steps[0].name, "ClientErrors");
  EXPECT_EQ(steps[0].counts.rows_added, 4);
  EXPECT_EQ(steps[1].name, "ServerErrors");
  EXPECT_EQ(steps[1].retries, 1);
  EXPECT_FALSE(steps[1].given_up);
  EXPECT_EQ(steps[2].kind, StepRecord::Kind::kTable);
  EXPECT_EQ(steps[2].name, "SUMMARY");
  EXPECT_EQ(steps[2].counts.rows_read, 12);
  EXPECT_EQ(steps[2].counts.rows_added, 12);
  EXPECT_EQ(steps[2].counts.rows_deleted, 2);
  EXPECT_EQ(steps[2].counts.rows_pruned, 3);
  EXPECT_EQ(steps[2].counts.values_unset, 1);
  EXPECT_EQ(steps[2].retries, 1);
  EXPECT_EQ(steps[2].first_error, summary_error);
  EXPECT_FALSE(steps[2].given_up);
  EXPECT_EQ(steps[3].name, "NODES");
  EXPECT_EQ(steps[3].retries, 3);
  EXPECT_TRUE(steps[3].given_up);
}

// The difference follows the copy's own lines in the log file; an equal count writes nothing.
TEST_F(LoadSequenceTest, CountDifferenceIsWrittenToTheLogFile) {
  options_.tables = {"SUMMARY", "EVENTS"};
  options_.check_counts = true;
  script_.Always("CopyTable SUMMARY", testing::Counts(Checked(10, 9)));
  script_.Always("CopyTable EVENTS", testing::Counts(Checked(4, 4)));

  Run();

  EXPECT_TRUE(script_.CountCheck());
  EXPECT_EQ(LogFile(),
            "Count check of SUMMARY for VLT1: the source holds 10 rows from 2026-01-01 00:00:00 to "
            "2026-01-02 10:00:00, the destination 9.\r\n");
}

// The table handler's own log append fails once: the stage handler restarts the copy stage,
// which carries on at the entry it had reached.
struct CopyRestartCase {
  std::string failing;  // raises once
  std::vector<std::string> keys;
};

class CopyRestartTest : public LoadSequenceTest,
                        public ::testing::WithParamInterface<CopyRestartCase> {};

TEST_P(CopyRestartTest, RestartResumesAtTheEntryReached) {
  options_.tables = {"SUMMARY", "EVENTS", "NODES"};
  options_.prune_records = kTrue16;
  script_.Next(GetParam().failing, {Raises()});
  int appends = 0;
  auto append_failing_once = [&](const std::string& path, std::string_view text) {
    if (++appends == 1) throw RaisedError(75, "", "Path/File access error: log");
    AppendToFile(path, text);
  };

  LoadOutcome outcome = Run(append_failing_once);

  EXPECT_TRUE(outcome.completed);
  EXPECT_THAT(script_.Keys(), ElementsAreArray(GetParam().keys));
  const std::string failing = GetParam().failing;
  const std::string operation = failing.substr(0, failing.find(' '));
  EXPECT_EQ(outcome.text, "CopyTableErrorHandler <40002> Scripted failure of " + failing +
                              " in [Qobra.QbObj." + operation + "]\r\n" +
                              "CopyTableErrorHandler: Retrying CopyTables again.\r\n"
                              "CopyTableErrorHandler: Retry number 1\r\n\r\n"
                              "17:04:09:mtELVAN <75> Path/File access error: log in []\r\n"
                              "LocalErr: Retrying CopyTables again.\r\n"
                              "LocalErr: Retry number 1\r\n\r\n"
                              "Forecasting not activated.\r\n");
}

INSTANTIATE_TEST_SUITE_P(
    Entries, CopyRestartTest,
    ::testing::Values(
        CopyRestartCase{"Prune2Records EVENTS",
                        {"Create", "SetTrace", "SetDBType", "CopyTable SUMMARY",
                         "Prune2Records SUMMARY", "CopyTable EVENTS", "Prune2Records EVENTS",
                         "Prune2Records EVENTS", "CopyTable NODES", "Prune2Records NODES"}},
        CopyRestartCase{"CopyTable EVENTS",
                        {"Create", "SetTrace", "SetDBType", "CopyTable SUMMARY",
                         "Prune2Records SUMMARY", "CopyTable EVENTS", "CopyTable EVENTS",
                         "Prune2Records EVENTS", "CopyTable NODES", "Prune2Records NODES"}}),
    [](const auto& info) { return kelvan::testing::NameFromText(info.param.failing); });

// --- Stage retries ----------------------------------------------------------------------------

struct StageFailureCase {
  std::string failing;  // raises every time
  std::string stage;
  std::string first_call;  // the stage's first call, repeated by every restart
};

class StageFailureTest : public LoadSequenceTest,
                         public ::testing::WithParamInterface<StageFailureCase> {};

TEST_P(StageFailureTest, FourthErrorEndsTheCallAndNothingLaterRuns) {
  SwitchEverythingOn();
  options_.forecast_setup_code = 0x0180;
  options_.tables = {"SUMMARY"};
  script_.Always(GetParam().failing, Raises());

  LoadOutcome outcome = Run();

  const std::string& stage = GetParam().stage;
  EXPECT_FALSE(outcome.completed);
  EXPECT_EQ(script_.CallsOf(GetParam().first_call), 4);
  EXPECT_EQ(script_.Keys().back(), GetParam().failing);
  EXPECT_EQ(CountOf(outcome.text, "LocalErr: Retrying " + stage + " again.\r\n"), 3);
  EXPECT_EQ(CountOf(outcome.text, "17:04:09:mtELVAN <40002> Scripted failure of "), 4);
  EXPECT_TRUE(outcome.text.ends_with("LocalErr:  Failed on: " + stage + "\r\n"));
  EXPECT_EQ(script_.EnginesAlive(), 0);
  EXPECT_EQ(CountOf(LogFile(), "LocalErr: Retry number 1\r\n\r\n"), 3);
  EXPECT_EQ(CountOf(LogFile(), "Failed on"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Stages, StageFailureTest,
    ::testing::Values(StageFailureCase{"Create", "CreateObject", "Create"},
                      StageFailureCase{"SetDBType", "CreateObject", "Create"},
                      StageFailureCase{"ClientErrors", "ClientErrors", "ClientErrors"},
                      StageFailureCase{"PruneRecords SERVERERRORS", "ServerErrors", "ServerErrors"},
                      StageFailureCase{"PostProcessSummaryTable", "PostProcessSummaryTable",
                                       "PostProcessSummaryTable"},
                      StageFailureCase{"PruneRecords SIMUL_ACTIVITY", "SimultaneousActivityTable",
                                       "SimultaneousActivityTable"},
                      StageFailureCase{"PruneRecords OCCUPANCY_F", "ForecastCopyTableOCCUPANCY",
                                       "Forecast2CopyTable OCCUPANCY"}),
    [](const auto& info) { return kelvan::testing::NameFromText(info.param.failing); });

TEST_F(LoadSequenceTest, FailedStageTextIsTheResult) {
  options_.load_error_tables = kTrue16;
  script_.Always("ClientErrors", Raises());

  LoadOutcome outcome = Run();

  const std::string error =
      "17:04:09:mtELVAN <40002> Scripted failure of ClientErrors in [Qobra.QbObj.ClientErrors]\r\n";
  const std::string retrying = "LocalErr: Retrying ClientErrors again.\r\n";
  EXPECT_FALSE(outcome.completed);
  EXPECT_EQ(outcome.text, error + retrying + "LocalErr: Retry number 1\r\n\r\n" + error + retrying +
                              "LocalErr: Retry number 2\r\n\r\n" + error + retrying +
                              "LocalErr: Retry number 3\r\n\r\n" + error +
                              "LocalErr:  Failed on: ClientErrors\r\n");
  EXPECT_EQ(script_.EnginesCreated(), 1);
  EXPECT_FALSE(Called("ServerErrors"));
}

TEST_F(LoadSequenceTest, RestartOfCreateObjectMakesANewEngine) {
  script_.Next("SetTrace", {Raises()});

  LoadOutcome outcome = Run();

  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(script_.EnginesCreated(), 2);
  EXPECT_EQ(script_.EnginesAlive(), 0);
  EXPECT_THAT(script_.Keys(), ElementsAre("Create", "SetTrace", "Create", "SetTrace", "SetDBType"));
}

TEST_F(LoadSequenceTest, RestartedStgpoolsForecastHandsFurtherErrorsToLibvolumes) {
  options_.activate_forecasting = kTrue16;
  options_.forecast_setup_code = 0x0108;  // STGPOOLS only
  script_.Always("Forecast2CopyTable STGPOOLS", Raises());

  LoadOutcome outcome = Run();

  const std::string error =
      "17:04:09:mtELVAN <40002> Scripted failure of Forecast2CopyTable STGPOOLS "
      "in [Qobra.QbObj.Forecast2CopyTable]\r\n";
  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(script_.CallsOf("Forecast2CopyTable STGPOOLS"), 2);
  EXPECT_EQ(outcome.text, error +
                              "LocalErr: Retrying ForecastCopyTableSTGPOOLS again.\r\n"
                              "LocalErr: Retry number 1\r\n\r\n" +
                              error +
                              "LocalErr: Retrying ForecastCopyTableLIBVOLUMES again.\r\n"
                              "LocalErr: Retry number 2\r\n\r\n");
}

TEST_F(LoadSequenceTest, LibvolumesStageKeepsTheCountItTookOver) {
  options_.activate_forecasting = kTrue16;
  options_.forecast_setup_code = 0x0118;  // STGPOOLS and LIBVOLUMES
  script_.Always("Forecast2CopyTable STGPOOLS", Raises());
  script_.Always("Forecast2CopyTable LIBVOLUMES", Raises());

  LoadOutcome outcome = Run();

  EXPECT_FALSE(outcome.completed);
  EXPECT_THAT(script_.Keys(),
              ElementsAre("Create", "SetTrace", "SetDBType", "Forecast2CopyTable STGPOOLS",
                          "Forecast2CopyTable STGPOOLS", "Forecast2CopyTable LIBVOLUMES",
                          "Forecast2CopyTable LIBVOLUMES"));
  EXPECT_TRUE(outcome.text.ends_with("LocalErr:  Failed on: ForecastCopyTableLIBVOLUMES\r\n"));
}

TEST_F(LoadSequenceTest, StgpoolsSucceedingOnRestartGoesOnInOrder) {
  options_.activate_forecasting = kTrue16;
  options_.forecast_setup_code = 0x0138;  // STGPOOLS, LIBVOLUMES, NODES
  script_.Next("Forecast2CopyTable STGPOOLS", {Raises()});
  script_.Next("Forecast2CopyTable NODES", {Raises(), Raises(), Raises()});

  LoadOutcome outcome = Run();

  // The NODES stage starts its own count: three restarts are still allowed.
  EXPECT_TRUE(outcome.completed);
  EXPECT_THAT(script_.Keys(),
              ElementsAre("Create", "SetTrace", "SetDBType", "Forecast2CopyTable STGPOOLS",
                          "Forecast2CopyTable STGPOOLS", "Forecast2CopyTable LIBVOLUMES",
                          "Forecast2CopyTable NODES", "Forecast2CopyTable NODES",
                          "Forecast2CopyTable NODES", "Forecast2CopyTable NODES"));
}

// --- Switches ---------------------------------------------------------------------------------

TEST_F(LoadSequenceTest, FlagsOtherThanMinusOneCountAsFalse) {
  options_.tables = {"SUMMARY"};
  options_.prune_records = 1;
  options_.load_error_tables = 1;
  options_.generate_summary_hour = 1;
  options_.generate_simul_activity = 1;
  options_.activate_forecasting = 1;
  options_.forecast_setup_code = 0x01FF;

  LoadOutcome outcome = Run();

  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(outcome.text, "Forecasting not activated.\r\n");
  EXPECT_THAT(script_.Keys(), ElementsAre("Create", "SetTrace", "SetDBType", "CopyTable SUMMARY"));
}

struct SwitchCase {
  std::string name;
  std::function<void(LoadOptions&)> change;
  std::vector<std::string> absent;  // calls that must not be made
  std::string text;
};

class SwitchTest : public LoadSequenceTest, public ::testing::WithParamInterface<SwitchCase> {};

TEST_P(SwitchTest, SwitchedOffStagesMakeNoCalls) {
  SwitchEverythingOn();
  options_.tables = {"SUMMARY"};
  GetParam().change(options_);

  LoadOutcome outcome = Run();

  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(outcome.text, GetParam().text);
  for (const auto& key : GetParam().absent) EXPECT_FALSE(Called(key)) << key;
  EXPECT_TRUE(Called("CopyTable SUMMARY"));
}

INSTANTIATE_TEST_SUITE_P(
    Switches, SwitchTest,
    ::testing::Values(SwitchCase{"NoErrorTables",
                                 [](LoadOptions& o) { o.load_error_tables = kFalse16; },
                                 {"ClientErrors", "ServerErrors", "PruneRecords CLIENTERRORS",
                                  "PruneRecords SERVERERRORS"},
                                 ""},
                      SwitchCase{"NoPruning",
                                 [](LoadOptions& o) { o.prune_records = kFalse16; },
                                 {"PruneRecords", "Prune2Records"},
                                 ""},
                      SwitchCase{"ForecastingOff",
                                 [](LoadOptions& o) { o.activate_forecasting = kFalse16; },
                                 {"Forecast2CopyTable", "PruneRecords DB_F"},
                                 "Forecasting not activated.\r\n"},
                      SwitchCase{"NoMasterBit",
                                 [](LoadOptions& o) { o.forecast_setup_code = 0x00FF; },
                                 {"Forecast2CopyTable", "PruneRecords DB_F"},
                                 ""},
                      SwitchCase{"MasterBitAlone",
                                 [](LoadOptions& o) { o.forecast_setup_code = 0x0100; },
                                 {"Forecast2CopyTable", "PruneRecords DB_F"},
                                 ""},
                      SwitchCase{"NoPostProcessing",
                                 [](LoadOptions& o) {
                                   o.generate_summary_hour = kFalse16;
                                   o.generate_simul_activity = kFalse16;
                                 },
                                 {"PostProcessSummaryTable", "SimultaneousActivityTable",
                                  "PruneRecords SUMMARYHOUR", "PruneRecords SIMUL_ACTIVITY"},
                                 ""}),
    [](const auto& info) { return info.param.name; });

// --- What reaches the engine ------------------------------------------------------------------

TEST_F(LoadSequenceTest, EveryStageCallsTheEngineWithItsArguments) {
  SwitchEverythingOn();
  options_.tables = {"SUMMARY"};

  LoadOutcome outcome = Run();

  ASSERT_TRUE(outcome.completed);
  EXPECT_EQ(outcome.text, "");
  const std::string src = "VLT1,DSN=VLT1;UID=admin;PWD=secret,";
  const std::string prune = "PruneRecords(30," + src;
  const std::string tail = ",REPORTS,EXTRACT_DATE,500)";
  EXPECT_THAT(
      script_.Calls(),
      ElementsAre(
          "Create()", "SetTrace(2," + options_.log_file_name + ")", "SetDBType(QDB)",
          "ClientErrors(" + src + "REPORTS,(SEVERITY = 'E'))",
          prune + "CLIENTERRORS,REPORTS,DATE_TIME,500)",
          "ServerErrors(" + src + "REPORTS,(SEVERITY = 'E'))",
          prune + "SERVERERRORS,REPORTS,DATE_TIME,500)",
          "CopyTable(" + src + "SUMMARY,REPORTS,-1,2024-03-05 17:04:09)",
          "Prune2Records(30," + src + "SUMMARY" + tail, "PostProcessSummaryTable(VLT1,REPORTS)",
          prune + "SUMMARYHOUR" + tail,
          "SimultaneousActivityTable(VLT1,REPORTS,2024-03-05 17:04:09)",
          prune + "SIMUL_ACTIVITY" + tail,
          "Forecast2CopyTable({EXTRACT_DATE},{AVAIL_SPACE_MB,CAPACITY_MB,MAX_EXTENSION_MB,"
          "MAX_REDUCTION_MB,PCT_UTILIZED,MAX_PCT_UTILIZED,PHYSICAL_VOLUMES,CACHE_HIT_PCT,"
          "CACHE_WAIT_PCT},{EXTRACT_DATE},{DAYS_TO_FORECAST},VLT1,DB,7,14,REPORTS)",
          prune + "DB_F" + tail,
          "Forecast2CopyTable({NODE_NAME,FILESPACE_NAME,EXTRACT_DATE},{CAPACITY,PCT_UTIL},"
          "{NODE_NAME,FILESPACE_NAME,EXTRACT_DATE},{NODE_NAME,FILESPACE_NAME,DAYS_TO_FORECAST},"
          "VLT1,FILESPACES,7,14,REPORTS)",
          prune + "FILESPACES_F" + tail,
          "Forecast2CopyTable({EXTRACT_DATE},{AVAIL_SPACE_MB,CAPACITY_MB,MAX_EXTENSION_MB,"
          "MAX_REDUCTION_MB,PCT_UTILIZED,MAX_PCT_UTILIZED,PHYSICAL_VOLUMES},{EXTRACT_DATE},"
          "{DAYS_TO_FORECAST},VLT1,LOG,7,14,REPORTS)",
          prune + "LOG_F" + tail,
          "Forecast2CopyTable({STGPOOL_NAME,EXTRACT_DATE},{EST_CAPACITY_MB,PCT_UTILIZED,"
          "PCT_MIGR,PCT_LOGICAL,MAXSCRATCH,MIGR_MB,MIGR_SECONDS},{STGPOOL_NAME,EXTRACT_DATE},"
          "{STGPOOL_NAME,DAYS_TO_FORECAST},VLT1,STGPOOLS,7,14,REPORTS)",
          prune + "STGPOOLS_F" + tail,
          "Forecast2CopyTable({LIBRARY_NAME,STATUS,EXTRACT_DATE},{VOLCOUNT},"
          "{LIBRARY_NAME,STATUS,EXTRACT_DATE},{LIBRARY_NAME,STATUS,DAYS_TO_FORECAST},"
          "VLT1,LIBVOLUMES,7,14,REPORTS)",
          prune + "LIBVOLUMES_F" + tail,
          "Forecast2CopyTable({EXTRACT_DATE},{NODE_COUNT},{EXTRACT_DATE},{DAYS_TO_FORECAST},"
          "VLT1,NODES,7,14,REPORTS)",
          prune + "NODES_F" + tail,
          "Forecast2CopyTable({EXTRACT_DATE},{TM_COUNT},{EXTRACT_DATE},{DAYS_TO_FORECAST},"
          "VLT1,SIMUL_ACTIVITY,7,14,REPORTS)",
          prune + "SIMUL_ACTIVITY_F" + tail,
          "Forecast2CopyTable({NODE_NAME,TYPE,FILESPACE_NAME,STGPOOL_NAME,EXTRACT_DATE},"
          "{LOGICAL_MB,PHYSICAL_MB,NUM_FILES},{NODE_NAME,TYPE,FILESPACE_NAME,STGPOOL_NAME,"
          "EXTRACT_DATE},{DAYS_TO_FORECAST,NODE_NAME,TYPE,FILESPACE_NAME,STGPOOL_NAME},"
          "VLT1,OCCUPANCY,7,14,REPORTS)",
          prune + "OCCUPANCY_F" + tail));
  EXPECT_EQ(script_.EnginesAlive(), 0);
}

TEST_F(LoadSequenceTest, NonZeroResultsAreReportedAndTheSequenceGoesOn) {
  SwitchEverythingOn();
  options_.forecast_setup_code = 0x0101;
  options_.tables = {"SUMMARY"};
  for (const char* key :
       {"ClientErrors", "PruneRecords CLIENTERRORS", "ServerErrors", "PruneRecords SERVERERRORS",
        "CopyTable SUMMARY", "Prune2Records SUMMARY", "PostProcessSummaryTable",
        "PruneRecords SUMMARYHOUR", "SimultaneousActivityTable", "PruneRecords SIMUL_ACTIVITY",
        "Forecast2CopyTable DB", "PruneRecords DB_F"}) {
    script_.Always(key, Returns(1));
  }

  LoadOutcome outcome = Run();

  EXPECT_TRUE(outcome.completed);
  EXPECT_EQ(outcome.text,
            "Client Error Exception Found\r\n"
            "Error pruning ClientErrors Table\r\n"
            "Server Error Exception Found\r\n"
            "Error pruning ServerErrors Table\r\n"
            "Copy Table function exception found.\r\n"
            "Could not collect data from table SUMMARY.\r\n"
            "Error pruning SUMMARY Table\r\n"
            "Error post processing summary data.\r\n"
            "Error pruning SUMMARYHOUR Table\r\n"
            "Error post processing summary data.\r\n"
            "Error pruning SIMUL_ACTIVITY Table\r\n"
            "Error forecasting DB_F data.\r\n"
            "Error pruning DB_F Table\r\n");
}

TEST_F(LoadSequenceTest, SettledBatchSizeIsWhatLaterPruningCallsAndTheCallerSee) {
  options_.load_error_tables = kTrue16;
  options_.prune_records = kTrue16;
  options_.tables = {"NODES"};
  batch_ = 0;
  script_.SettleBatchTo(1000);
  // The first prune fails after settling: the settled value is kept all the same.
  script_.Next("PruneRecords CLIENTERRORS", {Raises()});

  LoadOutcome outcome = Run();

  EXPECT_TRUE(outcome.completed);
  std::vector<std::string> batches;
  for (const auto& call : script_.Calls()) {
    if (call.starts_with("Prune")) batches.push_back(call.substr(call.rfind(',') + 1));
  }
  EXPECT_THAT(batches, ElementsAre("0)", "1000)", "1000)", "1000)"));
  EXPECT_EQ(batch_, 1000);
}

// A check that says stop before a stage or table ends the load there: no later call is made.
TEST_F(LoadSequenceTest, StageCheckThatSaysStopEndsTheLoadBeforeThatStep) {
  SwitchEverythingOn();
  options_.tables = {"SUMMARY", "NODES"};
  int asked = 0;
  LoadSequence sequence("VLT1", "DSN=VLT1;UID=admin;PWD=secret", destination_, options_, batch_,
                        AppendToFile, recorder_);
  sequence.SetStageCheck([&]() -> std::optional<std::string> {
    if (++asked < 4) return std::nullopt;  // ClientErrors, ServerErrors, SUMMARY go on
    return "claim gone";
  });

  const LoadOutcome outcome = sequence.Run();
  odbc::ResumeWork(odbc::CurrentWorkKey());

  EXPECT_EQ(asked, 4);
  EXPECT_TRUE(Called("CopyTable SUMMARY"));
  EXPECT_FALSE(Called("CopyTable NODES"));
  EXPECT_FALSE(Called("PostProcessSummaryTable"));
  EXPECT_FALSE(outcome.completed);
  EXPECT_THAT(outcome.given_up, HasSubstr("claim gone"));
}

TEST_F(LoadSequenceTest, PasswordsNeverReachTheText) {
  SwitchEverythingOn();
  options_.tables = {"SUMMARY"};
  for (const char* key : {"ClientErrors", "CopyTable SUMMARY", "Forecast2CopyTable DB"}) {
    script_.Always(key, Raises());
  }

  LoadOutcome outcome = Run();

  EXPECT_THAT(outcome.text, ::testing::Not(HasSubstr("secret")));
  EXPECT_THAT(LogFile(), ::testing::Not(HasSubstr("secret")));
}

}  // namespace
}  // namespace kelvan::worker
