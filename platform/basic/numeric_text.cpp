#include "platform/basic/numeric_text.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <string>

#include "platform/basic/raised_error.h"

namespace kelvan {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

double RadixNumber(std::string_view digits, int radix) {
  double value = 0;
  for (char c : digits) {
    if (IsBlank(c)) continue;
    int digit =
        std::isdigit(static_cast<unsigned char>(c))
            ? c - '0'
            : (std::isxdigit(static_cast<unsigned char>(c)) ? std::toupper(c) - 'A' + 10 : 99);
    if (digit >= radix) break;
    value = value * radix + digit;
  }
  return value;
}

// Collects the longest prefix that reads as a decimal number, blanks removed.
std::string DecimalPrefix(std::string_view text) {
  std::string number;
  bool seen_point = false, seen_exponent = false, seen_digit = false;
  for (char c : text) {
    if (IsBlank(c)) continue;
    if (std::isdigit(static_cast<unsigned char>(c))) {
      seen_digit = true;
    } else if ((c == '+' || c == '-') && (number.empty() || number.back() == 'e')) {
    } else if (c == '.' && !seen_point && !seen_exponent) {
      seen_point = true;
    } else if ((c == 'e' || c == 'E' || c == 'd' || c == 'D') && seen_digit && !seen_exponent) {
      seen_exponent = true;
      c = 'e';
    } else {
      break;
    }
    number += c;
  }
  return number;
}

}  // namespace

double LeadingNumber(std::string_view text) {
  size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  text.remove_prefix(start);
  if (text.size() >= 2 && text[0] == '&') {
    char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(text[1])));
    if (kind == 'H') return RadixNumber(text.substr(2), 16);
    if (kind == 'O') return RadixNumber(text.substr(2), 8);
  }
  std::string number = DecimalPrefix(text);
  // strtod reads the longest valid prefix, so a dangling "e" or sign is ignored.
  return number.empty() ? 0.0 : std::strtod(number.c_str(), nullptr);
}

namespace {

double RoundHalfEven(double value) {
  if (!std::isfinite(value)) throw RaisedError(kErrOverflow, "", "Overflow");
  return std::nearbyint(value);  // default rounding mode: to nearest, ties to even
}

template <typename Int>
Int RoundChecked(double value) {
  double rounded = RoundHalfEven(value);
  if (rounded < std::numeric_limits<Int>::min() || rounded > std::numeric_limits<Int>::max()) {
    throw RaisedError(kErrOverflow, "", "Overflow");
  }
  return static_cast<Int>(rounded);
}

}  // namespace

std::int16_t RoundToInt16(double value) { return RoundChecked<std::int16_t>(value); }
std::int32_t RoundToInt32(double value) { return RoundChecked<std::int32_t>(value); }

}  // namespace kelvan
