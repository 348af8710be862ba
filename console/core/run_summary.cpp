#include "console/core/run_summary.h"

#include <cmath>
#include <ctime>
#include <nlohmann/json.hpp>
#include <sstream>

namespace kelvan::console {
namespace {

using nlohmann::json;
using worker::StepRecord;

// Whole seconds since the epoch of a local time (the clock gives local time).
double UnixSeconds(const Timestamp& local) {
  std::tm parts{};
  parts.tm_year = local.year - 1900;
  parts.tm_mon = local.month - 1;
  parts.tm_mday = local.day;
  parts.tm_hour = local.hour;
  parts.tm_min = local.minute;
  parts.tm_sec = local.second;
  parts.tm_isdst = -1;
  return static_cast<double>(std::mktime(&parts));
}

json CountsJson(const engine::OperationCounts& counts) {
  json out = {{"rows_read", counts.rows_read},
              {"rows_added", counts.rows_added},
              {"rows_deleted", counts.rows_deleted},
              {"rows_pruned", counts.rows_pruned},
              {"values_unset", counts.values_unset}};
  if (const auto& check = counts.count_check) {
    out["count_check"] = {{"from", check->from},
                          {"to", check->to},
                          {"source_rows", check->source_rows},
                          {"destination_rows", check->destination_rows},
                          {"differs", check->Differs()}};
  }
  return out;
}

json StepJson(const StepRecord& step) {
  json out = CountsJson(step.counts);
  out["name"] = step.name;
  out["retries"] = step.retries;
  out["seconds"] = step.seconds;
  out["first_error"] = step.first_error;
  out["given_up"] = step.given_up;
  return out;
}

json ServerJson(const ServerRun& server) {
  json tables = json::array();
  json stages = json::array();
  for (const StepRecord& step : server.steps) {
    (step.kind == StepRecord::Kind::kTable ? tables : stages).push_back(StepJson(step));
  }
  return {{"server", server.server},
          {"result", ResultName(server.result)},
          {"first_error", server.first_error},
          {"seconds", server.seconds},
          {"totals", CountsJson(ServerTotals(server))},
          {"tables", tables},
          {"stages", stages}};
}

// Label values escaped as the exposition format asks: backslash, double quote, line feed.
std::string LabelValue(const std::string& value) {
  std::string escaped;
  for (char c : value) {
    if (c == '\\' || c == '"') escaped += '\\';
    escaped += c == '\n' ? std::string("\\n") : std::string(1, c);
  }
  return escaped;
}

std::string Number(double value) {
  std::ostringstream out;
  out.precision(std::isfinite(value) && value == std::floor(value) ? 15 : 6);
  out << value;
  return out.str();
}

// One metric family: its HELP and TYPE lines, then its samples.
class Family {
 public:
  Family(std::string& out, const std::string& name, const std::string& help)
      : out_(out), name_(name) {
    out_ += "# HELP " + name + " " + help + "\n# TYPE " + name + " gauge\n";
  }
  void Sample(const std::string& labels, double value) {
    out_ += name_ + (labels.empty() ? "" : "{" + labels + "}") + " " + Number(value) + "\n";
  }

