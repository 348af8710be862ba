// The engine's trace: messages up to a chosen level appended to a file, each written message one
// open-append-close (serialised across the process with the worker's appends), a level-1
// message followed by the message before it. One per engine object; used by its thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace kelvan::engine {

class TraceLog {
 public:
  // Neither creates nor truncates the file.
  void Configure(std::int16_t level, std::string file_name);

  // Writes `message` when `level` is at most the configured level. Every message, written or
  // not, becomes the previous message. Raises RaisedError 75 when the file cannot be written.
  void Write(const std::string& message, std::int16_t level);
  // As Write, but a file that cannot be written is ignored: for failure lines, which must not
  // hide the failure they report.
  void WriteQuietly(const std::string& message, std::int16_t level) noexcept;
  // As Write, for a message costly to make: `make` runs only when the message is written or a
  // level-1 message repeats it, so it captures what it needs by value.
  void WriteLazily(std::int16_t level, std::function<std::string()> make);

  std::int16_t level() const { return level_; }
  const std::string& previous_message();

 private:
  std::int16_t level_ = 0;  // nothing is written until Configure
  std::string file_name_;
  std::string previous_message_;
  std::function<std::string()> unmade_previous_;  // when set, the previous message
  std::string TakePreviousMessage();
};

}  // namespace kelvan::engine
