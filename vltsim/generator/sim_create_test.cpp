#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "tests/support/odbc_sandbox.h"
#include "vltsim/generator/sim_commands.h"

namespace kelvan::vltsim {
namespace {

namespace fs = std::filesystem;
using kelvan::testing::OdbcSandbox;

constexpr const char* kNow = "2026-03-10 12:00:00";
constexpr const char* kOrigin = "2026-03-07 12:00:00";  // three days of history
constexpr const char* kTimestampGlob =
    "'[0-9][0-9][0-9][0-9]-[01][0-9]-[0-3][0-9] [0-2][0-9]:[0-5][0-9]:[0-5][0-9]'";

// Read access to a generated file through the sqlite3 API.
class SqliteFile {
 public:
  explicit SqliteFile(const fs::path& path) {
    EXPECT_EQ(
        sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr),
        SQLITE_OK);
  }
  ~SqliteFile() { sqlite3_close(db_); }

  // First column of every row, as text ("NULL" for a null).
  std::vector<std::string> Column(const std::string& sql) {
    std::vector<std::string> values;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
      ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db_);
      return values;
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
      const auto* text = sqlite3_column_text(statement, 0);
      values.push_back(text ? reinterpret_cast<const char*>(text) : "NULL");
    }
    sqlite3_finalize(statement);
    return values;
  }
  std::string Text(const std::string& sql) {
    auto values = Column(sql);
    return values.empty() ? "" : values.front();
  }
  long long Count(const std::string& sql) { return std::stoll(Text(sql)); }

 private:
  sqlite3* db_ = nullptr;
};

fs::path Create(const std::string& tag, int days, std::uint64_t seed, const char* now,
                int scale = 1, Profile profile = Profile::kTidy) {
  fs::path file = OdbcSandbox::Instance().MakeTempDir(tag) / "vlt.db";
  CreateServerFile({file, days, seed, *ParseTimestamp(now), scale, profile});
  return file;
}

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class GeneratedServer : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { file_ = new fs::path(Create("server", 3, 42, kNow)); }
  static void TearDownTestSuite() { delete file_; }
  static fs::path* file_;
};
fs::path* GeneratedServer::file_ = nullptr;

TEST_F(GeneratedServer, SameArgumentsGiveTheSameBytesAndAnotherSeedDoesNot) {
  EXPECT_EQ(Bytes(Create("again", 3, 42, kNow)), Bytes(*file_));
  EXPECT_NE(Bytes(Create("other", 3, 43, kNow)), Bytes(*file_));
}

TEST_F(GeneratedServer, HoldsTheKnownTablesAndTheActivityLog) {
  SqliteFile db(*file_);
  for (const char* table : {"ADMINS",     "DB",         "DBVOLUMES", "DEVCLASSES", "DRIVES",
                            "EVENTS",     "FILESPACES", "LOG",       "LOGVOLUMES", "NODES",
                            "STGPOOLS",   "SUMMARY",    "VOLUMES",   "OCCUPANCY",  "VOLUMEUSAGE",
                            "LIBVOLUMES", "LIBRARIES",  "OPTIONS",   "VOLHISTORY", "ACTLOG"}) {
    EXPECT_GT(db.Count(std::string("SELECT count(*) FROM ") + table), 0) << table;
  }
}

struct RequiredColumns {
  const char* table;
  std::vector<std::string> columns;  // "NAME TYPE": the declared type matters to the driver
};

class GeneratedColumns : public GeneratedServer,
                         public ::testing::WithParamInterface<RequiredColumns> {};

