#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "engine/engine_test_support.h"
#include "engine/engine_text.h"
#include "engine/qb_obj.h"
#include "engine/tool/qobra_cli.h"
#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"
#include "tests/support/test_names.h"

namespace kelvan::engine::testing {
namespace {

using kelvan::testing::CreateScratchDatabase;
using kelvan::testing::DestinationName;

constexpr const char* kServer = "VLT'1";  // a quote, so every where clause must double it
constexpr const char* kSourceCnn = "DSN=VLT1;UID=admin;PWD=Pr-secret";
constexpr const char* kNow = "2026-12-06 10:00:00";
// 30 days before kNow.
constexpr const char* kOldErrors =
    " where EXT_SERVER_NAME = 'VLT''1' and DATE_TIME < '2026-11-06 10:00:00'";

using Batch = std::optional<std::int32_t>;

class PruneFixture {
 protected:
  void Open(Destination kind, const std::string& qualifier = {}) {
    db_ = CreateScratchDatabase(kind, "prune");
    ApplyDestinationSchema(db_);
    record_ = std::make_unique<TestRecord>(db_.dsn, db_.uid, db_.pwd, qualifier);
    engine_.SetTrace(3, trace_.string());
    engine_.SetDBType("Unknown");
  }

  // Rows of `server` dated `date` with PSEUDO_INDEX from `first` to `last`.
  void Fill(const std::string& table, const char* column, const std::string& date,
            const std::string& server, int first, int last) {
    bool sqlite = db_.kind == Destination::kSqlite;
    std::string value = (sqlite ? "'" : "TIMESTAMP '") + date + "'";
    ExecuteOnDestination(
        db_, std::string(db_.kind == Destination::kMariaDb
                             ? "SET max_recursive_iterations = 100000; SET sql_mode = "
                               "CONCAT(@@sql_mode, ',NO_BACKSLASH_ESCAPES'); "
                             : "") +
                 "INSERT INTO " + table + " (EXT_SERVER_NAME, " + column +
                 ", PSEUDO_INDEX) WITH RECURSIVE n(i) AS (SELECT " + std::to_string(first) +
                 " UNION ALL SELECT i + 1 FROM n WHERE i < " + std::to_string(last) + ") SELECT '" +
                 QuoteSqlText(server) + "', " + value + ", i FROM n");
  }
  std::optional<std::int16_t> Prune(const std::string& table, const std::string& column,
                                    Batch& batch) {
    return engine_.PruneRecords(30, kServer, kSourceCnn, table, *record_, column, batch);
  }
  long long Count(const std::string& table, const std::string& condition = "1 = 1") {
    return QueryNumber(db_, "SELECT COUNT(*) FROM " + table + " WHERE " + condition);
  }
  std::vector<std::string> Lines() { return ReadLines(trace_); }
  // The lines from the first one that starts with `from` on.
  std::vector<std::string> LinesFrom(const std::string& from) {
    std::vector<std::string> lines = Lines();
    auto first = std::find_if(lines.begin(), lines.end(),
                              [&](const std::string& l) { return l.rfind(from, 0) == 0; });
    return {first, lines.end()};
  }
  // The batch delete statements, from their table name on.
  std::vector<std::string> BatchStatements() {
    const std::string prefix = "Running following query: delete from ";
    std::vector<std::string> statements;
    for (const std::string& line : Lines()) {
      if (line.rfind(prefix, 0) == 0) statements.push_back(line.substr(prefix.size()));
    }
    return statements;
  }
  // What follows "between " in each batch statement.
  std::vector<std::string> BatchRanges() {
    std::vector<std::string> ranges;
    for (const std::string& statement : BatchStatements()) {
      ranges.push_back(statement.substr(statement.find(" between ") + 9));
    }
    return ranges;
  }
  std::string Dest() const { return "DSN=" + db_.dsn + ";UID=" + db_.uid; }

