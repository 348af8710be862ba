// RecordingView: a ConsoleView for tests. It records what the console shows, answers message
// boxes with answers set in advance, and moves the fixed clock it was given through every wait,
// so that pauses and countdowns take no real time. Single-threaded, like the console.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "console/core/console_view.h"
#include "platform/basic/clock.h"

namespace kelvan::console {

class RecordingView : public ConsoleView {
 public:
  struct Message {
    std::string text;
    MessageIcon icon;
  };

  // `clock` (may be null) advances by every WaitProcessingEvents duration.
  explicit RecordingView(FixedClock* clock = nullptr) : clock_(clock) {}

  void AnswerNext(MessageAnswer answer) { answers_.push_back(answer); }
  // Runs inside the next ProcessPendingEvents calls (e.g. a click on Cancel); index from 1.
  void OnEvents(int call, std::function<void()> action) { events_[call] = std::move(action); }
  void CancelCountdownAfterTicks(int ticks) { cancel_after_ticks_ = ticks; }

  const std::vector<Message>& messages() const { return messages_; }
  const std::vector<std::string>& status_labels() const { return status_labels_; }
  const std::map<StatusPanel, std::string>& panels() const { return panels_; }
  const std::string& log_text() const { return log_text_; }
  const std::vector<std::chrono::milliseconds>& waits() const { return waits_; }
  const std::vector<std::string>& countdown_texts() const { return countdown_texts_; }
  const std::string& countdown_caption() const { return countdown_caption_; }
  bool countdown_open() const { return countdown_open_; }
  bool progress_visible() const { return progress_visible_; }
  int progress_value() const { return progress_value_; }
  bool running() const { return running_; }

  MessageAnswer ShowMessage(const std::string& text, MessageIcon icon,
                            MessageButtons buttons) override;
  void SetStatusLabel(const std::string& text) override { status_labels_.push_back(text); }
  void SetStatusPanel(StatusPanel panel, const std::string& text) override {
    panels_[panel] = text;
  }
  void ShowProgress(bool visible) override { progress_visible_ = visible; }
  void SetProgressRange(int, int) override {}
  void SetProgressValue(int value) override { progress_value_ = value; }
  void ShowLogText(const std::string& text) override { log_text_ = text; }
  void ScrollLogToEnd() override {}
  void ShowRunning(bool running) override { running_ = running; }
  void ProcessPendingEvents() override;
  void WaitProcessingEvents(std::chrono::milliseconds duration) override;
  void ShowCountdown(const std::string& caption, const std::string& text) override;
  void SetCountdownText(const std::string& text) override { countdown_texts_.push_back(text); }
  bool CountdownCancelled() override;
  void CloseCountdown() override { countdown_open_ = false; }

 private:
  FixedClock* clock_;
  std::deque<MessageAnswer> answers_;
  std::map<int, std::function<void()>> events_;
  int event_calls_ = 0;
  long pending_ms_ = 0;
  int cancel_after_ticks_ = -1;
  int ticks_ = 0;
  std::vector<Message> messages_;
  std::vector<std::string> status_labels_;
  std::map<StatusPanel, std::string> panels_;
  std::string log_text_;
  std::vector<std::chrono::milliseconds> waits_;
  std::vector<std::string> countdown_texts_;
  std::string countdown_caption_;
  bool countdown_open_ = false;
  bool progress_visible_ = true;
  int progress_value_ = 0;
  bool running_ = false;
};

}  // namespace kelvan::console
