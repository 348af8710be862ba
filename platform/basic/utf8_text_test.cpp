#include "platform/basic/utf8_text.h"

#include <gtest/gtest.h>

namespace kelvan {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

struct Repair {
  std::string bytes, expected;
};

class ValidUtf8Test : public ::testing::TestWithParam<Repair> {};

TEST_P(ValidUtf8Test, ReplacesEachIllFormedSequenceOnce) {
  EXPECT_EQ(ValidUtf8(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ValidUtf8Test,
    ::testing::Values(Repair{"Zürich 東京 \xF0\x9F\x92\xBE",
                             "Zürich 東京 \xF0\x9F\x92\xBE"},  // valid stays
                      Repair{"a\xFF"
                             "b",
                             "a" + kFffd + "b"},         // stray byte
                      Repair{"a\xE6\x9D", "a" + kFffd},  // a character cut at the end
                      Repair{"\xE6\x9D"
                             "b",
                             kFffd + "b"},                            // cut, then ASCII
                      Repair{"\xC0\xAF", kFffd + kFffd},              // overlong: each byte apart
                      Repair{"\xED\xA0\x80", kFffd + kFffd + kFffd},  // a surrogate
                      Repair{"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // beyond U+10FFFF
                      Repair{"\x80\x80", kFffd + kFffd}));  // lone continuations

TEST(Utf8CutTest, CountsAndCutsByCharacters) {
  const std::string text =
      "e\xCC\x81"
      "東\xF0\x9F\x92\xBE"
      "x";  // e, combining mark, 東, emoji, x
  EXPECT_EQ(Utf8Length(text), 5u);
  EXPECT_EQ(Utf8Prefix(text, 3),
            "e\xCC\x81"
            "東");
  EXPECT_EQ(Utf8Prefix(text, 4),
            "e\xCC\x81"
            "東\xF0\x9F\x92\xBE");
  EXPECT_EQ(Utf8Prefix(text, 0), "");
  EXPECT_EQ(Utf8Prefix(text, 50), text);
}

}  // namespace
}  // namespace kelvan
