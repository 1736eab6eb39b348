// Event Manager stand-in, the classic part: mouse-down events of the main queue read as event records.
#include "platform/core/classic_events.h"

#include "platform/core/clock.h"
#include "platform/core/mac_errors.h"

#include <atomic>

namespace {

std::atomic<UInt32> gDblTime{30};

const EventTypeSpec kMouseDown{kEventClassMouse, kEventMouseDown};

Boolean NextMouseDown(EventMask eventMask, EventRecord *theEvent, Boolean pull) {
  if (theEvent != nullptr) *theEvent = EventRecord{nullEvent, 0, TickCount(), Point{0, 0}, 0};
  if ((eventMask & mDownMask) == 0) return false;
  EventRef event = nullptr;
  if (ReceiveNextEvent(1, &kMouseDown, kEventDurationNoWait, pull, &event) != noErr || event == nullptr)
    return false;
  if (theEvent != nullptr) {
    theEvent->what = mouseDown;
    theEvent->when = UInt32(GetEventTime(event) * 60.0);
    GetEventParameter(event, kEventParamMouseLocation, typeQDPoint, nullptr, sizeof theEvent->where, nullptr,
                      &theEvent->where);
    UInt32 modifiers = 0;
    GetEventParameter(event, kEventParamKeyModifiers, typeUInt32, nullptr, sizeof modifiers, nullptr, &modifiers);
    theEvent->modifiers = EventModifiers(modifiers);
  }
  if (pull) ReleaseEvent(event);
  return true;
}

}  // namespace

UInt32 GetDblTime() { return gDblTime.load(); }
void PL_SetDblTime(UInt32 ticks) { gDblTime = ticks; }

Boolean GetNextEvent(EventMask eventMask, EventRecord *theEvent) { return NextMouseDown(eventMask, theEvent, true); }
Boolean EventAvail(EventMask eventMask, EventRecord *theEvent) { return NextMouseDown(eventMask, theEvent, false); }

OSStatus PL_PostMouseEvent(UInt32 kind, Point where, EventModifiers modifiers) {
  EventRef event = nullptr;
  OSStatus err = CreateEvent(nullptr, kEventClassMouse, kind, 0, kEventAttributeNone, &event);
  if (err != noErr) return err;
  const UInt32 mods = modifiers;
  err = SetEventParameter(event, kEventParamMouseLocation, typeQDPoint, sizeof where, &where);
  if (err == noErr) err = SetEventParameter(event, kEventParamKeyModifiers, typeUInt32, sizeof mods, &mods);
  if (err == noErr) err = PostEventToQueue(GetMainEventQueue(), event, kEventPriorityStandard);
  ReleaseEvent(event);
  return err;
}
