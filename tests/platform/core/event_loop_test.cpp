#include "platform/core/event_loop.h"

#include "support/task_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <vector>

namespace {

using bz_test::FromWord;
using bz_test::kHangLimit;
using bz_test::StartTask;
using bz_test::StatusFromWord;
using bz_test::WaitUntil;
using bz_test::Word;

constexpr UInt32 kTestClass = 'Proj';
constexpr EventTimeout kLimit = 60.0;  // seconds; reaching it means a hang

// Every test starts and ends with an empty queue, so no event leaks from one test into the next.
class EventLoop : public ::testing::Test {
 protected:
  void SetUp() override { FlushEventQueue(GetMainEventQueue()); }
  void TearDown() override {
    FlushEventQueue(GetMainEventQueue());
    for (EventHandlerRef h : handlers_) RemoveEventHandler(h);
    for (EventLoopTimerRef t : timers_) RemoveEventLoopTimer(t);
  }
  EventHandlerRef Install(EventTargetRef target, EventHandlerUPP proc, std::vector<EventTypeSpec> types,
                          void *userData) {
    EventHandlerRef ref = nullptr;
    EXPECT_EQ(InstallEventHandler(target, proc, types.size(), types.data(), userData, &ref), noErr);
    handlers_.push_back(ref);
    return ref;
  }
  EventLoopTimerRef Timer(EventTimerInterval delay, EventTimerInterval interval, EventLoopTimerUPP proc,
                          void *userData) {
    EventLoopTimerRef ref = nullptr;
    EXPECT_EQ(InstallEventLoopTimer(GetMainEventLoop(), delay, interval, proc, userData, &ref), noErr);
    timers_.push_back(ref);
    return ref;
  }
  std::vector<EventHandlerRef> handlers_;
  std::vector<EventLoopTimerRef> timers_;
};

OSStatus PostKind(UInt32 kind, SInt32 value, EventPriority priority = kEventPriorityStandard) {
  EventRef event = nullptr;
  OSStatus err = CreateEvent(nullptr, kTestClass, kind, 0, kEventAttributeNone, &event);
  if (err == noErr) err = SetEventParameter(event, 2000, 2000, sizeof value, &value);
  if (err == noErr) err = PostEventToQueue(GetMainEventQueue(), event, priority);
  ReleaseEvent(event);
  return err;
}

SInt32 ValueOf(EventRef event) {
  SInt32 value = -1;
  EXPECT_EQ(GetEventParameter(event, 2000, 2000, nullptr, sizeof value, nullptr, &value), noErr);
  return value;
}

TEST_F(EventLoop, ParametersAreTypedNumberedAndCopied) {
  EventRef event = nullptr;
  ASSERT_EQ(CreateEvent(nullptr, kTestClass, 2007, 0, kEventAttributeNone, &event), noErr);
  EXPECT_EQ(GetEventClass(event), kTestClass);
  EXPECT_EQ(GetEventKind(event), 2007u);
  EXPECT_GT(GetEventTime(event), 0.0);

  float value = 12.5f;
  SInt16 item = 2038;
  struct Record {
    UInt8 bytes[204];
  } record;
  for (int i = 0; i < 204; ++i) record.bytes[i] = UInt8(i);
  ASSERT_EQ(SetEventParameter(event, 2005, 2005, sizeof value, &value), noErr);
  ASSERT_EQ(SetEventParameter(event, 2006, 2006, sizeof item, &item), noErr);
  ASSERT_EQ(SetEventParameter(event, 2011, 2011, sizeof record, &record), noErr);
  value = 0;  // the event keeps its own copy
  record.bytes[0] = 99;

  float gotValue = 0;
  EventParamType type = 0;
  ByteCount size = 0;
  ASSERT_EQ(GetEventParameter(event, 2005, 2005, &type, sizeof gotValue, &size, &gotValue), noErr);
  EXPECT_EQ(gotValue, 12.5f);
  EXPECT_EQ(type, 2005u);
  EXPECT_EQ(size, sizeof(float));

  Record gotRecord{};
  ASSERT_EQ(GetEventParameter(event, 2011, typeWildCard, &type, sizeof gotRecord, &size, &gotRecord), noErr);
  EXPECT_EQ(type, 2011u);
  EXPECT_EQ(gotRecord.bytes[0], 0);
  EXPECT_EQ(gotRecord.bytes[203], 203);

  // The size can be asked first; a short buffer gets what fits and nothing beyond it.
  ASSERT_EQ(GetEventParameter(event, 2011, 2011, nullptr, 0, &size, nullptr), noErr);
  EXPECT_EQ(size, 204u);
  UInt8 shortBuffer[8] = {};
  ASSERT_EQ(GetEventParameter(event, 2011, 2011, nullptr, 4, &size, shortBuffer), noErr);
  EXPECT_EQ(shortBuffer[3], 3);
  EXPECT_EQ(shortBuffer[4], 0);

  // Replacing a parameter; a missing one; a wrong type is never converted.
  SInt16 other = 2081;
  ASSERT_EQ(SetEventParameter(event, 2006, 2006, sizeof other, &other), noErr);
  SInt16 gotItem = 0;
  ASSERT_EQ(GetEventParameter(event, 2006, 2006, nullptr, sizeof gotItem, nullptr, &gotItem), noErr);
  EXPECT_EQ(gotItem, 2081);
  EXPECT_EQ(GetEventParameter(event, 2009, 2009, nullptr, 1, nullptr, &gotItem), eventParameterNotFoundErr);
  EXPECT_EQ(GetEventParameter(event, 2006, 2005, nullptr, sizeof gotItem, nullptr, &gotItem), errAECoercionFail);
  EXPECT_EQ(GetEventParameter(event, 2006, 2006, nullptr, 2, nullptr, nullptr), paramErr);
  EXPECT_EQ(CreateEvent(nullptr, kTestClass, 1, 0, 0, nullptr), paramErr);

  EXPECT_EQ(RetainEvent(event), event);
  ReleaseEvent(event);
  ReleaseEvent(event);
}

struct Received {
  std::vector<SInt32> values;
  std::vector<UInt32> kinds;
};

OSStatus Record(EventHandlerCallRef, EventRef event, void *userData) {
  auto *received = static_cast<Received *>(userData);
  received->kinds.push_back(GetEventKind(event));
  received->values.push_back(ValueOf(event));
  return noErr;
}

// Many tasks post; the main thread dispatches every event to the handler, each poster's in its order.
TEST_F(EventLoop, EventsPostedFromManyTasksAllArriveInPostingOrder) {
  constexpr int kPosters = 8, kPerPoster = 500;
  Received received;
  Install(GetApplicationEventTarget(), Record, {{kTestClass, 2000}}, &received);
  MPQueueID term = nullptr;
  ASSERT_EQ(MPCreateQueue(&term), noErr);
  for (int p = 0; p < kPosters; ++p) {
    StartTask(
        [p]() -> OSStatus {
          for (SInt32 s = 0; s < kPerPoster; ++s) {
            OSStatus err = PostKind(2000, p * 100000 + s);
            if (err != noErr) return err;
          }
          return noErr;
        },
        term, Word(p));
  }
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return received.values.size() == size_t(kPosters * kPerPoster); }, kLimit),
            noErr);
  for (int p = 0; p < kPosters; ++p) {
    void *result = nullptr;
    ASSERT_EQ(MPWaitOnQueue(term, nullptr, nullptr, &result, kHangLimit), noErr);
    EXPECT_EQ(StatusFromWord(result), noErr);
  }
  std::vector<SInt32> next(kPosters, 0);
  int faults = 0;
  for (SInt32 v : received.values) {
    int p = v / 100000;
    faults += v % 100000 != next[p];
    next[p] = v % 100000 + 1;
  }
  EXPECT_EQ(faults, 0);
  EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 0u);
  MPDeleteQueue(term);
}

