#include "vltsim/generator/civil_time.h"

#include <gtest/gtest.h>

#include "tests/support/test_names.h"

namespace kelvan::vltsim {
namespace {

struct KnownTime {
  const char* text;
  SimTime seconds;  // worked out by hand from days since 1970-01-01
};

class CivilTimeKnown : public ::testing::TestWithParam<KnownTime> {};

TEST_P(CivilTimeKnown, ParsesAndFormatsBothWays) {
  EXPECT_EQ(ParseTimestamp(GetParam().text), GetParam().seconds);
  EXPECT_EQ(FormatTimestamp(GetParam().seconds), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, CivilTimeKnown,
    ::testing::Values(KnownTime{"1970-01-01 00:00:00", 0},
                      KnownTime{"1970-01-02 01:01:01", 86400 + 3661},
                      // 2000 is a leap year: 10957 days to 2000-01-01, +59 to 29 February.
                      KnownTime{"2000-02-29 23:59:59", (10957 + 59) * 86400LL + 86399},
                      // 2026-03-01: 20513 days (56 years, 14 leap days, + Jan 31 + Feb 28).
                      KnownTime{"2026-03-01 12:00:00", 20513 * 86400LL + 43200}),
    [](const auto& info) { return kelvan::testing::NameFromText(info.param.text); });

class CivilTimeRejected : public ::testing::TestWithParam<const char*> {};

TEST_P(CivilTimeRejected, IsNotATimestamp) { EXPECT_FALSE(ParseTimestamp(GetParam())); }

INSTANTIATE_TEST_SUITE_P(Texts, CivilTimeRejected,
                         ::testing::Values("2026-02-29 00:00:00", "2100-02-29 00:00:00",
                                           "2026-04-31 10:00:00", "2026-13-01 10:00:00",
                                           "2026-01-01 24:00:00", "2026-01-01 10:60:00",
                                           "2026-01-01", "2026-01-01T10:00:00",
                                           "2026-01-01 10:00:00.5", "2026-1-01 10:00:00", ""),
                         [](const auto& info) {
                           return kelvan::testing::NameFromText(info.param);
                         });

TEST(CivilTime, DayNumberCountsWholeDaysBeforeTheEpochDownwards) {
  EXPECT_EQ(DayNumber(-1), -1);
  EXPECT_EQ(DayNumber(-86400), -1);
  EXPECT_EQ(DayNumber(86399), 0);
}

}  // namespace
}  // namespace kelvan::vltsim
