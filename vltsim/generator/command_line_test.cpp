#include "vltsim/generator/command_line.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "tests/support/odbc_sandbox.h"

namespace kelvan::vltsim {
namespace {

using kelvan::testing::OdbcSandbox;

constexpr const char* kSecret = "s3cr3t-Pw";

struct BadArguments {
  const char* name;
  std::vector<std::string> args;
};

class CommandLineUsage : public ::testing::TestWithParam<BadArguments> {};

TEST_P(CommandLineUsage, IsRefusedWithExitCode2AndAMessageThatHidesThePassword) {
  std::ostringstream out, err;
  EXPECT_EQ(RunCommandLine(GetParam().args, out, err), kExitUsage);
  EXPECT_NE(err.str().find("vltsim: "), std::string::npos);
  EXPECT_NE(err.str().find("usage:"), std::string::npos);
  EXPECT_EQ(err.str().find(kSecret), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CommandLineUsage,
    ::testing::Values(
        BadArguments{"NoCommand", {}}, BadArguments{"UnknownCommand", {"destroy", "x.db"}},
        BadArguments{"CreateWithoutFile", {"create", "--days", "3", "--seed", "1"}},
        BadArguments{"CreateWithoutDays", {"create", "x.db", "--seed", "1"}},
        BadArguments{"CreateWithoutSeed", {"create", "x.db", "--days", "3"}},
        BadArguments{"ZeroDays", {"create", "x.db", "--days", "0", "--seed", "1"}},
        BadArguments{"DaysNotANumber", {"create", "x.db", "--days", "3x", "--seed", "1"}},
        BadArguments{"NegativeSeed", {"create", "x.db", "--days", "3", "--seed", "-1"}},
        BadArguments{"ZeroScale", {"create", "x.db", "--days", "3", "--seed", "1", "--scale", "0"}},
        BadArguments{"UnknownProfile",
                     {"create", "x.db", "--days", "3", "--seed", "1", "--profile", "messy"}},
        BadArguments{
            "BadNow",
            {"create", "x.db", "--days", "3", "--seed", "1", "--now", "2026-02-30 10:00:00"}},
        BadArguments{"OptionTwice", {"create", "x.db", "--days", "3", "--days=4", "--seed", "1"}},
        BadArguments{"OptionWithoutValue", {"create", "x.db", "--seed", "1", "--days"}},
        BadArguments{"UnknownOption", {"advance", "x.db", "--hours", "2", "--minutes", "5"}},
        BadArguments{"ZeroHours", {"advance", "x.db", "--hours", "0"}},
        BadArguments{"RegisterWithoutPassword",
                     {"register", "--dir", "d", "--dsn", "S", "--database", "x.db", "--uid", "u"}},
        BadArguments{
            "PasswordWithoutItsOption",
            {"register", "--dir", "d", "--dsn", "S", "--database", "x.db", "--uid", "u", kSecret}},
        BadArguments{"DsnWithBracket",
                     {"register", "--dir", "d", "--dsn", "S]1", "--database", "x.db", "--uid", "u",
                      "--pwd", kSecret}},
        BadArguments{"PasswordWithLineBreak",
                     {"register", "--dir", "d", "--dsn", "S", "--database", "x.db", "--uid", "u",
                      "--pwd", std::string(kSecret) + "\nDriver=/tmp/evil.so"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CommandLine, FailureOfTheWorkIsExitCode1) {
  std::ostringstream out, err;
  const auto dir = OdbcSandbox::Instance().MakeTempDir("cli");
  EXPECT_EQ(RunCommandLine({"advance", (dir / "none.db").string(), "--hours", "1"}, out, err),
            kExitFailed);
  EXPECT_NE(err.str().find("none.db"), std::string::npos);
}

TEST(CommandLine, CreatesAndAdvancesThroughTheExecutable) {
  const auto dir = OdbcSandbox::Instance().MakeTempDir("exe");
  const std::string exe = kelvan::testing::VltsimPath().string();
  const std::string file = (dir / "s.db").string();
  EXPECT_EQ(std::system((exe + " create " + file +
                         " --days 2 --seed 9 --now '2026-01-05 08:00:00' >/dev/null")
                            .c_str()),
            0);
  EXPECT_EQ(std::system((exe + " advance " + file + " --hours=5 >/dev/null").c_str()), 0);
  EXPECT_EQ(WEXITSTATUS(std::system((exe + " create " + file + " 2>/dev/null").c_str())), 2);
}

}  // namespace
}  // namespace kelvan::vltsim
