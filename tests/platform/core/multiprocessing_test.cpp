#include "platform/core/multiprocessing.h"

#include "support/task_check.h"

#include <gtest/gtest.h>

#include <sched.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace {

using bz_test::FromWord;
using bz_test::kHangLimit;
using bz_test::StartTask;
using bz_test::StatusFromWord;
using bz_test::WaitUntil;
using bz_test::Word;

// A queue that is deleted when the test ends.
struct ScopedQueue {
  MPQueueID id = nullptr;
  ScopedQueue() { EXPECT_EQ(MPCreateQueue(&id), noErr); }
  ~ScopedQueue() {
    if (id) MPDeleteQueue(id);
  }
};

// Takes n termination messages from q and returns their results by first word.
std::vector<OSStatus> CollectResults(MPQueueID q, size_t n) {
  std::vector<OSStatus> results(n, 1);
  for (size_t i = 0; i < n; ++i) {
    void *who = nullptr, *result = nullptr;
    EXPECT_EQ(MPWaitOnQueue(q, &who, nullptr, &result, kHangLimit), noErr);
    size_t index = size_t(FromWord(who));
    if (index < n) results[index] = StatusFromWord(result);
  }
  return results;
}

TEST(PlatformMultiprocessing, QueueKeepsOrderAndReportsTimeOutAndBadIdentifiers) {
  ScopedQueue q;
  for (intptr_t i = 0; i < 5; ++i) ASSERT_EQ(MPNotifyQueue(q.id, Word(i), Word(10 + i), Word(-i)), noErr);
  for (intptr_t i = 0; i < 5; ++i) {
    void *a = nullptr, *b = nullptr, *c = nullptr;
    ASSERT_EQ(MPWaitOnQueue(q.id, &a, &b, &c, kDurationImmediate), noErr);
    EXPECT_EQ(FromWord(a), i);
    EXPECT_EQ(FromWord(b), 10 + i);
    EXPECT_EQ(FromWord(c), -i);
  }
  // Empty: an immediate wait and a short one both time out; NULL out words are allowed.
  EXPECT_EQ(MPWaitOnQueue(q.id, nullptr, nullptr, nullptr, kDurationImmediate), kMPTimeoutErr);
  EXPECT_EQ(MPWaitOnQueue(q.id, nullptr, nullptr, nullptr, 2), kMPTimeoutErr);
  EXPECT_EQ(MPWaitOnQueue(q.id, nullptr, nullptr, nullptr, Duration(-500)), kMPTimeoutErr);

  MPSemaphoreID sem = nullptr;
  ASSERT_EQ(MPCreateSemaphore(1, 0, &sem), noErr);
  MPQueueID deleted = nullptr;
  ASSERT_EQ(MPCreateQueue(&deleted), noErr);
  ASSERT_EQ(MPDeleteQueue(deleted), noErr);
  for (MPQueueID bad : {MPQueueID(nullptr), deleted, reinterpret_cast<MPQueueID>(sem),
                        reinterpret_cast<MPQueueID>(uintptr_t(0x12345))}) {
    EXPECT_EQ(MPNotifyQueue(bad, nullptr, nullptr, nullptr), kMPInvalidIDErr);
    EXPECT_EQ(MPWaitOnQueue(bad, nullptr, nullptr, nullptr, kDurationImmediate), kMPInvalidIDErr);
    EXPECT_EQ(MPDeleteQueue(bad), kMPInvalidIDErr);
  }
  EXPECT_EQ(MPCreateQueue(nullptr), paramErr);
  MPDeleteSemaphore(sem);
}

