// Helpers for tests of tasks and the event loop: start a lambda as a task, wait for a condition that
// other threads make true, and read task results out of queue words.
#pragma once

#include "platform/core/multiprocessing.h"

#include <cstdint>
#include <functional>

namespace bz_test {

// A generous bound for waits that should end at once; reaching it means the code under test hangs.
constexpr Duration kHangLimit = 60000;  // ms

// Starts fn as a task whose end is posted to termQueue as (term1, term2, result). NULL (and a test failure)
// when the task cannot be created.
MPTaskID StartTask(std::function<OSStatus()> fn, MPQueueID termQueue, void *term1 = nullptr, void *term2 = nullptr);

// Looks at cond() every millisecond until it holds (true) or limitSeconds pass (false).
bool WaitUntil(const std::function<bool()> &cond, double limitSeconds = 60.0);

inline void *Word(intptr_t value) { return reinterpret_cast<void *>(value); }
inline intptr_t FromWord(void *word) { return reinterpret_cast<intptr_t>(word); }
inline OSStatus StatusFromWord(void *word) { return OSStatus(reinterpret_cast<intptr_t>(word)); }

}  // namespace bz_test