  FixedClock clock_{*ParseTimestampText(kNow)};
  ScopedClock scoped_clock_{clock_};
  ScratchDatabase db_;
  std::unique_ptr<TestRecord> record_;
  std::filesystem::path trace_ =
      kelvan::testing::OdbcSandbox::Instance().MakeTempDir("prunetrace") / "run.htm";
  QbObj engine_;
};

class PruneTest : public PruneFixture, public ::testing::TestWithParam<Destination> {
 protected:
  void SetUp() override { Open(GetParam()); }
};

TEST_P(PruneTest, BatchSizeIsSettledAndWrittenBack) {
  const std::string kDefault =
      "Setting ApproxNumOfRecordsDeletedPerCommit to a default value of 1000";
  const std::string kLow =
      "ApproxNumOfRecordsDeletedPerCommit is set to a value less than or equal to zero.";
  struct Case {
    Batch given;
    std::int32_t settled;
    std::vector<std::string> lines;
  };
  const Case cases[] = {
      {std::nullopt, 1000, {kDefault}},
      {0, 1000, {kLow, kDefault}},
      {-5, 1000, {kLow, kDefault}},
      {40000,
       32767,
       {"ApproxNumOfRecordsDeletedPerCommit is set to a value greater than 32767.",
        "Setting ApproxNumOfRecordsDeletedPerCommit to a maximum value of 32767"}},
      {32767, 32767, {}},
      {1, 1, {}}};
  for (const Case& c : cases) {
    std::filesystem::remove(trace_);
    Batch batch = c.given;
    EXPECT_EQ(Prune("CLIENTERRORS", "DATE_TIME", batch), std::optional<std::int16_t>(0));
    EXPECT_EQ(batch, c.settled);
    std::vector<std::string> expected = {
        "===Entering Function PruneRecords CLIENTERRORS Start Time = 36000", "Server Name = VLT'1",
        "Source Connection = DSN=VLT1;UID=admin", "Table Name = CLIENTERRORS",
        "Data Source = " + db_.dsn};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    // Nothing to prune costs the count query alone.
    for (const std::string& line :
         {"Connection established to " + Dest(),
          "Running following query: select count(*) as TOTAL_COUNT from CLIENTERRORS" +
              std::string(kOldErrors),
          std::string("Total records to delete = 0"), std::string(),
          std::string("No records to Prune.")}) {
      expected.push_back(line);
    }
    EXPECT_EQ(Lines(), expected);
  }
}

TEST_P(PruneTest, TenOldRowsGoInOneBatch) {
  Fill("CLIENTERRORS", "DATE_TIME", "2026-11-01 00:00:00", kServer, 2, 11);
  Fill("CLIENTERRORS", "DATE_TIME", "2026-11-06 10:00:00", kServer, 12, 13);  // not older
  Fill("CLIENTERRORS", "DATE_TIME", "2026-11-01 00:00:00", "VLT2", 2, 4);
  Batch batch = 1000;
  EXPECT_EQ(Prune("CLIENTERRORS", "DATE_TIME", batch), std::nullopt);
  // D = 10 / (11 - 2) = 1.1 -> 1; S = 1000 / 1; i = 2 only.
  const std::string from = " from CLIENTERRORS" + std::string(kOldErrors);
  std::vector<std::string> expected = {
      "Total records to delete = 10",
      "Running following query: select max(PSEUDO_INDEX) as MAX_PI" + from,
      "Maximum pseudo index number = 11",
      "Running following query: select min(PSEUDO_INDEX) as MIN_PI" + from,
      "Minimum pseudo index number = 2",
      "Min 2 to Max 11 step 1000",
      "Running following query: delete" + from + " and PSEUDO_INDEX between 1 and 1002",
      "",
      "Found 9 records to be Pruned from CLIENTERRORS",
      "Running the following query to check Record Count after deleting: SELECT *" + from,
      "Verified 0 records left to be Pruned from CLIENTERRORS"};
  EXPECT_EQ(LinesFrom("Total records"), expected);
  EXPECT_EQ(Count("CLIENTERRORS", "EXT_SERVER_NAME = 'VLT''1'"), 2);
  EXPECT_EQ(Count("CLIENTERRORS", "EXT_SERVER_NAME = 'VLT2'"), 3);
}

TEST_P(PruneTest, FinalSweepTakesWhatTheBatchesMissed) {
  const std::string qualifier = GetParam() == Destination::kSqlite     ? "main"
                                : GetParam() == Destination::kPostgres ? "public"
                                                                       : db_.database;
  record_ = std::make_unique<TestRecord>(db_.dsn, db_.uid, db_.pwd, qualifier);
  Fill("SERVERERRORS", "DATE_TIME", "2026-10-01 00:00:00", kServer, 2, 3);
  ExecuteOnDestination(db_,
                       "INSERT INTO SERVERERRORS (EXT_SERVER_NAME, DATE_TIME) VALUES "
                       "('VLT''1', '2026-10-02 00:00:00')");
  Batch batch;
  EXPECT_EQ(Prune("SERVERERRORS", "DATE_TIME", batch), std::nullopt);
  // N = 3, D = 3 / (3 - 2) = 3, S = 1000 / 3 -> 333: one batch; the row without a
  // PSEUDO_INDEX is left to the sweep.
  const std::string table = qualifier + ".SERVERERRORS";
  const std::string where =
      " where EXT_SERVER_NAME = 'VLT''1' and DATE_TIME < '2026-11-06 10:00:00'";
  EXPECT_EQ(BatchRanges(), std::vector<std::string>{"1 and 335"});
  std::vector<std::string> expected = {
      "Found 1 records to be Pruned from SERVERERRORS",
      "Running the following query to check Record Count after deleting: SELECT * from " + table +
          where,
      "Verified 1 records left to be Pruned from SERVERERRORS",
      "Running the following query: DELETE from " + table + where,
      "",
      "Successfully Pruned 1 rows from the " + table + " table.",
      "Exiting Function PruneRecords. Time:>10:00:00 Table:>SERVERERRORS"};
  EXPECT_EQ(LinesFrom("Found "), expected);
  EXPECT_EQ(Count("SERVERERRORS"), 0);
}

// The per-date text must find the stored rows again on every destination, whatever time of
// day the extraction had.
TEST_P(PruneTest, Prune2DeletesEachExtractionInBatches) {
  Fill("NODES", "EXTRACT_DATE", "2026-10-01 00:00:00", kServer, 2, 5000);
  Fill("NODES", "EXTRACT_DATE", "2026-10-02 13:45:10", kServer, 2, 800);
  Fill("NODES", "EXTRACT_DATE", "2026-12-06 00:00:00", kServer, 2, 3);
  Fill("NODES", "EXTRACT_DATE", "2026-10-01 00:00:00", "VLT2", 2, 4);
  Batch batch = 1000;
  EXPECT_EQ(
      engine_.Prune2Records(30, kServer, kSourceCnn, "NODES", *record_, "EXTRACT_DATE", batch), 0);
  EXPECT_EQ(Count("NODES", "EXT_SERVER_NAME = 'VLT''1'"), 2);
  EXPECT_EQ(Count("NODES", "EXT_SERVER_NAME = 'VLT2'"), 3);

  const std::string first =
      "NODES where EXT_SERVER_NAME = 'VLT''1' and EXTRACT_DATE = "
      "'2026-10-01 00:00:00' and PSEUDO_INDEX between ";
  const std::string second =
      "NODES where EXT_SERVER_NAME = 'VLT''1' and EXTRACT_DATE = "
      "'2026-10-02 13:45:10' and PSEUDO_INDEX between ";
  std::vector<std::string> statements = BatchStatements();
  std::sort(statements.begin(), statements.end());  // the dates come in the database's order
  EXPECT_EQ(statements, (std::vector<std::string>{first + "1 and 1002", first + "1001 and 2002",
                                                  first + "2001 and 3002", first + "3001 and 4002",
                                                  first + "4001 and 5002", second + "1 and 802"}));
  std::vector<std::string> lines = Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Min 2 to Max 5000 step 1000"), 5);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Min 2 to Max 800 step 800"), 1);
  // 4998 + 798
  EXPECT_EQ(
      LinesFrom("Successfully Pruned"),
      (std::vector<std::string>{"Successfully Pruned 5796 rows from the NODES table.",
                                "Exiting Function PruneRecords. Time:>10:00:00 Table:>NODES"}));
}

