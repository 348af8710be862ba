// Small pieces of HTML text shared by the report's pages. Pure; thread-safe.
#pragma once

#include <string>
#include <string_view>

#include "report/capacity_fit.h"

namespace kelvan::report {

std::string Escape(std::string_view text);  // &, <, >, " as entities
std::string Fixed(double value, int decimals);
// The forecast's cells: mark, what, days to full, date, confidence, outlook (class names "mark",
// "what", "days", "date", "confidence", "outlook", which the tests read back).
std::string ForecastCells(const std::string& what, const CapacityForecast& forecast);
extern const char* const kForecastHeadings;  // the <th>s of column titles matching ForecastCells

}  // namespace kelvan::report
