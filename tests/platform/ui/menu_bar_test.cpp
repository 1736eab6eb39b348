// The menu bar from the nib, offscreen: a user's choice by menu or by shortcut becomes a command from the
// menu that goes to the menu, then the front window, then the application.
#include "platform/ui/application.h"
#include "platform/ui/menu_bar_qt.h"
#include "platform/ui/window_manager_qt.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QWidget>

#include <vector>

namespace {

struct Seen {
  const char *where;
  HICommand command;
};
std::vector<Seen> gSeen;

OSStatus Record(EventRef event, const char *where, OSStatus answer) {
  HICommand command{};
  if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command) !=
      noErr)
    return eventNotHandledErr;
  gSeen.push_back({where, command});
  return answer;
}

OSStatus AppHandler(EventHandlerCallRef, EventRef event, void *) { return Record(event, "application", noErr); }
// Takes only the command it is given; anything else goes on.
OSStatus TakingHandler(EventHandlerCallRef, EventRef event, void *userData) {
  HICommand command{};
  GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command);
  const auto *taken = static_cast<const std::pair<const char *, MenuCommand> *>(userData);
  if (command.commandID != taken->second) return eventNotHandledErr;
  return Record(event, taken->first, noErr);
}

const EventTypeSpec kCommand{kEventClassCommand, kEventCommandProcess};

struct MenuBar : ::testing::Test {
  static void SetUpTestSuite() {
    static int argc = 1;
    static char name[] = "menu_bar_test";
    static char *argv[] = {name, nullptr};
    ASSERT_EQ(noErr, PL_CreateApplication(&argc, argv));
  }

  IBNibRef nib = nullptr;
  WindowRef dialog = nullptr, other = nullptr;
  EventHandlerRef appHandler = nullptr;

  void SetUp() override {
    gSeen.clear();
    ASSERT_EQ(noErr, CreateNibReference(CFSTR("BZ main"), &nib));
    ASSERT_EQ(noErr, SetMenuBarFromNib(nib, CFSTR("MenuBar")));
    ASSERT_EQ(noErr, CreateWindowFromNib(nib, CFSTR("New Project Dialog"), &dialog));
    const Rect bounds{300, 300, 400, 500};
    ASSERT_EQ(noErr, CreateNewWindow(kDocumentWindowClass, kWindowStandardDocumentAttributes, &bounds, &other));
    ShowWindow(dialog);
    ShowWindow(other);
    ASSERT_EQ(noErr, InstallApplicationEventHandler(AppHandler, 1, &kCommand, nullptr, &appHandler));
  }
  void TearDown() override {
    RemoveEventHandler(appHandler);
    DisposeWindow(other);
    DisposeWindow(dialog);
    DisposeNibReference(nib);
  }

  // As the user does it: the window comes to the front, then the keys are typed into it.
  static void TypeInto(WindowRef window, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    QWidget *widget = PL_GetWindowWidget(window);
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget));
    QTest::keyClick(widget, key, modifiers);
  }
  static void ChooseFromMenu(MenuID id, MenuItemIndex item) {
    QAction *action = PL_GetMenuItemAction(GetMenuHandle(id), item);
    ASSERT_NE(action, nullptr);
    QMenu *menu = nullptr;
    for (QMenu *candidate : PL_GetMenuBarWidget()->findChildren<QMenu *>())
      if (candidate->actions().contains(action)) menu = candidate;
    ASSERT_NE(menu, nullptr);
    menu->popup(QPoint(10, 10));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(menu));
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
  }
};

TEST_F(MenuBar, ShortcutsInAnyWindowAndMenuChoicesAreCommandsFromTheMenu) {
  MenuRef application = GetMenuHandle(2000);
  ASSERT_NE(application, nullptr);
  struct Case {
    const char *what;
    WindowRef *window;  // typed into; NULL: chosen from the menu
    Qt::Key key;
    MenuCommand command;
    MenuItemIndex item;
  };
  const Case cases[] = {{"Ctrl+Q in the dialog", &dialog, Qt::Key_Q, kHICommandQuit, 5},
                        {"Ctrl+Q in another window", &other, Qt::Key_Q, kHICommandQuit, 5},
                        {"About from the menu", nullptr, Qt::Key_unknown, kHICommandAbout, 1},
                        {"Quit from the menu", nullptr, Qt::Key_unknown, kHICommandQuit, 5}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    gSeen.clear();
    if (c.window != nullptr) TypeInto(*c.window, c.key, Qt::ControlModifier);
    else ChooseFromMenu(2000, c.item);
    ASSERT_EQ(gSeen.size(), 1u);
    EXPECT_STREQ(gSeen[0].where, "application");
    EXPECT_EQ(gSeen[0].command.commandID, c.command);
    EXPECT_EQ(gSeen[0].command.attributes, UInt32(kHICommandFromMenu));
    EXPECT_EQ(gSeen[0].command.menu.menuRef, application);
    EXPECT_EQ(gSeen[0].command.menu.menuItemIndex, c.item);
  }
}

