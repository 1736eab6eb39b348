// The application's menus (the handling of File, Edit and Preview is not built yet; see the header).
#include "app/app_menus.h"

#include "toolkit/menus.h"

Boolean BZ_IsFileCommandID(UInt32 commandID) { return GL_IsFileCommandID(commandID) || commandID == 'NewP'; }
OSStatus BZ_UpdateMenus() { return noErr; }
OSStatus BZ_InitPreviewMenu() { return noErr; }
OSStatus BZ_HandleFileMenu(UInt32) { return noErr; }
OSStatus BZ_HandleEditMenu(UInt32) { return noErr; }
