// Behaviour of the data-access layer against the real destination drivers, written once and run
// per destination.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/basic/raised_error.h"
#include "platform/data/connection.h"
#include "platform/data/data_engine.h"
#include "platform/data/internal.h"
#include "tests/support/odbc_sandbox.h"

namespace kelvan::data {
namespace {

using testing::Destination;

class DestinationTest : public ::testing::TestWithParam<Destination> {
 protected:
  void SetUp() override {
    db_ = testing::CreateScratchDatabase(GetParam(), "data");
    connection_.emplace(Connection::Open(db_.ConnectString()));
    DataEngine::ForThisThread().ClearErrors();
  }

  bool Is(Destination kind) const { return GetParam() == kind; }
  std::string TimestampType() const { return Is(Destination::kMariaDb) ? "DATETIME" : "TIMESTAMP"; }
  std::string Client(const std::string& sql) const { return testing::QueryWithClient(db_, sql); }

  // The history table the copy writes into, in miniature.
  void CreateHistoryTable() {
    connection_->Execute(
        "CREATE TABLE HIST (EXT_SERVER_NAME VARCHAR(32), PSEUDO_INDEX INTEGER, "
        "EXTRACT_DATE " +
        TimestampType() + ", NOTE VARCHAR(20) DEFAULT 'none')");
  }

  void AddHistoryRow(ResultSet& rs, const std::string& server, int index, bool with_note) {
    rs.AddNew();
    rs.ColumnNamed("EXT_SERVER_NAME").SetValue(Value(server));
    rs.ColumnNamed("PSEUDO_INDEX").SetValue(Value(index));
    rs.ColumnNamed("EXTRACT_DATE").SetValue(Value("2024-03-01 00:00:00"));
    if (with_note) rs.ColumnNamed("NOTE").SetValue(Value("x"));
    rs.Update();
  }

  // A connection whose INSERT statements into T the destination counts: a statement trigger on
  // PostgreSQL, the session's status on MariaDB, the driver's trace of SQLite's statements.
  Connection OpenCountedConnection() {
    if (Is(Destination::kSqlite)) {
      return Connection::Open(db_.ConnectString() + "Tracefile=" + TraceFile() + ";");
    }
    if (Is(Destination::kPostgres)) {
      Client(
          "CREATE TABLE INSERTS (N INTEGER); CREATE FUNCTION COUNTED() RETURNS trigger "
          "LANGUAGE plpgsql AS $$BEGIN INSERT INTO INSERTS VALUES (1); RETURN NULL; END$$; "
          "CREATE TRIGGER COUNTING AFTER INSERT ON T FOR EACH STATEMENT EXECUTE FUNCTION "
          "COUNTED()");
    }
    return Connection::Open(db_.ConnectString());
  }

  int InsertsCounted(Connection& counted) {
    if (Is(Destination::kPostgres)) return std::stoi(Client("SELECT count(*) FROM INSERTS"));
    if (Is(Destination::kMariaDb)) {
      ResultSet status = counted.OpenResultSet("SHOW SESSION STATUS LIKE 'Com_insert'");
      return status.ColumnNamed("Value").GetValue().ToInt32();
    }
    std::ifstream trace(TraceFile());
    int inserts = 0;
    for (std::string line; std::getline(trace, line);) inserts += line.rfind("INSERT", 0) == 0;
    return inserts;
  }

  std::string TraceFile() const { return db_.database + ".trace"; }

