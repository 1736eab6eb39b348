// The Qt side of the menu bar, for the window layer and Qt-aware tests only.
#pragma once

#include "platform/ui/menu_bar.h"

class QAction;
class QLayout;
class QMenuBar;
class QWidget;

// The window takes the bar's actions (their shortcuts then work in it); with a layout, the bar itself is
// shown at its top when it is not shown elsewhere yet.
void PL_MenuBarJoinWindow(QWidget *window, QLayout *layout);
// The window goes: the bar, when shown in it, is taken out so that it outlives the window.
void PL_MenuBarLeaveWindow(QWidget *window);
// The bar's view (borrowed), NULL before SetMenuBarFromNib.
QMenuBar *PL_GetMenuBarWidget();
// The action that shows the item (borrowed), NULL when none.
QAction *PL_GetMenuItemAction(MenuRef menu, MenuItemIndex item);
