#include "vltsim/driver/connect_settings.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/basic/raised_error.h"

namespace kelvan::vltsim {
namespace {

TEST(ParseConnectStringTest, ReadsKeysValuesAndBraces) {
  KeyMap keys = ParseConnectString(" DSN = vlt1 ;uid=admin;PWD={a;b}}c};Database=/x/y.db");
  EXPECT_EQ(keys.at("dsn"), "vlt1");
  EXPECT_EQ(keys.at("UID"), "admin");
  EXPECT_EQ(keys.at("pwd"), "a;b}c");
  EXPECT_EQ(keys.at("DATABASE"), "/x/y.db");
  EXPECT_EQ(keys.size(), 4u);
}

TEST(ParseConnectStringTest, FirstOccurrenceWinsAndJunkIsSkipped) {
  KeyMap keys = ParseConnectString("UID=first;;noequals;uid=second;EMPTY=;");
  EXPECT_EQ(keys.at("UID"), "first");
  EXPECT_EQ(keys.at("EMPTY"), "");
  EXPECT_EQ(keys.size(), 2u);
}

TEST(CompletedConnectStringTest, LeavesOutThePasswordAndBracesWhatNeedsIt) {
  KeyMap keys = ParseConnectString("DSN=VLT1;UID=admin;pwd=s3cret;DATABASE={/a;b.db}");
  std::string out = CompletedConnectString(keys);
  EXPECT_EQ(out.find("s3cret"), std::string::npos);
  KeyMap again = ParseConnectString(out);
  EXPECT_EQ(again.size(), 3u);
  EXPECT_EQ(again.at("DATABASE"), "/a;b.db");
  EXPECT_EQ(again.at("UID"), "admin");
}

// A data source as odbc.ini would hold it, read through the same interface the driver uses.
class ResolveSettingsTest : public ::testing::Test {
 protected:
  ConnectSettings Resolve(const std::string& connect_string) {
    return ResolveSettings(ParseConnectString(connect_string),
                           [this](const std::string& dsn, const char* key) -> std::string {
                             if (dsn != "VLT1") return {};
                             auto it = ini_.find(key);
                             return it == ini_.end() ? std::string() : it->second;
                           });
  }
  std::string StateOf(const std::string& connect_string) {
    try {
      Resolve(connect_string);
    } catch (const RaisedError& e) {
      EXPECT_EQ(e.Description().find("s3cret"), std::string::npos);
      return e.SqlState();
    }
    return "OK";
  }

  std::map<std::string, std::string, CaseInsensitiveLess> ini_ = {
      {"Database", "/data/vlt1.db"}, {"UID", "admin"}, {"PWD", "s3cret"}, {"FetchDelayMs", "5"}};
};

TEST_F(ResolveSettingsTest, ConnectStringWinsOverDataSource) {
  ConnectSettings settings = Resolve(
      "DSN=VLT1;UID=admin;PWD=s3cret;DATABASE=/other.db;"
      "FetchDelayMs=7;FailExecN=2;FailFetchAfter=0;HangAt=Fetch;HangAfterRows=3");
  EXPECT_EQ(settings.database, "/other.db");
  EXPECT_EQ(settings.fetch_delay_ms, 7);
  EXPECT_EQ(settings.fail_exec_n, 2);
  ASSERT_TRUE(settings.fail_fetch_after.has_value());
  EXPECT_EQ(*settings.fail_fetch_after, 0);
  EXPECT_EQ(settings.driver_odbc_ver, "03.52");
  EXPECT_FALSE(settings.refuse_connect);
  EXPECT_EQ(settings.hang_at, HangAt::kFetch);
  EXPECT_EQ(settings.hang_after_rows, 3);
}

TEST_F(ResolveSettingsTest, DataSourceFillsWhatTheConnectStringLacks) {
  ConnectSettings settings = Resolve("DSN=VLT1");
  EXPECT_EQ(settings.database, "/data/vlt1.db");
  EXPECT_EQ(settings.uid, "admin");
  EXPECT_EQ(settings.fetch_delay_ms, 5);
  EXPECT_FALSE(settings.fail_fetch_after.has_value());
  EXPECT_EQ(settings.hang_at, HangAt::kNever);
}

TEST_F(ResolveSettingsTest, CredentialsMustMatchTheDataSource) {
  EXPECT_EQ(StateOf("DSN=VLT1;UID=admin;PWD=s3cret"), "OK");
  EXPECT_EQ(StateOf("DSN=VLT1;UID=Admin;PWD=s3cret"), "28000");
  EXPECT_EQ(StateOf("DSN=VLT1;UID=admin;PWD=wrong"), "28000");
  EXPECT_EQ(StateOf("DSN=VLT1;UID=admin;PWD="), "28000");
  ini_.erase("PWD");
  ini_.erase("UID");
  EXPECT_EQ(StateOf("DSN=VLT1;UID=anyone;PWD=anything"), "OK");
}

TEST_F(ResolveSettingsTest, MalformedFaultKeyIsRefused) {
  EXPECT_EQ(StateOf("DSN=VLT1;FailExecN=two"), "HY024");
  EXPECT_EQ(StateOf("DSN=VLT1;FetchDelayMs=-1"), "HY024");
  EXPECT_EQ(StateOf("DSN=VLT1;RefuseConnect=1"), "OK");
  EXPECT_EQ(StateOf("DSN=VLT1;HangAt=exec"), "OK");
  EXPECT_EQ(StateOf("DSN=VLT1;HangAt=connect"), "HY024");
  EXPECT_EQ(StateOf("DSN=VLT1;HangAt=fetch;HangAfterRows=x"), "HY024");
}

}  // namespace
}  // namespace kelvan::vltsim
