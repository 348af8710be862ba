#include "tests/faults/input_fuzz.h"

#include <algorithm>
#include <vector>

#include "console/core/settings.h"
#include "console/core/setup_file.h"
#include "console/core/startup.h"
#include "console/core/utility_functions.h"

namespace kelvan::faults {
namespace {

constexpr std::string_view kErrorHeader =
    "Error in configuration file:\r\n\r\nRead Setup From File: Error Number = ";
constexpr std::string_view kErrorTail = " from the configuration file.\r\n";

size_t Occurrences(std::string_view text, std::string_view part) {
  size_t count = 0;
  for (size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// The log text holds nothing but whole error reports, one per failing line.
std::string CheckErrorReports(std::string_view log) {
  if (log.empty()) return {};
  if (!log.starts_with(kErrorHeader) || !log.ends_with(kErrorTail)) {
    return "log text is not made of error reports: " + std::string(log.substr(0, 200));
  }
  const size_t reports = Occurrences(log, kErrorHeader);
  if (reports != Occurrences(log, "Read Setup From File: Error Source = ") ||
      reports != Occurrences(log, "Read Setup From File: Error Description = ")) {
    return "an error report lacks its number, source or description";
  }
  return {};
}

}  // namespace

std::string CheckSetupReader(std::string_view input) {
  console::Settings settings;
  console::SetupReadReport report;
  try {
    report = console::ReadSetupText(input, settings);
  } catch (const std::exception& error) {
    return std::string("the reader raised instead of reporting: ") + error.what();
  }
  if (std::string problem = CheckErrorReports(report.log_text); !problem.empty()) return problem;
  if (settings.forecast_setup_code != console::BuildForecastSetupCode(settings.post_processing)) {
    return "the forecast setup code was not rebuilt";
  }
  if (settings.servers.size() > Occurrences(input, "Server:=")) {
    return "more server entries than Server lines";
  }
  // Below one, the prune would delete every row a server has loaded.
  const console::AdvancedOptions& a = settings.advanced;
  if (a.prune_data_beyond_days < 1 || a.approx_records_to_prune_per_batch < 1 ||
      a.database_max_size_limit_in_days < 1) {
    return "a prune setting below one was taken";
  }
  return {};
}

std::string CheckCommandLine(std::string_view input) {
  const std::vector<std::string> arguments = console::clsUtilityFunctions::getCommandLine(input);
  if (arguments.empty() || !arguments[0].empty()) return "element 0 is not the empty element";
  for (size_t i = 1; i < arguments.size(); ++i) {
    if (arguments[i].empty() || arguments[i].find_first_of(" \t") != std::string::npos) {
      return "argument " + std::to_string(i) + " is empty or holds a separator";
    }
  }
  std::string log;
  const console::CommandLineArguments parsed = console::ParseCommandLine(arguments, log);
  if (!log.empty() && log != "Incorrect use of command line arguments.\r\n") {
    return "unexpected command-line report: " + log;
  }
  const console::Folders folders{"/opt/kelvan", "/home/op"};
  std::string name_log;
  const std::string name =
      console::ChooseRunLogName(parsed.log, folders, Timestamp{2026, 12, 7, 8, 30, 0}, name_log);
  if (name.empty() || name.front() != '/') return "run log name is not absolute: " + name;
  return {};
}

std::string CheckTableString(std::string_view input) {
  const size_t items = static_cast<size_t>(std::count(input.begin(), input.end(), ',')) + 2;
  for (size_t n = 1; n <= items; ++n) {
    const std::string item = console::ParseItemFromTableString(input, static_cast<int>(n));
    if (!item.empty() && input.find(item) == std::string_view::npos) {
      return "item " + std::to_string(n) + " is not part of the table string";
    }
  }
  // Names without quotes, commas or outer blanks come back unchanged from their string.
  std::vector<std::string> names(1);
  for (char c : input) {
    if (c == '\n') {
      names.emplace_back();
    } else if (c != '"' && c != ',' && c != ' ') {
      names.back() += c;
    }
  }
  const std::string built = console::BuildTableString(names);
  for (size_t i = 0; i < names.size(); ++i) {
    if (console::ParseItemFromTableString(built, static_cast<int>(i + 1)) != names[i]) {
      return "name " + std::to_string(i + 1) + " did not survive the table string";
    }
  }
  return {};
}

}  // namespace kelvan::faults
