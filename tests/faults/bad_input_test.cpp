// Bad input to the console's parsers: random text built from the pieces they look for, and
// setup files in the shapes other editors and broken disks leave behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <fstream>
#include <random>

#include "console/core/setup_file.h"
#include "tests/faults/fault_support.h"
#include "tests/faults/input_fuzz.h"

namespace kelvan::faults {
namespace {

using Check = std::string (*)(std::string_view);

constexpr std::array<std::string_view, 40> kPieces = {"TotalNoServers:=",
                                                      "Server:=",
                                                      "DSN=",
                                                      ";UID=",
                                                      ";PWD=",
                                                      "TotalNoTables:=",
                                                      "TableArray:=",
                                                      "LoadErrorTables:=",
                                                      "Password:=",
                                                      "Severity_E:=",
                                                      "TraceLevel:=",
                                                      "PruneDataBeyondDays:=",
                                                      "ApproxRecordsToPrunePerBatch:=",
                                                      "DatabaseMaxSizeLimitInNoOfDays:=",
                                                      "ForecastSizeOfSampleSet:=",
                                                      "ForecastTable_DB:=",
                                                      "[SERVER]",
                                                      ":=",
                                                      "\r\n",
                                                      "\n",
                                                      "\r",
                                                      std::string_view("\0", 1),
                                                      "\xEF\xBB\xBF",
                                                      "\xFF\xFE",
                                                      "\"",
                                                      ",",
                                                      " ",
                                                      "\t",
                                                      "-LOG=",
                                                      "-config=",
                                                      "/",
                                                      "\\",
                                                      "99999999999999999999",
                                                      "-32769",
                                                      "40000",
                                                      "True",
                                                      "yes",
                                                      "0x1F",
                                                      "'; DROP TABLE NODES; --",
                                                      "SUMMARY"};

std::string RandomInput(std::mt19937& random) {
  std::uniform_int_distribution<int> pieces(0, 12);
  std::uniform_int_distribution<size_t> pick(0, kPieces.size());
  std::uniform_int_distribution<int> byte(0, 255);
  std::string input;
  for (int n = pieces(random); n > 0; --n) {
    const size_t which = pick(random);
    if (which == kPieces.size()) {
      input += static_cast<char>(byte(random));
    } else {
      input += kPieces[which];
    }
  }
  return input;
}

struct Parser {
  const char* name;
  Check check;
};

void PrintTo(const Parser& parser, std::ostream* out) { *out << parser.name; }

class RandomInputTest : public ::testing::TestWithParam<Parser> {};

TEST_P(RandomInputTest, KeepsItsPromisesAndFinishesQuickly) {
  std::mt19937 random(20261207);
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 20000; ++i) {
    const std::string input = RandomInput(random);
    const std::string problem = GetParam().check(input);
    ASSERT_EQ(problem, "") << "input #" << i << ": " << ::testing::PrintToString(input);
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
}

INSTANTIATE_TEST_SUITE_P(Parsers, RandomInputTest,
                         ::testing::Values(Parser{"SetupReader", &CheckSetupReader},
                                           Parser{"CommandLine", &CheckCommandLine},
                                           Parser{"TableString", &CheckTableString}),
                         [](const auto& info) { return std::string(info.param.name); });

// A small valid setup file; every shape below must still give its settings.
constexpr std::string_view kSetupLines[] = {"[SERVER]",
                                            "TotalNoServers:=1",
                                            "Server:=DSN=VLT1;UID=admin;PWD=pw1",
                                            "",
                                            "[TABLE LIST]",
                                            "TotalNoTables:=2",
                                            "TableArray:=\"SUMMARY\",\"NODES\",",
                                            "LoadErrorTables:=False",
                                            "[DATA SOURCE]",
                                            "DSN:=REPORTS",
                                            "UID:=loader",
                                            "[ADVANCED SETUP OPTIONS]",
                                            "TraceLevel:=3"};

struct FileShape {
  const char* name;
  const char* line_end;
  std::string prefix;  // bytes before the first line
  std::string junk;    // a line put between every two lines
};

void PrintTo(const FileShape& shape, std::ostream* out) { *out << shape.name; }

class SetupFileShapeTest : public ::testing::TestWithParam<FileShape> {};

TEST_P(SetupFileShapeTest, ReadsEverySettingAndNoLineEndInAValue) {
  const FileShape& shape = GetParam();
  std::string text = shape.prefix;
  for (std::string_view line : kSetupLines) {
    text += std::string(line) + shape.line_end;
    if (!shape.junk.empty()) text += shape.junk + shape.line_end;
  }
  const fs::path path = testing::OdbcSandbox::Instance().MakeTempDir("shape") / "KELVAN.ini";
  std::ofstream(path, std::ios::binary) << text;

  console::Settings settings;
  const auto start = std::chrono::steady_clock::now();
  const console::SetupReadReport report = console::ReadSetupFromFile(path.string(), settings);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
  EXPECT_EQ(report.log_text, "");
  EXPECT_FALSE(report.server_count_warning);
  ASSERT_EQ(settings.servers.size(), 1u);
  EXPECT_EQ(settings.servers[0].dsn, "VLT1");
  EXPECT_EQ(settings.servers[0].uid, "admin");
  EXPECT_EQ(settings.servers[0].password, "pw1");
  EXPECT_EQ(settings.tables.table_string, "\"SUMMARY\",\"NODES\",");
  EXPECT_EQ(settings.tables.total_no_tables, 2);
  EXPECT_EQ(settings.tables.load_error_tables, kFalse16);
  EXPECT_EQ(settings.destination.name, "REPORTS");
  EXPECT_EQ(settings.destination.user_name, "loader");
  EXPECT_EQ(settings.advanced.trace_level, 3);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, SetupFileShapeTest,
    ::testing::Values(FileShape{"CrLf", "\r\n", "", ""}, FileShape{"Lf", "\n", "", ""},
                      FileShape{"ByteOrderMark", "\r\n", "\xEF\xBB\xBF", ""},
                      FileShape{"NulBytes", "\r\n", "", std::string("Trace\0Level:=9\0", 15)},
                      FileShape{"TenMegabyteLine", "\n", std::string(10 << 20, 'x') + "\n", ""},
                      FileShape{"NotUtf8", "\r\n", "", "\xFF\xFE\xC3(:=\x80\xBF"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvan::faults
