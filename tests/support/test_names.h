// Names of the cases of parameterised suites, so that test listings can be read and typed
// ("Cases/QobraUsageTest.X/no_command_given" instead of a byte dump). Any thread.
#pragma once

#include <string>
#include <string_view>

namespace kelvan::testing {

// The text as a test name: letters and digits kept, a minus before a number spelt "Minus", every
// other run of characters one '_' ("SELECT * from T" -> "SELECT_from_T", "-1" -> "Minus1");
// "Empty" for a text with neither.
std::string NameFromText(std::string_view text);

}  // namespace kelvan::testing
