#include "console/core/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

#include "console/core/settings.h"
#include "platform/basic/raised_error.h"

namespace kelvan::console {
namespace {

constexpr std::int32_t kErrFileAccess = 75;

// A lock file an administrator made once in a folder the loader may not write into is opened
// for reading: flock asks no more.
int OpenLockFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EACCES && errno != EROFS)) return fd;
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
}

[[noreturn]] void RaiseLockFileError(const std::string& lock_file, int error) {
  throw RaisedError(kErrFileAccess, kProgramTitle,
                    "Path/File access error: " + lock_file +
                        ", the lock that keeps two runs of one setup file apart, cannot be "
                        "opened: " +
                        std::strerror(error));
}

// 0, or -1 with errno set (EWOULDBLOCK when another open file holds the lock).
int LockWithoutWaiting(int fd) {
  int result;
  do {
    result = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (result != 0 && errno == EINTR);
  return result;
}

}  // namespace

RunLock::RunLock(RunLock&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}

RunLock& RunLock::operator=(RunLock&& other) noexcept {
  if (this != &other) {
    Release();
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

RunLock::~RunLock() { Release(); }

void RunLock::Release() noexcept {
  if (fd_ >= 0) ::close(fd_);  // closing the last descriptor drops the lock
  fd_ = -1;
}

std::string RunLock::LockFileName(const std::string& setup_file) {
  // Through a symbolic link the lock lies beside the file every run reads.
  std::error_code error;
  const std::filesystem::path real = std::filesystem::canonical(setup_file, error);
  return (error ? setup_file : real.string()) + ".lock";
}

std::optional<RunLock> RunLock::TryAcquire(const std::string& setup_file) {
  const std::string lock_file = LockFileName(setup_file);
  RunLock lock(OpenLockFile(lock_file));
  if (lock.fd_ < 0) RaiseLockFileError(lock_file, errno);
  if (LockWithoutWaiting(lock.fd_) == 0) return lock;
  if (errno == EWOULDBLOCK) return std::nullopt;
  RaiseLockFileError(lock_file, errno);
}

}  // namespace kelvan::console
