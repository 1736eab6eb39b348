// The preview's keyboard-shortcuts window. Main thread only. Not built yet: noErr.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"
#include "platform/core/quickdraw_ports.h"

OSStatus BZ_CreateShortcutsWindow(Point savedLoc);
// Enables the preview's Shortcuts button when the pane shown has shortcuts. Not built yet: noErr.
OSStatus BZ_EnableShortcutsButton(WindowRef window);
