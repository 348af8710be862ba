#include "tests/support/files.h"

#include <fstream>
#include <iterator>

namespace kelvan::testing {

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace kelvan::testing
