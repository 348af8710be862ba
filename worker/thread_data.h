// The worker server's per-thread data: the number of ELVAN objects alive on the thread and the
// message text of the thread's last load that ended well. Every thread has its own copy, so
// nothing here takes a lock; each function reads or writes the calling thread's copy only.
#pragma once

#include <cstdint>
#include <string>

namespace kelvan::worker {

std::int32_t ThreadObjectCount();
// Adds `delta` to the count. A result beyond the 32-bit range raises RaisedError kErrOverflow
// and leaves the count unchanged.
void AddToThreadObjectCount(std::int32_t delta);
// Tests only: puts the count near its limits.
void SetThreadObjectCountForTesting(std::int32_t count);

const std::string& ThreadMessageText();
void SetThreadMessageText(std::string text);

}  // namespace kelvan::worker
