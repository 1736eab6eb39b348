// Toolkit operations around the event loop and the mouse: dispatching pending events while the main thread
// is busy, posting the quit command, telling clicks from double clicks and waiting for a click.
// Main thread only.
#pragma once

#include "platform/core/classic_events.h"
#include "platform/core/event_loop.h"
#include "platform/core/menus.h"
#include "platform/core/quickdraw_geometry.h"


// Takes every pending event from the queue without waiting (also those that handlers post meanwhile) and
// sends each where it was posted to; due timers fire as well. Returns when the queue is empty.
void GL_HandlePendingEvents();
// The same for the listed event types only; the other events stay queued in their order.
void GL_HandlePendingEventsWithOptions(ItemCount numTypes, const EventTypeSpec *typeList);
// Plays the system alert sound of that name. The sounds folder holds no sounds here yet, so nothing plays
// and noErr is answered, as for a name that matches no sound.
OSStatus GL_PlaySystemSoundByName(CFStringRef name);
// Posts a command event (kind 1) carrying the command 'quit' to the main queue with standard priority.
OSStatus GL_PostQuitEvent();
// True for a key-down record whose modifiers are exactly the command key and whose character is '.'.
Boolean GL_IsCommandPeriodEvent(const EventRecord *event);

// Waits up to 10 ticks for a mouse-down; 0 when none came. After one, waits until the double-click time
// has passed since it and answers 2 when a second mouse-down within that time is pending, else 1.
SInt16 GL_GetClick();
// True when a pending mouse-down lies less than the double-click time after firstClickTime (ticks); that
// mouse-down is taken from the queue.
Boolean GL_IsClickDoubleClick(UInt32 firstClickTime);
// 1, 2 or 3 clicks: a second within the double-click time of the first, a third within that of the second.
SInt16 GL_MultipleClick(UInt32 firstClickTime);
// Waits, 10 ticks at a time, for a mouse-down inside rect (anywhere when rect is NULL); other events stay
// queued meanwhile.
void GL_WaitForClick(const Rect *rect);

// *stillDown = true, then watches the mouse for up to 0.1 s in all: a button release (a queued mouse-up,
// taken) clears it and ends the watch. A failure of the watch is returned.
OSStatus GL_StillDownCarbon(Boolean *stillDown);
// Posts a mouse-down and a mouse-up of one button at (contentBounds.left + left + 6,
// contentBounds.top + top + 6).
OSStatus GL_ClickInBox(Rect contentBounds, SInt16 top, SInt16 left);
