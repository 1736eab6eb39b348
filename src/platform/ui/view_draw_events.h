// Draw events for custom-drawn views: a view so marked gets the control draw event ('cntl' 4) on its own
// event target each time Qt paints it, with the view as direct object and a Quartz context over the view's
// pixels (origin at the top left, y pointing down, as a view's context is). When a handler answers noErr,
// what it drew is what the view shows; otherwise the view paints as it would without handlers.
// Main thread.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/event_loop.h"

// The names under which the event carries the view and the context.
enum : UInt32 { kPL_EventControlDraw = 4 };
enum : EventParamName { kPL_EventParamCGContextRef = 'cntx' };
enum : EventParamType { kPL_TypeControlRef = 'ctrl', kPL_TypeCGContextRef = 'cntx' };

// From now on the view of that identifier gets draw events (once is enough; again does nothing). paramErr
// for a NULL window, errUnknownControl when the window has no such view.
OSStatus PL_EnableViewDrawEvents(WindowRef window, HIViewID viewID);
// Test hook: the draw events sent so far to views of any window.
SInt64 PL_CountViewDrawEvents();
