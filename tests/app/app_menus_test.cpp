// The File, Edit and application menus follow the front window (log, project dialog, about box) and
// quitting; Close, Copy, Select All and Print act on the front window and the log; the Preview menus take
// only commands chosen from them, with their Linux keys.
#include "app/app_menus.h"

#include "app/about_box.h"
#include "app/app_startup.h"
#include "app/log_contents.h"
#include "dialog/open_dialog_fixture.h"
#include "platform/core/cf_object.h"
#include "platform/core/menus.h"
#include "platform/core/multilingual_text.h"
#include "platform/ui/menu_bar_qt.h"
#include "platform/ui/text_views.h"
#include "toolkit/log_window.h"
#include "toolkit/text_objects.h"

#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QKeySequence>

#include <filesystem>
#include <string>

namespace {

class AppMenus : public OpenDialogTest {
 protected:
  void SetUp() override {
    OpenDialogTest::SetUp();
    BZ_SetLogWriteAlertsQuiet(true);
    ASSERT_EQ(BZ_InitMainMenus(), noErr);
    ASSERT_EQ(BZ_CreateLogWindow(), noErr);
  }
  void TearDown() override {
    gBZ.done = false;
    if (WindowRef about = BZ_GetAboutBox()) DisposeWindow(about);
    BZ_DisposeLogWindow();
    BZ_SetLogWriteAlertsQuiet(false);
    OpenDialogTest::TearDown();
  }
  static WindowRef Log() {
    PL_CFScoped<CFStringRef> name(BZ_GetLogName());
    return LOG_GetWindow(name.get());
  }
  static TXNObject LogText() {
    PL_CFScoped<CFStringRef> name(BZ_GetLogName());
    return LOG_GetTXNObject(name.get());
  }
  static void BringLogToFront() {
    if (!IsWindowVisible(Log())) {
      ASSERT_EQ(BZ_ShowHideLog(), noErr);
    }
    SelectWindow(Log());
    ASSERT_TRUE(TD_RunUntil([] { return FrontNonFloatingWindow() == Log(); }));
  }
  static bool Enabled(SInt16 menuID, MenuItemIndex item) {
    return IsMenuItemEnabled(GetMenuHandle(menuID), item);
  }
};

TEST_F(AppMenus, EnablingFollowsTheFrontWindow) {
  struct Case {
    const char *front;
    bool about, close, pageSetup, print, copy, selectAll;
  };
  const Case cases[] = {
      {"log, nothing selected", true, true, true, true, false, true},
      {"log, text selected", true, true, true, true, true, true},
      {"project dialog", true, false, false, false, false, false},
      {"about box", false, true, false, false, false, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.front);
    const std::string front = c.front;
    if (front.rfind("log", 0) == 0) {
      BringLogToFront();
      if (front == "log, text selected") TXNSelectAll(LogText());
      else TXNSetSelection(LogText(), 0, 0);
    } else if (front == "project dialog") {
      SelectWindow(window_);
      ASSERT_TRUE(TD_RunUntil([&] { return FrontNonFloatingWindow() == window_; }));
    } else {
      ASSERT_EQ(BZ_ShowAboutBox(), noErr);
      ASSERT_NE(BZ_GetAboutBox(), nullptr);
    }
    ASSERT_EQ(BZ_UpdateMenus(), noErr);
    EXPECT_EQ(Enabled(kBZ_AppMenuID, 1), c.about);
    EXPECT_EQ(Enabled(kBZ_FileMenuID, 1), c.close);
    EXPECT_EQ(Enabled(kBZ_FileMenuID, 3), c.pageSetup);
    EXPECT_EQ(Enabled(kBZ_FileMenuID, 4), c.print);
    EXPECT_EQ(Enabled(kBZ_EditMenuID, 2), c.copy);
    EXPECT_EQ(Enabled(kBZ_EditMenuID, 5), c.selectAll);
    // Commands no front window uses stay off.
    EXPECT_FALSE(Enabled(kBZ_FileMenuID, 6));
    EXPECT_FALSE(Enabled(kBZ_EditMenuID, 3));
  }
}

TEST_F(AppMenus, QuittingDisablesTheApplicationFileEditAndWindowMenusWhole) {
  BringLogToFront();
  gBZ.done = true;
  ASSERT_EQ(BZ_UpdateMenus(), noErr);
  for (SInt16 id = kBZ_AppMenuID; id <= kBZ_WindowMenuID; ++id) EXPECT_FALSE(Enabled(id, 0)) << id;
  EXPECT_TRUE(Enabled(kBZ_PreviewMenuID, 0));
}

TEST_F(AppMenus, CloseHidesTheLogOrTheAboutBoxAndNeverTheProjectDialog) {
  BringLogToFront();
  ASSERT_EQ(BZ_HandleFileMenu('clos'), noErr);
  EXPECT_FALSE(IsWindowVisible(Log()));

  ASSERT_EQ(BZ_ShowAboutBox(), noErr);
  ASSERT_NE(BZ_GetAboutBox(), nullptr);
  ASSERT_EQ(BZ_HandleFileMenu('clos'), noErr);
  EXPECT_TRUE(TD_RunUntil([] { return BZ_GetAboutBox() == nullptr; }));

  SelectWindow(window_);
  ASSERT_TRUE(TD_RunUntil([&] { return FrontNonFloatingWindow() == window_; }));
  ASSERT_EQ(BZ_HandleFileMenu('clos'), noErr);
  EXPECT_EQ(BZ_GetProjDlgWindow(), window_);
  EXPECT_TRUE(IsWindowVisible(window_));
}

TEST_F(AppMenus, CopyAndSelectAllActOnTheLog) {
  BringLogToFront();
  TXNSetSelection(LogText(), 0, 0);
  ASSERT_EQ(BZ_HandleEditMenu('sall'), noErr);
  EXPECT_FALSE(TXNIsSelectionEmpty(LogText()));
  ASSERT_EQ(BZ_HandleEditMenu('copy'), noErr);
  CFStringRef whole = nullptr;
  ASSERT_EQ(TXN_GetDataAsCFStr(LogText(), 0, kTXNEndOffset, &whole), noErr);
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), PL_CFStringToUTF8(whole));
  CFRelease(whole);
}

