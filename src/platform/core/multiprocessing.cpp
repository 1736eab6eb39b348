// Multiprocessing Services over POSIX threads, std::mutex and std::condition_variable.
//
// Every waitable object has its own mutex and condition variable. A blocked thread records the object it
// waits on in its thread context, so that MPTerminateTask (and the event loop's interrupt) can wake exactly
// that wait: the waker sets the thread's flag first, then notifies the recorded object under its mutex.
#include "platform/core/multiprocessing.h"

#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <thread>
#include <unordered_map>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Identifiers are (serial << 3) | kind, so a queue identifier passed where a semaphore is expected is
// rejected, and a serial is never handed out twice.
enum Kind : uintptr_t { kKindQueue = 1, kKindSemaphore, kKindEvent, kKindRegion, kKindTask, kKindThread };
constexpr unsigned kKindBits = 3;
constexpr uintptr_t kKindMask = (uintptr_t(1) << kKindBits) - 1;

Kind KindOf(uintptr_t id) { return Kind(id & kKindMask); }
uintptr_t SerialOf(uintptr_t id) { return id >> kKindBits; }

struct WaitObject {
  std::mutex m;
  std::condition_variable cv;
  bool deleted = false;  // guarded by m
  ItemCount waiters = 0;  // threads blocked in BlockOn; guarded by m
  virtual ~WaitObject() = default;
};

struct Queue : WaitObject {
  std::deque<std::array<void *, 3>> messages;
  SInt64 postsBeforeFailure = -1;  // test hook: posts left before they fail with failureStatus; -1 off
  OSStatus failureStatus = noErr;
};
struct Semaphore : WaitObject {
  MPSemaphoreCount count = 0;
  MPSemaphoreCount maximum = 1;
};
struct EventGroup : WaitObject {
  MPEventFlags flags = 0;
};
struct Region : WaitObject {
  uintptr_t owner = 0;  // identifier of the owning thread context
  UInt32 depth = 0;
};
struct Sleeper : WaitObject {};

struct ThreadCtx {
  uintptr_t id = 0;
  std::atomic<bool> aborted{false};
  std::atomic<bool> interruptRequested{false};
  bool interruptible = false;  // read and written by the own thread only
  std::mutex waitLock;
  std::shared_ptr<WaitObject> waitingOn;  // guarded by waitLock
  std::shared_ptr<Sleeper> sleeper = std::make_shared<Sleeper>();
};

struct Task {
  std::shared_ptr<ThreadCtx> ctx;
  TaskProc entry = nullptr;
  void *parameter = nullptr;
  MPQueueID notifyQueue = nullptr;
  void *term1 = nullptr;
  void *term2 = nullptr;
  std::atomic<bool> terminateClaimed{false};
  std::atomic<OSStatus> terminationStatus{noErr};
};

struct Registry {
  std::shared_mutex m;
  std::unordered_map<uintptr_t, std::shared_ptr<WaitObject>> objects;
  std::unordered_map<uintptr_t, std::shared_ptr<Task>> tasks;        // live tasks
  std::unordered_map<uintptr_t, std::weak_ptr<ThreadCtx>> threads;  // threads we did not start
  std::atomic<uintptr_t> nextSerial{1};

  std::mutex joinM;
  std::condition_variable endedCv;
  std::vector<pthread_t> toJoin;  // threads whose entry has returned
  ItemCount liveTasks = 0;        // guarded by joinM
};

// Never destroyed: task threads may still run while static objects are torn down at exit.
Registry &R() {
  static Registry *registry = new Registry;
  return *registry;
}

uintptr_t NewId(Kind kind) { return (R().nextSerial.fetch_add(1) << kKindBits) | kind; }

// The calling thread's context: a task's own, or one made on first use for any other thread.
struct ThreadSlot {
  std::shared_ptr<ThreadCtx> ctx;
  bool foreign = false;
  ~ThreadSlot() {
    if (foreign && ctx) {
      std::unique_lock lock(R().m);
      R().threads.erase(ctx->id);
    }
  }
};
thread_local ThreadSlot tSlot;
// The calling task's identifier, 0 on other threads; trivially destructible, so usable during exit.
thread_local uintptr_t tSelfTaskId = 0;

