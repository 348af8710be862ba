// kelvan-batch: the console's start-up and run without a window, for cron and servers without a
// display. The console's command line (-CONFIG=file, -LOG=file) and a time limit per server,
// no countdown; exit statuses in kUsage.
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
#include "console/batch/terminal_view.h"
#include "console/core/elvan_workers.h"
#include "console/core/run_driver.h"
#include "console/core/startup.h"
#include "console/core/utility_functions.h"
#include "engine/qb_obj.h"
#include "platform/basic/raised_error.h"
#include "platform/basic/run_log.h"
#include "platform/basic/version.h"
#include "worker/worker_classes.h"

namespace {

constexpr int kAllCompleted = 0;
constexpr int kSomeFailed = 1;
constexpr int kNoRun = 2;

constexpr double kDefaultServerMinutes = 240;

constexpr const char* kUsage =
    "usage: kelvan-batch [-CONFIG=file] [-LOG=file] [-SERVERTIMEOUT=minutes]\n"
    "Loads every server of a setup file into its destination without a window, then ends.\n"
    "  -CONFIG=file  the setup file (default KELVAN.ini in the program's folder)\n"
    "  -LOG=file     the HTML run log (default vltlog_yymmddhhmmss.htm in the program's folder)\n"
    "  -SERVERTIMEOUT=minutes\n"
    "                the longest one server may load (default 240, decimals allowed, 0 for no\n"
    "                limit); past it the server's database calls are cancelled, the server is\n"
    "                reported as failed and the run goes on with the next server\n"
    "Before the first server the destination is checked: every table the run writes must be\n"
    "there. SIGINT or SIGTERM cancels the server being loaded; the run log still gets its\n"
    "closing block. A server that does not end within 15 s of its cancel is left behind and\n"
    "the run ends at once.\n"
    "exit status:\n"
    "  0  every server, table and stage loaded\n"
    "  1  something was given up (a server, a table or a stage; stderr names it)\n"
    "  2  nothing ran (no setup file, a destination that cannot take the run, no server\n"
    "     reachable, another run of the setup file, a bad option, or interrupted before any\n"
    "     server)\n"
    "environment: ODBCSYSINI and ODBCINI select the ODBC configuration (odbcinst.ini, odbc.ini).\n"
    "The path of the run log is printed on stderr when the run wrote one.\n";

// Usage for --help, -h or no argument at all: a bare start would otherwise run the default setup
// file, which a user typing the name to find out what it does does not expect.
bool AnswerHelp(int argc, char** argv) {
  const bool asks =
      argc == 1 ||
      (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0));
  if (asks) std::fputs(kUsage, stdout);
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
  if (outcome.processed == 0) return kNoRun;
  const bool all = outcome.kind == Kind::kRan && outcome.completed == outcome.servers &&
                   outcome.given_up.empty();
  return all ? kAllCompleted : kSomeFailed;
}

void ReportGivenUp(const kelvan::console::RunOutcome& outcome) {
  for (const std::string& line : outcome.given_up) {
    std::string one_line = line;
    std::replace_if(
        one_line.begin(), one_line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    std::fprintf(stderr, "Given up: %s\n", one_line.c_str());
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

// The console's own arguments, with -SERVERTIMEOUT taken out: the console does not know it.
struct BatchArguments {
  std::vector<std::string> console = {"kelvan-batch"};
  double server_minutes = kDefaultServerMinutes;
  bool valid = true;
};

std::optional<double> Minutes(const std::string& text) {
  char* end = nullptr;
  const double minutes = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !std::isfinite(minutes) || minutes < 0) return std::nullopt;
  return minutes;
}

BatchArguments ParseArguments(int argc, char** argv) {
  constexpr std::string_view kServerTimeout = "-SERVERTIMEOUT=";
  BatchArguments parsed;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument.size() < kServerTimeout.size() ||
        strncasecmp(argument.c_str(), kServerTimeout.data(), kServerTimeout.size()) != 0) {
      parsed.console.push_back(argument);
      continue;
    }
    const std::optional<double> minutes = Minutes(argument.substr(kServerTimeout.size()));
    parsed.valid = parsed.valid && minutes.has_value();
    parsed.server_minutes = minutes.value_or(0);
  }
  return parsed;
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
  limits.abandon = [run_log_name](const kelvan::console::RunOutcome& outcome) {
    ReportGivenUp(outcome);
    ReportRunLog(run_log_name);
    std::fflush(nullptr);
    ::_exit(kSomeFailed);
  };
  return limits;
}

// One message instead of every server failing on the same missing table.
bool DestinationCanTakeTheRun(const kelvan::console::ConsoleState& state) {
  if (state.settings.servers.empty()) return true;  // the run says so itself
  const std::string problem = kelvan::console::CheckDestination(state.settings);
  if (problem.empty()) return true;
  std::fprintf(stderr, "%s\n", problem.c_str());
  try {
    kelvan::AppendToRunLog(state.run_log_name, "<PRE>\r\n" + problem + "\r\n</PRE>\r\n");
  } catch (const kelvan::RaisedError&) {
    // Said on stderr already.
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (kelvan::AnswerVersion(argc, argv, "kelvan-batch") || AnswerHelp(argc, argv)) return 0;
  using namespace kelvan::console;
  const BatchArguments arguments = ParseArguments(argc, argv);
  if (!arguments.valid) {
    std::fputs("kelvan-batch: -SERVERTIMEOUT takes minutes: a number, 0 for no limit.\n", stderr);
    std::fputs(kUsage, stderr);
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
    return kNoRun;
  }

  ElvanWorkerFactory workers;
  RunDriver driver(state, view, workers);
  driver.SetLimits(LimitsFor(arguments, state.run_log_name));
  view.OnInterrupt([&driver] { driver.Interrupt(); });
  const RunOutcome outcome = driver.Go();
  ReportGivenUp(outcome);
  ReportRunLog(state.run_log_name);
  return ExitStatus(outcome);
}
