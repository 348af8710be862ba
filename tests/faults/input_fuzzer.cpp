// libFuzzer entry: the first byte chooses the parser, the rest is its input.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "tests/faults/input_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string problem;
  switch (data[0] % 3) {
    case 0:
      problem = kelvan::faults::CheckSetupReader(input);
      break;
    case 1:
      problem = kelvan::faults::CheckCommandLine(input);
      break;
    default:
      problem = kelvan::faults::CheckTableString(input);
      break;
  }
  if (!problem.empty()) {
    std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