  testing::ScratchDatabase db_;
  std::optional<Connection> connection_;
};

struct ExpectedType {
  const char* column;
  int sqlite, postgres, mariadb;
};

TEST_P(DestinationTest, ReportsOdbc2TypeCodesAndSizesAsEachDriverDoes) {
  connection_->Execute(
      "CREATE TABLE T (I INTEGER, S SMALLINT, B BIGINT, D DOUBLE PRECISION, "
      "R REAL, V VARCHAR(32), C CHAR(3), TS " +
      TimestampType() + ", DT DATE, TM TIME)");
  ResultSet rs = connection_->OpenResultSet("SELECT * FROM T");
  const ExpectedType expected[] = {
      {"I", 4, 4, 4},    {"S", 5, 5, 5},  {"B", 2, 2, 2},     {"D", 8, 6, 8},  {"R", 8, 7, 8},
      {"V", 12, 12, 12}, {"C", 12, 1, 1}, {"TS", 11, 11, 11}, {"DT", 9, 9, 9}, {"TM", 10, 10, 10}};
  ASSERT_EQ(rs.ColumnCount(), 10);
  for (const ExpectedType& e : expected) {
    int want = Is(Destination::kSqlite)     ? e.sqlite
               : Is(Destination::kPostgres) ? e.postgres
                                            : e.mariadb;
    EXPECT_EQ(rs.ColumnNamed(e.column).Type(), want) << e.column;
  }
  EXPECT_EQ(rs.ColumnNamed("V").Size(), 32);
  EXPECT_EQ(rs.ColumnNamed("C").Size(), 3);
  EXPECT_TRUE(rs.EndOfData());
  EXPECT_EQ(rs.RowCount(), 0);
}

TEST_P(DestinationTest, LooksColumnsUpWithoutRegardToCase) {
  connection_->Execute("CREATE TABLE T (NUMBER_X INTEGER)");
  ResultSet rs = connection_->OpenResultSet("SELECT * FROM T");
  EXPECT_EQ(rs.ColumnAt(0).Name(), Is(Destination::kPostgres) ? "number_x" : "NUMBER_X");
  EXPECT_EQ(&rs.ColumnNamed("Number_X"), &rs.ColumnAt(0));
  EXPECT_EQ(rs.FindColumn("number_x"), &rs.ColumnAt(0));
  EXPECT_EQ(rs.FindColumn("NUMBER"), nullptr);
  try {
    rs.ColumnNamed("NUMBER");
    FAIL() << "a missing column was found";
  } catch (const RaisedError& e) {
    EXPECT_TRUE(IsItemNotFound(e));
  }
}

TEST_P(DestinationTest, ReadsValuesByTypeAndNullAsNull) {
  connection_->Execute(
      "CREATE TABLE T (K INTEGER, I INTEGER, S SMALLINT, B BIGINT, "
      "D DOUBLE PRECISION, R REAL, V VARCHAR(6000), TS " +
      TimestampType() + ", DT DATE, TM TIME)");
  std::string long_text(5000, 'q');  // read in several pieces
  Client("INSERT INTO T VALUES (1, -70000, -300, 9000000000, 2.25, 1.5, '" + long_text +
         "', '2024-02-29 13:14:15', '2024-02-29', '13:14:15');"
         "INSERT INTO T (K) VALUES (2);");
  ResultSet rs = connection_->OpenResultSet("SELECT * FROM T ORDER BY K");
  EXPECT_EQ(rs.ColumnNamed("I").GetValue(), Value(std::int32_t{-70000}));
  EXPECT_EQ(rs.ColumnNamed("S").GetValue(), Value(std::int16_t{-300}));
  EXPECT_EQ(rs.ColumnNamed("B").GetValue(), Value("9000000000"));  // no 32-bit wrap-around
  EXPECT_DOUBLE_EQ(rs.ColumnNamed("D").GetValue().ToDouble(), 2.25);
  EXPECT_DOUBLE_EQ(rs.ColumnNamed("R").GetValue().ToDouble(), 1.5);
  EXPECT_EQ(rs.ColumnNamed("V").GetValue(), Value(long_text));
  EXPECT_EQ(rs.ColumnNamed("TS").GetValue(), Value("2024-02-29 13:14:15"));
  EXPECT_EQ(rs.ColumnNamed("DT").GetValue(), Value("2024-02-29"));
  EXPECT_EQ(rs.ColumnNamed("TM").GetValue(), Value("13:14:15"));
  rs.MoveNext();
  ASSERT_FALSE(rs.EndOfData());
  for (int i = 1; i < rs.ColumnCount(); ++i) {
    EXPECT_TRUE(rs.ColumnAt(i).GetValue().IsNull()) << rs.ColumnAt(i).Name();
  }
  rs.MoveNext();
  EXPECT_TRUE(rs.EndOfData());
  EXPECT_EQ(rs.RowCount(), 2);
  try {
    rs.ColumnNamed("K").GetValue();
    FAIL() << "a value was read after the end";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.Number(), kErrNoCurrentRow);
  }
}

TEST_P(DestinationTest, AddsRowsInBatchesAndDeletesExactlyTheSelectedOnes) {
  CreateHistoryTable();
  {
    ResultSet rs = connection_->OpenResultSet("SELECT * from HIST where EXT_SERVER_NAME = 'A'",
                                              CursorType::kDynamic, LockType::kPessimistic);
    // 250 rows span several batches; every third leaves NOTE to its default.
    for (int i = 2; i < 252; ++i) AddHistoryRow(rs, "A", i, i % 3 != 0);
    for (int i = 2; i < 7; ++i) AddHistoryRow(rs, "B'x", i, true);
    rs.Close();
  }
  EXPECT_EQ(Client("SELECT count(*), min(PSEUDO_INDEX), max(PSEUDO_INDEX) FROM HIST "
                   "WHERE EXT_SERVER_NAME = 'A'"),
            "250\t2\t251\n");
  EXPECT_EQ(Client("SELECT count(*) FROM HIST WHERE NOTE = 'none'"), "83\n");  // 3, 6, ..., 249
  EXPECT_EQ(Client("SELECT count(*) FROM HIST WHERE EXT_SERVER_NAME = 'B''x'"), "5\n");
  // Text comparison with the stored timestamp (SQLite keeps what it was given).
  EXPECT_EQ(Client("SELECT count(*) FROM HIST WHERE EXTRACT_DATE = '2024-03-01 00:00:00'"),
            "255\n");

  ResultSet rs = connection_->OpenResultSet(
      "SELECT * from HIST where EXT_SERVER_NAME = 'A' and PSEUDO_INDEX > 101", CursorType::kDynamic,
      LockType::kPessimistic, Execution::kDirect);
  while (!rs.EndOfData()) {
    rs.Delete();
    rs.MoveNext();
  }
  EXPECT_EQ(rs.RowCount(), 150);      // 102 to 251
  AddHistoryRow(rs, "A", 400, true);  // the same cursor then receives the new rows
  rs.Close();
  EXPECT_EQ(Client("SELECT count(*), max(PSEUDO_INDEX) FROM HIST WHERE EXT_SERVER_NAME = 'A'"),
            "101\t400\n");
  EXPECT_EQ(Client("SELECT count(*) FROM HIST WHERE EXT_SERVER_NAME = 'B''x'"), "5\n");
}

TEST_P(DestinationTest, RowsAddedAreSeenByTheNextStatementOfTheConnection) {
  CreateHistoryTable();
  ResultSet adder = connection_->OpenResultSet("SELECT * from HIST where 1 = 0",
                                               CursorType::kDynamic, LockType::kPessimistic);
  for (int i = 2; i < 5; ++i) AddHistoryRow(adder, "S", i, true);
  {
    ResultSet count = connection_->OpenResultSet("SELECT count(*) AS N from HIST");
    EXPECT_EQ(count.ColumnNamed("N").GetValue().ToInt32(), 3);
  }
  AddHistoryRow(adder, "S", 5, true);
  EXPECT_EQ(connection_->Execute("DELETE FROM HIST WHERE PSEUDO_INDEX >= 3"), 3);
  adder.Close();
  EXPECT_EQ(Client("SELECT count(*) FROM HIST"), "1\n");
}

TEST_P(DestinationTest, ExecuteReturnsTheRowsAffected) {
  connection_->Execute("CREATE TABLE T (ID INTEGER, V VARCHAR(8))");
  EXPECT_EQ(connection_->Execute("INSERT INTO T VALUES (1, 'a'), (2, 'a'), (3, 'b')"), 3);
  EXPECT_EQ(connection_->Execute("UPDATE T SET V = 'c' WHERE V = 'a'"), 2);
  EXPECT_EQ(connection_->Execute("DELETE FROM T WHERE ID = 99"), 0);
  EXPECT_EQ(connection_->RowsAffected(), 0);
  EXPECT_EQ(connection_->Execute("DELETE FROM T WHERE V = 'c'"), 2);
  EXPECT_EQ(Client("SELECT ID FROM T"), "3\n");
}

TEST_P(DestinationTest, MissingTableRaisesWithTheDriversStateAndFillsTheErrorList) {
  std::string expected_state = Is(Destination::kSqlite)     ? "S1000"
                               : Is(Destination::kPostgres) ? "42P01"
                                                            : "S0002";
  try {
    connection_->OpenResultSet("SELECT * from NO_SUCH_TABLE");
    FAIL() << "a missing table was read";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.Number(), kErrOdbcCall);
    EXPECT_EQ(e.SqlState(), expected_state);
    EXPECT_NE(e.Description().find(expected_state + ": "), std::string::npos) << e.Description();
  }
  const auto& errors = DataEngine::ForThisThread().Errors();
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors.front().sql_state, expected_state);
  std::string description = errors.front().description;
  for (char& c : description) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_NE(description.find("NO_SUCH_TABLE"), std::string::npos) << description;
  DataEngine::ForThisThread().ClearErrors();
  EXPECT_TRUE(DataEngine::ForThisThread().Errors().empty());
  // The connection stays usable after the failure.
  EXPECT_EQ(connection_->Execute("CREATE TABLE T (ID INTEGER)"), 0);
}

