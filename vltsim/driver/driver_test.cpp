// The stand-in VLT driver as applications reach it: through the driver manager, with ODBC 2
// allocation as the engine uses it and with ODBC 3 allocation.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <sqlite3.h>

#include "tests/support/odbc_sandbox.h"
#include "tests/support/test_names.h"
#include "vltsim/driver/driver_test_support.h"

namespace kelvan::vltsim::testing {
namespace {

namespace fs = std::filesystem;
using kelvan::testing::kVltDriver;
using kelvan::testing::OdbcSandbox;

constexpr const char* kUser = "vltuser";
constexpr const char* kPassword = "vlt-pw-9";
// Data sources: one with credentials and an older driver ODBC version, one open.
constexpr const char* kSecuredDsn = "VLTTEST";
constexpr const char* kOpenDsn = "VLTOPEN";

// 300 characters: "0123456789" thirty times.
std::string LongText() {
  std::string text;
  for (int i = 0; i < 30; ++i) text += "0123456789";
  return text;
}

// SUMMARY holds ten hourly rows, END_TIME 2026-12-05 20:00:00 to 2026-12-06 05:00:00, with
// ACTIVITY 'A0' to 'A9'; six of them are at or after 2026-12-06 00:00:00.
std::string SourceScript() {
  std::string script =
      "CREATE TABLE TYPES(TS TIMESTAMP, D DATE, T TIME, I INTEGER, S SMALLINT, F FLOAT, "
      "R REAL, DB DOUBLE, DC DECIMAL(12,2), N NUMERIC(10), V VARCHAR(32), C CHAR(3));"
      "INSERT INTO TYPES VALUES('2026-12-06 13:45:07.250', '2026-12-06', '13:45:07', "
      "2147483647, -32768, 1.5, 2.25, -3.125, '1234.56', 42, 'hello', 'abc');"
      "INSERT INTO TYPES VALUES(NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, NULL, "
      "NULL, NULL);"
      "CREATE TABLE SUMMARY(START_TIME TIMESTAMP, END_TIME TIMESTAMP, ACTIVITY VARCHAR(16));"
      "CREATE TABLE NOTES(MESSAGE VARCHAR(400));"
      "INSERT INTO NOTES VALUES('" +
      LongText() + "');";
  const char* hours[] = {"2026-12-05 20", "2026-12-05 21", "2026-12-05 22", "2026-12-05 23",
                         "2026-12-06 00", "2026-12-06 01", "2026-12-06 02", "2026-12-06 03",
                         "2026-12-06 04", "2026-12-06 05"};
  for (int i = 0; i < 10; ++i) {
    script += std::string("INSERT INTO SUMMARY VALUES('") + hours[i] + ":00:00', '" + hours[i] +
              ":00:00', 'A" + std::to_string(i) + "');";
  }
  return script;
}

class DriverTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    OdbcSandbox& sandbox = OdbcSandbox::Instance();
    dir_ = sandbox.MakeTempDir("vltsource");
    database_ = dir_ / "vlt.db";
    RunSqlite(database_, SourceScript());
    sandbox.AddDataSource(kSecuredDsn, kVltDriver,
                          {{"Database", database_.string()},
                           {"UID", kUser},
                           {"PWD", kPassword},
                           {"DriverOdbcVer", "03.01"}});
    sandbox.AddDataSource(kOpenDsn, kVltDriver, {{"Database", database_.string()}});
  }

  static std::string Secured(const std::string& extra = "") {
    return std::string("DSN=") + kSecuredDsn + ";UID=" + kUser + ";PWD=" + kPassword + ";" + extra;
  }
  static std::string Open(const std::string& extra = "") {
    return std::string("DSN=") + kOpenDsn + ";" + extra;
  }

  static fs::path dir_;
  static fs::path database_;
};

fs::path DriverTest::dir_;
fs::path DriverTest::database_;

void ExpectConnected(TestClient& client, const std::string& connect_string) {
  Outcome outcome = client.Connect(connect_string);
  ASSERT_EQ(outcome.rc, SQL_SUCCESS) << outcome.state << " " << outcome.message;
}

// ---- Column descriptions ------------------------------------------------------------------

struct DescribeCase {
  const char* name;
  SQLSMALLINT odbc2_type;
  SQLSMALLINT odbc3_type;
  SQLULEN size;
  SQLSMALLINT digits;
};

class DescribeColTest : public DriverTest, public ::testing::WithParamInterface<OdbcVersion> {};

TEST_P(DescribeColTest, ReportsDeclaredTypesPerApplicationVersion) {
  const DescribeCase expected[] = {{"TS", 11, 93, 19, 0}, {"D", 9, 91, 10, 0},  {"T", 10, 92, 8, 0},
                                   {"I", 4, 4, 10, 0},    {"S", 5, 5, 5, 0},    {"F", 6, 6, 15, 0},
                                   {"R", 7, 7, 7, 0},     {"DB", 8, 8, 15, 0},  {"DC", 3, 3, 12, 2},
                                   {"N", 2, 2, 10, 0},    {"V", 12, 12, 32, 0}, {"C", 1, 1, 3, 0}};
  TestClient client(GetParam());
  ExpectConnected(client, Secured());
  ASSERT_EQ(client.Exec("SELECT * FROM TYPES").rc, SQL_SUCCESS);
  SQLSMALLINT count = 0;
  SQLNumResultCols(client.stmt(), &count);
  ASSERT_EQ(count, 12);
  for (SQLUSMALLINT i = 1; i <= 12; ++i) {
    const DescribeCase& want = expected[i - 1];
    std::array<SQLCHAR, 64> name{};
    SQLSMALLINT name_length = 0, type = 0, digits = -1, nullable = -1;
    SQLULEN size = 0;
    ASSERT_EQ(SQLDescribeCol(client.stmt(), i, name.data(), name.size(), &name_length, &type, &size,
                             &digits, &nullable),
              SQL_SUCCESS);
    EXPECT_STREQ(reinterpret_cast<char*>(name.data()), want.name);
    EXPECT_EQ(type, GetParam() == OdbcVersion::kOdbc2 ? want.odbc2_type : want.odbc3_type)
        << want.name;
    EXPECT_EQ(size, want.size) << want.name;
    EXPECT_EQ(digits, want.digits) << want.name;
  }
}