ThreadCtx &CurrentCtx() {
  if (!tSlot.ctx) {
    auto ctx = std::make_shared<ThreadCtx>();
    ctx->id = NewId(kKindThread);
    {
      std::unique_lock lock(R().m);
      R().threads[ctx->id] = ctx;
    }
    tSlot.ctx = ctx;
    tSlot.foreign = true;
  }
  return *tSlot.ctx;
}

template <class T>
std::shared_ptr<T> Lookup(const void *id, Kind kind) {
  auto key = reinterpret_cast<uintptr_t>(id);
  if (key == 0 || KindOf(key) != kind) return nullptr;
  std::shared_lock lock(R().m);
  auto it = R().objects.find(key);
  if (it == R().objects.end()) return nullptr;
  return std::static_pointer_cast<T>(it->second);
}

template <class T, class Id>
OSStatus Create(Kind kind, Id *out, std::shared_ptr<T> object) {
  if (out == nullptr) return paramErr;
  uintptr_t id = NewId(kind);
  {
    std::unique_lock lock(R().m);
    R().objects.emplace(id, std::move(object));
  }
  *out = reinterpret_cast<Id>(id);
  return noErr;
}

// Removes the object from the table and wakes its waiters, which then see `deleted`.
template <class T>
OSStatus Delete(const void *id, Kind kind, void (*clear)(T &)) {
  auto key = reinterpret_cast<uintptr_t>(id);
  if (key == 0 || KindOf(key) != kind) return kMPInvalidIDErr;
  std::shared_ptr<WaitObject> object;
  {
    std::unique_lock lock(R().m);
    auto it = R().objects.find(key);
    if (it == R().objects.end()) return kMPInvalidIDErr;
    object = std::move(it->second);
    R().objects.erase(it);
  }
  std::lock_guard guard(object->m);
  object->deleted = true;
  if (clear) clear(static_cast<T &>(*object));
  object->cv.notify_all();
  return noErr;
}

Clock::duration ChronoFromDuration(SInt32 t) {
  if (t >= 0) return std::chrono::milliseconds(t);
  return std::chrono::microseconds(-SInt64(t));
}

// Wakes whatever the thread is blocked on; its flags were set before the call.
void WakeWaiter(ThreadCtx &ctx) {
  std::shared_ptr<WaitObject> object;
  {
    std::lock_guard guard(ctx.waitLock);
    object = ctx.waitingOn;
  }
  if (object) {
    std::lock_guard guard(object->m);
    object->cv.notify_all();
  }
}

// Blocks until ready() holds (checked under the object's mutex, which `lock` holds on entry and exit), the
// time-out passes, the object is deleted, the task is aborted or an interruptible wait is interrupted.
template <class Ready>
OSStatus BlockOn(const std::shared_ptr<WaitObject> &object, std::unique_lock<std::mutex> &lock, Duration timeout,
                 Ready ready) {
  ThreadCtx &me = CurrentCtx();
  if (object->deleted) return kMPDeletedErr;
  if (me.aborted) return kMPTaskAbortedErr;
  if (ready()) return noErr;
  auto t = SInt32(timeout);
  if (t == kDurationImmediate) return kMPTimeoutErr;
  bool forever = t == kDurationForever;
  Clock::time_point deadline = forever ? Clock::time_point::max() : Clock::now() + ChronoFromDuration(t);
  {
    std::lock_guard guard(me.waitLock);
    me.waitingOn = object;
  }
  ++object->waiters;
  OSStatus result;
  for (;;) {
    if (object->deleted) {
      result = kMPDeletedErr;
      break;
    }
    if (me.aborted) {
      result = kMPTaskAbortedErr;
      break;
    }
    if (ready()) {
      result = noErr;
      break;
    }
    if (me.interruptible && me.interruptRequested.exchange(false)) {
      result = kPL_WaitInterruptedErr;
      break;
    }
    if (forever) {
      object->cv.wait(lock);
    } else {
      if (Clock::now() >= deadline) {
        result = kMPTimeoutErr;
        break;
      }
      object->cv.wait_until(lock, deadline);
    }
  }
  --object->waiters;
  {
    std::lock_guard guard(me.waitLock);
    me.waitingOn.reset();
  }
  // A wake-up meant for one waiter must not be lost when this one leaves without taking it.
  if (result != noErr && !object->deleted && ready()) object->cv.notify_one();
  return result;
}