TEST_F(MenuBar, ADisabledItemsShortcutDoesNothingUntilItIsEnabled) {
  // Preferences comes disabled from the nib; the application enables it.
  TypeInto(other, Qt::Key_Comma, Qt::ControlModifier);
  EXPECT_TRUE(gSeen.empty());
  EnableMenuCommand(nullptr, kHICommandPreferences);
  TypeInto(other, Qt::Key_Comma, Qt::ControlModifier);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].command.commandID, UInt32(kHICommandPreferences));
  EXPECT_EQ(gSeen[0].command.menu.menuItemIndex, 3);

  gSeen.clear();
  DisableMenuItem(GetMenuHandle(2000), 5);
  TypeInto(dialog, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_TRUE(gSeen.empty());
  // A disabled menu disables its items' shortcuts too.
  EnableMenuItem(GetMenuHandle(2000), 5);
  DisableMenuItem(GetMenuHandle(2000), 0);
  TypeInto(dialog, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_TRUE(gSeen.empty());
  EnableMenuItem(GetMenuHandle(2000), 0);
  TypeInto(dialog, Qt::Key_Q, Qt::ControlModifier);
  EXPECT_EQ(gSeen.size(), 1u);
}

TEST_F(MenuBar, TheMenuThenTheFrontWindowThenTheApplication) {
  std::pair<const char *, MenuCommand> byMenu{"menu", kHICommandAbout}, byWindow{"window", 'clos'};
  EventHandlerRef menuHandler = nullptr, windowHandler = nullptr;
  ASSERT_EQ(noErr, InstallEventHandler(GetMenuEventTarget(GetMenuHandle(2000)), TakingHandler, 1, &kCommand, &byMenu,
                                       &menuHandler));
  ASSERT_EQ(noErr,
            InstallEventHandler(GetWindowEventTarget(other), TakingHandler, 1, &kCommand, &byWindow, &windowHandler));
  TypeInto(other, Qt::Key_W, Qt::ControlModifier);  // Close: the front window takes it
  ChooseFromMenu(2000, 1);                          // About: its menu takes it
  TypeInto(other, Qt::Key_Q, Qt::ControlModifier);  // Quit: nobody before the application
  TypeInto(dialog, Qt::Key_W, Qt::ControlModifier);  // Close in another front window: the application
  ASSERT_EQ(gSeen.size(), 4u);
  EXPECT_STREQ(gSeen[0].where, "window");
  EXPECT_STREQ(gSeen[1].where, "menu");
  EXPECT_STREQ(gSeen[2].where, "application");
  EXPECT_STREQ(gSeen[3].where, "application");
  EXPECT_EQ(gSeen[3].command.commandID, UInt32('clos'));
  RemoveEventHandler(menuHandler);
  RemoveEventHandler(windowHandler);
}

TEST_F(MenuBar, PreviewSubmenusCarryTheirKeysAndTheViewFollowsTheModel) {
  MenuRef preview = GetMenuHandle(2006), crop = GetMenuHandle(2007), selection = GetMenuHandle(2008);
  ASSERT_NE(preview, nullptr);
  ASSERT_NE(crop, nullptr);
  ASSERT_NE(selection, nullptr);
  EXPECT_EQ(CountMenuItems(crop), 9);
  EXPECT_EQ(CountMenuItems(selection), 16);
  MenuRef sub = nullptr;
  ASSERT_EQ(noErr, GetMenuItemHierarchicalMenu(preview, 1, &sub));
  EXPECT_EQ(sub, crop);
  ASSERT_EQ(noErr, GetMenuItemHierarchicalMenu(preview, 2, &sub));
  EXPECT_EQ(sub, selection);
  struct Case {
    MenuRef *menu;
    MenuItemIndex item;
    UInt16 key;
    SInt16 glyph;
    UInt8 modifiers;  // 2 option, 8 no command key
  };
  const Case cases[] = {
      {&crop, 1, 30, kMenuUpArrowGlyph, 0},         {&crop, 2, 31, kMenuDownArrowGlyph, 0},
      {&crop, 3, 28, kMenuLeftArrowGlyph, 0},       {&crop, 4, 29, kMenuRightArrowGlyph, 0},
      {&crop, 6, 30, kMenuUpArrowGlyph, 2},         {&crop, 9, 29, kMenuRightArrowGlyph, 2},
      {&selection, 1, 3, kMenuEnterGlyph, 10},      {&selection, 3, 30, kMenuUpArrowGlyph, 0},
      {&selection, 6, 29, kMenuRightArrowGlyph, 0}, {&selection, 8, 30, kMenuUpArrowGlyph, 2},
      {&selection, 11, 29, kMenuRightArrowGlyph, 2}, {&selection, 13, 3, kMenuEnterGlyph, 0},
      {&selection, 14, 13, kMenuReturnGlyph, 0},    {&selection, 15, '.', 0, 0},
      {&selection, 16, 27, kMenuEscapeGlyph, 8},    {&preview, 3, '1', 0, 2},
      {&preview, 4, '2', 0, 2}};
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << GetMenuID(*c.menu) << " item " << c.item);
    UInt16 key = 0;
    SInt16 glyph = -1;
    UInt8 modifiers = 99;
    GetMenuItemCommandKey(*c.menu, c.item, false, &key);
    GetMenuItemKeyGlyph(*c.menu, c.item, &glyph);
    GetMenuItemModifiers(*c.menu, c.item, &modifiers);
    EXPECT_EQ(key, c.key);
    EXPECT_EQ(glyph, c.glyph);
    EXPECT_EQ(modifiers, c.modifiers);
    // Until the preview enables them, their keys are free for the windows.
    EXPECT_FALSE(PL_GetMenuItemAction(*c.menu, c.item)->isEnabled());
  }
  // Keys set in the model reach the view: command-option-arrow is Ctrl+Shift+arrow on the desktop.
  SetMenuItemModifiers(crop, 1, kMenuOptionModifier);
  EXPECT_EQ(PL_GetMenuItemAction(crop, 1)->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+Up")));
  MenuRef application = GetMenuHandle(2000);
  SetMenuItemCommandKey(application, 5, false, 'X');
  EXPECT_EQ(PL_GetMenuItemAction(application, 5)->shortcut(), QKeySequence(QStringLiteral("Ctrl+X")));
  TypeInto(other, Qt::Key_X, Qt::ControlModifier);
  ASSERT_EQ(gSeen.size(), 1u);
  EXPECT_EQ(gSeen[0].command.commandID, UInt32(kHICommandQuit));
}

}  // namespace

