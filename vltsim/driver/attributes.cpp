#include "vltsim/driver/attributes.h"

#include <utility>

#include "platform/basic/raised_error.h"

namespace kelvan::vltsim {
namespace {

[[noreturn]] void FailUnknown() {
  throw RaisedError(0, "vltodbc", "Invalid attribute/option identifier", "HY092");
}

}  // namespace

AttributeSet::AttributeSet(std::map<SQLINTEGER, SQLULEN> settable,
                           std::map<SQLINTEGER, SQLULEN> fixed)
    : settable_(std::move(settable)), fixed_(std::move(fixed)) {}

SQLRETURN AttributeSet::Set(SQLINTEGER attribute, SQLULEN value, Diagnostics& diag) {
  if (auto it = settable_.find(attribute); it != settable_.end()) {
    it->second = value;
    return SQL_SUCCESS;
  }
  auto fixed = fixed_.find(attribute);
  if (fixed == fixed_.end()) FailUnknown();
  if (fixed->second == value) return SQL_SUCCESS;
  diag.Add("01S02", "Option value changed");
  return SQL_SUCCESS_WITH_INFO;
}

SQLULEN AttributeSet::Get(SQLINTEGER attribute) const {
  if (auto it = settable_.find(attribute); it != settable_.end()) return it->second;
  if (auto it = fixed_.find(attribute); it != fixed_.end()) return it->second;
  FailUnknown();
}

}  // namespace kelvan::vltsim
