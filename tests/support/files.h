// Reading the files a test's code under test wrote (trace, run log, setup file). Any thread.
#pragma once

#include <filesystem>
#include <string>

namespace kelvan::testing {

// The file's bytes as they are (no line-end translation); empty when it cannot be read.
std::string ReadFile(const std::filesystem::path& path);

}  // namespace kelvan::testing
