// RunLock: keeps two runs of one setup file from loading its servers at the same time, which
// left duplicate rows and lost others. It is an exclusive lock on "<setup file>.lock" beside
// the setup file, not on the setup file itself, which a save may replace while a run holds it.
// The kernel drops the lock when its holder ends, however it ends; the lock file stays.
// Move-only; the lock goes with the object. Used by one thread at a time.
#pragma once

#include <optional>
#include <string>

namespace kelvan::console {

class RunLock {
 public:
  // Holds nothing: what a run of settings that were never saved needs.
  RunLock() = default;
  RunLock(RunLock&& other) noexcept;
  RunLock& operator=(RunLock&& other) noexcept;
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  ~RunLock();

  // The lock of the runs of `setup_file`, or nothing when another run holds it. Raises
  // RaisedError when the lock file can be neither created nor opened.
  static std::optional<RunLock> TryAcquire(const std::string& setup_file);
  static std::string LockFileName(const std::string& setup_file);

 private:
  explicit RunLock(int fd) : fd_(fd) {}
  void Release() noexcept;

  int fd_ = -1;
};

}  // namespace kelvan::console