// Many posters and many waiters on one queue: every message arrives exactly once, and each poster's
// messages arrive in the order it posted them.
TEST(PlatformMultiprocessing, QueueUnderManyPostersAndWaitersLosesNothing) {
  constexpr int kPosters = 8, kWaiters = 4, kPerPoster = 2000;
  ScopedQueue work, term;
  std::vector<std::vector<std::atomic<int>>> seen(kPosters);
  for (auto &row : seen) row = std::vector<std::atomic<int>>(kPerPoster);
  std::atomic<int> orderFaults{0};

  for (int w = 0; w < kWaiters; ++w) {
    StartTask(
        [&]() -> OSStatus {
          std::array<intptr_t, kPosters> last;
          last.fill(-1);
          for (;;) {
            void *poster = nullptr, *seq = nullptr;
            OSStatus err = MPWaitOnQueue(work.id, &poster, &seq, nullptr, kDurationForever);
            if (err != noErr) return err;
            intptr_t p = FromWord(poster), s = FromWord(seq);
            if (p < 0) return noErr;  // end marker
            if (s <= last[p]) ++orderFaults;
            last[p] = s;
            ++seen[p][s];
          }
        },
        term.id, Word(kPosters + w));
  }
  for (int p = 0; p < kPosters; ++p) {
    StartTask(
        [&, p]() -> OSStatus {
          for (intptr_t s = 0; s < kPerPoster; ++s) {
            OSStatus err = MPNotifyQueue(work.id, Word(p), Word(s), nullptr);
            if (err != noErr) return err;
            if (s % 97 == 0) MPYield();
          }
          return noErr;
        },
        term.id, Word(p));
  }
  std::vector<OSStatus> posters = CollectResults(term.id, kPosters);
  for (OSStatus r : posters) EXPECT_EQ(r, noErr);
  for (int w = 0; w < kWaiters; ++w) ASSERT_EQ(MPNotifyQueue(work.id, Word(-1), nullptr, nullptr), noErr);
  for (int w = 0; w < kWaiters; ++w) {
    void *who = nullptr, *result = nullptr;
    ASSERT_EQ(MPWaitOnQueue(term.id, &who, nullptr, &result, kHangLimit), noErr);
    EXPECT_EQ(StatusFromWord(result), noErr);
  }
  int missing = 0, doubled = 0;
  for (auto &row : seen)
    for (auto &count : row) {
      missing += count == 0;
      doubled += count > 1;
    }
  EXPECT_EQ(missing, 0);
  EXPECT_EQ(doubled, 0);
  EXPECT_EQ(orderFaults.load(), 0);
}

TEST(PlatformMultiprocessing, DeletedQueueWakesEveryWaiterWithAnError) {
  constexpr int kWaiters = 6;
  ScopedQueue term;
  MPQueueID q = nullptr;
  ASSERT_EQ(MPCreateQueue(&q), noErr);
  for (int i = 0; i < kWaiters; ++i)
    StartTask([q]() -> OSStatus { return MPWaitOnQueue(q, nullptr, nullptr, nullptr, kDurationForever); }, term.id,
              Word(i));
  ASSERT_TRUE(WaitUntil([&] { return PL_MPWaiterCount(q) == kWaiters; }));
  ASSERT_EQ(MPDeleteQueue(q), noErr);
  for (OSStatus r : CollectResults(term.id, kWaiters)) EXPECT_EQ(r, kMPDeletedErr);
  // The identifier is gone for good.
  EXPECT_EQ(MPNotifyQueue(q, nullptr, nullptr, nullptr), kMPInvalidIDErr);
}

TEST(PlatformMultiprocessing, TaskPostsTerminationMessageAfterItsEntryReturns) {
  ScopedQueue term;
  std::atomic<MPTaskID> seenInside{nullptr};
  MPTaskID task = StartTask(
      [&]() -> OSStatus {
        seenInside = MPCurrentTaskID();
        return OSStatus(-1234);
      },
      term.id, Word(19), Word(0x5000));
  ASSERT_NE(task, nullptr);
  void *a = nullptr, *b = nullptr, *c = nullptr;
  ASSERT_EQ(MPWaitOnQueue(term.id, &a, &b, &c, kHangLimit), noErr);
  EXPECT_EQ(FromWord(a), 19);
  EXPECT_EQ(FromWord(b), 0x5000);
  EXPECT_EQ(StatusFromWord(c), -1234);
  EXPECT_EQ(seenInside.load(), task);
  EXPECT_NE(MPCurrentTaskID(), task);
  EXPECT_NE(MPCurrentTaskID(), nullptr);

  // Once it has ended, terminating it is refused with the "already gone" answer; unknown tasks are invalid.
  ASSERT_TRUE(WaitUntil([&] { return MPTerminateTask(task, 0) == kMPInsufficientResourcesErr; }));
  EXPECT_EQ(MPTerminateTask(nullptr, 0), kMPInvalidIDErr);
  EXPECT_EQ(MPTerminateTask(reinterpret_cast<MPTaskID>(term.id), 0), kMPInvalidIDErr);

  MPTaskID none = reinterpret_cast<MPTaskID>(1);
  EXPECT_EQ(MPCreateTask(nullptr, nullptr, 0, term.id, nullptr, nullptr, 0, &none), paramErr);
  EXPECT_EQ(none, nullptr);
  MPQueueID gone = nullptr;
  ASSERT_EQ(MPCreateQueue(&gone), noErr);
  MPDeleteQueue(gone);
  EXPECT_EQ(MPCreateTask([](void *) -> OSStatus { return noErr; }, nullptr, 0, gone, nullptr, nullptr, 0, &none),
            kMPInvalidIDErr);
}

