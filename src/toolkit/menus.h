// Menus of the user-interface toolkit: small free functions over the Menu Manager for the application's
// menu bar, its pop-up menus and its command handling. Menus are addressed by MenuRef or by menu ID
// (GetMenuHandle), items by 1-based index or by command. Main thread only.
#pragma once

#include "platform/core/fonts.h"
#include "platform/core/menus.h"
#include "platform/core/quickdraw_ports.h"

// ---- Building ----
// Opens the nib, sets the menu bar from its menu bar menuName and disposes of the nib reference; the first failure.
OSStatus GL_SetMenuBarFromNibByName(CFStringRef nibName, CFStringRef menuName);
// *menu = the menu with that ID, inserted at the end of the menu bar; resNotFound (-192) when there is none.
OSStatus GL_SetUpMenu(int menuID, MenuRef *menu);
// Appends every item of menu1 to menu2 in order, with its text and attributes and no command; the first failure.
OSStatus GL_CopyMenu(MenuRef menu1, MenuRef menu2);
// Deletes items 1..count (nothing when the menu is empty).
OSStatus GL_DeleteAllMenuItems(MenuRef menu);

// ---- Checks and marks ----
int GL_CountCheckedMenuItems(MenuRef menu);
void GL_ClearMenuChecks(MenuRef menu);
// Checks that item and unchecks every other; an item outside 1..count unchecks them all.
void GL_SetMenuCheck(MenuRef menu, int item);
// An item with a mark loses it; one without gets markChar.
void GL_ToggleItemMark(MenuRef menu, int item, int markChar);

// ---- Enabling ----
// True when the menu's own state (item 0) differs from whether it has an enabled item: its title must be redrawn.
Boolean GL_NeedToEnableMenu(MenuRef menu);
Boolean GL_NeedToEnableMenuByID(int menuID);
// Disables item 0, the whole menu.
void GL_DisableMenuByID(int menuID);
void GL_EnableMenuItem(MenuRef menu, int item, Boolean enable);
void GL_EnableAllMenuItemsByID(int menuID);
void GL_DisableAllMenuItemsByID(int menuID);
// Enables or disables the item of the menu with that command.
void GL_EnableMenuCommandByID(int menuID, MenuCommand command, Boolean enable);
// The first item named `name` (GL_IsNameInMenuList); no such item changes nothing.
OSStatus GL_EnableMenuItemByName(MenuRef menu, CFStringRef name, Boolean enable);
// Clears (show) or sets (hide) the hidden attribute of the item with that command.
OSStatus GL_ShowMenuItemCommand(int menuID, MenuCommand command, Boolean show);

// ---- Texts and names ----
// *isNameInMenuList = whether an item's text equals `name` exactly (case-sensitive); *item (may be null)
// = the first such item, 0 when none. A failure to read an item's text ends the search with that error.
OSStatus GL_IsNameInMenuList(MenuRef menu, CFStringRef name, MenuItemIndex *item, Boolean *isNameInMenuList);
// Searches from the last item down to item 1 for exact equality with oldName and renames the first match.
OSStatus GL_ChangeMenuItemText(MenuRef menu, CFStringRef oldName, CFStringRef newName);
// Sets the text of the menu's item with that command.
OSStatus GL_SetMenuItemCommandText(int menuID, MenuCommand command, CFStringRef itemName);
// The item's help tag: version 3, empty hot rectangle, default side, the text as minimum content.
OSStatus GL_SetMenuItemHelpTag(MenuRef menu, int item, CFStringRef helpText);
// Command key, glyph and modifiers of an item given by index or (inIsCommandID) by command.
OSStatus GL_GetMenuItemGlyphAndCmdKey(MenuRef menu, MenuItemID inItem, Boolean inIsCommandID,
                                      UInt32 *cmdKeyModifiers, UInt16 *cmdKey, UInt32 *cmdKeyGlyph);

// ---- Submenus and fonts ----
// The index of the first item of menu whose submenu is subMenu, or 0.
MenuItemIndex GL_HierarchicalMenuToItemIndex(MenuHandle menu, MenuHandle subMenu);
// For a font menu whose items may have style submenus: with subMenu the menu itself, the item's text is the
// family name and the style plain; otherwise the item's text is a style name ("Regular" 0, "Condensed" 32,
// "Condensed Bold" 33, "Bold Italic" 3, "Italic" 2, "Extended" 64, any other 0) and the family that of the
// parent item's text.
void GL_GetFontFamilyFromMenuSelection(MenuRef menu, MenuRef subMenu, int item, FMFontFamily *fontFamily,
                                       Style *style);

// ---- Command classes ----
// 'undo', 'redo', 'cut ', 'copy', 'past', 'clea', 'sall'.
Boolean GL_IsEditCommandID(UInt32 command);
// 'new ', 'open', 'clos', 'save', 'rvrt', 'page', 'prnt'.
Boolean GL_IsFileCommandID(UInt32 command);
