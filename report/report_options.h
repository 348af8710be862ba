// The command line of kelvan-report and where its destination and password come from: the
// options, then KELVAN_DEST_PWD, then the setup file given with --config. Pure functions over
// caller-owned values; thread-safe.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace kelvan::report {

inline constexpr int kDefaultHistoryDays = 90;
inline constexpr int kDefaultSampleDays = 30;
inline constexpr int kDefaultTopFileSpaces = 5;

struct ReportOptions {
  std::string dest_dsn;
  std::string dest_uid;
  std::string dest_pwd;   // never printed
  std::string qualifier;  // schema of the destination tables; empty: none
  std::string server;     // empty: every server
  int history_days = kDefaultHistoryDays;
  int sample_days = kDefaultSampleDays;
  int top_file_spaces = kDefaultTopFileSpaces;
  std::string out;
};

// What the command line asks for when it is not a report.
enum class Answer { kHelp, kVersion };

// Reads a setup file into the destination and sample window it names; raises RaisedError when
// the file cannot be read.
struct SetupValues {
  std::string dsn, uid, password, qualifier;
  int sample_days = 0;  // 0: not set
};
using SetupReader = std::function<SetupValues(const std::string& path)>;
using Environment = std::function<std::optional<std::string>(const std::string& name)>;

// The options, an answer, or the reason they cannot be used (for "kelvan-report: " + reason).
using ParsedArguments = std::variant<ReportOptions, Answer, std::string>;
ParsedArguments ParseReportArguments(const std::vector<std::string>& arguments,
                                     const Environment& environment, const SetupReader& setup);

extern const char* const kReportUsage;

}  // namespace kelvan::report
