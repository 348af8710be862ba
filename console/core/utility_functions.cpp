#include "console/core/utility_functions.h"

namespace kelvan::console {

std::string clsUtilityFunctions::strTokLeft(std::string_view inputString,
                                            std::string_view tokString) {
  if (tokString.empty()) return {};
  const size_t pos = inputString.rfind(tokString);
  if (pos == std::string_view::npos) return {};
  return std::string(inputString.substr(0, pos));
}

std::vector<std::string> clsUtilityFunctions::getCommandLine(std::string_view commandLine) {
  std::vector<std::string> arguments(1);
  constexpr std::string_view kSeparators = " \t";
  size_t pos = commandLine.find_first_not_of(kSeparators);
  while (pos != std::string_view::npos) {
    const size_t end = commandLine.find_first_of(kSeparators, pos);
    arguments.emplace_back(commandLine.substr(pos, end - pos));
    pos = commandLine.find_first_not_of(kSeparators, end);
  }
  return arguments;
}

bool clsUtilityFunctions::inStrCompare(std::string_view String1, std::string_view String2) {
  return String1.find(String2) != std::string_view::npos;
}

std::string JoinArguments(int argc, const char* const* argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) line += ' ';
    line += argv[i];
  }
  return line;
}

}  // namespace kelvan::console
