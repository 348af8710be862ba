// The clock-hour slicing behind PostProcessSummaryTable (SUMMARY activities into SUMMARYHOUR).
// Pure functions; thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/basic/timestamp.h"

namespace kelvan::engine {

// The part of one activity that falls into one clock hour.
struct HourSlice {
  std::string day;       // "yyyy-mm-dd"
  std::int16_t hour;     // 0 to 23
  std::int16_t seconds;  // 1 to 3600
  bool operator==(const HourSlice&) const = default;
};

// The slices of an activity from `start` to `end`, in time order. The hour in which the activity
// started counts its seconds from the start on that first day and 3600 on any later day; the
// hour in which it ends counts up to the end; a zero count becomes 1; an activity that ends on
// the hour gets no slice for that hour. An end before the start gives no slice.
std::vector<HourSlice> SliceIntoHours(const Timestamp& start, const Timestamp& end);

// Seconds from `start` to `end` (negative when `end` comes first).
std::int64_t SecondsBetween(const Timestamp& start, const Timestamp& end);

}  // namespace kelvan::engine
