// Every program answers --version, and kelvan-batch --help, without opening a window, running
// anything or leaving a run log behind.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/files.h"
#include "tests/support/test_names.h"

namespace kelvan {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;

namespace fs = std::filesystem;

struct Invocation {
  const char* name;
  const char* program;
  const char* arguments;
  const char* expected;  // a regular expression over the whole standard output
};

std::set<fs::path> RunLogsIn(const fs::path& folder) {
  std::set<fs::path> logs;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.starts_with("vltlog_") && name.ends_with(".htm")) logs.insert(entry.path());
  }
  return logs;
}

using kelvan::testing::ReadFile;

class ProgramOptionsTest : public ::testing::TestWithParam<Invocation> {};

TEST_P(ProgramOptionsTest, AnswersAndLeavesNoRunLog) {
  const Invocation& call = GetParam();
  const fs::path work = fs::temp_directory_path() / ("kelvan_options_" + std::string(call.name));
  fs::create_directories(work);
  const fs::path program_folder = fs::path(call.program).parent_path();
  const std::set<fs::path> logs_before = RunLogsIn(program_folder);
  const std::string command = "cd " + work.string() + " && QT_QPA_PLATFORM=offscreen " +
                              call.program + " " + call.arguments + " >out.txt 2>err.txt";

  const int raw = std::system(command.c_str());

  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 0) << ReadFile(work / "err.txt");
  EXPECT_THAT(ReadFile(work / "out.txt"), MatchesRegex(call.expected));
  EXPECT_EQ(RunLogsIn(program_folder), logs_before);
  EXPECT_TRUE(RunLogsIn(work).empty());
  fs::remove_all(work);
}

constexpr const char* kBatchUsage =
    "usage: kelvan-batch \\[-CONFIG=file\\] \\[-LOG=file\\] \\[-SERVERTIMEOUT=minutes\\] "
    "\\[-SUMMARY=file\\.json\\] \\[-METRICS=file\\.prom\\] \\[-VERIFY\\]\n(.|\n)*"
    "  0  every server, table and stage loaded\n(.|\n)*ODBCSYSINI and ODBCINI(.|\n)*";

INSTANTIATE_TEST_SUITE_P(
    Programs, ProgramOptionsTest,
    ::testing::Values(
        Invocation{"batch_version", KELVAN_BATCH_PATH, "--version", "kelvan-batch 4\\.2\\.2\n"},
        Invocation{"batch_help", KELVAN_BATCH_PATH, "--help", kBatchUsage},
        Invocation{"batch_h", KELVAN_BATCH_PATH, "-h", kBatchUsage},
        Invocation{"batch_bare", KELVAN_BATCH_PATH, "", kBatchUsage},
        Invocation{"kelvan_version", KELVAN_PATH, "--version", "kelvan 4\\.2\\.2\n"},
        Invocation{"qobra_version", QOBRA_PATH, "--version", "qobra 4\\.2\\.2\n"},
        Invocation{"qobra_h", QOBRA_PATH, "-h", "usage:\n(.|\n)*QOBRA_DEST_PWD(.|\n)*"},
        Invocation{"vltsim_version", VLTSIM_PATH, "--version", "vltsim 4\\.2\\.2\n"},
        Invocation{"setup_version", SETUP_PATH, "--version", "Setup 4\\.2\\.2\n"}),
    [](const auto& info) { return std::string(info.param.name); });

class ServerTimeoutTest : public ::testing::TestWithParam<const char*> {};

// Refused before anything runs: a limit misread as "none" would let a hung server hold the night.
TEST_P(ServerTimeoutTest, ValueThatIsNotMinutesIsRefused) {
  // ctest runs the values at once, each in a process of its own.
  const fs::path work =
      fs::temp_directory_path() / ("kelvan_options_timeout_" + std::to_string(::getpid()));
  fs::create_directories(work);
  const std::string command = "cd " + work.string() + " && " + KELVAN_BATCH_PATH +
                              " -SERVERTIMEOUT=" + GetParam() + " -CONFIG=none.ini 2>err.txt";
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 2);
  EXPECT_THAT(ReadFile(work / "err.txt"), HasSubstr("-SERVERTIMEOUT takes minutes"));
  EXPECT_TRUE(RunLogsIn(work).empty());
  fs::remove_all(work);
}

INSTANTIATE_TEST_SUITE_P(Values, ServerTimeoutTest, ::testing::Values("soon", "-1", "", "1e999"),
                         [](const auto& info) {
                           return kelvan::testing::NameFromText(info.param);
                         });

}  // namespace
}  // namespace kelvan