// Rows of a statement on this destination's table of `columns` columns.
int StatementRows(Destination kind, size_t columns = 2) {
  const char* dbms = kind == Destination::kSqlite     ? "SQLite"
                     : kind == Destination::kPostgres ? "PostgreSQL"
                                                      : "MariaDB";
  return static_cast<int>(internal::InsertLimitsFor(dbms).RowsPerStatement(columns));
}

// Adds rows 1..count with `bad_row` repeating a key, then closes; reports whether that raised.
bool AddKeysFailingAt(ResultSet& rs, int count, int bad_row) {
  try {
    for (int i = 1; i <= count; ++i) {
      rs.AddNew();
      rs.ColumnNamed("ID").SetValue(Value(i == bad_row ? 5 : i));
      rs.Update();
    }
    rs.Close();
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.Number(), kErrOdbcCall);
    EXPECT_FALSE(e.SqlState().empty());
    return true;
  }
  return false;
}

// The first statement is committed alone; the failure, written behind while later rows are
// added, still reaches the caller with the driver's diagnostics in the caller's error list.
TEST_P(DestinationTest, BatchFailingPartWayKeepsEarlierBatchesAndRaises) {
  const int rows = StatementRows(GetParam());
  connection_->Execute("CREATE TABLE T (ID INTEGER PRIMARY KEY, V VARCHAR(8))");
  ResultSet rs =
      connection_->OpenResultSet("SELECT * FROM T", CursorType::kDynamic, LockType::kPessimistic);
  EXPECT_TRUE(AddKeysFailingAt(rs, rows * 5 / 2, rows * 9 / 5));
  EXPECT_FALSE(DataEngine::ForThisThread().Errors().empty());
  rs.Close();
  EXPECT_EQ(Client("SELECT count(*), max(ID) FROM T"),
            std::to_string(rows) + "\t" + std::to_string(rows) + "\n");
}

