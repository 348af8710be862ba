#include "engine/tool/qobra_cli.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "tests/support/test_names.h"

namespace kelvan::engine {
namespace {

struct UsageCase {
  std::vector<std::string> args;
  const char* message;  // expected on stderr
};

class QobraUsageTest : public ::testing::TestWithParam<UsageCase> {};

TEST_P(QobraUsageTest, BadCommandLinesExitWith64) {
  std::ostringstream out, err;
  EXPECT_EQ(RunQobra(GetParam().args, out, err), kQobraExitUsage);
  EXPECT_NE(err.str().find(GetParam().message), std::string::npos) << err.str();
  EXPECT_EQ(err.str().find("hunter2"), std::string::npos) << err.str();
}

const std::vector<std::string> kCopy = {
    "copy-table", "--server", "S",          "--source", "DSN=v;UID=u;PWD=hunter2",
    "--table",    "SUMMARY",  "--dest-dsn", "d",        "--dest-uid",
    "u"};

std::vector<std::string> Plus(std::vector<std::string> args, std::vector<std::string> more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, QobraUsageTest,
    ::testing::Values(
        UsageCase{{}, "no command given"},
        UsageCase{{"copy-tables"}, "unknown command copy-tables"},
        UsageCase{kCopy, "missing option --dest-pwd"},
        UsageCase{Plus(kCopy, {"--dest-pwd"}), "option --dest-pwd needs a value"},
        UsageCase{Plus(kCopy, {"--dest-pwd", "p", "--colour", "red"}), "unknown option --colour"},
        UsageCase{Plus(kCopy, {"--dest-pwd", "p", "--rollup", "today"}), "--rollup must be"},
        UsageCase{Plus(kCopy, {"--dest-pwd", "p", "--trace-level", "4"}), "--trace-level must be"},
        UsageCase{Plus(kCopy, {"--dest-pwd", "p", "--trace-level", "2"}), "needs --trace-file"}),
    [](const auto& info) { return kelvan::testing::NameFromText(info.param.message); });

// Passwords can stay out of the process list; without one anywhere the command line is refused.
TEST(QobraTest, DestinationPasswordMayComeFromTheEnvironment) {
  std::ostringstream out, err;
  ::setenv("QOBRA_DEST_PWD", "hunter3", 1);
  int status = RunQobra(Plus(kCopy, {"--dest-dsn", "NO_SUCH_DSN"}), out, err);
  ::unsetenv("QOBRA_DEST_PWD");
  EXPECT_EQ(status, kQobraExitFailed) << err.str();
  EXPECT_EQ(err.str().find("hunter3"), std::string::npos) << err.str();
  EXPECT_EQ(RunQobra(kCopy, out, err), kQobraExitUsage);
  EXPECT_NE(err.str().find("QOBRA_DEST_PWD"), std::string::npos);
}

TEST(QobraTest, HelpDocumentsTheExitStatus) {
  std::ostringstream out, err;
  EXPECT_EQ(RunQobra({"--help"}, out, err), 0);
  EXPECT_NE(out.str().find("copy-table"), std::string::npos);
  EXPECT_NE(out.str().find("64 for a bad command line"), std::string::npos);
}

}  // namespace
}  // namespace kelvan::engine
