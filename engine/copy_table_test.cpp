#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <sstream>

#include "engine/engine_test_support.h"
#include "engine/engine_text.h"
#include "engine/qb_obj.h"
#include "engine/tool/qobra_cli.h"
#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"

namespace kelvan::engine::testing {
namespace {

using kelvan::testing::CreateScratchDatabase;
using kelvan::testing::DestinationName;
using kelvan::testing::QueryWithClient;

constexpr const char* kServer = "VLT'1";  // a quote, so every SQL text must double it
constexpr const char* kQuoted = "VLT''1";
constexpr const char* kRunTime = "2026-12-06 10:00:00";

const char* const kSourceSummary =
    "CREATE TABLE SUMMARY (START_TIME TIMESTAMP, END_TIME TIMESTAMP, ACTIVITY VARCHAR(30),"
    " NUMBER INTEGER, EXTRA_COL VARCHAR(8), ENTITY VARCHAR(64));"
    "INSERT INTO SUMMARY VALUES"
    " ('2026-12-04 22:00:00', '2026-12-04 23:59:59', 'BACKUP', 1, 'x', 'NODE_OLD'),"
    " ('2026-12-04 23:00:00', '2026-12-05 00:00:00', 'BACKUP', 2, 'x', 'NODE_A'),"
    " ('2026-12-05 11:00:00', '2026-12-05 12:00:00', NULL, 3, 'x',"
    "  'NODE_B_0123456789012345678901234567890123'),"
    " ('2026-12-06 08:00:00', '2026-12-06 09:00:00', '', 4, 'x', 'NODE_C');";
const char* const kSourceEvents =
    "CREATE TABLE EVENTS (SCHEDULED_START TIMESTAMP, NODE_NAME VARCHAR(64), STATUS VARCHAR(12));"
    "INSERT INTO EVENTS VALUES ('2026-12-04 20:00:00', 'N1', 'Completed'),"
    " ('2026-12-05 20:00:00', 'N2', 'Completed'), ('2026-12-06 08:00:00', 'N3', 'Failed'),"
    " ('2026-12-06 20:00:00', 'N4', 'Pending');";
const char* const kSourceNodes =
    "CREATE TABLE NODES (NODE_NAME VARCHAR(64), PLATFORM_NAME VARCHAR(16), REG_TIME TIMESTAMP);"
    "INSERT INTO NODES VALUES ('N1', 'Linux', '2020-01-01 00:00:00'),"
    " ('N2', 'AIX', '2021-06-30 12:30:00');";

class CopyTableTest : public ::testing::TestWithParam<Destination> {
 protected:
  void SetUp() override {
    db_ = CreateScratchDatabase(GetParam(), "copy");
    record_ = std::make_unique<TestRecord>(db_.dsn, db_.uid, db_.pwd);
    source_.Exec(std::string(kSourceSummary) + kSourceEvents + kSourceNodes);
    CreateDestinationTable(db_, "SUMMARY",
                           {{"START_TIME", "TS"},
                            {"END_TIME", "TS"},
                            {"ACTIVITY", "VARCHAR(30)"},
                            {"NUMBER_X", "INT"},
                            {"ENTITY", "VARCHAR(32)"}});
    CreateDestinationTable(
        db_, "EVENTS",
        {{"SCHEDULED_START", "TS"}, {"NODE_NAME", "VARCHAR(64)"}, {"STATUS", "VARCHAR(12)"}});
    CreateDestinationTable(
        db_, "NODES",
        {{"NODE_NAME", "VARCHAR(64)"}, {"PLATFORM_NAME", "VARCHAR(16)"}, {"REG_TIME", "TS"}});
    engine_.SetTrace(3, trace_.string());
    engine_.SetDBType("Unknown");
  }

