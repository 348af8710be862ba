#include "installguide/installer_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTimer>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace kelvan::installguide {
namespace {

constexpr int kPollMilliseconds = 50;

// Owns the spawn attributes so every exit path releases them.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    // Detached like an installer started from a desktop: its own session, no input from
    // the guide and none of the guide's descriptors beyond its output streams.
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  }
  ~SpawnSetup() {
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
  }
};

bool HasEnded(pid_t pid) {
  int status = 0;
  const pid_t result = waitpid(pid, &status, WNOHANG);
  return result == pid || (result < 0 && errno != EINTR);
}

void WaitWhileHandlingEvents(pid_t pid) {
  QEventLoop loop;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (HasEnded(pid)) loop.quit();
  });
  poll.start(kPollMilliseconds);
  if (!HasEnded(pid)) loop.exec();
}

}  // namespace

std::optional<QString> RunInstallerAndWait(const QString& command) {
  const QByteArray path = command.toLocal8Bit();
  char* argv[] = {const_cast<char*>(path.constData()), nullptr};
  SpawnSetup setup;
  pid_t pid = 0;
  const int error =
      posix_spawn(&pid, path.constData(), &setup.actions, &setup.attributes, argv, environ);
  if (error != 0) return QString::fromLocal8Bit(std::strerror(error));
  WaitWhileHandlingEvents(pid);
  return std::nullopt;
}

}  // namespace kelvan::installguide
