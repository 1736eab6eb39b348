#include "support/task_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace bz_test {
namespace {

OSStatus FunctionTaskEntry(void *parameter) {
  std::unique_ptr<std::function<OSStatus()>> fn(static_cast<std::function<OSStatus()> *>(parameter));
  return (*fn)();
}

}  // namespace

MPTaskID StartTask(std::function<OSStatus()> fn, MPQueueID termQueue, void *term1, void *term2) {
  auto *holder = new std::function<OSStatus()>(std::move(fn));
  MPTaskID task = nullptr;
  OSStatus err = MPCreateTask(FunctionTaskEntry, holder, 0x80000, termQueue, term1, term2, 0, &task);
  if (err != noErr) {
    delete holder;
    ADD_FAILURE() << "MPCreateTask failed: " << err;
    return nullptr;
  }
  return task;
}

bool WaitUntil(const std::function<bool()> &cond, double limitSeconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(limitSeconds);
  while (!cond()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace bz_test
