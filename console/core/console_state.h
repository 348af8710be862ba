// The state the console's main window keeps between commands: the settings, the log text, the
// run log and setup file names and the run flags. Plain value; used by the console's one thread.
#pragma once

#include <string>
#include <string_view>

#include "console/core/console_view.h"
#include "console/core/settings.h"

namespace kelvan::console {

struct ConsoleState {
  Settings settings;
  std::string log_text;         // the main window's log box
  std::string run_log_name;     // the HTML run log of this session
  std::string setup_file_name;  // the current setup file
  bool setup_file_error = false;
  bool busy = false;    // a run is in progress
  bool cancel = false;  // Exit during a run: stop before the next server
};

// log_text += text, then shows it.
void AppendLog(ConsoleState& state, ConsoleView& view, std::string_view text);

// Seconds from `steady_start`, an earlier CurrentClock().SteadySeconds(), to now.
double SteadySecondsSince(double steady_start);

}  // namespace kelvan::console
