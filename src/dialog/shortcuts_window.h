// The preview's keyboard-shortcuts window and the preview's menu commands. Main thread only. Not built yet:
// each answers noErr and changes nothing.
#pragma once

#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"
#include "platform/core/menus.h"
#include "platform/core/quickdraw_ports.h"

OSStatus BZ_CreateShortcutsWindow(Point savedLoc);
// Enables the preview's Shortcuts button when the pane shown has shortcuts. Not built yet: noErr.
OSStatus BZ_EnableShortcutsButton(WindowRef window);
// A command chosen from the Preview menu (2006) or its crop (2007) and selection (2008) submenus, by item.
// Not built yet: noErr, nothing done.
OSStatus BZ_HandlePreviewCommand(MenuRef menu, MenuItemIndex item);
// Enables or disables an item of the Preview family before it shows. Not built yet: noErr, items left as
// they are.
OSStatus BZ_EnablePreviewItem(MenuRef menu, MenuItemIndex item);