INSTANTIATE_TEST_SUITE_P(Versions, DescribeColTest,
                         ::testing::Values(OdbcVersion::kOdbc2, OdbcVersion::kOdbc3),
                         [](const auto& info) {
                           return info.param == OdbcVersion::kOdbc2 ? "Odbc2" : "Odbc3";
                         });

// Expressions have no declared type: they are typed by their first value.
TEST_F(DriverTest, ComputedColumnsTakeTheTypeOfTheirValue) {
  TestClient client(OdbcVersion::kOdbc2);
  ExpectConnected(client, Secured());
  ASSERT_EQ(client
                .Exec("SELECT max(END_TIME) AS LAST_DATE, COUNT (*) as RecNo, "
                      "'x' || ACTIVITY AS TAG FROM SUMMARY")
                .rc,
            SQL_SUCCESS);
  SQLSMALLINT types[3] = {};
  SQLULEN sizes[3] = {};
  for (SQLUSMALLINT i = 1; i <= 3; ++i) {
    SQLDescribeCol(client.stmt(), i, nullptr, 0, nullptr, &types[i - 1], &sizes[i - 1], nullptr,
                   nullptr);
  }
  EXPECT_EQ(types[0], SQL_TIMESTAMP);
  EXPECT_EQ(types[1], SQL_INTEGER);
  EXPECT_EQ(types[2], SQL_VARCHAR);
  EXPECT_EQ(sizes[2], 255u);
  ASSERT_EQ(client.Fetch().rc, SQL_SUCCESS);
  TIMESTAMP_STRUCT last{};
  SQLINTEGER count = 0;
  SQLLEN indicator = 0;
  ASSERT_EQ(SQLGetData(client.stmt(), 1, SQL_C_TIMESTAMP, &last, 0, &indicator), SQL_SUCCESS);
  EXPECT_EQ(last.day, 6);
  EXPECT_EQ(last.hour, 5);
  ASSERT_EQ(SQLGetData(client.stmt(), 2, SQL_C_LONG, &count, 0, &indicator), SQL_SUCCESS);
  EXPECT_EQ(count, 10);
}

// ---- SQLGetData ---------------------------------------------------------------------------

