// The custom events through which tasks ask the main thread for work (class 'Proj'). Main thread only.
// The handler is not built yet: it consumes every event and answers noErr.
#pragma once

#include "platform/core/event_loop.h"

OSStatus BZ_HandleCustomApplicationEvent(EventRef event, UInt32 eventKind);
