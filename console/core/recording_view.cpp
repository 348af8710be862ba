#include "console/core/recording_view.h"

namespace kelvan::console {

MessageAnswer RecordingView::ShowMessage(const std::string& text, MessageIcon icon,
                                         MessageButtons buttons) {
  messages_.push_back({text, icon});
  if (!answers_.empty()) {
    const MessageAnswer answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  return buttons == MessageButtons::kYesNo ? MessageAnswer::kNo : MessageAnswer::kOk;
}

void RecordingView::ProcessPendingEvents() {
  const auto event = events_.find(++event_calls_);
  if (event == events_.end()) return;
  auto action = std::move(event->second);
  events_.erase(event);
  action();
}

void RecordingView::WaitProcessingEvents(std::chrono::milliseconds duration) {
  waits_.push_back(duration);
  ProcessPendingEvents();
  if (!clock_) return;
  pending_ms_ += duration.count();
  clock_->AdvanceSeconds(pending_ms_ / 1000);
  pending_ms_ %= 1000;
}

void RecordingView::ShowCountdown(const std::string& caption, const std::string&) {
  countdown_caption_ = caption;
  countdown_open_ = true;
  ticks_ = 0;
}

bool RecordingView::CountdownCancelled() {
  return cancel_after_ticks_ >= 0 && ++ticks_ > cancel_after_ticks_;
}

}  // namespace kelvan::console
