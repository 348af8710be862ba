// The version every KELVAN program reports, and the --version answer they share. Header only, so
// that programs linking none of the platform libraries can answer too. Thread-safe.
#pragma once

#include <cstdio>
#include <cstring>

namespace kelvan {

inline constexpr const char* kProductVersion = "4.2.2";

// True, after printing "<program> <version>", when the command line is just --version: the caller
// then ends with status 0 before it opens a window or a run log.
inline bool AnswerVersion(int argc, char** argv, const char* program) {
  if (argc != 2 || std::strcmp(argv[1], "--version") != 0) return false;
  std::printf("%s %s\n", program, kProductVersion);
  return true;
}

}  // namespace kelvan
