// The project dialog window: re-initialising it for the current project and (de)activating its settings
// controls together. Main thread only. A NULL window (no dialog open) leaves nothing to do: noErr.
#pragma once

#include "engine/runtime/dialog_items.h"
#include "engine/runtime/project_types.h"
#include "platform/core/controls.h"
#include "platform/core/event_loop.h"
#include "platform/core/quickdraw_ports.h"

// Items of the project dialog (signature 'Orl1'); those the engine uses too are in dialog_items.h.
enum : SInt32 {
  kBZ_MainTabItem = 2005,       // 1 Input, 2 Process, 3 Output
  kBZ_ProcessPaneItem = 2006,
  kBZ_MethodTabItem = 2050,     // 1 averaging ... 6 outliers
};

// Opens the project dialog at start-up: a zeroed reference record with ID 1, the window "New Project Dialog"
// of the application's nib, initialised, placed at its saved location, its event handler installed, pending
// key-downs flushed, selected and shown. The first failure; a window made before it is disposed of.
OSStatus BZ_OpenProjectDialog();
// The dialog's initialisation. Not built yet: does nothing and answers noErr.
OSStatus BZ_InitProjectDialog(WindowRef window);
// The window's handler (window activated and deactivated, control hit; the window as data): activation
// disables the menu command 'MDtF' (bring the project dialog to the front) of menu 2003, deactivation enables
// it. Control hits are not handled yet. Always eventNotHandledErr, so that the standard handling goes on.
OSStatus BZ_ProjDlgEventHandler(EventHandlerCallRef callRef, EventRef event, void *window);
// The dialog's answer to the application coming to the front or going back. Not built yet: noErr.
OSStatus BZ_ProjDlgHandleAppActivate(WindowRef window);
// At quit: saves the window's position into its slot and disposes of it with its reference record (NULL
// window: nothing). The rest of the dialog's disposal is not built yet.
OSStatus BZ_DisposeDialog();

// The method tab (1 averaging, 2 noise, 3 logo, 4 cross-luma, 5 varying brightness, 6 outliers) to show
// for the applied methods: noise reduction when it is applied, else the first applied of averaging, logo,
// cross-luma, varying brightness and outliers, else noise reduction.
SInt32 BZ_GetMethodTabForCleaningSett(const BZ_CleaninSett *cleaning);

// Re-initialises the dialog for the current project: the Input tab and the method tab of the applied
// methods selected, the controls reactivated, the progress bar at 0. The first failure.
OSStatus BZ_ReinitDialog(WindowRef window);
// The process pane 2006, the output controls (2071, 2072, 2073, 2077, 2078, 2088) and the method panes
// 2051 to 2056 follow `activate`, the bottom buttons (2000 to 2003) the opposite; the first failure of
// finding an item.
OSStatus BZ_ReactivateControls(WindowRef window, Boolean activate);
