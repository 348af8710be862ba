#include "console/core/run_summary.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>

namespace kelvan::console {
namespace {

using worker::StepRecord;

// A run of two servers: one loaded with a count difference and a given-up stage, one that did
// not answer. Its server name holds the characters a label value must escape.
RunRecord TwoServerRun() {
  StepRecord summary{StepRecord::Kind::kTable, "SUMMARY", {}, 1, 2.5, "<1> lost", false};
  summary.counts = {
      120, 119, 6,
      40,  2,   engine::CountCheck{"2026-03-01 00:00:00", "2026-03-02 23:00:00", 120, 119}};
  StepRecord errors{StepRecord::Kind::kStage, "ClientErrors", {}, 3, 0.5, "<2> gone", true};
  errors.counts.rows_added = 8;
  RunRecord record{{2026, 3, 2, 1, 30, 0}, 42.0, {}};
  record.servers.push_back({"VLT \"A\"\\1",
                            ServerRun::Result::kGivenUp,
                            "stage ClientErrors: <2> gone",
                            40.0,
                            {errors, summary}});
  record.servers.push_back(
      {"VLTB", ServerRun::Result::kUnreachable, "IM002: no such data source", 0, {}});
  return record;
}

TEST(RunSummaryTest, JsonReadsBackAsTheRecord) {
  const nlohmann::json summary = nlohmann::json::parse(SummaryJson(TwoServerRun(), 1));

  EXPECT_EQ(summary["started"], "2026-03-02 01:30:00");
  EXPECT_EQ(summary["exit_status"], 1);
  EXPECT_EQ(summary["count_differences"], 1);
  const nlohmann::json& a = summary["servers"][0];
  EXPECT_EQ(a["server"], "VLT \"A\"\\1");
  EXPECT_EQ(a["result"], "given up");
  EXPECT_EQ(a["totals"]["rows_added"], 127);
  EXPECT_EQ(a["totals"]["rows_pruned"], 40);
  EXPECT_FALSE(a["totals"].contains("count_check"));
  const nlohmann::json& table = a["tables"][0];
  EXPECT_EQ(table["name"], "SUMMARY");
  EXPECT_EQ(table["rows_read"], 120);
  EXPECT_EQ(table["rows_deleted"], 6);
  EXPECT_EQ(table["values_unset"], 2);
  EXPECT_EQ(table["retries"], 1);
  EXPECT_EQ(table["count_check"]["source_rows"], 120);
  EXPECT_EQ(table["count_check"]["destination_rows"], 119);
  EXPECT_EQ(table["count_check"]["differs"], true);
  EXPECT_EQ(a["stages"][0]["name"], "ClientErrors");
  EXPECT_EQ(a["stages"][0]["given_up"], true);
  EXPECT_EQ(summary["servers"][1]["result"], "unreachable");
  EXPECT_EQ(summary["servers"][1]["first_error"], "IM002: no such data source");
}

// The text exposition format: "# HELP name text" and "# TYPE name type" before a family's
// samples, each sample "name{label="value",...} number" with \\, \" and \n escaped in values.
// Returns every sample as name + its labels in order, unescaped, against its value.
std::map<std::string, double> ParseExposition(const std::string& text) {
  static const std::regex kComment(R"(# (HELP|TYPE) ([a-zA-Z_:][a-zA-Z0-9_:]*) .+)");
  static const std::regex kSample(R"(([a-zA-Z_:][a-zA-Z0-9_:]*)(\{(.*)\})? (\S+))");
  static const std::regex kLabel(R"re(([a-zA-Z_][a-zA-Z0-9_]*)="((\\.|[^"\\])*)",?)re");
  std::map<std::string, double> samples;
  std::set<std::string> typed;
  std::istringstream lines(text);
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (std::regex_match(line, m, kComment)) {
      if (m[1] == "TYPE") typed.insert(m[2]);
      continue;
    }
    EXPECT_TRUE(std::regex_match(line, m, kSample)) << line;
    EXPECT_TRUE(typed.count(m[1])) << "no TYPE before " << line;
    std::string key = m[1];
    std::string labels = m[3];
    for (std::smatch l; std::regex_search(labels, l, kLabel); labels = l.suffix()) {
      const std::string escaped = l[2].str();
      std::string value;
      for (size_t i = 0; i < escaped.size(); ++i) {
        char c = escaped[i];
        if (c == '\\') c = escaped[++i] == 'n' ? '\n' : escaped[i];
        value += c;
      }
      key += " " + l[1].str() + "=" + value;
    }
    samples[key] = std::stod(m[4]);
  }
  return samples;
}

TEST(RunSummaryTest, MetricsParseBackAsTheRecord) {
  const std::map<std::string, double> metrics = ParseExposition(MetricsText(TwoServerRun(), 1));
  const std::string a = " server=VLT \"A\"\\1";
  const std::string summary = a + " stage=CopyTables table=SUMMARY";
  const std::string errors = a + " stage=ClientErrors table=";
  const std::map<std::string, double> expected = {
      {"kelvan_run_duration_seconds", 42},
      {"kelvan_run_exit_status", 1},
      {"kelvan_server_up" + a, 1},
      {"kelvan_server_up server=VLTB", 0},
      {"kelvan_server_duration_seconds" + a, 40},
      {"kelvan_rows_added_total" + summary, 119},
      {"kelvan_rows_added_total" + errors, 8},
      {"kelvan_rows_read_total" + summary, 120},
      {"kelvan_rows_deleted_total" + summary, 6},
      {"kelvan_rows_pruned_total" + summary, 40},
      {"kelvan_values_unset_total" + summary, 2},
      {"kelvan_retries_total" + errors, 3},
      {"kelvan_given_up" + errors, 1},
      {"kelvan_count_check_source_rows" + summary, 120},
      {"kelvan_count_check_destination_rows" + summary, 119},
  };
  for (const auto& [key, value] : expected) {
    ASSERT_TRUE(metrics.count(key)) << key;
    EXPECT_EQ(metrics.at(key), value) << key;
  }
  EXPECT_FALSE(metrics.count("kelvan_count_check_source_rows" + errors));
  // 01:30 local time on the day of the run, whatever the machine's zone.
  std::tm local{};
  local.tm_year = 126;
  local.tm_mon = 2;
  local.tm_mday = 2;
  local.tm_hour = 1;
  local.tm_min = 30;
  local.tm_isdst = -1;
  EXPECT_EQ(metrics.at("kelvan_last_run_timestamp_seconds"),
            static_cast<double>(std::mktime(&local)));
}

}  // namespace
}  // namespace kelvan::console
