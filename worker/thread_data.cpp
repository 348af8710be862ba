#include "worker/thread_data.h"

#include <limits>
#include <utility>

#include "platform/basic/raised_error.h"

namespace kelvan::worker {
namespace {

thread_local std::int32_t object_count = 0;
thread_local std::string message_text;

}  // namespace

std::int32_t ThreadObjectCount() { return object_count; }

void AddToThreadObjectCount(std::int32_t delta) {
  const std::int64_t sum = std::int64_t{object_count} + delta;
  if (sum > std::numeric_limits<std::int32_t>::max() ||
      sum < std::numeric_limits<std::int32_t>::min()) {
    throw RaisedError(kErrOverflow, "mtELVAN.ELVAN", "Overflow");
  }
  object_count = static_cast<std::int32_t>(sum);
}

void SetThreadObjectCountForTesting(std::int32_t count) { object_count = count; }

const std::string& ThreadMessageText() { return message_text; }

void SetThreadMessageText(std::string text) { message_text = std::move(text); }

}  // namespace kelvan::worker