// A terminated task is woken from whatever it blocks on, every later wait fails at once too, and its
// termination message carries the status given to MPTerminateTask.
TEST(PlatformMultiprocessing, TerminatedTaskLeavesEveryKindOfWait) {
  ScopedQueue term, idle;
  MPSemaphoreID sem = nullptr;
  MPEventID event = nullptr;
  MPCriticalRegionID region = nullptr;
  ASSERT_EQ(MPCreateSemaphore(1, 0, &sem), noErr);
  ASSERT_EQ(MPCreateEvent(&event), noErr);
  ASSERT_EQ(MPCreateCriticalRegion(&region), noErr);
  ASSERT_EQ(MPEnterCriticalRegion(region, kDurationImmediate), noErr);  // held by this thread

  struct Case {
    const char *name;
    const void *waitObject;  // NULL: a delay
    std::function<OSStatus()> block;
  };
  AbsoluteTime farAway = UpTime() + DurationToAbsolute(kDurationForever);
  std::vector<Case> cases = {
      {"queue", idle.id, [&] { return MPWaitOnQueue(idle.id, nullptr, nullptr, nullptr, kDurationForever); }},
      {"semaphore", sem, [&] { return MPWaitOnSemaphore(sem, kDurationForever); }},
      {"event", event, [&] { return MPWaitForEvent(event, nullptr, kDurationForever); }},
      {"region", region, [&] { return MPEnterCriticalRegion(region, kDurationForever); }},
      {"delay", nullptr, [&] { return MPDelayUntil(&farAway); }},
  };
  std::vector<std::atomic<OSStatus>> first(cases.size()), second(cases.size());
  std::vector<MPTaskID> tasks;
  for (size_t i = 0; i < cases.size(); ++i) {
    tasks.push_back(StartTask(
        [&, i]() -> OSStatus {
          first[i] = cases[i].block();
          second[i] = MPWaitOnQueue(idle.id, nullptr, nullptr, nullptr, kDurationImmediate);
          return OSStatus(77);  // replaced by the termination status
        },
        term.id, Word(i)));
  }
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    if (cases[i].waitObject) {
      ASSERT_TRUE(WaitUntil([&] { return PL_MPWaiterCount(cases[i].waitObject) >= 1; }));
    }
    EXPECT_EQ(MPTerminateTask(tasks[i], OSStatus(-500 - OSStatus(i))), noErr);
    // Again: harmless, the first status stays. The task may have ended already.
    OSStatus again = MPTerminateTask(tasks[i], 999);
    EXPECT_TRUE(again == noErr || again == kMPInsufficientResourcesErr) << again;
  }
  std::vector<OSStatus> results = CollectResults(term.id, cases.size());
  for (size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE(cases[i].name);
    EXPECT_EQ(results[i], OSStatus(-500 - OSStatus(i)));
    EXPECT_EQ(first[i].load(), kMPTaskAbortedErr);
    EXPECT_EQ(second[i].load(), kMPTaskAbortedErr);
  }
  EXPECT_EQ(MPExitCriticalRegion(region), noErr);
  MPDeleteSemaphore(sem);
  MPDeleteEvent(event);
  MPDeleteCriticalRegion(region);
}

