#include "engine/tool/qobra_cli.h"

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

#include "engine/engine_text.h"
#include "engine/qb_obj.h"
#include "platform/basic/bool16.h"
#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"
#include "platform/component/registry.h"

namespace kelvan::engine {
namespace {

struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// "--name value" options and "--name" switches, checked against what the subcommand knows.
class Options {
 public:
  Options(const std::vector<std::string>& args, const std::set<std::string>& valued,
          const std::set<std::string>& switches) {
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i].rfind("--", 0) != 0) throw UsageError("unexpected argument: " + args[i]);
      std::string name = args[i].substr(2);
      if (switches.count(name)) {
        values_[name] = "";
      } else if (!valued.count(name)) {
        throw UsageError("unknown option --" + name);
      } else if (i + 1 >= args.size()) {
        throw UsageError("option --" + name + " needs a value");
      } else {
        values_[name] = args[++i];
      }
    }
  }

  std::string Required(const std::string& name) const {
    auto found = values_.find(name);
    if (found == values_.end()) throw UsageError("missing option --" + name);
    return found->second;
  }
  // A password: from the command line, or else from the environment variable `env`, which other
  // users cannot read in the process list.
  std::string Secret(const std::string& name, const char* env) const {
    auto found = values_.find(name);
    if (found != values_.end()) return found->second;
    if (const char* value = std::getenv(env)) return value;
    throw UsageError("missing option --" + name + " (or " + env + " in the environment)");
  }
  std::string Optional(const std::string& name, std::string fallback = {}) const {
    auto found = values_.find(name);
    return found == values_.end() ? fallback : found->second;
  }
  bool Has(const std::string& name) const { return values_.count(name) != 0; }

 private:
  std::map<std::string, std::string> values_;
};

// The source's connect string, with the password of QOBRA_SOURCE_PWD added when that is set.
std::string SourceOption(const Options& options) {
  std::string source = options.Required("source");
  if (const char* password = std::getenv("QOBRA_SOURCE_PWD"))
    source += ";PWD=" + std::string(password);
  return source;
}

class CommandLineDataSource : public DataSource {
 public:
  explicit CommandLineDataSource(const Options& options)
      : name_(options.Required("dest-dsn")),
        user_(options.Required("dest-uid")),
        password_(options.Secret("dest-pwd", "QOBRA_DEST_PWD")),
        qualifier_(options.Optional("qualifier")) {}
  std::string Name() const override { return name_; }
  std::string UserName() const override { return user_; }
  std::string Password() const override { return password_; }
  std::string Qualifier() const override { return qualifier_; }

 private:
  std::string name_, user_, password_, qualifier_;
};

std::int16_t TraceLevel(const Options& options) {
  std::string text = options.Optional("trace-level", "0");
  if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
      text.size() > 1 || text[0] > '3') {
    throw UsageError("--trace-level must be 0, 1, 2 or 3");
  }
  return static_cast<std::int16_t>(text[0] - '0');
}

// The engine as every subcommand prepares it.
component::ObjectRef<LoadEngine> MakeEngine(const Options& options) {
  RegisterQobraClasses();
  auto engine = component::CreateObject<LoadEngine>(kQbObjClassId);
  std::int16_t level = TraceLevel(options);
  std::string file = options.Optional("trace-file");
  if (level > 0 && file.empty()) throw UsageError("--trace-level above 0 needs --trace-file");
  std::string db_type = options.Optional("db-type", "Unknown");
  engine.Call([&](LoadEngine& e) {
    e.SetTrace(level, file);
    e.SetDBType(db_type);
  });
  return engine;
}

// Drivers are not all careful with what they echo: no password of ours reaches the screen.
RaisedError WithoutPasswords(const RaisedError& error,
                             std::initializer_list<std::string> connect_strings) {
  std::string source = error.Source(), description = error.Description();
  for (const std::string& connect : connect_strings) {
    source = HidePassword(source, connect);
    description = HidePassword(description, connect);
  }
  return RaisedError(error.Number(), source, description, error.SqlState());
}

const std::set<std::string> kDestinationOptions = {
    "dest-dsn", "dest-uid", "dest-pwd", "qualifier", "db-type", "trace-level", "trace-file"};

