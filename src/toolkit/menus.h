// Menus of the user-interface toolkit: small free functions over the Menu Manager.
// Main thread only.
#pragma once

#include "platform/core/menus.h"

// Deletes items 1..count (nothing when the menu is empty).
OSStatus GL_DeleteAllMenuItems(MenuRef menu);
// *isNameInMenuList = whether an item's text equals `name` exactly (case-sensitive); *item (may be null)
// = the first such item, 0 when none. A failure to read an item's text ends the search with that error.
OSStatus GL_IsNameInMenuList(MenuRef menu, CFStringRef name, MenuItemIndex *item, Boolean *isNameInMenuList);