 private:
  std::string& out_;
  std::string name_;
};

std::string ServerLabel(const ServerRun& server) {
  return "server=\"" + LabelValue(server.server) + "\"";
}

std::string StepLabels(const ServerRun& server, const StepRecord& step) {
  const bool table = step.kind == StepRecord::Kind::kTable;
  return ServerLabel(server) + ",stage=\"" + LabelValue(table ? "CopyTables" : step.name) +
         "\",table=\"" + LabelValue(table ? step.name : "") + "\"";
}

// A family with one sample per table or stage of every server that has one.
template <class Value>
void StepFamily(std::string& out, const RunRecord& record, const std::string& name,
                const std::string& help, Value value) {
  Family family(out, name, help);
  for (const ServerRun& server : record.servers) {
    for (const StepRecord& step : server.steps) {
      if (std::optional<double> v = value(step)) family.Sample(StepLabels(server, step), *v);
    }
  }
}

template <class Member>
void CountFamily(std::string& out, const RunRecord& record, const std::string& name,
                 const std::string& help, Member member) {
  StepFamily(out, record, name, help, [member](const StepRecord& step) -> std::optional<double> {
    return static_cast<double>(step.counts.*member);
  });
}

}  // namespace

std::string SummaryJson(const RunRecord& record, int exit_status) {
  json servers = json::array();
  int differences = 0;
  for (const ServerRun& server : record.servers) {
    servers.push_back(ServerJson(server));
    for (const StepRecord& step : server.steps) {
      differences += step.counts.count_check && step.counts.count_check->Differs() ? 1 : 0;
    }
  }
  json summary = {{"started", FormatTimestamp(record.started)},
                  {"seconds", record.seconds},
                  {"exit_status", exit_status},
                  {"count_differences", differences},
                  {"servers", servers}};
  return summary.dump(2) + "\n";
}

std::string MetricsText(const RunRecord& record, int exit_status) {
  std::string out;
  Family(out, "kelvan_last_run_timestamp_seconds", "When the last run began, in Unix time.")
      .Sample("", UnixSeconds(record.started));
  Family(out, "kelvan_run_duration_seconds", "How long the last run took.")
      .Sample("", record.seconds);
  Family(out, "kelvan_run_exit_status",
         "The last run's exit status: 0 all loaded, 1 something given up, 2 nothing ran.")
      .Sample("", exit_status);
  Family up(out, "kelvan_server_up",
            "1 when the server was loaded, whole or in part, by this loader or another; else 0.");
  for (const ServerRun& server : record.servers) {
    const bool loaded = server.result == ServerRun::Result::kLoaded ||
                        server.result == ServerRun::Result::kGivenUp ||
                        server.result == ServerRun::Result::kElsewhere;
    up.Sample(ServerLabel(server), loaded ? 1 : 0);
  }
  Family seconds(out, "kelvan_server_duration_seconds", "How long the server's load took.");
  for (const ServerRun& server : record.servers)
    seconds.Sample(ServerLabel(server), server.seconds);
  using C = engine::OperationCounts;
  CountFamily(out, record, "kelvan_rows_read_total", "Rows read in the last run.", &C::rows_read);
  CountFamily(out, record, "kelvan_rows_added_total", "Rows added in the last run.",
              &C::rows_added);
  CountFamily(out, record, "kelvan_rows_deleted_total",
              "Rows replaced by the overlap in the last run.", &C::rows_deleted);
  CountFamily(out, record, "kelvan_rows_pruned_total", "Rows pruned in the last run.",
              &C::rows_pruned);
  CountFamily(out, record, "kelvan_values_unset_total",
              "Source values the destination could not hold, left unset, in the last run.",
              &C::values_unset);
  StepFamily(out, record, "kelvan_retries_total", "Retries in the last run.",
             [](const StepRecord& s) -> std::optional<double> { return s.retries; });
  StepFamily(out, record, "kelvan_step_duration_seconds", "Seconds in the engine's calls.",
             [](const StepRecord& s) -> std::optional<double> { return s.seconds; });
  StepFamily(out, record, "kelvan_given_up", "1 when the table or stage was given up.",
             [](const StepRecord& s) -> std::optional<double> { return s.given_up ? 1 : 0; });
  StepFamily(out, record, "kelvan_count_check_source_rows",
             "The source's rows in the window the incremental copy copied.",
             [](const StepRecord& s) -> std::optional<double> {
               if (!s.counts.count_check) return std::nullopt;
               return static_cast<double>(s.counts.count_check->source_rows);
             });
  StepFamily(out, record, "kelvan_count_check_destination_rows",
             "The destination's rows of the server in that window.",
             [](const StepRecord& s) -> std::optional<double> {
               if (!s.counts.count_check) return std::nullopt;
               return static_cast<double>(s.counts.count_check->destination_rows);
             });
  return out;
}

}  // namespace kelvan::console
