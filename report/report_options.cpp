#include "report/report_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <map>

#include "platform/basic/raised_error.h"

namespace kelvan::report {

const char* const kReportUsage =
    "usage: kelvan-report --out file.html [--dest-dsn DSN] [--dest-uid user] [--config file]\n"
    "                     [--qualifier schema] [--server name] [--days N] [--sample-days N]\n"
    "                     [--top N]\n"
    "Writes one self-contained HTML page of the destination's capacity: which server fills\n"
    "first, when, and how sure the trend is, then a page per server with its charts.\n"
    "  --out file.html   the page to write (replaced whole)\n"
    "  --dest-dsn DSN    the destination's ODBC data source (default: the setup file's)\n"
    "  --dest-uid user   its user (default: the setup file's)\n"
    "  --config file     a setup file: destination, user, password, qualifier and sample\n"
    "                    window\n"
    "  --qualifier schema  the schema the destination tables are in (default: the setup\n"
    "                    file's, else none)\n"
    "  --server name     only this server\n"
    "  --days N          days of history shown (default 90)\n"
    "  --sample-days N   days of snapshots each trend is fitted over (default: the setup\n"
    "                    file's forecast sample set, else 30)\n"
    "  --top N           file spaces charted per server, the soonest full first (default 5)\n"
    "The password comes from KELVAN_DEST_PWD, else from the setup file; it is never printed.\n"
    "How a date to full is found: a least-squares line through the utilisation snapshots of\n"
    "the sample window (the engine's regression) is extended to 100 %.\n"
    "  needs at least 3 days of snapshots  fewer snapshot days in the window: no forecast\n"
    "  not growing     the slope is 0 or negative\n"
    "  uncertain       confidence (|correlation|) below 0.5\n"
    "  red             full within 30 days, confidence 0.5 or more\n"
    "  amber           full within 90 days (within 30 when uncertain)\n"
    "  green           not growing, or full later than 90 days (30 when uncertain)\n"
    "exit status: 0 page written, 1 the destination could not be read or the page written,\n"
    "2 bad arguments.\n";

namespace {

std::optional<int> PositiveNumber(const std::string& text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value <= 0) return std::nullopt;
  return value;
}

// "--name value" and "--name=value" both; the values by option name.
std::variant<std::map<std::string, std::string>, Answer, std::string> SplitOptions(
    const std::vector<std::string>& arguments) {
  static const char* const kNames[] = {"--out",    "--dest-dsn",    "--dest-uid",
                                       "--config", "--qualifier",   "--server",
                                       "--days",   "--sample-days", "--top"};
  std::map<std::string, std::string> values;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "--help" || argument == "-h") return Answer::kHelp;
    if (argument == "--version") return Answer::kVersion;
    const size_t equals = argument.find('=');
    const std::string name = argument.substr(0, equals);
    if (std::find(std::begin(kNames), std::end(kNames), name) == std::end(kNames)) {
      return "unknown argument " + name;
    }
    if (equals != std::string::npos) {
      values[name] = argument.substr(equals + 1);
    } else if (i + 1 < arguments.size()) {
      values[name] = arguments[++i];
    } else {
      return name + " needs a value";
    }
  }
  return values;
}

// Fills the numeric options; the reason when one is not a positive whole number.
std::string TakeNumbers(const std::map<std::string, std::string>& values, ReportOptions& options) {
  const std::pair<const char*, int*> numbers[] = {{"--days", &options.history_days},
                                                  {"--sample-days", &options.sample_days},
                                                  {"--top", &options.top_file_spaces}};
  for (const auto& [name, target] : numbers) {
    const auto found = values.find(name);
    if (found == values.end()) continue;
    const std::optional<int> number = PositiveNumber(found->second);
    if (!number) return std::string(name) + " takes a whole number of 1 or more";
    *target = *number;
  }
  return {};
}

// Names are pasted into the SQL texts.
bool IsPlainName(const std::string& name) {
  return std::all_of(name.begin(), name.end(),
                     [](unsigned char c) { return std::isalnum(c) || c == '_'; });
}

std::string Value(const std::map<std::string, std::string>& values, const std::string& name) {
  const auto found = values.find(name);
  return found == values.end() ? std::string() : found->second;
}

}  // namespace

ParsedArguments ParseReportArguments(const std::vector<std::string>& arguments,
                                     const Environment& environment, const SetupReader& setup) {
  auto split = SplitOptions(arguments);
  if (auto* answer = std::get_if<Answer>(&split)) return *answer;
  if (auto* reason = std::get_if<std::string>(&split)) return *reason;
  const auto& values = std::get<std::map<std::string, std::string>>(split);
  ReportOptions options;
  if (std::string reason = TakeNumbers(values, options); !reason.empty()) return reason;
  SetupValues file;
  if (const std::string config = Value(values, "--config"); !config.empty()) {
    try {
      file = setup(config);
    } catch (const RaisedError& error) {
      return "cannot read the setup file " + config + ": " + error.Description();
    }
  }
  options.out = Value(values, "--out");
  options.server = Value(values, "--server");
  options.dest_dsn = values.count("--dest-dsn") ? Value(values, "--dest-dsn") : file.dsn;
  options.dest_uid = values.count("--dest-uid") ? Value(values, "--dest-uid") : file.uid;
  options.dest_pwd = environment("KELVAN_DEST_PWD").value_or(file.password);
  options.qualifier = values.count("--qualifier") ? Value(values, "--qualifier") : file.qualifier;
  if (!IsPlainName(options.qualifier)) {
    return std::string("--qualifier takes letters, digits and underscores only");
  }
  if (!values.count("--sample-days") && file.sample_days > 0)
    options.sample_days = file.sample_days;
  if (options.out.empty()) return std::string("--out names the page to write");
  if (options.dest_dsn.empty()) return std::string("no destination: give --dest-dsn or --config");
  return options;
}

}  // namespace kelvan::report
