// The one source of "now", "today" and "yesterday": local time from the system clock, or a
// clock that tests fix. CurrentClock() is safe from any thread; installing a clock (tests only)
// must happen while no other thread reads it.
#pragma once

#include "platform/basic/timestamp.h"

namespace kelvan {

class Clock {
 public:
  virtual ~Clock() = default;
  virtual Timestamp Now() const = 0;
  // Seconds since local midnight, with the fraction: for elapsed-time measurements.
  virtual double SecondsSinceMidnight() const;
  // Seconds from an arbitrary origin on a clock that only runs forward at a steady rate: for
  // intervals, which a change of the wall clock (daylight saving, a correction) must not stretch.
  virtual double SteadySeconds() const = 0;
};

const Clock& CurrentClock();

// A clock that stands still until moved. Set() moves the wall clock alone, as a change of the
// system time does; AdvanceSeconds() lets time pass on both.
class FixedClock : public Clock {
 public:
  explicit FixedClock(Timestamp now) : now_(now) {}
  Timestamp Now() const override { return now_; }
  double SteadySeconds() const override { return steady_seconds_; }
  void Set(Timestamp now) { now_ = now; }
  void AdvanceSeconds(long seconds);

 private:
  Timestamp now_;
  double steady_seconds_ = 0;
};

// Makes `clock` the current clock for the scope's life.
class ScopedClock {
 public:
  explicit ScopedClock(const Clock& clock);
  ~ScopedClock();
  ScopedClock(const ScopedClock&) = delete;
  ScopedClock& operator=(const ScopedClock&) = delete;

 private:
  const Clock* previous_;
};

}  // namespace kelvan
