// kelvan-batch: the console's start-up and run without a window, for cron and servers without a
// display. The console's command line (-CONFIG=file, -LOG=file), a time limit per server, the
// run record as JSON and metrics files, a count check of the incremental copies; no countdown;
// exit statuses in kUsage.
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/batch/destination_check.h"
#include "console/batch/report_child.h"
#include "console/batch/scale_out.h"
#include "console/batch/terminal_view.h"
#include "console/core/run_driver.h"
#include "console/core/run_summary.h"
#include "console/core/startup.h"
#include "console/core/utility_functions.h"
#include "console/workers/elvan_workers.h"
#include "engine/qb_obj.h"
#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"
#include "platform/basic/run_log.h"
#include "platform/basic/text_lines.h"
#include "platform/basic/version.h"
#include "worker/worker_classes.h"

namespace {

constexpr int kAllCompleted = 0;
constexpr int kSomeFailed = 1;
constexpr int kNoRun = 2;

constexpr double kDefaultServerMinutes = 240;

constexpr const char* kUsage =
    "usage: kelvan-batch [-CONFIG=file] [-LOG=file] [-SERVERTIMEOUT=minutes] [-SUMMARY=file.json]"
    " [-METRICS=file.prom] [-VERIFY]\n"
    "                    [-REPORT=file.html] [-PARALLEL=N] [-RUNWINDOW=name] [-FORCE]\n"
    "                    [-LEASE=seconds]\n"
    "Loads every server of a setup file into its destination without a window, then ends.\n"
    "  -CONFIG=file  the setup file (default KELVAN.ini in the program's folder)\n"
    "  -LOG=file     the HTML run log (default vltlog_yymmddhhmmss.htm in the program's folder)\n"
    "  -SERVERTIMEOUT=minutes\n"
    "                the longest one server may load (default 240, decimals allowed, 0 for no\n"
    "                limit); past it the server's database calls are cancelled, the server is\n"
    "                reported as failed and the run goes on with the next server\n"
    "  -SUMMARY=file.json\n"
    "                what the run did, per server, table and stage, as JSON (replaced whole)\n"
    "  -METRICS=file.prom\n"
    "                the same as Prometheus text for the node exporter's textfile collector\n"
    "  -VERIFY       after each incremental copy (SUMMARY, EVENTS) the source's rows of the\n"
    "                copied window are counted against the destination's; a difference goes\n"
    "                into the run log and the summary and makes the exit status 1\n"
    "  -REPORT=file.html\n"
    "                after the run, kelvan-report (beside kelvan-batch) writes the capacity\n"
    "                report of the destination; a report that fails is said on stderr and\n"
    "                leaves the exit status as the load made it\n"
    "%s"
    "On a terminal a progress line shows the server, stage, table, rows and rate; otherwise\n"
    "one line per server and table or stage.\n"
    "Before the first server the destination is checked: every table the run writes must be\n"
    "there. When it also holds the claims table (schema/claims/), each server is claimed\n"
    "there before it is loaded: the same setup file may run on many hosts at once, and a\n"
    "server loaded in the run window or claimed by a live loader is skipped; without it,\n"
    "another run of the same setup file on this host is refused.\n"
    "SIGINT or SIGTERM cancels the server being loaded; the run log still gets its\n"
    "closing block. A server that does not end within 15 s of its cancel is left behind and\n"
    "the run ends at once.\n"
    "exit status:\n"
    "  0  every server, table and stage loaded\n"
    "  1  something was given up (a server, a table or a stage; stderr names it), -VERIFY\n"
    "     found a difference, or the summary or metrics file could not be written\n"
    "  2  nothing ran (no setup file, a destination that cannot take the run, no server\n"
    "     reachable, another run of the setup file, a bad option, or interrupted before any\n"
    "     server)\n"
    "environment: ODBCSYSINI and ODBCINI select the ODBC configuration (odbcinst.ini, odbc.ini).\n"
    "The path of the run log is printed on stderr when the run wrote one.\n";

void PrintUsage(std::FILE* out) { std::fprintf(out, kUsage, kelvan::console::kScaleOutUsage); }

// Usage for --help, -h or no argument at all: a bare start would otherwise run the default setup
// file, which a user typing the name to find out what it does does not expect.
bool AnswerHelp(int argc, char** argv) {
  const bool asks =
      argc == 1 ||
      (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0));
  if (asks) PrintUsage(stdout);
  return asks;
}

void ReportRunLog(const std::string& run_log_name) {
  std::error_code error;
  if (!run_log_name.empty() && std::filesystem::exists(run_log_name, error)) {
    std::fprintf(stderr, "Run log: %s\n", run_log_name.c_str());
  }
}

