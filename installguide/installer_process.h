// Runs a component's installer as a process of its own and waits for it while the calling
// thread's event loop keeps handling window events. Call from the GUI thread.
#pragma once

#include <QString>
#include <optional>

namespace kelvan::installguide {

// Starts `command` (the installer's path, run with no arguments) and returns when it has ended,
// or when the application quits meanwhile, leaving the installer to finish on its own.
// Returns the system's description of the failure when the installer cannot be started.
std::optional<QString> RunInstallerAndWait(const QString& command);

}  // namespace kelvan::installguide
