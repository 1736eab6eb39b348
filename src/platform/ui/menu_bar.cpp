// The menu bar from a nib, shown with Qt.
#include "platform/ui/menu_bar_qt.h"

#include "platform/core/cf_string.h"
#include "platform/core/mac_errors.h"
#include "platform/ui/help_book.h"
#include "platform/ui/nib_controls_qt.h"
#include "platform/ui/window_manager_qt.h"

#include <QAction>
#include <QFile>
#include <QKeySequence>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QUiLoader>

#include <map>
#include <vector>

namespace {

struct MenuView {
  QPointer<QMenu> qmenu;
  std::vector<QPointer<QAction>> actions;  // item i at i - 1
};

QPointer<QMenuBar> gBar;
std::map<MenuRef, MenuView> gViews;
std::vector<MenuRef> gOwned;  // menus made from the nib, disposed when the bar is replaced
std::vector<QPointer<QWidget>> gWindows;  // that took the bar's actions

QString ToQString(CFStringRef s) {
  if (s == nullptr) return QString();
  const CFIndex length = CFStringGetLength(s);
  std::vector<UniChar> chars(static_cast<size_t>(length));
  CFStringGetCharacters(s, CFRangeMake(0, length), chars.data());
  return QString::fromUtf16(reinterpret_cast<const char16_t *>(chars.data()), length);
}

CFStringRef ToCFString(const QString &s) {
  return CFStringCreateWithCString(nullptr, s.toUtf8().constData(), kCFStringEncodingUTF8);
}

OSType CommandOf(const QAction *action) {
  const QByteArray code = action->property("command").toString().toLatin1();
  if (code.size() != 4) return 0;
  return (OSType(UInt8(code[0])) << 24) | (OSType(UInt8(code[1])) << 16) | (OSType(UInt8(code[2])) << 8) |
         OSType(UInt8(code[3]));
}

// Keys without a printable character: their character code and glyph in the Menu Manager's terms.
struct SpecialKey {
  int qtKey;
  UInt16 character;
  SInt16 glyph;
};
constexpr SpecialKey kSpecialKeys[] = {
    {Qt::Key_Left, 28, kMenuLeftArrowGlyph},   {Qt::Key_Right, 29, kMenuRightArrowGlyph},
    {Qt::Key_Up, 30, kMenuUpArrowGlyph},       {Qt::Key_Down, 31, kMenuDownArrowGlyph},
    {Qt::Key_Enter, 3, kMenuEnterGlyph},       {Qt::Key_Return, 13, kMenuReturnGlyph},
    {Qt::Key_Escape, 27, kMenuEscapeGlyph},
};

bool IsArrow(int qtKey) { return qtKey >= Qt::Key_Left && qtKey <= Qt::Key_Down; }

// Command is Ctrl and option is Alt; but desktops keep Ctrl+Alt+arrows for themselves, so command-option
// with an arrow is Ctrl+Shift here.
UInt8 MenuModifiersOf(Qt::KeyboardModifiers mods, int qtKey) {
  UInt8 modifiers = kMenuNoModifiers;
  if (!(mods & Qt::ControlModifier)) modifiers |= kMenuNoCommandModifier;
  if (mods & Qt::AltModifier) modifiers |= kMenuOptionModifier;
  if (mods & Qt::ShiftModifier) {
    const bool optionInstead = IsArrow(qtKey) && (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier);
    modifiers |= optionInstead ? kMenuOptionModifier : kMenuShiftModifier;
  }
  if (mods & Qt::MetaModifier) modifiers |= kMenuControlModifier;
  return modifiers;
}

Qt::KeyboardModifiers QtModifiersOf(UInt8 modifiers, int qtKey) {
  Qt::KeyboardModifiers mods;
  const bool command = !(modifiers & kMenuNoCommandModifier);
  if (command) mods |= Qt::ControlModifier;
  if (modifiers & kMenuOptionModifier) mods |= (command && IsArrow(qtKey)) ? Qt::ShiftModifier : Qt::AltModifier;
  if (modifiers & kMenuShiftModifier) mods |= Qt::ShiftModifier;
  if (modifiers & kMenuControlModifier) mods |= Qt::MetaModifier;
  return mods;
}

// The item's command key, glyph and modifiers from the action's shortcut.
void SetCommandKey(MenuRef menu, MenuItemIndex item, const QKeySequence &shortcut) {
  if (shortcut.isEmpty()) return;
  const QKeyCombination combination = shortcut[0];
  const int key = combination.key();
  if (key >= 0x20 && key < 0x7F) {
    SetMenuItemCommandKey(menu, item, false, UInt16(key));
  } else if (key >= Qt::Key_F1 && key <= Qt::Key_F15) {
    // The function keys' glyphs: F1 is 0x6F, F2 to F15 follow from 0x70 on.
    SetMenuItemKeyGlyph(menu, item, SInt16(key == Qt::Key_F1 ? kMenuF1Glyph : 0x70 + (key - Qt::Key_F2)));
  } else {
    for (const SpecialKey &special : kSpecialKeys) {
      if (special.qtKey != key) continue;
      SetMenuItemCommandKey(menu, item, false, special.character);
      SetMenuItemKeyGlyph(menu, item, special.glyph);
    }
  }
  SetMenuItemModifiers(menu, item, MenuModifiersOf(combination.keyboardModifiers(), key));
}

// The shortcut that the item's command key, glyph and modifiers stand for; empty when it has none.
QKeySequence ShortcutOf(MenuRef menu, MenuItemIndex item) {
  UInt16 character = 0;
  SInt16 glyph = 0;
  UInt8 modifiers = 0;
  GetMenuItemCommandKey(menu, item, false, &character);
  GetMenuItemKeyGlyph(menu, item, &glyph);
  GetMenuItemModifiers(menu, item, &modifiers);
  int key = 0;
  for (const SpecialKey &special : kSpecialKeys)
    if ((glyph != kMenuNullGlyph && glyph == special.glyph) || (glyph == kMenuNullGlyph && character == special.character))
      key = special.qtKey;
  if (key == 0 && glyph >= kMenuF1Glyph && glyph <= 0x70 + (Qt::Key_F15 - Qt::Key_F2))
    key = glyph == kMenuF1Glyph ? int(Qt::Key_F1) : int(Qt::Key_F2) + (glyph - 0x70);
  if (key == 0 && character >= 0x20 && character < 0x7F) key = QChar(character).toUpper().unicode();
  if (key == 0) return QKeySequence();
  return QKeySequence(QKeyCombination(QtModifiersOf(modifiers, key), Qt::Key(key)));
}

void SyncItem(MenuRef menu, MenuItemIndex item) {
  auto it = gViews.find(menu);
  if (it == gViews.end() || item == 0 || item > it->second.actions.size()) return;
  QAction *action = it->second.actions[item - 1];
  if (action == nullptr) return;
  MenuItemAttributes attributes = 0;
  if (GetMenuItemAttributes(menu, item, &attributes) != noErr) return;
  action->setVisible((attributes & kMenuItemAttrHidden) == 0);
  action->setEnabled(IsMenuItemEnabled(menu, item));
  if (!action->isSeparator() && action->menu() == nullptr) {
    const QKeySequence shortcut = ShortcutOf(menu, item);
    if (action->shortcut() != shortcut) action->setShortcut(shortcut);
  }
  CharParameter mark = 0;
  GetItemMark(menu, item, &mark);
  if (!action->isSeparator() && action->menu() == nullptr) {
    action->setCheckable(mark != 0);
    action->setChecked(mark != 0);
  }
  CFStringRef text = nullptr;
  if (!action->isSeparator() && CopyMenuItemTextAsCFString(menu, item, &text) == noErr) {
    const QString t = ToQString(text);
    if (action->text().remove(QLatin1Char('&')) != t) action->setText(t);
    CFRelease(text);
  }
  CFStringRef help = nullptr;
  if (PL_GetMenuItemHelpText(menu, item, &help) == noErr) action->setToolTip(ToQString(help));
}

void Sync(MenuRef menu, MenuItemIndex item) {
  auto it = gViews.find(menu);
  if (it == gViews.end()) return;
  if (item != 0) {
    SyncItem(menu, item);
    return;
  }
  if (it->second.qmenu) it->second.qmenu->menuAction()->setEnabled(IsMenuItemEnabled(menu, 0));
  for (MenuItemIndex i = 1; i <= it->second.actions.size(); ++i) SyncItem(menu, i);
}

// The menu's own handlers, then the front window's (and through it the application's).
OSStatus SendThroughChain(EventRef event, MenuRef menu) {
  OSStatus result = eventNotHandledErr;
  if (EventTargetRef target = GetMenuEventTarget(menu)) result = PL_SendEventToTargetOnly(event, target);
  if (result != eventNotHandledErr) return result;
  WindowRef front = FrontNonFloatingWindow();
  EventTargetRef next = front != nullptr ? GetWindowEventTarget(front) : GetApplicationEventTarget();
  return SendEventToEventTarget(event, next != nullptr ? next : GetApplicationEventTarget());
}

// Each item's update-status command event, to the menu's own handlers only: a menu that enables its items
// one by one (the Preview family) does so there. Submenus are asked too, so that their shortcuts follow
// before they are ever shown.
void SendItemStatus(MenuRef menu) {
  for (MenuItemIndex item = 1; item <= CountMenuItems(menu); ++item) {
    HICommand command{};
    command.attributes = kHICommandFromMenu;
    GetMenuItemCommandID(menu, item, &command.commandID);
    command.menu.menuRef = menu;
    command.menu.menuItemIndex = item;
    EventRef status = nullptr;
    if (CreateEvent(nullptr, kEventClassCommand, kEventCommandUpdateStatus, 0, kEventAttributeNone, &status) != noErr)
      return;
    SetEventParameter(status, kEventParamDirectObject, typeHICommand, sizeof command, &command);
    if (EventTargetRef target = GetMenuEventTarget(menu)) PL_SendEventToTargetOnly(status, target);
    ReleaseEvent(status);
    MenuRef submenu = nullptr;
    if (GetMenuItemHierarchicalMenu(menu, item, &submenu) == noErr && submenu != nullptr && submenu != menu)
      SendItemStatus(submenu);
  }
}

void SendEnableItems(MenuRef menu) {
  EventRef event = nullptr;
  if (CreateEvent(nullptr, kEventClassMenu, kEventMenuEnableItems, 0, kEventAttributeNone, &event) != noErr) return;
  SetEventParameter(event, kEventParamDirectObject, typeMenuRef, sizeof menu, &menu);
  SendThroughChain(event, menu);
  ReleaseEvent(event);
  SendItemStatus(menu);
}

MenuRef BuildMenu(QMenu *qmenu, OSStatus *err) {
  MenuRef menu = nullptr;
  *err = CreateNewMenu(MenuID(qmenu->property("menuID").toInt()), 0, &menu);
  if (*err != noErr) return nullptr;
  gOwned.push_back(menu);
  CFStringRef title = ToCFString(qmenu->title().remove(QLatin1Char('&')));
  SetMenuTitleWithCFString(menu, title);
  CFRelease(title);
  MenuView view;
  view.qmenu = qmenu;
  for (QAction *action : qmenu->actions()) {
    const QString text = action->isSeparator() ? QStringLiteral("-") : action->text().remove(QLatin1Char('&'));
    CFStringRef cfText = ToCFString(text);
    MenuItemIndex item = 0;
    *err = AppendMenuItemTextWithCFString(menu, cfText,
                                          action->isSeparator() ? kMenuItemAttrSeparator : MenuItemAttributes(0),
                                          action->isSeparator() ? 0 : CommandOf(action), &item);
    CFRelease(cfText);
    if (*err != noErr) return nullptr;
    view.actions.push_back(action);
    if (action->property("enabled").isValid() && !action->property("enabled").toBool()) DisableMenuItem(menu, item);
    SetCommandKey(menu, item, action->shortcut());
    if (!action->toolTip().isEmpty() && action->toolTip() != action->text()) {
      CFStringRef tip = ToCFString(action->toolTip());
      HMHelpContentRec content{};
      content.version = kMacHelpVersion;
      content.content[kHMMinimumContentIndex].contentType = kHMCFStringContent;
      content.content[kHMMinimumContentIndex].u.tagCFString = tip;
      HMSetMenuItemHelpContent(menu, item, &content);
      CFRelease(tip);
    }
    if (QMenu *sub = action->menu()) {
      MenuRef submenu = BuildMenu(sub, err);
      if (submenu == nullptr) return nullptr;
      InsertMenu(submenu, kInsertHierarchicalMenu);
      SetMenuItemHierarchicalMenu(menu, item, submenu);
    } else if (!action->isSeparator()) {
      // Only a user's choice counts; the program's own changes to the action are no choice.
      QObject::connect(action, &QAction::triggered, action, [menu, item] { PL_ChooseMenuItem(menu, item); });
    }
  }
  QObject::connect(qmenu, &QMenu::aboutToShow, qmenu, [menu] { SendEnableItems(menu); });
  gViews[menu] = view;
  return menu;
}

void DropBar() {
  for (MenuRef menu : gOwned) DisposeMenu(menu);
  gOwned.clear();
  gViews.clear();
  delete gBar.data();
  gBar = nullptr;
}

}  // namespace

