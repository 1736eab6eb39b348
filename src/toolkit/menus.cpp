// Menus of the user-interface toolkit.
#include "toolkit/menus.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/menu_bar.h"
#include "platform/ui/nib_controls.h"

#include <cstring>

namespace {

// A zero-terminated copy of at most 255 bytes of the item's text as a Pascal string; empty on failure.
void ItemTextAsStr255(MenuRef menu, MenuItemIndex item, Str255 out) {
  out[0] = 0;
  CFStringRef text = nullptr;
  if (CopyMenuItemTextAsCFString(menu, item, &text) != noErr) return;
  char buffer[256] = {};
  CFStringGetCString(text, buffer, sizeof buffer, kCFStringEncodingUTF8);
  CFRelease(text);
  const size_t length = std::strlen(buffer);
  out[0] = UInt8(length);
  std::memcpy(out + 1, buffer, length);
}

Style StyleOfName(const Str255 name) {
  static const struct {
    const char *name;
    Style style;
  } kStyles[] = {{"Regular", 0},  {"Condensed", 32}, {"Condensed Bold", 33},
                 {"Bold Italic", 3}, {"Italic", 2},    {"Extended", 64}};
  for (const auto &s : kStyles)
    if (std::strlen(s.name) == name[0] && std::memcmp(s.name, name + 1, name[0]) == 0) return s.style;
  return 0;
}

}  // namespace

OSStatus GL_SetMenuBarFromNibByName(CFStringRef nibName, CFStringRef menuName) {
  IBNibRef nib = nullptr;
  OSStatus err = CreateNibReference(nibName, &nib);
  if (err != noErr) return err;
  err = SetMenuBarFromNib(nib, menuName);
  DisposeNibReference(nib);
  return err;
}

OSStatus GL_SetUpMenu(int menuID, MenuRef *menu) {
  if (menu == nullptr) return paramErr;
  *menu = GetMenuHandle(MenuID(menuID));
  if (*menu == nullptr) return resNotFound;
  InsertMenu(*menu, 0);
  return noErr;
}

OSStatus GL_CopyMenu(MenuRef menu1, MenuRef menu2) {
  const UInt16 count = CountMenuItems(menu1);
  for (UInt16 i = 1; i <= count; ++i) {
    CFStringRef text = nullptr;
    OSStatus err = CopyMenuItemTextAsCFString(menu1, i, &text);
    MenuItemAttributes attributes = 0;
    if (err == noErr) err = GetMenuItemAttributes(menu1, i, &attributes);
    if (err == noErr) err = AppendMenuItemTextWithCFString(menu2, text, attributes, 0, nullptr);
    if (text != nullptr) CFRelease(text);
    if (err != noErr) return err;
  }
  return noErr;
}

OSStatus GL_DeleteAllMenuItems(MenuRef menu) {
  UInt16 count = CountMenuItems(menu);
  if (count == 0) return noErr;
  return DeleteMenuItems(menu, 1, count);
}

int GL_CountCheckedMenuItems(MenuRef menu) {
  int checked = 0;
  for (UInt16 i = 1; i <= CountMenuItems(menu); ++i) {
    CharParameter mark = 0;
    GetItemMark(menu, i, &mark);
    if (mark != 0) ++checked;
  }
  return checked;
}

void GL_ClearMenuChecks(MenuRef menu) {
  for (UInt16 i = 1; i <= CountMenuItems(menu); ++i) SetItemMark(menu, i, noMark);
}

void GL_SetMenuCheck(MenuRef menu, int item) {
  for (UInt16 i = 1; i <= CountMenuItems(menu); ++i) CheckMenuItem(menu, i, int(i) == item);
}

void GL_ToggleItemMark(MenuRef menu, int item, int markChar) {
  if (item < 1 || item > 0xFFFF) return;
  CharParameter mark = 0;
  GetItemMark(menu, MenuItemIndex(item), &mark);
  SetItemMark(menu, MenuItemIndex(item), mark != 0 ? CharParameter(noMark) : CharParameter(markChar));
}

