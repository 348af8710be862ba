#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <sstream>

#include "engine/engine_test_support.h"
#include "engine/qb_obj.h"
#include "engine/tool/qobra_cli.h"
#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"

namespace kelvan::engine::testing {
namespace {

using kelvan::testing::CreateScratchDatabase;
using kelvan::testing::DestinationName;
using kelvan::testing::QueryWithClient;
using kelvan::testing::RunSqlScript;
using kelvan::testing::SchemaFile;
using kelvan::testing::SourcePath;
using Columns = std::vector<std::string>;

constexpr const char* kServer = "VLT'1";  // a quote, so every SQL text must double it
constexpr const char* kNow = "2026-03-10 12:00:00";

const Columns kDbForecast = {"AVAIL_SPACE_MB",   "CAPACITY_MB",   "MAX_EXTENSION_MB",
                             "MAX_REDUCTION_MB", "PCT_UTILIZED",  "MAX_PCT_UTILIZED",
                             "PHYSICAL_VOLUMES", "CACHE_HIT_PCT", "CACHE_WAIT_PCT"};

// "'2026-03-0d 00:00:00'" for a day of March 2026.
std::string March(int day) {
  return "'2026-03-" + std::string(day < 10 ? "0" : "") + std::to_string(day) + " 00:00:00'";
}

class ForecastTest : public ::testing::TestWithParam<Destination> {
 protected:
  // One database per destination for the whole suite, emptied before each test: the schema
  // takes seconds to create.
  void SetUp() override {
    static std::map<Destination, ScratchDatabase> databases;
    auto found = databases.find(GetParam());
    if (found == databases.end()) {
      ScratchDatabase db = CreateScratchDatabase(GetParam(), "fcast");
      RunSqlScript(db, SourcePath(SchemaFile(GetParam())));
      found = databases.emplace(GetParam(), db).first;
    }
    db_ = found->second;
    std::string clear;
    for (const char* table : {"DB", "FILESPACES", "NODES", "SIMUL_ACTIVITY"}) {
      clear += std::string("DELETE FROM ") + table + "; DELETE FROM " + table + "_F; ";
    }
    Exec(clear);
    record_ = std::make_unique<TestRecord>(db_.dsn, db_.uid, db_.pwd);
    engine_.SetTrace(3, trace_.string());
    engine_.SetDBType("Unknown");
  }

