// kelvan: the windowed console. Same command line as kelvan-batch (-CONFIG=file, -LOG=file); with
// a setup file it counts down and runs by itself, then ends; otherwise, and when start-up fails,
// the window stays for interactive use.
#include <QApplication>

#include "console/MainWindow/main_window.h"
#include "console/core/utility_functions.h"
#include "console/workers/elvan_workers.h"
#include "engine/qb_obj.h"
#include "platform/basic/version.h"
#include "worker/worker_classes.h"

int main(int argc, char** argv) {
  if (kelvan::AnswerVersion(argc, argv, "kelvan")) return 0;
  using namespace kelvan::console;
  kelvan::engine::RegisterQobraClasses();
  kelvan::worker::RegisterWorkerClasses();
  QApplication application(argc, argv);  // takes the toolkit's own arguments out of argv

  ElvanWorkerFactory workers;
  MainWindowServices services;
  services.workers = &workers;
  MainWindow window(std::move(services));
  if (window.Launch(JoinArguments(argc, argv))) return 0;
  return QApplication::exec();
}
