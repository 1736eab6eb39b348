// Menu Manager stand-in.
#include "platform/core/menus.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <algorithm>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

struct OpaqueMenuRef {
  MenuID id;
  struct Item {
    CFStringRef text;  // owned
    MenuCommand command;
  };
  std::vector<Item> items;
};

namespace {

// Live menus, so that a stale or foreign MenuRef is refused instead of read.
std::mutex gMenusLock;
std::unordered_set<MenuRef> gMenus;

MenuRef Live(MenuRef menu) {
  std::lock_guard<std::mutex> lock(gMenusLock);
  return menu != nullptr && gMenus.count(menu) != 0 ? menu : nullptr;
}

OpaqueMenuRef::Item *ItemOf(MenuRef menu, MenuItemIndex item) {
  if (Live(menu) == nullptr || item == 0 || item > menu->items.size()) return nullptr;
  return &menu->items[item - 1];
}

}  // namespace

OSStatus CreateNewMenu(MenuID inMenuID, MenuAttributes inMenuAttributes, MenuRef *outMenuRef) {
  (void)inMenuAttributes;
  if (outMenuRef == nullptr) return paramErr;
  *outMenuRef = nullptr;
  MenuRef menu = new (std::nothrow) OpaqueMenuRef{inMenuID, {}};
  if (menu == nullptr) return memFullErr;
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
  for (auto &item : theMenu->items) CFRelease(item.text);
  delete theMenu;
}

OSStatus ReleaseMenu(MenuRef inMenu) {
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  DisposeMenu(inMenu);
  return noErr;
}

MenuID GetMenuID(MenuRef menu) { return Live(menu) != nullptr ? menu->id : 0; }

UInt16 CountMenuItems(MenuRef theMenu) {
  return Live(theMenu) != nullptr ? UInt16(std::min<size_t>(theMenu->items.size(), 0xFFFF)) : 0;
}

OSStatus InsertMenuItemTextWithCFString(MenuRef inMenu, CFStringRef inString, MenuItemIndex inAfterItem,
                                        MenuItemAttributes inAttributes, MenuCommand inCommandID) {
  (void)inAttributes;
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  if (inString == nullptr) return paramErr;
  if (inMenu->items.size() >= 0xFFFF) return memFullErr;
  size_t at = std::min<size_t>(inAfterItem, inMenu->items.size());
  inMenu->items.insert(inMenu->items.begin() + ptrdiff_t(at),
                       OpaqueMenuRef::Item{CFStringCreateCopy(nullptr, inString), inCommandID});
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
  for (size_t i = first; i < last; ++i) CFRelease(inMenu->items[i].text);
  inMenu->items.erase(inMenu->items.begin() + ptrdiff_t(first), inMenu->items.begin() + ptrdiff_t(last));
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
  if (Live(inMenu) == nullptr) return menuInvalidErr;
  UInt32 seen = 0;
  for (size_t i = 0; i < inMenu->items.size(); ++i) {
    if (inMenu->items[i].command != inCommandID) continue;
    if (++seen < std::max<UInt32>(inItemIndex, 1)) continue;
    if (outMenu != nullptr) *outMenu = inMenu;
    if (outIndex != nullptr) *outIndex = MenuItemIndex(i + 1);
    return noErr;
  }
  return menuItemNotFoundErr;
}