// Transactions grow (one statement, then two, then four): a failure in the third keeps the
// rows of the first two and nothing after.
TEST_P(DestinationTest, FailureInALaterBatchKeepsEveryCommittedBatchAndNothingAfter) {
  const int rows = StatementRows(GetParam());
  connection_->Execute("CREATE TABLE T (ID INTEGER PRIMARY KEY)");
  ResultSet rs =
      connection_->OpenResultSet("SELECT * FROM T", CursorType::kDynamic, LockType::kPessimistic);
  EXPECT_TRUE(AddKeysFailingAt(rs, rows * 5, rows * 7 / 2));
  rs.Close();
  EXPECT_EQ(Client("SELECT count(*), max(ID) FROM T"),
            std::to_string(3 * rows) + "\t" + std::to_string(3 * rows) + "\n");
  // The connection is back in autocommit: a later statement stays without a commit of ours.
  connection_->Execute("INSERT INTO T VALUES (" + std::to_string(10 * rows) + ")");
  EXPECT_EQ(Client("SELECT count(*) FROM T WHERE ID > " + std::to_string(5 * rows)), "1\n");
}

// A failure of a batch written behind must not be lost when the rows stop before the next
// batch is due: Close raises it.
TEST_P(DestinationTest, FailureOfTheLastFullBatchIsRaisedByClose) {
  const int rows = StatementRows(GetParam());
  connection_->Execute("CREATE TABLE T (ID INTEGER PRIMARY KEY)");
  ResultSet rs =
      connection_->OpenResultSet("SELECT * FROM T", CursorType::kDynamic, LockType::kPessimistic);
  EXPECT_TRUE(AddKeysFailingAt(rs, rows * 2, rows * 3 / 2));
  EXPECT_EQ(Client("SELECT count(*) FROM T"), std::to_string(rows) + "\n");
}

