// The preview window of the project dialog: closing it. Main thread only.
#pragma once

#include "platform/core/quickdraw_ports.h"

// Closes the preview window: its content top left becomes the saved location of window identifier 3 and
// its content size gBZ.previewSize, a running analysis or preview calculation is stopped and waited for (a
// failure is shown, not returned), the shortcuts window is closed and the window disposed. NULL: noErr.
OSStatus BZ_ClosePreview(WindowRef window);
// Redraws the preview's pictures after a preview run (recreateImages: made afresh). Not built yet: noErr.
OSStatus BZ_ForcePreviewUpdate(Boolean recreateImages);
// Opens the preview window. Not built yet: noErr.
OSStatus BZ_ShowPreview(WindowRef dialog);
