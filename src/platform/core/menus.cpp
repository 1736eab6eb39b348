// Menu Manager stand-in.
#include "platform/core/menus.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <functional>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

struct OpaqueMenuRef {
  MenuID id = 0;
  CFStringRef title = nullptr;  // owned
  bool enabled = true;          // item 0
  EventTargetRef target = nullptr;
  struct Item {
    CFStringRef text = nullptr;  // owned
    MenuCommand command = 0;
    MenuItemAttributes attributes = 0;
    bool enabled = true;
    CharParameter mark = 0;
    UInt16 key = 0;  // character
    UInt16 virtualKey = 0;
    bool usesVirtualKey = false;
    UInt8 modifiers = kMenuNoModifiers;
    SInt16 glyph = 0;
    MenuRef submenu = nullptr;  // not owned
    CFStringRef help = nullptr;  // owned
  };
  std::vector<Item> items;
};

namespace {

// Live menus, so that a stale or foreign MenuRef is refused instead of read.
std::mutex gMenusLock;
std::unordered_set<MenuRef> gMenus;
std::vector<MenuRef> gBar;           // in order
std::vector<MenuRef> gHierarchical;  // inserted with kInsertHierarchicalMenu
PL_MenuChangedProc gChanged = nullptr;

MenuRef Live(MenuRef menu) {
  std::lock_guard<std::mutex> lock(gMenusLock);
  return menu != nullptr && gMenus.count(menu) != 0 ? menu : nullptr;
}

OpaqueMenuRef::Item *ItemOf(MenuRef menu, MenuItemIndex item) {
  if (Live(menu) == nullptr || item == 0 || item > menu->items.size()) return nullptr;
  return &menu->items[item - 1];
}

void Changed(MenuRef menu, MenuItemIndex item) {
  if (gChanged != nullptr) gChanged(menu, item);
}

void ReleaseItem(OpaqueMenuRef::Item &item) {
  if (item.text != nullptr) CFRelease(item.text);
  if (item.help != nullptr) CFRelease(item.help);
  item.text = item.help = nullptr;
}

// Every item with the command, the menu first and then its submenus depth first; visit returns false to stop.
bool ForEachCommandItem(MenuRef menu, MenuCommand command, const std::function<bool(MenuRef, MenuItemIndex)> &visit,
                        std::vector<MenuRef> &seen) {
  if (Live(menu) == nullptr || std::find(seen.begin(), seen.end(), menu) != seen.end()) return true;
  seen.push_back(menu);
  for (size_t i = 0; i < menu->items.size(); ++i)
    if (menu->items[i].command == command && !visit(menu, MenuItemIndex(i + 1))) return false;
  for (size_t i = 0; i < menu->items.size(); ++i)
    if (menu->items[i].submenu != nullptr && !ForEachCommandItem(menu->items[i].submenu, command, visit, seen))
      return false;
  return true;
}

void ForEachCommandItem(MenuRef menu, MenuCommand command, const std::function<bool(MenuRef, MenuItemIndex)> &visit) {
  std::vector<MenuRef> seen;
  ForEachCommandItem(menu != nullptr ? menu : AcquireRootMenu(), command, visit, seen);
}

MenuRef FindByID(MenuRef menu, MenuID id, std::vector<MenuRef> &seen) {
  if (Live(menu) == nullptr || std::find(seen.begin(), seen.end(), menu) != seen.end()) return nullptr;
  seen.push_back(menu);
  if (menu->id == id && menu != AcquireRootMenu()) return menu;
  for (auto &item : menu->items)
    if (MenuRef found = FindByID(item.submenu, id, seen)) return found;
  return nullptr;
}

// The root menu mirrors the bar: one item per bar menu, titled as it, with the menu as submenu.
void RebuildRoot() {
  MenuRef root = AcquireRootMenu();
  for (auto &item : root->items) ReleaseItem(item);
  root->items.clear();
  for (MenuRef menu : gBar) {
    OpaqueMenuRef::Item item;
    item.text = CFStringCreateCopy(nullptr, menu->title != nullptr ? menu->title : CFSTR(""));
    item.submenu = menu;
    root->items.push_back(item);
  }
  Changed(root, 0);
}

}  // namespace

