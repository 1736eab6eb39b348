// Menu Manager stand-in: menus as lists of items (text and command identifier), made, changed and read
// without a display. The user-interface layer shows a MenuRef in a Qt pop-up or menu bar by reading it.
// Items are numbered from 1. Main thread only.
#pragma once

#include "platform/core/cf_base.h"

struct OpaqueMenuRef;
typedef OpaqueMenuRef *MenuRef;
typedef MenuRef MenuHandle;
typedef SInt16 MenuID;
typedef UInt16 MenuItemIndex;
typedef UInt32 MenuCommand;
typedef UInt32 MenuAttributes;
typedef UInt32 MenuItemAttributes;

enum : OSStatus { menuItemNotFoundErr = -5623, menuInvalidErr = -5625 };

// A new empty menu (owned: DisposeMenu or ReleaseMenu).
OSStatus CreateNewMenu(MenuID inMenuID, MenuAttributes inMenuAttributes, MenuRef *outMenuRef);
void DisposeMenu(MenuRef theMenu);
OSStatus ReleaseMenu(MenuRef inMenu);
MenuID GetMenuID(MenuRef menu);
UInt16 CountMenuItems(MenuRef theMenu);
// Inserts an item after item inAfterItem (0: at the top; beyond the count: at the end). The text is
// copied. paramErr for a null text, menuInvalidErr for an unknown menu.
OSStatus InsertMenuItemTextWithCFString(MenuRef inMenu, CFStringRef inString, MenuItemIndex inAfterItem,
                                        MenuItemAttributes inAttributes, MenuCommand inCommandID);
OSStatus AppendMenuItemTextWithCFString(MenuRef inMenu, CFStringRef inString, MenuItemAttributes inAttributes,
                                        MenuCommand inCommandID, MenuItemIndex *outNewItem);
// Deletes inNumItems items from inFirstItem on (those that exist).
OSStatus DeleteMenuItems(MenuRef inMenu, MenuItemIndex inFirstItem, ItemCount inNumItems);
void DeleteMenuItem(MenuRef theMenu, MenuItemIndex item);
// *outString: an owned copy of the item's text. menuItemNotFoundErr for an item that does not exist.
OSStatus CopyMenuItemTextAsCFString(MenuRef inMenu, MenuItemIndex inItem, CFStringRef *outString);
OSStatus SetMenuItemTextWithCFString(MenuRef inMenu, MenuItemIndex inItem, CFStringRef inString);
OSStatus GetMenuItemCommandID(MenuRef inMenu, MenuItemIndex inItem, MenuCommand *outCommandID);
OSStatus SetMenuItemCommandID(MenuRef inMenu, MenuItemIndex inItem, MenuCommand inCommandID);
// The first item with the command (from 1); menuItemNotFoundErr when none has it.
OSStatus GetIndMenuItemWithCommandID(MenuRef inMenu, MenuCommand inCommandID, UInt32 inItemIndex,
                                     MenuRef *outMenu, MenuItemIndex *outIndex);