// A batch the database rejects is added again row by row: exactly the rejected rows are left
// out and returned, none added twice, also when a cursor being read keeps SQLite's writes out of
// a transaction.
TEST_P(DestinationTest, AddRowsLeavesOutExactlyTheRejectedRows) {
  const int rows = StatementRows(GetParam()) * 5 / 2;
  connection_->Execute("CREATE TABLE R (ID INTEGER)");
  connection_->Execute("INSERT INTO R VALUES (1)");
  for (bool reading : {false, true}) {
    SCOPED_TRACE(reading ? "while reading" : "alone");
    connection_->Execute("DROP TABLE IF EXISTS T");
    connection_->Execute("CREATE TABLE T (ID INTEGER PRIMARY KEY, V VARCHAR(8))");
    const int taken[] = {rows / 2, rows - 1};  // held already: their rows are rejected
    for (int id : taken)
      connection_->Execute("INSERT INTO T VALUES (" + std::to_string(id) + ", 'old')");
    std::optional<ResultSet> read;
    if (reading) read = connection_->OpenResultSet("SELECT ID FROM R");
    ResultSet rs =
        connection_->OpenResultSet("SELECT * FROM T", CursorType::kDynamic, LockType::kPessimistic);
    std::vector<NewRow> batch;
    for (int id = 1; id <= rows; ++id) batch.push_back({Value(id), Value("new")});
    std::vector<RejectedRow> rejected = rs.AddRows(batch);
    ASSERT_EQ(rejected.size(), 2u);
    EXPECT_EQ(rejected[0].index, static_cast<size_t>(taken[0] - 1));
    EXPECT_EQ(rejected[1].index, static_cast<size_t>(taken[1] - 1));
    EXPECT_EQ(rejected[0].error.Number(), kErrOdbcCall);
    EXPECT_TRUE(DataEngine::ForThisThread().Errors().empty());
    std::vector<NewRow> more = {{Value(rows + 1), std::nullopt}};
    EXPECT_TRUE(rs.AddRows(more).empty());
    rs.Close();
    EXPECT_EQ(Client("SELECT count(*), sum(ID), count(V) - count(NULLIF(V, 'new')) FROM T"),
              std::to_string(rows + 1) + "\t" + std::to_string((rows + 1) * (rows + 2) / 2) + "\t" +
                  std::to_string(rows - 2) + "\n");
  }
}

// The parameter buffers are reused from row to row: a value of another kind, a longer text or a
// NULL in a column must reach the table as given.
TEST_P(DestinationTest, ValuesOfChangingKindsAndLengthsArriveIntact) {
  connection_->Execute("CREATE TABLE T (ID INTEGER, V VARCHAR(300), N DOUBLE PRECISION)");
  ResultSet rs =
      connection_->OpenResultSet("SELECT * FROM T", CursorType::kDynamic, LockType::kPessimistic);
  std::vector<std::pair<Value, Value>> values = {
      {Value("a"), Value(1.5)},
      {Value(std::string(300, 'x')), Value()},
      {Value(), Value(std::int32_t{7})},
      {Value("bb"), Value("2.25")},
      {Value(std::string(20, 'y')), Value(std::int16_t{-3})}};
  for (int round = 0; round < 60; ++round) {  // 300 rows: several statements and batches
    for (size_t i = 0; i < values.size(); ++i) {
      rs.AddNew();
      rs.ColumnNamed("ID").SetValue(Value(static_cast<std::int32_t>(round * 10 + i)));
      rs.ColumnNamed("V").SetValue(values[i].first);
      rs.ColumnNamed("N").SetValue(values[i].second);
      rs.Update();
    }
  }
  rs.Close();
  EXPECT_EQ(Client("SELECT count(*) FROM T WHERE V = 'a' AND N = 1.5"), "60\n");
  EXPECT_EQ(Client("SELECT count(*) FROM T WHERE length(V) = 300 AND N IS NULL"), "60\n");
  EXPECT_EQ(Client("SELECT count(*) FROM T WHERE V IS NULL AND N = 7"), "60\n");
  EXPECT_EQ(Client("SELECT count(*) FROM T WHERE V = 'bb' AND N = 2.25"), "60\n");
  EXPECT_EQ(Client("SELECT count(*) FROM T WHERE V = '" + std::string(20, 'y') + "' AND N = -3"),
            "60\n");
  EXPECT_EQ(Client("SELECT count(*) FROM T"), "300\n");
}

