#include "report/capacity_fit.h"

#include <gtest/gtest.h>

namespace kelvan::report {
namespace {

const Timestamp kToday{2026, 6, 15, 12, 0, 0};

// Daily snapshots at 01:30 ending today: `values` oldest first.
Series Daily(const std::vector<double>& values) {
  Series series;
  for (size_t i = 0; i < values.size(); ++i) {
    Timestamp day = AddDays(kToday, static_cast<int>(i) - static_cast<int>(values.size() - 1));
    day.hour = 1, day.minute = 30, day.second = 0;
    series.push_back({day, values[i]});
  }
  return series;
}

struct FitCase {
  std::string name;
  std::vector<double> values;
  int sample_days;
  Outlook outlook;
  std::optional<int> days_to_full;  // worked out by hand from the values
  Mark mark;
  std::string text;
};

class CapacityFitTest : public ::testing::TestWithParam<FitCase> {};

TEST_P(CapacityFitTest, DaysToFullFromTheTrendOfTheSampleWindow) {
  const FitCase& c = GetParam();
  TrendFitter fitter;
  const CapacityForecast forecast = fitter.Forecast(Daily(c.values), c.sample_days, kToday);
  EXPECT_EQ(forecast.outlook, c.outlook);
  EXPECT_EQ(forecast.mark, c.mark);
  EXPECT_EQ(OutlookText(forecast).substr(0, c.text.size()), c.text);
  if (c.days_to_full) {
    ASSERT_TRUE(forecast.full);
    EXPECT_EQ(forecast.days_to_full, *c.days_to_full);
    if (*c.days_to_full > 0) {
      EXPECT_EQ(DaysBetween(kToday, *forecast.full), *c.days_to_full);
    }
  } else {
    EXPECT_FALSE(forecast.full);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CapacityFitTest,
    ::testing::Values(
        // 68 today at 2 a day: 100 in 16 days.
        FitCase{"steady_growth_is_red",
                {50, 52, 54, 56, 58, 60, 62, 64, 66, 68},
                30,
                Outlook::kFills,
                16,
                Mark::kRed,
                "in 16 days"},
        // 40 today at 1 a day: 60 days, amber.
        FitCase{"slower_growth_is_amber",
                {36, 37, 38, 39, 40},
                30,
                Outlook::kFills,
                60,
                Mark::kAmber,
                "in 60 days"},
        // 10 today at 0.5 a day: 180 days.
        FitCase{"slow_growth_is_green",
                {9, 9.5, 10},
                30,
                Outlook::kFills,
                180,
                Mark::kGreen,
                "in 180 days"},
        // Only the last 3 days (4 snapshots) are fitted: 90, 92, 94, 96 reach 100 in 2 days.
        FitCase{"only_the_sample_window_counts",
                {10, 10, 10, 10, 90, 92, 94, 96},
                3,
                Outlook::kFills,
                2,
                Mark::kRed,
                "in 2 days"},
        FitCase{"past_full_is_full_now",
                {96, 99, 102, 105},
                30,
                Outlook::kFills,
                0,
                Mark::kRed,
                "full now"},
        FitCase{"shrinking_is_not_growing",
                {60, 58, 57, 55},
                30,
                Outlook::kNotGrowing,
                std::nullopt,
                Mark::kGreen,
                "not growing"},
        FitCase{"flat_is_not_growing",
                {40, 40, 40, 40},
                30,
                Outlook::kNotGrowing,
                std::nullopt,
                Mark::kGreen,
                "not growing"},
        FitCase{"two_days_are_too_few",
                {40, 60},
                30,
                Outlook::kNoForecast,
                std::nullopt,
                Mark::kNone,
                "needs at least 3 days of snapshots"},
        // Rising 1 a day with a swing of 10 (|r| 0.37): full 9.7 days after today 01:30.
        FitCase{"uncertain_within_30_days_is_amber",
                {80, 91, 82, 93, 84, 95, 86},
                30,
                Outlook::kFills,
                9,
                Mark::kAmber,
                "in 9 days"},
        // 4/7 a day with a swing of 20 (|r| 0.13): 63.9 days, amber were it certain.
        FitCase{"uncertain_within_90_days_is_green",
                {70, 50, 70, 50, 53, 73, 53, 73},
                30,
                Outlook::kFills,
                63,
                Mark::kGreen,
                "in 63 days"},
        FitCase{"hardly_growing_is_beyond_the_horizon",
                {10, 10.001, 10.002},
                30,
                Outlook::kFills,
                std::nullopt,
                Mark::kGreen,
                "not within 10 years"}),
    [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace kelvan::report