OSStatus CreateNewMenu(MenuID inMenuID, MenuAttributes inMenuAttributes, MenuRef *outMenuRef) {
  (void)inMenuAttributes;
  if (outMenuRef == nullptr) return paramErr;
  *outMenuRef = nullptr;
  MenuRef menu = new (std::nothrow) OpaqueMenuRef;
  if (menu != nullptr) menu->id = inMenuID;
  if (menu == nullptr) return memFullErr;
  OSStatus err = PL_CreateEventTarget(nullptr, &menu->target);
  if (err != noErr) {
    delete menu;
    return err;
  }
  std::lock_guard<std::mutex> lock(gMenusLock);
  gMenus.insert(menu);
  *outMenuRef = menu;
  return noErr;
}

void DisposeMenu(MenuRef theMenu) {
  {
    std::lock_guard<std::mutex> lock(gMenusLock);
    if (theMenu == nullptr || gMenus.erase(theMenu) == 0) return;
  }
  // Nothing may keep pointing at a disposed menu.
  for (MenuRef menu : gMenus)
    for (auto &item : menu->items)
      if (item.submenu == theMenu) item.submenu = nullptr;
  const bool inBar = std::find(gBar.begin(), gBar.end(), theMenu) != gBar.end();
  std::erase(gBar, theMenu);
  std::erase(gHierarchical, theMenu);
  for (auto &item : theMenu->items) ReleaseItem(item);
  if (theMenu->title != nullptr) CFRelease(theMenu->title);
  PL_DisposeEventTarget(theMenu->target);
  delete theMenu;
  if (inBar) RebuildRoot();
}

OSStatus ReleaseMenu(MenuRef inMenu) {
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  DisposeMenu(inMenu);
  return noErr;
}

MenuID GetMenuID(MenuRef menu) { return Live(menu) != nullptr ? menu->id : 0; }

OSStatus SetMenuTitleWithCFString(MenuRef inMenu, CFStringRef inString) {
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  if (inString == nullptr) return paramErr;
  CFStringRef copy = CFStringCreateCopy(nullptr, inString);
  if (inMenu->title != nullptr) CFRelease(inMenu->title);
  inMenu->title = copy;
  if (std::find(gBar.begin(), gBar.end(), inMenu) != gBar.end()) RebuildRoot();
  Changed(inMenu, 0);
  return noErr;
}

OSStatus CopyMenuTitleAsCFString(MenuRef inMenu, CFStringRef *outString) {
  if (outString == nullptr) return paramErr;
  *outString = nullptr;
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  *outString = CFStringCreateCopy(nullptr, inMenu->title != nullptr ? inMenu->title : CFSTR(""));
  return noErr;
}

UInt16 CountMenuItems(MenuRef theMenu) {
  return Live(theMenu) != nullptr ? UInt16(std::min<size_t>(theMenu->items.size(), 0xFFFF)) : 0;
}

OSStatus InsertMenuItemTextWithCFString(MenuRef inMenu, CFStringRef inString, MenuItemIndex inAfterItem,
                                        MenuItemAttributes inAttributes, MenuCommand inCommandID) {
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  if (inString == nullptr) return paramErr;
  if (inMenu->items.size() >= 0xFFFF) return memFullErr;
  size_t at = std::min<size_t>(inAfterItem, inMenu->items.size());
  OpaqueMenuRef::Item item;
  item.text = CFStringCreateCopy(nullptr, inString);
  item.command = inCommandID;
  item.attributes = inAttributes & ~kMenuItemAttrDisabled;
  item.enabled = (inAttributes & kMenuItemAttrDisabled) == 0;
  inMenu->items.insert(inMenu->items.begin() + ptrdiff_t(at), item);
  Changed(inMenu, 0);
  return noErr;
}

