// The main-thread event loop: Carbon-style events with typed, numbered parameters, one event queue that any
// thread posts to, handlers installed on event targets, event-loop timers, and the loop that dispatches them
// on the main thread.
//
// One code path serves the application and the tests. The loop is driven either by the built-in waiter
// (tests, tools) or by a driver that a toolkit installs with PL_SetEventLoopDriver: the driver is told when
// work arrives (from any thread) and lets the main thread wait in its own loop; both end up calling
// PL_DispatchPendingEvents on the main thread.
//
// The main thread never blocks outright while a task may need it: the PL_...Dispatching waits below keep
// dispatching posted events and timers while they wait. A timer never fires again while its own procedure
// runs, so a timer that waits this way is not re-entered.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"
#include "platform/core/multiprocessing.h"

#include <functional>

typedef struct OpaqueEventRef *EventRef;
typedef struct OpaqueEventTargetRef *EventTargetRef;
typedef struct OpaqueEventHandlerRef *EventHandlerRef;
typedef struct OpaqueEventHandlerCallRef *EventHandlerCallRef;
typedef struct OpaqueEventQueueRef *EventQueueRef;
typedef struct OpaqueEventLoopRef *EventLoopRef;
typedef struct OpaqueEventLoopTimerRef *EventLoopTimerRef;

// Seconds of the monotonic clock.
typedef double EventTime;
typedef EventTime EventTimeout;
typedef EventTime EventTimerInterval;
typedef UInt32 EventParamName;
typedef UInt32 EventParamType;
typedef UInt32 EventAttributes;
typedef SInt16 EventPriority;

constexpr EventTime kEventDurationSecond = 1.0;
constexpr EventTime kEventDurationMillisecond = 0.001;
constexpr EventTime kEventDurationMicrosecond = 0.000001;
constexpr EventTime kEventDurationNoWait = 0.0;
constexpr EventTime kEventDurationForever = -1.0;

enum : EventAttributes { kEventAttributeNone = 0, kEventAttributeUserEvent = 1 };
enum : EventPriority { kEventPriorityLow = 0, kEventPriorityStandard = 1, kEventPriorityHigh = 2 };

enum : EventParamName {
  kEventParamDirectObject = '----',
  // An event posted with this parameter (typeEventTargetRef) goes to that target instead of the application.
  kEventParamPostTarget = 'ptrg',
};
enum : EventParamType { typeWildCard = '****', typeEventTargetRef = 'etrg' };

enum : OSStatus {
  eventAlreadyPostedErr = -9860,
  eventClassInvalidErr = -9862,
  eventHandlerAlreadyInstalledErr = -9866,
  eventInternalErr = -9868,
  eventNotInQueueErr = -9877,
};

struct EventTypeSpec {
  UInt32 eventClass;
  UInt32 eventKind;
};

typedef OSStatus (*EventHandlerProcPtr)(EventHandlerCallRef inHandlerCallRef, EventRef inEvent, void *inUserData);
typedef EventHandlerProcPtr EventHandlerUPP;
typedef void (*EventLoopTimerProcPtr)(EventLoopTimerRef inTimer, void *inUserData);
typedef EventLoopTimerProcPtr EventLoopTimerUPP;

inline EventHandlerUPP NewEventHandlerUPP(EventHandlerProcPtr proc) { return proc; }
inline void DisposeEventHandlerUPP(EventHandlerUPP) {}
inline EventLoopTimerUPP NewEventLoopTimerUPP(EventLoopTimerProcPtr proc) { return proc; }
inline void DisposeEventLoopTimerUPP(EventLoopTimerUPP) {}

// ---- Events (any thread) ---------------------------------------------------------------------------------

// A new event with a reference count of 1 (owned; release with ReleaseEvent). inAllocator is ignored (NULL
// or the default CF allocator). inWhen 0 stands for now.
OSStatus CreateEvent(const void *inAllocator, UInt32 inClassID, UInt32 inKind, EventTime inWhen,
                     EventAttributes inAttributes, EventRef *outEvent);
EventRef RetainEvent(EventRef inEvent);
void ReleaseEvent(EventRef inEvent);
UInt32 GetEventClass(EventRef inEvent);
UInt32 GetEventKind(EventRef inEvent);
EventTime GetEventTime(EventRef inEvent);
// Copies inSize bytes into the event (replacing a parameter of the same name).
OSStatus SetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inType, ByteCount inSize,
                           const void *inDataPtr);
