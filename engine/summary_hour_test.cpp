#include "engine/summary_hour.h"

#include <gtest/gtest.h>

#include <numeric>
#include <sstream>

#include "engine/qb_obj.h"
#include "engine/summary_tables_test_support.h"
#include "engine/tool/qobra_cli.h"
#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"

namespace kelvan::engine::testing {
namespace {

using kelvan::testing::DestinationName;
using kelvan::testing::QueryWithClient;

Timestamp At(const char* text) { return *ParseTimestampText(text); }

struct SliceCase {
  const char* name;
  const char* start;
  const char* end;
  std::vector<HourSlice> expected;
};

class SliceIntoHoursTest : public ::testing::TestWithParam<SliceCase> {};

TEST_P(SliceIntoHoursTest, SlicesAsWorkedOutByHand) {
  EXPECT_EQ(SliceIntoHours(At(GetParam().start), At(GetParam().end)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Activities, SliceIntoHoursTest,
    ::testing::Values(
        SliceCase{"EndsOnTheHour",
                  "2026-12-05 10:30:00",
                  "2026-12-05 12:00:00",
                  {{"2026-12-05", 10, 1800}, {"2026-12-05", 11, 3600}}},
        SliceCase{
            "NoDuration", "2026-12-05 10:15:00", "2026-12-05 10:15:00", {{"2026-12-05", 10, 1}}},
        SliceCase{"WithinOneHour",
                  "2026-12-05 10:20:30",
                  "2026-12-05 10:50:00",
                  {{"2026-12-05", 10, 1770}}},
        SliceCase{
            "WholeHour", "2026-12-05 10:00:00", "2026-12-05 11:00:00", {{"2026-12-05", 10, 3600}}},
        SliceCase{"TwoSecondsAcrossTheHour",
                  "2026-12-05 09:59:59",
                  "2026-12-05 10:00:01",
                  {{"2026-12-05", 9, 1}, {"2026-12-05", 10, 1}}},
        SliceCase{"OverMidnight",
                  "2026-12-05 23:30:00",
                  "2026-12-06 00:30:00",
                  {{"2026-12-05", 23, 1800}, {"2026-12-06", 0, 1800}}},
        SliceCase{"OverTheYearEnd",
                  "2026-12-31 23:00:00",
                  "2027-01-01 01:00:00",
                  {{"2026-12-31", 23, 3600}, {"2027-01-01", 0, 3600}}},
        SliceCase{"EndBeforeStart", "2026-12-05 10:30:00", "2026-12-05 10:15:00", {}}),
    [](const auto& info) { return std::string(info.param.name); });

int TotalSeconds(const std::vector<HourSlice>& slices) {
  return std::accumulate(slices.begin(), slices.end(), 0,
                         [](int sum, const HourSlice& s) { return sum + s.seconds; });
}

TEST(SliceIntoHours, ActivitiesOfMoreThanADay) {
  // 10:30 to 12:00 the next day: 1800 s, then hours 11-23 and 0-11 of 3600 s (25 of them).
  std::vector<HourSlice> slices =
      SliceIntoHours(At("2026-12-04 10:30:00"), At("2026-12-05 12:00:00"));
  ASSERT_EQ(slices.size(), 26u);
  EXPECT_EQ(slices.front(), (HourSlice{"2026-12-04", 10, 1800}));
  EXPECT_EQ(slices[14], (HourSlice{"2026-12-05", 0, 3600}));
  EXPECT_EQ(slices.back(), (HourSlice{"2026-12-05", 11, 3600}));
  EXPECT_EQ(TotalSeconds(slices), 91800);

  // Ending in the clock hour it started in, a day later: the start hour's rule gives the last
  // hour 3600 s, not the 2700 s it holds.
  slices = SliceIntoHours(At("2026-12-04 10:30:00"), At("2026-12-05 10:45:00"));
  ASSERT_EQ(slices.size(), 25u);
  EXPECT_EQ(slices.back(), (HourSlice{"2026-12-05", 10, 3600}));
  EXPECT_EQ(TotalSeconds(slices), 1800 + 24 * 3600);
}

TEST(SecondsBetween, CountsAcrossDaysAndMonths) {
  EXPECT_EQ(SecondsBetween(At("2026-12-05 10:30:00"), At("2026-12-05 12:00:00")), 5400);
  EXPECT_EQ(SecondsBetween(At("2026-11-30 23:59:59"), At("2026-12-01 00:00:01")), 2);
  EXPECT_EQ(SecondsBetween(At("2026-12-05 12:00:00"), At("2026-12-05 10:30:00")), -5400);
}

constexpr const char* kServer = "VLT'1";
constexpr const char* kNow = "2026-12-06 10:00:00";  // yesterday at midnight: 2026-12-05 00:00:00

// Columns: EXT_SERVER_NAME, EXTRACT_DATE, PSEUDO_INDEX, START_TIME, END_TIME, ACTIVITY, NUMBER_X,
// ENTITY, COMMMETH, ADDRESS, BYTES. NUMBER_X names the activity in the checks.
constexpr const char* kActivities =
    "INSERT INTO SUMMARY (EXT_SERVER_NAME, EXTRACT_DATE, PSEUDO_INDEX, START_TIME, END_TIME,"
    " ACTIVITY, NUMBER_X, ENTITY, COMMMETH, ADDRESS, BYTES) VALUES"
    " ('VLT''1', '2026-12-05 00:00:00', 2, '2026-12-05 10:30:00', '2026-12-05 12:00:00',"
    "  'BACKUP', 1, 'NODE_A', 'Tcp/Ip', '10.0.0.1:1500', 5400),"
    " ('VLT''1', '2026-12-05 00:00:00', 3, '2026-12-05 10:15:00', '2026-12-05 10:15:00',"
    "  'BACKUP', 2, 'NODE''B', 'Tcp/Ip', '10.0.0.2:1500', 700),"
    " ('VLT''1', '2026-12-06 00:00:00', 2, '2026-12-05 23:30:00', '2026-12-06 00:30:00',"
    "  'ARCHIVE', 3, 'NODE_C', 'ShMem', NULL, 3600),"
    " ('VLT''1', '2026-12-05 00:00:00', 4, '2026-12-04 10:30:00', '2026-12-05 12:00:00',"
    "  'BACKUP', 4, 'NODE_D', 'Tcp/Ip', NULL, 91800),"
    " ('VLT''1', '2026-12-05 00:00:00', 5, '2026-12-04 10:30:00', '2026-12-05 10:45:00',"
    "  'BACKUP', 5, 'NODE_E', 'Tcp/Ip', NULL, 174600),"
    " ('VLT''1', '2026-12-05 00:00:00', 6, '2026-12-05 10:00:00', '2026-12-05 11:00:00',"
    "  'BACKUP', 6, 'NODE_F', 'Tcp/Ip', NULL, 0),"
    " ('VLT''1', '2026-12-05 00:00:00', 7, '2026-12-05 10:00:00', '2026-12-05 11:00:00',"
    "  'BACKUP', 7, 'NODE_G', 'Tcp/Ip', NULL, NULL),"
    " ('VLT''1', '2026-12-05 00:00:00', 8, NULL, '2026-12-05 11:00:00',"
    "  'BACKUP', 8, 'NODE_H', 'Tcp/Ip', NULL, 100),"
    " ('VLT''1', '2026-12-05 00:00:00', 9, '2026-12-05 10:00:00', NULL,"
    "  'BACKUP', 9, 'NODE_I', 'Tcp/Ip', NULL, 100),"
    " ('VLT''1', '2026-12-04 00:00:00', 2, '2026-12-04 08:00:00', '2026-12-04 09:00:00',"
    "  'BACKUP', 10, 'NODE_J', 'Tcp/Ip', NULL, 100),"
    " ('OTHER', '2026-12-05 00:00:00', 2, '2026-12-05 10:00:00', '2026-12-05 11:00:00',"
    "  'BACKUP', 20, 'NODE_K', 'Tcp/Ip', NULL, 100);";

class PostProcessSummaryTableTest : public ::testing::TestWithParam<Destination> {
 protected:
  void SetUp() override {
    engine_.SetTrace(3, trace_.string());
    engine_.SetDBType("Unknown");
  }

  void UseDatabase(const ScratchDatabase& db) {
    db_ = db;
    record_ = std::make_unique<TestRecord>(db_.dsn, db_.uid, db_.pwd);
  }
  std::int16_t Run() { return engine_.PostProcessSummaryTable(kServer, *record_); }
  long long Number(const std::string& sql) { return QueryNumber(db_, sql); }
  long long Rows(const std::string& condition) {
    return Number("SELECT COUNT(*) FROM SUMMARYHOUR WHERE " + condition);
  }
  std::string Query(const std::string& sql) { return QueryWithClient(db_, sql); }

  FixedClock clock_{*ParseTimestampText(kNow)};
  ScopedClock scoped_clock_{clock_};
  ScratchDatabase db_;
  std::unique_ptr<TestRecord> record_;
  std::filesystem::path trace_ =
      kelvan::testing::OdbcSandbox::Instance().MakeTempDir("hourtrace") / "run.htm";
  QbObj engine_;
};

class SummaryHourWorkedExamples : public PostProcessSummaryTableTest {
 protected:
  void SetUp() override {
    PostProcessSummaryTableTest::SetUp();
    UseDatabase(EmptiedSchemaDatabase(GetParam()));
    ExecuteOnDestination(db_, kActivities);
  }
};

TEST_P(SummaryHourWorkedExamples, SlicesActivitiesEndedSinceYesterday) {
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(Query("SELECT NUMBER_X, DATE_VALUE, HOUR_VALUE, ELAPSED_TIME FROM SUMMARYHOUR"
                  " WHERE NUMBER_X <= 3 ORDER BY NUMBER_X, DATE_VALUE, HOUR_VALUE"),
            "1\t2026-12-05\t10\t1800\n"
            "1\t2026-12-05\t11\t3600\n"
            "2\t2026-12-05\t10\t1\n"
            "3\t2026-12-05\t23\t1800\n"
            "3\t2026-12-06\t0\t1800\n");
  // 5400 bytes over 5400 s and 3600 over 3600 s: one byte a second; no duration: all 700.
  EXPECT_EQ(Rows("NUMBER_X IN (1, 3) AND BYTES = ELAPSED_TIME"), 4);
  EXPECT_EQ(Number("SELECT SUM(BYTES) FROM SUMMARYHOUR WHERE NUMBER_X = 2"), 700);
  // 10:30 to 12:00 the next day, 91800 bytes over 91800 s: 26 slices, none at hour 12.
  EXPECT_EQ(Rows("NUMBER_X = 4"), 26);
  EXPECT_EQ(Number("SELECT SUM(ELAPSED_TIME) FROM SUMMARYHOUR WHERE NUMBER_X = 4"), 91800);
  EXPECT_EQ(Rows("NUMBER_X = 4 AND BYTES = ELAPSED_TIME"), 26);
  EXPECT_EQ(Rows("NUMBER_X = 4 AND DATE_VALUE = '2026-12-05' AND HOUR_VALUE = 12"), 0);
  // 10:30 to 10:45 the next day, 174600 bytes over 87300 s (2 a second): the last hour 3600 s.
  EXPECT_EQ(Rows("NUMBER_X = 5"), 25);
  EXPECT_EQ(Rows("NUMBER_X = 5 AND DATE_VALUE = '2026-12-05' AND HOUR_VALUE = 10 AND"
                 " ELAPSED_TIME = 3600 AND BYTES = 7200"),
            1);
  // Zero or null bytes, null times, ended before yesterday, another server: nothing.
  EXPECT_EQ(Rows("NUMBER_X >= 6"), 0);
  EXPECT_EQ(Rows("1 = 1"), 2 + 1 + 2 + 26 + 25);
  EXPECT_EQ(Number("SELECT COUNT(DISTINCT PSEUDO_INDEX) FROM SUMMARYHOUR"), 56);
  EXPECT_EQ(Number("SELECT MIN(PSEUDO_INDEX) FROM SUMMARYHOUR"), 2);
  EXPECT_EQ(Number("SELECT MAX(PSEUDO_INDEX) FROM SUMMARYHOUR"), 57);
}

// More activities than the adding result set writes in one statement: the activities are still
// being read while the first slices are written and committed.
TEST_P(SummaryHourWorkedExamples, EveryActivityIsSlicedWhenTheSlicesSpanManyBatches) {
  const std::string numbers =
      "RECURSIVE n(i) AS (SELECT 100 UNION ALL SELECT i + 1 FROM n WHERE i < 3599) ";
  const std::string insert =
      "INSERT INTO SUMMARY (EXT_SERVER_NAME, EXTRACT_DATE, PSEUDO_INDEX, START_TIME, END_TIME,"
      " ACTIVITY, NUMBER_X, ENTITY, BYTES) ";
  const std::string select =
      "SELECT 'VLT''1', '2026-12-05 00:00:00', i, '2026-12-05 10:00:00', '2026-12-05 10:30:00',"
      " 'BACKUP', i, 'NODE', 1800 FROM n";
  std::string sql = GetParam() == Destination::kSqlite ? "WITH " + numbers + insert + select
                                                       : insert + "WITH " + numbers + select;
  if (GetParam() == Destination::kMariaDb) sql = "SET max_recursive_iterations = 5000; " + sql;
  ExecuteOnDestination(db_, sql);
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(Rows("NUMBER_X >= 100"), 3500);
  EXPECT_EQ(Rows("1 = 1"), 3500 + 2 + 1 + 2 + 26 + 25);
}

TEST_P(SummaryHourWorkedExamples, SlicesCarryTheActivitysColumns) {
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(Query("SELECT EXT_SERVER_NAME, EXTRACT_DATE, ACTIVITY, ENTITY, COMMMETH, ADDRESS,"
                  " END_TIME FROM SUMMARYHOUR WHERE NUMBER_X = 2"),
            "VLT'1\t2026-12-05 00:00:00\tBACKUP\tNODE'B\tTcp/Ip\t10.0.0.2:1500\t"
            "2026-12-05 10:15:00\n");
  // Every slice keeps the end of the whole activity.
  EXPECT_EQ(Rows("NUMBER_X = 3 AND END_TIME = '2026-12-06 00:30:00' AND"
                 " EXTRACT_DATE = '2026-12-06 00:00:00' AND ADDRESS IS NULL"),
            2);
}

TEST_P(SummaryHourWorkedExamples, RunningAgainRedoesTheLatestEndAndAddsWhatIsNew) {
  const std::string content =
      "SELECT NUMBER_X, DATE_VALUE, HOUR_VALUE, ELAPSED_TIME, BYTES, END_TIME FROM SUMMARYHOUR"
      " ORDER BY NUMBER_X, DATE_VALUE, HOUR_VALUE";
  ASSERT_EQ(Run(), 0);
  std::string first = Query(content);
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(Query(content), first);
  // The latest end summarised is 2026-12-06 00:30:00: its two slices are redone.
  std::string trace = ReadFile(trace_);
  EXPECT_NE(trace.find("\r\nLast date = 2026-12-06 00:30:00\r\nChecking to see if there are "
                       "records to delete: SELECT count(*) as TOTAL_COUNT from SUMMARYHOUR where "
                       "EXT_SERVER_NAME = 'VLT''1' and END_TIME >= '2026-12-06 00:30:00'\r\n"),
            std::string::npos);
  EXPECT_NE(trace.find("\r\nFound 2 rows to delete.\r\n"), std::string::npos);
  EXPECT_NE(trace.find("\r\nDeleted 2 rows from the table.\r\n"), std::string::npos);
  EXPECT_NE(trace.find("\r\nAdded 2 rows to PostProcessingSummary Table (10:00:00)\r\n"),
            std::string::npos);

  ExecuteOnDestination(db_,
                       "INSERT INTO SUMMARY (EXT_SERVER_NAME, START_TIME, END_TIME, NUMBER_X,"
                       " BYTES) VALUES ('VLT''1', '2026-12-06 08:00:00', '2026-12-06 09:00:00',"
                       " 11, 3600)");
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(Rows("1 = 1"), 56 + 1);
  EXPECT_EQ(Rows("NUMBER_X = 11 AND HOUR_VALUE = 8 AND ELAPSED_TIME = 3600"), 1);
}

TEST_P(SummaryHourWorkedExamples, TraceAtLevelThree) {
  ExecuteOnDestination(db_, "DELETE FROM SUMMARY WHERE NUMBER_X <> 1");
  ASSERT_EQ(Run(), 0);
  const std::string where =
      " where EXT_SERVER_NAME = 'VLT''1' and END_TIME >= '2026-12-05 00:00:00'";
  std::vector<std::string> expected = {
      "===Entering Function PostProcessSummaryTable Start Time = 36000",
      "Server Name = VLT'1",
      "Table Name = SUMMARYHOUR",
      "Data Source = " + db_.dsn,
      "Connection established to DSN=" + db_.dsn + ";UID=" + db_.uid,
      "Running the following query: SELECT max(END_TIME) as LAST_DATE from SUMMARYHOUR where "
      "EXT_SERVER_NAME = 'VLT''1'",
      "Last date = 2026-12-05 00:00:00",
      "Checking to see if there are records to delete: SELECT count(*) as TOTAL_COUNT from "
      "SUMMARYHOUR" +
          where,
      "Result set successfully opened on SUMMARYHOUR table.",
      "Found 0 rows to delete.",
      "Running the following query: SELECT * from SUMMARY" + where + " order by END_TIME",
      "Result set successfully opened on SUMMARY table.",
      "Running the following query: SELECT * from SUMMARYHOUR" + where,
      "Open connection successful.",
      "ENDTIME: 2026-12-05 12:00:00",
      "ENDTIME: 2026-12-05 12:00:00",
      "",
      "Added 2 rows to PostProcessingSummary Table (10:00:00)",
      "Exiting Function PostProcessSummaryTable. Time:> 0"};
  EXPECT_EQ(ReadLines(trace_), expected);
}

TEST_P(SummaryHourWorkedExamples, RunsFromTheCommandLine) {
  std::ostringstream out, err;
  EXPECT_EQ(RunQobra({"summary-hour", "--server", kServer, "--dest-dsn", db_.dsn, "--dest-uid",
                      db_.uid, "--dest-pwd", db_.pwd},
                     out, err),
            0)
      << err.str();
  EXPECT_EQ(out.str(), "PostProcessSummaryTable: result 0\n");
  EXPECT_EQ(Rows("1 = 1"), 56);
}

INSTANTIATE_TEST_SUITE_P(Destinations, SummaryHourWorkedExamples,
                         ::testing::Values(Destination::kSqlite, Destination::kPostgres,
                                           Destination::kMariaDb),
                         [](const auto& info) { return DestinationName(info.param); });

class SummaryHourFailure : public PostProcessSummaryTableTest {};

TEST_P(SummaryHourFailure, MissingTableIsRaisedUnderTheOperationsName) {
  UseDatabase(FreshSchemaDatabase(GetParam()));
  ExecuteOnDestination(db_, "DROP TABLE SUMMARYHOUR");
  const std::string password = db_.pwd.empty() ? "no password" : db_.pwd;
  try {
    Run();
    FAIL() << "nothing raised";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.Source().rfind("Qobra.QbObj.PostProcessSummaryTable:", 0), 0u) << e.Source();
    EXPECT_EQ(e.Description().rfind("Error copying data.:\r\n", 0), 0u) << e.Description();
    EXPECT_EQ(e.Description().find(password), std::string::npos);
  }
  std::string trace = ReadFile(trace_);
  EXPECT_NE(trace.find("\r\nError in PostProcessSummaryTable: ["), std::string::npos);
  EXPECT_NE(trace.find("\r\nPrevious message = Running the following query: SELECT max(END_TIME)"
                       " as LAST_DATE from SUMMARYHOUR where EXT_SERVER_NAME = 'VLT''1'\r\n"),
            std::string::npos);
  EXPECT_EQ(trace.find(password), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Destinations, SummaryHourFailure,
                         ::testing::Values(Destination::kSqlite, Destination::kPostgres),
                         [](const auto& info) { return DestinationName(info.param); });

}  // namespace
}  // namespace kelvan::engine::testing
