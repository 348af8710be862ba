#include "console/core/startup.h"

#include <filesystem>
#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "console/core/recording_view.h"
#include "console/core/setup_file.h"
#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"
#include "tests/support/files.h"
#include "tests/support/odbc_sandbox.h"
#include "tests/support/test_names.h"

namespace kelvan::console {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

namespace fs = std::filesystem;

const Timestamp kNow{2024, 3, 7, 9, 5, 1};
const Folders kFolders{"/opt/kelvan", "/home/op"};

using kelvan::testing::ReadFile;

TEST(CommandLineTest, NamesAreReadInAnyCase) {
  std::string log;
  const auto args = ParseCommandLine({"", "-log=run.htm", "-Config=my.ini"}, log);
  EXPECT_EQ(args.log, "run.htm");
  EXPECT_EQ(args.config, "my.ini");
  EXPECT_THAT(log, IsEmpty());
}

TEST(CommandLineTest, ValueRunsFromTheFirstEquals) {
  std::string log;
  EXPECT_EQ(ParseCommandLine({"", "-LOG=a=b.htm"}, log).log, "a=b.htm");
}

class WrongArgumentTest : public ::testing::TestWithParam<std::string> {};

TEST_P(WrongArgumentTest, StopsReadingWithTheMessage) {
  std::string log;
  const auto args = ParseCommandLine({"", "-LOG=first.htm", GetParam(), "-CONFIG=late.ini"}, log);
  EXPECT_EQ(log, "Incorrect use of command line arguments.\r\n");
  EXPECT_EQ(args.log, "first.htm");
  EXPECT_FALSE(args.config) << "arguments after the wrong one are ignored";
}

INSTANTIATE_TEST_SUITE_P(Arguments, WrongArgumentTest,
                         ::testing::Values("/LOG=x.htm", "-LOGFILE=x.htm", "-LOG", "CONFIG=x"),
                         [](const auto& info) {
                           return kelvan::testing::NameFromText(info.param);
                         });

struct LogNameCase {
  std::string name;
  std::optional<std::string> argument;
  std::string expected;
  bool refused;
};

void PrintTo(const LogNameCase& c, std::ostream* os) { *os << c.argument.value_or("(none)"); }

class RunLogNameTest : public ::testing::TestWithParam<LogNameCase> {};

TEST_P(RunLogNameTest, ChoosesTheRunLog) {
  std::string log;
  EXPECT_EQ(ChooseRunLogName(GetParam().argument, kFolders, kNow, log), GetParam().expected);
  EXPECT_EQ(
      log, GetParam().refused ? "Invalid path name for log file: Using default log file.\r\n" : "");
}

const std::string kDefaultLog = "/opt/kelvan/vltlog_240307090501.htm";

INSTANTIATE_TEST_SUITE_P(
    Arguments, RunLogNameTest,
    ::testing::Values(LogNameCase{"NoArgument", std::nullopt, kDefaultLog, false},
                      LogNameCase{"FileName", "run.htm", "/home/op/run.htm", false},
                      LogNameCase{"RelativePath", "logs/run.htm", kDefaultLog, true},
                      LogNameCase{"BackslashPath", "logs\\run.htm", kDefaultLog, true},
                      LogNameCase{"DrivePath", "C:\\logs\\run.htm", kDefaultLog, true},
                      LogNameCase{"AbsolutePath", "/var/log/run.htm", "/var/log/run.htm", false},
                      LogNameCase{"Empty", "", kDefaultLog, true}),
    [](const auto& info) { return info.param.name; });

TEST(RunLogTest, CreatedAnewWithTheBanner) {
  const fs::path path = testing::OdbcSandbox::Instance().MakeTempDir("banner") / "run.htm";
  std::ofstream(path) << "<PRE>\r\nan older run's log\r\n";
  CreateRunLog(path.string(), kNow);
  EXPECT_EQ(ReadFile(path),
            "<PRE>\r\n"
            "L O G F I L E  F O R  <b> K E L V A N  </b> (2024-03-07); QRT Build Date: "
            "(Build 04/03/02)\r\n"
            "------------------------------- \r\n"
            "</PRE>\r\n");
}

class StartUpTest : public ::testing::Test {
 protected:
  StartUpTest()
      : dir_(testing::OdbcSandbox::Instance().MakeTempDir("startup")),
        folders_{dir_.string(), dir_.string()},
        clock_(kNow),
        scoped_(clock_) {}

  StartupOutcome Start(const std::string& command_line) {
    return StartUp(state_, view_, command_line, folders_);
  }