OSStatus AppendMenuItemTextWithCFString(MenuRef inMenu, CFStringRef inString, MenuItemAttributes inAttributes,
                                        MenuCommand inCommandID, MenuItemIndex *outNewItem) {
  OSStatus err = InsertMenuItemTextWithCFString(inMenu, inString, 0xFFFF, inAttributes, inCommandID);
  if (err == noErr && outNewItem != nullptr) *outNewItem = CountMenuItems(inMenu);
  return err;
}

OSStatus DeleteMenuItems(MenuRef inMenu, MenuItemIndex inFirstItem, ItemCount inNumItems) {
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  if (inFirstItem == 0) return paramErr;
  size_t first = size_t(inFirstItem) - 1;
  if (first >= inMenu->items.size()) return noErr;
  size_t last = std::min<size_t>(inMenu->items.size(), first + inNumItems);
  for (size_t i = first; i < last; ++i) ReleaseItem(inMenu->items[i]);
  inMenu->items.erase(inMenu->items.begin() + ptrdiff_t(first), inMenu->items.begin() + ptrdiff_t(last));
  Changed(inMenu, 0);
  return noErr;
}

void DeleteMenuItem(MenuRef theMenu, MenuItemIndex item) { DeleteMenuItems(theMenu, item, 1); }

OSStatus CopyMenuItemTextAsCFString(MenuRef inMenu, MenuItemIndex inItem, CFStringRef *outString) {
  if (outString == nullptr) return paramErr;
  *outString = nullptr;
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  OpaqueMenuRef::Item *item = ItemOf(inMenu, inItem);
  if (item == nullptr) return menuItemNotFoundErr;
  *outString = CFStringCreateCopy(nullptr, item->text);
  return noErr;
}

OSStatus SetMenuItemTextWithCFString(MenuRef inMenu, MenuItemIndex inItem, CFStringRef inString) {
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  if (inString == nullptr) return paramErr;
  OpaqueMenuRef::Item *item = ItemOf(inMenu, inItem);
  if (item == nullptr) return menuItemNotFoundErr;
  CFStringRef copy = CFStringCreateCopy(nullptr, inString);
  CFRelease(item->text);
  item->text = copy;
  Changed(inMenu, inItem);
  return noErr;
}

OSStatus GetMenuItemCommandID(MenuRef inMenu, MenuItemIndex inItem, MenuCommand *outCommandID) {
  if (outCommandID == nullptr) return paramErr;
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  OpaqueMenuRef::Item *item = ItemOf(inMenu, inItem);
  if (item == nullptr) return menuItemNotFoundErr;
  *outCommandID = item->command;
  return noErr;
}

OSStatus SetMenuItemCommandID(MenuRef inMenu, MenuItemIndex inItem, MenuCommand inCommandID) {
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  OpaqueMenuRef::Item *item = ItemOf(inMenu, inItem);
  if (item == nullptr) return menuItemNotFoundErr;
  item->command = inCommandID;
  return noErr;
}

OSStatus GetIndMenuItemWithCommandID(MenuRef inMenu, MenuCommand inCommandID, UInt32 inItemIndex, MenuRef *outMenu,
                                     MenuItemIndex *outIndex) {
  if (inMenu != nullptr && Live(inMenu) == nullptr) return menuInvalidErr;
  UInt32 seen = 0;
  bool found = false;
  ForEachCommandItem(inMenu, inCommandID, [&](MenuRef menu, MenuItemIndex index) {
    if (++seen < std::max<UInt32>(inItemIndex, 1)) return true;
    if (outMenu != nullptr) *outMenu = menu;
    if (outIndex != nullptr) *outIndex = index;
    found = true;
    return false;
  });
  return found ? OSStatus(noErr) : OSStatus(menuItemNotFoundErr);
}

// ---- Enabling ----