// Rows that set different columns share full statements and store NULL where they set
// nothing; a column with a default or an identity still gets it in the rows that leave it out,
// which then start a statement of their own.
TEST_P(DestinationTest, MixedRowsShareFullStatementsAndUnsetColumnsGetNullOrTheirDefault) {
  const int rows = StatementRows(GetParam(), 5);
  const std::string key = Is(Destination::kSqlite) ? "K INTEGER PRIMARY KEY"
                          : Is(Destination::kPostgres)
                              ? "K INTEGER GENERATED BY DEFAULT AS IDENTITY"
                              : "K INTEGER AUTO_INCREMENT PRIMARY KEY";
  connection_->Execute("CREATE TABLE T (" + key +
                       ", ID INTEGER, A VARCHAR(8), B INTEGER, C DOUBLE PRECISION, "
                       "NOTE VARCHAR(8) DEFAULT 'none')");
  Connection counted = OpenCountedConnection();
  ResultSet rs =
      counted.OpenResultSet("SELECT * FROM T", CursorType::kDynamic, LockType::kPessimistic);
  // NOTE is left to its default in the first statement's rows and set in all later ones.
  const int total = 2 * rows + 3;
  int of_kind[3] = {};
  for (int id = 0; id < total; ++id) {
    rs.AddNew();
    rs.ColumnNamed("ID").SetValue(Value(id));
    if (id % 3 != 1) rs.ColumnNamed("A").SetValue(Value(id % 3 == 0 ? "a" : "c"));
    if (id % 3 == 0) rs.ColumnNamed("B").SetValue(Value(id));
    if (id % 3 != 0) rs.ColumnNamed("C").SetValue(Value(id % 3 == 1 ? 0.5 : 2.5));
    if (id >= rows) rs.ColumnNamed("NOTE").SetValue(Value("set"));
    rs.Update();
    ++of_kind[id % 3];
  }
  rs.Close();
  EXPECT_EQ(InsertsCounted(counted), 3);
  EXPECT_EQ(Client("SELECT count(*) FROM T WHERE A = 'a' AND B = ID AND C IS NULL"),
            std::to_string(of_kind[0]) + "\n");
  EXPECT_EQ(Client("SELECT count(*) FROM T WHERE A IS NULL AND B IS NULL AND C = 0.5"),
            std::to_string(of_kind[1]) + "\n");
  EXPECT_EQ(Client("SELECT count(*) FROM T WHERE A = 'c' AND B IS NULL AND C = 2.5"),
            std::to_string(of_kind[2]) + "\n");
  EXPECT_EQ(Client("SELECT count(*), count(DISTINCT K), max(ID) FROM T WHERE NOTE = "
                   "CASE WHEN ID < " +
                   std::to_string(rows) + " THEN 'none' ELSE 'set' END"),
            std::to_string(total) + "\t" + std::to_string(total) + "\t" +
                std::to_string(total - 1) + "\n");
}

// A table named with its schema (its database on MariaDB, an attached file on SQLite) keeps its
// own defaults, not those of a table of the same name elsewhere.
TEST_P(DestinationTest, RowsOfAQualifiedTableGetThatTablesDefaults) {
  const std::string other = Is(Destination::kMariaDb) ? db_.database + "_o" : "OTHER";
  if (Is(Destination::kSqlite)) {
    connection_->Execute("ATTACH '" + db_.database + ".o' AS OTHER");
  } else {
    connection_->Execute((Is(Destination::kPostgres) ? "CREATE SCHEMA " : "CREATE DATABASE ") +
                         other);
  }
  connection_->Execute("CREATE TABLE T (ID INTEGER, NOTE VARCHAR(8))");
  connection_->Execute("CREATE TABLE " + other + ".T (ID INTEGER, NOTE VARCHAR(8) DEFAULT 'none')");
  ResultSet rs = connection_->OpenResultSet("SELECT * FROM " + other + ".T", CursorType::kDynamic,
                                            LockType::kPessimistic);
  for (int id = 0; id < 4; ++id) {
    rs.AddNew();
    rs.ColumnNamed("ID").SetValue(Value(id));
    if (id % 2 == 1) rs.ColumnNamed("NOTE").SetValue(Value("set"));
    rs.Update();
  }
  rs.Close();
  ResultSet back =
      connection_->OpenResultSet("SELECT count(*) AS N FROM " + other + ".T WHERE NOTE = 'none'");
  EXPECT_EQ(back.ColumnNamed("N").GetValue().ToInt32(), 2);
}

