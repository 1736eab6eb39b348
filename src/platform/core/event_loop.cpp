// The main-thread event loop: one queue, handler chains on targets, timers and the built-in waiter.
//
// All shared state sits behind one mutex; handlers and timer procedures always run without it, so they may
// post, install, remove and dispatch again (nested loops) freely.
#include "platform/core/event_loop.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

constexpr EventTime kNever = std::numeric_limits<EventTime>::infinity();
// How often PL_RunEventLoopUntil looks at a condition that other threads change without posting, and how
// long a dispatching wait lets a driver's own events wait.
constexpr EventTime kPollSlice = 0.010;

struct Param {
  EventParamName name;
  EventParamType type;
  std::vector<UInt8> data;
};

struct Handler;

struct Target {
  std::shared_ptr<Target> parent;
  std::vector<std::shared_ptr<Handler>> handlers;  // install order; guarded by Loop::m
  bool disposed = false;
};

struct Handler {
  Target *target = nullptr;
  EventHandlerUPP proc = nullptr;
  void *userData = nullptr;
  std::vector<EventTypeSpec> types;
  std::atomic<bool> removed{false};

  bool Matches(UInt32 eventClass, UInt32 kind) const {
    for (const EventTypeSpec &spec : types)
      if (spec.eventClass == eventClass && spec.eventKind == kind) return true;
    return false;
  }
};

struct Timer {
  EventLoopTimerUPP proc = nullptr;
  void *userData = nullptr;
  EventTime nextFire = kNever;
  EventTimerInterval interval = 0;
  bool running = false;  // its procedure is executing; guarded by Loop::m
  bool removed = false;
};

struct HandlerChain {
  std::vector<std::shared_ptr<Handler>> handlers;
};

struct CallRef {
  const HandlerChain *chain;
  size_t index;
  bool nextCalled;
};

struct Loop {
  std::mutex m;
  std::deque<EventRef> queue[3];  // by priority
  std::shared_ptr<Target> appTarget = std::make_shared<Target>();
  std::unordered_map<Target *, std::shared_ptr<Target>> targets;
  std::unordered_map<Handler *, std::shared_ptr<Handler>> handlers;
  std::unordered_map<Timer *, std::shared_ptr<Timer>> timers;

  std::condition_variable cv;  // the built-in waiter
  bool wakePending = false;
  PL_EventLoopDriver driver{};

  std::atomic<bool> quitRequested{false};

  Loop() { targets.emplace(appTarget.get(), appTarget); }
};

// Never destroyed: tasks may post while static objects are torn down at exit.
Loop &L() {
  static Loop *loop = new Loop;
  return *loop;
}

// Static initialisation runs on the thread that starts the program.
const std::thread::id gMainThread = std::this_thread::get_id();
const MPTaskID gMainThreadTask = MPCurrentTaskID();

char gMainQueueToken;
char gMainLoopToken;

EventTime Now() { return EventTime(UpTime()) * 1e-9; }

PL_EventLoopDriver CurrentDriver() {
  std::lock_guard guard(L().m);
  return L().driver;
}

// New work for the main thread: wakes the built-in waiter, a dispatching wait and the driver.
void Wake() {
  {
    std::lock_guard guard(L().m);
    L().wakePending = true;
  }
  L().cv.notify_all();
  PL_InterruptWait(gMainThreadTask);
  PL_EventLoopDriver driver = CurrentDriver();
  if (driver.wake) driver.wake(driver.userData);
}

void WaitForWork(EventTime seconds) {
  PL_EventLoopDriver driver = CurrentDriver();
  if (driver.waitForWork) {
    driver.waitForWork(driver.userData, seconds);
    return;
  }
  std::unique_lock lock(L().m);
  if (!L().wakePending) {
    if (seconds < 0 || seconds == kNever)
      L().cv.wait(lock, [] { return L().wakePending; });
    else
      L().cv.wait_for(lock, std::chrono::duration<double>(seconds), [] { return L().wakePending; });
  }
  L().wakePending = false;
}

OSStatus RunChain(const HandlerChain &chain, size_t from, EventRef event) {
  for (size_t i = from; i < chain.handlers.size(); ++i) {
    const std::shared_ptr<Handler> &handler = chain.handlers[i];
    if (handler->removed) continue;
    CallRef callRef{&chain, i, false};
    OSStatus result = handler->proc(reinterpret_cast<EventHandlerCallRef>(&callRef), event, handler->userData);
    if (callRef.nextCalled || result != eventNotHandledErr) return result;
  }
  return eventNotHandledErr;
}