TEST_F(EventLoop, HigherPriorityGoesFirstAndAnEventIsQueuedOnce) {
  Received received;
  Install(GetApplicationEventTarget(), Record, {{kTestClass, 2000}}, &received);
  ASSERT_EQ(PostKind(2000, 1, kEventPriorityLow), noErr);
  ASSERT_EQ(PostKind(2000, 2, kEventPriorityStandard), noErr);
  ASSERT_EQ(PostKind(2000, 3, kEventPriorityHigh), noErr);
  ASSERT_EQ(PostKind(2000, 4, kEventPriorityStandard), noErr);
  EXPECT_EQ(PostKind(2000, 5, 3), paramErr);
  ItemCount dispatched = 0;
  ASSERT_EQ(PL_DispatchPendingEvents(&dispatched), noErr);
  EXPECT_EQ(dispatched, 4u);
  EXPECT_EQ(received.values, (std::vector<SInt32>{3, 2, 4, 1}));

  EventRef event = nullptr;
  ASSERT_EQ(CreateEvent(nullptr, kTestClass, 2000, 0, 0, &event), noErr);
  SInt32 v = 9;
  SetEventParameter(event, 2000, 2000, sizeof v, &v);
  ASSERT_EQ(PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard), noErr);
  EXPECT_EQ(PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard), eventAlreadyPostedErr);
  ReleaseEvent(event);  // the queue keeps its own reference
  ASSERT_EQ(PL_DispatchPendingEvents(nullptr), noErr);
  EXPECT_EQ(received.values.back(), 9);
}

