#include "console/core/startup.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>

#include "console/core/setup_file.h"
#include "console/core/utility_functions.h"
#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"
#include "platform/basic/run_log.h"
#include "platform/basic/text_lines.h"

namespace kelvan::console {
namespace {

std::string UpperCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string TwoDigits(int value) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", value % 100);
  return text;
}

std::string DefaultRunLogName(const std::string& program_folder, const Timestamp& now) {
  return program_folder + "/" + "vltlog_" + TwoDigits(now.year) + TwoDigits(now.month) +
         TwoDigits(now.day) + TwoDigits(now.hour) + TwoDigits(now.minute) + TwoDigits(now.second) +
         ".htm";
}

void ShowStartupError(ConsoleView& view, const RaisedError& error) {
  view.ShowMessage("Error Number = " + std::to_string(error.Number()) + std::string(kCrLf) +
                       "Error Source = " + error.Source() + std::string(kCrLf) +
                       "Error Description = " + error.Description(),
                   MessageIcon::kCritical);
}

}  // namespace

std::string AutoStartText() {
  const std::string gap = std::string(kCrLf) + std::string(kCrLf);
  return std::string("Auto Start will begin when timer expires.") + gap +
         "CANCEL stops the countdown and displays setup screen." + gap +
         "To exit, click CANCEL then select Exit." + gap +
         "Command Syntax:  KELVAN.exe -CONFIG=<filename> -LOG=<filename>" + gap +
         "The default configuration file KELVAN.ini is used when none is specified.";
}

CommandLineArguments ParseCommandLine(const std::vector<std::string>& arguments,
                                      std::string& log_text) {
  CommandLineArguments parsed;
  for (size_t i = 1; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const size_t equals = argument.find('=');
    const std::string name = UpperCase(argument.substr(0, equals));
    const std::string value = equals == std::string::npos ? "" : argument.substr(equals + 1);
    if (equals != std::string::npos && name == "-LOG") {
      parsed.log = value;
    } else if (equals != std::string::npos && name == "-CONFIG") {
      parsed.config = value;
    } else {
      AppendLine(log_text, "Incorrect use of command line arguments.");
      break;
    }
  }
  return parsed;
}

Folders ProgramFolders() {
  namespace fs = std::filesystem;
  std::error_code error;
  const fs::path exe = fs::read_symlink("/proc/self/exe", error);
  const fs::path current = fs::current_path(error);
  return Folders{exe.parent_path().string(), current.string()};
}

std::string ChooseRunLogName(const std::optional<std::string>& log_argument, const Folders& folders,
                             const Timestamp& now, std::string& log_text) {
  if (!log_argument) return DefaultRunLogName(folders.program, now);
  const std::string& name = *log_argument;
  const bool has_folder = name.find_first_of("/\\") != std::string::npos;
  if (name.empty() || (has_folder && name.front() != '/')) {
    AppendLine(log_text, "Invalid path name for log file: Using default log file.");
    return DefaultRunLogName(folders.program, now);
  }
  if (!has_folder) return folders.current + "/" + name;
  return name;
}

void CreateRunLog(const std::string& path, const Timestamp& now) {
  std::string banner;
  AppendLine(banner, "<PRE>");
  AppendLine(banner, "L O G F I L E  F O R  <b> K E L V A N  </b> (" + FormatDate(now) + ")" +
                         "; QRT Build Date: " + kBuildText);
  AppendLine(banner, "------------------------------- ");
  AppendLine(banner, "</PRE>");
  CreateRunLogFile(path, banner, kProgramTitle);
}

bool LoadSetupFile(ConsoleState& state, ConsoleView& view) {
  try {
    const SetupReadReport report = ReadSetupFromFile(state.setup_file_name, state.settings);
    AppendLog(state, view, report.log_text);
    if (report.server_count_warning) {
      view.ShowMessage(std::string(kServerCountWarning), MessageIcon::kCritical);
    }
    return true;
  } catch (const RaisedError& error) {
    if (error.Number() == kErrFileNotFound) {
      AppendLog(state, view,
                "Could not locate the configuration file (" + state.setup_file_name + ")" +
                    std::string(kCrLf));
    } else {
      AppendLog(state, view,
                "Read Setup From File: Error Number = " + std::to_string(error.Number()) +
                    std::string(kCrLf) + "Read Setup From File: Error Source = " + error.Source() +
                    std::string(kCrLf) + "Read Setup From File: Error Description = " +
                    error.Description() + std::string(kCrLf));
    }
    return false;
  }
}

StartupOutcome StartUp(ConsoleState& state, ConsoleView& view, std::string_view command_line,
                       const Folders& folders) {
  Settings settings = std::move(state.settings);
  state = ConsoleState{};
  state.settings = std::move(settings);
  try {
    const CommandLineArguments arguments =
        ParseCommandLine(clsUtilityFunctions::getCommandLine(command_line), state.log_text);
    const Timestamp now = CurrentClock().Now();
    state.run_log_name = ChooseRunLogName(arguments.log, folders, now, state.log_text);
    view.ShowLogText(state.log_text);
    CreateRunLog(state.run_log_name, now);
    state.setup_file_name = arguments.config.value_or(folders.program + "/KELVAN.ini");
    state.setup_file_error = !LoadSetupFile(state, view);
    RebuildForecastSetupCode(state.settings);
    view.ShowProgress(false);
  } catch (const RaisedError& error) {
    ShowStartupError(view, error);
    return StartupOutcome::kFailed;
  }
  return state.setup_file_error ? StartupOutcome::kInteractive : StartupOutcome::kAutoStart;
}

bool RunAutoStartCountdown(ConsoleState& state, ConsoleView& view, std::chrono::milliseconds tick) {
  view.ShowCountdown(std::string(kProgramTitle) + " " + kVersion, AutoStartText());
  const double start = CurrentClock().SteadySeconds();
  bool cancelled = false;
  for (;;) {
    view.WaitProcessingEvents(tick);
    const double elapsed = SteadySecondsSince(start);
    const long remaining = std::max(0L, std::lround(kCountdownSeconds - elapsed));
    view.SetCountdownText("Auto Start in " + std::to_string(remaining) + " Seconds");
    cancelled = view.CountdownCancelled();
    if (cancelled || state.cancel || elapsed >= kCountdownSeconds) break;
  }
  view.CloseCountdown();
  return !cancelled && !state.cancel;
}

}  // namespace kelvan::console