EventRef PopEvent() {
  std::lock_guard guard(L().m);
  for (int priority = kEventPriorityHigh; priority >= kEventPriorityLow; --priority) {
    auto &queue = L().queue[priority];
    if (!queue.empty()) {
      EventRef event = queue.front();
      queue.pop_front();
      return event;
    }
  }
  return nullptr;
}

ItemCount FireDueTimers() {
  EventTime now = Now();
  std::vector<std::pair<EventTime, std::shared_ptr<Timer>>> due;  // earliest first
  {
    std::lock_guard guard(L().m);
    for (auto &entry : L().timers)
      if (!entry.second->running && entry.second->nextFire <= now) due.emplace_back(entry.second->nextFire, entry.second);
  }
  std::sort(due.begin(), due.end(), [](const auto &a, const auto &b) { return a.first < b.first; });
  ItemCount fired = 0;
  for (auto &[when, timer] : due) {
    {
      std::lock_guard guard(L().m);
      if (timer->removed || timer->running || timer->nextFire > now) continue;
      timer->running = true;
      if (timer->interval > 0) {
        // Missed firings are not made up for: the next one is one interval after this one, or after now.
        EventTime next = timer->nextFire + timer->interval;
        timer->nextFire = next > now ? next : now + timer->interval;
      } else {
        timer->nextFire = kNever;
      }
    }
    timer->proc(reinterpret_cast<EventLoopTimerRef>(timer.get()), timer->userData);
    {
      std::lock_guard guard(L().m);
      timer->running = false;
    }
    ++fired;
  }
  return fired;
}

std::shared_ptr<Timer> FindTimer(EventLoopTimerRef ref) {
  auto it = L().timers.find(reinterpret_cast<Timer *>(ref));
  return it == L().timers.end() ? nullptr : it->second;
}

EventTime ToFireTime(EventTimerInterval delay) { return delay < 0 ? kNever : Now() + delay; }

// Runs the loop until done() or the time-out; with pollDone the condition is looked at every kPollSlice.
OSStatus RunUntil(const std::function<bool()> &done, EventTimeout timeout, bool pollDone) {
  if (!PL_IsMainThread()) return paramErr;
  EventTime deadline = timeout < 0 ? kNever : Now() + timeout;
  for (;;) {
    PL_DispatchPendingEvents(nullptr);
    if (done()) return noErr;
    EventTime now = Now();
    if (now >= deadline) return eventLoopTimedOutErr;
    EventTime until = deadline;
    EventTime nextTimer = PL_NextTimerFireTime();
    if (nextTimer >= 0) until = std::min(until, nextTimer);
    if (pollDone) until = std::min(until, now + kPollSlice);
    WaitForWork(until == kNever ? kEventDurationForever : std::max(0.0, until - now));
  }
}

// A Duration for a wait of `seconds` (>= 0): microseconds while they fit, else milliseconds.
Duration DurationFromSeconds(EventTime seconds) {
  double us = std::ceil(seconds * 1e6);
  if (us <= 0) return kDurationImmediate;
  if (us < 2147483647.0) return Duration(-SInt32(us));
  double ms = std::ceil(seconds * 1e3);
  return Duration(ms < 2147483646.0 ? SInt32(ms) : 2147483646);
}

EventTime SecondsFromDuration(SInt32 t) { return t >= 0 ? t * 1e-3 : -double(t) * 1e-6; }