OSStatus SetMenuBarFromNib(IBNibRef inNibRef, CFStringRef inName) {
  if (inNibRef == nullptr || inName == nullptr) return paramErr;
  QFile file(QString::fromStdString(PL_GetNibFilePath(inNibRef, inName)));
  if (!file.open(QIODevice::ReadOnly)) return fnfErr;
  QUiLoader loader;
  QWidget *top = loader.load(&file);
  if (top == nullptr) return fnfErr;
  QMenuBar *bar = qobject_cast<QMenuBar *>(top);
  if (bar == nullptr) bar = top->findChild<QMenuBar *>();
  if (bar == nullptr) {
    delete top;
    return fnfErr;
  }
  if (bar != top) {
    // Designer parents the actions to the top-level widget: they must outlive it with the bar.
    for (QAction *action : top->findChildren<QAction *>(Qt::FindDirectChildrenOnly)) action->setParent(bar);
    bar->setParent(nullptr);
    delete top;
  }
  ClearMenuBar();
  DropBar();
  gBar = bar;
  PL_SetMenuChangedProc(Sync);
  OSStatus err = noErr;
  for (QAction *action : bar->actions()) {
    if (action->menu() == nullptr) continue;
    MenuRef menu = BuildMenu(action->menu(), &err);
    if (menu == nullptr) break;
    InsertMenu(menu, 0);
  }
  if (err != noErr) {
    ClearMenuBar();
    DropBar();
    return err;
  }
  for (auto &[menu, view] : gViews) Sync(menu, 0);
  // Windows made before the bar take its actions too.
  for (QPointer<QWidget> &window : gWindows)
    if (window) window->addActions(bar->findChildren<QAction *>());
  return noErr;
}