TEST_P(PruneTest, FailuresAreRaisedWithoutLabels) {
  struct Case {
    bool second;
    const char* name;
  };
  for (const Case& c : {Case{false, "PruneRecords"}, Case{true, "Prune2Records"}}) {
    Batch batch;
    try {
      c.second ? engine_.Prune2Records(30, kServer, kSourceCnn, "NO_SUCH_TABLE", *record_,
                                       "EXTRACT_DATE", batch)
               : Prune("NO_SUCH_TABLE", "EXTRACT_DATE", batch).value_or(0);
      ADD_FAILURE() << c.name << " raised nothing";
    } catch (const RaisedError& e) {
      EXPECT_EQ(e.Source().rfind(std::string("Qobra.QbObj.") + c.name + ":", 0), 0u) << e.Source();
      EXPECT_EQ(e.Description().rfind("Error deleting data from KELVAN database:\r\n", 0), 0u)
          << e.Description();
      // Source and description of the inner failure, joined: "Error in X: " + source +
      // description.
      std::string inner_source = e.Source().substr(e.Source().find(':') + 1);
      const std::string& description = e.Description();
      size_t start = description.find("\r\n") + 2;
      std::string inner = description.substr(start, description.find("\r\n", start) - start);
      std::vector<std::string> lines = Lines();
      ASSERT_GE(lines.size(), 2u);
      EXPECT_EQ(lines[lines.size() - 2],
                std::string("Error in ") + c.name + ": " + inner_source + inner);
    }
    EXPECT_EQ(batch, 1000);  // settled before the failure
  }
  std::string trace = ReadFile(trace_);
  EXPECT_EQ(trace.find("Pr-secret"), std::string::npos);
  if (!db_.pwd.empty()) {
    EXPECT_EQ(trace.find(db_.pwd), std::string::npos);
  }
}

