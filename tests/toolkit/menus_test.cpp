// Menus of the toolkit, dialog items by view identifier, and icons of pictures.
#include "toolkit/dialog_items.h"
#include "toolkit/icons.h"
#include "toolkit/menus.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <string>

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

CharParameter MarkOf(MenuRef menu, MenuItemIndex item) {
  CharParameter mark = 0;
  GetItemMark(menu, item, &mark);
  return mark;
}

std::string ItemText(MenuRef menu, MenuItemIndex item) {
  CFStringRef text = nullptr;
  if (CopyMenuItemTextAsCFString(menu, item, &text) != noErr) return "?";
  char buffer[256] = {};
  CFStringGetCString(text, buffer, sizeof buffer, kCFStringEncodingUTF8);
  CFRelease(text);
  return buffer;
}

TEST(ToolkitMenus, SetMenuCheckChecksOneAndOutOfRangeUnchecksAll) {
  MenuRef menu = MenuOf({"One", "Two", "Three"});
  struct Case {
    int item;
    int checked;  // the one item left checked, 0: none
  };
  const Case cases[] = {{2, 2}, {1, 1}, {3, 3}, {0, 0}, {4, 0}, {-1, 0}, {70000, 0}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.item);
    for (MenuItemIndex i = 1; i <= 3; ++i) SetItemMark(menu, i, checkMark);
    GL_SetMenuCheck(menu, c.item);
    EXPECT_EQ(GL_CountCheckedMenuItems(menu), c.checked != 0 ? 1 : 0);
    if (c.checked != 0) {
      EXPECT_NE(MarkOf(menu, MenuItemIndex(c.checked)), 0);
    }
  }
  GL_SetMenuCheck(menu, 2);
  GL_ClearMenuChecks(menu);
  EXPECT_EQ(GL_CountCheckedMenuItems(menu), 0);
  DisposeMenu(menu);
}

TEST(ToolkitMenus, ToggleTwiceRestoresTheMark) {
  MenuRef menu = MenuOf({"Plain", "Checked"});
  SetItemMark(menu, 2, checkMark);
  for (MenuItemIndex item : {1, 2}) {
    SCOPED_TRACE(item);
    const CharParameter before = MarkOf(menu, item);
    GL_ToggleItemMark(menu, item, '*');
    EXPECT_EQ(MarkOf(menu, item), before != 0 ? 0 : '*');
    GL_ToggleItemMark(menu, item, '*');
    EXPECT_EQ(MarkOf(menu, item) != 0, before != 0);
  }
  DisposeMenu(menu);
}

TEST(ToolkitMenus, RenamingTakesTheLastMatchWithItsExactCase) {
  MenuRef menu = MenuOf({"Copy", "copy", "Copy", "Paste"});
  ASSERT_EQ(noErr, GL_ChangeMenuItemText(menu, CFSTR("Copy"), CFSTR("Duplicate")));
  EXPECT_EQ(ItemText(menu, 1), "Copy");
  EXPECT_EQ(ItemText(menu, 2), "copy");
  EXPECT_EQ(ItemText(menu, 3), "Duplicate");
  // Another case, or no match at all, renames nothing.
  ASSERT_EQ(noErr, GL_ChangeMenuItemText(menu, CFSTR("PASTE"), CFSTR("x")));
  ASSERT_EQ(noErr, GL_ChangeMenuItemText(menu, CFSTR("Cut"), CFSTR("x")));
  EXPECT_EQ(ItemText(menu, 4), "Paste");
  // Enabling by name takes the first match only.
  ASSERT_EQ(noErr, GL_EnableMenuItemByName(menu, CFSTR("Copy"), false));
  EXPECT_FALSE(IsMenuItemEnabled(menu, 1));
  EXPECT_TRUE(IsMenuItemEnabled(menu, 2));
  ASSERT_EQ(noErr, GL_EnableMenuItemByName(menu, CFSTR("Nothing"), false));
  DisposeMenu(menu);
}

