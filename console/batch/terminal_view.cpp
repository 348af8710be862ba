#include "console/batch/terminal_view.h"

#include <cmath>
#include <csignal>
#include <thread>

#include "console/core/console_state.h"
#include "console/core/run_driver.h"
#include "platform/basic/clock.h"

namespace kelvan::console {
namespace {

volatile std::sig_atomic_t interrupt_requested = 0;

extern "C" void RequestInterrupt(int) { interrupt_requested = 1; }

constexpr std::string_view kCollecting = "Collecting Storage Data \r\n";

// stderr is read as plain text: CR LF becomes LF.
std::string PlainLines(std::string_view text) {
  std::string plain;
  plain.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    plain += text[i];
  }
  return plain;
}

}  // namespace

TerminalView::TerminalView(std::FILE* out, bool progress) : out_(out), progress_(progress) {}

void TerminalView::CatchInterrupts() {
  std::signal(SIGINT, RequestInterrupt);
  std::signal(SIGTERM, RequestInterrupt);
}

MessageAnswer TerminalView::ShowMessage(const std::string& text, MessageIcon,
                                        MessageButtons buttons) {
  Print(text + "\r\n");
  return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
}

void TerminalView::SetStatusLabel(const std::string& text) {
  server_ = text.starts_with(kCollecting) ? text.substr(kCollecting.size()) : std::string();
  DrawProgress();
}

void TerminalView::SetStatusPanel(StatusPanel panel, const std::string& text) {
  if (panel == StatusPanel::kPosition) position_ = text;
}

void TerminalView::ShowLogText(const std::string& text) {
  if (text.size() < log_shown_) log_shown_ = 0;  // the run cleared it
  if (text.size() == log_shown_) return;
  Print(text.substr(log_shown_));
  log_shown_ = text.size();
}

void TerminalView::ShowRunning(bool running) {
  running_ = running;
  if (running) started_ = CurrentClock().SteadySeconds();
  if (!running) ClearProgress();
}

void TerminalView::ProcessPendingEvents() {
  if (interrupt_requested && !interrupted_) {
    interrupted_ = true;
    Print("Interrupted: the server being loaded is cancelled and the run ends.\r\n");
    if (on_interrupt_) on_interrupt_();
  }
  DrawProgress();
}

void TerminalView::WaitProcessingEvents(std::chrono::milliseconds duration) {
  const auto until = std::chrono::steady_clock::now() + duration;
  while (std::chrono::steady_clock::now() < until && !interrupted_) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ProcessPendingEvents();
  }
}

void TerminalView::Print(const std::string& text) {
  ClearProgress();
  std::fputs(PlainLines(text).c_str(), out_);
  std::fflush(out_);
  DrawProgress();
}

void TerminalView::DrawProgress() {
  if (!progress_) return PrintNewSteps();
  if (!running_ || server_.empty()) return;
  const long elapsed = static_cast<long>(SteadySecondsSince(started_));
  if (progress_drawn_ && elapsed == last_drawn_second_) return;
  std::string slash_free = position_;
  if (const size_t slash = slash_free.find('/'); slash != std::string::npos) {
    slash_free = slash_free.substr(0, slash) + " of " + slash_free.substr(slash + 1);
  }
  std::fprintf(out_, "\r\033[Kserver %s: %s%s  %s", slash_free.c_str(), server_.c_str(),
               StepText().c_str(), FormatElapsed(static_cast<double>(elapsed)).c_str());
  std::fflush(out_);
  progress_drawn_ = true;
  last_drawn_second_ = elapsed;
}

// "  CopyTables SUMMARY  1200 rows  40 rows/s": the step being loaded and the server's rows
// added so far; empty before its first step.
std::string TerminalView::StepText() const {
  if (!progress_source_) return {};
  const ServerProgress progress = progress_source_();
  if (progress.steps.empty()) return {};
  std::int64_t rows = 0;
  for (const worker::StepRecord& step : progress.steps) rows += step.counts.rows_added;
  const worker::StepRecord& step = progress.steps.back();
  const bool table = step.kind == worker::StepRecord::Kind::kTable;
  const long rate =
      progress.seconds > 0 ? std::lround(static_cast<double>(rows) / progress.seconds) : 0;
  return "  " + std::string(table ? "CopyTables " : "") + step.name + "  " + std::to_string(rows) +
         " rows  " + std::to_string(rate) + " rows/s";
}

// Not on a terminal: one plain line per table or stage as it starts.
void TerminalView::PrintNewSteps() {
  if (!progress_source_) return;
  const ServerProgress progress = progress_source_();
  if (progress.position == 0) return;
  if (progress.position != steps_of_) {
    steps_of_ = progress.position;
    steps_printed_ = 0;
  }
  for (; steps_printed_ < progress.steps.size(); ++steps_printed_) {
    const worker::StepRecord& step = progress.steps[steps_printed_];
    const bool table = step.kind == worker::StepRecord::Kind::kTable;
    std::fprintf(out_, "Progress: server %d of %d: %s: %s%s\n", progress.position, progress.total,
                 progress.server.c_str(), table ? "CopyTables table " : "stage ",
                 step.name.c_str());
  }
  std::fflush(out_);
}

void TerminalView::ClearProgress() {
  if (!progress_drawn_) return;
  std::fputs("\r\033[K", out_);
  progress_drawn_ = false;
}

}  // namespace kelvan::console
