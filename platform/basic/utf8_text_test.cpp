#include "platform/basic/utf8_text.h"

#include <gtest/gtest.h>

namespace kelvan {
namespace {

const std::string kFffd = "\xEF\xBF\xBD";

struct Repair {
  std::string name, bytes, expected;
};

class ValidUtf8Test : public ::testing::TestWithParam<Repair> {};

TEST_P(ValidUtf8Test, ReplacesEachIllFormedSequenceOnce) {
  EXPECT_EQ(ValidUtf8(GetParam().bytes), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, ValidUtf8Test,
    ::testing::Values(Repair{"ValidStays", "Zürich 東京 \xF0\x9F\x92\xBE",
                             "Zürich 東京 \xF0\x9F\x92\xBE"},
                      Repair{"StrayByte",
                             "a\xFF"
                             "b",
                             "a" + kFffd + "b"},
                      Repair{"CharacterCutAtTheEnd", "a\xE6\x9D", "a" + kFffd},
                      Repair{"CutThenAscii",
                             "\xE6\x9D"
                             "b",
                             kFffd + "b"},
                      Repair{"OverlongEachByteApart", "\xC0\xAF", kFffd + kFffd},
                      Repair{"Surrogate", "\xED\xA0\x80", kFffd + kFffd + kFffd},
                      Repair{"BeyondU10FFFF", "\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},
                      Repair{"LoneContinuations", "\x80\x80", kFffd + kFffd}),
    [](const auto& info) { return info.param.name; });

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