struct ChainLog {
  std::vector<int> calls;
  EventHandlerRef removeMe = nullptr;
};

template <int Id, OSStatus Answer>
OSStatus Link(EventHandlerCallRef, EventRef, void *userData) {
  static_cast<ChainLog *>(userData)->calls.push_back(Id);
  return Answer;
}

OSStatus CallsNextFirst(EventHandlerCallRef callRef, EventRef event, void *userData) {
  auto *log = static_cast<ChainLog *>(userData);
  log->calls.push_back(10);
  OSStatus rest = CallNextEventHandler(callRef, event);
  log->calls.push_back(rest == noErr ? 11 : 12);
  return eventNotHandledErr;  // already passed on: the chain must not run twice
}

OSStatus RemovesItself(EventHandlerCallRef, EventRef, void *userData) {
  auto *log = static_cast<ChainLog *>(userData);
  log->calls.push_back(20);
  RemoveEventHandler(log->removeMe);
  return eventNotHandledErr;
}

TEST_F(EventLoop, HandlersFormAChainFromTheNewestOnAndUpToTheParent) {
  EventTargetRef window = nullptr, control = nullptr;
  ASSERT_EQ(PL_CreateEventTarget(nullptr, &window), noErr);
  ASSERT_EQ(PL_CreateEventTarget(window, &control), noErr);
  ChainLog log;
  EventTypeSpec spec{kTestClass, 2008};
  Install(GetApplicationEventTarget(), Link<1, noErr>, {spec}, &log);
  Install(window, Link<2, eventNotHandledErr>, {spec}, &log);
  Install(control, Link<3, eventNotHandledErr>, {spec}, &log);
  Install(control, Link<4, eventNotHandledErr>, {{kTestClass, 2009}}, &log);  // other kind: never called
  Install(control, CallsNextFirst, {spec}, &log);

  EventRef event = nullptr;
  ASSERT_EQ(CreateEvent(nullptr, kTestClass, 2008, 0, 0, &event), noErr);
  EXPECT_EQ(SendEventToEventTarget(event, control), eventNotHandledErr);
  EXPECT_EQ(log.calls, (std::vector<int>{10, 3, 2, 1, 11}));

  // Posted to a target; the handler removing itself during the dispatch; a disposed target takes nothing.
  log.calls.clear();
  log.removeMe = Install(control, RemovesItself, {spec}, &log);
  ASSERT_EQ(SetEventParameter(event, kEventParamPostTarget, typeEventTargetRef, sizeof control, &control), noErr);
  ASSERT_EQ(PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard), noErr);
  ASSERT_EQ(PL_DispatchPendingEvents(nullptr), noErr);
  EXPECT_EQ(log.calls, (std::vector<int>{20, 10, 3, 2, 1, 11}));
  log.calls.clear();
  ASSERT_EQ(PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard), noErr);
  ASSERT_EQ(PL_DispatchPendingEvents(nullptr), noErr);
  EXPECT_EQ(log.calls, (std::vector<int>{10, 3, 2, 1, 11}));
  EXPECT_EQ(RemoveEventHandler(log.removeMe), paramErr);

  // Disposing the target drops what was posted to it; what is posted later is dropped at dispatch.
  log.calls.clear();
  ASSERT_EQ(PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard), noErr);
  ASSERT_EQ(PL_DisposeEventTarget(control), noErr);
  EXPECT_EQ(GetNumEventsInQueue(GetMainEventQueue()), 0u);
  ASSERT_EQ(PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard), noErr);
  ASSERT_EQ(PL_DispatchPendingEvents(nullptr), noErr);
  EXPECT_TRUE(log.calls.empty());
  EXPECT_EQ(PL_DisposeEventTarget(GetApplicationEventTarget()), paramErr);
  PL_DisposeEventTarget(window);
  ReleaseEvent(event);
}