template <class TryWait>
OSStatus WaitDispatching(Duration timeout, TryWait tryWait) {
  auto t = SInt32(timeout);
  if (!PL_IsMainThread() || t == kDurationImmediate) return tryWait(timeout);
  bool forever = t == kDurationForever;
  EventTime deadline = forever ? kNever : Now() + SecondsFromDuration(t);
  for (;;) {
    PL_DispatchPendingEvents(nullptr);
    PL_EventLoopDriver driver = CurrentDriver();
    if (driver.processOwnEvents) driver.processOwnEvents(driver.userData);
    EventTime now = Now();
    EventTime until = deadline;
    EventTime nextTimer = PL_NextTimerFireTime();
    if (nextTimer >= 0) until = std::min(until, nextTimer);
    if (driver.processOwnEvents) until = std::min(until, now + kPollSlice);
    Duration slice = until == kNever ? Duration(kDurationForever) : DurationFromSeconds(std::max(0.0, until - now));
    // Only this wait is interruptible: handlers dispatched above may make plain waits of their own.
    Boolean previous = PL_SetWaitsInterruptible(true);
    OSStatus result = tryWait(slice);
    PL_SetWaitsInterruptible(previous);
    if (result == kPL_WaitInterruptedErr) continue;
    if (result == kMPTimeoutErr && (forever || Now() < deadline)) continue;
    return result;
  }
}

}  // namespace

struct OpaqueEventRef {
  std::atomic<int> refCount{1};
  UInt32 eventClass = 0;
  UInt32 kind = 0;
  EventTime when = 0;
  EventAttributes attributes = 0;
  bool queued = false;  // guarded by Loop::m
  std::mutex m;
  std::vector<Param> params;  // guarded by m
};

// ---- Events ----------------------------------------------------------------------------------------------

OSStatus CreateEvent(const void *, UInt32 inClassID, UInt32 inKind, EventTime inWhen, EventAttributes inAttributes,
                     EventRef *outEvent) {
  if (outEvent == nullptr) return paramErr;
  auto *event = new OpaqueEventRef;
  event->eventClass = inClassID;
  event->kind = inKind;
  event->when = inWhen == 0 ? Now() : inWhen;
  event->attributes = inAttributes;
  *outEvent = event;
  return noErr;
}

EventRef RetainEvent(EventRef inEvent) {
  if (inEvent) inEvent->refCount.fetch_add(1);
  return inEvent;
}

void ReleaseEvent(EventRef inEvent) {
  if (inEvent && inEvent->refCount.fetch_sub(1) == 1) delete inEvent;
}

UInt32 GetEventClass(EventRef inEvent) { return inEvent ? inEvent->eventClass : 0; }
UInt32 GetEventKind(EventRef inEvent) { return inEvent ? inEvent->kind : 0; }
EventTime GetEventTime(EventRef inEvent) { return inEvent ? inEvent->when : 0; }

OSStatus SetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inType, ByteCount inSize,
                           const void *inDataPtr) {
  if (inEvent == nullptr || (inDataPtr == nullptr && inSize > 0)) return paramErr;
  std::vector<UInt8> data(inSize);
  if (inSize > 0) std::memcpy(data.data(), inDataPtr, inSize);
  std::lock_guard guard(inEvent->m);
  for (Param &param : inEvent->params) {
    if (param.name == inName) {
      param.type = inType;
      param.data = std::move(data);
      return noErr;
    }
  }
  inEvent->params.push_back({inName, inType, std::move(data)});
  return noErr;
}

OSStatus GetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inDesiredType,
                           EventParamType *outActualType, ByteCount inBufferSize, ByteCount *outActualSize,
                           void *outData) {
  if (inEvent == nullptr || (outData == nullptr && inBufferSize > 0)) return paramErr;
  std::lock_guard guard(inEvent->m);
  for (const Param &param : inEvent->params) {
    if (param.name != inName) continue;
    if (inDesiredType != typeWildCard && inDesiredType != param.type) return errAECoercionFail;
    if (outActualType) *outActualType = param.type;
    if (outActualSize) *outActualSize = ByteCount(param.data.size());
    size_t n = std::min(size_t(inBufferSize), param.data.size());
    if (n > 0) std::memcpy(outData, param.data.data(), n);
    return noErr;
  }
  return eventParameterNotFoundErr;
}

// ---- The event queue -------------------------------------------------------------------------------------

EventQueueRef GetMainEventQueue() { return reinterpret_cast<EventQueueRef>(&gMainQueueToken); }
EventQueueRef GetCurrentEventQueue() { return GetMainEventQueue(); }

OSStatus PostEventToQueue(EventQueueRef inQueue, EventRef inEvent, EventPriority inPriority) {
  if (inQueue != GetMainEventQueue() || inEvent == nullptr || inPriority < kEventPriorityLow ||
      inPriority > kEventPriorityHigh)
    return paramErr;
  {
    std::lock_guard guard(L().m);
    if (inEvent->queued) return eventAlreadyPostedErr;
    inEvent->queued = true;
    RetainEvent(inEvent);
    L().queue[inPriority].push_back(inEvent);
  }
  Wake();
  return noErr;
}