TEST(PlatformMultiprocessing, SemaphoreCountsToItsMaximumAndGuardsUnderContention) {
  MPSemaphoreID sem = nullptr;
  EXPECT_EQ(MPCreateSemaphore(1, 2, &sem), paramErr);
  EXPECT_EQ(MPCreateSemaphore(0, 0, &sem), paramErr);
  ASSERT_EQ(MPCreateSemaphore(3, 1, &sem), noErr);
  EXPECT_EQ(MPSignalSemaphore(sem), noErr);
  EXPECT_EQ(MPSignalSemaphore(sem), noErr);
  EXPECT_EQ(MPSignalSemaphore(sem), kMPInsufficientResourcesErr);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(MPWaitOnSemaphore(sem, kDurationImmediate), noErr);
  EXPECT_EQ(MPWaitOnSemaphore(sem, kDurationImmediate), kMPTimeoutErr);
  EXPECT_EQ(MPWaitOnSemaphore(sem, 1), kMPTimeoutErr);
  ASSERT_EQ(MPDeleteSemaphore(sem), noErr);
  EXPECT_EQ(MPSignalSemaphore(sem), kMPInvalidIDErr);

  // A binary semaphore as a lock around a plain counter: 8 tasks and the main thread.
  constexpr int kTasks = 8, kRounds = 1000;
  MPSemaphoreID lock = nullptr;
  ASSERT_EQ(MPCreateBinarySemaphore(&lock), noErr);
  ScopedQueue term;
  long counter = 0;
  auto work = [&]() -> OSStatus {
    for (int r = 0; r < kRounds; ++r) {
      OSStatus err = MPWaitOnSemaphore(lock, kDurationForever);
      if (err != noErr) return err;
      ++counter;
      if ((err = MPSignalSemaphore(lock)) != noErr) return err;
    }
    return noErr;
  };
  for (int t = 0; t < kTasks; ++t) StartTask(work, term.id, Word(t));
  EXPECT_EQ(work(), noErr);
  for (OSStatus r : CollectResults(term.id, kTasks)) EXPECT_EQ(r, noErr);
  EXPECT_EQ(counter, long(kTasks + 1) * kRounds);
  MPDeleteSemaphore(lock);
}

// Several setters, one waiter: each wait returns the accumulated word and clears it, no bit is lost.
TEST(PlatformMultiprocessing, EventFlagsFromSeveralSettersAreCollectedAndCleared) {
  MPEventID event = nullptr;
  ASSERT_EQ(MPCreateEvent(&event), noErr);
  EXPECT_EQ(MPSetEvent(event, 0), noErr);
  EXPECT_EQ(MPWaitForEvent(event, nullptr, kDurationImmediate), kMPTimeoutErr);
  ASSERT_EQ(MPSetEvent(event, 0x800), noErr);
  ASSERT_EQ(MPSetEvent(event, 0x80000000u), noErr);
  MPEventFlags flags = 0;
  ASSERT_EQ(MPWaitForEvent(event, &flags, kDurationImmediate), noErr);
  EXPECT_EQ(flags, 0x80000800u);
  EXPECT_EQ(MPWaitForEvent(event, &flags, kDurationImmediate), kMPTimeoutErr);

  constexpr int kSetters = 32, kRounds = 200;
  ScopedQueue term;
  std::vector<MPQueueID> ack(kSetters);
  for (auto &q : ack) ASSERT_EQ(MPCreateQueue(&q), noErr);
  // Each setter sets its bit, then waits until the collector has seen it before setting it again.
  for (int s = 0; s < kSetters; ++s) {
    StartTask(
        [=, q = ack[s]]() -> OSStatus {
          for (int r = 0; r < kRounds; ++r) {
            OSStatus err = MPSetEvent(event, MPEventFlags(1) << s);
            if (err == noErr) err = MPWaitOnQueue(q, nullptr, nullptr, nullptr, kDurationForever);
            if (err != noErr) return err;
          }
          return noErr;
        },
        term.id, Word(s));
  }
  std::vector<int> counts(kSetters, 0);
  for (int seen = 0; seen < kSetters * kRounds;) {
    ASSERT_EQ(MPWaitForEvent(event, &flags, kHangLimit), noErr);
    ASSERT_NE(flags, 0u);
    for (int s = 0; s < kSetters; ++s) {
      if (flags & (MPEventFlags(1) << s)) {
        ++counts[s];
        ++seen;
        ASSERT_EQ(MPNotifyQueue(ack[s], nullptr, nullptr, nullptr), noErr);
      }
    }
  }
  for (OSStatus r : CollectResults(term.id, kSetters)) EXPECT_EQ(r, noErr);
  for (int s = 0; s < kSetters; ++s) EXPECT_EQ(counts[s], kRounds) << "setter " << s;
  EXPECT_EQ(MPWaitForEvent(event, &flags, kDurationImmediate), kMPTimeoutErr);
  for (MPQueueID q : ack) MPDeleteQueue(q);
  MPDeleteEvent(event);
}