OSStatus PL_ChooseMenuItem(MenuRef menu, MenuItemIndex item) {
  if (!IsMenuItemEnabled(menu, item)) return eventNotHandledErr;
  for (MenuRef m = menu;;) {  // a submenu of a disabled menu is disabled too
    MenuRef parent = nullptr;
    for (auto &[candidate, view] : gViews)
      for (MenuItemIndex i = 1; i <= CountMenuItems(candidate) && parent == nullptr; ++i) {
        MenuRef sub = nullptr;
        if (GetMenuItemHierarchicalMenu(candidate, i, &sub) == noErr && sub == m) {
          if (!IsMenuItemEnabled(candidate, i)) return eventNotHandledErr;
          parent = candidate;
        }
      }
    if (parent == nullptr) break;
    m = parent;
  }
  HICommand command{};
  command.attributes = kHICommandFromMenu;
  GetMenuItemCommandID(menu, item, &command.commandID);
  command.menu.menuRef = menu;
  command.menu.menuItemIndex = item;
  EventRef event = nullptr;
  OSStatus err = CreateEvent(nullptr, kEventClassCommand, kEventCommandProcess, 0, kEventAttributeUserEvent, &event);
  if (err != noErr) return err;
  SetEventParameter(event, kEventParamDirectObject, typeHICommand, sizeof command, &command);
  OSStatus result = SendThroughChain(event, menu);
  ReleaseEvent(event);
  // What every desktop application does by itself: Help opens the help book.
  if (result == eventNotHandledErr && command.commandID == kHICommandAppHelp)
    result = AHGotoPage(nullptr, CFSTR("html/General.html"), nullptr);
  return result;
}