// Copies at most inBufferSize bytes of the parameter; *outActualSize (optional) gets its full size, so a
// caller can ask for the size with a NULL buffer. Missing: eventParameterNotFoundErr. A type other than the
// stored one (typeWildCard matches any) gives errAECoercionFail: parameters are never converted.
OSStatus GetEventParameter(EventRef inEvent, EventParamName inName, EventParamType inDesiredType,
                           EventParamType *outActualType, ByteCount inBufferSize, ByteCount *outActualSize,
                           void *outData);

// ---- The event queue (any thread) ------------------------------------------------------------------------
// There is one queue, the main thread's; GetCurrentEventQueue returns it on every thread.

EventQueueRef GetMainEventQueue();
EventQueueRef GetCurrentEventQueue();
// Retains the event until it is dispatched. Higher priorities go first, the same priority in posting order.
// An event already in the queue gives eventAlreadyPostedErr.
OSStatus PostEventToQueue(EventQueueRef inQueue, EventRef inEvent, EventPriority inPriority);
// Drops every queued event without dispatching it.
OSStatus FlushEventQueue(EventQueueRef inQueue);
ItemCount GetNumEventsInQueue(EventQueueRef inQueue);
// Whether the event waits in the queue; taking it out drops the queue's reference (eventNotInQueueErr
// when it is not there).
Boolean IsEventInQueue(EventQueueRef inQueue, EventRef inEvent);
OSStatus RemoveEventFromQueue(EventQueueRef inQueue, EventRef inEvent);

// Main thread: fires the due timers and lets the driver handle its own events, then gives the first queued
// event of the listed types (any type when inNumTypes is 0), waiting up to inTimeout seconds
// (kEventDurationNoWait: not at all; kEventDurationForever: no limit) in short slices. inPullEvent takes it
// out of the queue and *outEvent is the caller's (ReleaseEvent); otherwise it stays queued and *outEvent is
// borrowed. eventLoopTimedOutErr when none came; paramErr off the main thread.
OSStatus ReceiveNextEvent(ItemCount inNumTypes, const EventTypeSpec *inList, EventTimeout inTimeout,
                          Boolean inPullEvent, EventRef *outEvent);

// ---- Targets and handlers (main thread) ------------------------------------------------------------------
// A target's handlers run most recently installed first; a handler that answers eventNotHandledErr passes
// the event on to the next one, and then to the parent target's handlers.

EventTargetRef GetApplicationEventTarget();
// Sending an event here delivers it where it was posted to: its kEventParamPostTarget, else the application.
EventTargetRef GetEventDispatcherTarget();
// For the toolkit: a target of its own (a window, a control); events it does not handle go on to `parent`
// (NULL: the application target). Owned; release with PL_DisposeEventTarget, which removes its handlers.
OSStatus PL_CreateEventTarget(EventTargetRef parent, EventTargetRef *outTarget);
OSStatus PL_DisposeEventTarget(EventTargetRef target);

OSStatus InstallEventHandler(EventTargetRef inTarget, EventHandlerUPP inHandler, ItemCount inNumTypes,
                             const EventTypeSpec *inList, void *inUserData, EventHandlerRef *outRef);
inline OSStatus InstallApplicationEventHandler(EventHandlerUPP inHandler, ItemCount inNumTypes,
                                               const EventTypeSpec *inList, void *inUserData,
                                               EventHandlerRef *outRef) {
  return InstallEventHandler(GetApplicationEventTarget(), inHandler, inNumTypes, inList, inUserData, outRef);
}
// Safe inside a dispatch, also for the handler that is running.
OSStatus RemoveEventHandler(EventHandlerRef inHandlerRef);
// From inside a handler: runs the rest of the chain now and returns its result.
OSStatus CallNextEventHandler(EventHandlerCallRef inCallRef, EventRef inEvent);
// Dispatches at once on the calling thread (main thread): eventNotHandledErr when nobody handled it.
OSStatus SendEventToEventTarget(EventRef inEvent, EventTargetRef inTarget);
// Our own: runs only the target's own handlers, not its parents' (for dispatchers that choose the next
// target themselves, as a menu command goes from its menu to the front window and then the application).
OSStatus PL_SendEventToTargetOnly(EventRef inEvent, EventTargetRef inTarget);
// Our own: whether the target itself (not its parents) has a handler of that event class and kind.
Boolean PL_EventTargetHandles(EventTargetRef inTarget, UInt32 inEventClass, UInt32 inEventKind);
// Our own, for views that act on their own unless a handler acts for them (a view's drawing): runs the
// target's own handlers and then inStandard, as the last of the chain, which CallNextEventHandler reaches.
// When the target has no handler of the event nothing runs and the answer is eventNotHandledErr.
OSStatus PL_SendEventToTargetWithStandard(EventRef inEvent, EventTargetRef inTarget, EventHandlerUPP inStandard,
                                          void *inUserData);

