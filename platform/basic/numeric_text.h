// Numbers from text and whole-number rounding as the system's settings and arithmetic expect them.
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string_view>

namespace kelvan {

// The number at the start of a text: leading blanks are skipped, blanks between digits ignored,
// reading stops at the first character that cannot continue a number; "&H"/"&O" read hex/octal.
// A text with no leading number gives 0.
double LeadingNumber(std::string_view text);

// Rounds to the nearest whole number, halves to the even neighbour, and checks the range of a
// 16-bit (RoundToInt16) or 32-bit (RoundToInt32) integer; out of range (or not a number) raises
// RaisedError kErrOverflow "Overflow".
std::int16_t RoundToInt16(double value);
std::int32_t RoundToInt32(double value);

}  // namespace kelvan
