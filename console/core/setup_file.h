// The setup file: settings as bracketed sections of "key:=value" lines ending in CR LF. The
// writer produces the fixed layout byte for byte; the reader takes any order, ignores what it
// does not know, accepts LF-only lines and reports bad values without stopping. The file holds
// passwords in clear, so it is created and rewritten readable by its owner only.
// Pure functions over caller-owned values; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "console/core/settings.h"

namespace kelvan::console {

// Raised by ReadSetupFromFile when the file does not exist.
inline constexpr std::int32_t kErrFileNotFound = 53;

// Shown (critical icon) when TotalNoServers and the Server lines disagree.
inline constexpr std::string_view kServerCountWarning =
    "Warning: Incorrect number used for TotalNoServers\r\nin the configuration file.";

struct SetupReadReport {
  std::string log_text;               // error reports, for the console's log text
  bool server_count_warning = false;  // show kServerCountWarning
};

std::string SetupFileText(const Settings& settings);
// Creates or replaces the file with mode 0600. Raises RaisedError when it cannot be written.
void WriteSetupToFile(const std::string& path, const Settings& settings);

// Reads setup lines into `settings` (missing keys keep their values) and rebuilds the forecast
// setup code.
SetupReadReport ReadSetupText(std::string_view text, Settings& settings);
// Raises RaisedError when the file cannot be opened or read.
SetupReadReport ReadSetupFromFile(const std::string& path, Settings& settings);

}  // namespace kelvan::console