void *TaskTrampoline(void *arg) {
  std::shared_ptr<Task> task = std::move(*static_cast<std::shared_ptr<Task> *>(arg));
  delete static_cast<std::shared_ptr<Task> *>(arg);
  tSlot.ctx = task->ctx;
  tSlot.foreign = false;
  tSelfTaskId = task->ctx->id;

  OSStatus result = task->entry(task->parameter);
  if (task->ctx->aborted) result = task->terminationStatus.load();
  if (task->notifyQueue != nullptr)
    MPNotifyQueue(task->notifyQueue, task->term1, task->term2, reinterpret_cast<void *>(intptr_t(result)));

  {
    std::unique_lock lock(R().m);
    R().tasks.erase(task->ctx->id);
  }
  {
    std::lock_guard guard(R().joinM);
    R().toJoin.push_back(pthread_self());
    --R().liveTasks;
  }
  R().endedCv.notify_all();
  return nullptr;
}

// Joins the threads whose entry has returned.
void Reap() {
  std::vector<pthread_t> done;
  {
    std::lock_guard guard(R().joinM);
    done.swap(R().toJoin);
  }
  for (pthread_t thread : done) pthread_join(thread, nullptr);
}

OSStatus Terminate(Task &task, OSStatus status) {
  if (!task.terminateClaimed.exchange(true)) {
    task.terminationStatus.store(status);
    task.ctx->aborted.store(true);
  }
  WakeWaiter(*task.ctx);
  return noErr;
}

// Sanitizers make frames larger; keep the requested head-room.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t kStackFactor = 4;
#else
constexpr size_t kStackFactor = 1;
#endif

struct ShutdownAtExit {
  ~ShutdownAtExit() { PL_MPShutdown(); }
} gShutdownAtExit;

}  // namespace

// ---- Time base -------------------------------------------------------------------------------------------

AbsoluteTime UpTime() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return AbsoluteTime(ts.tv_sec) * 1000000000u + AbsoluteTime(ts.tv_nsec);
}

Nanoseconds AbsoluteToNanoseconds(AbsoluteTime absoluteTime) { return absoluteTime; }
AbsoluteTime NanosecondsToAbsolute(Nanoseconds nanoseconds) { return nanoseconds; }

AbsoluteTime DurationToAbsolute(Duration duration) {
  auto t = SInt32(duration);
  if (t >= 0) return AbsoluteTime(t) * 1000000u;
  return AbsoluteTime(-SInt64(t)) * 1000u;
}

Duration AbsoluteToDuration(AbsoluteTime absoluteTime) {
  constexpr UInt64 kMax = 0x7FFFFFFF;
  UInt64 ns = absoluteTime;
  if (ns % 1000000u == 0 || ns / 1000u > kMax) {
    UInt64 ms = ns / 1000000u;
    return Duration(ms >= kMax ? kDurationForever : SInt32(ms));
  }
  return Duration(-SInt32(ns / 1000u));
}

AbsoluteTime AddAbsoluteToAbsolute(AbsoluteTime a, AbsoluteTime b) {
  return b > std::numeric_limits<AbsoluteTime>::max() - a ? std::numeric_limits<AbsoluteTime>::max() : a + b;
}

AbsoluteTime SubAbsoluteFromAbsolute(AbsoluteTime a, AbsoluteTime b) { return a > b ? a - b : 0; }

// ---- Library ---------------------------------------------------------------------------------------------

Boolean MPLibraryIsLoaded() { return true; }

ItemCount MPProcessors() {
  static const ItemCount count = [] {
    cpu_set_t set;
    CPU_ZERO(&set);
    int n = 0;
    if (sched_getaffinity(0, sizeof set, &set) == 0) n = CPU_COUNT(&set);
    if (n <= 0) n = int(std::thread::hardware_concurrency());
    return ItemCount(std::max(n, 1));
  }();
  return count;
}

ItemCount MPProcessorsScheduled() { return MPProcessors(); }

// ---- Tasks -----------------------------------------------------------------------------------------------

