#include "platform/odbc/diagnostics.h"

#include <gtest/gtest.h>
#include <sqlext.h>

#include <string>

#include "platform/odbc/handles.h"

namespace kelvan::odbc {
namespace {

TEST(DiagnosticsTest, SucceededAcceptsWarningsAndNoData) {
  EXPECT_TRUE(Succeeded(SQL_SUCCESS));
  EXPECT_TRUE(Succeeded(SQL_SUCCESS_WITH_INFO));
  EXPECT_TRUE(Succeeded(SQL_NO_DATA));
  EXPECT_FALSE(Succeeded(SQL_ERROR));
  EXPECT_FALSE(Succeeded(SQL_INVALID_HANDLE));
  EXPECT_FALSE(Succeeded(SQL_NEED_DATA));
}

TEST(DiagnosticsTest, ErrorCarriesFirstStateAndEveryMessage) {
  std::vector<DiagnosticRecord> records = {{"S0002", 1146, "[drv]Table 'X' doesn't exist"},
                                           {"01000", 0, "[drv]warning"}};
  RaisedError error = OdbcError("SQLExecDirect", SQL_ERROR, records);
  EXPECT_EQ(error.Number(), kErrOdbcCall);
  EXPECT_EQ(error.Source(), "SQLExecDirect");
  EXPECT_EQ(error.SqlState(), "S0002");
  EXPECT_EQ(error.Description(), "S0002: [drv]Table 'X' doesn't exist; 01000: [drv]warning");
}

TEST(DiagnosticsTest, ErrorWithoutRecordsNamesTheReturnCode) {
  RaisedError error = OdbcError("SQLFetch", SQL_INVALID_HANDLE, {});
  EXPECT_EQ(error.SqlState(), "");
  EXPECT_EQ(error.Description(), "SQLFetch failed with return code -2");
}

// A connect attempt through the driver manager alone: no database needed.
class HandleTest : public ::testing::Test {
 protected:
  EnvironmentHandle env_ = EnvironmentHandle::Allocate();
  ConnectionHandle dbc_ = ConnectionHandle::Allocate(env_);

  SQLRETURN Connect(const std::string& text) {
    SQLCHAR out[256];
    SQLSMALLINT out_length = 0;
    return SQLDriverConnect(dbc_.get(), nullptr,
                            reinterpret_cast<SQLCHAR*>(const_cast<char*>(text.c_str())), SQL_NTS,
                            out, sizeof out, &out_length, SQL_DRIVER_NOPROMPT);
  }
};

TEST_F(HandleTest, CheckRaisesTheDriverManagersStateForAnUnknownDataSource) {
  SQLRETURN rc = Connect("DSN=no_such_source_here;UID=u;PWD=p;");
  try {
    Check(rc, Handles{.dbc = dbc_.get()}, "SQLDriverConnect");
    FAIL() << "connect to an unknown data source succeeded";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.SqlState(), "IM002");
    EXPECT_EQ(e.Source(), "SQLDriverConnect");
    EXPECT_NE(e.Description().find("IM002: "), std::string::npos);
  }
  // Reading consumed the records.
  EXPECT_TRUE(ReadDiagnostics(Handles{.dbc = dbc_.get()}).empty());
}

TEST_F(HandleTest, MovingTransfersOwnershipAndFreeIsIdempotent) {
  SQLHDBC raw = dbc_.get();
  ConnectionHandle moved = std::move(dbc_);
  EXPECT_EQ(moved.get(), raw);
  EXPECT_EQ(dbc_.get(), nullptr);
  moved.Free();
  moved.Free();
  EXPECT_EQ(moved.get(), nullptr);

  ConnectionHandle other = ConnectionHandle::Allocate(env_);
  other = ConnectionHandle::Allocate(env_);  // frees the first one
  EXPECT_NE(other.get(), nullptr);
}

TEST_F(HandleTest, StatementOnAnUnconnectedHandleRaises) {
  EXPECT_THROW(StatementHandle::Allocate(dbc_), RaisedError);
}

}  // namespace
}  // namespace kelvan::odbc
