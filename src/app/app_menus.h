// The application's menus: enabling by the front window, the File and Edit commands and the Preview menu.
// Main thread only. BZ_IsFileCommandID is complete; the others do nothing and answer noErr until the
// application's menu handling arrives.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

// A file command of the toolkit (GL_IsFileCommandID) or 'NewP'.
Boolean BZ_IsFileCommandID(UInt32 commandID);
OSStatus BZ_UpdateMenus();
OSStatus BZ_InitPreviewMenu();
OSStatus BZ_HandleFileMenu(UInt32 commandID);
OSStatus BZ_HandleEditMenu(UInt32 commandID);