OSStatus MPCreateTask(TaskProc entryPoint, void *parameter, ByteCount stackSize, MPQueueID notifyQueue,
                      void *terminationParameter1, void *terminationParameter2, MPTaskOptions,
                      MPTaskID *task) {
  if (task != nullptr) *task = nullptr;
  if (entryPoint == nullptr) return paramErr;
  if (notifyQueue != nullptr && !Lookup<Queue>(notifyQueue, kKindQueue)) return kMPInvalidIDErr;
  Reap();

  auto record = std::make_shared<Task>();
  record->ctx = std::make_shared<ThreadCtx>();
  record->ctx->id = NewId(kKindTask);
  record->entry = entryPoint;
  record->parameter = parameter;
  record->notifyQueue = notifyQueue;
  record->term1 = terminationParameter1;
  record->term2 = terminationParameter2;
  uintptr_t id = record->ctx->id;

  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return kMPInsufficientResourcesErr;
  if (stackSize > 0) {
    size_t page = size_t(sysconf(_SC_PAGESIZE));
    size_t bytes = std::max(size_t(stackSize) * kStackFactor, size_t(PTHREAD_STACK_MIN));
    bytes = (bytes + page - 1) / page * page;
    pthread_attr_setstacksize(&attr, bytes);
  }
  {
    std::unique_lock lock(R().m);
    R().tasks.emplace(id, record);
  }
  {
    std::lock_guard guard(R().joinM);
    ++R().liveTasks;
  }
  auto *arg = new std::shared_ptr<Task>(record);
  pthread_t thread;
  int rc = pthread_create(&thread, &attr, TaskTrampoline, arg);
  pthread_attr_destroy(&attr);
  if (rc != 0) {
    delete arg;
    {
      std::unique_lock lock(R().m);
      R().tasks.erase(id);
    }
    {
      std::lock_guard guard(R().joinM);
      --R().liveTasks;
    }
    R().endedCv.notify_all();
    return rc == ENOMEM ? memFullErr : kMPInsufficientResourcesErr;
  }
  if (task != nullptr) *task = reinterpret_cast<MPTaskID>(id);
  return noErr;
}

OSStatus MPTerminateTask(MPTaskID task, OSStatus terminationStatus) {
  auto key = reinterpret_cast<uintptr_t>(task);
  if (key == 0 || KindOf(key) != kKindTask) return kMPInvalidIDErr;
  std::shared_ptr<Task> record;
  {
    std::shared_lock lock(R().m);
    auto it = R().tasks.find(key);
    if (it != R().tasks.end()) record = it->second;
  }
  if (record) return Terminate(*record, terminationStatus);
  return SerialOf(key) < R().nextSerial.load() ? kMPInsufficientResourcesErr : kMPInvalidIDErr;
}

MPTaskID MPCurrentTaskID() { return reinterpret_cast<MPTaskID>(CurrentCtx().id); }

void MPYield() { std::this_thread::yield(); }

OSStatus MPDelayUntil(AbsoluteTime *expirationTime) {
  if (expirationTime == nullptr) return paramErr;
  ThreadCtx &me = CurrentCtx();
  // Far-off times are clamped so that the deadline cannot overflow the clock's range.
  constexpr AbsoluteTime kLongest = AbsoluteTime(100) * 365 * 24 * 3600 * 1000000000;
  AbsoluteTime wait = std::min(SubAbsoluteFromAbsolute(*expirationTime, UpTime()), kLongest);
  Clock::time_point deadline = Clock::now() + std::chrono::nanoseconds(wait);
  std::shared_ptr<WaitObject> sleeper = me.sleeper;
  std::unique_lock lock(sleeper->m);
  {
    std::lock_guard guard(me.waitLock);
    me.waitingOn = sleeper;
  }
  OSStatus result = noErr;
  for (;;) {
    if (me.aborted) {
      result = kMPTaskAbortedErr;
      break;
    }
    if (Clock::now() >= deadline) break;
    sleeper->cv.wait_until(lock, deadline);
  }
  {
    std::lock_guard guard(me.waitLock);
    me.waitingOn.reset();
  }
  return result;
}

// ---- Queues ----------------------------------------------------------------------------------------------

OSStatus MPCreateQueue(MPQueueID *queue) { return Create(kKindQueue, queue, std::make_shared<Queue>()); }

OSStatus MPDeleteQueue(MPQueueID queue) {
  return Delete<Queue>(queue, kKindQueue, [](Queue &q) { q.messages.clear(); });
}

OSStatus MPNotifyQueue(MPQueueID queue, void *param1, void *param2, void *param3) {
  auto q = Lookup<Queue>(queue, kKindQueue);
  if (!q) return kMPInvalidIDErr;
  {
    std::lock_guard guard(q->m);
    if (q->deleted) return kMPInvalidIDErr;
    if (q->postsBeforeFailure == 0) return q->failureStatus;
    if (q->postsBeforeFailure > 0) --q->postsBeforeFailure;
    q->messages.push_back({param1, param2, param3});
  }
  q->cv.notify_one();
  return noErr;
}

