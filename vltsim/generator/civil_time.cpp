#include "vltsim/generator/civil_time.h"

#include <cstdio>
#include <ctime>

namespace kelvan::vltsim {
namespace {

// Days from 1970-01-01 to a civil date (H. Hinnant's algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct CivilDate {
  std::int64_t year;
  unsigned month;
  unsigned day;
};

CivilDate CivilFromDays(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2), m, d};
}

bool ReadDigits(std::string_view text, size_t at, size_t count, int& value) {
  value = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  return true;
}

}  // namespace

std::optional<SimTime> ParseTimestamp(std::string_view text) {
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != ' ' || text[13] != ':' ||
      text[16] != ':') {
    return std::nullopt;
  }
  int year, month, day, hour, minute, second;
  if (!ReadDigits(text, 0, 4, year) || !ReadDigits(text, 5, 2, month) ||
      !ReadDigits(text, 8, 2, day) || !ReadDigits(text, 11, 2, hour) ||
      !ReadDigits(text, 14, 2, minute) || !ReadDigits(text, 17, 2, second)) {
    return std::nullopt;
  }
  if (month < 1 || month > 12 || day < 1 || hour > 23 || minute > 59 || second > 59) {
    return std::nullopt;
  }
  const std::int64_t days = DaysFromCivil(year, month, day);
  if (CivilFromDays(days).day != static_cast<unsigned>(day)) return std::nullopt;  // 30 Feb
  return days * kSecondsPerDay + hour * kSecondsPerHour + minute * 60 + second;
}

std::int64_t DayNumber(SimTime time) {
  return (time >= 0 ? time : time - (kSecondsPerDay - 1)) / kSecondsPerDay;
}

std::string FormatTimestamp(SimTime time) {
  const std::int64_t days = DayNumber(time);
  const std::int64_t of_day = time - days * kSecondsPerDay;
  const CivilDate date = CivilFromDays(days);
  char text[96];
  std::snprintf(text, sizeof text, "%04lld-%02u-%02u %02lld:%02lld:%02lld",
                static_cast<long long>(date.year), date.month, date.day,
                static_cast<long long>(of_day / 3600), static_cast<long long>(of_day / 60 % 60),
                static_cast<long long>(of_day % 60));
  return text;
}

SimTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) * kSecondsPerDay +
         local.tm_hour * kSecondsPerHour + local.tm_min * 60 + local.tm_sec;
}

}  // namespace kelvan::vltsim
