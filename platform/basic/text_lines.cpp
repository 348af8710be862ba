#include "platform/basic/text_lines.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

#include "platform/basic/raised_error.h"

namespace kelvan {
namespace {

std::mutex& FileAppendLock() {
  static std::mutex lock;
  return lock;
}

void RaiseFileError(const std::string& path) {
  throw RaisedError(75, "", "Path/File access error: " + path);
}

// Writes all of `text` to `fd`; false when a write fails.
bool WriteAll(int fd, std::string_view text) {
  size_t written = 0;
  while (written < text.size()) {
    ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    written += static_cast<size_t>(n);
  }
  return true;
}

// Writes `text` and closes `fd` (also when the write fails); false when either fails.
bool WriteAllAndClose(int fd, std::string_view text, bool flush = false) {
  bool written = WriteAll(fd, text) && (!flush || ::fsync(fd) == 0);
  return ::close(fd) == 0 && written;
}

}  // namespace

void AppendLine(std::string& text, std::string_view line) {
  text.append(line);
  text.append(kCrLf);
}

void AppendToFile(const std::string& path, std::string_view text) {
  std::lock_guard<std::mutex> guard(FileAppendLock());
  int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) RaiseFileError(path);
  // O_APPEND puts each write at the end, so another process appending too cannot cut into it.
  if (!WriteAllAndClose(fd, text)) RaiseFileError(path);
}

void ReplaceFile(const std::string& path, std::string_view text) {
  const std::string temporary = path + ".tmp." + std::to_string(::getpid());
  int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) RaiseFileError(temporary);
  // Flushed before the rename: after a crash the name holds the old file or the new, whole.
  if (!WriteAllAndClose(fd, text, true) || ::rename(temporary.c_str(), path.c_str()) != 0) {
    ::unlink(temporary.c_str());
    RaiseFileError(path);
  }
}

}  // namespace kelvan
