#include "platform/basic/clock.h"

#include <atomic>
#include <chrono>
#include <ctime>

namespace kelvan {
namespace {

class SystemClock : public Clock {
 public:
  Timestamp Now() const override {
    std::time_t now = std::time(nullptr);
    return FromTm(now);
  }
  double SecondsSinceMidnight() const override {
    auto now = std::chrono::system_clock::now();
    std::time_t whole = std::chrono::system_clock::to_time_t(now);
    auto fraction = now - std::chrono::system_clock::from_time_t(whole);
    return kelvan::SecondsSinceMidnight(FromTm(whole)) +
           std::chrono::duration<double>(fraction).count();
  }
  double SteadySeconds() const override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

 private:
  static Timestamp FromTm(std::time_t time) {
    std::tm local{};
    localtime_r(&time, &local);
    return Timestamp{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     local.tm_sec};
  }
};

const SystemClock kSystemClock;
std::atomic<const Clock*> current_clock{&kSystemClock};

}  // namespace

double Clock::SecondsSinceMidnight() const { return kelvan::SecondsSinceMidnight(Now()); }

const Clock& CurrentClock() { return *current_clock.load(); }

void FixedClock::AdvanceSeconds(long seconds) {
  now_ = FromDaySerial(ToDaySerial(now_) + static_cast<double>(seconds) / 86400.0);
  steady_seconds_ += static_cast<double>(seconds);
}

ScopedClock::ScopedClock(const Clock& clock) : previous_(current_clock.exchange(&clock)) {}
ScopedClock::~ScopedClock() { current_clock.store(previous_); }

}  // namespace kelvan