TEST_F(DriverTest, GetDataConvertsToEachCType) {
  TestClient client(OdbcVersion::kOdbc2);
  ExpectConnected(client, Secured());
  ASSERT_EQ(client.Exec("SELECT TS, D, T, I, S, F, R, DB, DC, V FROM TYPES WHERE I IS NOT NULL").rc,
            SQL_SUCCESS);
  ASSERT_EQ(client.Fetch().rc, SQL_SUCCESS);
  SQLHSTMT stmt = client.stmt();
  SQLLEN ind = 0;
  TIMESTAMP_STRUCT ts{};
  ASSERT_EQ(SQLGetData(stmt, 1, SQL_C_TIMESTAMP, &ts, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(ind, static_cast<SQLLEN>(sizeof ts));
  EXPECT_EQ(ts.year, 2026);
  EXPECT_EQ(ts.month, 12);
  EXPECT_EQ(ts.day, 6);
  EXPECT_EQ(ts.hour, 13);
  EXPECT_EQ(ts.minute, 45);
  EXPECT_EQ(ts.second, 7);
  EXPECT_EQ(ts.fraction, 250000000u);
  DATE_STRUCT date{};
  ASSERT_EQ(SQLGetData(stmt, 2, SQL_C_DATE, &date, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(date.year * 10000 + date.month * 100 + date.day, 20261206);
  TIME_STRUCT time{};
  ASSERT_EQ(SQLGetData(stmt, 3, SQL_C_TIME, &time, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(time.hour * 10000 + time.minute * 100 + time.second, 134507);
  SQLINTEGER integer = 0;
  ASSERT_EQ(SQLGetData(stmt, 4, SQL_C_DEFAULT, &integer, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(integer, 2147483647);
  SQLSMALLINT small = 0;
  ASSERT_EQ(SQLGetData(stmt, 5, SQL_C_SHORT, &small, 0, &ind), SQL_SUCCESS);
  EXPECT_EQ(small, -32768);
  SQLDOUBLE real_double = 0;
  ASSERT_EQ(SQLGetData(stmt, 6, SQL_C_DOUBLE, &real_double, 0, &ind), SQL_SUCCESS);
  EXPECT_DOUBLE_EQ(real_double, 1.5);
  SQLREAL real_float = 0;
  ASSERT_EQ(SQLGetData(stmt, 7, SQL_C_FLOAT, &real_float, 0, &ind), SQL_SUCCESS);
  EXPECT_FLOAT_EQ(real_float, 2.25f);
  ASSERT_EQ(SQLGetData(stmt, 8, SQL_C_DOUBLE, &real_double, 0, &ind), SQL_SUCCESS);
  EXPECT_DOUBLE_EQ(real_double, -3.125);
  std::array<char, 32> text{};
  ASSERT_EQ(SQLGetData(stmt, 9, SQL_C_CHAR, text.data(), text.size(), &ind), SQL_SUCCESS);
  EXPECT_STREQ(text.data(), "1234.56");
  EXPECT_EQ(ind, 7);
  ASSERT_EQ(SQLGetData(stmt, 10, SQL_C_DEFAULT, text.data(), text.size(), &ind), SQL_SUCCESS);
  EXPECT_STREQ(text.data(), "hello");
}

TEST_F(DriverTest, NullReadsAsNullIndicatorInEveryCType) {
  TestClient client(OdbcVersion::kOdbc2);
  ExpectConnected(client, Secured());
  ASSERT_EQ(client.Exec("SELECT TS, D, T, I, S, F, R, V FROM TYPES WHERE I IS NULL").rc,
            SQL_SUCCESS);
  ASSERT_EQ(client.Fetch().rc, SQL_SUCCESS);
  const SQLSMALLINT c_types[] = {SQL_C_TIMESTAMP, SQL_C_DATE,   SQL_C_TIME,  SQL_C_LONG,
                                 SQL_C_SHORT,     SQL_C_DOUBLE, SQL_C_FLOAT, SQL_C_CHAR};
  for (SQLUSMALLINT i = 1; i <= 8; ++i) {
    std::array<char, 64> buffer{};
    SQLLEN ind = 0;
    EXPECT_EQ(SQLGetData(client.stmt(), i, c_types[i - 1], buffer.data(), buffer.size(), &ind),
              SQL_SUCCESS)
        << i;
    EXPECT_EQ(ind, SQL_NULL_DATA) << i;
  }
  EXPECT_EQ(client.Fetch().rc, SQL_NO_DATA);
}

TEST_F(DriverTest, ConversionFailuresReportTheirStates) {
  TestClient client(OdbcVersion::kOdbc3);
  ExpectConnected(client, Secured());
  ASSERT_EQ(client.Exec("SELECT V, V, I FROM TYPES WHERE I IS NOT NULL").rc, SQL_SUCCESS);
  ASSERT_EQ(client.Fetch().rc, SQL_SUCCESS);
  SQLLEN ind = 0;
  SQLINTEGER integer = 0;
  EXPECT_EQ(client.Diagnose(SQLGetData(client.stmt(), 1, SQL_C_LONG, &integer, 0, &ind)).state,
            "22018");
  TIMESTAMP_STRUCT ts{};
  EXPECT_EQ(client.Diagnose(SQLGetData(client.stmt(), 2, SQL_C_TIMESTAMP, &ts, 0, &ind)).state,
            "22007");
  SQLSMALLINT small = 0;
  EXPECT_EQ(client.Diagnose(SQLGetData(client.stmt(), 3, SQL_C_SHORT, &small, 0, &ind)).state,
            "22003");
}

TEST_F(DriverTest, LongTextComesInPiecesThenNoData) {
  TestClient client(OdbcVersion::kOdbc2);
  ExpectConnected(client, Secured());
  ASSERT_EQ(client.Exec("SELECT MESSAGE FROM NOTES").rc, SQL_SUCCESS);
  ASSERT_EQ(client.Fetch().rc, SQL_SUCCESS);
  std::string text = LongText();
  std::array<char, 256> buffer{};
  SQLLEN ind = 0;
  Outcome first =
      client.Diagnose(SQLGetData(client.stmt(), 1, SQL_C_CHAR, buffer.data(), buffer.size(), &ind));
  EXPECT_EQ(first.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(first.state, "01004");
  EXPECT_EQ(ind, 300);
  EXPECT_EQ(std::string(buffer.data()), text.substr(0, 255));
  ASSERT_EQ(SQLGetData(client.stmt(), 1, SQL_C_CHAR, buffer.data(), buffer.size(), &ind),
            SQL_SUCCESS);
  EXPECT_EQ(ind, 45);
  EXPECT_EQ(std::string(buffer.data()), text.substr(255));
  EXPECT_EQ(SQLGetData(client.stmt(), 1, SQL_C_CHAR, buffer.data(), buffer.size(), &ind),
            SQL_NO_DATA);
}

// ---- Escapes ------------------------------------------------------------------------------

TEST_F(DriverTest, DateTimeEscapesSelectRows) {
  TestClient client(OdbcVersion::kOdbc2);
  ExpectConnected(client, Secured());
  EXPECT_EQ(client
                .Rows("SELECT * from SUMMARY where END_TIME >= {ts '2026-12-06 00:00:00'} "
                      "order by END_TIME")
                .size(),
            6u);
  auto by_date = client.Rows("SELECT I FROM TYPES WHERE D = {d '2026-12-06'}");
  ASSERT_EQ(by_date.size(), 1u);
  EXPECT_EQ(by_date[0][0], "2147483647");
  EXPECT_EQ(client.Rows("SELECT I FROM TYPES WHERE T = {t '13:45:07'}").size(), 1u);
}

TEST_F(DriverTest, NativeSqlTranslatesWithoutTouchingItsInput) {
  TestClient client(OdbcVersion::kOdbc2);
  ExpectConnected(client, Secured());
  // A literal lives in read-only memory: a driver writing into its input would crash here.
  const char* escape = "{ts '2026-12-06 00:00:00'}";
  auto* input = const_cast<SQLCHAR*>(reinterpret_cast<const SQLCHAR*>(escape));
  std::array<SQLCHAR, 256> out{};
  SQLINTEGER length = 0;
  ASSERT_EQ(SQLNativeSql(client.dbc(), input, static_cast<SQLINTEGER>(std::strlen(escape)),
                         out.data(), out.size(), &length),
            SQL_SUCCESS);
  EXPECT_STREQ(reinterpret_cast<char*>(out.data()), "'2026-12-06 00:00:00'");
  EXPECT_EQ(length, 21);

  std::array<SQLCHAR, 10> small{};
  Outcome truncated = client.Diagnose(
      SQLNativeSql(client.dbc(), input, SQL_NTS, small.data(), small.size(), &length));
  EXPECT_EQ(truncated.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(truncated.state, "01004");
  EXPECT_EQ(length, 21);
  EXPECT_STREQ(reinterpret_cast<char*>(small.data()), "'2026-12-");
}

// ---- Errors -------------------------------------------------------------------------------

struct StateCase {
  OdbcVersion version;
  const char* sql;
  const char* state;
};

class StatementErrorTest : public DriverTest, public ::testing::WithParamInterface<StateCase> {};

TEST_P(StatementErrorTest, ReportsStateForTheApplicationsVersion) {
  TestClient client(GetParam().version);
  ExpectConnected(client, Secured());
  Outcome outcome = client.Exec(GetParam().sql);
  EXPECT_EQ(outcome.rc, SQL_ERROR);
  EXPECT_EQ(outcome.state, GetParam().state) << outcome.message;
  // The server is read-only whatever was tried.
  EXPECT_EQ(client.Rows("SELECT * FROM SUMMARY").size(), 10u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StatementErrorTest,
    ::testing::Values(StateCase{OdbcVersion::kOdbc2, "SELECT * from OCCUPANCY", "S0002"},
                      StateCase{OdbcVersion::kOdbc3, "SELECT * from OCCUPANCY", "42S02"},
                      StateCase{OdbcVersion::kOdbc3, "SELEC * from SUMMARY", "42000"},
                      StateCase{OdbcVersion::kOdbc2, "SELECT NOSUCH from SUMMARY", "37000"},
                      StateCase{OdbcVersion::kOdbc3, "DELETE FROM SUMMARY", "42000"},
                      StateCase{OdbcVersion::kOdbc3, "SELECT 1; DELETE FROM SUMMARY", "42000"},
                      StateCase{OdbcVersion::kOdbc3, "PRAGMA table_info(SUMMARY)", "42000"}),
    [](const auto& info) {
      return std::string(info.param.version == OdbcVersion::kOdbc2 ? "Odbc2_" : "Odbc3_") +
             kelvan::testing::NameFromText(info.param.sql);
    });

// ---- Connecting ---------------------------------------------------------------------------

struct ConnectCase {
  const char* label;
  std::string connect_string;
  const char* state;  // "" for success
};

class ConnectTest : public DriverTest, public ::testing::WithParamInterface<ConnectCase> {};

TEST_P(ConnectTest, ChecksCredentialsAndDatabase) {
  TestClient client(OdbcVersion::kOdbc3);
  std::string out;
  Outcome outcome = client.Connect(GetParam().connect_string, &out);
  EXPECT_EQ(outcome.state, GetParam().state) << outcome.message;
  EXPECT_EQ(outcome.message.find(kPassword), std::string::npos);
  EXPECT_EQ(outcome.message.find("wrong-pw"), std::string::npos);
  EXPECT_EQ(out.find(kPassword), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConnectTest,
    ::testing::Values(
        ConnectCase{"right", "DSN=VLTTEST;UID=vltuser;PWD=vlt-pw-9", ""},
        ConnectCase{"data_source_credentials", "DSN=VLTTEST", ""},
        ConnectCase{"wrong_user", "DSN=VLTTEST;UID=other;PWD=vlt-pw-9", "28000"},
        ConnectCase{"wrong_password", "DSN=VLTTEST;UID=vltuser;PWD=wrong-pw", "28000"},
        ConnectCase{"open_source_any_user", "DSN=VLTOPEN;UID=x;PWD=wrong-pw", ""},
        ConnectCase{"missing_file", "DSN=VLTOPEN;DATABASE=/nonexistent/vlt.db", "08001"},
        ConnectCase{"refused", "DSN=VLTOPEN;RefuseConnect=1", "08001"}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(DriverTest, RefuseConnectWorksAsDataSourceKey) {
  OdbcSandbox::Instance().AddDataSource("VLTREFUSE", kVltDriver,
                                        {{"Database", database_.string()}, {"RefuseConnect", "1"}});
  TestClient client(OdbcVersion::kOdbc2);
  EXPECT_EQ(client.Connect("DSN=VLTREFUSE").state, "08001");
}

TEST_F(DriverTest, GetInfoReportsConfiguredDriverOdbcVersion) {
  auto driver_odbc_ver = [](const std::string& connect_string) {
    TestClient client(OdbcVersion::kOdbc2);
    ExpectConnected(client, connect_string);
    std::array<char, 16> version{};
    SQLSMALLINT length = 0;
    EXPECT_EQ(
        SQLGetInfo(client.dbc(), SQL_DRIVER_ODBC_VER, version.data(), version.size(), &length),
        SQL_SUCCESS);
    return std::string(version.data());
  };
  EXPECT_EQ(driver_odbc_ver(Secured()), "03.01");
  EXPECT_EQ(driver_odbc_ver(Open()), "03.52");
}

// Applications set these before connecting and before running a query; the server must not
// refuse them, and a query timeout reads back as set.
TEST_F(DriverTest, TimeoutSettingsAreAccepted) {
  TestClient client(OdbcVersion::kOdbc3);
  EXPECT_EQ(
      SQLSetConnectAttr(client.dbc(), SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(15), 0),
      SQL_SUCCESS);
  ExpectConnected(client, Secured());
  EXPECT_EQ(SQLSetStmtAttr(client.Statement(), SQL_ATTR_QUERY_TIMEOUT,
                           reinterpret_cast<SQLPOINTER>(30), 0),
            SQL_SUCCESS);
  SQLULEN timeout = 0;
  EXPECT_EQ(SQLGetStmtAttr(client.stmt(), SQL_ATTR_QUERY_TIMEOUT, &timeout, 0, nullptr),
            SQL_SUCCESS);
  EXPECT_EQ(timeout, 30u);
}

// ---- Fault injection ----------------------------------------------------------------------

TEST_F(DriverTest, FailExecNFailsOnlyThatExecutionOfEachConnection) {
  TestClient first(OdbcVersion::kOdbc2);
  TestClient second(OdbcVersion::kOdbc2, first.env());
  ExpectConnected(first, Open("FailExecN=2"));
  ExpectConnected(second, Open("FailExecN=2"));
  EXPECT_EQ(first.Exec("SELECT 1").rc, SQL_SUCCESS);
  EXPECT_EQ(first.Exec("SELECT 1").state, "08S01");
  EXPECT_EQ(second.Exec("SELECT 1").rc, SQL_SUCCESS);
  EXPECT_EQ(first.Exec("SELECT 1").rc, SQL_SUCCESS);
  EXPECT_EQ(second.Exec("SELECT 1").state, "08S01");
}

TEST_F(DriverTest, FailFetchAfterBreaksTheConnection) {
  TestClient client(OdbcVersion::kOdbc2);
  ExpectConnected(client, Open("FailFetchAfter=3"));
  ASSERT_EQ(client.Exec("SELECT * FROM SUMMARY").rc, SQL_SUCCESS);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(client.Fetch().rc, SQL_SUCCESS) << i;
  Outcome broken = client.Fetch();
  EXPECT_EQ(broken.rc, SQL_ERROR);
  EXPECT_EQ(broken.state, "08S01");
  EXPECT_EQ(client.Exec("SELECT 1").state, "08S01");
  TestClient other(OdbcVersion::kOdbc2);
  ExpectConnected(other, Open("FailFetchAfter=3"));
  EXPECT_EQ(other.Rows("SELECT * FROM SUMMARY WHERE ACTIVITY <= 'A2'").size(), 3u);
}

TEST_F(DriverTest, FetchDelayMsSlowsEveryRow) {
  TestClient client(OdbcVersion::kOdbc2);
  ExpectConnected(client, Open("FetchDelayMs=60"));
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Rows("SELECT * FROM SUMMARY WHERE ACTIVITY < 'A5'").size(), 5u);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
}

// ---- Cancel and query timeout ------------------------------------------------------------

// A hung ODBC call cannot be abandoned: past this the test reports it and ends the process.
constexpr auto kWatchdog = std::chrono::seconds(30);

// Runs `call` on another thread; `meanwhile` runs on this one every 20 ms until the call ends.
Outcome WithinWatchdog(
    const std::function<Outcome()>& call, const std::function<void()>& meanwhile = [] {}) {
  std::packaged_task<Outcome()> task(call);
  std::future<Outcome> outcome = task.get_future();
  std::thread caller(std::move(task));
  const auto give_up = std::chrono::steady_clock::now() + kWatchdog;
  while (outcome.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
    if (std::chrono::steady_clock::now() > give_up) {
      std::fputs("The call still runs after the watchdog's 30 s\n", stderr);
      std::abort();
    }
    meanwhile();
  }
  caller.join();
  return outcome.get();
}

void SetQueryTimeout(SQLHSTMT stmt, SQLULEN seconds) {
  ASSERT_EQ(SQLSetStmtAttr(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(seconds), 0),
            SQL_SUCCESS);
}

void ExpectEndedWith(const Outcome& outcome, const char* state, const char* message) {
  EXPECT_EQ(outcome.rc, SQL_ERROR);
  EXPECT_EQ(outcome.state, state);
  EXPECT_NE(outcome.message.find(message), std::string::npos) << outcome.message;
}

// A query that SQLite would run for ever.
constexpr const char* kEndlessQuery =
    "WITH RECURSIVE N(X) AS (SELECT 1 UNION ALL SELECT X + 1 FROM N) SELECT count(*) FROM N";

struct HangCase {
  const char* name;
  const char* keys;
  const char* sql;
  int rows_first;  // rows fetched before the call that hangs; -1: the execution hangs
};

class HangTest : public DriverTest, public ::testing::WithParamInterface<HangCase> {
 protected:
  // Connects with the case's keys and runs up to the call that hangs, which `call` then runs.
  std::function<Outcome()> ReachTheHang(TestClient& client) {
    ExpectConnected(client, Open(GetParam().keys));
    client.Statement();
    if (GetParam().rows_first < 0) {
      return [&client] { return client.ExecOnStatement(GetParam().sql); };
    }
    EXPECT_EQ(client.ExecOnStatement(GetParam().sql).rc, SQL_SUCCESS);
    for (int i = 0; i < GetParam().rows_first; ++i) EXPECT_EQ(client.Fetch().rc, SQL_SUCCESS);
    return [&client] { return client.Fetch(); };
  }
};

// Cancelled over and over: a cancel that comes before the call starts finds the statement idle
// and is rightly ignored.
TEST_P(HangTest, CancelFromAnotherThreadEndsTheCall) {
  TestClient client(OdbcVersion::kOdbc3);
  std::function<Outcome()> call = ReachTheHang(client);
  ExpectEndedWith(WithinWatchdog(call, [&client] { SQLCancel(client.stmt()); }), "HY008",
                  "Operation canceled");
}

TEST_P(HangTest, QueryTimeoutEndsTheCall) {
  TestClient client(OdbcVersion::kOdbc3);
  std::function<Outcome()> call = ReachTheHang(client);
  SetQueryTimeout(client.stmt(), 1);
  auto start = std::chrono::steady_clock::now();
  ExpectEndedWith(WithinWatchdog(call), "HYT00", "Timeout expired");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, HangTest,
    ::testing::Values(HangCase{"HungExec", "HangAt=exec", "SELECT * FROM SUMMARY", -1},
                      HangCase{"HungFetch", "HangAt=fetch;HangAfterRows=2", "SELECT * FROM SUMMARY",
                               2},
                      HangCase{"EndlessQuery", "", kEndlessQuery, -1},
                      HangCase{"SlowFetch", "FetchDelayMs=3600000", "SELECT * FROM SUMMARY", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// The driver manager itself closes a cursor left open by a cancel; the statement runs again.
TEST_F(DriverTest, CancelOnAnIdleStatementChangesNothing) {
  TestClient client(OdbcVersion::kOdbc3);
  ExpectConnected(client, Open("HangAt=fetch;HangAfterRows=20"));
  SetQueryTimeout(client.Statement(), 30);
  EXPECT_EQ(SQLCancel(client.stmt()), SQL_SUCCESS);
  ASSERT_EQ(client.ExecOnStatement("SELECT * FROM SUMMARY").rc, SQL_SUCCESS);
  EXPECT_EQ(client.Fetch().rc, SQL_SUCCESS);
  EXPECT_EQ(SQLCancel(client.stmt()), SQL_SUCCESS);
  ASSERT_EQ(client.ExecOnStatement("SELECT * FROM SUMMARY").rc, SQL_SUCCESS);
  int rows = 0;
  while (client.Fetch().rc == SQL_SUCCESS) ++rows;
  EXPECT_EQ(rows, 10);
}

// ---- Concurrency and a writer -------------------------------------------------------------

TEST_F(DriverTest, ConnectionsOnTwoThreadsReadAtOnce) {
  TestClient shared(OdbcVersion::kOdbc2);
  size_t rows[2] = {};
  auto start = std::chrono::steady_clock::now();
  auto read = [&](int i) {
    TestClient client(OdbcVersion::kOdbc2, shared.env());
    ExpectConnected(client, Open("FetchDelayMs=50"));
    rows[i] = client.Rows("SELECT * FROM SUMMARY").size();
  };
  std::thread one(read, 0), two(read, 1);
  one.join();
  two.join();
  EXPECT_EQ(rows[0], 10u);
  EXPECT_EQ(rows[1], 10u);
  // Ten rows of 50 ms each: in parallel well under the 1 s that one after the other takes.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST_F(DriverTest, ReadsWhileAWriterAppends) {
  fs::path file = dir_ / "growing.db";
  RunSqlite(file, "CREATE TABLE EVENTS(ID INTEGER); INSERT INTO EVENTS VALUES(1);");
  std::string connect_string = "DSN=VLTOPEN;DATABASE=" + file.string() + ";";
  sqlite3* writer = nullptr;
  ASSERT_EQ(sqlite3_open(file.c_str(), &writer), SQLITE_OK);
  ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE; INSERT INTO EVENTS VALUES(2);", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  {
    TestClient reader(OdbcVersion::kOdbc2);
    ExpectConnected(reader, connect_string);
    EXPECT_EQ(reader.Rows("SELECT * FROM EVENTS").size(), 1u);
  }
  ASSERT_EQ(sqlite3_exec(writer, "COMMIT;", nullptr, nullptr, nullptr), SQLITE_OK);
  sqlite3_close(writer);
  TestClient reader(OdbcVersion::kOdbc2);
  ExpectConnected(reader, connect_string);
  EXPECT_EQ(reader.Rows("SELECT * FROM EVENTS").size(), 2u);
}

// ---- Bound columns and rowsets -------------------------------------------------------------

constexpr SQLULEN kRowset = 4;
constexpr SQLLEN kActivityRoom = 3;  // "A0" and its terminator

// One rowset of ACTIVITY and END_TIME in both layouts; the test binds one of them.
struct Rowset {
  struct Row {
    char activity[kActivityRoom];
    SQLLEN activity_length;
    TIMESTAMP_STRUCT end;
    SQLLEN end_length;
  };
  std::array<Row, kRowset> rows{};
  std::array<char, kRowset * kActivityRoom> activities{};
  std::array<SQLLEN, kRowset> activity_lengths{};
  std::array<TIMESTAMP_STRUCT, kRowset> ends{};
  std::array<SQLLEN, kRowset> end_lengths{};
  std::array<SQLUSMALLINT, kRowset> statuses{};
  SQLULEN fetched = 0;
};

class RowsetTest : public DriverTest, public ::testing::WithParamInterface<bool> {
 protected:
  bool RowWise() const { return GetParam(); }

  void Bind(SQLHSTMT stmt) {
    auto attribute = [&](SQLINTEGER name, SQLULEN value) {
      ASSERT_EQ(SQLSetStmtAttr(stmt, name, reinterpret_cast<SQLPOINTER>(value), 0), SQL_SUCCESS);
    };
    attribute(SQL_ATTR_ROW_ARRAY_SIZE, kRowset);
    attribute(SQL_ATTR_ROW_STATUS_PTR, reinterpret_cast<SQLULEN>(set_.statuses.data()));
    attribute(SQL_ATTR_ROWS_FETCHED_PTR, reinterpret_cast<SQLULEN>(&set_.fetched));
    Rowset::Row& first = set_.rows[0];
    if (RowWise()) attribute(SQL_ATTR_ROW_BIND_TYPE, sizeof(Rowset::Row));
    ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_CHAR, RowWise() ? first.activity : set_.activities.data(),
                         kActivityRoom,
                         RowWise() ? &first.activity_length : set_.activity_lengths.data()),
              SQL_SUCCESS);
    ASSERT_EQ(SQLBindCol(stmt, 2, SQL_C_TYPE_TIMESTAMP, RowWise() ? &first.end : set_.ends.data(),
                         0, RowWise() ? &first.end_length : set_.end_lengths.data()),
              SQL_SUCCESS);
  }

  // "A4@0" for ACTIVITY A4 ending at hour 0.
  std::string Row(size_t row) const {
    const char* activity =
        RowWise() ? set_.rows[row].activity : &set_.activities[row * kActivityRoom];
    const TIMESTAMP_STRUCT& end = RowWise() ? set_.rows[row].end : set_.ends[row];
    return std::string(activity) + "@" + std::to_string(end.hour);
  }

  Rowset set_;
};

TEST_P(RowsetTest, FetchFillsRowsetsUntilTheRowsRunOut) {
  TestClient client(OdbcVersion::kOdbc3);
  ExpectConnected(client, Secured());
  Bind(client.Statement());
  ASSERT_EQ(client.ExecOnStatement("SELECT ACTIVITY, END_TIME FROM SUMMARY ORDER BY END_TIME").rc,
            SQL_SUCCESS);
  const std::vector<std::vector<std::string>> rowsets = {
      {"A0@20", "A1@21", "A2@22", "A3@23"}, {"A4@0", "A5@1", "A6@2", "A7@3"}, {"A8@4", "A9@5"}};
  for (const auto& expected : rowsets) {
    ASSERT_EQ(SQLFetch(client.stmt()), SQL_SUCCESS);
    ASSERT_EQ(set_.fetched, expected.size());
    for (size_t row = 0; row < kRowset; ++row) {
      const bool filled = row < expected.size();
      EXPECT_EQ(set_.statuses[row], filled ? SQL_ROW_SUCCESS : SQL_ROW_NOROW) << row;
      if (filled) {
        EXPECT_EQ(Row(row), expected[row]);
      }
    }
  }
  EXPECT_EQ(set_.activity_lengths[0] + set_.rows[0].activity_length, 2);
  EXPECT_EQ(SQLFetch(client.stmt()), SQL_NO_DATA);
  EXPECT_EQ(set_.fetched, 0u);
}

INSTANTIATE_TEST_SUITE_P(Layouts, RowsetTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "RowWise" : "ColumnWise"; });

// A value too long for its buffer is cut, keeps its full length and warns; a value that is no
// number fails its row alone in a rowset of several rows.
TEST_F(DriverTest, BoundValuesThatDoNotFitWarnPerRow) {
  TestClient client(OdbcVersion::kOdbc3);
  ExpectConnected(client, Secured());
  SQLHSTMT stmt = client.Statement();
  std::array<char, 4> text{};
  SQLLEN length = 0;
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_CHAR, text.data(), text.size(), &length), SQL_SUCCESS);
  ASSERT_EQ(client.ExecOnStatement("SELECT MESSAGE FROM NOTES").rc, SQL_SUCCESS);
  Outcome fetched = client.Fetch();
  EXPECT_EQ(fetched.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(fetched.state, "01004");
  EXPECT_STREQ(text.data(), "012");
  EXPECT_EQ(length, 300);

  stmt = client.Statement();
  std::array<SQLINTEGER, 2> numbers{};
  std::array<SQLUSMALLINT, 2> statuses{};
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(2), 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, statuses.data(), 0);
  ASSERT_EQ(SQLBindCol(stmt, 1, SQL_C_SLONG, numbers.data(), 0, nullptr), SQL_SUCCESS);
  ASSERT_EQ(client.ExecOnStatement("SELECT '7' UNION ALL SELECT 'x'").rc, SQL_SUCCESS);
  fetched = client.Fetch();
  EXPECT_EQ(fetched.rc, SQL_SUCCESS_WITH_INFO);
  EXPECT_EQ(fetched.state, "22018");
  EXPECT_EQ(numbers[0], 7);
  EXPECT_EQ(std::vector<SQLUSMALLINT>(statuses.begin(), statuses.end()),
            (std::vector<SQLUSMALLINT>{SQL_ROW_SUCCESS, SQL_ROW_ERROR}));
}

TEST_F(DriverTest, GetFunctionsAnswersWhatTheDriverImplements) {
  TestClient client(OdbcVersion::kOdbc3);
  ExpectConnected(client, Secured());
  std::array<SQLUSMALLINT, SQL_API_ODBC3_ALL_FUNCTIONS_SIZE> bitmap{};
  ASSERT_EQ(SQLGetFunctions(client.dbc(), SQL_API_ODBC3_ALL_FUNCTIONS, bitmap.data()), SQL_SUCCESS);
  for (SQLUSMALLINT present : {SQL_API_SQLTABLES, SQL_API_SQLCOLUMNS, SQL_API_SQLGETTYPEINFO,
                               SQL_API_SQLBINDCOL, SQL_API_SQLNUMPARAMS, SQL_API_SQLFETCHSCROLL}) {
    EXPECT_TRUE(SQL_FUNC_EXISTS(bitmap.data(), present)) << present;
  }
  for (SQLUSMALLINT absent : {SQL_API_SQLFOREIGNKEYS, SQL_API_SQLSETPOS, SQL_API_SQLBULKOPERATIONS,
                              SQL_API_SQLPROCEDURES, SQL_API_SQLPUTDATA}) {
    EXPECT_FALSE(SQL_FUNC_EXISTS(bitmap.data(), absent)) << absent;
  }
}

// ---- The driver manager's own client ------------------------------------------------------

TEST_F(DriverTest, IsqlReadsRows) {
  fs::path query = dir_ / "query.sql";
  {
    FILE* file = std::fopen(query.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("SELECT ACTIVITY FROM SUMMARY WHERE END_TIME >= {ts '2026-12-06 04:00:00'}\n", file);
    std::fclose(file);
  }
  std::string command = std::string("isql -b -v ") + kSecuredDsn + " " + kUser + " " + kPassword +
                        " < " + query.string() + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string output;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe) != nullptr) output += buffer.data();
  EXPECT_EQ(pclose(pipe), 0) << output;
  EXPECT_NE(output.find("A8"), std::string::npos) << output;
  EXPECT_NE(output.find("A9"), std::string::npos) << output;
  EXPECT_EQ(output.find("A7"), std::string::npos) << output;
}

// ---- Row order ----------------------------------------------------------------------------

// A day of the generated server in the profile named by the parameter.
class RowOrderTest : public DriverTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    const fs::path file = OdbcSandbox::Instance().MakeTempDir(GetParam()) / "vlt.db";
    const std::string create = kelvan::testing::VltsimPath().string() + " create " + file.string() +
                               " --days 1 --seed 7 --now '2026-03-10 00:00:00' --profile " +
                               GetParam() + " >/dev/null";
    ASSERT_EQ(std::system(create.c_str()), 0);
    ExpectConnected(client_, Open("DATABASE=" + file.string() + ";"));
  }

  std::vector<std::string> FirstColumn(const std::string& sql) {
    std::vector<std::string> values;
    for (const auto& row : client_.Rows(sql)) values.push_back(row.front());
    return values;
  }

  TestClient client_{OdbcVersion::kOdbc2};
};

TEST_P(RowOrderTest, UnorderedSelectIsScrambledOnlyOnARealServer) {
  const std::string query = "SELECT NUMBER FROM SUMMARY";
  const auto natural = FirstColumn(query + " ORDER BY rowid");
  // A trailing ";" and comment must not keep the query from being reordered.
  const auto rows = FirstColumn(query + "; -- unordered");
  ASSERT_GT(natural.size(), 50u);
  if (std::string(GetParam()) == "tidy") {
    EXPECT_EQ(rows, natural);
    return;
  }
  EXPECT_NE(rows, natural);
  EXPECT_TRUE(std::is_permutation(rows.begin(), rows.end(), natural.begin(), natural.end()));
  EXPECT_EQ(FirstColumn(query), rows);  // the same query, the same order
}

TEST_P(RowOrderTest, OrderedSelectKeepsItsOrderAndColumnsTheirNamesAndTypes) {
  const auto ends = FirstColumn("SELECT END_TIME FROM SUMMARY ORDER BY END_TIME DESC");
  EXPECT_TRUE(std::is_sorted(ends.rbegin(), ends.rend()));
  ASSERT_EQ(client_.Exec("SELECT * FROM SUMMARY").rc, SQL_SUCCESS);
  const std::pair<const char*, SQLSMALLINT> expected[] = {{"START_TIME", SQL_TIMESTAMP},
                                                          {"END_TIME", SQL_TIMESTAMP},
                                                          {"ACTIVITY", SQL_VARCHAR},
                                                          {"NUMBER", SQL_INTEGER}};
  for (SQLUSMALLINT i = 1; i <= std::size(expected); ++i) {
    std::array<SQLCHAR, 64> name{};
    SQLSMALLINT type = 0;
    SQLDescribeCol(client_.stmt(), i, name.data(), name.size(), nullptr, &type, nullptr, nullptr,
                   nullptr);
    EXPECT_STREQ(reinterpret_cast<char*>(name.data()), expected[i - 1].first);
    EXPECT_EQ(type, expected[i - 1].second) << expected[i - 1].first;
  }
}

INSTANTIATE_TEST_SUITE_P(Profiles, RowOrderTest, ::testing::Values("tidy", "real"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace kelvan::vltsim::testing
