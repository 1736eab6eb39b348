// The menu bar from a nib, shown with Qt: the Menu Manager's menus (platform/core/menus.h) stay the truth and
// a QMenuBar is their view. Linux has no global menu bar, so the bar sits at the top of the window whose
// Designer file sets the property "showsMenuBar", and its actions are added to every window so that their
// shortcuts work in whichever window is in front.
//
// A user's choice (the menu or a shortcut) of an enabled item becomes a command event (class 'cmds', kind 1)
// whose HICommand carries kHICommandFromMenu, the command, the menu and the item index. It goes to the menu's
// own handlers, then to the front window's target, then to the application's. The enable-items event
// ('menu', 8) takes the same road before a menu opens and whenever the front window changes; then each of
// the menu's items, and those of its submenus, gets an update-status command event ('cmds', 2, from the menu)
// at the menu's own handlers only. An unhandled Help command opens the help book's first page. Main thread;
// needs a QApplication.
#pragma once

#include "platform/core/menus.h"
#include "platform/ui/nib_controls.h"

// Sets the menu bar from the nib's menu bar inName: a QMenuBar whose QMenus carry their menu ID in the property
// "menuID" and whose QActions carry their command in "command" (four characters), their shortcut, and
// optionally "enabled" false. Separators count as items. Submenus become hierarchical menus. The bar's
// earlier menus are replaced. fnfErr when the nib has no such menu bar.
OSStatus SetMenuBarFromNib(IBNibRef inNibRef, CFStringRef inName);

// Acts as a user's choice of the item (for the menu's view and tests). Nothing happens for a disabled item.
// The handlers' result, eventNotHandledErr when nobody handled it.
OSStatus PL_ChooseMenuItem(MenuRef menu, MenuItemIndex item);
// Sends the enable-items event for every menu of the bar.
void PL_UpdateMenuBarEnabling();
