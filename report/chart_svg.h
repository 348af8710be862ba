// Charts drawn by Qt Charts on an offscreen platform and written as inline SVG text. The chart
// descriptions are plain data, so that no other file of the report sees Qt. Main thread only.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/basic/timestamp.h"

namespace kelvan::report {

enum class LineStyle { kPoints, kLine, kDashed, kMarker };

struct ChartLine {
  std::string name;  // the legend's text
  LineStyle style = LineStyle::kLine;
  std::vector<std::pair<Timestamp, double>> points;
};

// Lines over dated x: history points, fitted and forecast lines, limits.
struct TimeChart {
  std::string title;
  std::string y_title;  // with its unit, e.g. "utilisation (%)"
  std::vector<ChartLine> lines;
  std::optional<double> y_min, y_max;  // unset: from the data
};

struct BarSet {
  std::string name;
  std::vector<double> values;  // one per category
};

// Stacked bars, one per category (a day, a message).
struct BarChart {
  std::string title;
  std::string y_title;
  std::vector<std::string> categories;
  std::vector<BarSet> sets;
};

// Creates the Qt application the charts need, on the offscreen platform unless QT_QPA_PLATFORM
// names another; once per process, before the first chart.
void StartChartRendering();

std::string TimeChartSvg(const TimeChart& chart);
std::string BarChartSvg(const BarChart& chart);

}  // namespace kelvan::report
