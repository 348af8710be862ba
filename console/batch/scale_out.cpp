#include "console/batch/scale_out.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>

#include "console/batch/destination_check.h"
#include "platform/basic/raised_error.h"
#include "platform/odbc/connect_string.h"

namespace kelvan::console {
namespace {

std::optional<long> WholeNumber(const std::string& text, long least, long most) {
  char* end = nullptr;
  const long number = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || number < least || number > most) return std::nullopt;
  return number;
}

// A run window names rows of the claims table and goes into its SQL: plain characters only.
bool IsWindowName(const std::string& name) {
  return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == '.' ||
           c == ':';
  });
}

}  // namespace

std::optional<std::string> OptionValue(const std::string& argument, std::string_view option) {
  if (argument.size() < option.size() ||
      strncasecmp(argument.c_str(), option.data(), option.size()) != 0) {
    return std::nullopt;
  }
  return argument.substr(option.size());
}

const char* const kScaleOutUsage =
    "  -PARALLEL=N   loads up to N servers at once (1 to 64, default 1: one after another); each\n"
    "                of the N keeps the 5-second pause between its own servers, and each\n"
    "                server's account goes into the run log whole when it ends\n"
    "  -RUNWINDOW=name\n"
    "                with the claims table: the run window the servers are claimed in (default\n"
    "                the local date, yyyy-mm-dd); letters, digits and - _ . : only\n"
    "  -FORCE        with the claims table: servers already done in the run window are loaded\n"
    "                again (a rerun after a fix)\n"
    "  -LEASE=seconds\n"
    "                with the claims table: how long a claim lasts unless renewed (default 300,\n"
    "                at least 5); it is renewed every tenth of that\n";

bool TakeScaleOutOption(const std::string& argument, ScaleOutOptions& options,
                        std::string& invalid) {
  if (const auto parallel = OptionValue(argument, "-PARALLEL=")) {
    const auto lanes = WholeNumber(*parallel, 1, kMostParallel);
    if (!lanes) invalid = "-PARALLEL takes how many servers load at once: 1 to 64.";
    options.parallel = static_cast<int>(lanes.value_or(1));
  } else if (const auto window = OptionValue(argument, "-RUNWINDOW=")) {
    if (!IsWindowName(*window)) {
      invalid = "-RUNWINDOW takes a name of letters, digits and - _ . : (at most 64).";
    }
    options.window = *window;
  } else if (const auto lease = OptionValue(argument, "-LEASE=")) {
    const auto seconds = WholeNumber(*lease, kShortestLease.count(), 86400);
    if (!seconds) invalid = "-LEASE takes seconds: a whole number from 5 to 86400.";
    options.lease = std::chrono::seconds(seconds.value_or(kDefaultLease.count()));
  } else if (strcasecmp(argument.c_str(), "-FORCE") == 0) {
    options.force = true;
  } else {
    return false;
  }
  return true;
}

bool SetUpScaleOut(const ConsoleState& state, const ScaleOutOptions& options, RunDriver& driver,
                   std::unique_ptr<ServerClaims>& claims, std::string& problem) {
  driver.SetParallel(options.parallel);
  if (state.settings.servers.empty()) return true;
  const ClaimsTableCheck check = CheckClaimsTable(state.settings);
  problem = check.problem;
  if (!check.present || !problem.empty()) return problem.empty();
  try {
    claims = OpenDestinationClaims(state.settings, {options.window.value_or(DefaultRunWindow()),
                                                    options.lease, options.force});
  } catch (const RaisedError& error) {
    problem = "The claims of the destination data source " + state.settings.destination.name +
              " cannot be used: " + odbc::HidePasswordEntries(error.Description());
    return false;
  }
  driver.SetClaims(claims.get());
  return true;
}

}  // namespace kelvan::console
