// kelvan-batch's options for loading many servers at once and for several loaders sharing one
// setup file: -PARALLEL, and -RUNWINDOW, -FORCE and -LEASE for the claims (server_claims.h),
// which apply when the destination holds the claims table.
// Threading: the program's main thread.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "console/core/console_state.h"
#include "console/core/run_driver.h"
#include "console/core/server_claims.h"

namespace kelvan::console {

inline constexpr int kMostParallel = 64;

// The value after `option` (matched without regard to case), or nothing when `argument` is not
// that option; kelvan-batch's options all read so.
std::optional<std::string> OptionValue(const std::string& argument, std::string_view option);

struct ScaleOutOptions {
  int parallel = 1;
  std::optional<std::string> window;
  std::chrono::seconds lease = kDefaultLease;
  bool force = false;
};

// Takes one of these options out of the command line; false when `argument` is none of them.
// `invalid` gets why a value cannot be used.
bool TakeScaleOutOption(const std::string& argument, ScaleOutOptions& options,
                        std::string& invalid);

// The usage lines of these options.
extern const char* const kScaleOutUsage;

// Sets the driver up for the options. When the destination holds the claims table they go
// into `claims`, which the driver borrows. False, with `problem` set, when the run cannot start.
bool SetUpScaleOut(const ConsoleState& state, const ScaleOutOptions& options, RunDriver& driver,
                   std::unique_ptr<ServerClaims>& claims, std::string& problem);

}  // namespace kelvan::console
