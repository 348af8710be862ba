// clsUtilityFunctions: the console's three small text helpers (the setup-file key, the command
// line, the data source filters). Stateless; thread-safe.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kelvan::console {

class clsUtilityFunctions {
 public:
  // The part of inputString before the last occurrence of tokString; empty when it does not occur.
  static std::string strTokLeft(std::string_view inputString, std::string_view tokString);

  // Splits a command line at blanks and tabs (runs count as one). Element 0 stays empty; the
  // arguments are elements 1 to n.
  static std::vector<std::string> getCommandLine(std::string_view commandLine);

  // True when String2 occurs in String1, case included.
  static bool inStrCompare(std::string_view String1, std::string_view String2);
};

// The program's arguments as one command line, joined by blanks (a value cannot hold a blank).
std::string JoinArguments(int argc, const char* const* argv);

}  // namespace kelvan::console
