// The Output pane of the project dialog (items 2070-2099): result and noise movies, codec and export.
// Main thread only. The codec and export handling come with the output work; until then
// BZ_HandleOutputHit and BZ_InitExportMenu change nothing and answer noErr.
#pragma once

#include "platform/core/controls.h"

Boolean BZ_IsOutputHit(SInt32 item);
// Items 2071, 2072, 2078 and 2088 follow `activate`; 2073 and 2077 are deactivated; in that order, stopping
// at the first failure.
OSStatus BZ_ReactivateOutputControls(WindowRef window, int activate);
// Item 2082 to 0, 2083 to "#frames", 2084 to the localised "GL average rate".
OSStatus BZ_ResetProgressBar(WindowRef window);
OSStatus BZ_HandleOutputHit(WindowRef window, SInt32 itemHit);
OSStatus BZ_InitExportMenu(WindowRef window);
