// The status window: a small floating window telling what the application is doing. Main thread only.
// Not built yet: these do nothing and answer noErr until the status window arrives.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

OSStatus BZ_CreateStatusWindow(Point savedLoc);
// Redraws the status when it changed (always with forceUpdate).
OSStatus BZ_UpdateStatus(Boolean forceUpdate);
OSStatus BZ_DisposeStatusWindow();
