#include "console/batch/report_child.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace kelvan::console {
namespace {

constexpr const char* kPassword = "Pw-in-env-only";

struct ChildCase {
  std::string name;
  std::string program;
  std::string script;   // for /bin/sh -c
  std::string outcome;  // a piece of what RunReportChild says; empty for success
};

class ReportChildTest : public ::testing::TestWithParam<ChildCase> {};

TEST_P(ReportChildTest, TheChildsEndIsReportedWithoutThePassword) {
  const ChildCase& c = GetParam();
  const std::string said = RunReportChild(c.program, {"sh", "-c", c.script}, kPassword);
  if (c.outcome.empty()) {
    EXPECT_EQ(said, "");
  } else {
    EXPECT_NE(said.find(c.outcome), std::string::npos) << said;
  }
  EXPECT_EQ(said.find(kPassword), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportChildTest,
    ::testing::Values(ChildCase{"password_in_the_environment", "/bin/sh",
                                "test \"$KELVAN_DEST_PWD\" = Pw-in-env-only", ""},
                      ChildCase{"failed", "/bin/sh", "exit 3", "ended with status 3"},
                      ChildCase{"killed", "/bin/sh", "kill -9 $$", "ended by signal 9"},
                      ChildCase{"missing", "/nonexistent/kelvan-report", "", "cannot start"}),
    [](const auto& info) { return info.param.name; });

TEST(ReportChildArgumentsTest, NameTheDestinationButNeverThePassword) {
  Settings settings;
  settings.destination = {"REPORTING", "loader", kPassword, "kelvan"};
  settings.post_processing.forecast_size_of_sample_set = 7;
  const std::vector<std::string> arguments = ReportChildArguments("r.html", settings);
  EXPECT_EQ(arguments, (std::vector<std::string>{"kelvan-report", "--out", "r.html", "--dest-dsn",
                                                 "REPORTING", "--dest-uid", "loader", "--qualifier",
                                                 "kelvan", "--sample-days", "7"}));
}

}  // namespace
}  // namespace kelvan::console
