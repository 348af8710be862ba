#include "tests/support/test_names.h"

namespace kelvan::testing {
namespace {

bool IsAsciiAlnum(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string NameFromText(std::string_view text) {
  std::string name;
  bool gap = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool starts_number =
        c == '-' && i + 1 < text.size() && IsDigit(text[i + 1]) && (name.empty() || gap);
    if (!IsAsciiAlnum(c) && !starts_number) {
      gap = true;
      continue;
    }
    if (gap && !name.empty()) name += '_';
    gap = false;
    name += starts_number ? std::string("Minus") : std::string(1, c);
  }
  return name.empty() ? "Empty" : name;
}

}  // namespace kelvan::testing