  fs::path dir_;
  Folders folders_;
  FixedClock clock_;
  ScopedClock scoped_;
  ConsoleState state_;
  RecordingView view_{&clock_};
};

TEST_F(StartUpTest, DefaultSetupFileStartsTheCountdown) {
  Settings saved;
  saved.destination.name = "RPT";
  saved.post_processing.activate_forecasting = kTrue16;
  WriteSetupToFile((dir_ / "KELVAN.ini").string(), saved);

  EXPECT_EQ(Start(""), StartupOutcome::kAutoStart);
  EXPECT_EQ(state_.settings.destination.name, "RPT");
  EXPECT_EQ(state_.settings.forecast_setup_code, 0x0100);
  EXPECT_EQ(state_.run_log_name, (dir_ / "vltlog_240307090501.htm").string());
  EXPECT_TRUE(fs::exists(state_.run_log_name));
  EXPECT_FALSE(view_.progress_visible());
}

TEST_F(StartUpTest, MissingSetupFileWaitsForTheUser) {
  state_.settings.advanced.trace_level = 3;  // what the editors hold
  EXPECT_EQ(Start("-CONFIG=/nonexistent/x.ini -LOG=run.htm"), StartupOutcome::kInteractive);
  EXPECT_EQ(state_.log_text, "Could not locate the configuration file (/nonexistent/x.ini)\r\n");
  EXPECT_EQ(state_.settings.advanced.trace_level, 3);
  EXPECT_EQ(state_.run_log_name, (dir_ / "run.htm").string());
  EXPECT_TRUE(state_.setup_file_error);
}

TEST_F(StartUpTest, SetupFileWarningsReachTheUser) {
  std::ofstream(dir_ / "KELVAN.ini") << "TotalNoServers:=2\r\nServer:=DSN=A;UID=u;PWD=p\r\n"
                                     << "TraceLevel:=99999\r\n";
  EXPECT_EQ(Start("-log=" + (dir_ / "r.htm").string()), StartupOutcome::kAutoStart);
  ASSERT_EQ(view_.messages().size(), 1u);
  EXPECT_EQ(view_.messages()[0].text,
            "Warning: Incorrect number used for TotalNoServers\r\nin the configuration file.");
  EXPECT_EQ(view_.messages()[0].icon, MessageIcon::kCritical);
  EXPECT_THAT(state_.log_text, HasSubstr("error found while reading TraceLevel"));
  EXPECT_EQ(state_.settings.servers.size(), 1u);
}

// -LOG naming the setup file or a database: the file stays as it was and start-up says why.
TEST(RunLogTest, OnlyAnEmptyFileOrAnOlderRunLogIsReplaced) {
  const fs::path dir = testing::OdbcSandbox::Instance().MakeTempDir("replace");
  std::ofstream(dir / "KELVAN.ini") << "[SERVER]\r\nTotalNoServers:=0\r\n";
  std::ofstream(dir / "dest.db") << "SQLite format 3";
  for (const char* name : {"KELVAN.ini", "dest.db"}) {
    const std::string before = ReadFile(dir / name);
    try {
      CreateRunLog((dir / name).string(), kNow);
      ADD_FAILURE() << name << " was replaced";
    } catch (const RaisedError& e) {
      EXPECT_THAT(e.Description(), HasSubstr("holds something other than a run log"));
    }
    EXPECT_EQ(ReadFile(dir / name), before);
  }
  std::ofstream(dir / "empty.htm");
  CreateRunLog((dir / "empty.htm").string(), kNow);
  CreateRunLog((dir / "empty.htm").string(), kNow);  // its own log, from an earlier run
  EXPECT_THAT(ReadFile(dir / "empty.htm"), ::testing::StartsWith("<PRE>"));
  EXPECT_EQ(fs::status(dir / "empty.htm").permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(StartUpTest, UnwritableRunLogStopsStartUp) {
  EXPECT_EQ(Start("-LOG=/nonexistent/dir/run.htm"), StartupOutcome::kFailed);
  ASSERT_EQ(view_.messages().size(), 1u);
  EXPECT_THAT(view_.messages()[0].text, HasSubstr("Error Number = 75"));
}

TEST_F(StartUpTest, CountdownRunsOutAfterThirtySeconds) {
  EXPECT_TRUE(RunAutoStartCountdown(state_, view_, std::chrono::seconds(1)));
  EXPECT_EQ(view_.countdown_caption(), "KELVAN 4.2.2");
  ASSERT_EQ(view_.countdown_texts().size(), 30u);
  EXPECT_EQ(view_.countdown_texts().front(), "Auto Start in 29 Seconds");
  EXPECT_EQ(view_.countdown_texts().back(), "Auto Start in 0 Seconds");
  EXPECT_FALSE(view_.countdown_open());
}

// A daylight-saving change during the countdown moves the wall clock by an hour; the countdown
// goes on counting the seconds that pass.
class CountdownWallClockJumpTest : public StartUpTest,
                                   public ::testing::WithParamInterface<double> {};

TEST_P(CountdownWallClockJumpTest, CountsSecondsThatPass) {
  bool jumped = false;
  view_.OnEvents(10, [&] {
    clock_.Set(FromDaySerial(ToDaySerial(clock_.Now()) + GetParam() / 24.0));
    jumped = true;
  });
  EXPECT_TRUE(RunAutoStartCountdown(state_, view_, std::chrono::seconds(1)));
  EXPECT_TRUE(jumped);
  std::vector<std::string> expected;
  for (int left = 29; left >= 0; --left) {
    expected.push_back("Auto Start in " + std::to_string(left) + " Seconds");
  }
  EXPECT_EQ(view_.countdown_texts(), expected);
}

INSTANTIATE_TEST_SUITE_P(HourBackOrForward, CountdownWallClockJumpTest,
                         ::testing::Values(-1.0, 1.0), [](const auto& info) {
                           return info.param < 0 ? "HourBack" : "HourForward";
                         });

TEST_F(StartUpTest, CancelStopsTheCountdown) {
  view_.CancelCountdownAfterTicks(3);
  EXPECT_FALSE(RunAutoStartCountdown(state_, view_, std::chrono::seconds(1)));
  EXPECT_THAT(view_.countdown_texts(),
              ElementsAre("Auto Start in 29 Seconds", "Auto Start in 28 Seconds",
                          "Auto Start in 27 Seconds", "Auto Start in 26 Seconds"));
  EXPECT_FALSE(view_.countdown_open());
}

}  // namespace
}  // namespace kelvan::console
