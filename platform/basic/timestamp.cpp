#include "platform/basic/timestamp.h"

#include <cmath>
#include <cstdio>

namespace kelvan {
namespace {

constexpr long kSerialEpochDays = -25569;  // 1899-12-30 counted from 1970-01-01

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
long DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long>(doe) - 719468;
}

void CivilFromDays(long z, int& y, int& m, int& d) {
  z += 719468;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yoe + era * 400 + (m <= 2));
}

bool ReadDigits(std::string_view text, size_t pos, size_t count, int& out) {
  if (pos + count > text.size()) return false;
  out = 0;
  for (size_t i = pos; i < pos + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    out = out * 10 + (text[i] - '0');
  }
  return true;
}

bool ReadTime(std::string_view text, Timestamp& ts) {
  if (text.size() < 8 || text[2] != ':' || text[5] != ':') return false;
  if (!ReadDigits(text, 0, 2, ts.hour) || !ReadDigits(text, 3, 2, ts.minute) ||
      !ReadDigits(text, 6, 2, ts.second)) {
    return false;
  }
  std::string_view rest = text.substr(8);
  if (!rest.empty() && rest[0] != '.') return false;
  for (size_t i = 1; i < rest.size(); ++i) {
    if (rest[i] < '0' || rest[i] > '9') return false;
  }
  return ts.hour < 24 && ts.minute < 60 && ts.second < 60;
}

}  // namespace

bool IsValidDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  int next_year = month == 12 ? year + 1 : year;
  int next_month = month == 12 ? 1 : month + 1;
  return day <= DaysFromCivil(next_year, next_month, 1) - DaysFromCivil(year, month, 1);
}

std::optional<Timestamp> ParseTimestampText(std::string_view text) {
  Timestamp ts;
  if (text.size() < 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  if (!ReadDigits(text, 0, 4, ts.year) || !ReadDigits(text, 5, 2, ts.month) ||
      !ReadDigits(text, 8, 2, ts.day) || !IsValidDate(ts.year, ts.month, ts.day)) {
    return std::nullopt;
  }
  if (text.size() == 10) return ts;
  if (text[10] != ' ' && text[10] != 'T') return std::nullopt;
  if (!ReadTime(text.substr(11), ts)) return std::nullopt;
  return ts;
}

namespace {

// Zero-padded like "%0*d"; written by hand as the copy formats millions of timestamps.
void AppendPadded(std::string& out, int value, int width) {
  int limit = 1;
  for (int i = 0; i < width; ++i) limit *= 10;
  if (value < 0 || value >= limit) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%0*d", width, value);
    out += buffer;
    return;
  }
  char digits[8];
  for (int i = width - 1; i >= 0; --i, value /= 10) digits[i] = static_cast<char>('0' + value % 10);
  out.append(digits, static_cast<size_t>(width));
}

// "first-second-third" with the separator given, the last two of two digits.
void AppendFields(std::string& out, int first, int first_width, int second, int third,
                  char separator) {
  AppendPadded(out, first, first_width);
  out += separator;
  AppendPadded(out, second, 2);
  out += separator;
  AppendPadded(out, third, 2);
}

void AppendDate(std::string& out, const Timestamp& ts) {
  AppendFields(out, ts.year, 4, ts.month, ts.day, '-');
}

void AppendTime(std::string& out, const Timestamp& ts) {
  AppendFields(out, ts.hour, 2, ts.minute, ts.second, ':');
}

}  // namespace

std::string FormatDate(const Timestamp& ts) {
  std::string text;
  AppendDate(text, ts);
  return text;
}

std::string FormatTime(const Timestamp& ts) {
  std::string text;
  AppendTime(text, ts);
  return text;
}

std::string FormatTimestamp(const Timestamp& ts) {
  std::string text;
  text.reserve(19);
  AppendDate(text, ts);
  text += ' ';
  AppendTime(text, ts);
  return text;
}

double ToDaySerial(const Timestamp& ts) {
  double days = static_cast<double>(DaysFromCivil(ts.year, ts.month, ts.day) - kSerialEpochDays);
  return days + SecondsSinceMidnight(ts) / 86400.0;
}

Timestamp FromDaySerial(double serial) {
  long total_seconds = std::lround(serial * 86400.0);
  long days = total_seconds / 86400;
  long seconds = total_seconds % 86400;
  if (seconds < 0) {
    seconds += 86400;
    --days;
  }
  Timestamp ts;
  CivilFromDays(days + kSerialEpochDays, ts.year, ts.month, ts.day);
  ts.hour = static_cast<int>(seconds / 3600);
  ts.minute = static_cast<int>(seconds / 60 % 60);
  ts.second = static_cast<int>(seconds % 60);
  return ts;
}

Timestamp AddDays(const Timestamp& ts, int days) {
  Timestamp moved = ts;
  CivilFromDays(DaysFromCivil(ts.year, ts.month, ts.day) + days, moved.year, moved.month,
                moved.day);
  return moved;
}

Timestamp StartOfDay(const Timestamp& ts) { return Timestamp{ts.year, ts.month, ts.day, 0, 0, 0}; }

double SecondsSinceMidnight(const Timestamp& ts) {
  return ts.hour * 3600.0 + ts.minute * 60.0 + ts.second;
}

}  // namespace kelvan