Boolean GL_NeedToEnableMenu(MenuRef menu) {
  bool anyEnabled = false;
  for (UInt16 i = 1; i <= CountMenuItems(menu) && !anyEnabled; ++i) {
    MenuItemAttributes attributes = 0;
    anyEnabled = GetMenuItemAttributes(menu, i, &attributes) == noErr && (attributes & kMenuItemAttrDisabled) == 0;
  }
  return (IsMenuItemEnabled(menu, 0) != 0) != anyEnabled;
}

Boolean GL_NeedToEnableMenuByID(int menuID) { return GL_NeedToEnableMenu(GetMenuHandle(MenuID(menuID))); }

void GL_DisableMenuByID(int menuID) { DisableMenuItem(GetMenuHandle(MenuID(menuID)), 0); }

void GL_EnableMenuItem(MenuRef menu, int item, Boolean enable) {
  if (item < 0 || item > 0xFFFF) return;
  if (enable) EnableMenuItem(menu, MenuItemIndex(item));
  else DisableMenuItem(menu, MenuItemIndex(item));
}

void GL_EnableAllMenuItemsByID(int menuID) {
  MenuRef menu = GetMenuHandle(MenuID(menuID));
  for (UInt16 i = 0; i <= CountMenuItems(menu); ++i) EnableMenuItem(menu, i);
}

void GL_DisableAllMenuItemsByID(int menuID) {
  MenuRef menu = GetMenuHandle(MenuID(menuID));
  for (UInt16 i = 1; i <= CountMenuItems(menu); ++i) DisableMenuItem(menu, i);
}

void GL_EnableMenuCommandByID(int menuID, MenuCommand command, Boolean enable) {
  MenuRef menu = GetMenuHandle(MenuID(menuID));
  if (menu == nullptr) return;
  if (enable) EnableMenuCommand(menu, command);
  else DisableMenuCommand(menu, command);
}

OSStatus GL_EnableMenuItemByName(MenuRef menu, CFStringRef name, Boolean enable) {
  MenuItemIndex item = 0;
  Boolean found = false;
  OSStatus err = GL_IsNameInMenuList(menu, name, &item, &found);
  if (err == noErr && found) GL_EnableMenuItem(menu, item, enable);
  return err;
}

OSStatus GL_ShowMenuItemCommand(int menuID, MenuCommand command, Boolean show) {
  MenuRef menu = GetMenuHandle(MenuID(menuID));
  if (menu == nullptr) return menuNotFoundErr;
  MenuItemAttributes attributes = 0;
  OSStatus err = GetMenuCommandAttributes(menu, command, &attributes);
  if (err != noErr) return err;
  attributes = show ? (attributes & ~kMenuItemAttrHidden) : (attributes | kMenuItemAttrHidden);
  return ChangeMenuCommandAttributes(menu, command, attributes, ~attributes);
}

OSStatus GL_IsNameInMenuList(MenuRef menu, CFStringRef name, MenuItemIndex *item, Boolean *isNameInMenuList) {
  if (isNameInMenuList == nullptr || name == nullptr) return paramErr;
  *isNameInMenuList = false;
  if (item != nullptr) *item = 0;
  UInt16 count = CountMenuItems(menu);
  for (UInt16 i = 1; i <= count; ++i) {
    CFStringRef text = nullptr;
    OSStatus err = CopyMenuItemTextAsCFString(menu, i, &text);
    if (err != noErr) return err;
    bool equal = CFStringCompare(text, name, 0) == kCFCompareEqualTo;
    CFRelease(text);
    if (equal) {
      *isNameInMenuList = true;
      if (item != nullptr) *item = i;
      return noErr;
    }
  }
  return noErr;
}

OSStatus GL_ChangeMenuItemText(MenuRef menu, CFStringRef oldName, CFStringRef newName) {
  if (oldName == nullptr || newName == nullptr) return paramErr;
  for (UInt16 i = CountMenuItems(menu); i >= 1; --i) {
    CFStringRef text = nullptr;
    OSStatus err = CopyMenuItemTextAsCFString(menu, i, &text);
    if (err != noErr) return err;
    const bool equal = CFStringCompare(text, oldName, 0) == kCFCompareEqualTo;
    CFRelease(text);
    if (equal) return SetMenuItemTextWithCFString(menu, i, newName);
  }
  return noErr;
}

