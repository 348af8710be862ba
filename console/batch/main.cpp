// kelvan-batch: the console's start-up and run without a window, for cron and servers without a
// display. Same command line (-CONFIG=file, -LOG=file), no countdown. Exit status: 0 every server
// completed, 1 some server failed or was skipped, 2 no run (another run of the setup file among
// the reasons).
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "console/batch/terminal_view.h"
#include "console/core/elvan_workers.h"
#include "console/core/run_driver.h"
#include "console/core/startup.h"
#include "console/core/utility_functions.h"
#include "engine/qb_obj.h"
#include "worker/worker_classes.h"

namespace {

constexpr int kAllCompleted = 0;
constexpr int kSomeFailed = 1;
constexpr int kNoRun = 2;

int ExitStatus(const kelvan::console::RunOutcome& outcome) {
  using Kind = kelvan::console::RunOutcome::Kind;
  if (outcome.kind == Kind::kEmptyServerList || outcome.kind == Kind::kNoUsableServer ||
      outcome.kind == Kind::kNotStarted) {
    return kNoRun;
  }
  if (outcome.kind == Kind::kRunLogFailed && outcome.processed == 0) return kNoRun;
  const bool all = outcome.kind == Kind::kRan && outcome.completed == outcome.servers;
  return all ? kAllCompleted : kSomeFailed;
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
  using namespace kelvan::console;
  kelvan::engine::RegisterQobraClasses();
  kelvan::worker::RegisterWorkerClasses();
  TerminalView view(stderr, ::isatty(STDERR_FILENO) == 1);
  TerminalView::CatchInterrupts();

  ConsoleState state;
  const StartupOutcome startup = StartUp(state, view, JoinArguments(argc, argv), ProgramFolders());
  WarnWhenSetupFileIsExposed(state.setup_file_name);
  if (startup != StartupOutcome::kAutoStart) return kNoRun;

  ElvanWorkerFactory workers;
  RunDriver driver(state, view, workers);
  view.OnInterrupt([&driver] { driver.Cancel(); });
  const RunOutcome outcome = driver.Go();
  std::fprintf(stderr, "Run log: %s\n", state.run_log_name.c_str());
  return ExitStatus(outcome);
}
