#include "platform/component/registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include "platform/basic/raised_error.h"

namespace kelvan::component {
namespace {

using namespace std::chrono_literals;

std::atomic<int> threads_ended{0};

void WatchThreadEnd() {
  struct Watch {
    ~Watch() { ++threads_ended; }
  };
  thread_local Watch watch;
  (void)watch;
}

// Per-thread data, as the worker keeps its object count and message text.
thread_local int calls_on_thread = 0;

// Records where it was made and where it ended.
struct Probe {
  Probe() : born_on(CurrentThreadId()) { WatchThreadEnd(); }
  ~Probe() {
    if (died_on) *died_on = CurrentThreadId();
  }
  int CountCall() { return ++calls_on_thread; }

  std::int32_t born_on;
  std::int32_t* died_on = nullptr;
};

struct Other {};

class RegistryTest : public ::testing::Test {
 protected:
  RegistryTest() {
    registry_.Register<Probe>("Test.Threaded", ThreadingModel::kOwnThread);
    registry_.Register<Probe>("Test.Plain", ThreadingModel::kCallerApartment);
  }

  ObjectRef<Probe> Threaded() { return registry_.Create<Probe>("Test.Threaded"); }

  static std::int32_t ThreadOf(const ObjectRef<Probe>& ref) {
    return ref.Call([](Probe&) { return CurrentThreadId(); });
  }

  static void ExpectRaised(const std::function<void()>& act, std::int32_t number,
                           const std::string& description) {
    try {
      act();
      ADD_FAILURE() << "no error raised";
    } catch (const RaisedError& error) {
      EXPECT_EQ(error.Number(), number);
      EXPECT_EQ(error.Source(), "CreateObject");
      EXPECT_EQ(error.Description(), description);
    }
  }

