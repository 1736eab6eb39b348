// The custom events through which tasks ask the main thread for work (class 'Proj'). Main thread only.
// Built so far: the logo stage's round trips, fade frame numbers (2010) and the found mask's picture (2011),
// after which the waiting stage is always signalled, and its transparency (2012) into item 2323. Every other
// event is consumed and answered noErr.
#pragma once

#include "platform/core/event_loop.h"

OSStatus BZ_HandleCustomApplicationEvent(EventRef event, UInt32 eventKind);
