#include "platform/odbc/connect_string.h"

#include <gtest/gtest.h>

namespace kelvan::odbc {
namespace {

struct Shape {
  const char* name;
  std::string text;
  std::string dsn, uid, password;
  std::string shown;  // without the password
};

void PrintTo(const Shape& shape, std::ostream* out) { *out << shape.name; }

class ConnectStringShapes : public ::testing::TestWithParam<Shape> {};

// However a server string is written, the DSN is its value alone and the password never shows.
TEST_P(ConnectStringShapes, ReadAsTheDriverManagerDoes) {
  const Shape& s = GetParam();
  const std::vector<ConnectAttribute> parsed = ParseConnectString(s.text);
  EXPECT_EQ(ConnectValue(parsed, "dsn").value_or("?"), s.dsn);
  EXPECT_EQ(ConnectValue(parsed, "UID").value_or(""), s.uid);
  EXPECT_EQ(PasswordOf(s.text).value_or(""), s.password);
  EXPECT_EQ(WithoutPassword(s.text), s.shown);
  // Built again, a driver reads the same values back.
  EXPECT_EQ(ParseConnectString(NormalizedConnectString(s.text)), parsed);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, ConnectStringShapes,
    ::testing::Values(Shape{"Plain", "DSN=VLTA;UID=admin;PWD=secret", "VLTA", "admin", "secret",
                            "DSN=VLTA;UID=admin"},
                      Shape{"LowerCaseKeys", "DSN=VLTA;UID=admin;pwd=secret", "VLTA", "admin",
                            "secret", "DSN=VLTA;UID=admin"},
                      Shape{"NoUid", "DSN=VLTA;PWD=secret", "VLTA", "", "secret", "DSN=VLTA"},
                      Shape{"BlanksAndPassword", " dsn = VLTA ; Password=secret;UID=a", "VLTA", "a",
                            "secret", "dsn=VLTA;UID=a"},
                      Shape{"PasswordFirst", "PWD=secret;DSN=VLTA;UID=a", "VLTA", "a", "secret",
                            "DSN=VLTA;UID=a"},
                      Shape{"Braced", "DSN=VLTA;UID=a;PWD={se;c}}ret}", "VLTA", "a", "se;c}ret",
                            "DSN=VLTA;UID=a"},
                      Shape{"ClosingSemicolon", "DSN=D;UID=u;PWD=p;", "D", "u", "p", "DSN=D;UID=u"},
        Shape{"SemicolonUnbraced", "DSN=VLTA;UID=a;PWD=se;cret", "VLTA", "a",
                            "se;cret", "DSN=VLTA;UID=a"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConnectStringTest, BuildsWithBracesOnlyWhereNeeded) {
  EXPECT_EQ(DataSourceConnectString("D", "u", "p"), "DSN=D;UID=u;PWD=p;");
  EXPECT_EQ(DataSourceConnectString("D", "u", "a;b}c"), "DSN=D;UID=u;PWD={a;b}}c};");
}

TEST(ConnectStringTest, HidesInOnePass) {
  // A password that looks like the mask must not make the scrubber find its own output again.
  for (const std::string secret : {"*", "**", "***", "****"}) {
    EXPECT_EQ(HideSecrets("x" + secret + "y", {secret}), "x****y") << secret;
  }
  EXPECT_EQ(HideSecrets("a secret and secret", {"secret", ""}), "a **** and ****");
  EXPECT_EQ(HidePasswordEntries("failed: DSN=D;Pwd=abc;UID=u\r\nPASSWORD={x;y}; 'PWD=q'"),
            "failed: DSN=D;Pwd=****;UID=u\r\nPASSWORD=****; 'PWD=****'");
}

}  // namespace
}  // namespace kelvan::odbc