  std::int16_t Forecast(const std::string& table, const Columns& select, const Columns& fc,
                        const Columns& order, const Columns& forecast_table, std::int16_t days,
                        std::int16_t window) {
    return engine_.Forecast2CopyTable(select, fc, order, forecast_table, kServer, table, days,
                                      window, *record_);
  }
  // DB with the lists the load sequence passes.
  std::int16_t ForecastDb(std::int16_t window, const Columns& fc = kDbForecast) {
    return Forecast("DB", {"EXTRACT_DATE"}, fc, {"EXTRACT_DATE"}, {"DAYS_TO_FORECAST"}, 10, window);
  }
  // DB snapshots of March 1 to 10: AVAIL_SPACE_MB 100 + 10·(day - 1), CAPACITY_MB 500, the
  // other forecast columns NULL. Another server's rows must not count.
  void FillDb() {
    std::string values;
    for (int day = 1; day <= 10; ++day) {
      values += std::string(day > 1 ? ", " : "") + "('VLT''1', " + March(day) + ", " +
                std::to_string(90 + 10 * day) + ", 500), ('OTHER', " + March(day) + ", 7, 7)";
    }
    Exec("INSERT INTO DB (EXT_SERVER_NAME, EXTRACT_DATE, AVAIL_SPACE_MB, CAPACITY_MB) VALUES " +
         values);
  }
  void Exec(const std::string& sql) { ExecuteOnDestination(db_, sql); }
  long long Count(const std::string& table, const std::string& condition = "1 = 1") {
    return QueryNumber(db_, "SELECT COUNT(*) FROM " + table + " WHERE " + condition);
  }
  double Number(const std::string& sql) {
    std::string text = QueryWithClient(db_, sql);
    try {
      return std::stod(text);
    } catch (const std::exception&) {
      ADD_FAILURE() << "not a number: '" << text << "' from " << sql;
      return 0;
    }
  }
  std::string Query(const std::string& sql) { return QueryWithClient(db_, sql); }
  bool Traced(const std::string& line) {
    std::vector<std::string> lines = ReadLines(trace_);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  FixedClock clock_{*ParseTimestampText(kNow)};
  ScopedClock scoped_clock_{clock_};
  ScratchDatabase db_;
  std::unique_ptr<TestRecord> record_;
  std::filesystem::path trace_ =
      kelvan::testing::OdbcSandbox::Instance().MakeTempDir("fcasttrace") / "run.htm";
  QbObj engine_;
};

TEST_P(ForecastTest, FirstRunStartsAFullWindowAfterTheFirstDateAndCatchesUp) {
  FillDb();
  ASSERT_EQ(ForecastDb(3), 0);
  // March 1 + 3 days = March 4, then one row per day to today, each numbered 2.
  EXPECT_EQ(Query("SELECT EXTRACT_DATE, PSEUDO_INDEX, DAYS_TO_FORECAST FROM DB_F ORDER BY "
                  "EXTRACT_DATE"),
            "2026-03-04 00:00:00\t2\t10\n2026-03-05 00:00:00\t2\t10\n"
            "2026-03-06 00:00:00\t2\t10\n2026-03-07 00:00:00\t2\t10\n"
            "2026-03-08 00:00:00\t2\t10\n2026-03-09 00:00:00\t2\t10\n"
            "2026-03-10 00:00:00\t2\t10\n");
  EXPECT_EQ(Count("DB_F", "EXT_SERVER_NAME = 'VLT''1'"), 7);
  // March 10: window March 7..10 at x 0..3 holds 160..190: slope 10, intercept 160,
  // forecast 160 + 10·10.
  std::string march10 = " FROM DB_F WHERE EXTRACT_DATE = " + March(10);
  EXPECT_DOUBLE_EQ(Number("SELECT F_AVAIL_SPACE_MB" + march10), 260);
  EXPECT_DOUBLE_EQ(Number("SELECT I_AVAIL_SPACE_MB" + march10), 160);
  EXPECT_DOUBLE_EQ(Number("SELECT S_AVAIL_SPACE_MB" + march10), 10);
  EXPECT_NEAR(Number("SELECT C_AVAIL_SPACE_MB" + march10), 1, 1e-12);
  // A constant column: slope 0, intercept and forecast the constant, confidence unknown.
  EXPECT_DOUBLE_EQ(Number("SELECT F_CAPACITY_MB" + march10), 500);
  EXPECT_DOUBLE_EQ(Number("SELECT S_CAPACITY_MB" + march10), 0);
  EXPECT_EQ(Count("DB_F", "C_CAPACITY_MB IS NULL"), 7);
  // Columns without any value are written as unknown, not as zeros.
  EXPECT_EQ(Count("DB_F", "F_PCT_UTILIZED IS NULL AND I_CACHE_WAIT_PCT IS NULL"), 7);
  EXPECT_TRUE(Traced("Forecast Start Date = 2026-03-04 00:00:00"));
  EXPECT_TRUE(Traced("Forecast 7 Records Table: DB (12:00:00)"));
}

TEST_P(ForecastTest, SecondRunOnTheSameDayReplacesOnlyTodaysRows) {
  FillDb();
  ASSERT_EQ(ForecastDb(3), 0);
  Exec("UPDATE DB SET AVAIL_SPACE_MB = 0 WHERE EXT_SERVER_NAME = 'VLT''1' AND EXTRACT_DATE = " +
       March(10));
  ASSERT_EQ(ForecastDb(3), 0);
  EXPECT_EQ(Count("DB_F"), 7);
  // March 10 refitted over 160, 170, 180, 0 at x 0..3: Σx 6, Σx² 14, Σy 510, Σxy 530;
  // slope (4·530 − 6·510)/(4·14 − 36) = −47, intercept 127.5 + 1.5·47 = 198.
  EXPECT_DOUBLE_EQ(Number("SELECT S_AVAIL_SPACE_MB FROM DB_F WHERE EXTRACT_DATE = " + March(10)),
                   -47);
  EXPECT_DOUBLE_EQ(Number("SELECT I_AVAIL_SPACE_MB FROM DB_F WHERE EXTRACT_DATE = " + March(10)),
                   198);
  EXPECT_DOUBLE_EQ(Number("SELECT S_AVAIL_SPACE_MB FROM DB_F WHERE EXTRACT_DATE = " + March(9)),
                   10);
  EXPECT_TRUE(Traced("Forecast2CopyTable: Deleted 1 rows from DB_F table."));
  EXPECT_TRUE(Traced("Forecast 1 Records Table: DB (12:00:00)"));
}

TEST_P(ForecastTest, NothingToForecastWritesNothing) {
  struct Situation {
    std::vector<int> days;  // of March, one DB snapshot each
    std::string line;
  };
  const Situation situations[] = {
      {{}, "No recoreds available in table: DB"},
      {{4, 4}, "No forecast data available in the table: DB"},
      {{4, 6}, "Sample set too small to perform forecast calculations: DB"},  // 4 + 3 > 6
  };
  for (const Situation& s : situations) {
    Exec("DELETE FROM DB");
    for (int day : s.days) {
      Exec("INSERT INTO DB (EXT_SERVER_NAME, EXTRACT_DATE, AVAIL_SPACE_MB) VALUES ('VLT''1', " +
           March(day) + ", 1)");
    }
    ASSERT_EQ(ForecastDb(3), 0) << s.line;
    EXPECT_TRUE(Traced(s.line));
    EXPECT_EQ(Count("DB_F"), 0) << s.line;
  }
  EXPECT_TRUE(Traced("Forecast2CopyTable: No Forecast for: DB"));
}

TEST_P(ForecastTest, FileSpacesGetOneRowPerFileSpaceAndDay) {
  // Day d = 0..3 is March 7..10. /a: CAPACITY 1000 + 50d, PCT_UTIL 10 + d. /b'q: CAPACITY
  // 2000 - 100d, PCT_UTIL 24 + 3d but NULL on d = 1.
  std::string sql;
  for (int d = 0; d < 4; ++d) {
    std::string date = March(7 + d);
    std::string pct = d == 1 ? "NULL" : std::to_string(24 + 3 * d);
    sql +=
        "INSERT INTO FILESPACES (EXT_SERVER_NAME, EXTRACT_DATE, NODE_NAME, FILESPACE_NAME, "
        "CAPACITY, PCT_UTIL) VALUES ('VLT''1', " +
        date + ", 'N1', '/a', " + std::to_string(1000 + 50 * d) + ", " + std::to_string(10 + d) +
        "), ('VLT''1', " + date + ", 'N1', '/b''q', " + std::to_string(2000 - 100 * d) + ", " +
        pct + ");";
  }
  Exec(sql);
  ASSERT_EQ(Forecast("FILESPACES", {"NODE_NAME", "FILESPACE_NAME", "EXTRACT_DATE"},
                     {"CAPACITY", "PCT_UTIL"}, {"NODE_NAME", "FILESPACE_NAME", "EXTRACT_DATE"},
                     {"NODE_NAME", "FILESPACE_NAME", "DAYS_TO_FORECAST"}, 7, 2),
            0);
  // Forecast dates March 9 and 10, each day's rows numbered 2, 3 in key order.
  EXPECT_EQ(Query("SELECT EXTRACT_DATE, PSEUDO_INDEX, NODE_NAME, FILESPACE_NAME, "
                  "DAYS_TO_FORECAST FROM FILESPACES_F ORDER BY EXTRACT_DATE, PSEUDO_INDEX"),
            "2026-03-09 00:00:00\t2\tN1\t/a\t7\n2026-03-09 00:00:00\t3\tN1\t/b'q\t7\n"
            "2026-03-10 00:00:00\t2\tN1\t/a\t7\n2026-03-10 00:00:00\t3\tN1\t/b'q\t7\n");
  auto fitted = [&](const char* column, int day, const char* file_space) {
    return Number(std::string("SELECT ") + column + " FROM FILESPACES_F WHERE EXTRACT_DATE = " +
                  March(day) + " AND FILESPACE_NAME = '" + file_space + "'");
  };
  // March 10, window d 1..3 at x 0..2: /a capacity slope 50, intercept 1050, forecast
  // 1050 + 7·50; /b'q capacity slope -100, intercept 1900, forecast 1200. /b'q PCT_UTIL has x 1
  // → 30 and x 2 → 33 only: slope 3, intercept 27, forecast 48. March 9 (d 0..2): x 0 → 24,
  // x 2 → 30: slope 3, intercept 24, forecast 45.
  EXPECT_DOUBLE_EQ(fitted("F_CAPACITY", 10, "/a"), 1400);
  EXPECT_DOUBLE_EQ(fitted("I_CAPACITY", 10, "/b''q"), 1900);
  EXPECT_DOUBLE_EQ(fitted("F_CAPACITY", 10, "/b''q"), 1200);
  EXPECT_DOUBLE_EQ(fitted("S_PCT_UTIL", 10, "/b''q"), 3);
  EXPECT_DOUBLE_EQ(fitted("F_PCT_UTIL", 10, "/b''q"), 48);
  EXPECT_DOUBLE_EQ(fitted("F_PCT_UTIL", 9, "/b''q"), 45);
  EXPECT_DOUBLE_EQ(fitted("F_PCT_UTIL", 9, "/a"), 17);  // intercept 10, slope 1
}

TEST_P(ForecastTest, NodesAreCountedPerExtractionDate) {
  // 2 nodes on March 8, 3 on March 9, 5 on March 10, and one of another server.
  const std::pair<int, int> days[] = {{8, 2}, {9, 3}, {10, 5}};
  std::string sql = "INSERT INTO NODES (EXT_SERVER_NAME, EXTRACT_DATE, NODE_NAME) VALUES ('X', " +
                    March(9) + ", 'N9')";
  for (auto [day, nodes] : days) {
    for (int i = 0; i < nodes; ++i) {
      sql += ", ('VLT''1', " + March(day) + ", 'N" + std::to_string(i) + "')";
    }
  }
  Exec(sql);
  ASSERT_EQ(Forecast("NODES", {"EXTRACT_DATE"}, {"NODE_COUNT"}, {"EXTRACT_DATE"},
                     {"DAYS_TO_FORECAST"}, 4, 2),
            0);
  EXPECT_TRUE(Traced(
      "Running the following query[203]: SELECT count(*) as NODE_COUNT,EXTRACT_DATE FROM NODES "
      "WHERE EXT_SERVER_NAME = 'VLT''1' AND EXTRACT_DATE BETWEEN '2026-03-08 00:00:00' AND "
      "'2026-03-10 00:00:00' GROUP BY EXTRACT_DATE Order By EXTRACT_DATE"));
  // Counts 2, 3, 5 at x 0, 1, 2: Σx 3, Σx² 5, Σy 10, Σy² 38, Σxy 13; slope (39 − 30)/6 = 1.5,
  // intercept 10/3 − 1.5 = 11/6, forecast 11/6 + 4·1.5 = 47/6, confidence 9/√(6·14).
  ASSERT_EQ(Count("NODES_F"), 1);
  EXPECT_NEAR(Number("SELECT F_NODE_COUNT FROM NODES_F"), 47.0 / 6, 1e-9);
  EXPECT_NEAR(Number("SELECT I_NODE_COUNT FROM NODES_F"), 11.0 / 6, 1e-9);
  EXPECT_NEAR(Number("SELECT C_NODE_COUNT FROM NODES_F"), 9 / std::sqrt(84.0), 1e-9);
}

TEST_P(ForecastTest, SimultaneousActivityForecastsTheDailyTapeMountPeak) {
  // Tape-mount peaks 1, 2, 3 on March 8, 9, 10; the session counts (up to 9) do not count.
  const char* rows[] = {"8, 'TAPE MOUNT', 1", "8, 'SESSION', 9",     "9, 'TAPE MOUNT', 1",
                        "9, 'TAPE MOUNT', 2", "10, 'TAPE MOUNT', 3", "10, 'SESSION', 4"};
  std::string sql;
  for (const char* row : rows) {
    std::string text = row;
    int day = std::stoi(text);
    sql +=
        "INSERT INTO SIMUL_ACTIVITY (EXT_SERVER_NAME, EXTRACT_DATE, ACTIVITY, ACTIVITY_COUNT) "
        "VALUES ('VLT''1', " +
        March(day) + text.substr(text.find(',')) + ");";
  }
  Exec(sql);
  ASSERT_EQ(Forecast("SIMUL_ACTIVITY", {"EXTRACT_DATE"}, {"TM_COUNT"}, {"EXTRACT_DATE"},
                     {"DAYS_TO_FORECAST"}, 4, 2),
            0);
  // Peaks 1, 2, 3 at x 0..2: slope 1, intercept 1, forecast 1 + 4.
  EXPECT_DOUBLE_EQ(Number("SELECT F_TM_COUNT FROM SIMUL_ACTIVITY_F"), 5);
  EXPECT_DOUBLE_EQ(Number("SELECT S_TM_COUNT FROM SIMUL_ACTIVITY_F"), 1);
}

TEST_P(ForecastTest, RowsThatCannotBeInsertedAreCountedAndTheRunGoesOn) {
  FillDb();
  // DB_F has no columns for BUFFER_REQUESTS: every INSERT fails.
  ASSERT_EQ(ForecastDb(3, {"AVAIL_SPACE_MB", "BUFFER_REQUESTS"}), 0);
  EXPECT_EQ(Count("DB_F"), 0);
  EXPECT_TRUE(Traced("Forecast 0 Records Table: DB (12:00:00)"));
  EXPECT_TRUE(Traced("Insert Error Count 7 Table: DB"));
  std::string trace = ReadFile(trace_);
  EXPECT_NE(trace.find("Insert Record Error: ["), std::string::npos);
  EXPECT_NE(trace.find("RECORD: 'VLT''1',2,'2026-03-04 00:00:00',10,200,100,10,1,"),
            std::string::npos);
}

// Rows go in batches: the one row the database rejects is left out alone, traced and counted.
TEST_P(ForecastTest, ARejectedRowIsLeftOutAloneAndCounted) {
  FillDb();
  bool sqlite = GetParam() == Destination::kSqlite;
  Exec(sqlite ? "CREATE TRIGGER REJECTS BEFORE INSERT ON DB_F WHEN NEW.EXTRACT_DATE = "
                "'2026-03-06 00:00:00' BEGIN SELECT RAISE(ABORT, 'rejected'); END;"
              : "ALTER TABLE DB_F ADD CONSTRAINT REJECTS CHECK (EXTRACT_DATE <> "
                "'2026-03-06 00:00:00')");
  engine_.SetTrace(1, trace_.string());  // the insert texts not traced are made for the repeats
  std::int16_t result = ForecastDb(3);
  Exec(sqlite ? "DROP TRIGGER REJECTS" : "ALTER TABLE DB_F DROP CONSTRAINT REJECTS");
  ASSERT_EQ(result, 0);
  EXPECT_EQ(Count("DB_F"), 6);
  EXPECT_EQ(Count("DB_F", "EXTRACT_DATE = '2026-03-06 00:00:00'"), 0);
  EXPECT_TRUE(Traced("Forecast 6 Records Table: DB (12:00:00)"));
  EXPECT_TRUE(Traced("Insert Error Count 1 Table: DB"));
  EXPECT_NE(ReadFile(trace_).find("Insert Record Error: ["), std::string::npos);
  EXPECT_NE(ReadFile(trace_).find("Previous message =  Insert Command: INSERT INTO DB_F "
                                  "(EXT_SERVER_NAME, PSEUDO_INDEX, EXTRACT_DATE,DAYS_TO_FORECAST,"
                                  "F_AVAIL_SPACE_MB,"),
            std::string::npos);
  EXPECT_NE(ReadFile(trace_).find("RECORD: 'VLT''1',2,'2026-03-06 00:00:00',10,"),
            std::string::npos);
}

TEST_P(ForecastTest, FailedSampleQueryIsRaisedUnderTheOperationsName) {
  FillDb();
  try {
    ForecastDb(3, {"NO_SUCH_COLUMN"});
    FAIL() << "no failure raised";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.Source().rfind("Qobra.QbObj.Forecast2CopyTable:", 0), 0u) << e.Source();
  }
  EXPECT_TRUE(Traced("DB failure on DB select unique cases."));
  EXPECT_NE(ReadFile(trace_).find("\r\nError in Forecast2CopyTable: "), std::string::npos);
  if (!db_.pwd.empty()) {
    EXPECT_EQ(ReadFile(trace_).find(db_.pwd), std::string::npos);
  }
}

TEST_P(ForecastTest, QobraForecastCommandTakesTheListsAsCommaSeparatedNames) {
  FillDb();
  std::vector<std::string> args = {"forecast",
                                   "--server",
                                   kServer,
                                   "--table",
                                   "DB",
                                   "--days-forward",
                                   "10",
                                   "--sample-size",
                                   "3",
                                   "--select-columns",
                                   "EXTRACT_DATE",
                                   "--forecast-columns",
                                   "AVAIL_SPACE_MB, CAPACITY_MB",
                                   "--order-columns",
                                   "EXTRACT_DATE",
                                   "--forecast-table-columns",
                                   "DAYS_TO_FORECAST",
                                   "--dest-dsn",
                                   db_.dsn,
                                   "--dest-uid",
                                   db_.uid,
                                   "--dest-pwd",
                                   db_.pwd};
  std::ostringstream out, err;
  ASSERT_EQ(RunQobra(args, out, err), 0) << err.str();
  EXPECT_EQ(out.str(), "Forecast2CopyTable DB: result 0\n");
  EXPECT_EQ(Count("DB_F", "F_CAPACITY_MB = 500"), 7);

  args[6] = "-1";
  EXPECT_EQ(RunQobra(args, out, err), kQobraExitUsage);
  EXPECT_NE(err.str().find("--days-forward must be a whole number"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Destinations, ForecastTest,
                         ::testing::Values(Destination::kSqlite, Destination::kPostgres,
                                           Destination::kMariaDb),
                         [](const auto& info) { return DestinationName(info.param); });

}  // namespace
}  // namespace kelvan::engine::testing
