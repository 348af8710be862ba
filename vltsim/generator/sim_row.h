// One row of a source table, filled by column name in any order. Not thread-safe.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "vltsim/generator/civil_time.h"
#include "vltsim/generator/source_tables.h"

namespace kelvan::vltsim {

using Cell = std::variant<std::monostate, std::int64_t, double, std::string>;  // monostate: NULL

class SimRow {
 public:
  explicit SimRow(const SourceTable& table) : table_(&table), cells_(table.columns.size()) {}

  SimRow& Set(std::string_view column, Cell value) {
    const int index = table_->ColumnIndex(column);
    if (index < 0)
      throw std::logic_error("no column " + std::string(column) + " in " + table_->name);
    cells_[index] = std::move(value);
    return *this;
  }
  SimRow& Set(std::string_view column, int value) { return Set(column, Cell(std::int64_t{value})); }
  SimRow& Set(std::string_view column, const char* value) {
    return Set(column, Cell(std::string(value)));
  }
  // Empty text is stored as NULL, as the server shows an unset name.
  SimRow& Text(std::string_view column, const std::string& value) {
    return value.empty() ? Set(column, Cell()) : Set(column, Cell(value));
  }
  SimRow& Time(std::string_view column, std::optional<SimTime> value) {
    return value ? Set(column, Cell(FormatTimestamp(*value))) : Set(column, Cell());
  }
  // A decimal rounded to `places` digits after the point, as a DECIMAL(p,s) column holds it.
  SimRow& Decimal(std::string_view column, double value, int places) {
    const double unit = std::pow(10.0, places);
    return Set(column, Cell(std::round(value * unit) / unit));
  }

  const std::vector<Cell>& Cells() const { return cells_; }

 private:
  const SourceTable* table_;
  std::vector<Cell> cells_;
};

}  // namespace kelvan::vltsim