TEST(PlatformMultiprocessing, CriticalRegionIsRecursiveAndExcludesOtherThreads) {
  MPCriticalRegionID region = nullptr;
  ASSERT_EQ(MPCreateCriticalRegion(&region), noErr);
  EXPECT_EQ(MPExitCriticalRegion(region), paramErr);  // not entered
  ASSERT_EQ(MPEnterCriticalRegion(region, kDurationImmediate), noErr);
  ASSERT_EQ(MPEnterCriticalRegion(region, kDurationImmediate), noErr);

  // While this thread holds it twice, a task cannot enter and cannot leave it for us.
  ScopedQueue term;
  StartTask(
      [&]() -> OSStatus {
        OSStatus enter = MPEnterCriticalRegion(region, 2);
        OSStatus exit = MPExitCriticalRegion(region);
        return enter == kMPTimeoutErr && exit == paramErr ? noErr : OSStatus(-1);
      },
      term.id, Word(0));
  EXPECT_EQ(CollectResults(term.id, 1)[0], noErr);
  EXPECT_EQ(MPExitCriticalRegion(region), noErr);
  EXPECT_EQ(MPExitCriticalRegion(region), noErr);
  EXPECT_EQ(MPExitCriticalRegion(region), paramErr);

  // Contention with nested entries: 8 tasks and the main thread.
  constexpr int kTasks = 8, kRounds = 1000;
  long counter = 0;
  auto work = [&]() -> OSStatus {
    for (int r = 0; r < kRounds; ++r) {
      OSStatus err = MPEnterCriticalRegion(region, kDurationForever);
      if (err == noErr) err = MPEnterCriticalRegion(region, kDurationImmediate);
      if (err != noErr) return err;
      ++counter;
      MPExitCriticalRegion(region);
      if ((err = MPExitCriticalRegion(region)) != noErr) return err;
    }
    return noErr;
  };
  for (int t = 0; t < kTasks; ++t) StartTask(work, term.id, Word(t));
  EXPECT_EQ(work(), noErr);
  for (OSStatus r : CollectResults(term.id, kTasks)) EXPECT_EQ(r, noErr);
  EXPECT_EQ(counter, long(kTasks + 1) * kRounds);

  // Deleting it wakes a waiter with an error.
  ASSERT_EQ(MPEnterCriticalRegion(region, kDurationImmediate), noErr);
  StartTask([&]() -> OSStatus { return MPEnterCriticalRegion(region, kDurationForever); }, term.id, Word(0));
  ASSERT_TRUE(WaitUntil([&] { return PL_MPWaiterCount(region) == 1; }));
  ASSERT_EQ(MPDeleteCriticalRegion(region), noErr);
  EXPECT_EQ(CollectResults(term.id, 1)[0], kMPDeletedErr);
  EXPECT_EQ(MPExitCriticalRegion(region), kMPInvalidIDErr);
}

