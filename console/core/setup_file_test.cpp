#include "console/core/setup_file.h"

#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "platform/basic/raised_error.h"
#include "tests/support/files.h"
#include "tests/support/odbc_sandbox.h"
#include "tests/support/test_names.h"

namespace kelvan::console {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr Bool16 T = kTrue16;
constexpr Bool16 F = kFalse16;

Settings SampleSettings() {
  Settings s;
  s.servers = {MakeServerEntry("DSN=VLT01;UID=admin;PWD=pa:=ss"),
               MakeServerEntry("DSN=VLT02;UID=op;PWD=x")};
  s.tables = {"\"SUMMARY\",\"EVENTS\",", 2, F};
  s.destination = {"RPTDB", "rpt", "secret", "KV"};
  s.advanced = {{T, F, T, F, T}, 45, 400, 2500, "QDB", 2};
  s.post_processing.generate_summaryhour = T;
  s.post_processing.activate_forecasting = T;
  s.post_processing.forecast_tables = {T, F, T, F, F, F, T};
  s.post_processing.forecast_number_of_days = 30;
  s.post_processing.forecast_size_of_sample_set = 21;
  s.forecast_setup_code = 0x185;  // DB, LOG, OCCUPANCY and forecasting on
  return s;
}

// SampleSettings as the writer must lay it out, written by hand.
constexpr std::string_view kSampleFile =
    "[SERVER]\r\n"
    "TotalNoServers:=2\r\n"
    "Server:=DSN=VLT01;UID=admin;PWD=pa:=ss\r\n"
    "Server:=DSN=VLT02;UID=op;PWD=x\r\n"
    "\r\n\r\n"
    "[TABLE LIST]\r\n"
    "TotalNoTables:=2\r\n"
    "TableArray:=\"SUMMARY\",\"EVENTS\",\r\n"
    "LoadErrorTables:=False\r\n"
    "\r\n\r\n"
    "[DATA SOURCE]\r\n"
    "DSN:=RPTDB\r\n"
    "UID:=rpt\r\n"
    "Password:=secret\r\n"
    "Qualifier:=KV\r\n"
    "\r\n\r\n"
    "[ADVANCED SETUP OPTIONS]\r\n"
    "Severity_E:=True\r\n"
    "Severity_I:=False\r\n"
    "Severity_D:=True\r\n"
    "Severity_S:=False\r\n"
    "Severity_W:=True\r\n"
    "PruneDataBeyondDays:=45\r\n"
    "DatabaseMaxSizeLimitInNoOfDays:=400\r\n"
    "ApproxRecordsToPrunePerBatch:=2500\r\n"
    "DatabaseType:=QDB\r\n"
    "TraceLevel:=2\r\n"
    "\r\n\r\n"
    "[POST PROCESSING SETUP OPTIONS]\r\n"
    "GenerateSUMMARYHOURTableData:=True\r\n"
    "GenerateSIMULACTIVITYTable:=False\r\n"
    "ActivateForecasting:=True\r\n"
    "ForecastTable_DB:=True\r\n"
    "ForecastTable_FILESPACES:=False\r\n"
    "ForecastTable_LOG:=True\r\n"
    "ForecastTable_STGPOOLS:=False\r\n"
    "ForecastTable_LIBVOLUMES:=False\r\n"
    "ForecastTable_NODES:=False\r\n"
    "ForecastTable_OCCUPANCY:=True\r\n"
    "ForecastNumberOfDays:=30\r\n"
    "ForecastSizeOfSampleSet:=21\r\n"
    "\r\n\r\n";

using kelvan::testing::ReadFile;

std::string ErrorReport(int number, const char* description, const char* key) {
  return std::string("Error in configuration file:\r\n\r\n") +
         "Read Setup From File: Error Number = " + std::to_string(number) + "\r\n" +
         "Read Setup From File: Error Source = KELVAN\r\n" +
         "Read Setup From File: Error Description = " + description +
         "; error found while reading " + key + " from the configuration file.\r\n";
}

TEST(SetupFileTest, WriterProducesTheLayoutByteForByte) {
  EXPECT_EQ(SetupFileText(SampleSettings()), kSampleFile);
}

TEST(SetupFileTest, SaveThenLoadGivesTheSameSettings) {
  const auto dir = testing::OdbcSandbox::Instance().MakeTempDir("setup");
  const std::string path = (dir / "KELVAN.ini").string();
  WriteSetupToFile(path, SampleSettings());
  EXPECT_EQ(ReadFile(path), kSampleFile);

  Settings loaded;
  const SetupReadReport report = ReadSetupFromFile(path, loaded);
  EXPECT_EQ(loaded, SampleSettings());
  EXPECT_THAT(report.log_text, IsEmpty());
  EXPECT_FALSE(report.server_count_warning);
}

TEST(SetupFileTest, FileIsReadableByItsOwnerOnlyEvenWhenReplaced) {
  const auto dir = testing::OdbcSandbox::Instance().MakeTempDir("mode");
  const std::string path = (dir / "open.ini").string();
  std::ofstream(path) << "old, longer content than nothing\n";
  ::chmod(path.c_str(), 0644);
  WriteSetupToFile(path, Settings{});
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadFile(path), SetupFileText(Settings{}));
}

