// Appearance Manager stand-in for theme cursors: the cursor last asked for, which the user-interface
// layer shows through the procedure it installs. Main thread only.
#pragma once

#include "platform/core/mac_types.h"

typedef UInt32 ThemeCursor;
enum : ThemeCursor {
  kThemeArrowCursor = 0,
  kThemeCopyArrowCursor = 1,
  kThemeAliasArrowCursor = 2,
  kThemeContextualMenuArrowCursor = 3,
  kThemeIBeamCursor = 4,
  kThemeCrossCursor = 5,
  kThemePlusCursor = 6,
  kThemeWatchCursor = 7,
  kThemeClosedHandCursor = 8,
  kThemeOpenHandCursor = 9,
  kThemePointingHandCursor = 10,
  kThemeCountingUpHandCursor = 11,
  kThemeCountingDownHandCursor = 12,
  kThemeCountingUpAndDownHandCursor = 13,
  kThemeSpinningCursor = 14,
  kThemeResizeLeftCursor = 15,
  kThemeResizeRightCursor = 16,
  kThemeResizeLeftRightCursor = 17,
  kThemeNotAllowedCursor = 18,
  kThemeResizeUpCursor = 19,
  kThemeResizeDownCursor = 20,
  kThemeResizeUpDownCursor = 21,
  kThemePoofCursor = 22,
};
enum : OSStatus { themeBadCursorIndexErr = -30565 };

// Records the cursor and tells the user-interface layer; themeBadCursorIndexErr for an unknown one.
OSStatus SetThemeCursor(ThemeCursor inCursor);

// ---- Our own helpers ----
// The theme cursor last set (the arrow before any).
ThemeCursor PL_GetThemeCursor();
// Who shows a theme cursor (null: nobody; the cursor is only recorded).
typedef void (*PL_ThemeCursorProc)(ThemeCursor cursor);
void PL_SetThemeCursorProc(PL_ThemeCursorProc proc);
