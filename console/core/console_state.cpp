#include "console/core/console_state.h"

#include "platform/basic/clock.h"

namespace kelvan::console {

void AppendLog(ConsoleState& state, ConsoleView& view, std::string_view text) {
  state.log_text.append(text);
  view.ShowLogText(state.log_text);
}

double SteadySecondsSince(double steady_start) {
  return CurrentClock().SteadySeconds() - steady_start;
}

}  // namespace kelvan::console