OSStatus GL_SetMenuItemCommandText(int menuID, MenuCommand command, CFStringRef itemName) {
  MenuRef menu = GetMenuHandle(MenuID(menuID));
  if (menu == nullptr) return menuNotFoundErr;
  MenuRef owner = nullptr;
  MenuItemIndex index = 0;
  OSStatus err = GetIndMenuItemWithCommandID(menu, command, 1, &owner, &index);
  return err != noErr ? err : SetMenuItemTextWithCFString(owner, index, itemName);
}

OSStatus GL_SetMenuItemHelpTag(MenuRef menu, int item, CFStringRef helpText) {
  if (item < 0 || item > 0xFFFF) return menuItemNotFoundErr;
  HMHelpContentRec content{};
  content.version = kMacHelpVersion;
  content.absHotRect = Rect{0, 0, 0, 0};
  content.tagSide = kHMDefaultSide;
  content.content[kHMMinimumContentIndex].contentType = kHMCFStringContent;
  content.content[kHMMinimumContentIndex].u.tagCFString = helpText;
  content.content[kHMMaximumContentIndex].contentType = kHMNoContent;
  return HMSetMenuItemHelpContent(menu, MenuItemIndex(item), &content);
}

OSStatus GL_GetMenuItemGlyphAndCmdKey(MenuRef menu, MenuItemID inItem, Boolean inIsCommandID,
                                      UInt32 *cmdKeyModifiers, UInt16 *cmdKey, UInt32 *cmdKeyGlyph) {
  if (cmdKeyModifiers == nullptr || cmdKey == nullptr || cmdKeyGlyph == nullptr) return paramErr;
  MenuRef owner = menu;
  MenuItemIndex index = MenuItemIndex(inItem);
  if (inIsCommandID) {
    OSStatus err = GetIndMenuItemWithCommandID(menu, inItem, 1, &owner, &index);
    if (err != noErr) return err;
  }
  UInt8 modifiers = 0;
  SInt16 glyph = 0;
  OSStatus err = GetMenuItemCommandKey(owner, index, false, cmdKey);
  if (err == noErr) err = GetMenuItemKeyGlyph(owner, index, &glyph);
  if (err == noErr) err = GetMenuItemModifiers(owner, index, &modifiers);
  if (err != noErr) return err;
  *cmdKeyModifiers = modifiers;
  *cmdKeyGlyph = UInt32(UInt16(glyph));
  return noErr;
}

MenuItemIndex GL_HierarchicalMenuToItemIndex(MenuHandle menu, MenuHandle subMenu) {
  for (UInt16 i = 1; i <= CountMenuItems(menu); ++i) {
    MenuRef sub = nullptr;
    if (GetMenuItemHierarchicalMenu(menu, i, &sub) == noErr && sub != nullptr && sub == subMenu) return i;
  }
  return 0;
}

void GL_GetFontFamilyFromMenuSelection(MenuRef menu, MenuRef subMenu, int item, FMFontFamily *fontFamily,
                                       Style *style) {
  if (fontFamily == nullptr || style == nullptr || item < 1 || item > 0xFFFF) return;
  Str255 name;
  if (subMenu == menu) {
    ItemTextAsStr255(menu, MenuItemIndex(item), name);
    GetFNum(name, fontFamily);
    *style = 0;
    return;
  }
  ItemTextAsStr255(subMenu, MenuItemIndex(item), name);
  *style = StyleOfName(name);
  Str255 family;
  ItemTextAsStr255(menu, GL_HierarchicalMenuToItemIndex(menu, subMenu), family);
  GetFNum(family, fontFamily);
}

Boolean GL_IsEditCommandID(UInt32 command) {
  switch (command) {
    case 'undo': case 'redo': case 'cut ': case 'copy': case 'past': case 'clea': case 'sall': return true;
    default: return false;
  }
}

Boolean GL_IsFileCommandID(UInt32 command) {
  switch (command) {
    case 'new ': case 'open': case 'clos': case 'save': case 'rvrt': case 'page': case 'prnt': return true;
    default: return false;
  }
}
