// Multiprocessing Services stand-in: preemptive tasks on POSIX threads, message queues of three
// pointer-sized words, counting semaphores, event flag groups, recursive critical regions, aligned
// allocation, the processor count and the time base (AbsoluteTime, Duration) that their time-outs use.
//
// Identifiers are handles into a process-wide table and are never reused, so a stale or foreign identifier
// gives kMPInvalidIDErr instead of touching freed memory. All calls are safe from any thread, including the
// main thread and threads this layer did not create.
//
// Time-outs are Durations: 0 (kDurationImmediate) never blocks, kDurationForever never ends, a positive
// value counts milliseconds and a negative one microseconds. A timed-out wait gives kMPTimeoutErr.
//
// Termination is cooperative: a thread cannot be killed, so MPTerminateTask marks the task aborted and
// every blocking call of that task (waits and delays, also later ones) returns kMPTaskAbortedErr at once,
// which the task's code passes up until its entry returns. The termination message is posted then.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

typedef struct OpaqueMPTaskID *MPTaskID;
typedef struct OpaqueMPQueueID *MPQueueID;
typedef struct OpaqueMPSemaphoreID *MPSemaphoreID;
typedef struct OpaqueMPEventID *MPEventID;
typedef struct OpaqueMPCriticalRegionID *MPCriticalRegionID;
typedef UInt32 MPEventFlags;
typedef ItemCount MPSemaphoreCount;
typedef OptionBits MPTaskOptions;
typedef void *LogicalAddress;
typedef UInt64 Nanoseconds;

// A task's entry; its result becomes the third word of the termination message.
typedef OSStatus (*TaskProc)(void *parameter);

// ---- Time base -------------------------------------------------------------------------------------------
// AbsoluteTime counts nanoseconds of the monotonic clock here.

AbsoluteTime UpTime();
Nanoseconds AbsoluteToNanoseconds(AbsoluteTime absoluteTime);
AbsoluteTime NanosecondsToAbsolute(Nanoseconds nanoseconds);
// kDurationForever maps to 0x7FFFFFFF ms; negative durations are microseconds.
AbsoluteTime DurationToAbsolute(Duration duration);
// Whole milliseconds when the time is a multiple of one, else negative microseconds; saturates at
// kDurationForever.
Duration AbsoluteToDuration(AbsoluteTime absoluteTime);
AbsoluteTime AddAbsoluteToAbsolute(AbsoluteTime a, AbsoluteTime b);
// a - b, 0 when b is later than a.
AbsoluteTime SubAbsoluteFromAbsolute(AbsoluteTime a, AbsoluteTime b);

// ---- Library ---------------------------------------------------------------------------------------------

// Always true: the services are part of this program.
Boolean MPLibraryIsLoaded();
// Processors this process may run on (its CPU affinity), at least 1.
ItemCount MPProcessors();
ItemCount MPProcessorsScheduled();

// ---- Tasks -----------------------------------------------------------------------------------------------

// Starts a task running entryPoint(parameter). stackSize 0 takes the system default. When notifyQueue is
// not 0, (terminationParameter1, terminationParameter2, result) is posted to it after the entry returns;
// result is the entry's status, or the status given to MPTerminateTask when the task was terminated.
// options are accepted and ignored. *task receives the identifier (0 on failure).
OSStatus MPCreateTask(TaskProc entryPoint, void *parameter, ByteCount stackSize, MPQueueID notifyQueue,
                      void *terminationParameter1, void *terminationParameter2, MPTaskOptions options,
                      MPTaskID *task);
// Aborts the task cooperatively (see the file comment); the first status given is the one reported.
// A task that has already ended gives kMPInsufficientResourcesErr (its termination message is, or was,
// on its notify queue); an identifier that never named a task gives kMPInvalidIDErr.
OSStatus MPTerminateTask(MPTaskID task, OSStatus terminationStatus);
// The calling task, or a stable identifier of the calling thread when this layer did not create it.
MPTaskID MPCurrentTaskID();
void MPYield();
// Blocks the caller until UpTime() reaches *expirationTime; kMPTaskAbortedErr in a terminated task.
OSStatus MPDelayUntil(AbsoluteTime *expirationTime);

// ---- Queues ----------------------------------------------------------------------------------------------
// Unbounded FIFO queues of three words; any number of posters and waiters; each message goes to one waiter.

OSStatus MPCreateQueue(MPQueueID *queue);
// Waiters blocked on the queue wake with kMPDeletedErr; messages still queued are dropped.
OSStatus MPDeleteQueue(MPQueueID queue);
OSStatus MPNotifyQueue(MPQueueID queue, void *param1, void *param2, void *param3);
// Takes the oldest message; each out pointer may be NULL. Empty after the time-out: kMPTimeoutErr.
OSStatus MPWaitOnQueue(MPQueueID queue, void **param1, void **param2, void **param3, Duration timeout);

