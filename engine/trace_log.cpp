#include "engine/trace_log.h"

#include "platform/basic/raised_error.h"
#include "platform/basic/run_log.h"
#include "platform/basic/text_lines.h"

namespace kelvan::engine {

void TraceLog::Configure(std::int16_t level, std::string file_name) {
  level_ = level;
  file_name_ = std::move(file_name);
}

void TraceLog::Write(const std::string& message, std::int16_t level) {
  std::string previous = level == 1 && level <= level_ ? TakePreviousMessage() : std::string();
  previous_message_ = message;
  unmade_previous_ = nullptr;
  if (level > level_) return;
  std::string text;
  AppendLine(text, message);
  if (level == 1 && !previous.empty()) AppendLine(text, "Previous message = " + previous);
  AppendToRunLog(file_name_, text);
}

void TraceLog::WriteLazily(std::int16_t level, std::function<std::string()> make) {
  if (level <= level_) {
    Write(make(), level);
    return;
  }
  previous_message_.clear();
  unmade_previous_ = std::move(make);
}

const std::string& TraceLog::previous_message() {
  if (unmade_previous_) previous_message_ = TakePreviousMessage();
  return previous_message_;
}

std::string TraceLog::TakePreviousMessage() {
  if (!unmade_previous_) return std::move(previous_message_);
  std::string made = unmade_previous_();
  unmade_previous_ = nullptr;
  return made;
}

void TraceLog::WriteQuietly(const std::string& message, std::int16_t level) noexcept {
  try {
    Write(message, level);
  } catch (const std::exception&) {
    // The trace is a by-product; the caller is already reporting a failure.
  }
}

}  // namespace kelvan::engine