// A save that cannot finish (here the file size limit stands in for a full disk) leaves the old
// file whole, no stray temporary file, and says why.
TEST(SetupFileTest, FailedSaveKeepsTheOldFile) {
  const auto dir = testing::OdbcSandbox::Instance().MakeTempDir("fullsave");
  const std::string path = (dir / "KELVAN.ini").string();
  WriteSetupToFile(path, SampleSettings());
  struct rlimit before {};
  ::getrlimit(RLIMIT_FSIZE, &before);
  const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit tiny = before;
  tiny.rlim_cur = 16;
  ::setrlimit(RLIMIT_FSIZE, &tiny);
  try {
    WriteSetupToFile(path, Settings{});
    ADD_FAILURE() << "the save reported success";
  } catch (const RaisedError& error) {
    EXPECT_THAT(error.Description(), HasSubstr("Path/File access error: " + path + " ("));
  }
  ::setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(ReadFile(path), kSampleFile);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

// Files that are no setup file in the form the reader takes say what is wrong with them; a
// file saved with lone CR line ends is read.
TEST(SetupFileTest, UnreadableFilesSayWhy) {
  const auto dir = testing::OdbcSandbox::Instance().MakeTempDir("unreadable");
  std::string utf16 = "\xFF\xFE";
  for (char c : std::string(kSampleFile)) utf16 += std::string(1, c) + '\0';
  std::string cr_only(kSampleFile);
  for (size_t pos; (pos = cr_only.find("\r\n")) != std::string::npos;) cr_only.erase(pos + 1, 1);
  const std::vector<std::pair<std::string, std::string>> files = {
      {utf16, "the file is UTF-16: save it as UTF-8"},
      {"\x89PNG\r\n\x1a\n random bytes", "no [SERVER] section"},
      {cr_only, ""}};
  for (const auto& [content, said] : files) {
    const std::string path = (dir / "KELVAN.ini").string();
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
    Settings loaded;
    const SetupReadReport report = ReadSetupFromFile(path, loaded);
    if (said.empty()) {
      EXPECT_EQ(loaded, SampleSettings());
      EXPECT_THAT(report.log_text, IsEmpty());
    } else {
      EXPECT_THAT(report.log_text, HasSubstr(said));
    }
  }
}

TEST(SetupFileTest, MissingFileRaisesFileNotFound) {
  Settings s;
  try {
    ReadSetupFromFile("/nonexistent/KELVAN.ini", s);
    FAIL() << "no error raised";
  } catch (const RaisedError& error) {
    EXPECT_EQ(error.Number(), 53);
  }
}

// Reads the lines (joined with CR LF) into `s`.
SetupReadReport Read(Settings& s, const std::vector<std::string>& lines,
                     std::string_view line_end = "\r\n") {
  std::string text;
  for (const std::string& line : lines) text += line + std::string(line_end);
  return ReadSetupText(text, s);
}

TEST(SetupReaderTest, LfOnlyFileReadsLikeCrLf) {
  std::string lf(kSampleFile);
  for (size_t pos; (pos = lf.find("\r\n")) != std::string::npos;) lf.erase(pos, 1);
  Settings loaded;
  ReadSetupText(lf, loaded);
  EXPECT_EQ(loaded, SampleSettings());
}

TEST(SetupReaderTest, SurplusServerLinesAreDroppedWithTheWarning) {
  Settings s;
  const auto report = Read(s, {"TotalNoServers:=2", "Server:=DSN=A;UID=u;PWD=1",
                               "Server:=DSN=B;UID=u;PWD=2", "Server:=DSN=C;UID=u;PWD=3"});
  ASSERT_EQ(s.servers.size(), 2u);
  EXPECT_EQ(s.servers[0].dsn, "A");
  EXPECT_EQ(s.servers[1].dsn, "B");
  EXPECT_TRUE(report.server_count_warning);
}

TEST(SetupReaderTest, MissingServerLinesLowerTheCountWithTheWarning) {
  Settings s;
  const auto report =
      Read(s, {"TotalNoServers:=3", "Server:=  DSN=A;UID=u;PWD=1  ", "Server:=DSN=B;UID=v;PWD=2"});
  ASSERT_EQ(s.servers.size(), 2u);
  EXPECT_EQ(s.servers[0], (ServerEntry{"A", "u", "1", "DSN=A;UID=u;PWD=1"}));
  EXPECT_EQ(s.servers[1].uid, "v");
  EXPECT_TRUE(report.server_count_warning);
}

TEST(SetupReaderTest, KeysAreCaseSensitive) {
  Settings s;
  Read(s, {"tracelevel:=3", "TRACELEVEL:=3", " TraceLevel:=3", "DatabaseType:=Oracle"});
  EXPECT_EQ(s.advanced.trace_level, 1);
  EXPECT_EQ(s.advanced.database_type, "Oracle");
}

TEST(SetupReaderTest, BatchSizeEmptyGivesDefaultAndTooLargeIsReported) {
  Settings s;
  s.advanced.approx_records_to_prune_per_batch = 2500;
  auto report = Read(s, {"ApproxRecordsToPrunePerBatch:="});
  EXPECT_EQ(s.advanced.approx_records_to_prune_per_batch, 1000);
  EXPECT_THAT(report.log_text, IsEmpty());

  s.advanced.approx_records_to_prune_per_batch = 2500;
  report = Read(s, {"ApproxRecordsToPrunePerBatch:=40000", "TraceLevel:=3"});
  EXPECT_EQ(report.log_text, ErrorReport(6, "Overflow", "ApproxRecordsToPrunePerBatch"));
  EXPECT_EQ(s.advanced.approx_records_to_prune_per_batch, 2500);
  EXPECT_EQ(s.advanced.trace_level, 3) << "reading goes on after an error";
}

TEST(SetupReaderTest, WholeNumberKeysRefuseTrailingText) {
  Settings s;
  const auto report = Read(s, {"TotalNoTables:=2x", "ApproxRecordsToPrunePerBatch:= 300 "});
  EXPECT_EQ(report.log_text, ErrorReport(13, "Type mismatch", "TotalNoTables"));
  EXPECT_EQ(s.advanced.approx_records_to_prune_per_batch, 300);
}

class SizeLimitTest : public ::testing::TestWithParam<std::string> {};

TEST_P(SizeLimitTest, ZeroOrUnreadableGives9999) {
  Settings s;
  s.advanced.database_max_size_limit_in_days = 400;
  Read(s, {"DatabaseMaxSizeLimitInNoOfDays:=" + GetParam()});
  EXPECT_EQ(s.advanced.database_max_size_limit_in_days, 9999);
}

INSTANTIATE_TEST_SUITE_P(Values, SizeLimitTest, ::testing::Values("0", "abc", "", "99999"),
                         [](const auto& info) {
                           return kelvan::testing::NameFromText(info.param);
                         });

// A value the advanced editor refuses: reported, and the setting keeps the value it had.
struct RefusedNumber {
  std::string line;
  std::int16_t AdvancedOptions::*setting;
  std::int16_t kept;
};

void PrintTo(const RefusedNumber& number, std::ostream* out) { *out << number.line; }

class RefusedNumberTest : public ::testing::TestWithParam<RefusedNumber> {};

TEST_P(RefusedNumberTest, IsReportedAndNotStored) {
  const RefusedNumber& number = GetParam();
  Settings s;
  s.advanced = SampleSettings().advanced;  // prune age 45, limit 400, batch 2500
  const std::string key = number.line.substr(0, number.line.find(":="));
  const auto report = Read(s, {number.line});
  EXPECT_EQ(
      report.log_text,
      ErrorReport(380, "Invalid property value: a number greater than 0 is required", key.c_str()));
  EXPECT_EQ(s.advanced.*number.setting, number.kept);
}

INSTANTIATE_TEST_SUITE_P(
    BelowOne, RefusedNumberTest,
    ::testing::Values(
        RefusedNumber{"PruneDataBeyondDays:=-30", &AdvancedOptions::prune_data_beyond_days, 45},
        RefusedNumber{"PruneDataBeyondDays:=0", &AdvancedOptions::prune_data_beyond_days, 45},
        RefusedNumber{"PruneDataBeyondDays:=0.4", &AdvancedOptions::prune_data_beyond_days, 45},
        RefusedNumber{"PruneDataBeyondDays:=thirty", &AdvancedOptions::prune_data_beyond_days, 45},
        RefusedNumber{"ApproxRecordsToPrunePerBatch:=0",
                      &AdvancedOptions::approx_records_to_prune_per_batch, 2500},
        RefusedNumber{"ApproxRecordsToPrunePerBatch:=-100",
                      &AdvancedOptions::approx_records_to_prune_per_batch, 2500},
        RefusedNumber{"DatabaseMaxSizeLimitInNoOfDays:=-5",
                      &AdvancedOptions::database_max_size_limit_in_days, 9999}),
    [](const auto& info) { return kelvan::testing::NameFromText(info.param.line); });

TEST(SetupReaderTest, IntegersTakeTheLeadingNumber) {
  Settings s;
  Read(s, {"PruneDataBeyondDays:=60 days", "TraceLevel:=x", "ForecastNumberOfDays:=2.5"});
  EXPECT_EQ(s.advanced.prune_data_beyond_days, 60);
  EXPECT_EQ(s.advanced.trace_level, 0);
  EXPECT_EQ(s.post_processing.forecast_number_of_days, 2) << "halves round to even";
}

TEST(SetupReaderTest, SampleSetOfZeroOrLessGives14) {
  Settings s;
  Read(s, {"ForecastSizeOfSampleSet:=-5"});
  EXPECT_EQ(s.post_processing.forecast_size_of_sample_set, 14);
  Read(s, {"ForecastSizeOfSampleSet:=5"});
  EXPECT_EQ(s.post_processing.forecast_size_of_sample_set, 5);
}

TEST(SetupReaderTest, BooleansFromWordsOrNumbers) {
  Settings s;
  const auto report = Read(s, {"Severity_E:=yes", "Severity_I:=TRUE", "Severity_D:=0",
                               "Severity_S:=7", "Severity_W:=fAlSe"});
  EXPECT_EQ(report.log_text, ErrorReport(13, "Type mismatch", "Severity_E"));
  EXPECT_EQ(s.advanced.severity, (std::array<Bool16, 5>{T, T, F, T, F}));
}

TEST(SetupReaderTest, TableSettingsAreResetBeforeReading) {
  Settings s;
  s.tables = {"\"LOG\",", 1, F};
  Read(s, {"DSN:=X"});
  EXPECT_EQ(s.tables, (TableList{"", 0, T}));
}

TEST(SetupReaderTest, TableCountFollowsTheUsableItems) {
  Settings s;
  Read(s, {"TotalNoTables:=3", "TableArray:=\"SUMMARY\" , \"EVENTS\",", "LoadErrorTables:=0"});
  EXPECT_EQ(s.tables.total_no_tables, 2);
  EXPECT_EQ(s.tables.load_error_tables, F);
  Read(s, {"TotalNoTables:=1", "TableArray:=\"SUMMARY\",\"EVENTS\","});
  EXPECT_EQ(s.tables.total_no_tables, 1);
}

TEST(SetupReaderTest, ValueMayHoldTheSeparator) {
  Settings s;
  const auto report =
      Read(s, {"Password:=a:=b", "TotalNoServers:=1", "Server:=DSN=A;UID=u;PWD=:="});
  EXPECT_EQ(s.destination.password, "a:=b");
  ASSERT_EQ(s.servers.size(), 1u);
  EXPECT_EQ(s.servers[0].password, ":=");
  EXPECT_FALSE(report.server_count_warning);
}

TEST(SetupReaderTest, ErrorReportsNeverQuoteValues) {
  Settings s;
  const auto report = Read(s, {"TotalNoServers:=secret1", "ForecastNumberOfDays:=99999secret2"});
  EXPECT_THAT(report.log_text, HasSubstr("TotalNoServers"));
  EXPECT_THAT(report.log_text, HasSubstr("ForecastNumberOfDays"));
  EXPECT_THAT(report.log_text, ::testing::Not(HasSubstr("secret")));
}

TEST(SetupReaderTest, ReadingRebuildsTheForecastCode) {
  Settings s;
  Read(s, {"ActivateForecasting:=True", "ForecastTable_NODES:=True"});
  EXPECT_EQ(s.forecast_setup_code, 0x0120);
}

}  // namespace
}  // namespace kelvan::console
