// 16-bit booleans as they cross between console, worker and engine: true is -1, false 0, and a
// flag counts as set only when it equals -1. Plain values; thread-safe.
#pragma once

#include <cstdint>

namespace kelvan {

using Bool16 = std::int16_t;
inline constexpr Bool16 kTrue16 = -1;
inline constexpr Bool16 kFalse16 = 0;

constexpr bool IsSet(Bool16 flag) { return flag == kTrue16; }
constexpr Bool16 ToBool16(bool value) { return value ? kTrue16 : kFalse16; }

}  // namespace kelvan