// A server whose worker "successfully completed" may still have given a table or stage up.
int ExitStatus(const kelvan::console::RunOutcome& outcome) {
  using Kind = kelvan::console::RunOutcome::Kind;
  if (outcome.processed == 0 && outcome.elsewhere == 0) return kNoRun;
  const bool all = outcome.kind == Kind::kRan &&
                   outcome.completed + outcome.elsewhere == outcome.servers &&
                   outcome.given_up.empty() && !HasCountDifference(outcome.record);
  return all ? kAllCompleted : kSomeFailed;
}

std::string OneLine(std::string text) {
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return text;
}

void ReportGivenUp(const kelvan::console::RunOutcome& outcome) {
  for (const std::string& line : outcome.given_up) {
    std::fprintf(stderr, "Given up: %s\n", OneLine(line).c_str());
  }
  for (const kelvan::console::ServerRun& server : outcome.record.servers) {
    for (const kelvan::worker::StepRecord& step : server.steps) {
      const auto& check = step.counts.count_check;
      if (!check || !check->Differs()) continue;
      std::fprintf(stderr,
                   "Count difference: server %s: table %s: the source holds %lld rows from %s to "
                   "%s, the destination %lld\n",
                   server.server.c_str(), step.name.c_str(),
                   static_cast<long long>(check->source_rows), check->from.c_str(),
                   check->to.c_str(), static_cast<long long>(check->destination_rows));
    }
  }
}

// The setup file holds passwords in clear: say so when other users may read it.
void WarnWhenSetupFileIsExposed(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0 && (info.st_mode & (S_IRGRP | S_IROTH)) != 0) {
    std::fprintf(stderr,
                 "Warning: the setup file %s can be read by other users; it holds passwords: "
                 "make it readable by its owner only (chmod 600).\n",
                 path.c_str());
  }
}

// The console's own arguments, with kelvan-batch's own taken out: the console does not know them.
struct BatchArguments {
  std::vector<std::string> console = {"kelvan-batch"};
  double server_minutes = kDefaultServerMinutes;
  std::string summary_file;  // empty: none
  std::string metrics_file;  // empty: none
  std::string report_file;   // empty: none
  bool verify = false;
  kelvan::console::ScaleOutOptions scale_out;
  std::string invalid;  // why the options cannot be used; empty when they can
};

std::optional<double> Minutes(const std::string& text) {
  char* end = nullptr;
  const double minutes = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(minutes) || minutes < 0) return std::nullopt;
  return minutes;
}

// Takes out one of kelvan-batch's own options; false when `argument` is none of them.
bool TakeBatchOption(const std::string& argument, BatchArguments& parsed) {
  if (const auto value = kelvan::console::OptionValue(argument, "-SERVERTIMEOUT=")) {
    const std::optional<double> minutes = Minutes(*value);
    if (!minutes) parsed.invalid = "-SERVERTIMEOUT takes minutes: a number, 0 for no limit.";
    parsed.server_minutes = minutes.value_or(0);
  } else if (const auto summary = kelvan::console::OptionValue(argument, "-SUMMARY=")) {
    if (summary->empty()) parsed.invalid = "-SUMMARY takes a file name.";
    parsed.summary_file = *summary;
  } else if (const auto metrics = kelvan::console::OptionValue(argument, "-METRICS=")) {
    if (metrics->empty()) parsed.invalid = "-METRICS takes a file name.";
    parsed.metrics_file = *metrics;
  } else if (const auto report = kelvan::console::OptionValue(argument, "-REPORT=")) {
    if (report->empty()) parsed.invalid = "-REPORT takes a file name.";
    parsed.report_file = *report;
  } else if (strcasecmp(argument.c_str(), "-VERIFY") == 0) {
    parsed.verify = true;
  } else if (!kelvan::console::TakeScaleOutOption(argument, parsed.scale_out, parsed.invalid)) {
    return false;
  }
  return true;
}

BatchArguments ParseArguments(int argc, char** argv) {
  BatchArguments parsed;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (!TakeBatchOption(argument, parsed)) parsed.console.push_back(argument);
  }
  return parsed;
}

// Writes the summary and metrics files asked for; false when one could not be written (said on
// stderr).
bool WriteRecordFiles(const BatchArguments& arguments, const kelvan::console::RunRecord& record,
                      int status) {
  bool written = true;
  const auto write = [&](const std::string& path, const std::string& text) {
    if (path.empty()) return;
    try {
      kelvan::ReplaceFile(path, text);
    } catch (const kelvan::RaisedError& error) {
      std::fprintf(stderr, "kelvan-batch: %s\n", error.Description().c_str());
      written = false;
    }
  };
  write(arguments.summary_file, kelvan::console::SummaryJson(record, status));
  write(arguments.metrics_file, kelvan::console::MetricsText(record, status));
  return written;
}