// The hourly summary reads activities through one result set while it adds slices through
// another of the same connection: the reading must see every row, however many batches the
// adding commits meanwhile.
TEST_P(DestinationTest, ReadingWhileAddingOnOneConnectionSeesEveryRow) {
  const int rows = 3 * StatementRows(GetParam()) + 7;
  connection_->Execute("CREATE TABLE S (ID INTEGER)");
  connection_->Execute("CREATE TABLE T (ID INTEGER)");
  ResultSet adding =
      connection_->OpenResultSet("SELECT * FROM S", CursorType::kDynamic, LockType::kPessimistic);
  for (int i = 1; i <= rows; ++i) {
    adding.AddNew();
    adding.ColumnNamed("ID").SetValue(Value(i));
    adding.Update();
  }
  adding.Close();
  ResultSet reading = connection_->OpenResultSet("SELECT ID FROM S ORDER BY ID",
                                                 CursorType::kForwardOnly, LockType::kReadOnly);
  ResultSet writing =
      connection_->OpenResultSet("SELECT * FROM T", CursorType::kDynamic, LockType::kPessimistic);
  int read = 0;
  for (; !reading.EndOfData(); reading.MoveNext()) {
    ++read;
    EXPECT_EQ(reading.ColumnNamed("ID").GetValue().ToInt32(), read);
    writing.AddNew();
    writing.ColumnNamed("ID").SetValue(reading.ColumnNamed("ID").GetValue());
    writing.Update();
  }
  writing.Close();
  EXPECT_EQ(read, rows);
  EXPECT_EQ(Client("SELECT count(*) FROM T"), std::to_string(rows) + "\n");
}

// Texts with the characters that quoting or array literals treat specially, and numbers at the
// edges of their text forms, read back as they were added.
TEST_P(DestinationTest, SpecialTextsAndNumbersArriveAsGiven) {
  connection_->Execute(
      "CREATE TABLE T (ID INTEGER, V VARCHAR(40), N DOUBLE PRECISION, S SMALLINT, " +
      std::string("W ") + TimestampType() + ")");
  const std::vector<std::string> texts = {"say \"hi\"", "back\\slash", "{a,b}", "NULL",
                                          " padded ",   "a,b",         "it's",  "x"};
  // Within the 15 digits SQLite's driver keeps.
  const std::vector<double> numbers = {0.1, 1e-300, -123456789.125, 1234.5678, 0, 2e15};
  ResultSet rs =
      connection_->OpenResultSet("SELECT * FROM T", CursorType::kDynamic, LockType::kPessimistic);
  for (int i = 0; i < 48; ++i) {
    rs.AddNew();
    rs.ColumnNamed("ID").SetValue(Value(i));
    rs.ColumnNamed("V").SetValue(Value(texts[i % texts.size()]));
    rs.ColumnNamed("N").SetValue(Value(numbers[i % numbers.size()]));
    rs.ColumnNamed("S").SetValue(Value(static_cast<std::int16_t>(i % 2 ? -32768 : 32767)));
    rs.ColumnNamed("W").SetValue(Value("2024-02-29 23:59:5" + std::to_string(i % 10)));
    rs.Update();
  }
  rs.Close();
  ResultSet back = connection_->OpenResultSet("SELECT ID, V, N, S, W FROM T ORDER BY ID",
                                              CursorType::kForwardOnly, LockType::kReadOnly);
  int i = 0;
  for (; !back.EndOfData(); back.MoveNext(), ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(back.ColumnNamed("V").GetValue().ToText(), texts[i % texts.size()]);
    EXPECT_DOUBLE_EQ(back.ColumnNamed("N").GetValue().ToDouble(), numbers[i % numbers.size()]);
    EXPECT_EQ(back.ColumnNamed("S").GetValue().ToInt32(), i % 2 ? -32768 : 32767);
    EXPECT_EQ(back.ColumnNamed("W").GetValue().ToText().substr(0, 19),
              "2024-02-29 23:59:5" + std::to_string(i % 10));
  }
  EXPECT_EQ(i, 48);
}

TEST_P(DestinationTest, DeletingAndAddingNeedAnUpdatableSingleTableResult) {
  CreateHistoryTable();
  Client("INSERT INTO HIST (PSEUDO_INDEX) VALUES (1); INSERT INTO HIST (PSEUDO_INDEX) VALUES (2);");
  auto expect_refused = [](auto action) {
    try {
      action();
      FAIL() << "allowed";
    } catch (const RaisedError& e) {
      EXPECT_EQ(e.Number(), kErrNotUpdatable);
    }
  };
  ResultSet read_only = connection_->OpenResultSet("SELECT * from HIST");
  expect_refused([&] { read_only.Delete(); });
  expect_refused([&] { read_only.AddNew(); });
  expect_refused([&] { read_only.ColumnNamed("NOTE").SetValue(Value("y")); });
  ResultSet computed = connection_->OpenResultSet("SELECT max(PSEUDO_INDEX) as M from HIST",
                                                  CursorType::kDynamic, LockType::kPessimistic);
  expect_refused([&] { computed.Delete(); });
  ResultSet second_row = connection_->OpenResultSet("SELECT * from HIST", CursorType::kDynamic,
                                                    LockType::kPessimistic);
  second_row.MoveNext();
  expect_refused([&] { second_row.Delete(); });
  EXPECT_EQ(Client("SELECT count(*) FROM HIST"), "2\n");
}

