// Start-up of the console: the command line ("-LOG"=file, "-CONFIG"=file), the run log's name and
// banner, the setup file, and the auto-start countdown. Used by the console's one thread.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/core/console_state.h"
#include "console/core/console_view.h"
#include "platform/basic/timestamp.h"

namespace kelvan::console {

inline constexpr int kCountdownSeconds = 30;

struct CommandLineArguments {
  std::optional<std::string> log;
  std::optional<std::string> config;
};

// Reads the arguments of getCommandLine (element 0 empty). An argument that is not -LOG or
// -CONFIG (names in any case) adds "Incorrect use of command line arguments." to `log_text` and
// ends the reading.
CommandLineArguments ParseCommandLine(const std::vector<std::string>& arguments,
                                      std::string& log_text);

// Where the program and the user are.
struct Folders {
  std::string program;  // the executable's folder
  std::string current;  // the current folder
};
// The executable's folder (from /proc/self/exe) and the current folder.
Folders ProgramFolders();

// The run log's name: the default in the program's folder when no -LOG is given or its folder
// part is relative (then `log_text` says so), the current folder for a bare name, an absolute
// path as given.
std::string ChooseRunLogName(const std::optional<std::string>& log_argument, const Folders& folders,
                             const Timestamp& now, std::string& log_text);

// Creates the run log anew with its banner. Raises RaisedError when it cannot be written.
void CreateRunLog(const std::string& path, const Timestamp& now);

enum class StartupOutcome {
  kAutoStart,    // the setup file was read: count down, then run
  kInteractive,  // no setup file: wait for the user
  kFailed,       // start-up stopped after its message box
};

// Loading the main window: command line, run log, setup file. `command_line` holds the
// arguments as one text.
StartupOutcome StartUp(ConsoleState& state, ConsoleView& view, std::string_view command_line,
                       const Folders& folders);

// Reads the current setup file into the settings (the Load command and start-up). Reports go to
// the log text and a message box; false when the file could not be read.
bool LoadSetupFile(ConsoleState& state, ConsoleView& view);

// The auto-start dialog's five sentences, separated by empty lines.
std::string AutoStartText();

// The auto-start dialog: counts down kCountdownSeconds; true when it ran out without CANCEL.
bool RunAutoStartCountdown(ConsoleState& state, ConsoleView& view,
                           std::chrono::milliseconds tick = std::chrono::milliseconds(250));

}  // namespace kelvan::console