TEST_F(EventLoop, AViewsStandardBehaviourIsTheLastOfItsOwnHandlers) {
  EventTargetRef window = nullptr, view = nullptr;
  ASSERT_EQ(PL_CreateEventTarget(nullptr, &window), noErr);
  ASSERT_EQ(PL_CreateEventTarget(window, &view), noErr);
  ChainLog log;
  const EventTypeSpec spec{kTestClass, 2010};
  Install(window, Link<2, noErr>, {spec}, &log);  // the parent's handlers are never asked
  EventRef event = nullptr;
  ASSERT_EQ(CreateEvent(nullptr, kTestClass, 2010, 0, 0, &event), noErr);

  // No handler of its own: nothing runs, not even the standard behaviour.
  EXPECT_FALSE(PL_EventTargetHandles(view, kTestClass, 2010));
  EXPECT_EQ(PL_SendEventToTargetWithStandard(event, view, Link<9, noErr>, &log), eventNotHandledErr);
  EXPECT_TRUE(log.calls.empty());

  struct Case {
    const char *what;
    EventHandlerUPP handler;
    OSStatus answer;
    std::vector<int> calls;
  };
  const Case cases[] = {
      {"passes the event on", Link<3, eventNotHandledErr>, noErr, {3, 9}},
      {"calls the standard in its midst", CallsNextFirst, eventNotHandledErr, {10, 9, 11}},
      {"acts alone", Link<4, noErr>, noErr, {4}},
  };
  for (const Case &c : cases) {
    log.calls.clear();
    EventHandlerRef h = Install(view, c.handler, {spec}, &log);
    Install(view, Link<5, eventNotHandledErr>, {{kTestClass, 2011}}, &log);  // another kind
    EXPECT_TRUE(PL_EventTargetHandles(view, kTestClass, 2010)) << c.what;
    EXPECT_EQ(PL_SendEventToTargetWithStandard(event, view, Link<9, noErr>, &log), c.answer) << c.what;
    EXPECT_EQ(log.calls, c.calls) << c.what;
    RemoveEventHandler(h);
  }
  EXPECT_FALSE(PL_EventTargetHandles(view, kTestClass, 2010));
  EXPECT_EQ(PL_SendEventToTargetWithStandard(event, view, nullptr, &log), paramErr);
  PL_DisposeEventTarget(view);
  EXPECT_FALSE(PL_EventTargetHandles(view, kTestClass, 2010));
  PL_DisposeEventTarget(window);
  ReleaseEvent(event);
}

struct TimerLog {
  int fired = 0;
  int depth = 0;
  int maxDepth = 0;
  EventLoopTimerRef self = nullptr;
};

void CountFire(EventLoopTimerRef timer, void *userData) {
  auto *log = static_cast<TimerLog *>(userData);
  ++log->fired;
  log->self = timer;
}

