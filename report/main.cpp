// kelvan-report: the capacity report of a destination database as one HTML page. Options and
// exit statuses in kReportUsage.
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "console/core/settings.h"
#include "console/core/setup_file.h"
#include "platform/basic/version.h"
#include "report/report_options.h"
#include "report/report_run.h"

namespace {

constexpr int kBadArguments = 2;

kelvan::report::SetupValues ReadSetup(const std::string& path) {
  kelvan::console::Settings settings;
  kelvan::console::ReadSetupFromFile(path, settings);
  return {settings.destination.name, settings.destination.user_name, settings.destination.password,
          settings.destination.qualifier, settings.post_processing.forecast_size_of_sample_set};
}

std::optional<std::string> ProcessEnvironment(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kelvan::report;
  const ParsedArguments parsed = ParseReportArguments(
      std::vector<std::string>(argv + 1, argv + argc), ProcessEnvironment, ReadSetup);
  if (const auto* answer = std::get_if<Answer>(&parsed)) {
    if (*answer == Answer::kVersion) std::printf("kelvan-report %s\n", kelvan::kProductVersion);
    if (*answer == Answer::kHelp) std::fputs(kReportUsage, stdout);
    return 0;
  }
  if (const auto* reason = std::get_if<std::string>(&parsed)) {
    std::fprintf(stderr, "kelvan-report: %s\n%s", reason->c_str(), kReportUsage);
    return kBadArguments;
  }
  const ReportOutcome outcome = WriteReport(std::get<ReportOptions>(parsed));
  if (outcome.status != 0) {
    std::fprintf(stderr, "kelvan-report: %s\n", outcome.message.c_str());
    return outcome.status;
  }
  std::fprintf(stderr, "Report: %s\n", std::get<ReportOptions>(parsed).out.c_str());
  return 0;
}
