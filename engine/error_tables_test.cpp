#include <gtest/gtest.h>

#include "engine/engine_test_support.h"
#include "engine/qb_obj.h"
#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"

namespace kelvan::engine::testing {
namespace {

using kelvan::testing::CreateScratchDatabase;
using kelvan::testing::DestinationName;

constexpr const char* kServer = "VLT'1";  // a quote, so every SQL text must double it
constexpr const char* kNow = "2026-12-06 10:00:00";
constexpr const char* kSeverity = "SEVERITY = 'E' or SEVERITY = 'W'";

// Yesterday 00:00:00 is 2026-12-05 00:00:00: message 100 is older, 105 has severity I, and
// 103's text is 300 characters long.
const std::string kActlog =
    "CREATE TABLE ACTLOG (DATE_TIME TIMESTAMP, MSGNO INTEGER, SEVERITY CHAR(1),"
    " MESSAGE VARCHAR(1024), ORIGINATOR VARCHAR(8), NODENAME VARCHAR(64), OWNERNAME VARCHAR(64),"
    " SCHEDNAME VARCHAR(30), DOMAINNAME VARCHAR(30), SESSID INTEGER, SERVERNAME VARCHAR(64));"
    "INSERT INTO ACTLOG VALUES"
    " ('2026-12-04 23:59:59', 100, 'E', 'old', 'CLIENT', 'N0', 'o', 'S0', 'D0', 1, 'x'),"
    " ('2026-12-05 00:00:00', 101, 'E', 'say \"hi\" now', 'CLIENT', 'N1', 'o', 'S1', 'D1', 7,"
    "  'x'),"
    " ('2026-12-05 12:00:00', 102, 'W', 'warned', 'CLIENT', 'N1', 'o', NULL, 'D1', 8, 'x'),"
    " ('2026-12-06 09:00:00', 103, 'E', '" +
    std::string(300, 'm') +
    "', 'CLIENT', 'N2', 'o', 'S2', 'D2', 9, 'x'),"
    " ('2026-12-06 09:00:00', 105, 'I', 'info', 'CLIENT', 'N2', 'o', 'S2', 'D2', 9, 'x'),"
    " ('2026-12-05 08:00:00', 200, 'E', 'disk \"full\"', 'SERVER', NULL, NULL, NULL, NULL,"
    "  NULL, 'x'),"
    " ('2026-12-06 09:30:00', 201, 'W', 'slow', 'SERVER', NULL, NULL, NULL, NULL, NULL, 'x');";

class ErrorTablesTest : public ::testing::TestWithParam<Destination> {
 protected:
  void SetUp() override {
    db_ = CreateScratchDatabase(GetParam(), "errors");
    ApplyDestinationSchema(db_);
    record_ = std::make_unique<TestRecord>(db_.dsn, db_.uid, db_.pwd);
    source_.Exec(kActlog);
    engine_.SetTrace(3, trace_.string());
    engine_.SetDBType("Unknown");
  }

  std::int16_t Client(const std::string& severity = kSeverity) {
    return engine_.ClientErrors(kServer, source_.ConnectString(), *record_, severity);
  }
  std::int16_t Server() {
    return engine_.ServerErrors(kServer, source_.ConnectString(), *record_, kSeverity);
  }
  long long Count(const std::string& table, const std::string& condition = "1 = 1") {
    return QueryNumber(db_, "SELECT COUNT(*) FROM " + table + " WHERE " + condition);
  }
  std::string Query(const std::string& sql) { return kelvan::testing::QueryWithClient(db_, sql); }
  std::string Trace() { return ReadFile(trace_); }
  // Whether the trace holds this whole line.
  bool Traced(const std::string& line) {
    return ("\r\n" + Trace()).find("\r\n" + line + "\r\n") != std::string::npos;
  }