TEST_F(EventLoop, OneShotAndRepeatingTimersFireOnTheMainThread) {
  TimerLog once, repeating, marker, never;
  EventLoopTimerRef oneShot = Timer(0.001, 0, CountFire, &once);
  Timer(0.001, 0.001, CountFire, &repeating);
  Timer(kEventDurationForever, 0, CountFire, &never);
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return once.fired == 1 && repeating.fired >= 3; }, kLimit), noErr);
  EXPECT_EQ(once.self, oneShot);
  // A later one-shot marks time: the first one-shot has not fired again meanwhile.
  Timer(0.005, 0, CountFire, &marker);
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return marker.fired == 1; }, kLimit), noErr);
  EXPECT_EQ(once.fired, 1);
  EXPECT_EQ(never.fired, 0);
  // Re-armed from a task, it fires once more, on the main thread.
  MPQueueID term = nullptr;
  ASSERT_EQ(MPCreateQueue(&term), noErr);
  StartTask([oneShot]() -> OSStatus { return SetEventLoopTimerNextFireTime(oneShot, 0); }, term, nullptr);
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return once.fired == 2; }, kLimit), noErr);
  void *result = nullptr;
  ASSERT_EQ(MPWaitOnQueue(term, nullptr, nullptr, &result, kHangLimit), noErr);
  EXPECT_EQ(StatusFromWord(result), noErr);
  MPDeleteQueue(term);
  EXPECT_EQ(InstallEventLoopTimer(GetMainEventLoop(), 0, 0, nullptr, nullptr, nullptr), paramErr);
  EXPECT_EQ(RemoveEventLoopTimer(nullptr), paramErr);
}

void RemoveSelf(EventLoopTimerRef timer, void *userData) {
  ++static_cast<TimerLog *>(userData)->fired;
  RemoveEventLoopTimer(timer);
}

struct NestedTimer {
  TimerLog log;
  std::atomic<int> *progress;
};

// The timer waits while dispatching, as a main-thread wait does; it must not run again inside that wait,
// though other timers do.
void WaitsWhileDispatching(EventLoopTimerRef, void *userData) {
  auto *nested = static_cast<NestedTimer *>(userData);
  TimerLog &log = nested->log;
  ++log.fired;
  log.maxDepth = std::max(log.maxDepth, ++log.depth);
  int start = nested->progress->load();
  PL_RunEventLoopUntil([&] { return nested->progress->load() >= start + 3; }, kLimit);
  --log.depth;
}

void Progress(EventLoopTimerRef, void *userData) { ++*static_cast<std::atomic<int> *>(userData); }

TEST_F(EventLoop, TimerIsNotReenteredWhileItWaitsAndMayRemoveItself) {
  std::atomic<int> progress{0};
  NestedTimer nested{{}, &progress};
  TimerLog selfRemoving;
  Timer(0, 0.001, WaitsWhileDispatching, &nested);
  Timer(0.001, 0.001, Progress, &progress);
  EventLoopTimerRef gone = Timer(0, 0.001, RemoveSelf, &selfRemoving);
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return nested.log.fired >= 3; }, kLimit), noErr);
  EXPECT_EQ(nested.log.maxDepth, 1);
  EXPECT_EQ(selfRemoving.fired, 1);
  EXPECT_EQ(SetEventLoopTimerNextFireTime(gone, 0), paramErr);
}

struct Handshake {
  MPSemaphoreID reply = nullptr;
  int handled = 0;
};

OSStatus SignalReply(EventHandlerCallRef, EventRef, void *userData) {
  auto *h = static_cast<Handshake *>(userData);
  ++h->handled;
  MPSignalSemaphore(h->reply);
  return noErr;
}

