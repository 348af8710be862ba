// Least-squares trend of the forecast tables: the running sums of one measured column
// (TrendRecord), the rule that adds an observation to them, and the fit that turns them into a
// slope, an intercept, a confidence and a forecast value. No database work; traces through the
// engine object. Used by the thread that owns that object.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvan::engine {

class QbObj;

// Marks a statistic that cannot be computed; stored as SQL NULL.
inline constexpr double kNotComputable = -999999.0;
// CalculateRegression2: fewer than two samples, nothing computed.
inline constexpr std::int16_t kTooFewSamples = 2;

// Sums of one forecast column over a sample set, and the fit made from them. x is the age of an
// observation in days from the window start, y the column's value.
struct TrendRecord {
  double fcValue = 0;  // the fitted line at the forecast abscissa
  double dx = 0;       // last observation added
  double dy = 0;
  double sumX = 0;
  double sumXSquared = 0;
  double sumY = 0;
  double sumYSquared = 0;
  double sumXY = 0;
  double slope = 0;       // change per day
  double intercept = 0;   // value at x = 0
  double confidence = 0;  // |Pearson correlation of x and y|
};

// A double as trace lines and SQL texts show it: up to 15 significant digits.
std::string DoubleText(double value);

// Adds (x, y) to `record` and traces the sums at level 3. `sample_count` is the number of
// observation rows completed before this one (traced only).
void AccumulateSample(QbObj& engine, TrendRecord& record, double x, double y, double sample_count);

// Fits records[0..last_column] from their sums over `sample_count` rows and evaluates each line at
// `days_forward`. Returns kTooFewSamples (records untouched) below two rows, else 0. Equal
// abscissas give every column fcValue -1 and kNotComputable statistics; a statistic whose
// arithmetic fails (zero divisor, root of a negative number, overflow) becomes kNotComputable.
std::int16_t CalculateRegression2(QbObj& engine, std::vector<TrendRecord>& records,
                                  double sample_count, std::int16_t last_column,
                                  std::int16_t days_forward);

}  // namespace kelvan::engine