OSStatus MPWaitOnQueue(MPQueueID queue, void **param1, void **param2, void **param3, Duration timeout) {
  auto q = Lookup<Queue>(queue, kKindQueue);
  if (!q) return kMPInvalidIDErr;
  std::unique_lock lock(q->m);
  OSStatus result = BlockOn(q, lock, timeout, [&] { return !q->messages.empty(); });
  if (result != noErr) return result;
  auto message = q->messages.front();
  q->messages.pop_front();
  if (param1) *param1 = message[0];
  if (param2) *param2 = message[1];
  if (param3) *param3 = message[2];
  return noErr;
}

// ---- Semaphores ------------------------------------------------------------------------------------------

OSStatus MPCreateSemaphore(MPSemaphoreCount maximumValue, MPSemaphoreCount initialValue, MPSemaphoreID *semaphore) {
  if (semaphore == nullptr || maximumValue < 1 || initialValue > maximumValue) return paramErr;
  auto s = std::make_shared<Semaphore>();
  s->maximum = maximumValue;
  s->count = initialValue;
  return Create(kKindSemaphore, semaphore, std::move(s));
}

OSStatus MPDeleteSemaphore(MPSemaphoreID semaphore) { return Delete<Semaphore>(semaphore, kKindSemaphore, nullptr); }

OSStatus MPSignalSemaphore(MPSemaphoreID semaphore) {
  auto s = Lookup<Semaphore>(semaphore, kKindSemaphore);
  if (!s) return kMPInvalidIDErr;
  {
    std::lock_guard guard(s->m);
    if (s->deleted) return kMPInvalidIDErr;
    if (s->count >= s->maximum) return kMPInsufficientResourcesErr;
    ++s->count;
  }
  s->cv.notify_one();
  return noErr;
}

OSStatus MPWaitOnSemaphore(MPSemaphoreID semaphore, Duration timeout) {
  auto s = Lookup<Semaphore>(semaphore, kKindSemaphore);
  if (!s) return kMPInvalidIDErr;
  std::unique_lock lock(s->m);
  OSStatus result = BlockOn(s, lock, timeout, [&] { return s->count > 0; });
  if (result == noErr) --s->count;
  return result;
}

// ---- Event flag groups -----------------------------------------------------------------------------------

OSStatus MPCreateEvent(MPEventID *event) { return Create(kKindEvent, event, std::make_shared<EventGroup>()); }

OSStatus MPDeleteEvent(MPEventID event) { return Delete<EventGroup>(event, kKindEvent, nullptr); }

OSStatus MPSetEvent(MPEventID event, MPEventFlags flags) {
  auto e = Lookup<EventGroup>(event, kKindEvent);
  if (!e) return kMPInvalidIDErr;
  {
    std::lock_guard guard(e->m);
    if (e->deleted) return kMPInvalidIDErr;
    e->flags |= flags;
  }
  if (flags != 0) e->cv.notify_one();
  return noErr;
}

OSStatus MPWaitForEvent(MPEventID event, MPEventFlags *flags, Duration timeout) {
  auto e = Lookup<EventGroup>(event, kKindEvent);
  if (!e) return kMPInvalidIDErr;
  std::unique_lock lock(e->m);
  OSStatus result = BlockOn(e, lock, timeout, [&] { return e->flags != 0; });
  if (result != noErr) return result;
  if (flags) *flags = e->flags;
  e->flags = 0;
  return noErr;
}

// ---- Critical regions ------------------------------------------------------------------------------------

OSStatus MPCreateCriticalRegion(MPCriticalRegionID *criticalRegion) {
  return Create(kKindRegion, criticalRegion, std::make_shared<Region>());
}

OSStatus MPDeleteCriticalRegion(MPCriticalRegionID criticalRegion) {
  return Delete<Region>(criticalRegion, kKindRegion, nullptr);
}

OSStatus MPEnterCriticalRegion(MPCriticalRegionID criticalRegion, Duration timeout) {
  auto r = Lookup<Region>(criticalRegion, kKindRegion);
  if (!r) return kMPInvalidIDErr;
  uintptr_t me = CurrentCtx().id;
  std::unique_lock lock(r->m);
  OSStatus result = BlockOn(r, lock, timeout, [&] { return r->owner == 0 || r->owner == me; });
  if (result != noErr) return result;
  r->owner = me;
  ++r->depth;
  return noErr;
}