void PL_UpdateMenuBarEnabling() {
  for (ItemCount i = 0; i < PL_CountMenuBarMenus(); ++i) SendEnableItems(PL_GetMenuBarMenu(i));
}

void PL_MenuBarJoinWindow(QWidget *window, QLayout *layout) {
  if (window == nullptr) return;
  gWindows.erase(std::remove_if(gWindows.begin(), gWindows.end(), [](const QPointer<QWidget> &w) { return !w; }),
                 gWindows.end());
  gWindows.push_back(window);
  if (!gBar) return;
  window->addActions(gBar->findChildren<QAction *>());
  if (layout != nullptr && gBar->parentWidget() == nullptr) layout->setMenuBar(gBar);
}

void PL_MenuBarLeaveWindow(QWidget *window) {
  if (gBar && window != nullptr && gBar->window() == window) {
    if (QLayout *layout = window->layout(); layout != nullptr && layout->menuBar() == gBar) layout->setMenuBar(nullptr);
    gBar->setParent(nullptr);
  }
}

QMenuBar *PL_GetMenuBarWidget() { return gBar; }

QAction *PL_GetMenuItemAction(MenuRef menu, MenuItemIndex item) {
  auto it = gViews.find(menu);
  if (it == gViews.end() || item == 0 || item > it->second.actions.size()) return nullptr;
  return it->second.actions[item - 1];
}