TEST(ToolkitMenus, WholeMenusByIDAndHiddenItemsByCommand) {
  MenuRef menu = MenuOf({"A", "B", "C"});  // commands 1, 2, 3; menu ID 5
  InsertMenu(menu, 0);
  EXPECT_FALSE(GL_NeedToEnableMenuByID(5));  // enabled with enabled items
  GL_DisableAllMenuItemsByID(5);
  EXPECT_TRUE(GL_NeedToEnableMenuByID(5));  // its title still says enabled
  GL_DisableMenuByID(5);
  EXPECT_FALSE(GL_NeedToEnableMenuByID(5));
  GL_EnableMenuCommandByID(5, 2, true);
  EXPECT_TRUE(GL_NeedToEnableMenuByID(5));
  GL_EnableAllMenuItemsByID(5);
  EXPECT_TRUE(IsMenuItemEnabled(menu, 0));
  EXPECT_TRUE(IsMenuItemEnabled(menu, 3));

  ASSERT_EQ(noErr, GL_ShowMenuItemCommand(5, 3, false));
  MenuItemAttributes attributes = 0;
  GetMenuItemAttributes(menu, 3, &attributes);
  EXPECT_EQ(attributes & kMenuItemAttrHidden, kMenuItemAttrHidden);
  ASSERT_EQ(noErr, GL_ShowMenuItemCommand(5, 3, true));
  GetMenuItemAttributes(menu, 3, &attributes);
  EXPECT_EQ(attributes & kMenuItemAttrHidden, 0u);
  EXPECT_EQ(menuNotFoundErr, GL_ShowMenuItemCommand(6, 3, true));
  EXPECT_NE(noErr, GL_ShowMenuItemCommand(5, 99, true));

  ASSERT_EQ(noErr, GL_SetMenuItemCommandText(5, 2, CFSTR("Bee")));
  EXPECT_EQ(ItemText(menu, 2), "Bee");
  MenuRef found = nullptr;
  EXPECT_EQ(resNotFound, GL_SetUpMenu(6, &found));
  DeleteMenu(5);
  DisposeMenu(menu);
}

TEST(ToolkitMenus, CopiedItemsKeepTextAndAttributesButNoCommand) {
  MenuRef from = MenuOf({"One", "Two"});
  ChangeMenuItemAttributes(from, 2, kMenuItemAttrHidden, 0);
  MenuRef to = MenuOf({"Zero"});
  ASSERT_EQ(noErr, GL_CopyMenu(from, to));
  ASSERT_EQ(CountMenuItems(to), 3);
  EXPECT_EQ(ItemText(to, 3), "Two");
  MenuItemAttributes attributes = 0;
  GetMenuItemAttributes(to, 3, &attributes);
  EXPECT_EQ(attributes & kMenuItemAttrHidden, kMenuItemAttrHidden);
  MenuCommand command = 99;
  GetMenuItemCommandID(to, 2, &command);
  EXPECT_EQ(command, 0u);
  DisposeMenu(from);
  DisposeMenu(to);
}

TEST(ToolkitMenus, FontMenuSelectionGivesTheFamilyAndTheStyleOfTheItemsName) {
  MenuRef fonts = MenuOf({"Geneva", "Helvetica"});
  MenuRef styles = MenuOf({"Regular", "Condensed", "Condensed Bold", "Bold Italic", "Italic", "Extended", "Bold",
                           "italic", "Condensed Bold Italic"});
  ASSERT_EQ(noErr, SetMenuItemHierarchicalMenu(fonts, 2, styles));
  EXPECT_EQ(GL_HierarchicalMenuToItemIndex(fonts, styles), 2);
  EXPECT_EQ(GL_HierarchicalMenuToItemIndex(fonts, fonts), 0);
  SInt16 helvetica = 0;
  GetFNum(reinterpret_cast<ConstStr255Param>("\x09Helvetica"), &helvetica);
  const Style kStyles[] = {0, 32, 33, 3, 2, 64, 0, 0, 0};  // names not in the table, or in another case: plain
  for (int item = 1; item <= 9; ++item) {
    SCOPED_TRACE(item);
    FMFontFamily family = -1;
    Style style = 99;
    GL_GetFontFamilyFromMenuSelection(fonts, styles, item, &family, &style);
    EXPECT_EQ(family, helvetica);
    EXPECT_EQ(style, kStyles[item - 1]);
  }
  // Chosen in the font menu itself: the item names the family, the style is plain.
  FMFontFamily family = -1;
  Style style = 99;
  GL_GetFontFamilyFromMenuSelection(fonts, fonts, 1, &family, &style);
  SInt16 geneva = 0;
  GetFNum(reinterpret_cast<ConstStr255Param>("\x06Geneva"), &geneva);
  EXPECT_EQ(family, geneva);
  EXPECT_EQ(style, 0);
  DisposeMenu(styles);
  DisposeMenu(fonts);
}

TEST(ToolkitMenus, CommandClasses) {
  for (UInt32 c : {'undo', 'redo', 'cut ', 'copy', 'past', 'clea', 'sall'}) EXPECT_TRUE(GL_IsEditCommandID(c));
  for (UInt32 c : {'new ', 'open', 'clos', 'save', 'rvrt', 'page', 'prnt'}) EXPECT_TRUE(GL_IsFileCommandID(c));
  for (UInt32 c : {UInt32('quit'), UInt32('cut'), UInt32('Copy'), UInt32('NewP'), UInt32(0)}) {
    EXPECT_FALSE(GL_IsEditCommandID(c)) << c;
    EXPECT_FALSE(GL_IsFileCommandID(c)) << c;
  }
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