OSStatus FlushEventQueue(EventQueueRef inQueue) {
  if (inQueue != GetMainEventQueue()) return paramErr;
  std::vector<EventRef> dropped;
  {
    std::lock_guard guard(L().m);
    for (auto &queue : L().queue) {
      for (EventRef event : queue) {
        event->queued = false;
        dropped.push_back(event);
      }
      queue.clear();
    }
  }
  for (EventRef event : dropped) ReleaseEvent(event);
  return noErr;
}

Boolean IsEventInQueue(EventQueueRef inQueue, EventRef inEvent) {
  if (inQueue != GetMainEventQueue() || inEvent == nullptr) return false;
  std::lock_guard guard(L().m);
  return inEvent->queued;
}

OSStatus RemoveEventFromQueue(EventQueueRef inQueue, EventRef inEvent) {
  if (inQueue != GetMainEventQueue() || inEvent == nullptr) return paramErr;
  {
    std::lock_guard guard(L().m);
    if (!inEvent->queued) return eventNotInQueueErr;
    for (auto &queue : L().queue) queue.erase(std::remove(queue.begin(), queue.end(), inEvent), queue.end());
    inEvent->queued = false;
  }
  ReleaseEvent(inEvent);  // the queue's reference
  return noErr;
}

ItemCount GetNumEventsInQueue(EventQueueRef inQueue) {
  if (inQueue != GetMainEventQueue()) return 0;
  std::lock_guard guard(L().m);
  size_t n = 0;
  for (auto &queue : L().queue) n += queue.size();
  return ItemCount(n);
}

// ---- Targets and handlers --------------------------------------------------------------------------------

EventTargetRef GetApplicationEventTarget() { return reinterpret_cast<EventTargetRef>(L().appTarget.get()); }

OSStatus PL_CreateEventTarget(EventTargetRef parent, EventTargetRef *outTarget) {
  if (outTarget == nullptr) return paramErr;
  std::lock_guard guard(L().m);
  auto target = std::make_shared<Target>();
  if (parent == nullptr) {
    target->parent = L().appTarget;
  } else {
    auto it = L().targets.find(reinterpret_cast<Target *>(parent));
    if (it == L().targets.end()) return paramErr;
    target->parent = it->second;
  }
  L().targets.emplace(target.get(), target);
  *outTarget = reinterpret_cast<EventTargetRef>(target.get());
  return noErr;
}

OSStatus PL_DisposeEventTarget(EventTargetRef target) {
  std::vector<EventRef> dropped;
  {
    std::lock_guard guard(L().m);
    auto it = L().targets.find(reinterpret_cast<Target *>(target));
    if (it == L().targets.end() || it->second == L().appTarget) return paramErr;
    std::shared_ptr<Target> doomed = it->second;
    L().targets.erase(it);
    doomed->disposed = true;
    for (auto &handler : doomed->handlers) {
      handler->removed = true;
      L().handlers.erase(handler.get());
    }
    doomed->handlers.clear();
    // Events posted to it go too: a later target made at the same address must not receive them.
    for (auto &queue : L().queue) {
      auto keep = std::remove_if(queue.begin(), queue.end(), [&](EventRef event) {
        EventTargetRef postTarget = nullptr;
        if (GetEventParameter(event, kEventParamPostTarget, typeEventTargetRef, nullptr, sizeof postTarget, nullptr,
                              &postTarget) != noErr ||
            postTarget != target)
          return false;
        event->queued = false;
        dropped.push_back(event);
        return true;
      });
      queue.erase(keep, queue.end());
    }
  }
  for (EventRef event : dropped) ReleaseEvent(event);
  return noErr;
}

