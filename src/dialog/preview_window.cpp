// The preview window.
#include "dialog/preview_window.h"

#include "dialog/run_control.h"
#include "engine/runtime/engine_host.h"
#include "toolkit/windows.h"

#include <cstdio>

namespace {
constexpr SInt32 kPreviewWindowID = 3;
}

OSStatus BZ_ClosePreview(WindowRef window) {
  if (window == nullptr) return noErr;
  Point location{}, size{};
  if (GL_SaveWindowPosition(window, &location) == noErr) gBZ.savedWindowLoc[kPreviewWindowID] = location;
  if (GL_GetWindowPortSize(window, &size) == noErr) gBZ.previewSize = size;
  const BZ_EngineHost *host = BZ_GetEngineHost();
  Boolean actuallyStopping = false;
  if (OSStatus err = BZ_StopMovieAnalysis(host->getDialogStatePtr(host->refCon), &actuallyStopping, true);
      err != noErr)
    host->showError(host->refCon, err);
  DisposeWindow(window);
  return noErr;
}
OSStatus BZ_ShowPreview(WindowRef) { return noErr; }

OSStatus BZ_ForcePreviewUpdate(Boolean) { return noErr; }
