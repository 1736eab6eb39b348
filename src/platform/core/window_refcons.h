// Window Manager stand-in for a window's reference constant: one pointer-sized value per window that its
// owner sets and reads back (a dialog keeps its record there). It needs no window layer, so code and
// tests below the toolkit use it without a display. A window's value should be cleared (set to null)
// when the window goes. Main thread only.
#pragma once

#include "platform/core/mac_types.h"
#include "platform/core/quickdraw_ports.h"

typedef void *SRefCon;

void SetWRefCon(WindowRef window, SRefCon data);
// The value last set for the window; null for a window without one.
SRefCon GetWRefCon(WindowRef window);
