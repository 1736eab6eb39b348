// Menu Manager stand-in: menus as lists of items (text, command identifier, enabling, mark, attributes,
// command key with modifiers and glyph, submenu, help text), made, changed and read without a display; the
// menu bar as a list of menus by ID under a root menu whose items carry the bar's menus as submenus. The
// user-interface layer shows a MenuRef in a Qt pop-up or menu bar by reading it, and is told of every change
// through PL_SetMenuChangedProc. Items are numbered from 1; item 0 stands for the whole menu where the
// toolbox allows it. Main thread only.
#pragma once

#include "platform/core/cf_base.h"
#include "platform/core/event_loop.h"
#include "platform/core/mac_errors.h"
#include "platform/core/mac_types.h"

struct OpaqueMenuRef;
typedef OpaqueMenuRef *MenuRef;
typedef MenuRef MenuHandle;
typedef SInt16 MenuID;
typedef UInt16 MenuItemIndex;
typedef UInt32 MenuItemID;
typedef UInt32 MenuCommand;
typedef UInt32 MenuAttributes;
typedef UInt32 MenuItemAttributes;
typedef SInt16 CharParameter;

enum : OSStatus { menuPropertyNotFoundErr = -5603, menuNotFoundErr = -5620, menuItemNotFoundErr = -5623,
                  menuInvalidErr = -5625 };

// Item attributes (those a Part reads or writes).
enum : MenuItemAttributes {
  kMenuItemAttrDisabled = 1u << 0,
  kMenuItemAttrIconDisabled = 1u << 1,
  kMenuItemAttrSubmenuParentChoosable = 1u << 2,
  kMenuItemAttrDynamic = 1u << 3,
  kMenuItemAttrNotPreviousAlternate = 1u << 4,
  kMenuItemAttrHidden = 1u << 5,
  kMenuItemAttrSeparator = 1u << 6,
  kMenuItemAttrSectionHeader = 1u << 7,
};

// Command-key modifiers: Command is implied unless kMenuNoCommandModifier.
enum : UInt8 { kMenuNoModifiers = 0, kMenuShiftModifier = 1, kMenuOptionModifier = 2, kMenuControlModifier = 4,
               kMenuNoCommandModifier = 8 };
enum : CharParameter { noMark = 0, checkMark = 0x12 };
// Glyphs of keys that have no character of their own to show.
enum : SInt16 { kMenuNullGlyph = 0, kMenuEnterGlyph = 0x04, kMenuReturnGlyph = 0x0B, kMenuEscapeGlyph = 0x1B,
                kMenuLeftArrowGlyph = 0x64, kMenuRightArrowGlyph = 0x65, kMenuUpArrowGlyph = 0x68,
                kMenuDownArrowGlyph = 0x6A, kMenuF1Glyph = 0x6F };
// MenuItemIndex of InsertMenu for a hierarchical (not shown in the bar) menu.
enum : MenuID { kInsertHierarchicalMenu = -1 };

// Command events: a menu choice or a posted command, its HICommand as the direct object.
enum : UInt32 { kEventClassCommand = 'cmds', kEventCommandProcess = 1, kEventCommandUpdateStatus = 2 };
enum : EventParamType { typeHICommand = 'hcmd' };
enum : UInt32 { kHICommandQuit = 'quit', kHICommandAbout = 'abou', kHICommandPreferences = 'pref',
                kHICommandAppHelp = 'ahlp' };
// HICommand attributes: the command comes from a menu, whose MenuRef and item the record carries.
enum : UInt32 { kHICommandFromMenu = 1 };
struct HICommand {
  UInt32 attributes;
  UInt32 commandID;
  struct {
    MenuRef menuRef;
    UInt16 menuItemIndex;
  } menu;
};

// Menu events.
enum : UInt32 { kEventClassMenu = 'menu', kEventMenuEnableItems = 8 };
enum : EventParamType { typeMenuRef = 'menu' };

// Help content (Help Manager help tags).
typedef UInt32 HMContentType;
enum : HMContentType { kHMNoContent = 'none', kHMCFStringContent = 'cfst' };
typedef SInt16 HMTagDisplaySide;
enum : HMTagDisplaySide { kHMDefaultSide = 0 };
enum : SInt32 { kMacHelpVersion = 3, kHMMinimumContentIndex = 0, kHMMaximumContentIndex = 1 };
struct HMHelpContent {
  HMContentType contentType;
  union {
    CFStringRef tagCFString;
    UInt8 tagString[256];
  } u;
};
struct HMHelpContentRec {
  SInt32 version;
  Rect absHotRect;
  HMTagDisplaySide tagSide;
  HMHelpContent content[2];
};

// A new empty menu (owned: DisposeMenu or ReleaseMenu).
OSStatus CreateNewMenu(MenuID inMenuID, MenuAttributes inMenuAttributes, MenuRef *outMenuRef);
void DisposeMenu(MenuRef theMenu);
OSStatus ReleaseMenu(MenuRef inMenu);
MenuID GetMenuID(MenuRef menu);
OSStatus SetMenuTitleWithCFString(MenuRef inMenu, CFStringRef inString);
// *outString: an owned copy of the title.
OSStatus CopyMenuTitleAsCFString(MenuRef inMenu, CFStringRef *outString);
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
// The inItemIndex-th item (from 1; 0 counts as 1) with the command, searched in the menu and then depth
// first in its submenus; inMenu NULL searches the root menu. menuItemNotFoundErr when none has it.
OSStatus GetIndMenuItemWithCommandID(MenuRef inMenu, MenuCommand inCommandID, UInt32 inItemIndex,
                                     MenuRef *outMenu, MenuItemIndex *outIndex);

