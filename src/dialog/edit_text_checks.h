// The checks of the project dialog's numeric edit texts. Main thread only. The checks come with the
// settings work; until then they change nothing and answer noErr.
#pragma once

#include "platform/core/controls.h"
#include "platform/core/event_loop.h"

OSStatus BZ_InstallProjDlgEtiFilters(WindowRef window);
// The check timer's procedure (the dialog window as data).
void BZ_ProjDlgCheckETI(EventLoopTimerRef timer, void *window);
// Puts the keyboard focus into the pane shown.
OSStatus BZ_SetFocus(WindowRef window);
