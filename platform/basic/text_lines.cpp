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
  size_t written = 0;
  while (written < text.size()) {
    ssize_t n = ::write(fd, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ::close(fd);
      RaiseFileError(path);
    }
    written += static_cast<size_t>(n);
  }
  if (::close(fd) != 0) RaiseFileError(path);
}

}  // namespace kelvan