  Registry registry_;
};

TEST_F(RegistryTest, CreationFailuresRaiseTheirNumbers) {
  ExpectRaised([&] { registry_.Create<Probe>("No.Such"); }, 429,
               "Cannot create object: class No.Such is not registered");
  ExpectRaised([&] { registry_.Create<Other>("Test.Threaded"); }, 13,
               "Type mismatch: class Test.Threaded is not of the type requested");
  registry_.Register<Probe>(
      "Test.Null", [] { return nullptr; }, ThreadingModel::kOwnThread);
  ExpectRaised([&] { registry_.Create<Probe>("Test.Null"); }, 429,
               "Cannot create object: class Test.Null made no object");
}

TEST_F(RegistryTest, FactoryFailureReachesTheCreatorAndEndsTheNewThread) {
  registry_.Register<Probe>(
      "Test.Failing",
      []() -> std::unique_ptr<Probe> {
        WatchThreadEnd();
        throw RaisedError(91, "mtELVAN.ELVAN", "No engine");
      },
      ThreadingModel::kOwnThread);
  const int before = threads_ended;
  try {
    registry_.Create<Probe>("Test.Failing");
    FAIL() << "no error raised";
  } catch (const RaisedError& error) {
    EXPECT_EQ(error.Number(), 91);
    EXPECT_EQ(error.Source(), "mtELVAN.ELVAN");
    EXPECT_EQ(error.Description(), "No engine");
  }
  EXPECT_EQ(threads_ended, before + 1);
}

TEST_F(RegistryTest, OwnThreadObjectIsMadeAndCalledOnOneThreadOfItsOwn) {
  ObjectRef<Probe> probe = Threaded();
  const std::int32_t thread = ThreadOf(probe);
  EXPECT_NE(thread, CurrentThreadId());
  EXPECT_EQ(probe.Call([](Probe& p) { return p.born_on; }), thread);
  EXPECT_EQ(ThreadOf(probe), thread);
  EXPECT_NE(ThreadOf(Threaded()), thread);
}

TEST_F(RegistryTest, PerThreadDataBelongsToEachObjectsThread) {
  ObjectRef<Probe> first = Threaded();
  ObjectRef<Probe> second = Threaded();
  auto count = [](Probe& p) { return p.CountCall(); };
  first.Call(count);
  first.Call(count);
  EXPECT_EQ(first.Call(count), 3);
  EXPECT_EQ(second.Call(count), 1);
  EXPECT_EQ(calls_on_thread, 0);
}

TEST_F(RegistryTest, CallerApartmentObjectRunsOnTheCallingThread) {
  ObjectRef<Probe> plain = registry_.Create<Probe>("Test.Plain");
  EXPECT_EQ(plain.Call([](Probe& p) { return p.born_on; }), CurrentThreadId());
  EXPECT_EQ(ThreadOf(plain), CurrentThreadId());
}

TEST_F(RegistryTest, LastReleaseDestroysOnTheObjectsThreadThenJoinsIt) {
  ObjectRef<Probe> probe = Threaded();
  ObjectRef<Probe> copy = probe;
  std::int32_t died_on = 0;
  const std::int32_t thread = probe.Call([&](Probe& p) {
    p.died_on = &died_on;
    return CurrentThreadId();
  });
  const int before = threads_ended;
  probe.Reset();
  EXPECT_EQ(copy.Call([](Probe& p) { return p.born_on; }), thread);
  EXPECT_EQ(died_on, 0);
  copy.Reset();
  EXPECT_EQ(died_on, thread);
  EXPECT_EQ(threads_ended, before + 1);
}

TEST_F(RegistryTest, CallPumpingKeepsTheObjectWhileThePumpReleasesIt) {
  ObjectRef<Probe> probe = Threaded();
  std::int32_t died_on = 0;
  probe.Call([&](Probe& p) { p.died_on = &died_on; });
  int pumps = 0;
  const std::string result = probe.CallPumping(
      [&](Probe&) {
        std::this_thread::sleep_for(200ms);
        return died_on == 0 ? std::string("alive") : std::string("destroyed");
      },
      [&] {
        ++pumps;
        probe.Reset();  // as the console's Exit releases its workers mid-run
      },
      20ms);
  EXPECT_EQ(result, "alive");
  EXPECT_GE(pumps, 1);
  EXPECT_NE(died_on, 0);
}

TEST_F(RegistryTest, ObjectCreatesAnotherOnANewThreadFromItsOwn) {
  ObjectRef<Probe> creator = Threaded();
  ObjectRef<Probe> created =
      creator.Call([this](Probe&) { return registry_.Create<Probe>("Test.Threaded"); });
  const std::int32_t creator_thread = ThreadOf(creator);
  creator.Reset();
  const std::int32_t created_thread = ThreadOf(created);
  EXPECT_NE(created_thread, creator_thread);
  EXPECT_NE(created_thread, CurrentThreadId());
}

TEST_F(RegistryTest, CallFromInsideTheObjectToItselfRunsDirectly) {
  ObjectRef<Probe> probe = Threaded();
  const auto [outer, inner] =
      probe.Call([&probe](Probe&) { return std::pair(CurrentThreadId(), ThreadOf(probe)); });
  EXPECT_EQ(inner, outer);
}

TEST(ObjectRefTest, EmptyReferenceRaisesInsteadOfCalling) {
  ObjectRef<Probe> empty;
  EXPECT_FALSE(empty);
  try {
    empty.Call([](Probe&) {});
    FAIL() << "no error raised";
  } catch (const RaisedError& error) {
    EXPECT_EQ(error.Number(), kErrEmptyReference);
  }
}

TEST(CreateObjectTest, UsesTheProgramsRegistry) {
  Registry::Instance().Register<Probe>("Test.Global", ThreadingModel::kOwnThread);
  ObjectRef<Probe> probe = CreateObject<Probe>("Test.Global");
  EXPECT_NE(probe.Call([](Probe& p) { return p.born_on; }), CurrentThreadId());
}

}  // namespace
}  // namespace kelvan::component
