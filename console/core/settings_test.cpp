#include "console/core/settings.h"

#include <ostream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/support/test_names.h"

namespace kelvan::console {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(ServerEntryTest, SplitsConnectionStringIntoItsParts) {
  const ServerEntry entry = MakeServerEntry("DSN=VLT01;UID=admin;PWD=se;cret");
  EXPECT_EQ(entry.dsn, "VLT01");
  EXPECT_EQ(entry.uid, "admin");
  EXPECT_EQ(entry.password, "se;cret");
  EXPECT_EQ(entry.value, "DSN=VLT01;UID=admin;PWD=se;cret");
}

TEST(ServerEntryTest, BuiltValueSplitsBackIntoTheSameParts) {
  const std::string value = ServerValue("SRV A", "op", "p=w:=d");
  EXPECT_EQ(value, "DSN=SRV A;UID=op;PWD=p=w:=d");
  EXPECT_EQ(MakeServerEntry(value), (ServerEntry{"SRV A", "op", "p=w:=d", value}));
}

TEST(ServerEntryTest, ShownValueStopsBeforeThePassword) {
  EXPECT_EQ(ServerValueWithoutPassword("DSN=A;UID=u;PWD=secret"), "DSN=A;UID=u");
  EXPECT_EQ(ServerValueWithoutPassword("DSN=A;UID=u"), "DSN=A;UID=u");
}

// Server strings written by hand: the server's name is the DSN alone and the password is found
// and hidden whatever its key's case, place or quoting.
TEST(ServerEntryTest, OtherShapesNeverLeakThePassword) {
  for (const std::string value :
       {"DSN=VLTA;UID=admin;pwd=secret", "DSN=VLTA;PWD=secret", "dsn = VLTA ;Password=secret",
        "PWD={secret};UID=admin;DSN=VLTA"}) {
    const ServerEntry entry = MakeServerEntry(value);
    EXPECT_EQ(entry.dsn, "VLTA") << value;
    EXPECT_EQ(entry.password, "secret") << value;
    EXPECT_EQ(ServerValueWithoutPassword(value).find("secret"), std::string::npos) << value;
  }
}

struct ItemCase {
  const char* text;
  int n;
  const char* item;
};

void PrintTo(const ItemCase& c, std::ostream* os) { *os << c.text << " #" << c.n; }

class ParseItemTest : public ::testing::TestWithParam<ItemCase> {};

TEST_P(ParseItemTest, FindsItemN) {
  EXPECT_EQ(ParseItemFromTableString(GetParam().text, GetParam().n), GetParam().item);
}

INSTANTIATE_TEST_SUITE_P(
    TableStrings, ParseItemTest,
    ::testing::Values(ItemCase{"\"SUMMARY\",\"EVENTS\",\"OCCUPANCY\",", 1, "SUMMARY"},
                      ItemCase{"\"SUMMARY\",\"EVENTS\",\"OCCUPANCY\",", 3, "OCCUPANCY"},
                      ItemCase{"\"SUMMARY\",\"EVENTS\",\"OCCUPANCY\",", 4, ""},
                      ItemCase{"\"SUMMARY\" , \"EVENTS\"", 1, "SUMMARY"},
                      ItemCase{"\"SUMMARY\" , \"EVENTS\"", 2, "EVENTS"},
                      ItemCase{"\"SUMMARY\",\"EVENTS\",", 0, ""}, ItemCase{"", 1, ""},
                      ItemCase{"\"SUMMARY\",\"EVE", 2, ""}, ItemCase{"\"\",\"LOG\",", 1, ""},
                      ItemCase{"\"\",\"LOG\",", 2, "LOG"}),
    [](const auto& info) {
      return kelvan::testing::NameFromText(info.param.text) + "_Item" +
             std::to_string(info.param.n);
    });

TEST(TableArrayTest, TakesTheFirstTotalItemsWithoutEmptyOnes) {
  const std::string text = "\"SUMMARY\",\"\",\"EVENTS\",\"LOG\",";
  EXPECT_THAT(BuildTableArray({text, 3, kTrue16}), ElementsAre("SUMMARY", "EVENTS"));
  EXPECT_THAT(BuildTableArray({text, 1, kTrue16}), ElementsAre("SUMMARY"));
  EXPECT_THAT(BuildTableArray({text, 0, kTrue16}), IsEmpty());
  EXPECT_THAT(BuildTableArray({"", 5, kTrue16}), IsEmpty());
}

TEST(TableArrayTest, RebuildCountsTheTablesLeft) {
  TableList tables{"\"SUMMARY\",\"\",\"EVENTS\",\"LOG\",", 3, kFalse16};
  RebuildTableList(tables);
  EXPECT_EQ(tables.total_no_tables, 2);
}

TEST(TableArrayTest, TableStringEndsWithAComma) {
  EXPECT_EQ(BuildTableString({"SUMMARY", "EVENTS", "OCCUPANCY"}),
            "\"SUMMARY\",\"EVENTS\",\"OCCUPANCY\",");
  EXPECT_EQ(BuildTableString({}), "");
}

struct SeverityCase {
  std::array<Bool16, 5> switches;
  const char* expected;
};

void PrintTo(const SeverityCase& c, std::ostream* os) { *os << c.expected; }

class SeverityStringTest : public ::testing::TestWithParam<SeverityCase> {};

TEST_P(SeverityStringTest, JoinsTheSwitchesThatAreOn) {
  EXPECT_EQ(ConstructSeverityString(GetParam().switches), GetParam().expected);
}

constexpr Bool16 T = kTrue16;
constexpr Bool16 F = kFalse16;

INSTANTIATE_TEST_SUITE_P(
    Switches, SeverityStringTest,
    ::testing::Values(
        SeverityCase{{T, F, F, F, T}, "SEVERITY = 'E' OR SEVERITY = 'W'"},
        SeverityCase{{T, T, T, T, T},
                     "SEVERITY = 'E' OR SEVERITY = 'I' OR SEVERITY = 'D' OR SEVERITY = 'S' OR "
                     "SEVERITY = 'W'"},
        SeverityCase{{F, F, T, F, F}, "SEVERITY = 'D'"},
        // 1 is not the all-ones true: it does not count as set.
        SeverityCase{{1, F, F, T, F}, "SEVERITY = 'S'"},
        SeverityCase{{F, F, F, F, F},
                     "SEVERITY <> 'E' AND SEVERITY <> 'I' AND SEVERITY <> 'S' AND SEVERITY <> "
                     "'D' AND SEVERITY <> 'W'"}),
    [](const auto& info) { return kelvan::testing::NameFromText(info.param.expected); });

TEST(ForecastSetupCodeTest, AddsTheBitsOfTheSwitchesThatAreOn) {
  PostProcessingOptions all;
  all.activate_forecasting = kTrue16;
  all.forecast_tables.fill(kTrue16);
  EXPECT_EQ(BuildForecastSetupCode(all), 0x01BF);

  PostProcessingOptions db_only;
  db_only.forecast_tables[0] = kTrue16;
  EXPECT_EQ(BuildForecastSetupCode(db_only), 0x0001);

  PostProcessingOptions occupancy_and_master;
  occupancy_and_master.activate_forecasting = kTrue16;
  occupancy_and_master.forecast_tables[6] = kTrue16;
  EXPECT_EQ(BuildForecastSetupCode(occupancy_and_master), 0x0180);
  EXPECT_EQ(BuildForecastSetupCode(PostProcessingOptions{}), 0);
}

}  // namespace
}  // namespace kelvan::console
