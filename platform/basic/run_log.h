// The run log: one HTML file of "<PRE>" blocks for each run, readable by its owner only (it names
// servers and users; never a password). The console creates it and writes its banner, options,
// server and closing blocks; the engine's trace lines and the worker's retry texts go to the
// same file. Everything that writes it goes through here.
// Threading: any thread; appends are serialised across the process (see AppendToFile).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kelvan {

// Creates `path`, or empties an earlier run log there, and writes `banner`. A file that is
// neither empty nor a run log (a setup file or a database named by mistake) is left as it is.
// Raises RaisedError 75 "Path/File access error" with `source` when it cannot.
void CreateRunLogFile(const std::string& path, std::string_view banner, const std::string& source);

// `text` at the end of the run log, in one piece; raises RaisedError 75 when it cannot.
void AppendToRunLog(const std::string& path, std::string_view text);

// A server loading beside others writes its account to a part file of the run log (numbered
// from 1) until it ends. StartRunLogPart removes a part left by an earlier run; MovePartIntoRunLog
// appends `header` and the part's text to the run log in one piece and removes the part.
std::string RunLogPartName(const std::string& path, size_t number);
void StartRunLogPart(const std::string& part);
void MovePartIntoRunLog(const std::string& path, std::string_view header, const std::string& part);

}  // namespace kelvan