  FixedClock clock_{*ParseTimestampText(kNow)};
  ScopedClock scoped_clock_{clock_};
  ScratchDatabase db_;
  std::unique_ptr<TestRecord> record_;
  SourceServer source_{"actlog"};
  std::filesystem::path trace_ =
      kelvan::testing::OdbcSandbox::Instance().MakeTempDir("errtrace") / "run.htm";
  QbObj engine_;
};

TEST_P(ErrorTablesTest, FirstClientLoadFromYesterdayMidnight) {
  ASSERT_EQ(Client(), 0);
  EXPECT_EQ(Query("SELECT MSGNO, PSEUDO_INDEX, SEVERITY, EXT_SERVER_NAME FROM CLIENTERRORS"
                  " ORDER BY MSGNO"),
            "101\t2\tE\tVLT'1\n102\t3\tW\tVLT'1\n103\t4\tE\tVLT'1\n");
  EXPECT_EQ(Count("CLIENTERRORS",
                  "MSGNO = 101 AND DATE_TIME = '2026-12-05 00:00:00' AND "
                  "MESSAGE = 'say  hi  now' AND NODE_NAME = 'N1' AND "
                  "SCHEDULE = 'S1' AND DOMAIN_NAME = 'D1' AND SESSION_ID = 7"),
            1);
  // NULL in the source leaves the column unset.
  EXPECT_EQ(Count("CLIENTERRORS", "MSGNO = 102 AND SCHEDULE IS NULL"), 1);
  // Too long for the 256-byte buffer: MESSAGE unset, the rest written.
  EXPECT_EQ(Count("CLIENTERRORS",
                  "MSGNO = 103 AND MESSAGE IS NULL AND NODE_NAME = 'N2' AND "
                  "SESSION_ID = 9 AND DATE_TIME = '2026-12-06 09:00:00'"),
            1);
}

// Limits count characters: 200 accented characters are a message (400 bytes), 256 are not; a
// stray byte becomes U+FFFD; counts past 2^31 fit the 64-bit columns.
TEST_P(ErrorTablesTest, RealWorldMessagesAndNumbers) {
  source_.Exec(
      "INSERT INTO ACTLOG VALUES"
      " ('2026-12-06 09:40:00', 3000000000, 'E', '" +
      Repeat("é", 200) +
      "', 'CLIENT', 'Nœud-東京', 'o', 'S''1', 'D;--', 5000000000, 'x'),"
      " ('2026-12-06 09:41:00', 301, 'E', '" +
      Repeat("é", 256) + "', 'CLIENT', 'N' || cast(x'ff' as text), 'o', NULL, NULL, 1, 'x');");
  ASSERT_EQ(Client(), 0);
  EXPECT_EQ(Query("SELECT MSGNO, SESSION_ID, MESSAGE, NODE_NAME, SCHEDULE, DOMAIN_NAME FROM"
                  " CLIENTERRORS WHERE MSGNO = 3000000000"),
            "3000000000\t5000000000\t" + Repeat("é", 200) + "\tNœud-東京\tS'1\tD;--\n");
  EXPECT_EQ(Query("SELECT NODE_NAME FROM CLIENTERRORS WHERE MSGNO = 301 AND MESSAGE IS NULL"),
            "N\xEF\xBF\xBD\n");
}

TEST_P(ErrorTablesTest, ClientTraceAtLevelThree) {
  ASSERT_EQ(Client(), 0);
  std::string vlt = "DSN=" + source_.dsn() + ";UID=vltadmin";
  std::string dest = "DSN=" + db_.dsn + ";UID=" + db_.uid;
  std::vector<std::string> expected = {
      "===Entering Function ClientErrors-Start Time = 36000",
      "Server Name = VLT'1",
      "Source Connection = " + vlt,
      "Data Source = " + db_.dsn,
      "Allocated environment handle",
      "Allocated connection handle",
      "Opening Connection " + vlt,
      "Opened Connection Okay " + vlt,
      "Opening Connection " + dest,
      "Connection established to " + dest,
      "Running the following query: SELECT max(DATE_TIME) as LAST_DATE from CLIENTERRORS where "
      "EXT_SERVER_NAME = 'VLT''1'",
      "Result set successfully opened on destination.",
      "Starting Date = 2026-12-05 00:00:00",
      "Found 3 record(s) from VLT",
      "Allocated SQL Statement Okay",
      "Running the following query: SELECT DATE_TIME, MSGNO, SEVERITY, MESSAGE, NODENAME, "
      "SCHEDNAME, DOMAINNAME, SESSID from ACTLOG where ORIGINATOR = 'CLIENT' and DATE_TIME >= "
      "'2026-12-05 00:00:00' and (SEVERITY = 'E' or SEVERITY = 'W') order by DATE_TIME",
      "Executed SQL Statement Okay",
      "Running the following query: SELECT * from CLIENTERRORS where EXT_SERVER_NAME = 'VLT''1' "
      "and DATE_TIME>='2026-12-05 00:00:00'",
      "Result set successfully opened on destination.",
      "Deleting records from CLIENTERRORS whose DATE_TIME column equals 2026-12-05 00:00:00",
      "Successfully deleted 0 rows from CLIENTERRORS table.",
      "",
      "Successfully copied 3 row(s) to CLIENTERRORS (10:00:00)",
      "Exiting function ClientErrors Time:>0"};
  EXPECT_EQ(ReadLines(trace_), expected);
}

TEST_P(ErrorTablesTest, CountQueryOnlyAtLevelThree) {
  engine_.SetTrace(2, trace_.string());
  ASSERT_EQ(Client(), 0);
  engine_.SetTrace(3, trace_.string());
  ASSERT_EQ(Client("SEVERITY = 'S'"), 0);
  std::string trace = Trace();
  // Only the second (level 3) call counted, and it found nothing.
  EXPECT_EQ(trace.find("Found "), std::string::npos);
  EXPECT_NE(trace.find("\r\nNo Records on VLT to Copy\r\n"), std::string::npos);
  // The level-2 lines of the first call are there, its level-3 lines are not.
  EXPECT_NE(trace.find("===Entering Function ClientErrors"), std::string::npos);
  EXPECT_EQ(trace.find("Server Name = "), trace.rfind("Server Name = "));
}

TEST_P(ErrorTablesTest, RerunsWithoutNewMessagesLeaveTheTablesAsTheyWere) {
  ASSERT_EQ(Client(), 0);
  ASSERT_EQ(Server(), 0);
  clock_.AdvanceSeconds(3600);
  ASSERT_EQ(Client(), 0);
  ASSERT_EQ(Server(), 0);
  // The second client load reran from 09:00:00: message 103 was deleted and loaded again.
  EXPECT_TRUE(Traced("Starting Date = 2026-12-06 09:00:00"));
  EXPECT_TRUE(Traced("Successfully deleted 1 rows from CLIENTERRORS table."));
  EXPECT_TRUE(Traced("Successfully deleted (1) :1 rows from SERVERERRORS table."));
  EXPECT_EQ(Query("SELECT MSGNO FROM CLIENTERRORS ORDER BY MSGNO"), "101\n102\n103\n");
  EXPECT_EQ(Query("SELECT MSGNO FROM SERVERERRORS ORDER BY MSGNO"), "200\n201\n");

  // A condition that matches nothing still removes the overlap, and adds nothing.
  ASSERT_EQ(Client("SEVERITY = 'S'"), 0);
  EXPECT_TRUE(Traced("Successfully copied 0 row(s) to CLIENTERRORS (11:00:00)"));
  EXPECT_EQ(Query("SELECT MSGNO FROM CLIENTERRORS ORDER BY MSGNO"), "101\n102\n");
}

TEST_P(ErrorTablesTest, ServerLoadWithItsOwnWording) {
  ASSERT_EQ(Server(), 0);
  EXPECT_EQ(Query("SELECT MSGNO, PSEUDO_INDEX, SEVERITY, MESSAGE FROM SERVERERRORS"
                  " ORDER BY MSGNO"),
            "200\t2\tE\tdisk  full \n201\t3\tW\tslow\n");
  for (const char* line :
       {"===Entering Function ServerErrors-Start Time = 36000",
        "Running the following query: SELECT max(DATE_TIME) as LAST_DATE from ServerErrors where "
        "EXT_SERVER_NAME = 'VLT''1'",
        "Running the following query: SELECT DATE_TIME, MSGNO, MESSAGE, SEVERITY from ACTLOG "
        "where ORIGINATOR = 'SERVER' and DATE_TIME >= '2026-12-05 00:00:00' and (SEVERITY = 'E' "
        "or SEVERITY = 'W') order by DATE_TIME",
        "Running the following query: SELECT * from ServerErrors where EXT_SERVER_NAME = 'VLT''1' "
        "and DATE_TIME >= '2026-12-05 00:00:00'",
        "Deleting records from SERVERERRORS whose DATE_TIME column equals 2026-12-05 00:00:00",
        "Successfully deleted (0) :0 rows from SERVERERRORS table.",
        "Successfully copied 2 row(s) to SERVERERROR (10:00:00)"}) {
    EXPECT_TRUE(Traced(line)) << line;
  }
  EXPECT_EQ(Trace().find("Found "), std::string::npos);  // no count, whatever the level
  EXPECT_EQ(Trace().find("Exiting function"), std::string::npos);
}

struct FailureCase {
  bool client;
  const char* line;      // the failure line starts so
  const char* source;    // the raised source starts so
  const char* prefix;    // the raised description starts so
  const char* previous;  // the step announced last
};

TEST_P(ErrorTablesTest, EmptySeverityFailsBothLoadsWithTheirOwnForms) {
  const FailureCase cases[] = {
      // At level 3 the client load fails in its count, which announces nothing.
      {true, "Error in ClientErrors: ", "Qobra.QbObj.ClientErrors:",
       "CLIENTERRORS: Error accessing data.:\r\n",
       "Previous message = Starting Date = 2026-12-05 00:00:00"},
      {false, "Error in ServerErrors: ", "Qobra.QbObj.ServerErrors:", "Error copying data.:\r\n",
       "Previous message = Running the following query: SELECT DATE_TIME, MSGNO, MESSAGE, "
       "SEVERITY from ACTLOG where ORIGINATOR = 'SERVER' and DATE_TIME >= '2026-12-05 00:00:00' "
       "and () order by DATE_TIME"}};
  for (const FailureCase& c : cases) {
    try {
      c.client ? engine_.ClientErrors(kServer, source_.ConnectString(), *record_, "")
               : engine_.ServerErrors(kServer, source_.ConnectString(), *record_, "");
      ADD_FAILURE() << c.source << " raised nothing";
    } catch (const RaisedError& e) {
      EXPECT_EQ(e.Source().rfind(c.source, 0), 0u) << e.Source();
      EXPECT_EQ(e.Description().rfind(c.prefix, 0), 0u) << e.Description();
      EXPECT_EQ(e.Description().find(SourceServer::kPassword), std::string::npos);
    }
    std::vector<std::string> lines = ReadLines(trace_);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2].rfind(c.line, 0), 0u) << lines[lines.size() - 2];
    EXPECT_EQ(lines.back(), c.previous);
  }
  EXPECT_EQ(Count("CLIENTERRORS") + Count("SERVERERRORS"), 0);
  EXPECT_EQ(Trace().find(SourceServer::kPassword), std::string::npos);
  if (!db_.pwd.empty()) {
    EXPECT_EQ(Trace().find(db_.pwd), std::string::npos);
  }
}

INSTANTIATE_TEST_SUITE_P(Destinations, ErrorTablesTest,
                         ::testing::Values(Destination::kSqlite, Destination::kPostgres,
                                           Destination::kMariaDb),
                         [](const auto& info) { return DestinationName(info.param); });

}  // namespace
}  // namespace kelvan::engine::testing
