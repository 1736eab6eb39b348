// Menus of the user-interface toolkit.
#include "toolkit/menus.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

OSStatus GL_DeleteAllMenuItems(MenuRef menu) {
  UInt16 count = CountMenuItems(menu);
  if (count == 0) return noErr;
  return DeleteMenuItems(menu, 1, count);
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