OSStatus InstallEventHandler(EventTargetRef inTarget, EventHandlerUPP inHandler, ItemCount inNumTypes,
                             const EventTypeSpec *inList, void *inUserData, EventHandlerRef *outRef) {
  if (inHandler == nullptr || (inNumTypes > 0 && inList == nullptr)) return paramErr;
  std::lock_guard guard(L().m);
  auto it = L().targets.find(reinterpret_cast<Target *>(inTarget));
  if (it == L().targets.end()) return paramErr;
  auto handler = std::make_shared<Handler>();
  handler->target = it->second.get();
  handler->proc = inHandler;
  handler->userData = inUserData;
  handler->types.assign(inList, inList + inNumTypes);
  it->second->handlers.push_back(handler);
  L().handlers.emplace(handler.get(), handler);
  if (outRef) *outRef = reinterpret_cast<EventHandlerRef>(handler.get());
  return noErr;
}

OSStatus RemoveEventHandler(EventHandlerRef inHandlerRef) {
  std::lock_guard guard(L().m);
  auto it = L().handlers.find(reinterpret_cast<Handler *>(inHandlerRef));
  if (it == L().handlers.end()) return paramErr;
  std::shared_ptr<Handler> handler = it->second;
  L().handlers.erase(it);
  handler->removed = true;
  auto &list = handler->target->handlers;
  list.erase(std::remove(list.begin(), list.end(), handler), list.end());
  return noErr;
}

OSStatus CallNextEventHandler(EventHandlerCallRef inCallRef, EventRef inEvent) {
  if (inCallRef == nullptr) return paramErr;
  auto *callRef = reinterpret_cast<CallRef *>(inCallRef);
  callRef->nextCalled = true;
  return RunChain(*callRef->chain, callRef->index + 1, inEvent);
}

OSStatus SendEventToEventTarget(EventRef inEvent, EventTargetRef inTarget) {
  if (inEvent == nullptr) return paramErr;
  // The dispatcher sends an event where it was posted to: its post target, else the application.
  if (inTarget == GetEventDispatcherTarget()) {
    inTarget = GetApplicationEventTarget();
    EventTargetRef postTarget = nullptr;
    if (GetEventParameter(inEvent, kEventParamPostTarget, typeEventTargetRef, nullptr, sizeof postTarget, nullptr,
                          &postTarget) == noErr)
      inTarget = postTarget;
  }
  HandlerChain chain;
  {
    std::lock_guard guard(L().m);
    auto it = L().targets.find(reinterpret_cast<Target *>(inTarget));
    if (it == L().targets.end()) return paramErr;
    for (Target *target = it->second.get(); target != nullptr; target = target->parent.get()) {
      if (target->disposed) continue;
      for (auto h = target->handlers.rbegin(); h != target->handlers.rend(); ++h)
        if ((*h)->Matches(inEvent->eventClass, inEvent->kind)) chain.handlers.push_back(*h);
    }
  }
  return RunChain(chain, 0, inEvent);
}

OSStatus PL_SendEventToTargetOnly(EventRef inEvent, EventTargetRef inTarget) {
  if (inEvent == nullptr) return paramErr;
  HandlerChain chain;
  {
    std::lock_guard guard(L().m);
    auto it = L().targets.find(reinterpret_cast<Target *>(inTarget));
    if (it == L().targets.end()) return paramErr;
    if (it->second->disposed) return eventNotHandledErr;
    for (auto h = it->second->handlers.rbegin(); h != it->second->handlers.rend(); ++h)
      if ((*h)->Matches(inEvent->eventClass, inEvent->kind)) chain.handlers.push_back(*h);
  }
  return RunChain(chain, 0, inEvent);
}

Boolean PL_EventTargetHandles(EventTargetRef inTarget, UInt32 inEventClass, UInt32 inEventKind) {
  std::lock_guard guard(L().m);
  auto it = L().targets.find(reinterpret_cast<Target *>(inTarget));
  if (it == L().targets.end() || it->second->disposed) return false;
  for (const auto &handler : it->second->handlers)
    if (handler->Matches(inEventClass, inEventKind)) return true;
  return false;
}

OSStatus PL_SendEventToTargetWithStandard(EventRef inEvent, EventTargetRef inTarget, EventHandlerUPP inStandard,
                                          void *inUserData) {
  if (inEvent == nullptr || inStandard == nullptr) return paramErr;
  HandlerChain chain;
  {
    std::lock_guard guard(L().m);
    auto it = L().targets.find(reinterpret_cast<Target *>(inTarget));
    if (it == L().targets.end()) return paramErr;
    if (it->second->disposed) return eventNotHandledErr;
    for (auto h = it->second->handlers.rbegin(); h != it->second->handlers.rend(); ++h)
      if ((*h)->Matches(inEvent->eventClass, inEvent->kind)) chain.handlers.push_back(*h);
  }
  if (chain.handlers.empty()) return eventNotHandledErr;
  // The standard behaviour is a handler of this dispatch only, never installed.
  auto standard = std::make_shared<Handler>();
  standard->proc = inStandard;
  standard->userData = inUserData;
  chain.handlers.push_back(standard);
  return RunChain(chain, 0, inEvent);
}

