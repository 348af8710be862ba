#include "vltsim/driver/sql_escapes.h"

#include <gtest/gtest.h>

#include "tests/support/test_names.h"

namespace kelvan::vltsim {
namespace {

struct EscapeCase {
  const char* input;
  const char* expected;
};

class TranslateEscapesTest : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(TranslateEscapesTest, GivesSqliteText) {
  EXPECT_EQ(TranslateEscapes(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TranslateEscapesTest,
    ::testing::Values(
        EscapeCase{"{ts '2026-12-06 00:00:00'}", "'2026-12-06 00:00:00'"},
        EscapeCase{"SELECT * from SUMMARY where END_TIME >= {ts '2026-12-06 00:00:00'} order by "
                   "END_TIME",
                   "SELECT * from SUMMARY where END_TIME >= '2026-12-06 00:00:00' order by "
                   "END_TIME"},
        EscapeCase{"a={d '2024-02-29'} and b={t '23:59:59'}", "a='2024-02-29' and b='23:59:59'"},
        EscapeCase{"{ TS  '2026-01-01 10:00:00' }", "'2026-01-01 10:00:00'"},
        EscapeCase{"{Ts '1'}{D '2'}", "'1''2'"},
        // Escapes inside quoted text are data, not escapes.
        EscapeCase{"x = '{ts ''2026-01-01''}'", "x = '{ts ''2026-01-01''}'"},
        EscapeCase{"\"{d '1'}\"", "\"{d '1'}\""},
        // Other braces and malformed escapes pass through untouched.
        EscapeCase{"{fn UCASE(x)}", "{fn UCASE(x)}"}, EscapeCase{"{ts 2026}", "{ts 2026}"},
        EscapeCase{"{ts '2026-01-01'", "{ts '2026-01-01'"}, EscapeCase{"{tsx '1'}", "{tsx '1'}"},
        EscapeCase{"{ts '", "{ts '"}, EscapeCase{"", ""}),
    [](const auto& info) { return kelvan::testing::NameFromText(info.param.input); });

}  // namespace
}  // namespace kelvan::vltsim
