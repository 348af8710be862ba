// A night broken by a fault, then a clean rerun, must leave the destination exactly as one
// clean run does — under a source that looks like a real server (text that is not UTF-8 or is
// longer than its column, counts past 2^31, mixed empty columns, rows in no order). The fault
// strikes every source read after a few rows, or one destination stage's INSERTs.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>

#include "tests/faults/fault_support.h"

namespace kelvan::faults {
namespace {

using testing::Destination;
using ::testing::HasSubstr;

const std::vector<std::string> kCopied = {"SUMMARY", "EVENTS", "NODES", "FILESPACES", "OCCUPANCY"};
const std::vector<std::string> kCompared = {"SUMMARY",      "EVENTS",      "NODES",
                                            "FILESPACES",   "OCCUPANCY",   "CLIENTERRORS",
                                            "SERVERERRORS", "SUMMARYHOUR", "SIMUL_ACTIVITY"};

struct Fault {
  const char* name;
  Destination destination;
  std::map<std::string, std::string> source_keys;  // the stand-in's fault keys
  std::string table;                               // a destination table whose Nth INSERT fails
};

void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

// A trigger that rejects the fifth row ever offered to `table`; a sequence is not rolled back,
// so the worker's retry gets through.
std::string FailFifthInsert(const std::string& table) {
  return "CREATE SEQUENCE fault_rows; CREATE FUNCTION fault_fifth() RETURNS trigger AS $$ BEGIN "
         "IF nextval('fault_rows') = 5 THEN RAISE EXCEPTION 'fault test: fifth row'; END IF; "
         "RETURN NEW; END $$ LANGUAGE plpgsql; CREATE TRIGGER fault_fifth BEFORE INSERT ON " +
         table + " FOR EACH ROW EXECUTE FUNCTION fault_fifth()";
}

// Every column but the running numbers, and EVENTS' extract date (the run's own timestamp).
std::vector<std::string> ComparedColumns(const testing::ScratchDatabase& db,
                                         const std::string& table) {
  const std::string query =
      db.kind == Destination::kSqlite
          ? "SELECT upper(name) FROM pragma_table_info('" + table + "')"
          : "SELECT upper(column_name) FROM information_schema.columns WHERE table_schema = "
            "'public' AND table_name = lower('" +
                table + "') ORDER BY ordinal_position";
  std::vector<std::string> columns;
  for (const std::string& column : SortedLines(testing::QueryWithClient(db, query))) {
    if (column == "PSEUDO_INDEX" || (table == "EVENTS" && column == "EXTRACT_DATE")) continue;
    columns.push_back(column);
  }
  return columns;
}

// The server's rows of every compared table, sorted, one text per table.
std::map<std::string, std::vector<std::string>> Contents(const testing::ScratchDatabase& db,
                                                         const std::string& server) {
  std::map<std::string, std::vector<std::string>> contents;
  for (const std::string& table : kCompared) {
    std::string select;
    for (const std::string& column : ComparedColumns(db, table)) {
      select += (select.empty() ? "" : ", ") + column;
    }
    contents[table] = SortedLines(testing::QueryWithClient(
        db, "SELECT " + select + " FROM " + table + " WHERE EXT_SERVER_NAME = '" + server + "'"));
  }
  return contents;
}

class ConvergenceTest : public ::testing::TestWithParam<Fault> {
 protected:
  testing::ScratchDatabase NewDestination(const std::string& tag) {
    testing::ScratchDatabase db = testing::CreateScratchDatabase(GetParam().destination, tag);
    testing::ApplyDestinationSchema(db);
    return db;
  }
  BatchResult Run(const testing::ScratchDatabase& db, const std::string& name) {
    const fs::path setup = WriteSetup(dir_,
                                      {.servers = {server_},
                                       .tables = kCopied,
                                       .load_error_tables = true,
                                       .simul_activity = true,
                                       .summary_hour = true},
                                      db, name + ".ini");
    return RunBatch(setup, dir_ / (name + ".htm"));
  }

  std::string tag_ = std::string("cv_") + GetParam().name;
  std::string server_ = "VLT_" + tag_;
  fs::path dir_ = testing::OdbcSandbox::Instance().MakeTempDir(tag_);
  fs::path file_ = CreateVltFile(tag_, 57, 3, 1, "real");
};

TEST_P(ConvergenceTest, BrokenRunThenRerunEqualsOneCleanRun) {
  const Fault& fault = GetParam();
  RegisterVltServer(server_, file_);
  const testing::ScratchDatabase clean = NewDestination("cva");
  const BatchResult once = Run(clean, "clean");
  ASSERT_EQ(once.status, 0) << once.output;

  const testing::ScratchDatabase broken = NewDestination("cvb");
  if (!fault.table.empty()) testing::QueryWithClient(broken, FailFifthInsert(fault.table));
  RegisterVltServer(server_, file_, fault.source_keys);
  const BatchResult faulty = Run(broken, "broken");
  EXPECT_THAT(faulty.run_log, HasSubstr("</PRE>\r\n"));
  if (!fault.table.empty())
    testing::QueryWithClient(broken, "DROP TRIGGER fault_fifth ON " + fault.table);
  RegisterVltServer(server_, file_);
  const BatchResult rerun = Run(broken, "rerun");
  ASSERT_EQ(rerun.status, 0) << rerun.output;

  const auto expected = Contents(clean, server_);
  const auto actual = Contents(broken, server_);
  std::cout << "[fault] " << fault.name << ": broken run status " << faulty.status << ";";
  for (const std::string& table : kCompared) {
    std::cout << " " << table << " " << actual.at(table).size();
  }
  std::cout << "\n";
  for (const std::string& table : kCompared) {
    SCOPED_TRACE(table);
    EXPECT_FALSE(expected.at(table).empty());
    EXPECT_EQ(actual.at(table).size(), expected.at(table).size());
    EXPECT_TRUE(actual.at(table) == expected.at(table)) << "rows differ from one clean run's";
  }
}

std::vector<Fault> Faults() {
  std::vector<Fault> faults;
  for (Destination kind : {Destination::kSqlite, Destination::kPostgres}) {
    const std::string where = testing::DestinationName(kind);
    faults.push_back({"every_read_fails", kind, {{"FailExecN", "1"}}, ""});
    faults.push_back({"reads_break_after_3", kind, {{"FailFetchAfter", "3"}}, ""});
    faults.push_back({"reads_break_after_40", kind, {{"FailFetchAfter", "40"}}, ""});
  }
  for (const char* table : {"CLIENTERRORS", "SERVERERRORS", "SUMMARY", "EVENTS", "NODES",
                            "SUMMARYHOUR", "SIMUL_ACTIVITY"}) {
    faults.push_back({table, Destination::kPostgres, {}, table});
  }
  return faults;
}

INSTANTIATE_TEST_SUITE_P(Faults, ConvergenceTest, ::testing::ValuesIn(Faults()),
                         [](const auto& info) {
                           std::string name = info.param.name;
                           if (info.param.table.empty()) {
                             name += "_" + testing::DestinationName(info.param.destination);
                           }
                           return name;
                         });

}  // namespace
}  // namespace kelvan::faults
