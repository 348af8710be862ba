// kelvan-batch's look at the destination before its first server: it connects and finds every
// table the run will write, with the columns the load adds or fills, so that a destination that
// cannot take the run stops it with one message instead of failing every server in turn.
// Threading: the program's main thread.
#pragma once

#include <string>
#include <vector>

#include "console/core/settings.h"

namespace kelvan::console {

struct WrittenTable {
  std::string name;  // without the qualifier
  std::vector<std::string> columns;
};

// What a run with these settings writes, in the order it writes it.
std::vector<WrittenTable> TablesWritten(const Settings& settings);

// Empty when the destination can take the run; else what is wrong and where it is put right.
// The password never appears in it.
std::string CheckDestination(const Settings& settings);

// Whether the destination holds the claims table (server_claims.h). Without it runs keep to the
// setup file's lock; with it, `problem` says what it lacks, if anything.
struct ClaimsTableCheck {
  bool present = false;
  std::string problem;
};
ClaimsTableCheck CheckClaimsTable(const Settings& settings);

}  // namespace kelvan::console
