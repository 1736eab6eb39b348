// Events, clicks and the quit command.
#include "toolkit/events_clicks_sounds.h"

#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"

namespace {

void HandleEvents(ItemCount numTypes, const EventTypeSpec *typeList) {
  EventTargetRef dispatcher = GetEventDispatcherTarget();
  EventRef event = nullptr;
  while (ReceiveNextEvent(numTypes, typeList, kEventDurationNoWait, true, &event) == noErr) {
    SendEventToEventTarget(event, dispatcher);
    ReleaseEvent(event);
  }
}

// A pending mouse-down less than the double-click time after `since` (ticks), taken from the queue.
Boolean TakeClickWithin(UInt32 since, UInt32 *when) {
  EventRecord record;
  if (!EventAvail(mDownMask, &record)) return false;
  if (UInt32(record.when - since) >= GetDblTime()) return false;
  GetNextEvent(mDownMask, &record);
  if (when != nullptr) *when = record.when;
  return true;
}

}  // namespace

void GL_HandlePendingEvents() { HandleEvents(0, nullptr); }

void GL_HandlePendingEventsWithOptions(ItemCount numTypes, const EventTypeSpec *typeList) {
  // No types listed would mean every type to the queue; here it means none.
  if (numTypes == 0 || typeList == nullptr) return;
  HandleEvents(numTypes, typeList);
}

OSStatus GL_PostQuitEvent() {
  EventRef event = nullptr;
  OSStatus err = CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, kEventAttributeNone, &event);
  if (err != noErr) return err;
  HICommand command{};
  command.commandID = kHICommandQuit;
  err = SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
  if (err == noErr) err = PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard);
  ReleaseEvent(event);
  return err;
}

Boolean GL_IsCommandPeriodEvent(const EventRecord *event) {
  return event != nullptr && event->what == keyDown && event->modifiers == cmdKey &&
         (event->message & charCodeMask) == '.';
}

SInt16 GL_GetClick() {
  EventRecord first;
  Boolean got = false;
  const UInt32 start = TickCount();
  while (!(got = GetNextEvent(mDownMask, &first)) && TickCount() - start < 10) Delay(1, nullptr);
  if (!got) return 0;
  while (TickCount() - first.when < GetDblTime()) Delay(1, nullptr);
  return GL_IsClickDoubleClick(first.when) ? 2 : 1;
}

Boolean GL_IsClickDoubleClick(UInt32 firstClickTime) { return TakeClickWithin(firstClickTime, nullptr); }

SInt16 GL_MultipleClick(UInt32 firstClickTime) {
  UInt32 second = 0;
  if (!TakeClickWithin(firstClickTime, &second)) return 1;
  return TakeClickWithin(second, nullptr) ? 3 : 2;
}

void GL_WaitForClick(const Rect *rect) {
  for (;;) {
    EventRecord record;
    if (GetNextEvent(mDownMask, &record) && (rect == nullptr || PtInRect(record.where, rect))) return;
    // Other events stay queued, as with a masked wait.
    const UInt32 start = TickCount();
    while (TickCount() - start < 10 && !EventAvail(mDownMask, nullptr)) Delay(1, nullptr);
  }
}

OSStatus GL_StillDownCarbon(Boolean *stillDown) {
  if (stillDown == nullptr) return paramErr;
  *stillDown = true;
  const EventTypeSpec mouseUp{kEventClassMouse, kEventMouseUp};
  EventRef event = nullptr;
  OSStatus err = ReceiveNextEvent(1, &mouseUp, 0.1, true, &event);
  if (err == eventLoopTimedOutErr) return noErr;
  if (err != noErr) return err;
  ReleaseEvent(event);
  *stillDown = false;
  return noErr;
}

OSStatus GL_ClickInBox(Rect contentBounds, SInt16 top, SInt16 left) {
  const Point where{SInt16(contentBounds.top + top + 6), SInt16(contentBounds.left + left + 6)};
  OSStatus err = PL_PostMouseEvent(kEventMouseDown, where, 0);
  if (err == noErr) err = PL_PostMouseEvent(kEventMouseUp, where, 0);
  return err;
}

OSStatus GL_PlaySystemSoundByName(CFStringRef) { return noErr; }