// ---- Timers ----------------------------------------------------------------------------------------------
// Timers fire on the main thread from the dispatch. An interval of 0 makes a one-shot timer, which stays
// installed and can be re-armed with SetEventLoopTimerNextFireTime; a fire delay of kEventDurationForever
// arms nothing. Install, re-arm and remove work from any thread; removal only stops future firings.

EventLoopRef GetMainEventLoop();
EventLoopRef GetCurrentEventLoop();
EventTime GetCurrentEventTime();
OSStatus InstallEventLoopTimer(EventLoopRef inEventLoop, EventTimerInterval inFireDelay,
                               EventTimerInterval inInterval, EventLoopTimerUPP inTimerProc, void *inTimerData,
                               EventLoopTimerRef *outTimer);
// The next firing comes inNextFire seconds from now (kEventDurationForever: none).
OSStatus SetEventLoopTimerNextFireTime(EventLoopTimerRef inTimer, EventTimerInterval inNextFire);
OSStatus RemoveEventLoopTimer(EventLoopTimerRef inTimer);

// ---- Running the loop (main thread) ----------------------------------------------------------------------

// Dispatches until QuitApplicationEventLoop.
void RunApplicationEventLoop();
// Any thread: makes the running RunApplicationEventLoop (or RunCurrentEventLoop) return.
void QuitApplicationEventLoop();
OSStatus QuitEventLoop(EventLoopRef inEventLoop);
// Dispatches for inTimeout seconds: eventLoopTimedOutErr then, eventLoopQuitErr when quit was asked.
OSStatus RunCurrentEventLoop(EventTimeout inTimeout);

// ---- Our own helpers -------------------------------------------------------------------------------------

// True on the thread that started the program.
Boolean PL_IsMainThread();

// Main thread: dispatches the events queued at the call (not those their handlers post) and fires the
// timers that are due. *outDispatched (optional) gets how many events and timers ran. paramErr elsewhere.
OSStatus PL_DispatchPendingEvents(ItemCount *outDispatched);
// When the next timer fires (GetCurrentEventTime's clock), or kEventDurationForever when none is armed.
EventTime PL_NextTimerFireTime();

// Main thread: dispatches until done() holds (checked after every dispatch and at least every 10 ms, so it
// may watch state that other threads change) or inTimeout seconds pass. noErr, or eventLoopTimedOutErr.
OSStatus PL_RunEventLoopUntil(const std::function<bool()> &done, EventTimeout inTimeout);

// How a toolkit drives the loop. All three are optional.
struct PL_EventLoopDriver {
  void *userData;
  // Any thread: an event was posted or a timer changed; the driver should get PL_DispatchPendingEvents
  // called on the main thread soon (also from inside its own nested loops).
  void (*wake)(void *userData);
  // Main thread: waits up to inTimeout seconds (kEventDurationForever: no limit) for wake or the driver's
  // own input, handling its own events meanwhile.
  void (*waitForWork)(void *userData, EventTimeout inTimeout);
  // Main thread: handles the driver's own pending events without waiting (repaints during long waits).
  void (*processOwnEvents)(void *userData);
};
// Copies the driver; NULL goes back to the built-in waiter.
void PL_SetEventLoopDriver(const PL_EventLoopDriver *driver);

// Waits as the MP call of the same name would. On the main thread they dispatch posted events and timers
// while they wait (in slices when a driver is installed, so that its own events are handled too); on any
// other thread they are the plain MP call.
OSStatus PL_WaitOnQueueDispatching(MPQueueID queue, void **param1, void **param2, void **param3, Duration timeout);
OSStatus PL_WaitOnSemaphoreDispatching(MPSemaphoreID semaphore, Duration timeout);
OSStatus PL_WaitForEventDispatching(MPEventID event, MPEventFlags *flags, Duration timeout);
OSStatus PL_EnterCriticalRegionDispatching(MPCriticalRegionID criticalRegion, Duration timeout);
