#include "platform/basic/timestamp.h"

#include <gtest/gtest.h>

#include "platform/basic/clock.h"

namespace kelvan {
namespace {

TEST(TimestampTextTest, ParsesTheForms) {
  auto ts = ParseTimestampText("2026-12-06 23:59:07");
  ASSERT_TRUE(ts);
  EXPECT_EQ(*ts, (Timestamp{2026, 12, 6, 23, 59, 7}));
  EXPECT_EQ(*ParseTimestampText("2026-12-06 23:59:07.250"), (Timestamp{2026, 12, 6, 23, 59, 7}));
  EXPECT_EQ(*ParseTimestampText("2024-02-29"), (Timestamp{2024, 2, 29, 0, 0, 0}));
  EXPECT_EQ(*ParseTimestampText("2024-02-29T01:02:03"), (Timestamp{2024, 2, 29, 1, 2, 3}));
}

TEST(TimestampTextTest, RefusesWhatIsNoTimestamp) {
  for (const char* text :
       {"", "2023-02-29", "2026-13-01", "2026-12-06 24:00:00", "2026-12-06 12:60:00", "2026/12/06",
        "2026-12-06 1:02:03", "2026-12-06 01:02:03x", "yesterday"}) {
    EXPECT_FALSE(ParseTimestampText(text)) << text;
  }
}

TEST(TimestampTextTest, FormatsWithLeadingZeros) {
  Timestamp ts{987, 1, 2, 3, 4, 5};
  EXPECT_EQ(FormatTimestamp(ts), "0987-01-02 03:04:05");
  EXPECT_EQ(FormatDate(ts), "0987-01-02");
  EXPECT_EQ(FormatTime(ts), "03:04:05");
  // Fields out of their width are written whole, not cut.
  EXPECT_EQ(FormatTimestamp({12345, 12, 31, 23, 59, 59}), "12345-12-31 23:59:59");
  EXPECT_EQ(FormatDate({-5, 1, 1}), "-005-01-01");
}

TEST(DaySerialTest, CountsDaysFromTheEpochWithTimeAsFraction) {
  EXPECT_DOUBLE_EQ(ToDaySerial(Timestamp{1899, 12, 30, 0, 0, 0}), 0.0);
  EXPECT_DOUBLE_EQ(ToDaySerial(Timestamp{1900, 1, 1, 12, 0, 0}), 2.5);
  // 2000-01-01 is day 36526 of the serial count.
  EXPECT_DOUBLE_EQ(ToDaySerial(Timestamp{2000, 1, 1, 6, 0, 0}), 36526.25);
  Timestamp ts{2026, 3, 1, 13, 14, 15};
  EXPECT_EQ(FromDaySerial(ToDaySerial(ts)), ts);
  EXPECT_EQ(FromDaySerial(ToDaySerial(ts) - 1), (Timestamp{2026, 2, 28, 13, 14, 15}));
}

TEST(DaySerialTest, DayArithmeticCrossesMonthsYearsAndLeapDays) {
  EXPECT_EQ(AddDays(Timestamp{2024, 3, 1, 8, 0, 0}, -1), (Timestamp{2024, 2, 29, 8, 0, 0}));
  EXPECT_EQ(AddDays(Timestamp{2026, 12, 31, 0, 0, 0}, 1), (Timestamp{2027, 1, 1, 0, 0, 0}));
  EXPECT_EQ(StartOfDay(Timestamp{2026, 5, 5, 5, 5, 5}), (Timestamp{2026, 5, 5, 0, 0, 0}));
  EXPECT_DOUBLE_EQ(SecondsSinceMidnight(Timestamp{2026, 5, 5, 1, 2, 3}), 3723.0);
}

TEST(ClockTest, ScopedClockFixesNowAndRestoresIt) {
  FixedClock fixed(Timestamp{2026, 12, 7, 23, 59, 30});
  {
    ScopedClock scope(fixed);
    EXPECT_EQ(CurrentClock().Now(), (Timestamp{2026, 12, 7, 23, 59, 30}));
    fixed.AdvanceSeconds(45);
    EXPECT_EQ(CurrentClock().Now(), (Timestamp{2026, 12, 8, 0, 0, 15}));
    EXPECT_DOUBLE_EQ(CurrentClock().SecondsSinceMidnight(), 15.0);
  }
  EXPECT_NE(&CurrentClock(), &fixed);
}

// Intervals are measured on the steady reading, which a jump of the wall clock leaves alone.
TEST(ClockTest, SettingTheWallClockLeavesTheSteadyReading) {
  FixedClock fixed(Timestamp{2026, 10, 25, 2, 59, 50});
  fixed.AdvanceSeconds(10);
  EXPECT_DOUBLE_EQ(fixed.SteadySeconds(), 10.0);
  fixed.Set(Timestamp{2026, 10, 25, 2, 0, 0});
  fixed.AdvanceSeconds(5);
  EXPECT_EQ(fixed.Now(), (Timestamp{2026, 10, 25, 2, 0, 5}));
  EXPECT_DOUBLE_EQ(fixed.SteadySeconds(), 15.0);
}

}  // namespace
}  // namespace kelvan
