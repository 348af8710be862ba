#include "vltsim/driver/value_convert.h"

#include <gtest/gtest.h>
#include <sqlext.h>
#include <sqlite3.h>

#include <tuple>

#include "platform/basic/clock.h"
#include "platform/basic/raised_error.h"
#include "tests/support/test_names.h"
#include "vltsim/driver/column_type.h"

namespace kelvan::vltsim {
namespace {

struct DateTimeCase {
  const char* text;
  bool valid;
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  SQLUINTEGER fraction_ns = 0;
};

class ParseDateTimeTextTest : public ::testing::TestWithParam<DateTimeCase> {};

TEST_P(ParseDateTimeTextTest, ReadsOrRejects) {
  const DateTimeCase& c = GetParam();
  auto parts = ParseDateTimeText(c.text);
  ASSERT_EQ(parts.has_value(), c.valid) << c.text;
  if (!c.valid) return;
  EXPECT_EQ(parts->year, c.year);
  EXPECT_EQ(parts->month, c.month);
  EXPECT_EQ(parts->day, c.day);
  EXPECT_EQ(parts->hour, c.hour);
  EXPECT_EQ(parts->minute, c.minute);
  EXPECT_EQ(parts->second, c.second);
  EXPECT_EQ(parts->fraction_ns, c.fraction_ns);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ParseDateTimeTextTest,
    ::testing::Values(
        DateTimeCase{"2026-12-06 13:45:07", true, 2026, 12, 6, 13, 45, 7, 0},
        DateTimeCase{"2026-12-06 13:45:07.25", true, 2026, 12, 6, 13, 45, 7, 250000000},
        DateTimeCase{"2026-12-06T00:00:00.000000001", true, 2026, 12, 6, 0, 0, 0, 1},
        DateTimeCase{" 2024-02-29 ", true, 2024, 2, 29, 0, 0, 0, 0},
        DateTimeCase{"23:59:59", true, 0, 0, 0, 23, 59, 59, 0},
        DateTimeCase{"2000-02-29", true, 2000, 2, 29, 0, 0, 0, 0},
        DateTimeCase{"1900-02-29", false}, DateTimeCase{"2023-02-29", false},
        DateTimeCase{"2024-02-30 25:00:00", false}, DateTimeCase{"2024-04-31", false},
        DateTimeCase{"2024-01-01 24:00:00", false}, DateTimeCase{"2024-01-01 10:60:00", false},
        DateTimeCase{"2024-01-01 10:00", false}, DateTimeCase{"2024-01-01 10:00:00.", false},
        DateTimeCase{"2024-01-01 10:00:00.1234567890", false}, DateTimeCase{"2024-1-01", false},
        DateTimeCase{"abc", false}, DateTimeCase{"", false}),
    [](const auto& info) { return kelvan::testing::NameFromText(info.param.text); });

SourceValue Text(std::string_view text) { return {SQLITE_TEXT, 0, 0, text}; }
SourceValue Integer(long long value) { return {SQLITE_INTEGER, value, 0, ""}; }
SourceValue Real(double value) { return {SQLITE_FLOAT, 0, value, ""}; }

std::string FailureState(const SourceValue& value, SQLSMALLINT c_type) {
  char buffer[64];
  try {
    ConvertFixed(value, c_type, buffer);
  } catch (const RaisedError& e) {
    return e.SqlState();
  }
  return "OK";
}

TEST(ConvertFixedTest, NumbersArriveInTheirCTypes) {
  SQLINTEGER long_value = 0;
  EXPECT_FALSE(ConvertFixed(Integer(-2147483648LL), SQL_C_LONG, &long_value).fraction_dropped);
  EXPECT_EQ(long_value, -2147483647 - 1);
  ConvertFixed(Text(" 42 "), SQL_C_LONG, &long_value);
  EXPECT_EQ(long_value, 42);
  EXPECT_TRUE(ConvertFixed(Real(7.9), SQL_C_LONG, &long_value).fraction_dropped);
  EXPECT_EQ(long_value, 7);
  SQLSMALLINT short_value = 0;
  ConvertFixed(Integer(-32768), SQL_C_SHORT, &short_value);
  EXPECT_EQ(short_value, -32768);
  SQLDOUBLE double_value = 0;
  ConvertFixed(Text("1.5e3"), SQL_C_DOUBLE, &double_value);
  EXPECT_DOUBLE_EQ(double_value, 1500.0);
  SQLREAL float_value = 0;
  EXPECT_EQ(ConvertFixed(Integer(3), SQL_C_FLOAT, &float_value).length, 4);
  EXPECT_FLOAT_EQ(float_value, 3.0f);
}

TEST(ConvertFixedTest, DateTimesArriveAsStructs) {
  TIMESTAMP_STRUCT ts{};
  EXPECT_EQ(ConvertFixed(Text("2026-12-06 13:45:07.5"), SQL_C_TIMESTAMP, &ts).length,
            static_cast<SQLLEN>(sizeof ts));
  EXPECT_EQ(ts.year, 2026);
  EXPECT_EQ(ts.month, 12);
  EXPECT_EQ(ts.day, 6);
  EXPECT_EQ(ts.hour, 13);
  EXPECT_EQ(ts.minute, 45);
  EXPECT_EQ(ts.second, 7);
  EXPECT_EQ(ts.fraction, 500000000u);
  DATE_STRUCT date{};
  EXPECT_TRUE(ConvertFixed(Text("2026-12-06 13:45:07"), SQL_C_TYPE_DATE, &date).fraction_dropped);
  EXPECT_EQ(date.day, 6);
  TIME_STRUCT time{};
  EXPECT_FALSE(ConvertFixed(Text("2026-12-06 13:45:07"), SQL_C_TIME, &time).fraction_dropped);
  EXPECT_EQ(time.hour, 13);
  EXPECT_EQ(time.second, 7);
}

// A date reads as its midnight; a time as that time today.
TEST(ConvertFixedTest, DatesAndTimesWidenIntoTimestamps) {
  const FixedClock clock(Timestamp{2027, 1, 31, 23, 59, 0});
  const ScopedClock fixed(clock);
  TIMESTAMP_STRUCT ts{};
  ConvertFixed(Text("2026-12-06"), SQL_C_TYPE_TIMESTAMP, &ts);
  EXPECT_EQ(std::make_tuple(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second),
            std::make_tuple(2026, 12, 6, 0, 0, 0));
  ConvertFixed(Text("04:07:09"), SQL_C_TIMESTAMP, &ts);
  EXPECT_EQ(std::make_tuple(ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second, ts.fraction),
            std::make_tuple(2027, 1, 31, 4, 7, 9, 0u));
}

TEST(ConvertFixedTest, FailuresCarryTheirStates) {
  EXPECT_EQ(FailureState(Text("abc"), SQL_C_LONG), "22018");
  EXPECT_EQ(FailureState(Text(""), SQL_C_DOUBLE), "22018");
  EXPECT_EQ(FailureState(Integer(2147483648LL), SQL_C_LONG), "22003");
  EXPECT_EQ(FailureState(Integer(32768), SQL_C_SHORT), "22003");
  EXPECT_EQ(FailureState(Integer(-1), SQL_C_ULONG), "22003");
  EXPECT_EQ(FailureState(Real(1e40), SQL_C_FLOAT), "22003");
  EXPECT_EQ(FailureState(Text("2024-02-30 00:00:00"), SQL_C_TIMESTAMP), "22007");
  EXPECT_EQ(FailureState(Text("12:00:61"), SQL_C_TIMESTAMP), "22007");
  EXPECT_EQ(FailureState(Integer(20240101), SQL_C_TIMESTAMP), "07006");
}

struct DeclaredCase {
  const char* declared;
  SQLSMALLINT sql_type;
  SQLULEN size;
  SQLSMALLINT digits;
};

class TypeFromDeclaredTest : public ::testing::TestWithParam<DeclaredCase> {};

TEST_P(TypeFromDeclaredTest, MapsDeclarationToOdbcType) {
  ColumnType type = TypeFromDeclared(GetParam().declared);
  EXPECT_EQ(type.sql_type, GetParam().sql_type) << GetParam().declared;
  EXPECT_EQ(type.size, GetParam().size) << GetParam().declared;
  EXPECT_EQ(type.digits, GetParam().digits) << GetParam().declared;
}

INSTANTIATE_TEST_SUITE_P(Cases, TypeFromDeclaredTest,
                         ::testing::Values(DeclaredCase{"decimal ( 12 , 2 )", 3, 12, 2},
                                           DeclaredCase{"NUMERIC(10)", 2, 10, 0},
                                           DeclaredCase{"double  precision", 8, 15, 0},
                                           DeclaredCase{"character varying(40)", 12, 40, 0},
                                           DeclaredCase{"CHAR", 1, 1, 0},
                                           DeclaredCase{"TIMESTAMP(3)", 93, 23, 3},
                                           DeclaredCase{"GEOMETRY", 12, 255, 0}),
                         [](const auto& info) {
                           return kelvan::testing::NameFromText(info.param.declared);
                         });

TEST(TypeFromValueTest, ComputedColumnsAreTypedByTheirFirstValue) {
  EXPECT_EQ(TypeFromValue(SQLITE_TEXT, 0, "2026-12-06 00:00:00").sql_type, SQL_TYPE_TIMESTAMP);
  EXPECT_EQ(TypeFromValue(SQLITE_TEXT, 0, "2026-12-06").sql_type, SQL_TYPE_DATE);
  EXPECT_EQ(TypeFromValue(SQLITE_TEXT, 0, "NODE1").sql_type, SQL_VARCHAR);
  EXPECT_EQ(TypeFromValue(SQLITE_INTEGER, 5000000000LL, "").sql_type, SQL_BIGINT);
  EXPECT_EQ(TypeFromValue(SQLITE_NULL, 0, "").size, 255u);
}

}  // namespace
}  // namespace kelvan::vltsim