// ---- Timers ----------------------------------------------------------------------------------------------

EventLoopRef GetMainEventLoop() { return reinterpret_cast<EventLoopRef>(&gMainLoopToken); }
EventLoopRef GetCurrentEventLoop() { return GetMainEventLoop(); }
EventTime GetCurrentEventTime() { return Now(); }

OSStatus InstallEventLoopTimer(EventLoopRef inEventLoop, EventTimerInterval inFireDelay,
                               EventTimerInterval inInterval, EventLoopTimerUPP inTimerProc, void *inTimerData,
                               EventLoopTimerRef *outTimer) {
  if (inEventLoop != GetMainEventLoop() || inTimerProc == nullptr) return paramErr;
  auto timer = std::make_shared<Timer>();
  timer->proc = inTimerProc;
  timer->userData = inTimerData;
  timer->interval = inInterval > 0 ? inInterval : 0;
  timer->nextFire = ToFireTime(inFireDelay);
  {
    std::lock_guard guard(L().m);
    L().timers.emplace(timer.get(), timer);
  }
  if (outTimer) *outTimer = reinterpret_cast<EventLoopTimerRef>(timer.get());
  Wake();
  return noErr;
}

OSStatus SetEventLoopTimerNextFireTime(EventLoopTimerRef inTimer, EventTimerInterval inNextFire) {
  {
    std::lock_guard guard(L().m);
    std::shared_ptr<Timer> timer = FindTimer(inTimer);
    if (!timer) return paramErr;
    timer->nextFire = ToFireTime(inNextFire);
  }
  Wake();
  return noErr;
}

OSStatus RemoveEventLoopTimer(EventLoopTimerRef inTimer) {
  std::lock_guard guard(L().m);
  std::shared_ptr<Timer> timer = FindTimer(inTimer);
  if (!timer) return paramErr;
  timer->removed = true;
  L().timers.erase(timer.get());
  return noErr;
}

// ---- Running the loop ------------------------------------------------------------------------------------

void RunApplicationEventLoop() {
  RunUntil([] { return L().quitRequested.exchange(false); }, kEventDurationForever, false);
}

void QuitApplicationEventLoop() {
  L().quitRequested = true;
  Wake();
}

OSStatus QuitEventLoop(EventLoopRef inEventLoop) {
  if (inEventLoop != GetMainEventLoop()) return paramErr;
  QuitApplicationEventLoop();
  return noErr;
}

OSStatus RunCurrentEventLoop(EventTimeout inTimeout) {
  OSStatus result = RunUntil([] { return L().quitRequested.exchange(false); }, inTimeout, false);
  if (result == noErr) return eventLoopQuitErr;
  return result;
}

// ---- Our own helpers -------------------------------------------------------------------------------------

Boolean PL_IsMainThread() { return std::this_thread::get_id() == gMainThread; }

OSStatus PL_DispatchPendingEvents(ItemCount *outDispatched) {
  if (outDispatched) *outDispatched = 0;
  if (!PL_IsMainThread()) return paramErr;
  ItemCount pending = GetNumEventsInQueue(GetMainEventQueue());
  ItemCount dispatched = 0;
  for (ItemCount i = 0; i < pending; ++i) {
    EventRef event = PopEvent();
    if (event == nullptr) break;
    {
      std::lock_guard guard(L().m);
      event->queued = false;
    }
    EventTargetRef target = GetApplicationEventTarget();
    EventTargetRef postTarget = nullptr;
    if (GetEventParameter(event, kEventParamPostTarget, typeEventTargetRef, nullptr, sizeof postTarget, nullptr,
                          &postTarget) == noErr)
      target = postTarget;
    // A target disposed since the post no longer takes events: SendEventToEventTarget refuses it.
    SendEventToEventTarget(event, target);
    ReleaseEvent(event);
    ++dispatched;
  }
  dispatched += FireDueTimers();
  if (outDispatched) *outDispatched = dispatched;
  return noErr;
}