// The run's exit status once its files are written: a file that could not be written turns a
// clean run into status 1, so that a scheduler that reads only the status still sees it.
int Finish(const BatchArguments& arguments, const kelvan::console::RunRecord& record, int status) {
  if (!WriteRecordFiles(arguments, record, status) && status == kAllCompleted) return kSomeFailed;
  return status;
}

// The record of a run that did not reach its servers.
kelvan::console::RunRecord NoRunRecord() {
  kelvan::console::RunRecord record;
  record.started = kelvan::CurrentClock().Now();
  return record;
}

std::string JoinConsoleArguments(const std::vector<std::string>& arguments) {
  std::vector<const char*> pointers;
  for (const std::string& argument : arguments) pointers.push_back(argument.c_str());
  return kelvan::console::JoinArguments(static_cast<int>(pointers.size()), pointers.data());
}

kelvan::console::RunLimits LimitsFor(const BatchArguments& arguments,
                                     const std::string& run_log_name) {
  kelvan::console::RunLimits limits;
  if (arguments.server_minutes > 0) limits.server_seconds = arguments.server_minutes * 60;
  // The worker's thread cannot be joined while its driver holds it: leave without it.
  limits.abandon = [arguments, run_log_name](const kelvan::console::RunOutcome& outcome) {
    ReportGivenUp(outcome);
    ReportRunLog(run_log_name);
    WriteRecordFiles(arguments, outcome.record, kSomeFailed);
    std::fflush(nullptr);
    ::_exit(kSomeFailed);
  };
  return limits;
}

// The load's status stands whatever the report does: the rows are in; a report that failed is
// said on stderr.
void WriteReportAfterRun(const BatchArguments& arguments,
                         const kelvan::console::Settings& settings) {
  if (arguments.report_file.empty()) return;
  using namespace kelvan::console;
  const std::string problem = RunReportChild(ReportProgram(ProgramFolders().program),
                                             ReportChildArguments(arguments.report_file, settings),
                                             settings.destination.password);
  if (!problem.empty())
    std::fprintf(stderr, "kelvan-batch: no report written: %s\n", problem.c_str());
}

void RefuseTheRun(const kelvan::console::ConsoleState& state, const std::string& problem) {
  std::fprintf(stderr, "%s\n", problem.c_str());
  try {
    kelvan::AppendToRunLog(state.run_log_name, "<PRE>\r\n" + problem + "\r\n</PRE>\r\n");
  } catch (const kelvan::RaisedError&) {
    // Said on stderr already.
  }
}

// One message instead of every server failing on the same missing table.
bool DestinationCanTakeTheRun(const kelvan::console::ConsoleState& state) {
  if (state.settings.servers.empty()) return true;  // the run says so itself
  const std::string problem = kelvan::console::CheckDestination(state.settings);
  if (problem.empty()) return true;
  RefuseTheRun(state, problem);
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (kelvan::AnswerVersion(argc, argv, "kelvan-batch") || AnswerHelp(argc, argv)) return 0;
  using namespace kelvan::console;
  const BatchArguments arguments = ParseArguments(argc, argv);
  if (!arguments.invalid.empty()) {
    std::fprintf(stderr, "kelvan-batch: %s\n", arguments.invalid.c_str());
    PrintUsage(stderr);
    return kNoRun;
  }
  kelvan::engine::RegisterQobraClasses();
  kelvan::worker::RegisterWorkerClasses();
  TerminalView view(stderr, ::isatty(STDERR_FILENO) == 1);
  TerminalView::CatchInterrupts();

  ConsoleState state;
  const StartupOutcome startup =
      StartUp(state, view, JoinConsoleArguments(arguments.console), ProgramFolders());
  WarnWhenSetupFileIsExposed(state.setup_file_name);
  if (startup != StartupOutcome::kAutoStart || !DestinationCanTakeTheRun(state)) {
    ReportRunLog(state.run_log_name);
    return Finish(arguments, NoRunRecord(), kNoRun);
  }

  ElvanWorkerFactory workers;
  RunDriver driver(state, view, workers);
  std::unique_ptr<ServerClaims> claims;
  if (std::string problem; !SetUpScaleOut(state, arguments.scale_out, driver, claims, problem)) {
    RefuseTheRun(state, problem);
    ReportRunLog(state.run_log_name);
    return Finish(arguments, NoRunRecord(), kNoRun);
  }
  driver.SetLimits(LimitsFor(arguments, state.run_log_name));
  driver.SetCheckCounts(arguments.verify);
  view.OnInterrupt([&driver] { driver.Interrupt(); });
  view.FollowProgress([&driver] { return driver.Progress(); });
  const RunOutcome outcome = driver.Go();
  ReportGivenUp(outcome);
  ReportRunLog(state.run_log_name);
  WriteReportAfterRun(arguments, state.settings);
  return Finish(arguments, outcome.record, ExitStatus(outcome));
}
