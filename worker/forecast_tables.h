// The forecast tables that the load sequence may forecast, with the four column lists it passes
// to the engine for each. Constant data; thread-safe.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kelvan::worker {

// Bit of the forecast setup code that switches forecasting on for every table.
inline constexpr std::uint16_t kForecastingOnBit = 0x0100;

struct ForecastTable {
  std::uint16_t bit;   // the table's bit in the forecast setup code
  std::string source;  // source table; the forecast table is source + "_F"
  std::vector<std::string> select_columns;
  std::vector<std::string> forecast_columns;
  std::vector<std::string> order_columns;
  std::vector<std::string> forecast_table_columns;
};

inline constexpr std::size_t kForecastTableCount = 8;

// In the order the forecast stages run: lowest bit first.
const std::array<ForecastTable, kForecastTableCount>& ForecastTables();

}  // namespace kelvan::worker