// ---- Enabling (item 0: the menu itself) ----
void EnableMenuItem(MenuRef theMenu, MenuItemIndex item);
void DisableMenuItem(MenuRef theMenu, MenuItemIndex item);
// An item counts as enabled when it and its menu are; item 0 is the menu's own state.
Boolean IsMenuItemEnabled(MenuRef menu, MenuItemIndex item);
// Every item with the command, searched as GetIndMenuItemWithCommandID does (inMenu NULL: the root menu);
// a command no item has changes nothing. Command 0 stands for the menu itself.
void EnableMenuCommand(MenuRef inMenu, MenuCommand inCommandID);
void DisableMenuCommand(MenuRef inMenu, MenuCommand inCommandID);
Boolean IsMenuCommandEnabled(MenuRef inMenu, MenuCommand inCommandID);

// ---- Marks ----
void SetItemMark(MenuRef theMenu, MenuItemIndex item, CharParameter markChar);
void GetItemMark(MenuRef theMenu, MenuItemIndex item, CharParameter *markChar);
void CheckMenuItem(MenuRef theMenu, MenuItemIndex item, Boolean checked);

// ---- Attributes ----
OSStatus GetMenuItemAttributes(MenuRef inMenu, MenuItemIndex inItem, MenuItemAttributes *outAttributes);
OSStatus ChangeMenuItemAttributes(MenuRef inMenu, MenuItemIndex inItem, MenuItemAttributes inSetTheseAttributes,
                                  MenuItemAttributes inClearTheseAttributes);
// By command: the first item with the command (GetIndMenuItemWithCommandID).
OSStatus GetMenuCommandAttributes(MenuRef inMenu, MenuCommand inCommandID, MenuItemAttributes *outAttributes);
OSStatus ChangeMenuCommandAttributes(MenuRef inMenu, MenuCommand inCommandID, MenuItemAttributes inSet,
                                     MenuItemAttributes inClear);

// ---- Command keys ----
// The character key (inVirtualKey false) or the virtual key code (true) of the item's shortcut.
OSStatus SetMenuItemCommandKey(MenuRef inMenu, MenuItemIndex inItem, Boolean inSetVirtualKey, UInt16 inKey);
OSStatus GetMenuItemCommandKey(MenuRef inMenu, MenuItemIndex inItem, Boolean inGetVirtualKey, UInt16 *outKey);
OSStatus SetMenuItemModifiers(MenuRef inMenu, MenuItemIndex inItem, UInt8 inModifiers);
OSStatus GetMenuItemModifiers(MenuRef inMenu, MenuItemIndex inItem, UInt8 *outModifiers);
OSStatus SetMenuItemKeyGlyph(MenuRef inMenu, MenuItemIndex inItem, SInt16 inGlyph);
OSStatus GetMenuItemKeyGlyph(MenuRef inMenu, MenuItemIndex inItem, SInt16 *outGlyph);
// The item's character key as a CharParameter (0: none).
void GetItemCmd(MenuRef theMenu, MenuItemIndex item, CharParameter *cmdChar);
void SetItemCmd(MenuRef theMenu, MenuItemIndex item, CharParameter cmdChar);

// ---- Submenus ----
// The item shows inHierMenu as its submenu (not owned; NULL removes it).
OSStatus SetMenuItemHierarchicalMenu(MenuRef inMenu, MenuItemIndex inItem, MenuRef inHierMenu);
OSStatus GetMenuItemHierarchicalMenu(MenuRef inMenu, MenuItemIndex inItem, MenuRef *outHierMenu);

// ---- Help tags ----
// Keeps the minimum content's text ('cfst'; other kinds clear it). paramErr for a NULL record or another version.
OSStatus HMSetMenuItemHelpContent(MenuRef inMenu, MenuItemIndex inItem, const HMHelpContentRec *inContent);
// *outText: the help text (borrowed), NULL when none.
OSStatus PL_GetMenuItemHelpText(MenuRef inMenu, MenuItemIndex inItem, CFStringRef *outText);

// ---- The menu bar ----
// The root menu (borrowed; lives for the program): one item per menu of the bar, its submenu that menu.
MenuRef AcquireRootMenu();
// Inserts the menu into the bar before the menu with beforeID (0 or an ID not in the bar: at the end), or,
// with kInsertHierarchicalMenu, into the list of hierarchical menus. The bar keeps the menu (not owned).
void InsertMenu(MenuRef theMenu, MenuID beforeID);
// Takes the menu with that ID out of the bar or the hierarchical list.
void DeleteMenu(MenuID menuID);
// Empties the bar and the hierarchical list.
void ClearMenuBar();
// The menu with that ID in the bar, the hierarchical list or a submenu of either; NULL when none.
MenuHandle GetMenuHandle(MenuID menuID);
// The bar's menus in order (borrowed).
ItemCount PL_CountMenuBarMenus();
MenuRef PL_GetMenuBarMenu(ItemCount index);
void InvalMenuBar();
void DrawMenuBar();

// ---- Events ----
// The menu's event target (created with the menu; borrowed). Events not handled there go on to the
// application, unless sent with PL_SendEventToTargetOnly.
EventTargetRef GetMenuEventTarget(MenuRef inMenu);

// ---- Our own: the view ----
// Called after every change to a menu (item 0: the menu itself or its item list), so that a view can show it.
typedef void (*PL_MenuChangedProc)(MenuRef menu, MenuItemIndex item);
void PL_SetMenuChangedProc(PL_MenuChangedProc proc);
