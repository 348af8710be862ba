#include "platform/odbc/cancellation.h"

#include <gtest/gtest.h>

#include <thread>

#include "platform/basic/raised_error.h"

namespace kelvan::odbc {
namespace {

// Cancelled work refuses every later call, also from a thread acting for it, until resumed;
// other work goes on.
TEST(CancellationTest, CancelledWorkIsRefusedUntilResumed) {
  const WorkKey mine = CurrentWorkKey();
  EXPECT_EQ(CancelWork(mine, "the limit passed"), 0) << "no call was in progress";
  EXPECT_EQ(WorkCancelReason(), "the limit passed");
  try {
    const CancellableCall call;
    ADD_FAILURE() << "a call of cancelled work started";
  } catch (const RaisedError& error) {
    EXPECT_EQ(error.Number(), kErrWorkCancelled);
    EXPECT_EQ(error.Description(), "the limit passed");
  }
  std::thread([mine] {
    EXPECT_NO_THROW(CancellableCall());
    const ActingFor acting(mine);
    EXPECT_THROW(CancellableCall(), RaisedError);
  }).join();
  ResumeWork(mine);
  EXPECT_EQ(WorkCancelReason(), std::nullopt);
  EXPECT_NO_THROW(CancellableCall());
}

}  // namespace
}  // namespace kelvan::odbc
