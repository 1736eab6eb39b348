// Event Manager stand-in, the classic part: event records, their codes and modifier bits, and the queue
// read as records. Mouse-down events are the Carbon mouse-down events of the main event queue
// (kEventClassMouse, kEventMouseDown, with kEventParamMouseLocation as a QuickDraw point); their record
// time is the event's time in ticks. Main thread only.
#pragma once

#include "platform/core/event_loop.h"
#include "platform/core/mac_types.h"
#include "platform/core/quickdraw_geometry.h"

typedef UInt16 EventKind;
typedef UInt16 EventMask;
typedef UInt16 EventModifiers;

enum : EventKind { nullEvent = 0, mouseDown = 1, mouseUp = 2, keyDown = 3, keyUp = 4, autoKey = 5 };
enum : EventMask { mDownMask = 0x0002, mUpMask = 0x0004, keyDownMask = 0x0008, everyEvent = 0xFFFF };
enum : EventModifiers {
  activeFlag = 0x0001,
  btnState = 0x0080,
  cmdKey = 0x0100,
  shiftKey = 0x0200,
  alphaLock = 0x0400,
  optionKey = 0x0800,
  controlKey = 0x1000,
};
enum : UInt32 { charCodeMask = 0x000000FF, keyCodeMask = 0x0000FF00 };

struct EventRecord {
  EventKind what;
  UInt32 message;
  UInt32 when;  // ticks
  Point where;
  EventModifiers modifiers;
};

// Carbon mouse events and their parameters.
enum : UInt32 { kEventClassMouse = 'mous', kEventMouseDown = 1, kEventMouseUp = 2 };
// Keyboard events (the window layer takes keys through Qt; pending key-downs can still be flushed).
enum : UInt32 { kEventClassKeyboard = 'keyb', kEventRawKeyDown = 1 };
enum : EventParamName { kEventParamMouseLocation = 'mloc', kEventParamKeyModifiers = 'kmod' };
enum : EventParamType { typeQDPoint = 'QDpt', typeUInt32 = 'magn' };

// The double-click time in ticks (half a second unless the user-interface layer set another).
UInt32 GetDblTime();
// Our own helper: the user-interface layer's double-click interval, in ticks.
void PL_SetDblTime(UInt32 ticks);

// The next mouse-down of the queue as a record, taken out of the queue when the mask has mDownMask (other
// kinds are not kept as records here: they answer false). EventAvail leaves it queued.
Boolean GetNextEvent(EventMask eventMask, EventRecord *theEvent);
Boolean EventAvail(EventMask eventMask, EventRecord *theEvent);
// Our own helper: posts a mouse-down (or mouse-up) event at a point, stamped now; for tests and
// synthetic input.
OSStatus PL_PostMouseEvent(UInt32 kind, Point where, EventModifiers modifiers);
