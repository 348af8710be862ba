#include "platform/basic/numeric_text.h"

#include <gtest/gtest.h>

#include "platform/basic/raised_error.h"

namespace kelvan {
namespace {

struct LeadingNumberCase {
  const char* name;
  const char* text;
  double expected;
};

class LeadingNumberTest : public ::testing::TestWithParam<LeadingNumberCase> {};

TEST_P(LeadingNumberTest, ReadsTheNumberAtTheStart) {
  EXPECT_DOUBLE_EQ(LeadingNumber(GetParam().text), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, LeadingNumberTest,
                         ::testing::Values(LeadingNumberCase{"Whole", "42", 42},
                                           LeadingNumberCase{"BlanksThenWord", "  17 days", 17},
                                           LeadingNumberCase{"BlanksBetweenDigits", "1 2 3", 123},
                                           LeadingNumberCase{"NegativeThenLetter", "-5.5x", -5.5},
                                           LeadingNumberCase{"NoDigits", "abc", 0},
                                           LeadingNumberCase{"Empty", "", 0},
                                           LeadingNumberCase{"Exponent", "2.5e2", 250},
                                           LeadingNumberCase{"ExponentWithoutDigits", "3e", 3},
                                           LeadingNumberCase{"Hexadecimal", "&H1F", 31},
                                           LeadingNumberCase{"Octal", "&o17", 15},
                                           LeadingNumberCase{"SecondPoint", "1.2.3", 1.2},
                                           LeadingNumberCase{"PlusSign", "+7", 7}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RoundingTest, HalvesGoToTheEvenNeighbour) {
  EXPECT_EQ(RoundToInt16(0.5), 0);
  EXPECT_EQ(RoundToInt16(1.5), 2);
  EXPECT_EQ(RoundToInt16(2.5), 2);
  EXPECT_EQ(RoundToInt16(-2.5), -2);
  EXPECT_EQ(RoundToInt16(2.5000001), 3);
  EXPECT_EQ(RoundToInt32(1234567.5), 1234568);
  EXPECT_EQ(RoundToInt32(-0.4), 0);
}

TEST(RoundingTest, OutOfRangeRaisesOverflow) {
  EXPECT_EQ(RoundToInt16(32767.4), 32767);
  EXPECT_EQ(RoundToInt16(-32768.5), -32768);  // half to even stays in range
  for (double value : {32767.5, -32769.0, 1e10}) {
    try {
      RoundToInt16(value);
      FAIL() << value;
    } catch (const RaisedError& e) {
      EXPECT_EQ(e.Number(), kErrOverflow);
    }
  }
  EXPECT_THROW(RoundToInt32(2147483647.5), RaisedError);
  EXPECT_THROW(RoundToInt32(0.0 / 0.0), RaisedError);
  EXPECT_EQ(RoundToInt32(-2147483648.0), -2147483647 - 1);
}

}  // namespace
}  // namespace kelvan
