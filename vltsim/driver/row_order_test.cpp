#include "vltsim/driver/row_order.h"

#include <gtest/gtest.h>

namespace kelvan::vltsim {
namespace {

struct OrderCase {
  const char* name;
  const char* sql;
  bool ordered;
};

class OuterOrderBy : public ::testing::TestWithParam<OrderCase> {};

TEST_P(OuterOrderBy, CountsOnlyTheOutermostLevelOutsideTextAndComments) {
  EXPECT_EQ(HasOuterOrderBy(GetParam().sql), GetParam().ordered) << GetParam().sql;
  EXPECT_EQ(ScrambledQuery(GetParam().sql).has_value(), !GetParam().ordered) << GetParam().sql;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OuterOrderBy,
    ::testing::Values(
        OrderCase{"Unordered", "SELECT * from SUMMARY where END_TIME > '2026-01-01 00:00:00'",
                  false},
        OrderCase{"Ordered", "SELECT * from SUMMARY order by END_TIME", true},
        OrderCase{"OrderedUnion", "SELECT A FROM T UNION SELECT A FROM U ORDER BY 1;", true},
        OrderCase{"OrderedAfterDoubledQuote", "SELECT * FROM T WHERE NAME = 'it''s' ORDER BY NAME",
                  true},
        OrderCase{"OrderedAfterComment", "SELECT * FROM T\n-- the ORDER BY is below\nORDER\tBY A",
                  true},
        OrderCase{"OrderedOnlyInSubquery", "SELECT * FROM (SELECT * FROM T ORDER BY A)", false},
        OrderCase{"OrderedOnlyInWindow", "SELECT row_number() OVER (ORDER BY A) FROM T", false},
        OrderCase{"OrderByInText", "SELECT * FROM T WHERE NAME = 'ORDER BY A'", false},
        OrderCase{"OrderAsQuotedName", "SELECT \"ORDER\", [ORDER], `ORDER` FROM T", false},
        OrderCase{"WordsContainingOrder", "SELECT BORDER, ORDERS, ORDER_NO FROM T", false},
        OrderCase{"OrderByInLineComment", "SELECT * FROM T -- ORDER BY A", false},
        OrderCase{"OrderByInBlockComment", "SELECT * FROM T /* ORDER BY A */", false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvan::vltsim