  std::int16_t Copy(const std::string& table, bool multiple = false,
                    const std::string& rollup = kRunTime) {
    return engine_.CopyTable(kServer, source_.ConnectString(), table, *record_, ToBool16(multiple),
                             rollup);
  }
  RaisedError CopyFails(const std::string& table, const std::string& connect) {
    try {
      engine_.CopyTable(kServer, connect, table, *record_, kFalse16, kRunTime);
    } catch (const RaisedError& e) {
      return e;
    }
    ADD_FAILURE() << "CopyTable of " << table << " raised nothing";
    return RaisedError(0, "", "");
  }
  long long Count(const std::string& table, const std::string& condition = "1 = 1") {
    return QueryNumber(db_, "SELECT COUNT(*) FROM " + table + " WHERE " + condition);
  }
  std::string Query(const std::string& sql) { return QueryWithClient(db_, sql); }
  std::string Trace() { return ReadFile(trace_); }

  FixedClock clock_{*ParseTimestampText(kRunTime)};
  ScopedClock scoped_clock_{clock_};
  ScratchDatabase db_;
  std::unique_ptr<TestRecord> record_;
  SourceServer source_{"copysrc"};
  std::filesystem::path trace_ =
      kelvan::testing::OdbcSandbox::Instance().MakeTempDir("copytrace") / "run.htm";
  QbObj engine_;
};

TEST_P(CopyTableTest, FirstSummaryLoadStartsYesterdayAtMidnight) {
  EXPECT_EQ(Copy("SUMMARY"), 0);
  EXPECT_EQ(Query("SELECT NUMBER_X, PSEUDO_INDEX FROM SUMMARY ORDER BY END_TIME"),
            "2\t2\n3\t3\n4\t4\n");
  EXPECT_EQ(Count("SUMMARY",
                  "EXT_SERVER_NAME = 'VLT''1' AND EXTRACT_DATE = "
                  "'2026-12-06 00:00:00'"),
            3);
  EXPECT_NE(Trace().find("Last date = 2026-12-05 00:00:00\r\n"), std::string::npos);
}

TEST_P(CopyTableTest, SummaryTraceAtLevelThree) {
  ASSERT_EQ(Copy("SUMMARY"), 0);
  std::string vlt = "DSN=" + source_.dsn() + ";UID=vltadmin";
  std::string dest = "DSN=" + db_.dsn + ";UID=" + db_.uid;
  std::string since = " and END_TIME >= '2026-12-05 00:00:00'";
  std::string where = std::string(" where EXT_SERVER_NAME = '") + kQuoted + "'";
  std::vector<std::string> expected = {
      "===Entering Function CopyTable SUMMARY Start Time = 36000",
      std::string("Server Name = ") + kServer,
      "Source Connection = " + vlt,
      "Data Source = " + db_.dsn,
      "Allocated environment handle. Date/Time = 2026-12-06 10:00:00",
      "Allocated connection handle. Date/Time = 2026-12-06 10:00:00",
      "Opening Connection " + vlt,
      "Opened Connection Okay. " + vlt + " Date / Time = 2026-12-06 10:00:00",
      "Opening Connection " + dest,
      "Connection established to " + dest,
      "Running the following query to set Last Date: SELECT max(END_TIME) as LAST_DATE from "
      "SUMMARY" +
          where,
      "Result set successfully opened on destination.",
      "Last date = 2026-12-05 00:00:00",
      "Set StartingDate = '2026-12-05 00:00:00'",
      "Allocated SQL Statement Okay. Date/Time = 2026-12-06 10:00:00",
      "Running the following query on vlt server: SELECT * from SUMMARY where END_TIME >= "
      "'2026-12-05 00:00:00' order by END_TIME",
      "SQLExecDirect function call returned 0",
      "Executed SQL Statement Okay. Date/Time = 2026-12-06 10:00:00",
      "RollupDate = 2026-12-06 10:00:00 Today = 2026-12-06 00:00:00",
      "Running the following query for Pseudo Index: SELECT PSEUDO_INDEX, EXTRACT_DATE from "
      "SUMMARY" +
          where + since,
      "Running the following query for Pseudo Index verification: SELECT max(PSEUDO_INDEX) as "
      "PSEUDO_INDEX from SUMMARY" +
          where + " and EXTRACT_DATE = '2026-12-06 00:00:00'",
      "Running the following query: SELECT * from SUMMARY" + where + since,
      "Result set successfully opened on history table.",
      "Deleted 0 rows from the SUMMARY table.",
      "Successfully extracted column names out of VLT database.",
      "column name = START_TIME",
      "column name = END_TIME",
      "column name = ACTIVITY",
      "column name = NUMBER_X",
      "3265 * EXTRA_COL in table SUMMARY",  // the data layer's own not-found text in between
      "column name = ENTITY",
      "Average performance for fetching data from RPX server was *",
      "Added new record(s) to the SUMMARY table. (36000)",
      "",
      "Successfully copied 3 row(s) to SUMMARY (10:00:00)"};
  std::vector<std::string> lines = ReadLines(trace_);
  ASSERT_EQ(lines.size(), expected.size()) << ReadFile(trace_);
  for (size_t i = 0; i < lines.size(); ++i) {
    std::string line = lines[i];
    if (GetParam() == Destination::kPostgres && line.rfind("column name = ", 0) == 0) {
      std::transform(line.begin(), line.end(), line.begin(),
                     [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
      line.replace(0, 14, "column name = ");
    }
    size_t star = expected[i].find('*');
    if (star == std::string::npos) {
      EXPECT_EQ(line, expected[i]) << "line " << i;
    } else {
      EXPECT_EQ(line.substr(0, star), expected[i].substr(0, star)) << "line " << i;
      EXPECT_TRUE(line.ends_with(expected[i].substr(star + 1))) << line;
    }
  }
}

TEST_P(CopyTableTest, SecondRunWithNothingNewLeavesNoDuplicates) {
  ASSERT_EQ(Copy("SUMMARY"), 0);
  ASSERT_EQ(Copy("EVENTS"), 0);
  clock_.AdvanceSeconds(3600);
  EXPECT_EQ(Copy("SUMMARY", false, "2026-12-06 11:00:00"), 0);
  EXPECT_EQ(Copy("EVENTS", false, "2026-12-06 11:00:00"), 0);
  // The source holds 3 SUMMARY and 3 EVENTS rows from yesterday 00:00:00 on.
  EXPECT_EQ(Count("SUMMARY"), 3);
  EXPECT_EQ(QueryNumber(db_, "SELECT COUNT(DISTINCT END_TIME) FROM SUMMARY"), 3);
  EXPECT_EQ(QueryNumber(db_, "SELECT COUNT(DISTINCT PSEUDO_INDEX) FROM SUMMARY"), 3);
  EXPECT_EQ(Count("EVENTS"), 3);
  EXPECT_EQ(QueryNumber(db_, "SELECT COUNT(DISTINCT NODE_NAME) FROM EVENTS"), 3);
  // The second SUMMARY load reran from the newest END_TIME held.
  EXPECT_NE(Trace().find("Last date = 2026-12-06 09:00:00\r\n"), std::string::npos);
}

TEST_P(CopyTableTest, EventsRowsCarryTheRunTimestamp) {
  ASSERT_EQ(Copy("EVENTS"), 0);
  EXPECT_EQ(Count("EVENTS", "EXTRACT_DATE = '2026-12-06 10:00:00'"), 3);
  // The Pending row does not count for the newest time held.
  ASSERT_EQ(Copy("EVENTS", false, "2026-12-06 12:00:00"), 0);
  EXPECT_NE(Trace().find("Last date = 2026-12-06 08:00:00\r\n"), std::string::npos);
  EXPECT_EQ(Count("EVENTS", "EXTRACT_DATE = '2026-12-06 12:00:00'"), 2);
}

TEST_P(CopyTableTest, SnapshotTwiceADayKeepsOneSnapshotUnlessMultipleAreWanted) {
  ASSERT_EQ(Copy("NODES", false, "2026-12-06 10:00:00"), 0);
  ASSERT_EQ(Copy("NODES", false, "2026-12-06 14:00:00"), 0);
  EXPECT_EQ(Count("NODES"), 2);
  EXPECT_EQ(Count("NODES", "EXTRACT_DATE = '2026-12-06 00:00:00'"), 2);
  EXPECT_EQ(Query("SELECT PSEUDO_INDEX FROM NODES ORDER BY PSEUDO_INDEX"), "2\n3\n");

  ExecuteOnDestination(db_, "DELETE FROM NODES");
  ASSERT_EQ(Copy("NODES", true, "2026-12-06 10:00:00"), 0);
  ASSERT_EQ(Copy("NODES", true, "2026-12-06 14:00:00"), 0);
  EXPECT_EQ(Count("NODES", "EXTRACT_DATE = '2026-12-06 10:00:00'"), 2);
  EXPECT_EQ(Count("NODES", "EXTRACT_DATE = '2026-12-06 14:00:00'"), 2);
}

TEST_P(CopyTableTest, MissingSourceTableReturnsTwoAndChangesNothing) {
  CreateDestinationTable(db_, "OCCUPANCY", {{"NODE_NAME", "VARCHAR(64)"}});
  ExecuteOnDestination(db_,
                       "INSERT INTO OCCUPANCY VALUES ('N1', 'VLT''1', "
                       "'2026-12-06 00:00:00', 2)");
  EXPECT_EQ(Copy("OCCUPANCY"), 2);
  EXPECT_EQ(Count("OCCUPANCY"), 1);
  std::string trace = ReadFile(trace_);
  EXPECT_NE(trace.find("\r\nS0002 - "), std::string::npos) << trace;
  EXPECT_EQ(trace.find("Error in"), std::string::npos);
  EXPECT_EQ(trace.find("Successfully copied"), std::string::npos);
}

TEST_P(CopyTableTest, ColumnsMapToNameOrNameXAndValuesConvert) {
  ASSERT_EQ(Copy("SUMMARY"), 0);
  // NUMBER went to NUMBER_X; EXTRA_COL has no column and is named once, on the first row.
  EXPECT_EQ(Count("SUMMARY", "NUMBER_X IS NOT NULL"), 3);
  std::string trace = ReadFile(trace_);
  size_t named = trace.find(" EXTRA_COL in table SUMMARY");
  EXPECT_NE(named, std::string::npos);
  EXPECT_EQ(trace.find(" EXTRA_COL in table SUMMARY", named + 1), std::string::npos);
  // A 40-character value into a 32-character column is cut; NULL and empty values stay unset.
  EXPECT_EQ(Query("SELECT ENTITY FROM SUMMARY WHERE NUMBER_X = 3"),
            "NODE_B_0123456789012345678901234\n");
  EXPECT_EQ(Count("SUMMARY", "ACTIVITY IS NULL"), 2);
}

TEST_P(CopyTableTest, EveryConvertedType) {
  source_.Exec(
      "CREATE TABLE TYPES (I INTEGER, S SMALLINT, D DOUBLE, T TIMESTAMP, DT DATE, TM TIME,"
      " V VARCHAR(40));"
      "INSERT INTO TYPES VALUES (70000, -3, 2.5, '2026-12-05 13:14:15', '2026-12-05',"
      " '13:14:15', 'abc');");
  CreateDestinationTable(db_, "TYPES",
                         {{"I", "INT"},
                          {"S", "SMALLINT"},
                          {"D", "DOUBLE"},
                          {"T", "TS"},
                          {"DT", "DATE"},
                          {"TM", "TIME"},
                          {"V", "VARCHAR(40)"}});
  ASSERT_EQ(Copy("TYPES"), 0);
  EXPECT_EQ(Query("SELECT I, S, D, T, DT, TM, V FROM TYPES"),
            "70000\t-3\t2.5\t2026-12-05 13:14:15\t2026-12-05\t13:14:15\tabc\n");
}

// What real servers hold: accented text longer than its column (cut after 64 characters, never
// inside one), bytes that are not UTF-8 (each bad sequence one U+FFFD), quotes and SQL
// punctuation kept as they are, and whole numbers too large for a 32- or 16-bit column (left
// unset and reported, the copy going on) beside a 64-bit column that takes them.
TEST_P(CopyTableTest, RealWorldTextAndNumbersArriveWhole) {
  const std::string accented = "A" + Repeat("é", 70);
  source_.Exec(
      "CREATE TABLE WIDE (K INTEGER, NAME VARCHAR(300), I INTEGER, B INTEGER, S INTEGER);"
      "INSERT INTO WIDE VALUES (1, '" +
      accented +
      "', 3000000000, 3000000000, 5),"
      " (2, 'x' || cast(x'ff' as text) || 'y' || cast(x'e69d' as text), -5, -9000000000, 70000),"
      " (3, '" +
      Repeat("東", 300) +
      "', 0, 0, -32768),"
      " (4, 'O''Brien \"q\" \\ -- ; \xF0\x9F\x92\xBE', 1, 1, 1);");
  CreateDestinationTable(
      db_, "WIDE",
      {{"K", "INT"}, {"NAME", "VARCHAR(64)"}, {"I", "INT"}, {"B", "BIGINT"}, {"S", "SMALLINT"}});
  ASSERT_EQ(Copy("WIDE"), 0);
  EXPECT_EQ(Query("SELECT K, NAME, COALESCE(I, 7), B, COALESCE(S, 7) FROM WIDE ORDER BY K"),
            "1\tA" + Repeat("é", 63) + "\t7\t3000000000\t5\n" +
                "2\tx\xEF\xBF\xBDy\xEF\xBF\xBD\t-5\t-9000000000\t7\n" + "3\t" + Repeat("東", 64) +
                "\t0\t0\t-32768\n" + "4\tO'Brien \"q\" \\ -- ; \xF0\x9F\x92\xBE\t1\t1\t1\n");
  std::string trace = Trace();
  size_t copied = trace.find("Successfully copied 4 row(s) to WIDE");
  size_t count =
      trace.find("Left 2 value(s) unset in WIDE that did not fit their destination columns");
  EXPECT_NE(trace.find("Value 3000000000 of column I in table WIDE does not fit its destination "
                       "column: left unset"),
            std::string::npos);
  EXPECT_NE(trace.find("Value 70000 of column S in table WIDE"), std::string::npos);
  ASSERT_NE(copied, std::string::npos);
  EXPECT_NE(count, std::string::npos);
  EXPECT_GT(count, copied);
}

// A hand-edited setup file can hold anything: a table name or qualifier that is not a plain
// name is refused for its table, with nothing deleted, and the next table loads.
TEST_P(CopyTableTest, NamesThatAreNotPlainAreRefused) {
  ASSERT_EQ(Copy("NODES"), 0);
  TestRecord qualified(db_.dsn, db_.uid, db_.pwd, "x --");
  struct Refusal {
    std::string table;
    DataSource* record;
  };
  for (const Refusal& r :
       {Refusal{"NODES WHERE 1=1 --", record_.get()}, Refusal{"NODES;", record_.get()},
        Refusal{"", record_.get()}, Refusal{"NODES", &qualified}}) {
    try {
      engine_.CopyTable(kServer, source_.ConnectString(), r.table, *r.record, kFalse16, kRunTime);
      ADD_FAILURE() << "'" << r.table << "' was not refused";
    } catch (const RaisedError& e) {
      EXPECT_EQ(e.Number(), kErrNotAPlainName);
      EXPECT_NE(e.Description().find("is not a plain name"), std::string::npos) << e.Description();
    }
  }
  EXPECT_EQ(Count("NODES"), 2);
  EXPECT_EQ(Copy("EVENTS"), 0);
}

// A password with ";" and braces, stored unquoted in the server string as the console keeps it:
// it connects, and shows nowhere.
TEST_P(CopyTableTest, PasswordWithSemicolonAndBracesConnects) {
  const std::string password = "x;y{z}";
  source_.AddDataSource("VLT_BRACED", {{"UID", "vltadmin"}, {"PWD", password}});
  ASSERT_EQ(engine_.CopyTable(kServer, "DSN=VLT_BRACED;UID=vltadmin;PWD=" + password, "NODES",
                              *record_, kFalse16, kRunTime),
            0);
  EXPECT_EQ(Count("NODES"), 2);
  EXPECT_EQ(Trace().find(password), std::string::npos);
}

TEST_P(CopyTableTest, LowerCaseSummaryIsASnapshotTable) {
  if (GetParam() == Destination::kMariaDb) {  // table names are case-sensitive there
    CreateDestinationTable(db_, "summary",
                           {{"END_TIME", "TS"}, {"NUMBER_X", "INT"}, {"ENTITY", "VARCHAR(32)"}});
  }
  ASSERT_EQ(Copy("summary"), 0);
  std::string trace = ReadFile(trace_);
  EXPECT_EQ(trace.find("to set Last Date"), std::string::npos);
  EXPECT_NE(trace.find("\r\nSet StartingDate = \r\n"), std::string::npos);
  EXPECT_NE(trace.find("Running the following query on vlt server: SELECT * from summary\r\n"),
            std::string::npos);
  EXPECT_NE(trace.find("Running the following query: SELECT * from summary where "
                       "EXT_SERVER_NAME = 'VLT''1' and EXTRACT_DATE >= '2026-12-06 00:00:00'"),
            std::string::npos);
  EXPECT_NE(trace.find("Successfully copied 4 row(s) to summary"), std::string::npos);
}

TEST_P(CopyTableTest, FortyThousandSummaryRowsInOneDayLoadTwice) {
  // Numbers beyond 32767 in one day must not stop the second load of that day.
  source_.Exec(
      "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 40000)"
      " INSERT INTO SUMMARY (START_TIME, END_TIME, ACTIVITY, NUMBER, ENTITY)"
      " SELECT '2026-12-05 01:00:00', datetime('2026-12-05 01:00:00', '+' || i || ' seconds'),"
      " 'BACKUP', 100 + i, 'NODE' FROM n;");
  ASSERT_EQ(Copy("SUMMARY"), 0);
  source_.Exec(
      "INSERT INTO SUMMARY VALUES ('2026-12-06 09:30:00', '2026-12-06 09:45:00',"
      " 'ARCHIVE', 99, 'x', 'NODE_D');");
  clock_.AdvanceSeconds(3600);
  ASSERT_EQ(Copy("SUMMARY", false, "2026-12-06 11:00:00"), 0);
  // 3 rows of the small fixture + 40,000 + 1 new, each once.
  EXPECT_EQ(Count("SUMMARY"), 40004);
  EXPECT_EQ(QueryNumber(db_, "SELECT COUNT(DISTINCT PSEUDO_INDEX) FROM SUMMARY"), 40004);
  EXPECT_EQ(QueryNumber(db_, "SELECT COUNT(DISTINCT NUMBER_X) FROM SUMMARY"), 40004);
  EXPECT_GT(QueryNumber(db_, "SELECT MAX(PSEUDO_INDEX) FROM SUMMARY"), 40000);
}

TEST_P(CopyTableTest, SourceOfThreeHundredColumnsCopiesAndOfThreeHundredOneFails) {
  auto wide = [&](const std::string& table, int columns) {
    std::string sql = "CREATE TABLE " + table + " (C1 INTEGER";
    for (int i = 2; i <= columns; ++i) sql += ", C" + std::to_string(i) + " INTEGER";
    source_.Exec(sql + "); INSERT INTO " + table + " (C1) VALUES (1);");
    CreateDestinationTable(db_, table, {{"C1", "INT"}});
  };
  wide("WIDE300", 300);
  wide("WIDE301", 301);
  EXPECT_EQ(Copy("WIDE300"), 0);
  RaisedError e = CopyFails("WIDE301", source_.ConnectString());
  EXPECT_EQ(e.Source(), "Qobra.QbObj.CopyTable:Qobra");
  EXPECT_EQ(Count("WIDE301"), 0);
  EXPECT_NE(ReadFile(trace_).find(";Source=Qobra;Description="), std::string::npos);
}

TEST_P(CopyTableTest, FailedSourceQueryFollowsTheFailureConvention) {
  std::string failing = source_.AddDataSource(source_.dsn() + "_fail", {{"FailExecN", "1"}});
  RaisedError e = CopyFails("NODES", failing);
  EXPECT_EQ(e.Number(), kErrOdbcCall);
  EXPECT_EQ(e.Source(), "Qobra.QbObj.CopyTable:SQLExecDirect");
  EXPECT_TRUE(e.Description().starts_with("Error copying data. :\r\n")) << e.Description();
  std::vector<std::string> lines = ReadLines(trace_);
  ASSERT_GE(lines.size(), 3u);
  const std::string& failure = lines[lines.size() - 2];
  EXPECT_TRUE(
      failure.starts_with("Error in CopyTable: Error Number=40002;Source=SQLExecDirect;"
                          "Description="))
      << failure;
  EXPECT_TRUE(failure.ends_with(" Table Name = NODES")) << failure;
  // The SQLSTATE line written just before is the previous message.
  EXPECT_EQ(lines.back(), "Previous message = " + lines[lines.size() - 3]);
  EXPECT_EQ(Count("NODES"), 0);
}

TEST_P(CopyTableTest, MissingDestinationTableFailsWithTheLayersErrors) {
  source_.Exec("CREATE TABLE LIBRARIES (LIBRARY_NAME VARCHAR(30));");
  RaisedError e = CopyFails("LIBRARIES", source_.ConnectString());
  EXPECT_TRUE(e.Source().starts_with("Qobra.QbObj.CopyTable:")) << e.Source();
  EXPECT_TRUE(e.Description().starts_with("Error copying data. :\r\n")) << e.Description();
  EXPECT_NE(e.Description().find("\r\nError Number: "), std::string::npos) << e.Description();
  std::string trace = ReadFile(trace_);
  EXPECT_NE(trace.find(" Table Name = LIBRARIES\r\nPrevious message = Running the following "
                       "query: SELECT * from LIBRARIES where "),
            std::string::npos)
      << trace;
}

// A connection that breaks mid-read is a failure, not the end of the data: the rows added so far
// stay, and the worker's retry completes the load without duplicates.
TEST_P(CopyTableTest, BrokenFetchFailsKeepingTheRowsAddedSoFar) {
  std::string breaking = source_.AddDataSource(source_.dsn() + "_break", {{"FailFetchAfter", "2"}});
  RaisedError e = CopyFails("SUMMARY", breaking);
  EXPECT_TRUE(e.Source().starts_with("Qobra.QbObj.CopyTable:")) << e.Source();
  EXPECT_EQ(Query("SELECT NUMBER_X FROM SUMMARY ORDER BY END_TIME"), "2\n3\n");
  ASSERT_EQ(Copy("SUMMARY"), 0);
  EXPECT_EQ(Query("SELECT NUMBER_X FROM SUMMARY ORDER BY END_TIME"), "2\n3\n4\n");
}

TEST_P(CopyTableTest, NoPasswordInTheTrace) {
  if (GetParam() == Destination::kSqlite) record_->set_password("Dest-Pa55word");
  ASSERT_FALSE(record_->Password().empty());
  ASSERT_EQ(Copy("NODES"), 0);
  std::string trace = ReadFile(trace_);
  EXPECT_NE(trace.find("Source Connection = DSN=" + source_.dsn() + ";UID=vltadmin\r\n"),
            std::string::npos);
  EXPECT_EQ(trace.find(SourceServer::kPassword), std::string::npos);
  EXPECT_EQ(trace.find(record_->Password()), std::string::npos);
  EXPECT_EQ(trace.find("PWD"), std::string::npos);
}

TEST_P(CopyTableTest, TraceLevelsDecideWhatIsWritten) {
  engine_.SetTrace(0, trace_.string());
  ASSERT_EQ(Copy("NODES"), 0);
  EXPECT_FALSE(std::filesystem::exists(trace_));

  engine_.SetTrace(1, trace_.string());
  ASSERT_EQ(Copy("NODES"), 0);
  source_.Exec("CREATE TABLE LIBRARIES (LIBRARY_NAME VARCHAR(30));");
  CopyFails("LIBRARIES", source_.ConnectString());  // the destination lacks the table
  std::vector<std::string> lines = ReadLines(trace_);
  ASSERT_EQ(lines.size(), 3u) << ReadFile(trace_);
  // A success line follows an empty detail line, so it repeats nothing.
  EXPECT_EQ(lines[0], "Successfully copied 2 row(s) to NODES (10:00:00)");
  EXPECT_TRUE(lines[1].starts_with("Error in CopyTable: ")) << lines[1];
  EXPECT_TRUE(lines[2].starts_with("Previous message = ")) << lines[2];

  std::filesystem::remove(trace_);
  engine_.SetTrace(2, trace_.string());
  ASSERT_EQ(Copy("NODES"), 0);
  std::string trace = ReadFile(trace_);
  EXPECT_NE(trace.find("===Entering Function CopyTable NODES"), std::string::npos);
  EXPECT_EQ(trace.find("Server Name = "), std::string::npos);
  EXPECT_EQ(trace.find("Deleted "), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Destinations, CopyTableTest,
                         ::testing::Values(Destination::kSqlite, Destination::kPostgres,
                                           Destination::kMariaDb),
                         [](const auto& info) { return DestinationName(info.param); });

// What does not depend on the destination's type runs on one destination.
class CopyTableOnSqliteTest : public CopyTableTest {};

TEST_P(CopyTableOnSqliteTest, OneCachedConnectionPerConnectString) {
  ASSERT_EQ(Copy("NODES"), 0);
  ASSERT_EQ(Copy("SUMMARY"), 0);
  EXPECT_EQ(engine_.cached_connection_count(), 1u);
  record_->set_password("another");
  ASSERT_EQ(Copy("NODES"), 0);
  EXPECT_EQ(engine_.cached_connection_count(), 2u);
}

TEST_P(CopyTableOnSqliteTest, CommandLineTool) {
  std::vector<std::string> args = {
      "copy-table",    "--server", kServer,      "--source", source_.ConnectString(),
      "--dest-dsn",    db_.dsn,    "--dest-uid", "u",        "--dest-pwd",
      "Dest-Pa55word", "--rollup", kRunTime,     "--table"};
  auto run = [&](const std::string& table, std::string& out, std::string& err) {
    std::vector<std::string> all = args;
    all.push_back(table);
    std::ostringstream o, e;
    int status = RunQobra(all, o, e);
    out = o.str();
    err = e.str();
    return status;
  };
  std::string out, err;
  EXPECT_EQ(run("NODES", out, err), 0);
  EXPECT_EQ(out, "CopyTable NODES: result 0\n");
  EXPECT_EQ(Count("NODES"), 2);
  EXPECT_EQ(run("OCCUPANCY", out, err), 2);
  source_.Exec("CREATE TABLE LIBRARIES (LIBRARY_NAME VARCHAR(30));");
  EXPECT_EQ(run("LIBRARIES", out, err), kQobraExitFailed);
  EXPECT_NE(err.find("source: Qobra.QbObj.CopyTable:"), std::string::npos) << err;
  EXPECT_EQ(err.find("Pa55word"), std::string::npos) << err;
}

INSTANTIATE_TEST_SUITE_P(OneDestination, CopyTableOnSqliteTest,
                         ::testing::Values(Destination::kSqlite),
                         [](const auto& info) { return DestinationName(info.param); });

class CopyTableOnPostgresTest : public CopyTableTest {};

TEST_P(CopyTableOnPostgresTest, QualifierPrefixesEveryDestinationTable) {
  ExecuteOnDestination(db_, "CREATE SCHEMA DW");
  CreateDestinationTable(db_, "DW.NODES", {{"NODE_NAME", "VARCHAR(64)"}});
  TestRecord qualified(db_.dsn, db_.uid, db_.pwd, "DW");
  ASSERT_EQ(
      engine_.CopyTable(kServer, source_.ConnectString(), "NODES", qualified, kFalse16, kRunTime),
      0);
  EXPECT_EQ(Count("DW.NODES"), 2);
  EXPECT_EQ(Count("NODES"), 0);
  std::string trace = ReadFile(trace_);
  EXPECT_NE(trace.find("Running the following query on vlt server: SELECT * from NODES\r\n"),
            std::string::npos);
  EXPECT_NE(trace.find("Running the following query: SELECT * from DW.NODES where "),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(OneDestination, CopyTableOnPostgresTest,
                         ::testing::Values(Destination::kPostgres),
                         [](const auto& info) { return DestinationName(info.param); });

}  // namespace
}  // namespace kelvan::engine::testing
