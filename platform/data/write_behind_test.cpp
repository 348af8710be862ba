#include "platform/data/write_behind.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "platform/basic/raised_error.h"
#include "platform/data/internal.h"

namespace kelvan::data::internal {
namespace {

TEST(WriteBehindTest, RunsJobsInOrderOffTheCallersThread) {
  WriteBehind behind;
  std::vector<int> done;
  std::thread::id caller = std::this_thread::get_id(), runner;
  for (int i = 0; i < 5; ++i) {
    behind.Post([&, i] {
      runner = std::this_thread::get_id();
      done.push_back(i);
    });
  }
  behind.Wait();
  EXPECT_EQ(done, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_NE(runner, caller);
}

// A failure comes back to the caller once, with the error list it left, and the job handed over
// with that report never runs.
TEST(WriteBehindTest, FailureIsRaisedByTheNextCallWithItsErrorList) {
  WriteBehind behind;
  behind.Post([] {
    DataEngine::ForThisThread().ReplaceErrors({{42, "23505: duplicate key", "23505"}});
    throw RaisedError(kErrOdbcCall, "KelvanData", "duplicate key", "23505");
  });
  behind.Settle();  // keeps the failure
  DataEngine::ForThisThread().ClearErrors();
  bool ran = false;
  try {
    behind.Post([&] { ran = true; });
    ADD_FAILURE() << "the failure was not raised";
  } catch (const RaisedError& e) {
    EXPECT_EQ(e.SqlState(), "23505");
  }
  ASSERT_EQ(DataEngine::ForThisThread().Errors().size(), 1u);
  EXPECT_EQ(DataEngine::ForThisThread().Errors()[0].number, 42);
  behind.Wait();  // reported once
  EXPECT_FALSE(ran);
}

TEST(WriteBehindTest, DestructionWaitsForTheJobInHand) {
  std::atomic<bool> finished = false;
  {
    WriteBehind behind;
    behind.Post([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      finished = true;
    });
  }
  EXPECT_TRUE(finished);
}

TEST(InsertLimitsTest, StatementsStayWithinEachDriversMarkerLimit) {
  EXPECT_TRUE(InsertLimitsFor("PostgreSQL").column_arrays);
  EXPECT_EQ(InsertLimitsFor("PostgreSQL").RowsPerStatement(24), 291u);  // 7,000 markers
  EXPECT_EQ(InsertLimitsFor("MariaDB").RowsPerStatement(40), 175u);
  EXPECT_EQ(InsertLimitsFor("SQLite").RowsPerStatement(24), 1000u);
  EXPECT_EQ(InsertLimitsFor("MySQL").RowsPerStatement(3), 250u);
  EXPECT_EQ(InsertLimitsFor("Microsoft SQL Server").RowsPerStatement(24), 83u);
  EXPECT_EQ(InsertLimitsFor("").RowsPerStatement(5000), 1u);  // never none
  EXPECT_EQ(InsertLimitsFor("").RowsPerStatement(0), 100u);
}

}  // namespace
}  // namespace kelvan::data::internal