// The main thread waits for a task that itself needs the main thread: each dispatching wait serves the
// task's event, where a plain wait would deadlock.
TEST_F(EventLoop, MainThreadWaitsServeTheTasksThatItWaitsFor) {
  Handshake handshake;
  ASSERT_EQ(MPCreateSemaphore(1, 0, &handshake.reply), noErr);
  Install(GetApplicationEventTarget(), SignalReply, {{kTestClass, 2002}}, &handshake);
  MPSemaphoreID done = nullptr;
  MPEventID flags = nullptr;
  MPCriticalRegionID region = nullptr;
  MPQueueID term = nullptr, results = nullptr;
  ASSERT_EQ(MPCreateSemaphore(1, 0, &done), noErr);
  ASSERT_EQ(MPCreateEvent(&flags), noErr);
  ASSERT_EQ(MPCreateCriticalRegion(&region), noErr);
  ASSERT_EQ(MPCreateQueue(&term), noErr);
  ASSERT_EQ(MPCreateQueue(&results), noErr);

  // Posts a request, waits for the main thread's answer, then releases the main thread by `release`.
  auto askThen = [&](std::function<OSStatus()> release) {
    return [&, release]() -> OSStatus {
      OSStatus err = PostKind(2002, 0);
      if (err == noErr) err = MPWaitOnSemaphore(handshake.reply, kDurationForever);
      if (err == noErr) err = release();
      return err;
    };
  };
  StartTask(askThen([&] { return MPSignalSemaphore(done); }), term, Word(0));
  EXPECT_EQ(PL_WaitOnSemaphoreDispatching(done, kDurationForever), noErr);

  StartTask(askThen([&] { return MPSetEvent(flags, 0x800); }), term, Word(1));
  MPEventFlags got = 0;
  EXPECT_EQ(PL_WaitForEventDispatching(flags, &got, kDurationForever), noErr);
  EXPECT_EQ(got, 0x800u);

  StartTask(askThen([&] { return MPNotifyQueue(results, Word(5033), nullptr, nullptr); }), term, Word(2));
  void *word = nullptr;
  EXPECT_EQ(PL_WaitOnQueueDispatching(results, &word, nullptr, nullptr, kDurationForever), noErr);
  EXPECT_EQ(FromWord(word), 5033);

  // The task holds the region while it asks the main thread, which is waiting to enter that region.
  StartTask(
      [&]() -> OSStatus {
        OSStatus err = MPEnterCriticalRegion(region, kDurationForever);
        if (err != noErr) return err;
        MPNotifyQueue(results, nullptr, nullptr, nullptr);
        err = PostKind(2002, 0);
        if (err == noErr) err = MPWaitOnSemaphore(handshake.reply, kDurationForever);
        OSStatus exitErr = MPExitCriticalRegion(region);
        return err != noErr ? err : exitErr;
      },
      term, Word(3));
  ASSERT_EQ(MPWaitOnQueue(results, nullptr, nullptr, nullptr, kHangLimit), noErr);  // the task holds it
  EXPECT_EQ(PL_EnterCriticalRegionDispatching(region, kDurationForever), noErr);
  EXPECT_EQ(MPExitCriticalRegion(region), noErr);

  for (int i = 0; i < 4; ++i) {
    void *result = nullptr;
    ASSERT_EQ(MPWaitOnQueue(term, nullptr, nullptr, &result, kHangLimit), noErr);
    EXPECT_EQ(StatusFromWord(result), noErr);
  }
  EXPECT_EQ(handshake.handled, 4);

  // Time-outs still end a dispatching wait; off the main thread it is the plain wait.
  EXPECT_EQ(PL_WaitOnSemaphoreDispatching(done, 5), kMPTimeoutErr);
  EXPECT_EQ(PL_WaitOnSemaphoreDispatching(done, kDurationImmediate), kMPTimeoutErr);
  StartTask([&]() -> OSStatus { return PL_WaitOnSemaphoreDispatching(done, 1); }, term, Word(0));
  void *result = nullptr;
  ASSERT_EQ(MPWaitOnQueue(term, nullptr, nullptr, &result, kHangLimit), noErr);
  EXPECT_EQ(StatusFromWord(result), kMPTimeoutErr);

  MPDeleteSemaphore(handshake.reply);
  MPDeleteSemaphore(done);
  MPDeleteEvent(flags);
  MPDeleteCriticalRegion(region);
  MPDeleteQueue(term);
  MPDeleteQueue(results);
}

void Quit(EventLoopTimerRef, void *) { QuitApplicationEventLoop(); }

