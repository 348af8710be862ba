#include "report/capacity_fit.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "engine/regression.h"

namespace kelvan::report {
namespace {

double DaysFrom(const Timestamp& start, const Timestamp& when) {
  return ToDaySerial(when) - ToDaySerial(start);
}

Mark MarkFor(int days_to_full, bool uncertain) {
  if (days_to_full <= kRedDays) return uncertain ? Mark::kAmber : Mark::kRed;
  if (days_to_full <= kAmberDays && !uncertain) return Mark::kAmber;
  return Mark::kGreen;
}

}  // namespace

double Trend::ValueAt(const Timestamp& when) const {
  return intercept + slope * DaysFrom(window_start, when);
}

int DaysBetween(const Timestamp& from, const Timestamp& to) {
  return static_cast<int>(std::lround(ToDaySerial(StartOfDay(to)) - ToDaySerial(StartOfDay(from))));
}

std::optional<Trend> TrendFitter::Fit(const Series& series, int sample_days) {
  if (series.empty()) return std::nullopt;
  Trend trend;
  trend.window_start = AddDays(series.back().when, -sample_days);
  std::vector<engine::TrendRecord> records(1);
  double samples = 0;
  std::set<std::string> days;
  for (const Point& point : series) {
    if (point.when < trend.window_start) continue;
    const double x = std::trunc(DaysFrom(trend.window_start, point.when) * 86400) / 86400;
    engine::AccumulateSample(engine_, records[0], x, point.value, samples);
    ++samples;
    days.insert(FormatDate(point.when));
  }
  if (days.size() < static_cast<size_t>(kMinSnapshotDays)) return std::nullopt;
  engine::CalculateRegression2(engine_, records, samples, 0, 0);
  const engine::TrendRecord& fit = records[0];
  if (fit.slope == engine::kNotComputable) return std::nullopt;
  trend.slope = fit.slope;
  trend.intercept = fit.intercept;
  trend.confidence = fit.confidence == engine::kNotComputable ? 0 : fit.confidence;
  return trend;
}

CapacityForecast TrendFitter::Forecast(const Series& series, int sample_days,
                                       const Timestamp& today) {
  CapacityForecast forecast;
  forecast.trend = Fit(series, sample_days);
  if (!forecast.trend) return forecast;
  const Trend& trend = *forecast.trend;
  forecast.outlook = Outlook::kNotGrowing;
  forecast.mark = Mark::kGreen;
  if (!(trend.slope > 0)) return forecast;
  forecast.outlook = Outlook::kFills;
  forecast.uncertain = trend.confidence < kMinConfidence;
  const double full_x = (kFullPercent - trend.intercept) / trend.slope;
  const double days_from_today = full_x - DaysFrom(trend.window_start, today);
  if (days_from_today > kHorizonDays) return forecast;
  forecast.full = FromDaySerial(ToDaySerial(trend.window_start) + full_x);
  forecast.days_to_full = std::max(0, DaysBetween(today, *forecast.full));
  forecast.mark = MarkFor(forecast.days_to_full, forecast.uncertain);
  return forecast;
}

std::string MarkName(Mark mark) {
  switch (mark) {
    case Mark::kRed:
      return "red";
    case Mark::kAmber:
      return "amber";
    case Mark::kGreen:
      return "green";
    case Mark::kNone:
      break;
  }
  return "none";
}

std::string OutlookText(const CapacityForecast& forecast) {
  switch (forecast.outlook) {
    case Outlook::kNoForecast:
      return "needs at least " + std::to_string(kMinSnapshotDays) + " days of snapshots";
    case Outlook::kNotGrowing:
      return "not growing";
    case Outlook::kFills:
      break;
  }
  if (!forecast.full) return "not within " + std::to_string(kHorizonDays / 365) + " years";
  if (forecast.days_to_full == 0) return "full now";
  return "in " + std::to_string(forecast.days_to_full) + " days";
}

}  // namespace kelvan::report