EventTime PL_NextTimerFireTime() {
  std::lock_guard guard(L().m);
  EventTime next = kNever;
  // A timer whose procedure runs is not due again until it returns.
  for (auto &entry : L().timers)
    if (!entry.second->running) next = std::min(next, entry.second->nextFire);
  return next == kNever ? kEventDurationForever : next;
}

OSStatus PL_RunEventLoopUntil(const std::function<bool()> &done, EventTimeout inTimeout) {
  if (!done) return paramErr;
  return RunUntil(done, inTimeout, true);
}

void PL_SetEventLoopDriver(const PL_EventLoopDriver *driver) {
  {
    std::lock_guard guard(L().m);
    L().driver = driver ? *driver : PL_EventLoopDriver{};
  }
  Wake();
}

OSStatus PL_WaitOnQueueDispatching(MPQueueID queue, void **param1, void **param2, void **param3, Duration timeout) {
  return WaitDispatching(timeout, [&](Duration slice) { return MPWaitOnQueue(queue, param1, param2, param3, slice); });
}

OSStatus PL_WaitOnSemaphoreDispatching(MPSemaphoreID semaphore, Duration timeout) {
  return WaitDispatching(timeout, [&](Duration slice) { return MPWaitOnSemaphore(semaphore, slice); });
}

OSStatus PL_WaitForEventDispatching(MPEventID event, MPEventFlags *flags, Duration timeout) {
  return WaitDispatching(timeout, [&](Duration slice) { return MPWaitForEvent(event, flags, slice); });
}

OSStatus PL_EnterCriticalRegionDispatching(MPCriticalRegionID criticalRegion, Duration timeout) {
  return WaitDispatching(timeout, [&](Duration slice) { return MPEnterCriticalRegion(criticalRegion, slice); });
}

EventTargetRef GetEventDispatcherTarget() {
  static char dispatcher;
  return reinterpret_cast<EventTargetRef>(&dispatcher);
}

namespace {

bool TypeListed(EventRef event, ItemCount numTypes, const EventTypeSpec *list) {
  if (numTypes == 0 || list == nullptr) return true;
  for (ItemCount i = 0; i < numTypes; ++i)
    if (list[i].eventClass == event->eventClass && list[i].eventKind == event->kind) return true;
  return false;
}

// The first queued event of the listed types, highest priority first; taken out of the queue when pull.
EventRef FindQueuedEvent(ItemCount numTypes, const EventTypeSpec *list, bool pull) {
  std::lock_guard guard(L().m);
  for (int priority = kEventPriorityHigh; priority >= kEventPriorityLow; --priority) {
    auto &queue = L().queue[priority];
    for (auto it = queue.begin(); it != queue.end(); ++it) {
      EventRef event = *it;
      if (!TypeListed(event, numTypes, list)) continue;
      if (pull) {
        queue.erase(it);
        event->queued = false;
      }
      return event;
    }
  }
  return nullptr;
}

}  // namespace

OSStatus ReceiveNextEvent(ItemCount inNumTypes, const EventTypeSpec *inList, EventTimeout inTimeout,
                          Boolean inPullEvent, EventRef *outEvent) {
  if (outEvent != nullptr) *outEvent = nullptr;
  if (!PL_IsMainThread()) return paramErr;
  const bool forever = inTimeout < 0;
  const EventTime deadline = forever ? kNever : Now() + inTimeout;
  for (;;) {
    FireDueTimers();
    PL_EventLoopDriver driver = CurrentDriver();
    if (driver.processOwnEvents) driver.processOwnEvents(driver.userData);
    EventRef event = FindQueuedEvent(inNumTypes, inList, inPullEvent);
    if (event != nullptr) {
      // A pulled event is the caller's (its queue reference passes on); a peeked one stays the queue's.
      if (outEvent != nullptr) *outEvent = event;
      else if (inPullEvent) ReleaseEvent(event);
      return noErr;
    }
    const EventTime now = Now();
    if (!forever && now >= deadline) return eventLoopTimedOutErr;
    const EventTime slice = forever ? kPollSlice : std::min(kPollSlice, deadline - now);
    std::this_thread::sleep_for(std::chrono::duration<double>(slice));
  }
}
