// A column value as the data-access layer reads and writes it: null, a 16- or 32-bit integer, a
// double, a single-precision number or a text. Plain value; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace kelvan::data {

class Value {
 public:
  enum class Kind { kNull, kInt16, kInt32, kDouble, kFloat, kText };

  Value() = default;  // null
  Value(std::int16_t v) : data_(v) {}
  Value(std::int32_t v) : data_(v) {}
  Value(double v) : data_(v) {}
  Value(float v) : data_(v) {}
  Value(std::string v) : data_(std::move(v)) {}
  Value(const char* v) : data_(std::string(v)) {}

  Kind kind() const { return static_cast<Kind>(data_.index()); }
  bool IsNull() const { return kind() == Kind::kNull; }

  // The number it holds, or the number a text spells out entirely (blanks around it allowed).
  // Null and other texts raise RaisedError kErrTypeMismatch.
  double ToDouble() const;
  // ToDouble rounded to the nearest whole number, halves to even; out of range raises
  // kErrOverflow.
  std::int32_t ToInt32() const;
  // Null gives "", numbers their shortest decimal text (up to 15 significant digits for a
  // double, 7 for a float), a text itself.
  std::string ToText() const;

  // The text held; raises kErrTypeMismatch for other kinds.
  const std::string& Text() const;

  bool operator==(const Value&) const = default;

 private:
  std::variant<std::monostate, std::int16_t, std::int32_t, double, float, std::string> data_;
};

}  // namespace kelvan::data
