// Appearance Manager stand-in for theme cursors.
#include "platform/core/theme_cursors.h"

namespace {
ThemeCursor gCursor = kThemeArrowCursor;
PL_ThemeCursorProc gProc = nullptr;
}  // namespace

OSStatus SetThemeCursor(ThemeCursor inCursor) {
  if (inCursor > kThemePoofCursor) return themeBadCursorIndexErr;
  gCursor = inCursor;
  if (gProc != nullptr) gProc(inCursor);
  return 0;
}

ThemeCursor PL_GetThemeCursor() { return gCursor; }
void PL_SetThemeCursorProc(PL_ThemeCursorProc proc) { gProc = proc; }
