#include "report/report_options.h"

#include <gtest/gtest.h>

#include "platform/basic/raised_error.h"
#include "tests/support/test_names.h"

namespace kelvan::report {
namespace {

struct OptionsCase {
  std::string name;
  std::vector<std::string> arguments;
  std::optional<std::string> env_password;
  std::string expected_error;  // a piece of the reason; empty when the options are usable
  std::string dsn, uid, password, qualifier;
  int sample_days = kDefaultSampleDays;
  int days = kDefaultHistoryDays;
};

// The setup file "setup.ini" names DEST/writer/file-secret, the qualifier kelvan and 7 sample
// days; others are missing.
SetupValues FakeSetup(const std::string& path) {
  if (path != "setup.ini") throw RaisedError(53, "test", "File not found");
  return {"DEST", "writer", "file-secret", "kelvan", 7};
}

OptionsCase Refused(std::string name, std::vector<std::string> arguments, std::string reason) {
  return {std::move(name),    std::move(arguments), std::nullopt, std::move(reason), "", "", "", "",
          kDefaultSampleDays, kDefaultHistoryDays};
}

class ReportOptionsTest : public ::testing::TestWithParam<OptionsCase> {};

TEST_P(ReportOptionsTest, TakesWhatTheCommandLineEnvironmentAndSetupFileGive) {
  const OptionsCase& c = GetParam();
  const auto environment = [&c](const std::string& name) {
    return name == "KELVAN_DEST_PWD" ? c.env_password : std::nullopt;
  };
  const ParsedArguments parsed = ParseReportArguments(c.arguments, environment, FakeSetup);
  if (!c.expected_error.empty()) {
    ASSERT_TRUE(std::holds_alternative<std::string>(parsed));
    EXPECT_NE(std::get<std::string>(parsed).find(c.expected_error), std::string::npos)
        << std::get<std::string>(parsed);
    return;
  }
  ASSERT_TRUE(std::holds_alternative<ReportOptions>(parsed));
  const auto& options = std::get<ReportOptions>(parsed);
  EXPECT_EQ(options.dest_dsn, c.dsn);
  EXPECT_EQ(options.dest_uid, c.uid);
  EXPECT_EQ(options.dest_pwd, c.password);
  EXPECT_EQ(options.qualifier, c.qualifier);
  EXPECT_EQ(options.sample_days, c.sample_days);
  EXPECT_EQ(options.history_days, c.days);
  EXPECT_EQ(options.out, "r.html");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportOptionsTest,
    ::testing::Values(
        OptionsCase{"options_alone",
                    {"--out", "r.html", "--dest-dsn", "D", "--dest-uid=u", "--days=30"},
                    "env-secret",
                    "",
                    "D",
                    "u",
                    "env-secret",
                    "",
                    kDefaultSampleDays,
                    30},
        OptionsCase{"setup_file_fills_the_rest",
                    {"--out=r.html", "--config", "setup.ini"},
                    std::nullopt,
                    "",
                    "DEST",
                    "writer",
                    "file-secret",
                    "kelvan",
                    7,
                    kDefaultHistoryDays},
        OptionsCase{"options_and_environment_win",
                    {"--out=r.html", "--config=setup.ini", "--dest-dsn", "OTHER", "--sample-days",
                     "14", "--qualifier", "other_schema"},
                    "env-secret",
                    "",
                    "OTHER",
                    "writer",
                    "env-secret",
                    "other_schema",
                    14,
                    kDefaultHistoryDays},
        Refused("qualifier_not_a_plain_name", {"--out=r.html", "--dest-dsn=D", "--qualifier=a;b"},
                "--qualifier takes letters"),
        Refused("no_destination", {"--out=r.html"}, "no destination"),
        Refused("no_page", {"--dest-dsn=D"}, "--out"),
        Refused("days_not_a_number", {"--out=r.html", "--dest-dsn=D", "--days=ten"},
                "--days takes a whole number"),
        Refused("zero_sample_days", {"--out=r.html", "--dest-dsn=D", "--sample-days=0"},
                "--sample-days takes"),
        Refused("unknown_option", {"--out=r.html", "--dest-pwd=x"}, "unknown argument --dest-pwd"),
        Refused("value_missing", {"--out"}, "--out needs a value"),
        Refused("setup_file_missing", {"--out=r.html", "--config=none.ini"},
                "cannot read the setup file none.ini")),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace kelvan::report