TEST_P(GeneratedColumns, AreDeclaredWithTheirTypes) {
  SqliteFile db(*file_);
  const auto declared = db.Column(
      std::string("SELECT name || ' ' || type FROM pragma_table_info('") + GetParam().table + "')");
  const std::set<std::string> have(declared.begin(), declared.end());
  for (const std::string& column : GetParam().columns) {
    EXPECT_TRUE(have.count(column)) << GetParam().table << " lacks " << column;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Tables, GeneratedColumns,
    ::testing::Values(
        RequiredColumns{
            "SUMMARY",
            {"START_TIME TIMESTAMP", "END_TIME TIMESTAMP", "ACTIVITY VARCHAR(30)", "NUMBER INTEGER",
             "ENTITY VARCHAR(64)", "COMMMETH VARCHAR(8)", "ADDRESS VARCHAR(64)",
             "BYTES DECIMAL(20,0)", "LIBRARY_NAME VARCHAR(30)", "LAST_USE VARCHAR(16)"}},
        RequiredColumns{"EVENTS", {"SCHEDULED_START TIMESTAMP", "STATUS VARCHAR(12)"}},
        RequiredColumns{"ACTLOG",
                        {"DATE_TIME TIMESTAMP", "MSGNO INTEGER", "SEVERITY CHAR(1)",
                         "MESSAGE VARCHAR(1024)", "ORIGINATOR VARCHAR(8)", "NODENAME VARCHAR(64)",
                         "SCHEDNAME VARCHAR(30)", "DOMAINNAME VARCHAR(30)", "SESSID INTEGER"}},
        RequiredColumns{
            "DB",
            {"AVAIL_SPACE_MB INTEGER", "CAPACITY_MB INTEGER", "MAX_EXTENSION_MB INTEGER",
             "MAX_REDUCTION_MB INTEGER", "PCT_UTILIZED DECIMAL(5,1)",
             "MAX_PCT_UTILIZED DECIMAL(5,1)", "PHYSICAL_VOLUMES SMALLINT",
             "CACHE_HIT_PCT DECIMAL(5,1)", "CACHE_WAIT_PCT DECIMAL(5,1)", "LAST_CHECK_DATE DATE",
             "LAST_CHECK_TIME TIME"}},
        RequiredColumns{
            "LOG",
            {"AVAIL_SPACE_MB INTEGER", "CAPACITY_MB INTEGER", "MAX_EXTENSION_MB INTEGER",
             "MAX_REDUCTION_MB INTEGER", "PCT_UTILIZED DECIMAL(5,1)",
             "MAX_PCT_UTILIZED DECIMAL(5,1)", "PHYSICAL_VOLUMES SMALLINT"}},
        RequiredColumns{
            "STGPOOLS",
            {"STGPOOL_NAME VARCHAR(30)", "EST_CAPACITY_MB DECIMAL(14,1)",
             "PCT_UTILIZED DECIMAL(5,1)", "PCT_MIGR DECIMAL(5,1)", "PCT_LOGICAL DECIMAL(5,1)",
             "MAXSCRATCH INTEGER", "MIGR_MB DECIMAL(14,1)", "MIGR_SECONDS INTEGER"}},
        RequiredColumns{"FILESPACES",
                        {"NODE_NAME VARCHAR(64)", "FILESPACE_NAME VARCHAR(128)", "CAPACITY FLOAT",
                         "PCT_UTIL DECIMAL(5,1)"}},
        RequiredColumns{"LIBVOLUMES", {"LIBRARY_NAME VARCHAR(30)", "STATUS VARCHAR(12)"}},
        RequiredColumns{"NODES", {"NODE_NAME VARCHAR(64)"}},
        RequiredColumns{"OCCUPANCY",
                        {"NODE_NAME VARCHAR(64)", "TYPE VARCHAR(8)", "FILESPACE_NAME VARCHAR(128)",
                         "STGPOOL_NAME VARCHAR(30)", "LOGICAL_MB DECIMAL(14,2)",
                         "PHYSICAL_MB DECIMAL(14,2)", "NUM_FILES INTEGER"}}),
    [](const auto& info) { return std::string(info.param.table); });

struct SpecialData {
  const char* name;
  const char* count_query;  // must find at least one row
};

class GeneratedSpecialData : public GeneratedServer,
                             public ::testing::WithParamInterface<SpecialData> {};

TEST_P(GeneratedSpecialData, IsPresent) {
  SqliteFile db(*file_);
  EXPECT_GT(db.Count(GetParam().count_query), 0) << GetParam().count_query;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, GeneratedSpecialData,
    ::testing::Values(
        SpecialData{"NodeWithQuote", "SELECT count(*) FROM NODES WHERE NODE_NAME LIKE '%''%'"},
        SpecialData{"SessionOfNodeWithQuote",
                    "SELECT count(*) FROM SUMMARY WHERE ENTITY LIKE '%''%'"},
        SpecialData{"MessageOfNodeWithQuote",
                    "SELECT count(*) FROM ACTLOG WHERE NODENAME LIKE '%''%'"},
        SpecialData{"MessageWithDoubleQuotes",
                    "SELECT count(*) FROM ACTLOG WHERE MESSAGE LIKE '%\"%'"},
        SpecialData{"MessageOver255", "SELECT count(*) FROM ACTLOG WHERE length(MESSAGE) > 255"},
        SpecialData{"ServerI",
                    "SELECT count(*) FROM ACTLOG WHERE ORIGINATOR = 'SERVER' AND SEVERITY = 'I'"},
        SpecialData{"ServerW",
                    "SELECT count(*) FROM ACTLOG WHERE ORIGINATOR = 'SERVER' AND SEVERITY = 'W'"},
        SpecialData{"ServerE",
                    "SELECT count(*) FROM ACTLOG WHERE ORIGINATOR = 'SERVER' AND SEVERITY = 'E'"},
        SpecialData{"ServerS",
                    "SELECT count(*) FROM ACTLOG WHERE ORIGINATOR = 'SERVER' AND SEVERITY = 'S'"},
        SpecialData{"ServerD",
                    "SELECT count(*) FROM ACTLOG WHERE ORIGINATOR = 'SERVER' AND SEVERITY = 'D'"},
        SpecialData{"ClientI",
                    "SELECT count(*) FROM ACTLOG WHERE ORIGINATOR = 'CLIENT' AND SEVERITY = 'I'"},
        SpecialData{"ClientW",
                    "SELECT count(*) FROM ACTLOG WHERE ORIGINATOR = 'CLIENT' AND SEVERITY = 'W'"},
        SpecialData{"ClientE",
                    "SELECT count(*) FROM ACTLOG WHERE ORIGINATOR = 'CLIENT' AND SEVERITY = 'E'"},
        SpecialData{"ClientS",
                    "SELECT count(*) FROM ACTLOG WHERE ORIGINATOR = 'CLIENT' AND SEVERITY = 'S'"},
        SpecialData{"ClientD",
                    "SELECT count(*) FROM ACTLOG WHERE ORIGINATOR = 'CLIENT' AND SEVERITY = 'D'"},
        SpecialData{"ClientMessageWithSessionAndSchedule",
                    "SELECT count(*) FROM ACTLOG WHERE ORIGINATOR = 'CLIENT' AND SESSID > 0 AND "
                    "SCHEDNAME IS NOT NULL AND DOMAINNAME IS NOT NULL"},
        SpecialData{"ActivityOverMidnight",
                    "SELECT count(*) FROM SUMMARY WHERE substr(START_TIME, 1, 10) < "
                    "substr(END_TIME, 1, 10)"},
        SpecialData{"ActivityOverAnHour",
                    "SELECT count(*) FROM SUMMARY WHERE substr(START_TIME, 1, 13) < "
                    "substr(END_TIME, 1, 13) AND substr(START_TIME, 1, 10) = "
                    "substr(END_TIME, 1, 10)"},
        SpecialData{"ZeroBytes", "SELECT count(*) FROM SUMMARY WHERE BYTES = 0"},
        SpecialData{"NullBytes", "SELECT count(*) FROM SUMMARY WHERE BYTES IS NULL"},
        SpecialData{"SessionWithCommMethod",
                    "SELECT count(*) FROM SUMMARY WHERE COMMMETH IS NOT NULL AND BYTES > 0"},
        SpecialData{"ActivityWithoutCommMethod",
                    "SELECT count(*) FROM SUMMARY WHERE COMMMETH IS NULL AND "
                    "ACTIVITY <> 'TAPE MOUNT' AND BYTES > 0"},
        SpecialData{"TapeMount",
                    "SELECT count(*) FROM SUMMARY WHERE ACTIVITY = 'TAPE MOUNT' AND "
                    "LIBRARY_NAME IS NOT NULL AND LAST_USE IS NOT NULL AND COMMMETH IS NULL"},
        SpecialData{"PendingEvent", "SELECT count(*) FROM EVENTS WHERE STATUS = 'Pending'"},
        SpecialData{"CompletedEvent", "SELECT count(*) FROM EVENTS WHERE STATUS = 'Completed'"},
        SpecialData{"ScratchAndPrivateVolumes",
                    "SELECT count(DISTINCT STATUS) - 1 FROM LIBVOLUMES WHERE STATUS IN "
                    "('Scratch', 'Private')"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(GeneratedServer, HistoryLiesInTheDaysBeforeNowAndTheFutureIsOnlyPending) {
  SqliteFile db(*file_);
  const std::string pattern = kTimestampGlob;
  EXPECT_EQ(db.Count("SELECT count(*) FROM SUMMARY WHERE END_TIME <= '" + std::string(kOrigin) +
                     "' OR END_TIME > '" + kNow + "' OR START_TIME > END_TIME"),
            0);
  EXPECT_EQ(db.Count("SELECT count(*) FROM SUMMARY WHERE NOT START_TIME GLOB " + pattern +
                     " OR NOT END_TIME GLOB " + pattern),
            0);
  EXPECT_EQ(db.Count("SELECT count(*) FROM ACTLOG WHERE DATE_TIME <= '" + std::string(kOrigin) +
                     "' OR DATE_TIME > '" + kNow + "' OR NOT DATE_TIME GLOB " + pattern),
            0);
  EXPECT_EQ(db.Count("SELECT count(*) FROM EVENTS WHERE SCHEDULED_START > '" + std::string(kNow) +
                     "' AND STATUS <> 'Pending'"),
            0);
  EXPECT_GT(
      db.Count("SELECT count(*) FROM EVENTS WHERE SCHEDULED_START > '" + std::string(kNow) + "'"),
      0);
}

TEST_F(GeneratedServer, CapacityTablesShowOnlyTheCurrentState) {
  SqliteFile db(*file_);
  EXPECT_EQ(db.Count("SELECT count(*) FROM DB"), 1);
  EXPECT_EQ(db.Count("SELECT count(*) FROM LOG"), 1);
  EXPECT_EQ(db.Count("SELECT count(*) FROM STGPOOLS"), 4);
  EXPECT_EQ(db.Count("SELECT count(*) - count(DISTINCT NODE_NAME) FROM NODES"), 0);
  EXPECT_EQ(db.Count("SELECT count(*) FROM (SELECT NODE_NAME, FILESPACE_NAME FROM FILESPACES "
                     "GROUP BY 1, 2 HAVING count(*) > 1)"),
            0);
}

TEST(GeneratedScale, MultipliesTheRowCounts) {
  SqliteFile small(Create("scale1", 2, 5, kNow, 1));
  SqliteFile large(Create("scale4", 2, 5, kNow, 4));
  for (const char* table : {"SUMMARY", "ACTLOG", "NODES", "LIBVOLUMES", "EVENTS"}) {
    const std::string count = std::string("SELECT count(*) FROM ") + table;
    const double ratio = static_cast<double>(large.Count(count)) / small.Count(count);
    EXPECT_GT(ratio, 3.0) << table;
    EXPECT_LT(ratio, 5.0) << table;
  }
}

class ProfiledAdvance : public ::testing::TestWithParam<Profile> {};

// The history a later `advance` adds must be exactly what a longer `create` of the same profile
// would have held: no activity lost or doubled at the boundary, and the earlier rows untouched.
TEST_P(ProfiledAdvance, AppendsExactlyTheNextHoursAndMovesTheSnapshotsOn) {
  // At midnight NIGHTOWL's backup of 23:40 is still running.
  const fs::path advanced = Create("advanced", 3, 42, "2026-03-10 00:00:00", 1, GetParam());
  const fs::path before = advanced.parent_path() / "before.db";
  fs::copy_file(advanced, before);
  EXPECT_EQ(FormatTimestamp(AdvanceServerFile(advanced, 30)), "2026-03-11 06:00:00");
  // Same start of history (2026-03-07 00:00:00), the same 30 hours later.
  const fs::path longer = Create("longer", 4, 42, "2026-03-11 00:00:00", 1, GetParam());
  AdvanceServerFile(longer, 6);

  SqliteFile db(advanced);
  db.Column("ATTACH '" + before.string() + "' AS before");
  db.Column("ATTACH '" + longer.string() + "' AS longer");
  for (const std::string t : {"SUMMARY", "ACTLOG", "EVENTS", "NODES", "DB", "LIBVOLUMES"}) {
    EXPECT_EQ(db.Count("SELECT count(*) FROM main." + t),
              db.Count("SELECT count(*) FROM longer." + t))
        << t;
    EXPECT_EQ(db.Count("SELECT count(*) FROM (SELECT * FROM main." + t +
                       " EXCEPT SELECT * FROM longer." + t + ")"),
              0)
        << t;
  }
  for (const std::string t : {"SUMMARY", "ACTLOG"}) {
    EXPECT_EQ(db.Count("SELECT count(*) FROM (SELECT * FROM before." + t +
                       " EXCEPT SELECT * FROM main." + t + ")"),
              0)
        << t;
    EXPECT_GT(db.Count("SELECT count(*) FROM main." + t),
              db.Count("SELECT count(*) FROM before." + t))
        << t;
  }
  EXPECT_EQ(db.Count("SELECT count(*) FROM main.SUMMARY WHERE END_TIME > '2026-03-11 06:00:00'"),
            0);
  const std::string nightowl =
      "EVENTS WHERE NODE_NAME = 'NIGHTOWL' AND SCHEDULED_START = '2026-03-09 23:40:00'";
  EXPECT_EQ(db.Text("SELECT STATUS FROM before." + nightowl), "Started");
  EXPECT_EQ(db.Text("SELECT STATUS FROM main." + nightowl), "Completed");
  EXPECT_NE(db.Text("SELECT PCT_UTILIZED FROM main.STGPOOLS WHERE STGPOOL_NAME = 'TAPE_POOL'"),
            db.Text("SELECT PCT_UTILIZED FROM before.STGPOOLS WHERE STGPOOL_NAME = 'TAPE_POOL'"));
}

INSTANTIATE_TEST_SUITE_P(Profiles, ProfiledAdvance,
                         ::testing::Values(Profile::kTidy, Profile::kReal),
                         [](const auto& info) { return std::string(ProfileName(info.param)); });

TEST(GeneratedAdvance, RefusesAFileItDidNotMake) {
  const fs::path dir = OdbcSandbox::Instance().MakeTempDir("foreign");
  EXPECT_ANY_THROW(AdvanceServerFile(dir / "missing.db", 1));
  SqliteFile(dir / "empty.db").Column("CREATE TABLE T (A INTEGER)");
  EXPECT_ANY_THROW(AdvanceServerFile(dir / "empty.db", 1));
}

// ---- The real profile ---------------------------------------------------------------------

constexpr const char* kMidnight = "2026-03-10 00:00:00";  // three whole days: 7, 8 and 9 March

// The same server made with each profile.
class ProfiledServers : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    real_ = new fs::path(Create("real", 3, 42, kMidnight, 1, Profile::kReal));
    tidy_ = new fs::path(Create("tidy", 3, 42, kMidnight));
  }
  static void TearDownTestSuite() {
    delete real_;
    delete tidy_;
  }
  static fs::path* real_;
  static fs::path* tidy_;
};
fs::path* ProfiledServers::real_ = nullptr;
fs::path* ProfiledServers::tidy_ = nullptr;

// One kind of row that real servers hold: where it is and how to know it.
struct Irregularity {
  const char* name;
  const char* table;
  const char* time_column;  // the day the row belongs to
  std::string condition;
};

class RealServerRows : public ProfiledServers,
                       public ::testing::WithParamInterface<Irregularity> {};

TEST_P(RealServerRows, AreThereEveryDayAndNeverInTheTidyServer) {
  const Irregularity& kind = GetParam();
  const std::string day = std::string("substr(") + kind.time_column + ", 1, 10)";
  const std::string days = "SELECT count(DISTINCT " + day + ") FROM " + kind.table + " WHERE " +
                           day + " < '2026-03-10' AND " + kind.condition;
  EXPECT_EQ(SqliteFile(*real_).Count(days), 3);
  EXPECT_EQ(SqliteFile(*tidy_).Count(days), 0);
}

// The column holds a single quote, a double quote, a backslash, "--" and ";".
std::string WithEveryPunctuation(const std::string& column) {
  std::string condition = "1";
  for (const char* mark : {"''", "\"", "\\", "--", ";"}) {
    condition += " AND instr(" + column + ", '" + mark + "') > 0";
  }
  return condition;
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, RealServerRows,
    ::testing::Values(
        Irregularity{"CountsPast32Bits", "SUMMARY", "END_TIME",
                     "NUMBER > 2147483647 AND EXAMINED = 9000000000 AND AFFECTED = 3000000000 "
                     "AND FAILED > 2147483647 AND IDLE > 2147483647"},
        Irregularity{"NegativeWaits", "SUMMARY", "END_TIME",
                     "IDLE < 0 AND COMM_WAIT < 0 AND FAILED = 0"},
        Irregularity{"EntityOf71MultiByteCharacters", "SUMMARY", "END_TIME",
                     "length(ENTITY) = 71 AND substr(ENTITY, 1, 1) GLOB '[A-Z]' AND "
                     "length(CAST(ENTITY AS BLOB)) >= 1 + 2 * 70"},
        Irregularity{"EntityWithPunctuation", "SUMMARY", "END_TIME",
                     WithEveryPunctuation("ENTITY")},
        Irregularity{"NonAsciiAddress", "SUMMARY", "END_TIME",
                     "length(CAST(ADDRESS AS BLOB)) > length(ADDRESS)"},
        Irregularity{"NonAsciiNamesOver30Characters", "EVENTS", "SCHEDULED_START",
                     "length(SCHEDULE_NAME) > 30 AND length(CAST(DOMAIN_NAME AS BLOB)) > "
                     "length(DOMAIN_NAME)"},
        Irregularity{"MsgnoPast32Bits", "ACTLOG", "DATE_TIME", "MSGNO > 2147483647"},
        Irregularity{"SessionPast32Bits", "ACTLOG", "DATE_TIME", "SESSID > 2147483647"},
        Irregularity{"AccentedMessageOfFewerCharactersThanBytes", "ACTLOG", "DATE_TIME",
                     "length(MESSAGE) BETWEEN 130 AND 255 AND MESSAGE GLOB '*é*' AND "
                     "length(CAST(MESSAGE AS BLOB)) > 255"},
        Irregularity{"AccentedMessageOver255Characters", "ACTLOG", "DATE_TIME",
                     "length(MESSAGE) BETWEEN 256 AND 300 AND MESSAGE GLOB '*é*'"},
        Irregularity{"MessageWithPunctuation", "ACTLOG", "DATE_TIME",
                     WithEveryPunctuation("MESSAGE")},
        // 0xFF is never part of UTF-8; E6 opens a three-byte character.
        Irregularity{"MessageNotUtf8", "ACTLOG", "DATE_TIME",
                     "instr(CAST(MESSAGE AS BLOB), x'FF') > 0 AND "
                     "hex(substr(CAST(MESSAGE AS BLOB), -2)) = 'E697'"}),
    [](const auto& info) { return std::string(info.param.name); });

// In the order the rows were written, processes that moved nothing sit between rows of other
// shapes, eight times a day.
TEST_F(ProfiledServers, RealOneMixesTheEmptyColumnsRowByRow) {
  const std::string shape = "(COMMMETH IS NULL) || (LIBRARY_NAME IS NULL) || (BYTES IS NULL)";
  const std::string sandwiched =
      "SELECT count(*) FROM (SELECT " + shape + " AS shape, lag(" + shape +
      ") OVER (ORDER BY rowid) AS before, lead(" + shape +
      ") OVER (ORDER BY rowid) AS after FROM SUMMARY WHERE substr(END_TIME, 1, 10) = ";
  SqliteFile db(*real_);
  for (const std::string day : {"'2026-03-07'", "'2026-03-08'", "'2026-03-09'"}) {
    EXPECT_GE(
        db.Count(sandwiched + day + ") WHERE shape = '111' AND before <> '111' AND after <> '111'"),
        8)
        << day;
  }
}

// Loads resume from the times; no irregularity may reach them.
TEST_F(ProfiledServers, RealOneCountsFilesPast32BitsAndKeepsItsTimesValid) {
  SqliteFile db(*real_);
  EXPECT_EQ(db.Count("SELECT count(DISTINCT NUM_FILES) FROM OCCUPANCY WHERE NUM_FILES IN "
                     "(3000000000, 9000000000)"),
            2);
  const std::string invalid = std::string(" NOT GLOB ") + kTimestampGlob;
  EXPECT_EQ(db.Count("SELECT count(*) FROM SUMMARY WHERE START_TIME" + invalid + " OR END_TIME" +
                     invalid + " OR START_TIME > END_TIME"),
            0);
  EXPECT_EQ(db.Count("SELECT count(*) FROM ACTLOG WHERE DATE_TIME" + invalid), 0);
  EXPECT_EQ(db.Count("SELECT count(*) FROM EVENTS WHERE SCHEDULED_START" + invalid), 0);
}

TEST_F(ProfiledServers, SameSeedGivesTheSameRealFileAndOnlyItNamesItsProfile) {
  EXPECT_EQ(Bytes(Create("real-again", 3, 42, kMidnight, 1, Profile::kReal)), Bytes(*real_));
  const std::string profile = "SELECT VALUE FROM VLTSIM_STATE WHERE NAME = 'PROFILE'";
  EXPECT_EQ(SqliteFile(*real_).Text(profile), "real");
  EXPECT_TRUE(SqliteFile(*tidy_).Column(profile).empty());
}

}  // namespace
}  // namespace kelvan::vltsim
