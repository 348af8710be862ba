// Wall-clock times of the simulated server as whole seconds on a calendar without time zones,
// and their text form "yyyy-mm-dd hh:mm:ss". Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvan::vltsim {

// Seconds since 1970-01-01 00:00:00 of the proleptic Gregorian calendar. No daylight saving
// gaps, so the same arguments always give the same history.
using SimTime = std::int64_t;

inline constexpr SimTime kSecondsPerHour = 3600;
inline constexpr SimTime kSecondsPerDay = 86400;

// Parses exactly "yyyy-mm-dd hh:mm:ss"; nullopt for any other shape or an impossible date.
std::optional<SimTime> ParseTimestamp(std::string_view text);
std::string FormatTimestamp(SimTime time);
// Days since 1970-01-01 of a time (floor, so earlier times give negative days).
std::int64_t DayNumber(SimTime time);
// The current local time of this machine, as the server's clock would show it.
SimTime LocalNow();

}  // namespace kelvan::vltsim