OSStatus MPExitCriticalRegion(MPCriticalRegionID criticalRegion) {
  auto r = Lookup<Region>(criticalRegion, kKindRegion);
  if (!r) return kMPInvalidIDErr;
  uintptr_t me = CurrentCtx().id;
  {
    std::lock_guard guard(r->m);
    if (r->deleted) return kMPInvalidIDErr;
    if (r->owner != me || r->depth == 0) return paramErr;
    if (--r->depth > 0) return noErr;
    r->owner = 0;
  }
  r->cv.notify_one();
  return noErr;
}

// ---- Memory ----------------------------------------------------------------------------------------------

LogicalAddress MPAllocateAligned(ByteCount size, UInt8 alignment, OptionBits options) {
  size_t align;
  if (alignment == kMPAllocateDefaultAligned) {
    align = 16;
  } else if (alignment <= kMPAllocateMaxAlignment) {
    align = std::max(size_t(1) << alignment, sizeof(void *));
  } else if (alignment == kMPAllocateVMPageAligned) {
    align = size_t(sysconf(_SC_PAGESIZE));
  } else if (alignment == kMPAllocateInterlockAligned) {
    align = 64;
  } else {
    return nullptr;
  }
  void *p = nullptr;
  if (posix_memalign(&p, align, size > 0 ? size : 1) != 0) return nullptr;
  if (options & kMPAllocateClearMask) std::memset(p, 0, size);
  return p;
}

void MPFree(LogicalAddress object) { std::free(object); }

// ---- Our own helpers -------------------------------------------------------------------------------------

Boolean PL_SetWaitsInterruptible(Boolean on) {
  ThreadCtx &me = CurrentCtx();
  Boolean previous = me.interruptible;
  me.interruptible = on != 0;
  return previous;
}

OSStatus PL_InterruptWait(MPTaskID thread) {
  auto key = reinterpret_cast<uintptr_t>(thread);
  std::shared_ptr<ThreadCtx> ctx;
  {
    std::shared_lock lock(R().m);
    if (KindOf(key) == kKindTask) {
      auto it = R().tasks.find(key);
      if (it != R().tasks.end()) ctx = it->second->ctx;
    } else if (KindOf(key) == kKindThread) {
      auto it = R().threads.find(key);
      if (it != R().threads.end()) ctx = it->second.lock();
    }
  }
  if (!ctx) return kMPInvalidIDErr;
  ctx->interruptRequested.store(true);
  WakeWaiter(*ctx);
  return noErr;
}

OSStatus PL_FailQueueNotifies(MPQueueID queue, SInt64 postsBeforeFailure, OSStatus failureStatus) {
  auto q = Lookup<Queue>(queue, kKindQueue);
  if (!q) return kMPInvalidIDErr;
  std::lock_guard guard(q->m);
  q->postsBeforeFailure = postsBeforeFailure < 0 ? -1 : postsBeforeFailure;
  q->failureStatus = failureStatus;
  return noErr;
}

ItemCount PL_MPWaiterCount(const void *object) {
  auto key = reinterpret_cast<uintptr_t>(object);
  std::shared_ptr<WaitObject> found;
  {
    std::shared_lock lock(R().m);
    auto it = R().objects.find(key);
    if (it != R().objects.end()) found = it->second;
  }
  if (!found) return 0;
  std::lock_guard guard(found->m);
  return found->waiters;
}

ItemCount PL_MPLiveTaskCount() {
  std::lock_guard guard(R().joinM);
  return R().liveTasks;
}

void PL_MPShutdown() {
  // Runs at exit too, after this thread's thread_local contexts are gone: only tSelfTaskId is read.
  uintptr_t selfId = tSelfTaskId;
  ItemCount self = selfId != 0 ? 1 : 0;
  for (;;) {
    std::vector<std::shared_ptr<Task>> live;
    {
      std::shared_lock lock(R().m);
      for (auto &entry : R().tasks)
        if (entry.first != selfId) live.push_back(entry.second);
    }
    for (auto &task : live) Terminate(*task, kMPTaskAbortedErr);
    std::unique_lock lock(R().joinM);
    // Tasks may start others while they end; those are aborted on the next round.
    if (R().endedCv.wait_for(lock, std::chrono::milliseconds(100), [&] { return R().liveTasks <= self; })) break;
  }
  Reap();
}