namespace {
void SetEnabled(MenuRef menu, MenuItemIndex item, bool enabled) {
  if (Live(menu) == nullptr) return;
  if (item == 0) {
    menu->enabled = enabled;
  } else if (OpaqueMenuRef::Item *i = ItemOf(menu, item)) {
    i->enabled = enabled;
  } else {
    return;
  }
  Changed(menu, item);
}

void SetCommandEnabled(MenuRef menu, MenuCommand command, bool enabled) {
  if (command == 0) {
    SetEnabled(menu != nullptr ? menu : AcquireRootMenu(), 0, enabled);
    return;
  }
  ForEachCommandItem(menu, command, [&](MenuRef m, MenuItemIndex index) {
    SetEnabled(m, index, enabled);
    return true;
  });
}
}  // namespace

void EnableMenuItem(MenuRef theMenu, MenuItemIndex item) { SetEnabled(theMenu, item, true); }
void DisableMenuItem(MenuRef theMenu, MenuItemIndex item) { SetEnabled(theMenu, item, false); }

Boolean IsMenuItemEnabled(MenuRef menu, MenuItemIndex item) {
  if (Live(menu) == nullptr) return false;
  if (item == 0) return menu->enabled;
  OpaqueMenuRef::Item *i = ItemOf(menu, item);
  return i != nullptr && i->enabled && menu->enabled;
}

void EnableMenuCommand(MenuRef inMenu, MenuCommand inCommandID) { SetCommandEnabled(inMenu, inCommandID, true); }
void DisableMenuCommand(MenuRef inMenu, MenuCommand inCommandID) { SetCommandEnabled(inMenu, inCommandID, false); }

Boolean IsMenuCommandEnabled(MenuRef inMenu, MenuCommand inCommandID) {
  MenuRef menu = nullptr;
  MenuItemIndex index = 0;
  if (GetIndMenuItemWithCommandID(inMenu, inCommandID, 1, &menu, &index) != noErr) return false;
  return IsMenuItemEnabled(menu, index);
}

// ---- Marks ----

void SetItemMark(MenuRef theMenu, MenuItemIndex item, CharParameter markChar) {
  if (OpaqueMenuRef::Item *i = ItemOf(theMenu, item)) {
    i->mark = markChar;
    Changed(theMenu, item);
  }
}

void GetItemMark(MenuRef theMenu, MenuItemIndex item, CharParameter *markChar) {
  if (markChar == nullptr) return;
  OpaqueMenuRef::Item *i = ItemOf(theMenu, item);
  *markChar = i != nullptr ? CharParameter(i->mark) : CharParameter(0);
}

void CheckMenuItem(MenuRef theMenu, MenuItemIndex item, Boolean checked) {
  SetItemMark(theMenu, item, CharParameter(checked ? checkMark : noMark));
}

// ---- Attributes ----

OSStatus GetMenuItemAttributes(MenuRef inMenu, MenuItemIndex inItem, MenuItemAttributes *outAttributes) {
  if (outAttributes == nullptr) return paramErr;
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  OpaqueMenuRef::Item *item = ItemOf(inMenu, inItem);
  if (item == nullptr) return menuItemNotFoundErr;
  *outAttributes = item->attributes | (item->enabled ? MenuItemAttributes(0) : MenuItemAttributes(kMenuItemAttrDisabled));
  return noErr;
}

OSStatus ChangeMenuItemAttributes(MenuRef inMenu, MenuItemIndex inItem, MenuItemAttributes inSetTheseAttributes,
                                  MenuItemAttributes inClearTheseAttributes) {
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  OpaqueMenuRef::Item *item = ItemOf(inMenu, inItem);
  if (item == nullptr) return menuItemNotFoundErr;
  MenuItemAttributes attributes = (item->attributes | (item->enabled ? MenuItemAttributes(0) : MenuItemAttributes(kMenuItemAttrDisabled)));
  attributes = (attributes | inSetTheseAttributes) & ~inClearTheseAttributes;
  item->enabled = (attributes & kMenuItemAttrDisabled) == 0;
  item->attributes = attributes & ~kMenuItemAttrDisabled;
  Changed(inMenu, inItem);
  return noErr;
}

OSStatus GetMenuCommandAttributes(MenuRef inMenu, MenuCommand inCommandID, MenuItemAttributes *outAttributes) {
  MenuRef menu = nullptr;
  MenuItemIndex index = 0;
  OSStatus err = GetIndMenuItemWithCommandID(inMenu, inCommandID, 1, &menu, &index);
  return err != noErr ? err : GetMenuItemAttributes(menu, index, outAttributes);
}

