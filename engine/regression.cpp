#include "engine/regression.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "engine/qb_obj.h"
#include "platform/data/value.h"

namespace kelvan::engine {
namespace {

// Arithmetic failures do not trap in C++: a zero divisor, a negative radicand or a non-finite
// result is what the fit treats as "cannot be computed".
std::optional<double> Divide(double numerator, double denominator) {
  if (denominator == 0) return std::nullopt;
  double quotient = numerator / denominator;
  return std::isfinite(quotient) ? std::optional<double>(quotient) : std::nullopt;
}

std::optional<double> Root(double radicand) {
  if (!(radicand >= 0) || !std::isfinite(radicand)) return std::nullopt;
  return std::pow(radicand, 0.5);
}

struct Sums {
  double n, sx, sxx, sy, syy, sxy;
};

// n·Sxx − Sx²: zero when every abscissa is the same.
double AbscissaSpread(const Sums& s) { return s.n * s.sxx - std::pow(s.sx, 2); }

void FitLine(QbObj& engine, TrendRecord& record, const Sums& s) {
  std::optional<double> slope = Divide(s.n * s.sxy - s.sx * s.sy, AbscissaSpread(s));
  std::optional<double> intercept;
  if (slope) intercept = s.sy / s.n - (s.sx / s.n) * *slope;
  if (!intercept || !std::isfinite(*intercept)) {
    engine.Trace("Trend intercept and slope is set to -999999 because of error condition,", 3);
    record.slope = kNotComputable;
    record.intercept = kNotComputable;
    return;
  }
  record.slope = *slope;
  record.intercept = *intercept;
}

void FitConfidence(QbObj& engine, TrendRecord& record, const Sums& s) {
  std::optional<double> root_x = Root(AbscissaSpread(s));
  std::optional<double> root_y = Root(s.n * s.syy - std::pow(s.sy, 2));
  std::optional<double> confidence;
  if (root_x && root_y)
    confidence = Divide(std::fabs(s.n * s.sxy - s.sx * s.sy), *root_x * *root_y);
  if (!confidence) {
    engine.Trace("Trend Confidence is set to -999999 because of error condition.", 3);
    record.confidence = kNotComputable;
    return;
  }
  record.confidence = *confidence;
}

void FitColumn(QbObj& engine, TrendRecord& record, double n, std::int16_t days_forward) {
  Sums s{n, record.sumX, record.sumXSquared, record.sumY, record.sumYSquared, record.sumXY};
  FitLine(engine, record, s);
  FitConfidence(engine, record, s);
  record.fcValue = static_cast<double>(days_forward) * record.slope + record.intercept;
  engine.Trace("FC Value = " + DoubleText(record.fcValue), 3);
  engine.Trace("Trend Slope = " + DoubleText(record.slope), 3);
  engine.Trace("Trend Intercept = " + DoubleText(record.intercept), 3);
  engine.Trace("Trend Confidence = " + DoubleText(record.confidence), 3);
}

}  // namespace

std::string DoubleText(double value) { return data::Value(value).ToText(); }

void AccumulateSample(QbObj& engine, TrendRecord& record, double x, double y, double sample_count) {
  record.dx = x;
  record.dy = y;
  record.sumX += x;
  record.sumXSquared += x * x;
  record.sumYSquared += y * y;
  record.sumXY += x * y;
  record.sumY += y;
  // Once per value of every forecast row: the numbers are only written out when traced.
  auto trace = [&engine](const char* label, double value) {
    engine.trace().WriteLazily(3, [label, value] { return label + DoubleText(value); });
  };
  trace("Sample Count = ", sample_count);
  trace("Sum of the x values = ", record.sumX);
  trace("Sum of the x squared = ", record.sumXSquared);
  trace("Sum of the y squared = ", record.sumYSquared);
  trace("Sum of the x * y = ", record.sumXY);
  trace("Sum of the y values = ", record.sumY);
}

std::int16_t CalculateRegression2(QbObj& engine, std::vector<TrendRecord>& records,
                                  double sample_count, std::int16_t last_column,
                                  std::int16_t days_forward) {
  engine.MarkOperationStart();
  if (sample_count < 2) {
    engine.Trace("CalculateRegression2: Total number of samples is less than 2.", 3);
    return kTooFewSamples;
  }
  size_t columns = std::min(records.size(), static_cast<size_t>(std::max(last_column + 1, 0)));
  if (columns == 0) return 0;
  const TrendRecord& first = records[0];
  Sums first_sums{sample_count, first.sumX, first.sumXSquared, 0, 0, 0};
  if (AbscissaSpread(first_sums) == 0) {
    // Every column shares the abscissas, so none can be fitted; zeros would pass for a fit.
    for (size_t j = 0; j < columns; ++j) {
      records[j].fcValue = -1;
      records[j].slope = records[j].intercept = records[j].confidence = kNotComputable;
    }
    engine.Trace(
        "CalculateRegression2: Data Point equal 0: values set to " + DoubleText(kNotComputable), 3);
    return 0;
  }
  for (size_t j = 0; j < columns; ++j) FitColumn(engine, records[j], sample_count, days_forward);
  return 0;
}

}  // namespace kelvan::engine
