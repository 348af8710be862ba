#include <gtest/gtest.h>

#include <sstream>

#include "engine/qb_obj.h"
#include "engine/summary_tables_test_support.h"
#include "engine/tool/qobra_cli.h"
#include "platform/basic/clock.h"

namespace kelvan::engine::testing {
namespace {

using kelvan::testing::DestinationName;
using kelvan::testing::QueryWithClient;

constexpr const char* kServer = "VLT'1";  // a quote, so every SQL text must double it
constexpr const char* kRollup = "2026-12-06 14:22:10";
constexpr const char* kSummaryColumns =
    "INSERT INTO SUMMARY (EXT_SERVER_NAME, EXTRACT_DATE, PSEUDO_INDEX, START_TIME, END_TIME,"
    " ACTIVITY, ENTITY, COMMMETH, LIBRARY_NAME, LAST_USE) VALUES ";
constexpr const char* kWritten =
    "SELECT PSEUDO_INDEX, ACTIVITY, ENTITY, SUBACTIVITY, START_STOP, ACTIVITY_TIME,"
    " ACTIVITY_COUNT FROM SIMUL_ACTIVITY ORDER BY PSEUDO_INDEX";

class SimultaneousActivityTableTest : public ::testing::TestWithParam<Destination> {
 protected:
  void SetUp() override {
    UseDatabase(EmptiedSchemaDatabase(GetParam()));
    engine_.SetTrace(3, trace_.string());
    engine_.SetDBType("Unknown");
  }

  void UseDatabase(const ScratchDatabase& db) {
    db_ = db;
    record_ = std::make_unique<TestRecord>(db_.dsn, db_.uid, db_.pwd);
  }
  void AddSummaryRows(const std::string& values) {
    ExecuteOnDestination(db_, kSummaryColumns + values);
  }
  std::int16_t Run(const std::string& rollup = kRollup) {
    return engine_.SimultaneousActivityTable(kServer, *record_, rollup);
  }
  long long Rows(const std::string& condition) {
    return QueryNumber(db_, "SELECT COUNT(*) FROM SIMUL_ACTIVITY WHERE " + condition);
  }
  std::string Query(const std::string& sql) { return QueryWithClient(db_, sql); }
  bool Traced(const std::string& lines) {
    return ReadFile(trace_).find("\r\n" + lines + "\r\n") != std::string::npos;
  }