TEST_P(DestinationTest, ReportsTheDriversOdbcVersion) {
  const std::string& version = connection_->OdbcVersion();
  ASSERT_EQ(version.size(), 5u) << version;
  EXPECT_EQ(version[2], '.');
}

TEST_P(DestinationTest, RecordsTheThreadsCursorDriverChoiceAtOpen) {
  DataEngine::ForThisThread().SetCursorDriver(CursorDriver::kClientBatch);
  Connection client_batch = Connection::Open(db_.ConnectString());
  DataEngine::ForThisThread().SetCursorDriver(CursorDriver::kDefault);
  EXPECT_EQ(client_batch.cursor_driver(), CursorDriver::kClientBatch);
  EXPECT_EQ(connection_->cursor_driver(), CursorDriver::kDefault);
}

TEST_P(DestinationTest, BadConnectStringsRaiseWithoutShowingThePassword) {
  const std::string secret = "Zq9-not-the-password";
  std::vector<std::string> bad = {"UID=someone;PWD=" + secret + ";",
                                  "DSN=no_such_dsn_anywhere;UID=u;PWD=" + secret + ";"};
  if (!Is(Destination::kSqlite)) {  // SQLite has no passwords to get wrong
    bad.push_back("DSN=" + db_.dsn + ";UID=" + db_.uid + ";PWD=" + secret + ";");
  }
  for (const std::string& text : bad) {
    try {
      Connection::Open(text);
      ADD_FAILURE() << "connected with a bad connect string";
    } catch (const RaisedError& e) {
      EXPECT_FALSE(e.SqlState().empty());
      EXPECT_EQ(e.Description().find(secret), std::string::npos);
      for (const ErrorEntry& entry : DataEngine::ForThisThread().Errors()) {
        EXPECT_EQ(entry.description.find(secret), std::string::npos);
      }
    }
  }
}

TEST_P(DestinationTest, ServerEndingTheSessionMidQueryRaises) {
  if (Is(Destination::kSqlite)) GTEST_SKIP() << "no server to lose";
  ResultSet id =
      connection_->OpenResultSet(Is(Destination::kPostgres) ? "SELECT pg_backend_pid() AS ID"
                                                            : "SELECT connection_id() AS ID");
  std::string session = id.ColumnNamed("ID").GetValue().ToText();
  id.Close();
  std::jthread killer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    Client(Is(Destination::kPostgres) ? "SELECT pg_terminate_backend(" + session + ")"
                                      : "KILL " + session);
  });
  auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(connection_->OpenResultSet(Is(Destination::kPostgres) ? "SELECT pg_sleep(20)"
                                                                     : "SELECT SLEEP(20)"),
               RaisedError);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_THROW(connection_->Execute("DELETE FROM NOTHING_HERE"), RaisedError);
}

// A statement that waits on the server (here a sleep; in a run a lock or a peer gone quiet)
// fails at the connection's time limit instead of holding the run.
TEST_P(DestinationTest, StatementPastItsTimeLimitRaises) {
  if (Is(Destination::kSqlite)) GTEST_SKIP() << "no server to wait on";
  Connection limited = Connection::Open(db_.ConnectString(),
                                        {.login_timeout_seconds = 15, .query_timeout_seconds = 1});
  auto started = std::chrono::steady_clock::now();
  EXPECT_THROW(limited.OpenResultSet(Is(Destination::kPostgres) ? "SELECT pg_sleep(20)"
                                                                : "SELECT SLEEP(20)"),
               RaisedError);
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
}

// Built once per destination (KELVAN_TEST_DESTINATION), so that each binary has its label.
INSTANTIATE_TEST_SUITE_P(Destinations, DestinationTest,
                         ::testing::Values(Destination::KELVAN_TEST_DESTINATION),
                         [](const auto& info) { return testing::DestinationName(info.param); });

}  // namespace
}  // namespace kelvan::data