// ---- Semaphores ------------------------------------------------------------------------------------------

// initialValue <= maximumValue, maximumValue >= 1, else paramErr.
OSStatus MPCreateSemaphore(MPSemaphoreCount maximumValue, MPSemaphoreCount initialValue, MPSemaphoreID *semaphore);
inline OSStatus MPCreateBinarySemaphore(MPSemaphoreID *semaphore) { return MPCreateSemaphore(1, 1, semaphore); }
OSStatus MPDeleteSemaphore(MPSemaphoreID semaphore);
// Raises the count; at its maximum the count stays and the result is kMPInsufficientResourcesErr.
OSStatus MPSignalSemaphore(MPSemaphoreID semaphore);
OSStatus MPWaitOnSemaphore(MPSemaphoreID semaphore, Duration timeout);

// ---- Event flag groups -----------------------------------------------------------------------------------

OSStatus MPCreateEvent(MPEventID *event);
OSStatus MPDeleteEvent(MPEventID event);
// ORs flags into the group's word and wakes a waiter.
OSStatus MPSetEvent(MPEventID event, MPEventFlags flags);
// Waits until the word is not 0, returns it in *flags (may be NULL) and clears it.
OSStatus MPWaitForEvent(MPEventID event, MPEventFlags *flags, Duration timeout);

// ---- Critical regions ------------------------------------------------------------------------------------
// Recursive: the owning thread may enter again and must exit as often. Any thread may own one, the main
// thread included.

OSStatus MPCreateCriticalRegion(MPCriticalRegionID *criticalRegion);
OSStatus MPDeleteCriticalRegion(MPCriticalRegionID criticalRegion);
OSStatus MPEnterCriticalRegion(MPCriticalRegionID criticalRegion, Duration timeout);
// paramErr when the calling thread does not own the region.
OSStatus MPExitCriticalRegion(MPCriticalRegionID criticalRegion);

// ---- Memory ----------------------------------------------------------------------------------------------

// Alignment codes: log2 of the byte alignment (0 = default, 16 bytes here).
enum : UInt8 {
  kMPAllocateDefaultAligned = 0,
  kMPAllocate8ByteAligned = 3,
  kMPAllocate16ByteAligned = 4,
  kMPAllocate32ByteAligned = 5,
  kMPAllocate1024ByteAligned = 10,
  kMPAllocate4096ByteAligned = 12,
  kMPAllocateMaxAlignment = 12,
  kMPAllocateAltiVecAligned = 4,
  kMPAllocateVMXAligned = 4,
  kMPAllocateVMPageAligned = 254,
  kMPAllocateInterlockAligned = 255,
};
enum : OptionBits {
  kMPAllocateClearMask = 0x0001,
  kMPAllocateGloballyMask = 0x0002,
  kMPAllocateResidentMask = 0x0004,
  kMPAllocateNoGrowthMask = 0x0010,
  kMPAllocateNoCreateMask = 0x0020,
};
// Owned block; release with MPFree. NULL when memory is out or the alignment code is unknown.
LogicalAddress MPAllocateAligned(ByteCount size, UInt8 alignment, OptionBits options);
void MPFree(LogicalAddress object);

// ---- Our own helpers -------------------------------------------------------------------------------------

// Returned only to a thread that made its waits interruptible and was interrupted; never seen elsewhere.
enum : OSStatus { kPL_WaitInterruptedErr = -29250 };

// For the main-thread event loop: while on, the calling thread's blocking waits also end with
// kPL_WaitInterruptedErr once PL_InterruptWait names it (a request made while it was not waiting ends its
// next wait). Returns the previous setting.
Boolean PL_SetWaitsInterruptible(Boolean on);
// Wakes the current or next interruptible wait of the thread named by `thread` (from MPCurrentTaskID).
OSStatus PL_InterruptWait(MPTaskID thread);

// Test hook: threads blocked right now on a queue, semaphore, event group or critical region (0 for an
// unknown identifier), so that a test can act once its waiters are in place.
ItemCount PL_MPWaiterCount(const void *mpObject);
// Test hook: after postsBeforeFailure further successful posts, MPNotifyQueue on this queue fails with
// failureStatus (nothing is queued); a negative count switches it off.
OSStatus PL_FailQueueNotifies(MPQueueID queue, SInt64 postsBeforeFailure, OSStatus failureStatus);
// Tasks started and not yet ended.
ItemCount PL_MPLiveTaskCount();
// Shut-down: terminates every live task with kMPTaskAbortedErr and joins every thread this layer started.
// Runs by itself at process exit; the application calls it before it tears down what tasks may use.
void PL_MPShutdown();
