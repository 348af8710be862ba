// kelvan-batch: the console's start-up and run without a window, for cron and servers without a
// display. Same command line (-CONFIG=file, -LOG=file), no countdown; exit statuses in kUsage.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "console/batch/terminal_view.h"
#include "console/core/elvan_workers.h"
#include "console/core/run_driver.h"
#include "console/core/startup.h"
#include "console/core/utility_functions.h"
#include "engine/qb_obj.h"
#include "platform/basic/version.h"
#include "worker/worker_classes.h"

namespace {

constexpr int kAllCompleted = 0;
constexpr int kSomeFailed = 1;
constexpr int kNoRun = 2;

constexpr const char* kUsage =
    "usage: kelvan-batch [-CONFIG=file] [-LOG=file]\n"
    "Loads every server of a setup file into its destination without a window, then ends.\n"
    "  -CONFIG=file  the setup file (default KELVAN.ini in the program's folder)\n"
    "  -LOG=file     the HTML run log (default vltlog_yymmddhhmmss.htm in the program's folder)\n"
    "exit status:\n"
    "  0  every server, table and stage loaded\n"
    "  1  something was given up (a server, a table or a stage; stderr names it)\n"
    "  2  nothing ran (no setup file, no server reachable, another run of the setup file,\n"
    "     or interrupted before any server)\n"
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

}  // namespace

int main(int argc, char** argv) {
  if (kelvan::AnswerVersion(argc, argv, "kelvan-batch") || AnswerHelp(argc, argv)) return 0;
  using namespace kelvan::console;
  kelvan::engine::RegisterQobraClasses();
  kelvan::worker::RegisterWorkerClasses();
  TerminalView view(stderr, ::isatty(STDERR_FILENO) == 1);
  TerminalView::CatchInterrupts();

  ConsoleState state;
  const StartupOutcome startup = StartUp(state, view, JoinArguments(argc, argv), ProgramFolders());
  WarnWhenSetupFileIsExposed(state.setup_file_name);
  if (startup != StartupOutcome::kAutoStart) {
    ReportRunLog(state.run_log_name);
    return kNoRun;
  }

  ElvanWorkerFactory workers;
  RunDriver driver(state, view, workers);
  view.OnInterrupt([&driver] { driver.Cancel(); });
  const RunOutcome outcome = driver.Go();
  ReportGivenUp(outcome);
  ReportRunLog(state.run_log_name);
  return ExitStatus(outcome);
}
