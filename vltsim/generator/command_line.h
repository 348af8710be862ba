// The `vltsim` command line: create, advance and register. Thread-safe as long as two calls do
// not work on the same files.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kelvan::vltsim {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Runs one command (`args` without the program name). Returns the exit code: 2 with a message
// on `err` for bad arguments, 1 with a message on `err` when the work failed.
int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kelvan::vltsim
