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
};

const Clock& CurrentClock();

// A clock that stands still until moved.
class FixedClock : public Clock {
 public:
  explicit FixedClock(Timestamp now) : now_(now) {}
  Timestamp Now() const override { return now_; }
  void Set(Timestamp now) { now_ = now; }
  void AdvanceSeconds(long seconds);

 private:
  Timestamp now_;
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