  FixedClock clock_{*ParseTimestampText("2026-12-06 10:00:00")};
  ScopedClock scoped_clock_{clock_};
  ScratchDatabase db_;
  std::unique_ptr<TestRecord> record_;
  std::filesystem::path trace_ =
      kelvan::testing::OdbcSandbox::Instance().MakeTempDir("simultrace") / "run.htm";
  QbObj engine_;
};

// Sessions A 10:00-11:00 and B 10:30-10:45, a tape mount 10:35-10:50, a row that is neither
// (no events), and a session of another server.
constexpr const char* kOverlapping =
    "('VLT''1', '2026-12-06 00:00:00', 2, '2026-12-06 10:00:00', '2026-12-06 11:00:00',"
    " 'BACKUP', 'NODE''A', 'Tcp/Ip', NULL, NULL),"
    "('VLT''1', '2026-12-06 00:00:00', 3, '2026-12-06 10:30:00', '2026-12-06 10:45:00',"
    " 'ARCHIVE', 'NODE_B', 'Tcp/Ip', NULL, NULL),"
    "('VLT''1', '2026-12-06 00:00:00', 4, '2026-12-06 10:35:00', '2026-12-06 10:50:00',"
    " 'TAPE MOUNT', NULL, NULL, 'LIB''1', 'Data'),"
    "('VLT''1', '2026-12-06 00:00:00', 5, '2026-12-06 10:40:00', '2026-12-06 10:41:00',"
    " 'EXPIRATION', NULL, NULL, NULL, NULL),"
    "('OTHER', '2026-12-06 00:00:00', 2, '2026-12-06 10:05:00', '2026-12-06 10:06:00',"
    " 'BACKUP', 'NODE_X', 'Tcp/Ip', NULL, NULL)";

TEST_P(SimultaneousActivityTableTest, CountsSessionsAndTapeMountsApart) {
  AddSummaryRows(kOverlapping);
  ASSERT_EQ(Run(), 0);
  // Sessions run 1, 2, 1, 0; the tape mount 1, 0 between them.
  EXPECT_EQ(Query(kWritten),
            "2\tSESSION\tNODE'A\tBACKUP\t1\t2026-12-06 10:00:00\t1\n"
            "3\tSESSION\tNODE_B\tARCHIVE\t1\t2026-12-06 10:30:00\t2\n"
            "4\tTAPE MOUNT\tLIB'1\tData\t1\t2026-12-06 10:35:00\t1\n"
            "5\tSESSION\tNODE_B\tARCHIVE\t-1\t2026-12-06 10:45:00\t1\n"
            "6\tTAPE MOUNT\tLIB'1\tData\t-1\t2026-12-06 10:50:00\t0\n"
            "7\tSESSION\tNODE'A\tBACKUP\t-1\t2026-12-06 11:00:00\t0\n");
  EXPECT_EQ(Rows("EXT_SERVER_NAME = 'VLT''1' AND EXTRACT_DATE = '2026-12-06 00:00:00' AND"
                 " ENTITY_COUNT IS NULL AND SUBACTIVITY_COUNT IS NULL"),
            6);
  EXPECT_TRUE(Traced("Added 6 rows to SIMUL_ACTIVITY table on VLT'1 (10:00:00)"));
}

TEST_P(SimultaneousActivityTableTest, RunningAgainReplacesTheDayOnly) {
  AddSummaryRows(kOverlapping);
  ExecuteOnDestination(db_,
                       "INSERT INTO SIMUL_ACTIVITY (EXT_SERVER_NAME, EXTRACT_DATE, PSEUDO_INDEX)"
                       " VALUES ('VLT''1', '2026-12-05 00:00:00', 2),"
                       " ('OTHER', '2026-12-06 00:00:00', 2)");
  ASSERT_EQ(Run(), 0);
  std::string first = Query(kWritten);
  ASSERT_EQ(Run("2026-12-06 23:00:00"), 0);
  EXPECT_EQ(Query(kWritten), first);
  EXPECT_EQ(Rows("EXTRACT_DATE = '2026-12-06 00:00:00' AND EXT_SERVER_NAME = 'VLT''1'"), 6);
  EXPECT_EQ(Rows("EXTRACT_DATE = '2026-12-05 00:00:00' OR EXT_SERVER_NAME = 'OTHER'"), 2);
  EXPECT_TRUE(Traced("Record count for deletes: 6"));
  EXPECT_TRUE(Traced("Deleted Records: 6"));
}

TEST_P(SimultaneousActivityTableTest, DayWithoutSummaryRowsIsClearedAndEndsEarly) {
  AddSummaryRows(kOverlapping);
  ExecuteOnDestination(db_,
                       "INSERT INTO SIMUL_ACTIVITY (EXT_SERVER_NAME, EXTRACT_DATE, PSEUDO_INDEX)"
                       " VALUES ('VLT''1', '2026-12-07 00:00:00', 2)");
  ASSERT_EQ(Run("2026-12-07 08:00:00"), 0);
  EXPECT_EQ(Rows("1 = 1"), 0);
  EXPECT_TRUE(
      Traced("No new records in SUMMARY table for SIMUL_ACTIVITY.\r\n"
             "Exiting Function SimultaneousActivityTable. Time:>0"));
  EXPECT_FALSE(Traced("Added 0 rows to SIMUL_ACTIVITY table on VLT'1 (10:00:00)"));
}

// The day's pseudo indexes run from 2 to 1500: batches 2-1002 and 1003-2002, each swept in time
// order on its own. Index 500 lies in the range but belongs to another extraction date: left out.
TEST_P(SimultaneousActivityTableTest, SweepsBatchesOfAThousandPseudoIndexes) {
  AddSummaryRows(
      "('VLT''1', '2026-12-06 00:00:00', 2, '2026-12-06 10:00:00', '2026-12-06 12:00:00',"
      " 'BACKUP', 'N2', 'Tcp/Ip', NULL, NULL),"
      "('VLT''1', '2026-12-05 00:00:00', 500, '2026-12-06 09:00:00', '2026-12-06 09:10:00',"
      " 'BACKUP', 'N500', 'Tcp/Ip', NULL, NULL),"
      "('VLT''1', '2026-12-06 00:00:00', 1500, '2026-12-06 11:00:00', '2026-12-06 11:30:00',"
      " 'BACKUP', 'N1500', 'Tcp/Ip', NULL, NULL)");
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(Query("SELECT PSEUDO_INDEX, ENTITY, START_STOP, ACTIVITY_COUNT FROM SIMUL_ACTIVITY"
                  " ORDER BY PSEUDO_INDEX"),
            "2\tN2\t1\t1\n3\tN2\t-1\t0\n4\tN1500\t1\t1\n5\tN1500\t-1\t0\n");
  EXPECT_TRUE(
      Traced("i (2) = MinPI (2) to MaxPIValue (1500) step Recorddensity (1000)\r\n"
             "Increment MaxPI = 1002"));
  EXPECT_TRUE(
      Traced("Increment MinPI = 1003\r\nInserted 2 records\r\n"
             "i (1002) = MinPI (1003) to MaxPIValue (1500) step Recorddensity (1000)\r\n"
             "Increment MaxPI = 2002"));
  EXPECT_NE(ReadFile(trace_).find("(PSEUDO_INDEX between 1003 and 2002) order by TIMEE"),
            std::string::npos);
  EXPECT_TRUE(Traced("Increment MinPI = 2003\r\nInserted 2 records"));
}

// Three retained days whose pseudo indexes repeat, and a second extraction of the rollup day at a
// run's time: only the rollup day's extractions give events.
TEST_P(SimultaneousActivityTableTest, TakesOnlyTheRollupDaysExtractions) {
  const std::string session = "', 'BACKUP', 'N', 'Tcp/Ip', NULL, NULL),";
  AddSummaryRows(
      "('VLT''1', '2026-12-04 00:00:00', 2, '2026-12-04 10:00:00', '2026-12-04 11:00:00" + session +
      "('VLT''1', '2026-12-05 00:00:00', 2, '2026-12-05 10:00:00', '2026-12-05 11:00:00" + session +
      "('VLT''1', '2026-12-06 00:00:00', 2, '2026-12-06 10:00:00', '2026-12-06 11:00:00" + session +
      "('VLT''1', '2026-12-06 14:22:10', 3, '2026-12-06 12:00:00', '2026-12-06 13:00:00" + session +
      "('VLT''1', '2026-12-07 00:00:00', 2, '2026-12-07 10:00:00', '2026-12-07 11:00:00" +
      session.substr(0, session.size() - 1));
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(Query("SELECT ACTIVITY_TIME, ACTIVITY_COUNT FROM SIMUL_ACTIVITY ORDER BY PSEUDO_INDEX"),
            "2026-12-06 10:00:00\t1\n2026-12-06 11:00:00\t0\n"
            "2026-12-06 12:00:00\t1\n2026-12-06 13:00:00\t0\n");
}

TEST_P(SimultaneousActivityTableTest, TraceAtLevelThree) {
  AddSummaryRows(
      "('VLT''1', '2026-12-06 00:00:00', 2, '2026-12-06 10:00:00', '2026-12-06 11:00:00',"
      " 'BACKUP', 'NODE''A', 'Tcp/Ip', NULL, NULL)");
  ASSERT_EQ(Run(), 0);
  const std::string day =
      " where EXT_SERVER_NAME = 'VLT''1' and EXTRACT_DATE = "
      "'2026-12-06 00:00:00'";
  const std::string extracted_that_day =
      " and EXTRACT_DATE >= '2026-12-06 00:00:00' and EXTRACT_DATE < '2026-12-07 00:00:00'";
  const std::string summary_day = " where EXT_SERVER_NAME = 'VLT''1'" + extracted_that_day;
  const std::string events_from =
      " as TIMEE, EXTRACT_DATE, ACTIVITY, ENTITY, LIBRARY_NAME, LAST_USE from SUMMARY where "
      "EXT_SERVER_NAME = 'VLT''1'" +
      extracted_that_day +
      " and (COMMMETH IS NOT NULL or ACTIVITY = 'TAPE MOUNT') and "
      "(PSEUDO_INDEX between 2 and 1002";
  std::vector<std::string> expected = {
      "===Entering Function SimultaneousActivityTable  Start Time = 36000",
      "Server Name = VLT'1",
      "Table Name = SIMUL_ACTIVITY",
      "Data Source = " + db_.dsn,
      "Running the following query against Destination Table(SIMUL_ACTIVITY): SELECT COUNT(*) "
      "as TOTAL_COUNT from SIMUL_ACTIVITY" +
          day,
      "Open connection successful.",
      "Record count for deletes: 0",
      "Running the following query to get max pseudo index: select max(PSEUDO_INDEX) as MAXPI "
      "from SUMMARY " +
          summary_day,
      "Running the following query to get min pseudo index: SELECT min(PSEUDO_INDEX) as MINPI "
      "from SUMMARY " +
          summary_day,
      "Running the following query for writing: SELECT * from SIMUL_ACTIVITY" + day,
      "i (2) = MinPI (2) to MaxPIValue (2) step Recorddensity (1000)",
      "Increment MaxPI = 1002",
      "Running the following query against Source Table (SUMMARY): SELECT 'START_SESSION' as "
      "START_END,START_TIME" +
          events_from +
          ") UNION ALL SELECT 'END_SESSION' as "
          "START_END,END_TIME" +
          events_from + ") order by TIMEE",
      "Open connection successful.",
      "TIMEE Value: 2026-12-06 10:00:00",
      "Activity_Time: '2026-12-06 10:00:00'",
      " Insert Command[1] INSERT INTO SIMUL_ACTIVITY(EXT_SERVER_NAME, PSEUDO_INDEX, "
      "EXTRACT_DATE,ACTIVITY, ENTITY, SUBACTIVITY, START_STOP, ACTIVITY_TIME, ACTIVITY_COUNT, "
      "ENTITY_COUNT, SUBACTIVITY_COUNT) VALUES ('VLT''1',2,'2026-12-06 00:00:00','SESSION',"
      "'NODE''A','BACKUP',1,'2026-12-06 10:00:00',1,NULL,NULL)",
      "TIMEE Value: 2026-12-06 11:00:00",
      "Activity_Time: '2026-12-06 11:00:00'",
      " Insert Command[2] INSERT INTO SIMUL_ACTIVITY(EXT_SERVER_NAME, PSEUDO_INDEX, "
      "EXTRACT_DATE,ACTIVITY, ENTITY, SUBACTIVITY, START_STOP, ACTIVITY_TIME, ACTIVITY_COUNT, "
      "ENTITY_COUNT, SUBACTIVITY_COUNT) VALUES ('VLT''1',3,'2026-12-06 00:00:00','SESSION',"
      "'NODE''A','BACKUP',-1,'2026-12-06 11:00:00',0,NULL,NULL)",
      "Increment MinPI = 1003",
      "Inserted 2 records",
      "Exiting Function SimultaneousActivityTable. Time:>0",
      "",
      "Added 2 rows to SIMUL_ACTIVITY table on VLT'1 (10:00:00)"};
  EXPECT_EQ(ReadLines(trace_), expected);
}

TEST_P(SimultaneousActivityTableTest, RunsFromTheCommandLine) {
  AddSummaryRows(kOverlapping);
  std::vector<std::string> args = {
      "simul-activity",     "--server", kServer,      "--dest-dsn", db_.dsn,
      "--dest-uid",         db_.uid,    "--dest-pwd", db_.pwd,      "--rollup",
      "2026-13-06 10:00:00"};
  std::ostringstream out, err;
  EXPECT_EQ(RunQobra(args, out, err), kQobraExitUsage);  // no such month
  args.back() = kRollup;
  EXPECT_EQ(RunQobra(args, out, err), 0) << err.str();
  EXPECT_EQ(out.str(), "SimultaneousActivityTable: result 0\n");
  EXPECT_EQ(Rows("1 = 1"), 6);
}

INSTANTIATE_TEST_SUITE_P(Destinations, SimultaneousActivityTableTest,
                         ::testing::Values(Destination::kSqlite, Destination::kPostgres,
                                           Destination::kMariaDb),
                         [](const auto& info) { return DestinationName(info.param); });

class SimulActivityRejection : public SimultaneousActivityTableTest {};

// A rejected INSERT leaves its row out and the sweep goes on; the count still moves, and the
// rejections are reported at level 1.
TEST_P(SimulActivityRejection, RejectedInsertsAreCountedAndTraced) {
  UseDatabase(FreshSchemaDatabase(GetParam()));
  ExecuteOnDestination(
      db_, GetParam() == Destination::kSqlite
               ? "CREATE TRIGGER REJECTS BEFORE INSERT ON SIMUL_ACTIVITY WHEN NEW.ENTITY ="
                 " 'REJECT_ME' BEGIN SELECT RAISE(ABORT, 'rejected'); END;"
               : "ALTER TABLE SIMUL_ACTIVITY ADD CONSTRAINT REJECTS CHECK (ENTITY <> 'REJECT_ME')");
  AddSummaryRows(
      "('VLT''1', '2026-12-06 00:00:00', 2, '2026-12-06 10:00:00', '2026-12-06 11:00:00',"
      " 'BACKUP', 'REJECT_ME', 'Tcp/Ip', NULL, NULL),"
      "('VLT''1', '2026-12-06 00:00:00', 3, '2026-12-06 10:30:00', '2026-12-06 10:45:00',"
      " 'BACKUP', 'NODE_B', 'Tcp/Ip', NULL, NULL)");
  engine_.SetTrace(1, trace_.string());  // the insert texts not traced are made for the repeats
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(Query("SELECT PSEUDO_INDEX, ENTITY, START_STOP, ACTIVITY_COUNT FROM SIMUL_ACTIVITY"
                  " ORDER BY PSEUDO_INDEX"),
            "3\tNODE_B\t1\t2\n4\tNODE_B\t-1\t1\n");
  EXPECT_TRUE(
      Traced("Added 4 rows to SIMUL_ACTIVITY table on VLT'1 (10:00:00)\r\n"
             "Rejected 2 INSERT statement(s) on SIMUL_ACTIVITY table on VLT'1 (10:00:00)"
             "\r\nPrevious message = Added 4 rows to SIMUL_ACTIVITY table on VLT'1"
             " (10:00:00)"));
  std::string trace = ReadFile(trace_);
  EXPECT_EQ(trace.find("Error in"), std::string::npos);
  // Each rejected row's line repeats that row's own statement.
  for (const char* statement :
       {"[1] INSERT INTO SIMUL_ACTIVITY(", "[4] INSERT INTO SIMUL_ACTIVITY("}) {
    size_t at = trace.find(std::string("\r\nPrevious message =  Insert Command") + statement);
    ASSERT_NE(at, std::string::npos) << statement;
    size_t line = trace.rfind('\n', at - 1);
    line = line == std::string::npos ? 0 : line + 1;
    const std::string ignored = "Ignored error in SimultaneousActivityTable: [";
    EXPECT_EQ(trace.compare(line, ignored.size(), ignored), 0);
    EXPECT_NE(trace.find("'REJECT_ME'", at), std::string::npos);
  }
}

// An event whose time is no date, past the batch's first INSERT, is left out and reported; the
// others are written and the stage succeeds. Only SQLite keeps such a text in a timestamp column.
TEST_P(SimulActivityRejection, UnreadableEventIsLeftOutAndTheSweepGoesOn) {
  if (GetParam() != Destination::kSqlite) GTEST_SKIP();
  AddSummaryRows(
      "('VLT''1', '2026-12-06 00:00:00', 2, '2026-12-06 10:00:00', '2026-12-06 11:00:00',"
      " 'BACKUP', 'NODE_A', 'Tcp/Ip', NULL, NULL),"
      "('VLT''1', '2026-12-06 00:00:00', 3, 'garbage', '2026-12-06 10:50:00',"
      " 'BACKUP', 'NODE_B', 'Tcp/Ip', NULL, NULL)");
  ASSERT_EQ(Run(), 0);
  EXPECT_EQ(Query("SELECT ENTITY, START_STOP, ACTIVITY_COUNT FROM SIMUL_ACTIVITY"
                  " ORDER BY PSEUDO_INDEX"),
            "NODE_A\t1\t1\nNODE_B\t-1\t0\nNODE_A\t-1\t-1\n");
  EXPECT_TRUE(Traced(
      "Ignored error in SimultaneousActivityTable: [13]Qobra - Type mismatch: 'garbage' is not a"
      " date and time"));
  EXPECT_TRUE(
      Traced("Left out 1 event(s) that could not be read on SIMUL_ACTIVITY table on VLT'1"
             " (10:00:00)"));
}

INSTANTIATE_TEST_SUITE_P(Destinations, SimulActivityRejection,
                         ::testing::Values(Destination::kSqlite, Destination::kPostgres,
                                           Destination::kMariaDb),
                         [](const auto& info) { return DestinationName(info.param); });

}  // namespace
}  // namespace kelvan::engine::testing
