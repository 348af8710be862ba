#include "platform/data/value.h"

#include <cstdio>
#include <cstdlib>

#include "platform/basic/numeric_text.h"
#include "platform/basic/raised_error.h"

namespace kelvan::data {
namespace {

[[noreturn]] void RaiseTypeMismatch() { throw RaisedError(kErrTypeMismatch, "", "Type mismatch"); }

std::string FormatNumber(double value, int digits) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*g", digits, value);
  return buffer;
}

double ParseWholeText(const std::string& text) {
  const char* begin = text.c_str();
  while (*begin == ' ') ++begin;
  char* end = nullptr;
  double value = std::strtod(begin, &end);
  if (end == begin) RaiseTypeMismatch();
  while (*end == ' ') ++end;
  if (*end != '\0') RaiseTypeMismatch();
  return value;
}

}  // namespace

double Value::ToDouble() const {
  switch (kind()) {
    case Kind::kInt16:
      return std::get<std::int16_t>(data_);
    case Kind::kInt32:
      return std::get<std::int32_t>(data_);
    case Kind::kDouble:
      return std::get<double>(data_);
    case Kind::kFloat:
      return std::get<float>(data_);
    case Kind::kText:
      return ParseWholeText(std::get<std::string>(data_));
    case Kind::kNull:
      break;
  }
  RaiseTypeMismatch();
}

std::int32_t Value::ToInt32() const { return RoundToInt32(ToDouble()); }

std::string Value::ToText() const {
  switch (kind()) {
    case Kind::kInt16:
      return std::to_string(std::get<std::int16_t>(data_));
    case Kind::kInt32:
      return std::to_string(std::get<std::int32_t>(data_));
    case Kind::kDouble:
      return FormatNumber(std::get<double>(data_), 15);
    case Kind::kFloat:
      return FormatNumber(std::get<float>(data_), 7);
    case Kind::kText:
      return std::get<std::string>(data_);
    case Kind::kNull:
      break;
  }
  return {};
}

const std::string& Value::Text() const {
  if (kind() != Kind::kText) RaiseTypeMismatch();
  return std::get<std::string>(data_);
}

}  // namespace kelvan::data
