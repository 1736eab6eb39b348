// The preview's keyboard-shortcuts window. Main thread only. Not built yet: noErr.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

OSStatus BZ_CreateShortcutsWindow(Point savedLoc);
