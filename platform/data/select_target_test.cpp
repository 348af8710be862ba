#include "platform/data/select_target.h"

#include <gtest/gtest.h>

#include "tests/support/test_names.h"

namespace kelvan::data {
namespace {

struct SelectCase {
  const char* sql;
  const char* table;  // nullptr: not a simple select
  const char* condition;
};

class SimpleSelectTest : public ::testing::TestWithParam<SelectCase> {};

TEST_P(SimpleSelectTest, FindsTableAndCondition) {
  auto target = ParseSimpleSelect(GetParam().sql);
  if (GetParam().table == nullptr) {
    EXPECT_FALSE(target) << GetParam().sql;
    return;
  }
  ASSERT_TRUE(target) << GetParam().sql;
  EXPECT_EQ(target->table, GetParam().table);
  EXPECT_EQ(target->condition, GetParam().condition);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SimpleSelectTest,
    ::testing::Values(
        SelectCase{"SELECT * from DW.SUMMARY where EXT_SERVER_NAME = 'S1' and END_TIME >= "
                   "'2024-01-01 00:00:00'",
                   "DW.SUMMARY", "EXT_SERVER_NAME = 'S1' and END_TIME >= '2024-01-01 00:00:00'"},
        SelectCase{"select a, b FROM t", "t", ""},
        SelectCase{"SELECT * from T where DATE_TIME>=TO_DATE('2024-01-01','YYYY') ", "T",
                   "DATE_TIME>=TO_DATE('2024-01-01','YYYY')"},
        // Keywords inside quotes belong to the literal.
        SelectCase{"SELECT * from T where NAME = 'x order by y' and STATUS <> 'Pending'", "T",
                   "NAME = 'x order by y' and STATUS <> 'Pending'"},
        SelectCase{"SELECT * from T where NAME = 'O''Brien''s'", "T", "NAME = 'O''Brien''s'"},
        SelectCase{"SELECT * from T where ID in (select ID from U order by ID)", "T",
                   "ID in (select ID from U order by ID)"},
        SelectCase{"SELECT max(END_TIME) as LAST_DATE from T where X = 1", nullptr, nullptr},
        SelectCase{"SELECT DISTINCT EXTRACT_DATE from T", nullptr, nullptr},
        SelectCase{"SELECT * from T order by ID", nullptr, nullptr},
        SelectCase{"SELECT * from T where X = 1 order by ID", nullptr, nullptr},
        SelectCase{"SELECT * from T a where a.X = 1", nullptr, nullptr},
        SelectCase{"SELECT * from T, U where T.X = U.X", nullptr, nullptr},
        SelectCase{"SELECT * from T join U on T.X = U.X", nullptr, nullptr},
        SelectCase{"SELECT 'A' as K, X from T where 1=1 UNION ALL SELECT 'B', X from U", nullptr,
                   nullptr},
        SelectCase{"SELECT * from T where NAME = 'unterminated", nullptr, nullptr},
        SelectCase{"SELECT * from T where (X = 1", nullptr, nullptr},
        SelectCase{"DELETE from T where X = 1", nullptr, nullptr},
        SelectCase{"SELECT * from T where", nullptr, nullptr}),
    [](const auto& info) { return kelvan::testing::NameFromText(info.param.sql); });

}  // namespace
}  // namespace kelvan::data
