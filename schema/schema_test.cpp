// The destination DDL: the six files agree, hold what the loader writes, use only the column
// types it converts, avoid reserved words, and apply cleanly to each database we can run.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "tests/support/odbc_sandbox.h"
#include "vltsim/generator/source_tables.h"

namespace kelvan {
namespace {

using testing::Destination;

struct Column {
  std::string name;
  std::string type;  // upper case, as written
};
struct Schema {
  std::map<std::string, std::vector<Column>> tables;
  std::set<std::string> indexes;  // "TABLE(COL, COL)"
};

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Reads the CREATE TABLE and CREATE INDEX statements of a file written in our layout.
Schema Parse(const std::string& file) {
  std::ifstream in(testing::SourcePath("schema/" + file));
  EXPECT_TRUE(in) << file;
  Schema schema;
  static const std::regex kTable(R"(^CREATE TABLE (\w+) \($)");
  static const std::regex kColumn(R"(^  (\w+) +([A-Z0-9 ,()]+?),?$)");
  static const std::regex kIndex(R"(^CREATE INDEX \w+ ON (\w+) \(([\w, ]+)\);$)");
  std::string line, table;
  std::smatch match;
  while (std::getline(in, line)) {
    if (std::regex_match(line, match, kTable)) {
      table = match[1];
      schema.tables[table];
    } else if (!table.empty() && std::regex_match(line, match, kColumn)) {
      schema.tables[table].push_back({match[1], Upper(match[2])});
    } else if (std::regex_match(line, match, kIndex)) {
      schema.indexes.insert(std::string(match[1]) + "(" + std::string(match[2]) + ")");
    } else if (line.rfind(")", 0) == 0) {
      table.clear();
    }
  }
  return schema;
}

std::vector<std::string> Names(const std::vector<Column>& columns) {
  std::vector<std::string> names;
  for (const Column& column : columns) names.push_back(column.name);
  return names;
}

// Words that some of SQLite, PostgreSQL, MariaDB, MS SQL, Oracle or ANSI SQL reserve and that
// could pass for a column name of a storage server.
const std::set<std::string>& ReservedWords() {
  static const std::set<std::string> words = {
      "ACCESS",    "ACTION",      "ADD",        "ALL",        "ANALYZE",       "AND",
      "ANY",       "AS",          "ASC",        "AUDIT",      "AUTHORIZATION", "BACKUP",
      "BETWEEN",   "BY",          "CASCADE",    "CASE",       "CAST",          "CHAR",
      "CHECK",     "CHECKPOINT",  "CLUSTER",    "COLUMN",     "COMMENT",       "COMMIT",
      "COMPRESS",  "CONNECT",     "CONSTRAINT", "CONTAINS",   "CREATE",        "CROSS",
      "CURRENT",   "CURSOR",      "DATABASE",   "DATE",       "DAY",           "DECIMAL",
      "DEFAULT",   "DELETE",      "DESC",       "DISK",       "DISTINCT",      "DOMAIN",
      "DROP",      "DUMP",        "ELEMENT",    "ELSE",       "END",           "ESCAPE",
      "EXCEPT",    "EXCLUSIVE",   "EXISTS",     "EXIT",       "FILE",          "FLOAT",
      "FOR",       "FOREIGN",     "FROM",       "FULL",       "GLOBAL",        "GRANT",
      "GROUP",     "HAVING",      "HOUR",       "IDENTIFIED", "IDENTITY",      "IMMEDIATE",
      "IN",        "INCREMENT",   "INDEX",      "INITIAL",    "INSERT",        "INTEGER",
      "INTERSECT", "INTERVAL",    "INTO",       "IS",         "JOIN",          "KEY",
      "KEYS",      "KILL",        "LEVEL",      "LIKE",       "LIMIT",         "LINES",
      "LOAD",      "LOCK",        "LONG",       "MATCH",      "MAXEXTENTS",    "MINUS",
      "MINUTE",    "MODE",        "MODIFY",     "MONTH",      "NATURAL",       "NOT",
      "NOWAIT",    "NULL",        "NUMBER",     "OF",         "OFF",           "OFFLINE",
      "OFFSET",    "ON",          "ONLINE",     "ONLY",       "OPEN",          "OPTION",
      "OR",        "ORDER",       "OUTER",      "OVER",       "PERCENT",       "PLAN",
      "POSITION",  "PRIMARY",     "PRIOR",      "PRIVILEGES", "PROCEDURE",     "PUBLIC",
      "RANGE",     "RAW",         "READ",       "REFERENCES", "RENAME",        "REPLACE",
      "RESOURCE",  "RESTORE",     "RESULT",     "RETURN",     "REVOKE",        "ROW",
      "ROWID",     "ROWNUM",      "ROWS",       "RULE",       "SCHEMA",        "SECOND",
      "SELECT",    "SESSION",     "SET",        "SHARE",      "SHOW",          "SIZE",
      "SMALLINT",  "SOME",        "START",      "STATISTICS", "SUCCESSFUL",    "SYNONYM",
      "SYSDATE",   "SYSTEM_USER", "TABLE",      "THEN",       "TIME",          "TIMESTAMP",
      "TO",        "TOP",         "TRIGGER",    "UID",        "UNION",         "UNIQUE",
      "UPDATE",    "USAGE",       "USE",        "USER",       "USING",         "VALIDATE",
      "VALUE",     "VALUES",      "VARCHAR",    "VIEW",       "WHEN",          "WHERE",
      "WINDOW",    "WITH",        "WRITE",      "YEAR",       "ZONE"};
  return words;
}

const std::vector<std::string> kFiles = {"sqlite.sql", "postgresql.sql", "mariadb.sql",
                                         "mssql.sql",  "oracle.sql",     "qdb.sql"};

TEST(Schema, AllSixFilesDefineTheSameTablesAndColumns) {
  const Schema reference = Parse("sqlite.sql");
  EXPECT_EQ(reference.tables.size(), 19u + 4u + 8u);
  for (const std::string& file : kFiles) {
    const Schema schema = Parse(file);
    ASSERT_EQ(schema.tables.size(), reference.tables.size()) << file;
    for (const auto& [table, columns] : reference.tables) {
      ASSERT_TRUE(schema.tables.count(table)) << file << " lacks " << table;
      EXPECT_EQ(Names(schema.tables.at(table)), Names(columns)) << file << " " << table;
    }
    EXPECT_EQ(schema.indexes, reference.indexes) << file;
  }
}

TEST(Schema, CopyTablesHoldEverySourceColumnPlusTheLoadersThree) {
  const Schema schema = Parse("sqlite.sql");
  for (const vltsim::SourceTable& source : vltsim::SourceTables()) {
    if (source.name == "ACTLOG") continue;  // read into the error tables, not copied
    ASSERT_TRUE(schema.tables.count(source.name)) << source.name;
    std::vector<std::string> expected = {"EXT_SERVER_NAME", "EXTRACT_DATE", "PSEUDO_INDEX"};
    for (const vltsim::SourceColumn& column : source.columns) {
      expected.push_back(ReservedWords().count(column.name) ? column.name + "_X" : column.name);
    }
    std::vector<std::string> actual = Names(schema.tables.at(source.name));
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
    EXPECT_EQ(actual, expected) << source.name;
  }
}

std::vector<std::string> Fitted(const std::vector<std::string>& forecast_columns) {
  std::vector<std::string> names;
  for (const std::string& c : forecast_columns) {
    for (const char* prefix : {"F_", "I_", "S_", "C_"}) names.push_back(prefix + c);
  }
  return names;
}

std::vector<std::string> Join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

TEST(Schema, DerivedTablesHoldExactlyTheColumnsTheLoaderWrites) {
  const Schema schema = Parse("sqlite.sql");
  const std::vector<std::string> head = {"EXT_SERVER_NAME", "PSEUDO_INDEX", "EXTRACT_DATE"};
  const std::map<std::string, std::vector<std::string>> expected = {
      {"CLIENTERRORS",
       {"EXT_SERVER_NAME", "PSEUDO_INDEX", "DATE_TIME", "MSGNO", "SEVERITY", "MESSAGE", "NODE_NAME",
        "SCHEDULE", "DOMAIN_NAME", "SESSION_ID"}},
      {"SERVERERRORS",
       {"EXT_SERVER_NAME", "PSEUDO_INDEX", "DATE_TIME", "MSGNO", "MESSAGE", "SEVERITY"}},
      {"SUMMARYHOUR",
       Join(head, {"ACTIVITY", "NUMBER_X", "ENTITY", "COMMMETH", "ADDRESS", "END_TIME",
                   "DATE_VALUE", "HOUR_VALUE", "ELAPSED_TIME", "BYTES"})},
      {"SIMUL_ACTIVITY",
       Join(head, {"ACTIVITY", "ENTITY", "SUBACTIVITY", "START_STOP", "ACTIVITY_TIME",
                   "ACTIVITY_COUNT", "ENTITY_COUNT", "SUBACTIVITY_COUNT"})},
      {"DB_F", Join(Join(head, {"DAYS_TO_FORECAST"}),
                    Fitted({"AVAIL_SPACE_MB", "CAPACITY_MB", "MAX_EXTENSION_MB", "MAX_REDUCTION_MB",
                            "PCT_UTILIZED", "MAX_PCT_UTILIZED", "PHYSICAL_VOLUMES", "CACHE_HIT_PCT",
                            "CACHE_WAIT_PCT"}))},
      {"FILESPACES_F", Join(Join(head, {"NODE_NAME", "FILESPACE_NAME", "DAYS_TO_FORECAST"}),
                            Fitted({"CAPACITY", "PCT_UTIL"}))},
      {"LOG_F",
       Join(Join(head, {"DAYS_TO_FORECAST"}),
            Fitted({"AVAIL_SPACE_MB", "CAPACITY_MB", "MAX_EXTENSION_MB", "MAX_REDUCTION_MB",
                    "PCT_UTILIZED", "MAX_PCT_UTILIZED", "PHYSICAL_VOLUMES"}))},
      {"STGPOOLS_F", Join(Join(head, {"STGPOOL_NAME", "DAYS_TO_FORECAST"}),
                          Fitted({"EST_CAPACITY_MB", "PCT_UTILIZED", "PCT_MIGR", "PCT_LOGICAL",
                                  "MAXSCRATCH", "MIGR_MB", "MIGR_SECONDS"}))},
      {"LIBVOLUMES_F",
       Join(Join(head, {"LIBRARY_NAME", "STATUS", "DAYS_TO_FORECAST"}), Fitted({"VOLCOUNT"}))},
      {"NODES_F", Join(Join(head, {"DAYS_TO_FORECAST"}), Fitted({"NODE_COUNT"}))},
      {"SIMUL_ACTIVITY_F",
       Join(Join(head, {"ACTIVITY", "ENTITY", "DAYS_TO_FORECAST"}), Fitted({"TM_COUNT"}))},
      {"OCCUPANCY_F",
       Join(Join(head, {"DAYS_TO_FORECAST", "NODE_NAME", "TYPE", "FILESPACE_NAME", "STGPOOL_NAME"}),
            Fitted({"LOGICAL_MB", "PHYSICAL_MB", "NUM_FILES"}))}};
  for (const auto& [table, columns] : expected) {
    ASSERT_TRUE(schema.tables.count(table)) << table;
    EXPECT_EQ(Names(schema.tables.at(table)), columns) << table;
  }
}

TEST(Schema, NoColumnNameIsReservedAnywhere) {
  for (const auto& [table, columns] : Parse("sqlite.sql").tables) {
    for (const Column& column : columns) {
      EXPECT_FALSE(ReservedWords().count(column.name)) << table << "." << column.name;
    }
  }
}

// The type names each file may use: those whose driver type codes the copy converts
// (integer, small integer, float/double, real, character, numeric, decimal, varchar,
// timestamp, time, date).
TEST(Schema, UsesOnlyTheTypesTheLoaderConverts) {
  const std::string text = R"((VAR)?CHAR\(\d+\)|)";
  const std::string decimal = R"(DECIMAL\(\d+,\d+\))";
  const std::map<std::string, std::string> allowed = {
      {"sqlite.sql", text + "BIGINT|INTEGER|SMALLINT|DOUBLE|REAL|TIMESTAMP|DATE|TIME|" + decimal},
      {"postgresql.sql", text + R"(BIGINT|INTEGER|SMALLINT|DOUBLE PRECISION|REAL|TIMESTAMP|DATE|TIME|)" +
                             R"(NUMERIC\(\d+,\d+\))"},
      {"mariadb.sql", text + "BIGINT|INT|SMALLINT|DOUBLE|FLOAT|DATETIME|DATE|TIME|" + decimal},
      {"mssql.sql", text + "BIGINT|INT|SMALLINT|FLOAT|REAL|DATETIME|DATE|" + decimal},
      {"oracle.sql", R"(NUMBER\(\d+(,\d+)?\)|FLOAT|DATE|VARCHAR2\(\d+\)|CHAR\(\d+\))"},
      {"qdb.sql", text + "BIGINT|INTEGER|SMALLINT|DOUBLE PRECISION|REAL|TIMESTAMP|DATE|TIME|" + decimal}};
  for (const auto& [file, pattern] : allowed) {
    const std::regex type(pattern);
    for (const auto& [table, columns] : Parse(file).tables) {
      for (const Column& column : columns) {
        EXPECT_TRUE(std::regex_match(column.type, type))
            << file << " " << table << "." << column.name << " " << column.type;
      }
    }
  }
}

// Servers count past 2^31 (objects examined, files, message and session numbers): a 32-bit
// column would leave such values unset.
TEST(Schema, CountColumnsHoldSixtyFourBits) {
  const std::map<std::string, std::vector<std::string>> counts = {
      {"SUMMARY", {"NUMBER_X", "EXAMINED", "AFFECTED", "FAILED", "IDLE", "MEDIAW", "COMM_WAIT"}},
      {"SUMMARYHOUR", {"NUMBER_X"}},
      {"CLIENTERRORS", {"MSGNO", "SESSION_ID"}},
      {"SERVERERRORS", {"MSGNO"}},
      {"OCCUPANCY", {"NUM_FILES"}},
      {"DB", {"BUFFER_REQUESTS"}},
      {"VOLUMES", {"TIMES_MOUNTED"}}};
  for (const std::string& file : kFiles) {
    const Schema schema = Parse(file);
    for (const auto& [table, names] : counts) {
      for (const Column& column : schema.tables.at(table)) {
        if (std::find(names.begin(), names.end(), column.name) == names.end()) continue;
        EXPECT_TRUE(column.type == "BIGINT" || column.type == "NUMBER(19)")
            << file << " " << table << "." << column.name << " " << column.type;
      }
    }
  }
}

const char* const kPrunedInBatches[] = {
    "CLIENTERRORS",     "SERVERERRORS", "SUMMARYHOUR", "SIMUL_ACTIVITY", "DB_F",
    "FILESPACES_F",     "LOG_F",        "STGPOOLS_F",  "LIBVOLUMES_F",   "NODES_F",
    "SIMUL_ACTIVITY_F", "OCCUPANCY_F"};

std::string DateColumn(const std::string& table) {
  return table == "CLIENTERRORS" || table == "SERVERERRORS" ? "DATE_TIME" : "EXTRACT_DATE";
}

TEST(Schema, IndexesServeTheLoadersWhereClauses) {
  const Schema schema = Parse("sqlite.sql");
  for (const auto& [table, columns] : schema.tables) {
    if (table == "CLIENTERRORS" || table == "SERVERERRORS") {
      EXPECT_TRUE(schema.indexes.count(table + "(EXT_SERVER_NAME, DATE_TIME)")) << table;
    } else {
      EXPECT_TRUE(schema.indexes.count(table + "(EXT_SERVER_NAME, EXTRACT_DATE, PSEUDO_INDEX)"))
          << table;
    }
  }
  for (const char* index :
       {"SUMMARY(EXT_SERVER_NAME, END_TIME)", "SUMMARYHOUR(EXT_SERVER_NAME, END_TIME)",
        "EVENTS(EXT_SERVER_NAME, SCHEDULED_START)"}) {
    EXPECT_TRUE(schema.indexes.count(index)) << index;
  }
  // Pruned in batches of PSEUDO_INDEX ranges: without this index every batch rescans the old rows.
  // The date column at its end makes SQLite, which keeps no statistics, prefer it to the date
  // index for the batch deletes.
  for (const std::string table : kPrunedInBatches) {
    EXPECT_TRUE(
        schema.indexes.count(table + "(EXT_SERVER_NAME, PSEUDO_INDEX, " + DateColumn(table) + ")"))
        << table;
  }
}

TEST(Schema, SqliteDeletesEachPruningBatchThroughThePseudoIndex) {
  auto db = testing::CreateScratchDatabase(testing::Destination::kSqlite, "plan");
  testing::RunSqlScript(db, testing::SourcePath("schema/sqlite.sql"));
  for (const std::string table : kPrunedInBatches) {
    const std::string plan = testing::QueryWithClient(
        db, "EXPLAIN QUERY PLAN delete from " + table + " where EXT_SERVER_NAME = 'S' and " +
                DateColumn(table) + " < '2026-01-01 00:00:00' and PSEUDO_INDEX between 9 and 1010");
    EXPECT_NE(plan.find(table + "_IXP"), std::string::npos) << table << ": " << plan;
  }
}

struct Applied {
  Destination kind;
  const char* file;
  const char* columns_query;  // table and column names, in column order
};

class SchemaApplies : public ::testing::TestWithParam<Applied> {};

TEST_P(SchemaApplies, CreatesEveryTableWithItsColumns) {
  const testing::ScratchDatabase db = testing::CreateScratchDatabase(GetParam().kind, "schema");
  testing::RunSqlScript(db, testing::SourcePath(std::string("schema/") + GetParam().file));
  std::map<std::string, std::vector<std::string>> created;
  std::istringstream rows(testing::QueryWithClient(db, GetParam().columns_query));
  std::string line;
  while (std::getline(rows, line)) {
    const auto tab = line.find('\t');
    if (tab != std::string::npos)
      created[Upper(line.substr(0, tab))].push_back(Upper(line.substr(tab + 1)));
  }
  std::map<std::string, std::vector<std::string>> expected;
  for (const auto& [table, columns] : Parse(GetParam().file).tables)
    expected[table] = Names(columns);
  EXPECT_EQ(created, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Databases, SchemaApplies,
    ::testing::Values(
        Applied{Destination::kSqlite, "sqlite.sql",
                "SELECT m.name, p.name FROM sqlite_master m, pragma_table_info(m.name) p "
                "WHERE m.type = 'table' ORDER BY m.name, p.cid"},
        Applied{Destination::kPostgres, "postgresql.sql",
                "SELECT table_name, column_name FROM information_schema.columns WHERE "
                "table_schema = 'public' ORDER BY table_name, ordinal_position"},
        // Base tables only: the ServerErrors view repeats SERVERERRORS.
        Applied{Destination::kMariaDb, "mariadb.sql",
                "SELECT c.table_name, c.column_name FROM information_schema.columns c JOIN "
                "information_schema.tables t ON t.table_schema = c.table_schema AND "
                "BINARY t.table_name = BINARY c.table_name WHERE c.table_schema = DATABASE() AND "
                "t.table_type = 'BASE TABLE' ORDER BY c.table_name, c.ordinal_position"}),
    [](const auto& info) { return testing::DestinationName(info.param.kind); });

}  // namespace
}  // namespace kelvan
