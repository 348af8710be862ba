#include <algorithm>

#include "report/chart_svg.h"
#include "report/html_text.h"
#include "report/report_pages.h"

namespace kelvan::report {
namespace {

constexpr int kHeatMapDays = 28;
constexpr int kErrorDays = 31;  // bars beyond a month are too thin to read
// Beyond this many snapshots a line, not a marker each, through at most kMostLinePoints of them:
// a year of daily markers is megabytes of SVG and no more readable at a laptop's width.
constexpr size_t kMostMarkers = 60;
constexpr size_t kMostLinePoints = 120;
constexpr int kCountForecastDays = 30;

struct ChartRange {
  Timestamp since;  // the first day shown
  Timestamp today;
};

std::vector<std::pair<Timestamp, double>> Shown(const Series& series, const ChartRange& range) {
  std::vector<std::pair<Timestamp, double>> points;
  for (const Point& point : series) {
    if (!(point.when < range.since)) points.emplace_back(point.when, point.value);
  }
  return points;
}

// The fitted line over its window and, dashed, on to `until`.
void AddTrendLines(TimeChart& chart, const Trend& trend, const Series& series, int sample_days,
                   const Timestamp& until) {
  const Timestamp& last = series.back().when;
  chart.lines.push_back(
      {"fitted over " + std::to_string(sample_days) + " days",
       LineStyle::kLine,
       {{trend.window_start, trend.ValueAt(trend.window_start)}, {last, trend.ValueAt(last)}}});
  chart.lines.push_back({"forecast",
                         LineStyle::kDashed,
                         {{last, trend.ValueAt(last)}, {until, trend.ValueAt(until)}}});
}

// Every n-th point and the last, so that at most `most` remain.
std::vector<std::pair<Timestamp, double>> Thinned(std::vector<std::pair<Timestamp, double>> points,
                                                  size_t most) {
  if (points.size() <= most) return points;
  const size_t step = (points.size() + most - 1) / most;
  std::vector<std::pair<Timestamp, double>> kept;
  for (size_t i = 0; i < points.size(); i += step) kept.push_back(points[i]);
  if (!(kept.back().first == points.back().first)) kept.push_back(points.back());
  return kept;
}

ChartLine Snapshots(const Series& series, const ChartRange& range) {
  ChartLine line{"snapshots", LineStyle::kPoints, Shown(series, range)};
  if (line.points.size() > kMostMarkers) {
    line.style = LineStyle::kLine;
    line.points = Thinned(std::move(line.points), kMostLinePoints);
  }
  return line;
}

std::string Figure(const std::string& svg) { return "<figure>" + svg + "</figure>\n"; }

std::string NoData(const std::string& what, const PageContext& context) {
  return "<p class=\"nodata\">" + Escape(what) + ": no rows in the last " +
         std::to_string(context.history_days) + " days.</p>\n";
}

std::string UtilisationChart(const Resource& resource, const ChartRange& range,
                             const PageContext& context) {
  const CapacityForecast& forecast = resource.forecast;
  TimeChart chart{resource.Label() + " utilisation", "utilisation (%)", {}, 0.0, 120.0};
  chart.lines.push_back(Snapshots(*resource.series, range));
  Timestamp until = AddDays(range.today, kCountForecastDays);
  if (forecast.full) until = std::max(until, std::min(*forecast.full, AddDays(range.today, 365)));
  if (forecast.trend) {
    AddTrendLines(chart, *forecast.trend, *resource.series, context.sample_days, until);
  }
  Timestamp from = forecast.trend ? forecast.trend->window_start : until;
  if (!resource.series->empty()) from = std::min(from, resource.series->front().when);
  chart.lines.push_back(
      {"100 % full", LineStyle::kLine, {{std::max(from, range.since), 100}, {until, 100}}});
  if (forecast.full && !(until < *forecast.full)) {
    chart.lines.push_back(
        {"full on " + FormatDate(*forecast.full), LineStyle::kMarker, {{*forecast.full, 100}}});
  }
  return Figure(TimeChartSvg(chart));
}

std::string CountChart(const std::string& title, const std::string& unit, const Series& series,
                       const ChartRange& range, const PageContext& context, TrendFitter& fitter) {
  if (series.empty()) return NoData(title, context);
  TimeChart chart{title, unit, {}, 0.0, std::nullopt};
  chart.lines.push_back(Snapshots(series, range));
  if (const auto trend = fitter.Fit(series, context.sample_days)) {
    AddTrendLines(chart, *trend, series, context.sample_days,
                  AddDays(range.today, kCountForecastDays));
  }
  return Figure(TimeChartSvg(chart));
}

std::string PeaksChart(const ServerHistory& history, const ChartRange& range,
                       const PageContext& context) {
  if (history.session_peaks.empty() && history.mount_peaks.empty()) {
    return NoData("Simultaneous sessions and tape mounts", context);
  }
  TimeChart chart{
      "Daily peak of simultaneous sessions and tape mounts", "count", {}, 0.0, std::nullopt};
  const auto line = [&range](const char* name, LineStyle style, const Series& series) {
    return ChartLine{name, style, Thinned(Shown(series, range), kMostLinePoints)};
  };
  chart.lines.push_back(line("sessions", LineStyle::kLine, history.session_peaks));
  chart.lines.push_back(line("tape mounts", LineStyle::kLine, history.mount_peaks));
  chart.lines.push_back(line("drives", LineStyle::kDashed, history.drives));
  return Figure(TimeChartSvg(chart));
}

std::string ErrorChart(const std::string& title, const DailySeverityCounts& all_days,
                       const PageContext& context) {
  const std::string first_day = FormatDate(AddDays(context.today, 1 - kErrorDays));
  const DailySeverityCounts per_day(all_days.lower_bound(first_day), all_days.end());
  if (per_day.empty()) return NoData(title, context);
  BarChart chart{title + " per day by severity, last " + std::to_string(kErrorDays) + " days",
                 "messages",
                 {},
                 {}};
  std::vector<std::string> severities;
  for (const auto& [day, counts] : per_day) {
    chart.categories.push_back(day.substr(5));
    for (const auto& [severity, count] : counts) {
      if (std::find(severities.begin(), severities.end(), severity) == severities.end()) {
        severities.push_back(severity);
      }
    }
  }
  std::sort(severities.begin(), severities.end());
  for (const std::string& severity : severities) {
    BarSet set{"severity " + severity, {}};
    for (const auto& [day, counts] : per_day) {
      const auto found = counts.find(severity);
      set.values.push_back(found == counts.end() ? 0 : found->second);
    }
    chart.sets.push_back(std::move(set));
  }
  return Figure(BarChartSvg(chart));
}

std::string FrequentMessages(const ServerHistory& history) {
  if (history.frequent_messages.empty()) return {};
  std::string html =
      "<table class=\"messages\"><tr><th>count</th><th>most frequent messages</th></tr>\n";
  for (const MessageCount& message : history.frequent_messages) {
    html += "<tr><td class=\"count\">" + std::to_string(message.count) + "</td><td>" +
            Escape(message.message) + "</td></tr>\n";
  }
  return html + "</table>\n";
}

// Days down, hours across; the darker, the more bytes in that hour.
std::string HeatMap(const ServerHistory& history, const PageContext& context) {
  if (history.bytes_by_hour.empty()) return NoData("Bytes per hour of day", context);
  auto first = history.bytes_by_hour.begin();
  if (history.bytes_by_hour.size() > kHeatMapDays) {
    std::advance(first, history.bytes_by_hour.size() - kHeatMapDays);
  }
  double most = 0;
  for (auto day = first; day != history.bytes_by_hour.end(); ++day) {
    for (double bytes : day->second) most = std::max(most, bytes);
  }
  std::string html = "<p class=\"caption\">Bytes per hour of day, last " +
                     std::to_string(kHeatMapDays) + " days: the darkest hour moved " +
                     Fixed(most / 1e9, 1) + " GB</p>\n<table class=\"heat\"><tr><th></th>";
  for (int hour = 0; hour < 24; ++hour) html += "<th>" + std::to_string(hour) + "</th>";
  html += "</tr>\n";
  for (auto day = first; day != history.bytes_by_hour.end(); ++day) {
    html += "<tr><th>" + day->first + "</th>";
    for (double bytes : day->second) {
      const int shade = most > 0 ? static_cast<int>(100 - 70 * bytes / most) : 100;
      html += "<td style=\"background:hsl(210,70%," + std::to_string(shade) + "%)\" title=\"" +
              Fixed(bytes / 1e9, 2) + " GB\"></td>";
    }
    html += "</tr>\n";
  }
  return html + "</table>\n";
}

// Every resource but the file spaces beyond the first `top` (soonest full first).
std::vector<const Resource*> ShownResources(const ServerOutlook& outlook, int top) {
  std::vector<const Resource*> shown;
  int spaces = 0;
  for (const Resource& resource : outlook.resources) {
    if (resource.kind == "file space" && spaces++ >= top) continue;
    if (!resource.series->empty()) shown.push_back(&resource);
  }
  return shown;
}

}  // namespace

std::string ServerPageHtml(const ServerHistory& history, const ServerOutlook& outlook,
                           size_t position, const PageContext& context) {
  const ChartRange range{AddDays(StartOfDay(context.today), -context.history_days), context.today};
  const std::vector<const Resource*> shown = ShownResources(outlook, context.top_file_spaces);
  std::string html = "<section class=\"server\" id=\"" + ServerAnchor(position) +
                     "\">\n<p><a href=\"#front\">&larr; all servers</a></p>\n<h2>" +
                     Escape(history.server) + "</h2>\n<table class=\"forecasts\">" + "<tr>" +
                     kForecastHeadings + "</tr>\n";
  for (const Resource* resource : shown) {
    html += "<tr class=\"resource\">" + ForecastCells(resource->Label(), resource->forecast) +
            "</tr>\n";
  }
  html += "</table>\n<h3>Utilisation</h3>\n";
  for (const Resource* resource : shown) html += UtilisationChart(*resource, range, context);
  TrendFitter fitter;
  html += "<h3>Library volumes and nodes</h3>\n" +
          CountChart("Scratch volumes left", "volumes", history.scratch_volumes, range, context,
                     fitter) +
          CountChart("Nodes", "nodes", history.nodes, range, context, fitter);
  html += "<h3>Activity</h3>\n" + HeatMap(history, context) + PeaksChart(history, range, context);
  html += "<h3>Errors</h3>\n" + ErrorChart("Client errors", history.client_errors, context) +
          ErrorChart("Server errors", history.server_errors, context) + FrequentMessages(history);
  return html + "</section>\n";
}

}  // namespace kelvan::report
