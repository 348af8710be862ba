#include "platform/data/value.h"

#include <gtest/gtest.h>

#include "platform/basic/raised_error.h"

namespace kelvan::data {
namespace {

TEST(ValueTest, NumbersAndNumericTextsConvert) {
  EXPECT_DOUBLE_EQ(Value(std::int16_t{-7}).ToDouble(), -7.0);
  EXPECT_DOUBLE_EQ(Value(1.5f).ToDouble(), 1.5);
  EXPECT_DOUBLE_EQ(Value(" 9000000000 ").ToDouble(), 9e9);
  EXPECT_EQ(Value("2.5").ToInt32(), 2);  // halves to even
  EXPECT_EQ(Value(3.5).ToInt32(), 4);
  EXPECT_THROW(Value(" 12abc").ToDouble(), RaisedError);
  EXPECT_THROW(Value("").ToDouble(), RaisedError);
  EXPECT_THROW(Value().ToDouble(), RaisedError);
  try {
    Value("9000000000").ToInt32();
    FAIL() << "no overflow";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.Number(), kErrOverflow);
  }
}

TEST(ValueTest, TextFormsAreShortest) {
  EXPECT_EQ(Value().ToText(), "");
  EXPECT_EQ(Value(std::int32_t{-70000}).ToText(), "-70000");
  EXPECT_EQ(Value(0.1).ToText(), "0.1");
  EXPECT_EQ(Value(2.0).ToText(), "2");
  EXPECT_EQ(Value(1.0 / 3).ToText(), "0.333333333333333");
  EXPECT_EQ(Value(0.1f).ToText(), "0.1");
  EXPECT_EQ(Value("as is ").ToText(), "as is ");
}

TEST(ValueTest, KindsStayDistinct) {
  EXPECT_TRUE(Value().IsNull());
  EXPECT_NE(Value(std::int16_t{1}), Value(std::int32_t{1}));
  EXPECT_EQ(Value(std::int32_t{1}).kind(), Value::Kind::kInt32);
  EXPECT_THROW(Value(1.0).Text(), RaisedError);
  EXPECT_EQ(Value("t").Text(), "t");
}

}  // namespace
}  // namespace kelvan::data
