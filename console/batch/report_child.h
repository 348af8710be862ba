// kelvan-batch -REPORT=file.html: the capacity report written at the end of a run by
// kelvan-report, started as a child process from the folder of kelvan-batch's own executable,
// so that kelvan-batch links no charting code. The destination's password reaches the child
// through its environment (KELVAN_DEST_PWD), never its command line, which other users can
// read. Main thread only.
#pragma once

#include <string>
#include <vector>

#include "console/core/settings.h"

namespace kelvan::console {

// The child's arguments for the report at `out` of the settings' destination.
std::vector<std::string> ReportChildArguments(const std::string& out, const Settings& settings);

// Runs `program` with `arguments` (argv[0] included) and the password in its environment, and
// waits for it. Empty when it wrote the report, else what went wrong (without the password).
std::string RunReportChild(const std::string& program, const std::vector<std::string>& arguments,
                           const std::string& password);

// kelvan-report beside the executable in `program_folder`.
std::string ReportProgram(const std::string& program_folder);

}  // namespace kelvan::console