namespace {

std::vector<MenuItemIndex> gStatusItems;

OSStatus EnableEvenItems(EventHandlerCallRef, EventRef event, void *userData) {
  HICommand command{};
  if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command) !=
      noErr)
    return eventNotHandledErr;
  auto menu = static_cast<MenuRef>(userData);
  if (!(command.attributes & kHICommandFromMenu) || command.menu.menuRef != menu) return eventNotHandledErr;
  gStatusItems.push_back(command.menu.menuItemIndex);
  if (command.menu.menuItemIndex % 2 == 0) EnableMenuItem(menu, command.menu.menuItemIndex);
  return noErr;
}

// A menu that enables its items one by one hears each item's update-status event when the menu is about to
// show, and the view follows.
TEST_F(MenuBar, BeforeAMenuShowsEachItemIsAskedForItsStatusOnTheMenuItself) {
  MenuRef selection = GetMenuHandle(2008);
  ASSERT_NE(selection, nullptr);
  const EventTypeSpec status{kEventClassCommand, kEventCommandUpdateStatus};
  EventHandlerRef handler = nullptr;
  ASSERT_EQ(noErr, InstallEventHandler(GetMenuEventTarget(selection), EnableEvenItems, 1, &status, selection, &handler));
  gStatusItems.clear();
  PL_UpdateMenuBarEnabling();
  // Only the menu's own handler is asked, once per item (the bar's other menus have no such handler).
  std::vector<MenuItemIndex> expected;
  for (MenuItemIndex i = 1; i <= CountMenuItems(selection); ++i) expected.push_back(i);
  EXPECT_EQ(gStatusItems, expected);
  EXPECT_TRUE(PL_GetMenuItemAction(selection, 14)->isEnabled());
  EXPECT_FALSE(PL_GetMenuItemAction(selection, 13)->isEnabled());
  RemoveEventHandler(handler);
}

}  // namespace
