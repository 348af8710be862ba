// One-input checks of the parsers a user feeds (setup-file reader, command line, table string),
// shared by the libFuzzer target and the bounded random-input test. Each returns an empty text
// when the parser kept its promises on `input`, else what it broke. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace kelvan::faults {

std::string CheckSetupReader(std::string_view input);
std::string CheckCommandLine(std::string_view input);
std::string CheckTableString(std::string_view input);

}  // namespace kelvan::faults
