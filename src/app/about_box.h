// The about box: the standard one with the application's description, titled and placed by the application,
// which keeps its place when it closes. Main thread only.
#pragma once

#include "platform/core/event_loop.h"
#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

// Opens the about box in front; when none turns up, the alert sound and noErr. The failure of the box or
// of its title.
OSStatus BZ_ShowAboutBox();
// Activation and deactivation update the menus; closing stores the window's top left in
// gBZ.savedWindowLoc[0]. Never consumes the event (the standard handler closes the window).
OSStatus BZ_AboutBoxEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData);
