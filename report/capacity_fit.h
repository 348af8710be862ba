// When a utilisation series reaches 100 %: the engine's least-squares fit over the last
// snapshots, extended to full, and the red/amber/green mark of the date it gives. The thresholds
// here are the ones kelvan-report --help and the README document. Pure; thread-safe only with a
// fitter per thread.
#pragma once

#include <optional>
#include <string>

#include "engine/qb_obj.h"
#include "report/report_data.h"

namespace kelvan::report {

inline constexpr int kMinSnapshotDays = 3;     // fewer: no forecast
inline constexpr double kMinConfidence = 0.5;  // below: "uncertain"
inline constexpr int kRedDays = 30;            // full within: red (amber when uncertain)
inline constexpr int kAmberDays = 90;          // full within: amber
inline constexpr int kHorizonDays = 3650;      // later: as good as never
inline constexpr double kFullPercent = 100;

enum class Outlook { kNoForecast, kNotGrowing, kFills };
enum class Mark { kNone, kGreen, kAmber, kRed };

// A straight line y = intercept + slope · x, x in days from window_start.
struct Trend {
  Timestamp window_start;
  double slope = 0;
  double intercept = 0;
  double confidence = 0;  // |correlation|, 0 when it cannot be computed
  double ValueAt(const Timestamp& when) const;
};

struct CapacityForecast {
  Outlook outlook = Outlook::kNoForecast;
  std::optional<Trend> trend;     // set unless kNoForecast
  std::optional<Timestamp> full;  // the day the line crosses 100 %, kFills within the horizon
  int days_to_full = 0;           // from today; 0 when the line is past 100 % already
  bool uncertain = false;         // confidence below kMinConfidence
  Mark mark = Mark::kNone;
};

// Fits lines with the engine's regression routine; its trace stays off.
class TrendFitter {
 public:
  // The fit over the points of the last `sample_days` days before the series' last point;
  // nothing below kMinSnapshotDays distinct days or when the abscissas coincide.
  std::optional<Trend> Fit(const Series& series, int sample_days);
  CapacityForecast Forecast(const Series& series, int sample_days, const Timestamp& today);

 private:
  engine::QbObj engine_;
};

// Calendar days from `from` to `to`, ignoring the time of day.
int DaysBetween(const Timestamp& from, const Timestamp& to);
std::string MarkName(Mark mark);  // "red", "amber", "green", "none"
// The front page's words for a forecast: "in 12 days", "full now", "not growing", "needs at
// least 3 days of snapshots", "not within 10 years".
std::string OutlookText(const CapacityForecast& forecast);

}  // namespace kelvan::report
