// The application's menus: enabling by the front window, the File and Edit commands (they act on the log
// window's text or close the front window) and the Preview menu with its crop and selection submenus, whose
// commands go to the preview. Main thread only.
#pragma once

#include "platform/core/event_loop.h"
#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

// Menus of the bar and the Preview family.
enum : SInt16 {
  kBZ_AppMenuID = 2000,
  kBZ_FileMenuID = 2001,
  kBZ_EditMenuID = 2002,
  kBZ_WindowMenuID = 2003,
  kBZ_PreviewMenuID = 2006,
  kBZ_CropMenuID = 2007,
  kBZ_SelectionMenuID = 2008,
};

// A file command of the toolkit (GL_IsFileCommandID) or 'NewP'.
Boolean BZ_IsFileCommandID(UInt32 commandID);
// On the enable-items event: while quitting, menus 2000 to 2003 are disabled whole; a movable modal window
// in front changes nothing; otherwise the application, File and Edit menus follow the front window.
OSStatus BZ_UpdateMenus();
// About (item 1) is disabled while the about box exists.
void BZ_UpdateAppleMenu();
// Everything disabled; with a front window, page setup and print (3, 4) for the log, Close (1) unless it is
// the project dialog.
void BZ_UpdateFileMenu();
// Everything disabled; with the log in front, Copy (2) when its selection is not empty and Select All (5).
void BZ_UpdateEditMenu();
// 'page' and 'prnt' set up and print the log's text; 'clos' closes the preview, hides the log or hides the
// about box, by the front window. Failures are shown. Always noErr.
OSStatus BZ_HandleFileMenu(UInt32 commandID);
// 'copy' copies the log's selection (a failure shown), 'sall' selects all of it. Always noErr.
OSStatus BZ_HandleEditMenu(UInt32 commandID);
// Installs the Preview menu's handler on 2006 and its two submenus and sets the submenus' command keys.
// The first failure.
OSStatus BZ_InitPreviewMenu();
// A command of this handler's menu (userData) chosen from the menu goes to the preview: kind 1 to
// BZ_HandlePreviewCommand, kind 2 to BZ_EnablePreviewItem, with the item index; handled (noErr). Anything
// else, a command key without the menu's origin included, is not handled (eventNotHandledErr).
OSStatus BZ_PreviewMenuEventHandler(EventHandlerCallRef callRef, EventRef event, void *userData);
