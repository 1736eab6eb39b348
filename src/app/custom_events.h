// The main thread's side of the custom events (class kBZ_ProjEventClass) that pipeline tasks, the main task
// and the cleaning methods post when they need windows, controls or movies (the senders are the engine's, in
// engine/runtime/shell_senders.h and beside the stages). The application handler passes every such event here.
//
// Every case records its failure as the project's first error (state.error, shown by the one-second timer),
// runs its later steps only while the project has no error, and releases a sender that waits for it (by its
// semaphore or event flag) whatever happened. Main thread only.
#pragma once

#include "platform/core/event_loop.h"

// Carries out the event of that kind; always noErr (the event counts as handled). Kinds 2004 and 2005 are
// consumed without effect. When the event set the project's error, prints
// "BZ_HandleCustomApplicationEvent: project error set, eventKind = %hd, error = %ld\n".
OSStatus BZ_HandleCustomApplicationEvent(EventRef event, UInt32 eventKind);
