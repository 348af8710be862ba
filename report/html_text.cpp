#include "report/html_text.h"

#include <cstdio>
#include <string>

namespace kelvan::report {

const char* const kForecastHeadings =
    "<th></th><th>fills first</th><th>days to full</th><th>full on</th><th>confidence</th>"
    "<th>outlook</th>";

std::string Escape(std::string_view text) {
  std::string escaped;
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

std::string ForecastCells(const std::string& what, const CapacityForecast& forecast) {
  const bool dated = forecast.full.has_value();
  std::string confidence;
  if (forecast.trend) confidence = Fixed(forecast.trend->confidence, 2);
  std::string outlook = OutlookText(forecast);
  if (forecast.uncertain) outlook += ", uncertain";
  return "<td class=\"mark " + MarkName(forecast.mark) + "\" title=\"" + MarkName(forecast.mark) +
         "\"></td><td class=\"what\">" + Escape(what) + "</td><td class=\"days\">" +
         (dated ? std::to_string(forecast.days_to_full) : "") + "</td><td class=\"date\">" +
         (dated ? FormatDate(*forecast.full) : "") + "</td><td class=\"confidence\">" + confidence +
         "</td><td class=\"outlook\">" + Escape(outlook) + "</td>";
}

}  // namespace kelvan::report