std::set<std::string> With(std::set<std::string> options) {
  options.insert(kDestinationOptions.begin(), kDestinationOptions.end());
  return options;
}

// The run timestamp: --rollup, or now.
std::string RollupOption(const Options& options) {
  std::string rollup = options.Optional("rollup", FormatTimestamp(CurrentClock().Now()));
  if (!ParseTimestampText(rollup)) throw UsageError("--rollup must be \"yyyy-mm-dd hh:mm:ss\"");
  return rollup;
}

int CopyTableCommand(const std::vector<std::string>& args, std::ostream& out) {
  Options options(args, With({"server", "source", "table", "rollup"}), {"multiple-per-day"});
  CommandLineDataSource destination(options);
  std::string rollup = RollupOption(options);
  std::string server = options.Required("server");
  std::string source = SourceOption(options);
  std::string table = options.Required("table");
  auto engine = MakeEngine(options);
  std::int16_t result = 0;
  try {
    result = engine.Call([&](LoadEngine& e) {
      return e.CopyTable(server, source, table, destination,
                         ToBool16(options.Has("multiple-per-day")), rollup);
    });
  } catch (const RaisedError& e) {
    throw WithoutPasswords(e, {source, "PWD=" + destination.Password()});
  }
  out << "CopyTable " << table << ": result " << result << "\n";
  return result;
}

// A whole number of days from 0 to 32767.
std::int16_t DaysOption(const Options& options, const std::string& name) {
  std::string text = options.Required(name);
  if (text.empty() || text.size() > 5 ||
      text.find_first_not_of("0123456789") != std::string::npos || std::stoi(text) > 32767) {
    throw UsageError("--" + name + " must be a whole number of days from 0 to 32767");
  }
  return static_cast<std::int16_t>(std::stoi(text));
}

// "A,B,C" as its names; an empty name is refused.
std::vector<std::string> ColumnList(const Options& options, const std::string& name) {
  std::string text = options.Required(name);
  std::vector<std::string> columns;
  for (size_t start = 0, end; start <= text.size(); start = end + 1) {
    end = std::min(text.find(',', start), text.size());
    columns.push_back(TrimBlanks(text.substr(start, end - start)));
    if (columns.back().empty()) throw UsageError("--" + name + " holds an empty column name");
  }
  return columns;
}

int ForecastCommand(const std::vector<std::string>& args, std::ostream& out) {
  Options options(args,
                  With({"server", "table", "days-forward", "sample-size", "select-columns",
                        "forecast-columns", "order-columns", "forecast-table-columns"}),
                  {});
  CommandLineDataSource destination(options);
  std::string server = options.Required("server");
  std::string table = options.Required("table");
  std::int16_t days_forward = DaysOption(options, "days-forward");
  std::int16_t sample_size = DaysOption(options, "sample-size");
  std::vector<std::string> lists[] = {
      ColumnList(options, "select-columns"), ColumnList(options, "forecast-columns"),
      ColumnList(options, "order-columns"), ColumnList(options, "forecast-table-columns")};
  auto engine = MakeEngine(options);
  std::int16_t result = 0;
  try {
    result = engine.Call([&](LoadEngine& e) {
      return e.Forecast2CopyTable(lists[0], lists[1], lists[2], lists[3], server, table,
                                  days_forward, sample_size, destination);
    });
  } catch (const RaisedError& e) {
    throw WithoutPasswords(e, {"PWD=" + destination.Password()});
  }
  out << "Forecast2CopyTable " << table << ": result " << result << "\n";
  return result;
}

int SummaryHourCommand(const std::vector<std::string>& args, std::ostream& out) {
  Options options(args, With({"server"}), {});
  CommandLineDataSource destination(options);
  std::string server = options.Required("server");
  auto engine = MakeEngine(options);
  std::int16_t result = 0;
  try {
    result =
        engine.Call([&](LoadEngine& e) { return e.PostProcessSummaryTable(server, destination); });
  } catch (const RaisedError& e) {
    throw WithoutPasswords(e, {"PWD=" + destination.Password()});
  }
  out << "PostProcessSummaryTable: result " << result << "\n";
  return result;
}