OSStatus ChangeMenuCommandAttributes(MenuRef inMenu, MenuCommand inCommandID, MenuItemAttributes inSet,
                                     MenuItemAttributes inClear) {
  MenuRef menu = nullptr;
  MenuItemIndex index = 0;
  OSStatus err = GetIndMenuItemWithCommandID(inMenu, inCommandID, 1, &menu, &index);
  return err != noErr ? err : ChangeMenuItemAttributes(menu, index, inSet, inClear);
}

// ---- Command keys ----

namespace {
template <class Change>
OSStatus ChangeItem(MenuRef menu, MenuItemIndex index, Change change) {
  if (Live(menu) == nullptr) return menuInvalidErr;
  OpaqueMenuRef::Item *item = ItemOf(menu, index);
  if (item == nullptr) return menuItemNotFoundErr;
  change(*item);
  Changed(menu, index);
  return noErr;
}

template <class Read>
OSStatus ReadItem(MenuRef menu, MenuItemIndex index, const void *out, Read read) {
  if (out == nullptr) return paramErr;
  if (Live(menu) == nullptr) return menuInvalidErr;
  OpaqueMenuRef::Item *item = ItemOf(menu, index);
  if (item == nullptr) return menuItemNotFoundErr;
  read(*item);
  return noErr;
}
}  // namespace

OSStatus SetMenuItemCommandKey(MenuRef inMenu, MenuItemIndex inItem, Boolean inSetVirtualKey, UInt16 inKey) {
  return ChangeItem(inMenu, inItem, [&](OpaqueMenuRef::Item &item) {
    item.usesVirtualKey = inSetVirtualKey != 0;
    if (inSetVirtualKey) item.virtualKey = inKey;
    else item.key = inKey;
  });
}

OSStatus GetMenuItemCommandKey(MenuRef inMenu, MenuItemIndex inItem, Boolean inGetVirtualKey, UInt16 *outKey) {
  return ReadItem(inMenu, inItem, outKey,
                  [&](OpaqueMenuRef::Item &item) { *outKey = inGetVirtualKey ? item.virtualKey : item.key; });
}

OSStatus SetMenuItemModifiers(MenuRef inMenu, MenuItemIndex inItem, UInt8 inModifiers) {
  return ChangeItem(inMenu, inItem, [&](OpaqueMenuRef::Item &item) { item.modifiers = inModifiers; });
}

OSStatus GetMenuItemModifiers(MenuRef inMenu, MenuItemIndex inItem, UInt8 *outModifiers) {
  return ReadItem(inMenu, inItem, outModifiers, [&](OpaqueMenuRef::Item &item) { *outModifiers = UInt8(item.modifiers); });
}

OSStatus SetMenuItemKeyGlyph(MenuRef inMenu, MenuItemIndex inItem, SInt16 inGlyph) {
  return ChangeItem(inMenu, inItem, [&](OpaqueMenuRef::Item &item) { item.glyph = inGlyph; });
}

OSStatus GetMenuItemKeyGlyph(MenuRef inMenu, MenuItemIndex inItem, SInt16 *outGlyph) {
  return ReadItem(inMenu, inItem, outGlyph, [&](OpaqueMenuRef::Item &item) { *outGlyph = item.glyph; });
}

void GetItemCmd(MenuRef theMenu, MenuItemIndex item, CharParameter *cmdChar) {
  if (cmdChar == nullptr) return;
  OpaqueMenuRef::Item *i = ItemOf(theMenu, item);
  *cmdChar = i != nullptr ? CharParameter(i->key) : CharParameter(0);
}

void SetItemCmd(MenuRef theMenu, MenuItemIndex item, CharParameter cmdChar) {
  SetMenuItemCommandKey(theMenu, item, false, UInt16(cmdChar));
}

// ---- Submenus ----

