// Menus of the toolkit, dialog items by view identifier, and icons of pictures.
#include "toolkit/dialog_items.h"
#include "toolkit/icons.h"
#include "toolkit/menus.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

namespace {

MenuRef MenuOf(std::initializer_list<const char *> texts) {
  MenuRef menu = nullptr;
  EXPECT_EQ(noErr, CreateNewMenu(5, 0, &menu));
  MenuCommand command = 1;
  for (const char *text : texts) {
    CFStringRef s = CFStringCreateWithCString(nullptr, text, kCFStringEncodingUTF8);
    EXPECT_EQ(noErr, AppendMenuItemTextWithCFString(menu, s, 0, command++, nullptr));
    CFRelease(s);
  }
  return menu;
}

TEST(ToolkitMenus, NameSearchIsExactAndFindsTheFirst) {
  MenuRef menu = MenuOf({"Alpha", "Beta", "beta", "Beta"});
  struct Case {
    CFStringRef name;
    bool found;
    MenuItemIndex item;
  };
  const Case cases[] = {{CFSTR("Beta"), true, 2}, {CFSTR("beta"), true, 3}, {CFSTR("BETA"), false, 0},
                        {CFSTR("Alph"), false, 0}, {CFSTR(""), false, 0}};
  for (const Case &c : cases) {
    MenuItemIndex item = 99;
    Boolean found = true;
    ASSERT_EQ(noErr, GL_IsNameInMenuList(menu, c.name, &item, &found));
    EXPECT_EQ(c.found, found != 0);
    EXPECT_EQ(c.item, item);
  }
  Boolean found = true;
  EXPECT_EQ(noErr, GL_IsNameInMenuList(menu, CFSTR("Alpha"), nullptr, &found));
  EXPECT_TRUE(found);
  DisposeMenu(menu);
  // A menu that is gone is an error, not a read of freed memory.
  EXPECT_EQ(noErr, GL_IsNameInMenuList(menu, CFSTR("Alpha"), nullptr, &found));
  EXPECT_FALSE(found);
}

TEST(ToolkitMenus, DeleteAllItemsEmptiesAnyMenu) {
  MenuRef menu = MenuOf({"One", "Two", "Three"});
  ASSERT_EQ(noErr, GL_DeleteAllMenuItems(menu));
  EXPECT_EQ(0, CountMenuItems(menu));
  EXPECT_EQ(noErr, GL_DeleteAllMenuItems(menu));  // already empty
  DisposeMenu(menu);
}

TEST(ToolkitDialogItems, PopupMenuAndMaximumByViewIdentifier) {
  int storage = 0;
  WindowRef window = reinterpret_cast<WindowRef>(&storage);
  HIViewID id{'Orl1', 2159};
  ControlRef control = nullptr;
  ASSERT_EQ(noErr, PL_NewControl(window, &id, &control));
  EXPECT_EQ(dupFNErr, PL_NewControl(window, &id, nullptr));
  ASSERT_EQ(noErr, GL_SetDialogItemMaxByID(window, id, 1000));
  SetControl32BitValue(control, 50);
  SInt32 max = 0;
  ASSERT_EQ(noErr, GL_GetDialogItemMaxByID(window, id, &max));
  EXPECT_EQ(1000, max);
  // Lowering the maximum below the value pulls the value down with it.
  ASSERT_EQ(noErr, GL_SetDialogItemMaxByID(window, id, 10));
  EXPECT_EQ(10, GetControl32BitValue(control));
  MenuRef menu = MenuOf({"A"});
  SetControlPopupMenuHandle(control, menu);
  MenuRef got = nullptr;
  ASSERT_EQ(noErr, GL_GetPopupMenuByID(window, id, &got));
  EXPECT_EQ(menu, got);
  // A missing view: the finder's error, and the output untouched.
  max = 7;
  EXPECT_EQ(errUnknownControl, GL_GetDialogItemMaxByID(window, HIViewID{'Orl1', 1}, &max));
  EXPECT_EQ(7, max);
  EXPECT_EQ(errUnknownControl, GL_SetDialogItemMaxByID(nullptr, id, 1));
  PL_DisposeWindowControls(window);
  EXPECT_EQ(errUnknownControl, GL_GetPopupMenuByID(window, id, &got));
}

TEST(ToolkitIcons, IconOfAPictureKeepsItsOwnCopy) {
  const UInt8 argb[8] = {255, 1, 2, 3, 255, 4, 5, 6};
  Rect frame{0, 0, 1, 2};
  PicHandle picture = nullptr;
  ASSERT_EQ(noErr, PL_NewARGBPicture(&frame, 2, 1, argb, 8, &picture));
  IconRef icon = nullptr;
  ASSERT_EQ(noErr, IC_PicToIcon(picture, &icon));
  KillPicture(picture);
  const UInt8 *pixels = nullptr;
  ASSERT_EQ(noErr, PL_GetPictureImage(PL_GetIconRefPicture(icon), nullptr, nullptr, &pixels));
  EXPECT_EQ(6, pixels[7]);
  EXPECT_EQ(noErr, ReleaseIconRef(icon));
  EXPECT_EQ(paramErr, ReleaseIconRef(icon));
  EXPECT_EQ(paramErr, IC_PicToIcon(nullptr, &icon));
  EXPECT_EQ(nullptr, icon);
}

}  // namespace
