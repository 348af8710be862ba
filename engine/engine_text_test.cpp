#include "engine/engine_text.h"

#include <gtest/gtest.h>

#include "platform/basic/raised_error.h"
#include "tests/support/test_names.h"

namespace kelvan::engine {
namespace {

class Record : public DataSource {
 public:
  explicit Record(std::string qualifier) : qualifier_(std::move(qualifier)) {}
  std::string Name() const override { return "dest"; }
  std::string UserName() const override { return "u"; }
  std::string Password() const override { return "secret"; }
  std::string Qualifier() const override { return qualifier_; }

 private:
  std::string qualifier_;
};

TEST(EngineTextTest, QuoteSqlTextDoublesEveryQuote) {
  EXPECT_EQ(QuoteSqlText("O'Brien's"), "O''Brien''s");
  EXPECT_EQ(QuoteSqlText("''"), "''''");
  EXPECT_EQ(QuoteSqlText("plain"), "plain");
  EXPECT_EQ(QuoteSqlText(""), "");
}

TEST(EngineTextTest, TablePrefixFollowsTheQualifier) {
  EXPECT_EQ(TablePrefix(Record("")) + "SUMMARY", "SUMMARY");
  EXPECT_EQ(TablePrefix(Record("DW")) + "SUMMARY", "DW.SUMMARY");
}

struct CutCase {
  const char* connect;
  const char* shown;
};

class CutBeforePasswordTest : public ::testing::TestWithParam<CutCase> {};

TEST_P(CutBeforePasswordTest, KeepsOnlyWhatPrecedesThePassword) {
  EXPECT_EQ(CutBeforePassword(GetParam().connect), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    ConnectStrings, CutBeforePasswordTest,
    ::testing::Values(CutCase{"DSN=vlt1;UID=admin;PWD=s3cret", "DSN=vlt1;UID=admin"},
                      CutCase{"DSN=d;UID=u;PWD=p;", "DSN=d;UID=u"},
                      CutCase{"DSN=d;pwd=p;UID=u", "DSN=d"},
                      CutCase{"DSN=d;UID=u;Password=p", "DSN=d;UID=u"}, CutCase{"PWD=p;DSN=d", ""},
                      CutCase{"DSN=d;UID=u", "DSN=d;UID=u"},
                      // A key that merely begins with the letters is no password.
                      CutCase{"DSN=PWDSERVER;UID=u;PWD=x", "DSN=PWDSERVER;UID=u"}),
    [](const auto& info) { return kelvan::testing::NameFromText(info.param.connect); });

TEST(EngineTextTest, HidePasswordMasksEveryOccurrence) {
  EXPECT_EQ(HidePassword("login s3cret failed (s3cret)", "DSN=d;UID=u;PWD=s3cret"),
            "login **** failed (****)");
  EXPECT_EQ(HidePassword("no secret here", "DSN=d;UID=u"), "no secret here");
  EXPECT_EQ(HidePassword("text", "DSN=d;PWD="), "text");
}

TEST(EngineTextTest, FormatTimestampTextDropsTheFraction) {
  EXPECT_EQ(FormatTimestampText("2026-12-05 13:04:05.250"), "2026-12-05 13:04:05");
  EXPECT_EQ(FormatTimestampText("2026-12-05"), "2026-12-05 00:00:00");
  EXPECT_EQ(FormatTimestampText("2026-12-05T07:08:09"), "2026-12-05 07:08:09");
  try {
    FormatTimestampText("yesterday");
    FAIL() << "no error raised";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.Number(), kErrTypeMismatch);
  }
}

TEST(EngineTextTest, DestinationTimestampLiteralOnlyChangesForOracle) {
  const std::string literal = "'2026-12-05 00:00:00'";
  const std::string oracle = "TO_DATE('2026-12-05 00:00:00','YYYY-MM-DD HH24:MI:SS')";
  EXPECT_EQ(DestinationTimestampLiteral("Oracle", literal), oracle);
  EXPECT_EQ(DestinationTimestampLiteral("oracle", literal), oracle);
  for (const char* other : {"QDB", "MS SQL", "Unknown", "", "Oracle8"}) {
    EXPECT_EQ(DestinationTimestampLiteral(other, literal), literal) << other;
  }
}

TEST(EngineTextTest, SmallConversions) {
  EXPECT_DOUBLE_EQ(SecondsToDays(43200), 0.5);
  EXPECT_DOUBLE_EQ(SecondsToDays(-86400), -1.0);
  EXPECT_EQ(TrimBlanks("  a b  "), "a b");
  EXPECT_EQ(TrimBlanks("   "), "");
  EXPECT_EQ(FormatNumber(36000.5), "36000.5");
  EXPECT_EQ(FormatNumber(0), "0");
}

}  // namespace
}  // namespace kelvan::engine
