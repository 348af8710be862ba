#include "platform/component/apartment.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <ostream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "platform/basic/raised_error.h"

namespace kelvan::component {
namespace {

using namespace std::chrono_literals;

TEST(ApartmentTest, CallsFromManyThreadsRunOneAtATime) {
  constexpr int kCallers = 4;
  constexpr int kCallsEach = 25;
  Apartment apartment("Test.Obj");
  std::atomic<int> running{0};
  std::atomic<int> most_at_once{0};
  int unguarded_total = 0;  // safe only if the calls never overlap
  auto work = [&] {
    int now = ++running;
    if (now > most_at_once) most_at_once = now;
    std::this_thread::sleep_for(100us);
    ++unguarded_total;
    --running;
  };
  {
    std::vector<std::jthread> callers;
    for (int i = 0; i < kCallers; ++i) {
      callers.emplace_back([&] {
        for (int j = 0; j < kCallsEach; ++j) apartment.Execute(work);
      });
    }
  }
  EXPECT_EQ(most_at_once, 1);
  EXPECT_EQ(unguarded_total, 100);
}

struct FailureCase {
  const char* name;
  std::function<void()> fail;
  std::int32_t number;
  const char* source;
  const char* description;
  const char* sql_state;
};

void PrintTo(const FailureCase& c, std::ostream* os) { *os << c.name; }

class ApartmentFailureTest : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ApartmentFailureTest, ArrivesOnTheCallerAsRaisedErrorAndTheApartmentGoesOn) {
  const FailureCase& c = GetParam();
  Apartment apartment("Test.Obj");
  try {
    apartment.Execute(c.fail);
    FAIL() << "no error raised";
  } catch (const RaisedError& error) {
    EXPECT_EQ(error.Number(), c.number);
    EXPECT_EQ(error.Source(), c.source);
    EXPECT_EQ(error.Description(), c.description);
    EXPECT_EQ(error.SqlState(), c.sql_state);
  }
  int later = 0;
  apartment.Execute([&] { later = 7; });
  EXPECT_EQ(later, 7);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, ApartmentFailureTest,
    ::testing::Values(FailureCase{"Raised",
                                  [] {
                                    throw RaisedError(3265, "Qobra.QbObj.CopyTable:", "Gone",
                                                      "42S02");
                                  },
                                  3265, "Qobra.QbObj.CopyTable:", "Gone", "42S02"},
                      FailureCase{"StdException", [] { throw std::out_of_range("index 9 of 3"); },
                                  kErrUnexpectedFailure, "Test.Obj", "index 9 of 3", ""},
                      FailureCase{"Other", [] { throw 42; }, kErrUnexpectedFailure, "Test.Obj",
                                  "Unknown failure", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ApartmentTest, PumpRunsOnTheWaitingThreadUntilTheCallEnds) {
  Apartment apartment("Test.Obj");
  const std::int32_t caller = CurrentThreadId();
  std::atomic<bool> work_ended{false};
  int pumps = 0;
  bool pumped_elsewhere = false;
  apartment.Execute(
      [&] {
        std::this_thread::sleep_for(300ms);
        work_ended = true;
      },
      [&] {
        ++pumps;
        pumped_elsewhere |= CurrentThreadId() != caller;
      },
      20ms);
  EXPECT_TRUE(work_ended);
  EXPECT_GE(pumps, 3);  // about 15 expected; generous for a loaded machine
  EXPECT_FALSE(pumped_elsewhere);
}

TEST(ApartmentTest, FailingPumpStopsPumpingButTheCallStillEnds) {
  Apartment apartment("Test.Obj");
  std::atomic<bool> work_ended{false};
  int pumps = 0;
  auto work = [&] {
    std::this_thread::sleep_for(150ms);
    work_ended = true;
  };
  auto pump = [&] {
    ++pumps;
    throw std::runtime_error("window gone");
  };
  EXPECT_THROW(apartment.Execute(work, pump, 10ms), std::runtime_error);
  EXPECT_TRUE(work_ended);
  EXPECT_EQ(pumps, 1);
}

}  // namespace
}  // namespace kelvan::component