TEST_F(AppMenus, PrintingTheLogWithNothingSelectedPrintsTheWholeText) {
  BringLogToFront();
  ASSERT_EQ(BZ_AddLineToLog("a line to print\r"), noErr);
  TXNSetSelection(LogText(), 0, 0);
  const std::string pdf = dir_.path() + "/log.pdf";
  PL_SetPrintOutputFile(pdf.c_str());
  EXPECT_EQ(BZ_HandleFileMenu('page'), noErr);
  EXPECT_EQ(BZ_HandleFileMenu('prnt'), noErr);
  PL_SetPrintOutputFile(nullptr);
  const std::string printed = PL_GetLastPrintedText();
  EXPECT_NE(printed.find("a line to print"), std::string::npos);
  // The header's first line: the whole text, not only its end.
  CFStringRef whole = nullptr;
  ASSERT_EQ(TXN_GetDataAsCFStr(LogText(), 0, 20, &whole), noErr);
  EXPECT_NE(printed.find(PL_CFStringToUTF8(whole).substr(0, 10)), std::string::npos);
  CFRelease(whole);
  ASSERT_TRUE(std::filesystem::exists(pdf));
  EXPECT_GT(std::filesystem::file_size(pdf), 0u);
}

// A command of a Preview submenu is handled by the Preview menu's handler only when it comes from that menu.
OSStatus SendCommand(MenuRef menu, MenuItemIndex item, UInt32 attributes) {
  HICommand command{};
  command.attributes = attributes;
  command.menu.menuRef = menu;
  command.menu.menuItemIndex = item;
  EventRef event = nullptr;
  CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, kEventAttributeUserEvent, &event);
  SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
  const OSStatus result = PL_SendEventToTargetOnly(event, GetMenuEventTarget(menu));
  ReleaseEvent(event);
  return result;
}

TEST_F(AppMenus, PreviewSubmenusTakeOnlyTheirOwnMenuCommands) {
  MenuRef crop = GetMenuHandle(kBZ_CropMenuID), selection = GetMenuHandle(kBZ_SelectionMenuID);
  ASSERT_NE(crop, nullptr);
  ASSERT_NE(selection, nullptr);
  EXPECT_EQ(SendCommand(selection, 13, kHICommandFromMenu), noErr);
  EXPECT_EQ(SendCommand(crop, 6, kHICommandFromMenu), noErr);
  // The same key without the menu's origin, or naming another menu, is left to others.
  EXPECT_EQ(SendCommand(selection, 13, 0), eventNotHandledErr);
  HICommand command{};
  command.attributes = kHICommandFromMenu;
  command.menu.menuRef = selection;
  command.menu.menuItemIndex = 13;
  EventRef event = nullptr;
  CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, kEventAttributeUserEvent, &event);
  SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
  EXPECT_EQ(PL_SendEventToTargetOnly(event, GetMenuEventTarget(crop)), eventNotHandledErr);
  ReleaseEvent(event);
}

TEST_F(AppMenus, PreviewKeysAreTheLinuxOnes) {
  struct Case {
    SInt16 menuID;
    MenuItemIndex item;
    const char *keys;
  };
  const Case cases[] = {
      {kBZ_CropMenuID, 1, "Ctrl+Up"},          {kBZ_CropMenuID, 4, "Ctrl+Right"},
      {kBZ_CropMenuID, 6, "Ctrl+Shift+Up"},    {kBZ_CropMenuID, 8, "Ctrl+Shift+Left"},
      {kBZ_SelectionMenuID, 1, "Alt+Enter"},   {kBZ_SelectionMenuID, 3, "Ctrl+Up"},
      {kBZ_SelectionMenuID, 11, "Ctrl+Shift+Right"}, {kBZ_SelectionMenuID, 13, "Ctrl+Enter"},
      {kBZ_SelectionMenuID, 14, "Ctrl+Return"}, {kBZ_SelectionMenuID, 15, "Ctrl+."},
      {kBZ_SelectionMenuID, 16, "Esc"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.menuID) + " item " + std::to_string(c.item));
    QAction *action = PL_GetMenuItemAction(GetMenuHandle(c.menuID), c.item);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(action->shortcut(), QKeySequence(c.keys)) << action->shortcut().toString().toStdString();
  }
  // The option modifier stays in the model for the preview's own use.
  UInt8 modifiers = 0;
  ASSERT_EQ(GetMenuItemModifiers(GetMenuHandle(kBZ_SelectionMenuID), 10, &modifiers), noErr);
  EXPECT_EQ(modifiers, kMenuOptionModifier);
  SInt16 glyph = 0;
  ASSERT_EQ(GetMenuItemKeyGlyph(GetMenuHandle(kBZ_CropMenuID), 9, &glyph), noErr);
  EXPECT_EQ(glyph, kMenuRightArrowGlyph);
}

}  // namespace
