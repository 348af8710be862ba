// TerminalView: the console's view for kelvan-batch. Message-box texts and the log text go to
// stderr as they come; on a terminal a progress line shows the server being loaded, its stage,
// table, rows and rate, and the elapsed time; otherwise one line tells each table or stage as
// it starts. Ctrl-C or SIGTERM asks for the run to stop (see OnInterrupt).
// Threading: the program's main thread; the signal handler only sets a flag.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "console/core/console_view.h"
#include "console/core/run_driver.h"

namespace kelvan::console {

class TerminalView : public ConsoleView {
 public:
  // `out` is where everything goes (stderr); `progress` shows the progress line.
  TerminalView(std::FILE* out, bool progress);

  // Called (from event processing) once after an interrupt was asked for.
  void OnInterrupt(std::function<void()> handler) { on_interrupt_ = std::move(handler); }
  // Where the progress comes from while a server loads (the run driver's Progress).
  void FollowProgress(std::function<ServerProgress()> source) {
    progress_source_ = std::move(source);
  }
  // Installs the SIGINT and SIGTERM handlers that ask for the interrupt.
  static void CatchInterrupts();

  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                            MessageButtons buttons) override;
  void SetStatusLabel(const std::string& text) override;
  void SetStatusPanel(StatusPanel panel, const std::string& text) override;
  void ShowProgress(bool) override {}
  void SetProgressRange(int, int) override {}
  void SetProgressValue(int) override {}
  void ShowLogText(const std::string& text) override;
  void ScrollLogToEnd() override {}
  void ShowRunning(bool running) override;
  void ProcessPendingEvents() override;
  void WaitProcessingEvents(std::chrono::milliseconds duration) override;
  void ShowCountdown(const std::string&, const std::string&) override {}
  void SetCountdownText(const std::string&) override {}
  bool CountdownCancelled() override { return false; }
  void CloseCountdown() override {}

 private:
  void Print(const std::string& text);
  void DrawProgress();
  std::string StepText() const;
  void PrintNewSteps();
  void ClearProgress();

  std::FILE* out_;
  const bool progress_;
  std::function<void()> on_interrupt_;
  std::function<ServerProgress()> progress_source_;
  int steps_of_ = 0;          // the server position whose steps are being printed
  size_t steps_printed_ = 0;  // of that server
  bool interrupted_ = false;
  size_t log_shown_ = 0;  // characters of the log text already printed
  std::string position_;  // "n/N" of the server being loaded
  std::string server_;    // its name
  bool running_ = false;
  double started_ = 0;  // the clock's steady seconds when the run began
  bool progress_drawn_ = false;
  long last_drawn_second_ = -1;
};

}  // namespace kelvan::console
