// Calendar timestamps to the second, their text form "yyyy-mm-dd hh:mm:ss" in which they travel
// between the parts of the system, and day-serial arithmetic. Plain values; thread-safe.
#pragma once

#include <compare>
#include <optional>
#include <string>
#include <string_view>

namespace kelvan {

struct Timestamp {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
  auto operator<=>(const Timestamp&) const = default;
};

// Reads "yyyy-mm-dd hh:mm:ss", "yyyy-mm-dd hh:mm:ss.fff" (the fraction is dropped),
// "yyyy-mm-dd" (midnight) or "yyyy-mm-ddThh:mm:ss". Nothing on an invalid date or time.
std::optional<Timestamp> ParseTimestampText(std::string_view text);
// "yyyy-mm-dd hh:mm:ss"
std::string FormatTimestamp(const Timestamp& ts);
std::string FormatDate(const Timestamp& ts);  // "yyyy-mm-dd"
std::string FormatTime(const Timestamp& ts);  // "hh:mm:ss"

// Days since 1899-12-30 with the time of day as the fraction: the date value of the system's
// arithmetic ("yesterday", "+ 1 day", spans in days). FromDaySerial rounds to the second.
double ToDaySerial(const Timestamp& ts);
Timestamp FromDaySerial(double serial);

Timestamp AddDays(const Timestamp& ts, int days);
Timestamp StartOfDay(const Timestamp& ts);
double SecondsSinceMidnight(const Timestamp& ts);
bool IsValidDate(int year, int month, int day);

}  // namespace kelvan
