// Text lines ending in CR LF, appended to growing texts and to shared files. AppendToFile is
// safe from any thread: appends are serialised across the process, so writers sharing a file
// (trace, run log) never interleave within one append.
#pragma once

#include <string>
#include <string_view>

namespace kelvan {

inline constexpr std::string_view kCrLf = "\r\n";

// text += line + CR LF
void AppendLine(std::string& text, std::string_view line);

// Opens `path` for appending (creating it), writes `text` in one piece, closes it. Raises
// RaisedError 75 "Path/File access error" when the file cannot be opened or written.
void AppendToFile(const std::string& path, std::string_view text);

// Writes `text` to a new file beside `path` and renames it over `path`, so that a reader sees
// the old file or the whole new one, never a part. Raises RaisedError 75 as AppendToFile does;
// `path` is then unchanged.
void ReplaceFile(const std::string& path, std::string_view text);

}  // namespace kelvan
