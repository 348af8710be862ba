#include "console/batch/report_child.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

extern char** environ;

namespace kelvan::console {
namespace {

constexpr const char* kPasswordVariable = "KELVAN_DEST_PWD=";

// This process's environment with the password set and any inherited value replaced.
std::vector<std::string> ChildEnvironment(const std::string& password) {
  std::vector<std::string> variables;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    if (std::strncmp(*entry, kPasswordVariable, std::strlen(kPasswordVariable)) != 0) {
      variables.emplace_back(*entry);
    }
  }
  variables.push_back(kPasswordVariable + password);
  return variables;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::vector<std::string> ReportChildArguments(const std::string& out, const Settings& settings) {
  std::vector<std::string> arguments = {"kelvan-report",
                                        "--out",
                                        out,
                                        "--dest-dsn",
                                        settings.destination.name,
                                        "--dest-uid",
                                        settings.destination.user_name};
  if (!settings.destination.qualifier.empty()) {
    arguments.push_back("--qualifier");
    arguments.push_back(settings.destination.qualifier);
  }
  if (settings.post_processing.forecast_size_of_sample_set > 0) {
    arguments.push_back("--sample-days");
    arguments.push_back(std::to_string(settings.post_processing.forecast_size_of_sample_set));
  }
  return arguments;
}

std::string ReportProgram(const std::string& program_folder) {
  return (std::filesystem::path(program_folder) / "kelvan-report").string();
}

std::string RunReportChild(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& password) {
  std::vector<std::string> argument_texts = arguments;
  std::vector<std::string> environment = ChildEnvironment(password);
  std::vector<char*> argv = Pointers(argument_texts);
  std::vector<char*> envp = Pointers(environment);
  pid_t child = 0;
  const int spawned =
      ::posix_spawn(&child, program.c_str(), nullptr, nullptr, argv.data(), envp.data());
  if (spawned != 0) return "cannot start " + program + ": " + std::strerror(spawned);
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return "lost " + program + ": " + std::strerror(errno);
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  if (WIFEXITED(status)) {
    return program + " ended with status " + std::to_string(WEXITSTATUS(status));
  }
  return program + " was ended by signal " + std::to_string(WTERMSIG(status));
}

}  // namespace kelvan::console
