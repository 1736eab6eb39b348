// The application keeps no window references: each window is found when needed by its window class and
// its localised title. Also the table of window identifiers with their keys in "Window Locations", and the
// reading and writing of the saved window locations and the preview size. Main thread only.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/quickdraw_ports.h"

// Window identifiers: the index into gBZ.savedWindowLoc and the identifier of a dialog's reference record.
enum : SInt32 {
  kBZ_AboutBoxWindowID = 0,
  kBZ_ProjDlgWindowID = 1,
  kBZ_PrefsWindowID = 2,
  kBZ_PreviewWindowID = 3,
  kBZ_StatusWindowID = 4,
  kBZ_LogWindowID = 5,
  kBZ_ExampleWindowID = 6,
  kBZ_ShortcutsWindowID = 7,
  kBZ_NumSavedWindowLocs = 16,
};

// The windows, or NULL when not open.
WindowRef BZ_GetStatusWindow();
WindowRef BZ_GetShortcutsWindow();
WindowRef BZ_GetAboutBox();
WindowRef BZ_GetPreviewWindow();
WindowRef BZ_GetLogWindow();
WindowRef BZ_GetProjDlgWindow();
WindowRef BZ_GetExampleWindow();
WindowRef BZ_GetPrefsWindow();

// The key of the identifier's location in "Window Locations" (a constant); NULL for identifiers without one
// (7 to 15, and anything out of range).
CFStringRef BZ_WindowIDToLocKey(SInt32 windowID);
// gBZ.savedWindowLoc from "Window Locations" (all (0,0) when it is missing), and gBZ.previewSize from
// "Preview Size" when that is stored. A damaged entry leaves its location (0,0).
void BZ_GetWindowLocations();
// The content top left of the open windows into their slots: the about box and the log when visible, the
// status window, the project dialog and the preview window when they exist. Always noErr.
OSStatus BZ_GetOpenWindowLocations();
// Stores gBZ.savedWindowLoc as "Window Locations" (identifiers with a key only) and gBZ.previewSize as
// "Preview Size"; not synchronised here.
void BZ_SaveWindowLocations();