TEST_F(EventLoop, RunningEndsOnQuitConditionOrTimeOutAndOnlyOnTheMainThread) {
  Timer(0.001, 0, Quit, nullptr);
  RunApplicationEventLoop();  // returns because the timer quit it
  EXPECT_EQ(RunCurrentEventLoop(0.002), eventLoopTimedOutErr);
  Timer(0.001, 0, Quit, nullptr);
  EXPECT_EQ(RunCurrentEventLoop(kLimit), eventLoopQuitErr);
  EXPECT_EQ(PL_RunEventLoopUntil([] { return false; }, 0.002), eventLoopTimedOutErr);
  EXPECT_EQ(PL_RunEventLoopUntil(nullptr, 0.002), paramErr);
  EXPECT_TRUE(PL_IsMainThread());

  MPQueueID term = nullptr;
  ASSERT_EQ(MPCreateQueue(&term), noErr);
  StartTask(
      []() -> OSStatus {
        if (PL_IsMainThread()) return -1;
        if (PL_DispatchPendingEvents(nullptr) != paramErr) return -2;
        return PL_RunEventLoopUntil([] { return true; }, 0) == paramErr ? noErr : OSStatus(-3);
      },
      term, nullptr);
  void *result = nullptr;
  ASSERT_EQ(MPWaitOnQueue(term, nullptr, nullptr, &result, kHangLimit), noErr);
  EXPECT_EQ(StatusFromWord(result), noErr);
  MPDeleteQueue(term);
}

// A stand-in for a toolkit's loop: it must be told of work posted from tasks, wait in its own way, and
// have its own events handled during long main-thread waits.
struct FakeDriver {
  MPSemaphoreID wakeups = nullptr;
  std::atomic<int> wakes{0};
  std::atomic<int> waits{0};
  int ownEvents = 0;
};

TEST_F(EventLoop, AnInstalledDriverIsWokenAndWaitsForTheLoop) {
  FakeDriver fake;
  ASSERT_EQ(MPCreateSemaphore(1, 0, &fake.wakeups), noErr);
  PL_EventLoopDriver driver{};
  driver.userData = &fake;
  driver.wake = [](void *d) {
    auto *f = static_cast<FakeDriver *>(d);
    ++f->wakes;
    MPSignalSemaphore(f->wakeups);
  };
  driver.waitForWork = [](void *d, EventTimeout timeout) {
    auto *f = static_cast<FakeDriver *>(d);
    ++f->waits;
    MPWaitOnSemaphore(f->wakeups, timeout < 0 ? Duration(kDurationForever) : Duration(-SInt32(timeout * 1e6) - 1));
  };
  driver.processOwnEvents = [](void *d) { ++static_cast<FakeDriver *>(d)->ownEvents; };
  PL_SetEventLoopDriver(&driver);

  Received received;
  Install(GetApplicationEventTarget(), Record, {{kTestClass, 2017}}, &received);
  MPQueueID term = nullptr;
  ASSERT_EQ(MPCreateQueue(&term), noErr);
  int wakesBefore = fake.wakes;
  // The task posts once the loop waits in the driver, so only the driver's wake can end that wait.
  StartTask(
      [&]() -> OSStatus {
        if (!WaitUntil([&] { return fake.waits.load() > 0; })) return -1;
        return PostKind(2017, 2081);
      },
      term, nullptr);
  ASSERT_EQ(PL_RunEventLoopUntil([&] { return received.values.size() == 1; }, kLimit), noErr);
  EXPECT_EQ(received.values[0], 2081);
  void *result = nullptr;
  ASSERT_EQ(MPWaitOnQueue(term, nullptr, nullptr, &result, kHangLimit), noErr);
  EXPECT_EQ(StatusFromWord(result), noErr);
  EXPECT_GT(fake.wakes.load(), wakesBefore);  // the post has returned, so its wake has happened

  // A dispatching wait lets the driver handle its own events too.
  MPSemaphoreID never = nullptr;
  ASSERT_EQ(MPCreateSemaphore(1, 0, &never), noErr);
  EXPECT_EQ(PL_WaitOnSemaphoreDispatching(never, 30), kMPTimeoutErr);
  EXPECT_GT(fake.ownEvents, 0);

  PL_SetEventLoopDriver(nullptr);
  MPDeleteSemaphore(never);
  MPDeleteSemaphore(fake.wakeups);
  MPDeleteQueue(term);
}

}  // namespace