int SimulActivityCommand(const std::vector<std::string>& args, std::ostream& out) {
  Options options(args, With({"server", "rollup"}), {});
  CommandLineDataSource destination(options);
  std::string rollup = RollupOption(options);
  std::string server = options.Required("server");
  auto engine = MakeEngine(options);
  std::int16_t result = 0;
  try {
    result = engine.Call(
        [&](LoadEngine& e) { return e.SimultaneousActivityTable(server, destination, rollup); });
  } catch (const RaisedError& e) {
    throw WithoutPasswords(e, {"PWD=" + destination.Password()});
  }
  out << "SimultaneousActivityTable: result " << result << "\n";
  return result;
}

int ErrorTableCommand(const std::vector<std::string>& args, std::ostream& out, bool client) {
  Options options(args, With({"server", "source", "severity"}), {});
  CommandLineDataSource destination(options);
  std::string server = options.Required("server");
  std::string source = SourceOption(options);
  std::string severity = options.Required("severity");
  auto engine = MakeEngine(options);
  std::int16_t result = 0;
  try {
    result = engine.Call([&](LoadEngine& e) {
      return client ? e.ClientErrors(server, source, destination, severity)
                    : e.ServerErrors(server, source, destination, severity);
    });
  } catch (const RaisedError& e) {
    throw WithoutPasswords(e, {source, "PWD=" + destination.Password()});
  }
  out << (client ? "ClientErrors" : "ServerErrors") << ": result " << result << "\n";
  return result;
}

// Any whole number: the engine itself settles what is out of range.
std::optional<std::int32_t> BatchOption(const Options& options) {
  if (!options.Has("batch")) return std::nullopt;
  std::string text = options.Required("batch");
  size_t digits = text.rfind('-', 0) == 0 ? 1 : 0;
  if (text.size() == digits || text.size() > digits + 9 ||
      text.find_first_not_of("0123456789", digits) != std::string::npos) {
    throw UsageError("--batch must be a whole number");
  }
  return std::stoi(text);
}

int PruneCommand(const std::vector<std::string>& args, std::ostream& out, bool by_extraction) {
  Options options(args, With({"server", "source", "table", "days", "column", "batch"}), {});
  CommandLineDataSource destination(options);
  std::string server = options.Required("server");
  std::string source = SourceOption(options);
  std::string table = options.Required("table");
  std::string column = options.Required("column");
  std::int16_t days = DaysOption(options, "days");
  std::optional<std::int32_t> batch = BatchOption(options);
  auto engine = MakeEngine(options);
  std::optional<std::int16_t> result;
  try {
    result = engine.Call([&](LoadEngine& e) -> std::optional<std::int16_t> {
      return by_extraction
                 ? e.Prune2Records(days, server, source, table, destination, column, batch)
                 : e.PruneRecords(days, server, source, table, destination, column, batch);
    });
  } catch (const RaisedError& e) {
    throw WithoutPasswords(e, {source, "PWD=" + destination.Password()});
  }
  out << (by_extraction ? "Prune2Records " : "PruneRecords ") << table << ": result "
      << (result ? std::to_string(*result) : "empty") << ", batch size " << batch.value_or(0)
      << "\n";
  return result.value_or(0);
}

struct Subcommand {
  const char* usage;
  std::function<int(const std::vector<std::string>&, std::ostream&)> run;
};

