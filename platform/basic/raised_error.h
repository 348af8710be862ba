// RaisedError: the one exception type of the system. It carries the number, source and
// description of a failure as the operations raise and re-raise them, plus the SQLSTATE when
// the failure came from a driver. Immutable; safe to copy between threads.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace kelvan {

class RaisedError : public std::runtime_error {
 public:
  RaisedError(std::int32_t number, std::string source, std::string description,
              std::string sql_state = {});

  std::int32_t Number() const { return number_; }
  const std::string& Source() const { return source_; }
  const std::string& Description() const { return description_; }
  // Five-character SQLSTATE of the driver's first diagnostic; empty when not from a driver.
  const std::string& SqlState() const { return sql_state_; }

 private:
  std::int32_t number_;
  std::string source_;
  std::string description_;
  std::string sql_state_;
};

// Error numbers the platform raises on its own (not taken from a driver).
inline constexpr std::int32_t kErrOverflow = 6;
inline constexpr std::int32_t kErrTypeMismatch = 13;
inline constexpr std::int32_t kErrItemNotFound = 3265;
inline constexpr std::int32_t kErrClassNotRegistered = 429;
inline constexpr std::int32_t kErrOdbcCall = 40002;

}  // namespace kelvan
