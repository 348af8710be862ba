#include "console/core/console_state.h"

#include <cmath>

#include "platform/basic/clock.h"

namespace kelvan::console {

void AppendLog(ConsoleState& state, ConsoleView& view, std::string_view text) {
  state.log_text.append(text);
  view.ShowLogText(state.log_text);
}

double SecondsSince(const Timestamp& start) {
  return std::round((ToDaySerial(CurrentClock().Now()) - ToDaySerial(start)) * 86400.0);
}

}  // namespace kelvan::console