const std::map<std::string, Subcommand>& Subcommands() {
  static const std::map<std::string, Subcommand> kCommands = {
      {"copy-table",
       {"qobra copy-table --server NAME --source CONNSTR --table T --dest-dsn DSN --dest-uid U\n"
        "      --dest-pwd P [--qualifier Q] [--db-type TYPE] [--rollup \"yyyy-mm-dd hh:mm:ss\"]\n"
        "      [--multiple-per-day] [--trace-level N --trace-file F]\n"
        "    Copies table T of the server into the destination. Result 0: copied; 2: the\n"
        "    server has no such table.\n",
        CopyTableCommand}},
      {"summary-hour",
       {"qobra summary-hour --server NAME --dest-dsn DSN --dest-uid U --dest-pwd P\n"
        "      [--qualifier Q] [--db-type TYPE] [--trace-level N --trace-file F]\n"
        "    Slices the server's SUMMARY activities ended since the latest one summarised\n"
        "    into clock hours in SUMMARYHOUR.\n",
        SummaryHourCommand}},
      {"simul-activity",
       {"qobra simul-activity --server NAME --dest-dsn DSN --dest-uid U --dest-pwd P\n"
        "      [--qualifier Q] [--db-type TYPE] [--rollup \"yyyy-mm-dd hh:mm:ss\"]\n"
        "      [--trace-level N --trace-file F]\n"
        "    Rewrites SIMUL_ACTIVITY for the rollup day (default today) from that day's\n"
        "    SUMMARY sessions and tape mounts.\n",
        SimulActivityCommand}},
      {"forecast",
       {"qobra forecast --server NAME --table T --days-forward N --sample-size N\n"
        "      --select-columns A,B --forecast-columns C,D --order-columns A,B\n"
        "      --forecast-table-columns A,DAYS_TO_FORECAST --dest-dsn DSN --dest-uid U --dest-pwd "
        "P\n"
        "      [--qualifier Q] [--db-type TYPE] [--trace-level N --trace-file F]\n"
        "    Writes the forecasts of table T into T_F, one row per group and day since the last\n"
        "    forecast, fitted over the preceding N days. Result 0.\n",
        ForecastCommand}},
      {"client-errors",
       {"qobra client-errors --server NAME --source CONNSTR --severity CONDITION --dest-dsn DSN\n"
        "      --dest-uid U --dest-pwd P [--qualifier Q] [--db-type TYPE]\n"
        "      [--trace-level N --trace-file F]\n"
        "    Loads the client messages of the server's ACTLOG that match CONDITION (e.g.\n"
        "    \"SEVERITY = 'E'\") into CLIENTERRORS. Result 0.\n",
        [](const auto& args, auto& out) { return ErrorTableCommand(args, out, true); }}},
      {"server-errors",
       {"qobra server-errors: as client-errors, for the server messages into SERVERERRORS.\n",
        [](const auto& args, auto& out) { return ErrorTableCommand(args, out, false); }}},
      {"prune",
       {"qobra prune --server NAME --source CONNSTR --table T --days N --column C\n"
        "      [--batch ROWS] --dest-dsn DSN --dest-uid U --dest-pwd P [--qualifier Q]\n"
        "      [--db-type TYPE] [--trace-level N --trace-file F]\n"
        "    Deletes the server's rows of T whose column C is older than N days, about ROWS\n"
        "    (default 1000) per statement. Prints the result (0 when there was nothing to\n"
        "    prune, empty after a prune) and the batch size used.\n",
        [](const auto& args, auto& out) { return PruneCommand(args, out, false); }}},
      {"prune2",
       {"qobra prune2: as prune, extraction by extraction (C is EXTRACT_DATE). Result 0.\n",
        [](const auto& args, auto& out) { return PruneCommand(args, out, true); }}},
  };
  return kCommands;
}

void PrintUsage(std::ostream& to) {
  to << "usage:\n";
  for (const auto& [name, command] : Subcommands()) to << "  " << command.usage;
  to << "exit status: the operation's result (0, or 2 for copy-table), " << kQobraExitFailed
     << " when the operation raised an error, " << kQobraExitUsage << " for a bad command line.\n"
     << "passwords: QOBRA_DEST_PWD in the environment stands for --dest-pwd, and QOBRA_SOURCE_PWD\n"
     << "is added to --source as PWD=; unlike the command line, other users cannot read them.\n";
}

}  // namespace

int RunQobra(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (!args.empty() && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
    PrintUsage(out);
    return 0;
  }
  auto command = args.empty() ? Subcommands().end() : Subcommands().find(args[0]);
  try {
    if (command == Subcommands().end()) {
      throw UsageError(args.empty() ? "no command given" : "unknown command " + args[0]);
    }
    return command->second.run(args, out);
  } catch (const UsageError& e) {
    err << "qobra: " << e.what() << "\n";
    PrintUsage(err);
    return kQobraExitUsage;
  } catch (const RaisedError& e) {
    err << "qobra: error " << e.Number() << "\nsource: " << e.Source()
        << "\ndescription: " << e.Description() << "\n";
    return kQobraExitFailed;
  }
}

}  // namespace kelvan::engine