OSStatus SetMenuItemHierarchicalMenu(MenuRef inMenu, MenuItemIndex inItem, MenuRef inHierMenu) {
  if (inHierMenu != nullptr && Live(inHierMenu) == nullptr) return menuInvalidErr;
  return ChangeItem(inMenu, inItem, [&](OpaqueMenuRef::Item &item) { item.submenu = inHierMenu; });
}

OSStatus GetMenuItemHierarchicalMenu(MenuRef inMenu, MenuItemIndex inItem, MenuRef *outHierMenu) {
  return ReadItem(inMenu, inItem, outHierMenu,
                  [&](OpaqueMenuRef::Item &item) { *outHierMenu = Live(item.submenu); });
}

// ---- Help tags ----

OSStatus HMSetMenuItemHelpContent(MenuRef inMenu, MenuItemIndex inItem, const HMHelpContentRec *inContent) {
  if (inContent == nullptr || inContent->version != kMacHelpVersion) return paramErr;
  const HMHelpContent &minimum = inContent->content[kHMMinimumContentIndex];
  CFStringRef text = minimum.contentType == kHMCFStringContent && minimum.u.tagCFString != nullptr
                         ? CFStringCreateCopy(nullptr, minimum.u.tagCFString)
                         : nullptr;
  OSStatus err = ChangeItem(inMenu, inItem, [&](OpaqueMenuRef::Item &item) {
    if (item.help != nullptr) CFRelease(item.help);
    item.help = text;
  });
  if (err != noErr && text != nullptr) CFRelease(text);
  return err;
}

OSStatus PL_GetMenuItemHelpText(MenuRef inMenu, MenuItemIndex inItem, CFStringRef *outText) {
  return ReadItem(inMenu, inItem, outText, [&](OpaqueMenuRef::Item &item) { *outText = item.help; });
}

// ---- The menu bar ----

MenuRef AcquireRootMenu() {
  static MenuRef root = [] {
    MenuRef menu = nullptr;
    CreateNewMenu(0, 0, &menu);
    return menu;
  }();
  return root;
}

void InsertMenu(MenuRef theMenu, MenuID beforeID) {
  if (Live(theMenu) == nullptr || theMenu == AcquireRootMenu()) return;
  std::erase(gBar, theMenu);
  std::erase(gHierarchical, theMenu);
  if (beforeID == kInsertHierarchicalMenu) {
    gHierarchical.push_back(theMenu);
    return;
  }
  auto at = std::find_if(gBar.begin(), gBar.end(), [&](MenuRef m) { return beforeID != 0 && m->id == beforeID; });
  gBar.insert(at, theMenu);
  RebuildRoot();
}

void DeleteMenu(MenuID menuID) {
  const bool inBar = std::any_of(gBar.begin(), gBar.end(), [&](MenuRef m) { return m->id == menuID; });
  std::erase_if(gBar, [&](MenuRef m) { return m->id == menuID; });
  std::erase_if(gHierarchical, [&](MenuRef m) { return m->id == menuID; });
  if (inBar) RebuildRoot();
}

void ClearMenuBar() {
  gBar.clear();
  gHierarchical.clear();
  RebuildRoot();
}

MenuHandle GetMenuHandle(MenuID menuID) {
  std::vector<MenuRef> seen;
  for (const auto *list : {&gBar, &gHierarchical})
    for (MenuRef menu : *list)
      if (MenuRef found = FindByID(menu, menuID, seen)) return found;
  return nullptr;
}

ItemCount PL_CountMenuBarMenus() { return gBar.size(); }
MenuRef PL_GetMenuBarMenu(ItemCount index) { return index < gBar.size() ? gBar[index] : nullptr; }

void InvalMenuBar() { Changed(AcquireRootMenu(), 0); }
void DrawMenuBar() { Changed(AcquireRootMenu(), 0); }

EventTargetRef GetMenuEventTarget(MenuRef inMenu) { return Live(inMenu) != nullptr ? inMenu->target : nullptr; }

void PL_SetMenuChangedProc(PL_MenuChangedProc proc) { gChanged = proc; }