TEST(PlatformMultiprocessing, AlignedAllocationHonoursAlignmentAndClearing) {
  struct Case {
    UInt8 code;
    size_t alignment;
  };
  for (Case c : {Case{kMPAllocateDefaultAligned, 16}, Case{kMPAllocate8ByteAligned, 8},
                 Case{kMPAllocate16ByteAligned, 16}, Case{kMPAllocate32ByteAligned, 32},
                 Case{kMPAllocate1024ByteAligned, 1024}, Case{kMPAllocate4096ByteAligned, 4096},
                 Case{kMPAllocateVMPageAligned, 4096}}) {
    SCOPED_TRACE(int(c.code));
    auto *p = static_cast<UInt8 *>(MPAllocateAligned(1000, c.code, kMPAllocateClearMask));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % c.alignment, 0u);
    int nonZero = 0;
    for (int i = 0; i < 1000; ++i) nonZero += p[i] != 0;
    EXPECT_EQ(nonZero, 0);
    MPFree(p);
  }
  EXPECT_EQ(MPAllocateAligned(16, 13, 0), nullptr);
  MPFree(nullptr);
}

TEST(PlatformMultiprocessing, ProcessorCountFollowsTheUsableCpus) {
  cpu_set_t set;
  CPU_ZERO(&set);
  ASSERT_EQ(sched_getaffinity(0, sizeof set, &set), 0);
  EXPECT_EQ(MPProcessors(), ItemCount(CPU_COUNT(&set)));
  EXPECT_EQ(MPProcessorsScheduled(), MPProcessors());
  EXPECT_TRUE(MPLibraryIsLoaded());
}

TEST(PlatformMultiprocessing, DurationsConvertBothWays) {
  struct Case {
    SInt32 duration;
    AbsoluteTime absolute;
    SInt32 back;
  };
  for (Case c : {Case{0, 0, 0}, Case{1, 1000000, 1}, Case{250, 250000000, 250}, Case{-1, 1000, -1},
                 Case{-1500, 1500000, -1500}, Case{-2000, 2000000, 2}, Case{kDurationForever, 2147483647000000ull,
                                                                              kDurationForever}}) {
    SCOPED_TRACE(c.duration);
    EXPECT_EQ(DurationToAbsolute(Duration(c.duration)), c.absolute);
    EXPECT_EQ(SInt32(AbsoluteToDuration(c.absolute)), c.back);
  }
  EXPECT_EQ(SInt32(AbsoluteToDuration(AbsoluteTime(1) << 62)), kDurationForever);
  EXPECT_EQ(SubAbsoluteFromAbsolute(5, 9), 0u);
  AbsoluteTime before = UpTime();
  AbsoluteTime until = before + DurationToAbsolute(1);
  EXPECT_EQ(MPDelayUntil(&until), noErr);
  EXPECT_GE(UpTime(), until);
  EXPECT_EQ(MPDelayUntil(nullptr), paramErr);
}

TEST(PlatformMultiprocessing, InterruptibleWaitEndsOnlyWhenAsked) {
  MPSemaphoreID sem = nullptr;
  ASSERT_EQ(MPCreateSemaphore(1, 0, &sem), noErr);
  // An interrupt request made before the wait ends the next interruptible wait, once.
  ASSERT_EQ(PL_InterruptWait(MPCurrentTaskID()), noErr);
  EXPECT_EQ(MPWaitOnSemaphore(sem, 1), kMPTimeoutErr);  // not interruptible: the request waits
  EXPECT_EQ(PL_SetWaitsInterruptible(true), false);
  EXPECT_EQ(MPWaitOnSemaphore(sem, kDurationForever), kPL_WaitInterruptedErr);
  EXPECT_EQ(MPWaitOnSemaphore(sem, 1), kMPTimeoutErr);

  // From another thread, while blocked.
  MPTaskID me = MPCurrentTaskID();
  ScopedQueue term;
  StartTask(
      [&]() -> OSStatus {
        if (!WaitUntil([&] { return PL_MPWaiterCount(sem) == 1; })) return OSStatus(-1);
        return PL_InterruptWait(me);
      },
      term.id, Word(0));
  EXPECT_EQ(MPWaitOnSemaphore(sem, kDurationForever), kPL_WaitInterruptedErr);
  EXPECT_EQ(CollectResults(term.id, 1)[0], noErr);
  EXPECT_EQ(PL_SetWaitsInterruptible(false), true);
  EXPECT_EQ(PL_InterruptWait(nullptr), kMPInvalidIDErr);
  MPDeleteSemaphore(sem);
}

}  // namespace
