// The `qobra` command: runs one engine operation by hand, one subcommand per operation.
// RunQobra is reentrant; each call creates its own engine object on the calling thread.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace kelvan::engine {

inline constexpr int kQobraExitFailed = 1;  // the operation raised an error
inline constexpr int kQobraExitUsage = 64;  // bad command line

// `args` without the program name. The exit status is the operation's result when it is one
// the command knows (0, or 2 for a table the server lacks), kQobraExitFailed after a raised
// error (reported on `err`), kQobraExitUsage for a bad command line.
int RunQobra(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

}  // namespace kelvan::engine