// Server names are quoted into every where clause: one ending in a backslash, or one that
// would close its literal where backslashes escape, prunes its own old rows and nothing else.
// Table names are pasted in: one that is not a plain name is refused before any statement.
TEST_P(PruneTest, HostileNamesTouchOnlyTheirOwnRows) {
  const std::vector<std::string> hostile = {"VLT\\", "x\\' OR 1=1 -- "};
  for (const std::string& server : hostile) {
    Fill("CLIENTERRORS", "DATE_TIME", "2026-10-01 00:00:00", server, 2, 11);
  }
  Fill("CLIENTERRORS", "DATE_TIME", "2026-10-01 00:00:00", "OTHER", 2, 11);
  for (const std::string& server : hostile) {
    Batch batch;
    engine_.PruneRecords(30, server, kSourceCnn, "CLIENTERRORS", *record_, "DATE_TIME", batch);
  }
  EXPECT_EQ(Count("CLIENTERRORS"), 10);
  EXPECT_EQ(Count("CLIENTERRORS", "EXT_SERVER_NAME = 'OTHER'"), 10);

  Batch batch;
  EXPECT_THROW(engine_.PruneRecords(-30, "OTHER", kSourceCnn, "CLIENTERRORS WHERE 1=1 --", *record_,
                                    "DATE_TIME", batch),
               RaisedError);
  EXPECT_EQ(Count("CLIENTERRORS"), 10);
}

INSTANTIATE_TEST_SUITE_P(Destinations, PruneTest,
                         ::testing::Values(Destination::kSqlite, Destination::kPostgres,
                                           Destination::kMariaDb),
                         [](const auto& info) { return DestinationName(info.param); });

// The step arithmetic does not depend on the destination.
struct StepCase {
  const char* name;
  std::vector<int> pseudo_indexes;
  std::int32_t batch;
  std::vector<std::string> ranges;  // of the batch statements, in order
};

class PruneStepTest : public PruneFixture, public ::testing::TestWithParam<StepCase> {
 protected:
  void SetUp() override { Open(Destination::kSqlite); }
};

