#include "engine/regression.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

#include "engine/engine_test_support.h"
#include "engine/qb_obj.h"

namespace kelvan::engine::testing {
namespace {

using Points = std::vector<std::pair<double, double>>;

class RegressionTest : public ::testing::Test {
 protected:
  RegressionTest() { engine_.SetTrace(3, trace_.string()); }

  // One record per column; every column of a point list shares its abscissas.
  std::vector<TrendRecord> Accumulate(const std::vector<Points>& columns) {
    std::vector<TrendRecord> records(columns.size());
    for (size_t row = 0; row < columns[0].size(); ++row) {
      for (size_t j = 0; j < columns.size(); ++j) {
        AccumulateSample(engine_, records[j], columns[j][row].first, columns[j][row].second,
                         static_cast<double>(row));
      }
    }
    return records;
  }
  std::int16_t Fit(std::vector<TrendRecord>& records, double n, std::int16_t days) {
    return CalculateRegression2(engine_, records, n, static_cast<std::int16_t>(records.size() - 1),
                                days);
  }
  bool Traced(const std::string& line) {
    std::vector<std::string> lines = ReadLines(trace_);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }

  std::filesystem::path trace_ =
      kelvan::testing::OdbcSandbox::Instance().MakeTempDir("regression") / "run.htm";
  QbObj engine_;
};

struct FitCase {
  const char* name;
  Points points;
  std::int16_t days;
  double slope, intercept, confidence, fc;
};

class RegressionFitTest : public RegressionTest, public ::testing::WithParamInterface<FitCase> {};

// Hand computations, with n, Sx, Sxx, Sy, Syy, Sxy:
const FitCase kFitCases[] = {
    // 2, 4, 10, 10, 58, 24: slope 8/4, intercept 5 - 2·2, confidence 8/(2·4).
    {"TwoSamplesGiveTheLineThroughThem", {{1, 3}, {3, 7}}, 10, 2, 1, 1, 21},
    // y = 10 - 1.5x: 5, 10, 30, 35, 267.5, 55: slope -75/50, confidence 75/√(50·112.5).
    {"ExactLineIsRecovered", {{0, 10}, {1, 8.5}, {2, 7}, {3, 5.5}, {4, 4}}, 30, -1.5, 10, 1, -35},
    // 3, 3, 5, 11, 45, 8: slope -9/6, intercept 11/3 + 1.5, confidence 9/√(6·14).
    {"DecreasingSeriesHasPositiveConfidence",
     {{0, 5}, {1, 4}, {2, 2}},
     2,
     -1.5,
     31.0 / 6,
     9 / std::sqrt(84.0),
     31.0 / 6 - 3},
    // 4, 6, 14, 16, 64, 24: slope 0/20, intercept 4; n·Syy − Sy² = 0 divides by zero.
    {"ConstantColumnHasNoConfidence", {{0, 4}, {1, 4}, {2, 4}, {3, 4}}, 7, 0, 4, kNotComputable, 4},
    // Σxy overflows to -inf and Σy² to inf: both statistics fail, fcValue is made from the
    // sentinels: 10·(-999999) - 999999.
    {"OverflowGivesSentinels",
     {{1, 1e308}, {2, -1e308}},
     10,
     kNotComputable,
     kNotComputable,
     kNotComputable,
     -10999989},
};

TEST_P(RegressionFitTest, FitsSlopeInterceptConfidenceAndForecast) {
  const FitCase& c = GetParam();
  std::vector<TrendRecord> records = Accumulate({c.points});
  ASSERT_EQ(Fit(records, static_cast<double>(c.points.size()), c.days), 0);
  EXPECT_NEAR(records[0].slope, c.slope, 1e-12);
  EXPECT_NEAR(records[0].intercept, c.intercept, 1e-12);
  EXPECT_NEAR(records[0].confidence, c.confidence, 1e-12);
  EXPECT_NEAR(records[0].fcValue, c.fc, 1e-9);
}

INSTANTIATE_TEST_SUITE_P(Cases, RegressionFitTest, ::testing::ValuesIn(kFitCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RegressionTest, FailedStatisticsAreTracedAsSentinels) {
  std::vector<TrendRecord> overflow = Accumulate({{{1, 1e308}, {2, -1e308}}});
  Fit(overflow, 2, 10);
  EXPECT_TRUE(Traced("Trend intercept and slope is set to -999999 because of error condition,"));
  EXPECT_TRUE(Traced("Trend Confidence is set to -999999 because of error condition."));
  EXPECT_TRUE(Traced("Trend Slope = -999999"));
  EXPECT_TRUE(Traced("FC Value = -10999989"));
}

TEST_F(RegressionTest, TwoSamplesTraceTheirSumsAndFit) {
  std::vector<TrendRecord> records = Accumulate({{{1.5, 2}, {2.5, 4}}});
  Fit(records, 2, 10);
  // Second row: Σx 4, Σx² 2.25 + 6.25, Σy² 4 + 16, Σxy 3 + 10, Σy 6; slope 2/1 (D = 17 - 16),
  // intercept 3 - 2·2, forecast 2·10 - 1.
  std::vector<std::string> lines = ReadLines(trace_);
  std::vector<std::string> tail(lines.end() - 10, lines.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "Sample Count = 1", "Sum of the x values = 4", "Sum of the x squared = 8.5",
                      "Sum of the y squared = 20", "Sum of the x * y = 13",
                      "Sum of the y values = 6", "FC Value = 19", "Trend Slope = 2",
                      "Trend Intercept = -1", "Trend Confidence = 1"}));
}

TEST_F(RegressionTest, FewerThanTwoSamplesLeaveTheRecordsAlone) {
  for (double n : {0.0, 1.0}) {
    std::vector<TrendRecord> records = Accumulate({{{3, 9}}});
    TrendRecord before = records[0];
    EXPECT_EQ(Fit(records, n, 5), kTooFewSamples);
    EXPECT_EQ(records[0].slope, before.slope);
    EXPECT_EQ(records[0].fcValue, before.fcValue);
    EXPECT_EQ(records[0].sumX, 3);
  }
  EXPECT_TRUE(Traced("CalculateRegression2: Total number of samples is less than 2."));
}

TEST_F(RegressionTest, EqualAbscissasMarkEveryColumnUnfitted) {
  // x = 2 for all: n·Σx² − (Σx)² = 2·8 − 16 = 0.
  std::vector<TrendRecord> records = Accumulate({{{2, 5}, {2, 7}}, {{2, 1}, {2, 3}}});
  ASSERT_EQ(Fit(records, 2, 5), 0);
  for (const TrendRecord& record : records) {
    EXPECT_EQ(record.fcValue, -1);
    EXPECT_EQ(record.slope, kNotComputable);
    EXPECT_EQ(record.intercept, kNotComputable);
    EXPECT_EQ(record.confidence, kNotComputable);
  }
  EXPECT_TRUE(Traced("CalculateRegression2: Data Point equal 0: values set to -999999"));
}

// Against a mean-centred least-squares computation, over fractional abscissas and two columns.
TEST_F(RegressionTest, AgreesWithCentredLeastSquares) {
  Points a, b;
  for (int i = 0; i < 30; ++i) {
    double x = i * 0.75 + (i % 4) / 86400.0;
    a.push_back({x, 1000 + 3.25 * x + std::sin(i * 1.7) * 40});
    b.push_back({x, 90 - 0.5 * x + ((i * 37) % 11) - 5});
  }
  std::vector<TrendRecord> records = Accumulate({a, b});
  ASSERT_EQ(Fit(records, 30, 14), 0);
  for (size_t j = 0; j < 2; ++j) {
    const Points& p = j == 0 ? a : b;
    double mx = 0, my = 0;
    for (auto [x, y] : p) mx += x / p.size(), my += y / p.size();
    double cxy = 0, cxx = 0, cyy = 0;
    for (auto [x, y] : p)
      cxy += (x - mx) * (y - my), cxx += (x - mx) * (x - mx), cyy += (y - my) * (y - my);
    double slope = cxy / cxx, intercept = my - slope * mx;
    EXPECT_NEAR(records[j].slope, slope, 1e-9 * std::fabs(slope));
    EXPECT_NEAR(records[j].intercept, intercept, 1e-9 * std::fabs(intercept));
    EXPECT_NEAR(records[j].confidence, std::fabs(cxy) / std::sqrt(cxx * cyy), 1e-9);
    EXPECT_NEAR(records[j].fcValue, intercept + 14 * slope, 1e-9 * std::fabs(intercept));
  }
}

}  // namespace
}  // namespace kelvan::engine::testing
