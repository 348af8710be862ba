// kelvan-batch: the console's start-up and run without a window, for cron and servers without a
// display. Same command line (-CONFIG=file, -LOG=file), no countdown. Exit status: 0 every server
// completed, 1 some server failed or was skipped, 2 no run.
#include <unistd.h>

#include <cstdio>

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
  if (outcome.kind == Kind::kEmptyServerList || outcome.kind == Kind::kNoUsableServer) {
    return kNoRun;
  }
  if (outcome.kind == Kind::kRunLogFailed && outcome.processed == 0) return kNoRun;
  const bool all = outcome.kind == Kind::kRan && outcome.completed == outcome.servers;
  return all ? kAllCompleted : kSomeFailed;
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
  if (startup != StartupOutcome::kAutoStart) return kNoRun;

  ElvanWorkerFactory workers;
  RunDriver driver(state, view, workers);
  view.OnInterrupt([&driver] { driver.Cancel(); });
  const RunOutcome outcome = driver.Go();
  std::fprintf(stderr, "Run log: %s\n", state.run_log_name.c_str());
  return ExitStatus(outcome);
}