TEST_P(PruneStepTest, BatchesSpanAboutTheBatchSize) {
  for (int index : GetParam().pseudo_indexes) {
    Fill("CLIENTERRORS", "DATE_TIME", "2026-10-01 00:00:00", kServer, index, index);
  }
  Batch batch = GetParam().batch;
  EXPECT_EQ(Prune("CLIENTERRORS", "DATE_TIME", batch), std::nullopt);
  EXPECT_EQ(BatchRanges(), GetParam().ranges);
  EXPECT_EQ(Count("CLIENTERRORS"), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, PruneStepTest,
                         ::testing::Values(
                             // D = 4 / 2 = 2; S = 5 / 2 = 2.5 -> 2 (even).
                             StepCase{"StepHalfToEven", {2, 3, 3, 4}, 5, {"1 and 4", "3 and 6"}},
                             // D = 5 / 2 = 2.5 -> 2 (even); S = 7 / 2 = 3.5 -> 4.
                             StepCase{"DensityHalfToEven", {2, 2, 3, 4, 4}, 7, {"1 and 6"}},
                             // MAX = MIN: D = N = 3; S = 1000 / 3 -> 333.
                             StepCase{"OnePseudoIndex", {5, 5, 5}, 1000, {"4 and 338"}},
                             // D = 2 / 98 -> 0, below 1: S = B.
                             StepCase{"SparseRows", {2, 100}, 1000, {"1 and 1002"}},
                             // D = 10 / 9 -> 1, not below B = 1: S = 1, one statement per value.
                             StepCase{"BatchNotAboveDensity",
                                      {2, 3, 4, 5, 6, 7, 8, 9, 10, 11},
                                      1,
                                      {"1 and 3", "2 and 4", "3 and 5", "4 and 6", "5 and 7",
                                       "6 and 8", "7 and 9", "8 and 10", "9 and 11", "10 and 12"}}),
                         [](const auto& info) { return std::string(info.param.name); });

class PruneColumnTest : public PruneFixture, public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    Open(Destination::kSqlite);
    engine_.SetDBType("Oracle");  // makes the timestamp comparison visible
  }
};

TEST_P(PruneColumnTest, DateTimeInAnyCaseComparesAsTimestamp) {
  Batch batch;
  try {
    Prune("CLIENTERRORS", GetParam(), batch);
  } catch (const RaisedError&) {
    // SQLite has no TO_DATE: only the statement's text matters here.
  }
  std::string count = LinesFrom("Running following query: select count(*)").at(0);
  EXPECT_TRUE(count.ends_with(" and " + std::string(GetParam()) +
                              " < TO_DATE('2026-11-06 10:00:00','YYYY-MM-DD HH24:MI:SS')"))
      << count;
}

INSTANTIATE_TEST_SUITE_P(Names, PruneColumnTest,
                         ::testing::Values("DATE_TIME", " date_time ", "Date_Time"),
                         [](const auto& info) {
                           return kelvan::testing::NameFromText(info.param);
                         });

TEST(PruneTextColumnTest, OtherColumnsCompareAsText) {
  struct Fixture : PruneFixture {
    using PruneFixture::engine_;
    using PruneFixture::LinesFrom;
    using PruneFixture::Open;
    using PruneFixture::Prune;
  } f;
  f.Open(Destination::kSqlite);
  f.engine_.SetDBType("Oracle");
  Batch batch;
  EXPECT_EQ(f.Prune("NODES", "EXTRACT_DATE", batch), std::optional<std::int16_t>(0));
  EXPECT_TRUE(f.LinesFrom("Running following query: select count(*)")
                  .at(0)
                  .ends_with(" and EXTRACT_DATE < '2026-11-06 10:00:00'"));
}

TEST(QobraPruneTest, PruneCommandsReportTheResultAndTheSettledBatchSize) {
  struct Fixture : PruneFixture {
    using PruneFixture::db_;
    using PruneFixture::Fill;
    using PruneFixture::Open;
  } f;
  f.Open(Destination::kSqlite);
  f.Fill("NODES", "EXTRACT_DATE", "2026-10-01 00:00:00", kServer, 2, 4);
  std::vector<std::string> common = {
      "--server", kServer,      "--source", kSourceCnn,   "--days",  "30",      "--dest-dsn",
      f.db_.dsn,  "--dest-uid", f.db_.uid,  "--dest-pwd", f.db_.pwd, "--batch", "-5"};
  struct Case {
    const char* command;
    const char* table;
    const char* column;
    const char* output;
  };
  for (const Case& c :
       {Case{"prune2", "NODES", "EXTRACT_DATE", "Prune2Records NODES: result 0, batch size 1000\n"},
        Case{"prune", "CLIENTERRORS", "DATE_TIME",
             "PruneRecords CLIENTERRORS: result 0, batch size 1000\n"}}) {
    std::vector<std::string> args = {c.command, "--table", c.table, "--column", c.column};
    args.insert(args.end(), common.begin(), common.end());
    std::ostringstream out, err;
    EXPECT_EQ(RunQobra(args, out, err), 0) << err.str();
    EXPECT_EQ(out.str(), c.output);
  }
  EXPECT_EQ(QueryNumber(f.db_, "SELECT COUNT(*) FROM NODES"), 0);
}

}  // namespace
}  // namespace kelvan::engine::testing
