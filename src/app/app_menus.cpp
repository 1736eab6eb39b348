// The application's menus.
#include "app/app_menus.h"

#include "app/error_display.h"
#include "app/log_contents.h"
#include "app/window_lookup.h"
#include "dialog/preview_window.h"
#include "dialog/shortcuts_window.h"
#include "engine/runtime/project_types.h"
#include "platform/core/cf_object.h"
#include "platform/core/menus.h"
#include "platform/core/multilingual_text.h"
#include "platform/ui/window_manager.h"
#include "toolkit/log_window.h"
#include "toolkit/menus.h"
#include "toolkit/windows.h"

namespace {

TXNObject LogText() {
  PL_CFScoped<CFStringRef> name(BZ_GetLogName());
  return LOG_GetTXNObject(name.get());
}

WindowRef LogWindow() {
  PL_CFScoped<CFStringRef> name(BZ_GetLogName());
  return LOG_GetWindow(name.get());
}

// One command key of a Preview submenu: the character, its glyph and the menu modifiers.
struct PreviewKey {
  MenuItemIndex item;
  UInt16 key;
  SInt16 glyph;
  UInt8 modifiers;
};

constexpr UInt8 kCommand = kMenuNoModifiers, kCommandOption = kMenuOptionModifier,
                kOptionOnly = kMenuOptionModifier | kMenuNoCommandModifier, kNoCommand = kMenuNoCommandModifier;

constexpr PreviewKey kCropKeys[] = {
    {1, 30, kMenuUpArrowGlyph, kCommand},          {2, 31, kMenuDownArrowGlyph, kCommand},
    {3, 28, kMenuLeftArrowGlyph, kCommand},        {4, 29, kMenuRightArrowGlyph, kCommand},
    {6, 30, kMenuUpArrowGlyph, kCommandOption},    {7, 31, kMenuDownArrowGlyph, kCommandOption},
    {8, 28, kMenuLeftArrowGlyph, kCommandOption},  {9, 29, kMenuRightArrowGlyph, kCommandOption},
};

constexpr PreviewKey kSelectionKeys[] = {
    {1, 3, kMenuEnterGlyph, kOptionOnly},
    {3, 30, kMenuUpArrowGlyph, kCommand},          {4, 31, kMenuDownArrowGlyph, kCommand},
    {5, 28, kMenuLeftArrowGlyph, kCommand},        {6, 29, kMenuRightArrowGlyph, kCommand},
    {8, 30, kMenuUpArrowGlyph, kCommandOption},    {9, 31, kMenuDownArrowGlyph, kCommandOption},
    {10, 28, kMenuLeftArrowGlyph, kCommandOption}, {11, 29, kMenuRightArrowGlyph, kCommandOption},
    {13, 3, kMenuEnterGlyph, kCommand},            {14, 13, kMenuReturnGlyph, kCommand},
    {15, '.', kMenuNullGlyph, kCommand},           {16, 27, kMenuEscapeGlyph, kNoCommand},
};

const EventTypeSpec kPreviewMenuEvents[] = {{kEventClassCommand, kEventCommandProcess},
                                            {kEventClassCommand, kEventCommandUpdateStatus}};

OSStatus InstallPreviewMenuHandler(MenuRef menu) {
  return InstallEventHandler(GetMenuEventTarget(menu), BZ_PreviewMenuEventHandler, 2, kPreviewMenuEvents, menu,
                             nullptr);
}

template <size_t N>
OSStatus SetPreviewKeys(MenuRef menu, const PreviewKey (&keys)[N]) {
  OSStatus err = noErr;
  for (const PreviewKey &k : keys) {
    if ((err = SetMenuItemCommandKey(menu, k.item, false, k.key)) != noErr) return err;
    if ((err = SetMenuItemKeyGlyph(menu, k.item, k.glyph)) != noErr) return err;
    err = SetMenuItemModifiers(menu, k.item, k.modifiers);
    if (err != noErr) return err;
  }
  return err;
}

// The submenu of item `item` of the Preview menu, its handler installed and its keys set.
template <size_t N>
OSStatus InitPreviewSubmenu(MenuRef preview, MenuItemIndex item, const PreviewKey (&keys)[N]) {
  MenuRef submenu = nullptr;
  OSStatus err = GetMenuItemHierarchicalMenu(preview, item, &submenu);
  if (err != noErr) return err;
  if (submenu == nullptr) return menuNotFoundErr;
  if ((err = InstallPreviewMenuHandler(submenu)) != noErr) return err;
  return SetPreviewKeys(submenu, keys);
}

// Changes an item only when its state differs: every change reaches the menu's view, and enabling runs
// whenever the front window changes.
void SetItemEnabled(MenuRef menu, MenuItemIndex item, Boolean enable) {
  MenuItemAttributes attributes = 0;
  if (menu == nullptr || GetMenuItemAttributes(menu, item, &attributes) != noErr) return;
  if (Boolean(!(attributes & kMenuItemAttrDisabled)) != Boolean(enable != 0)) GL_EnableMenuItem(menu, item, enable);
}

// Items 1..n as given by `enabled` (false for the rest).
template <typename F>
void SetItemsEnabled(MenuRef menu, F enabled) {
  if (menu == nullptr) return;
  for (MenuItemIndex item = 1; item <= CountMenuItems(menu); ++item) SetItemEnabled(menu, item, enabled(item));
}

}  // namespace

Boolean BZ_IsFileCommandID(UInt32 commandID) { return GL_IsFileCommandID(commandID) || commandID == 'NewP'; }

OSStatus BZ_UpdateMenus() {
  if (gBZ.done) {
    for (SInt16 id = kBZ_AppMenuID; id <= kBZ_WindowMenuID; ++id) GL_DisableMenuByID(id);
    InvalMenuBar();
    return noErr;
  }
  WindowClass frontClass = 0;
  if (WindowRef front = FrontNonFloatingWindow();
      front != nullptr && GetWindowClass(front, &frontClass) == noErr && frontClass == kMovableModalWindowClass)
    return noErr;
  BZ_UpdateAppleMenu();
  BZ_UpdateFileMenu();
  BZ_UpdateEditMenu();
  InvalMenuBar();
  return noErr;
}

void BZ_UpdateAppleMenu() { SetItemEnabled(GetMenuHandle(kBZ_AppMenuID), 1, BZ_GetAboutBox() == nullptr); }

void BZ_UpdateFileMenu() {
  WindowRef front = FrontNonFloatingWindow();
  const Boolean isLog = front != nullptr && front == LogWindow();
  const Boolean canClose = front != nullptr && front != BZ_GetProjDlgWindow();
  SetItemsEnabled(GetMenuHandle(kBZ_FileMenuID), [&](MenuItemIndex item) {
    return item == 1 ? canClose : (item == 3 || item == 4) ? isLog : Boolean(false);
  });
}

void BZ_UpdateEditMenu() {
  WindowRef front = FrontNonFloatingWindow();
  const Boolean isLog = front != nullptr && front == LogWindow();
  TXNObject text = isLog ? LogText() : nullptr;
  const Boolean canCopy = text != nullptr && !TXNIsSelectionEmpty(text);
  SetItemsEnabled(GetMenuHandle(kBZ_EditMenuID), [&](MenuItemIndex item) {
    return item == 2 ? canCopy : item == 5 ? isLog : Boolean(false);
  });
}

OSStatus BZ_HandleFileMenu(UInt32 commandID) {
  OSStatus err = noErr;
  switch (commandID) {
    case 'page':
    case 'prnt': {
      TXNObject text = LogText();
      if (text == nullptr) err = errInvalidWindowRef;
      else err = commandID == 'page' ? TXNPageSetup(text) : TXNPrint(text);
      // A cancelled dialog is the user's choice, not a failure.
      if (err == userCanceledErr) err = noErr;
      break;
    }
    case 'clos': {
      WindowRef front = FrontNonFloatingWindow();
      if (front == nullptr) break;
      if (front == BZ_GetPreviewWindow()) {
        err = BZ_ClosePreview(front);
      } else if (front == LogWindow()) {
        PL_CFScoped<CFStringRef> name(BZ_GetLogName());
        err = LOG_ShowHide(LOG_GetData(name.get()));
      } else if (WindowRef about = BZ_GetAboutBox()) {
        err = GL_SendWindowCloseEvent(about);
      }
      break;
    }
    default:  // 'NewP' and the other file commands have nothing to do here
      break;
  }
  if (err != noErr) BZ_ShowError(err);
  return noErr;
}

OSStatus BZ_HandleEditMenu(UInt32 commandID) {
  TXNObject text = LogText();
  if (text == nullptr) return noErr;
  if (commandID == 'copy') {
    if (OSStatus err = TXNCopy(text); err != noErr) BZ_ShowError(err);
  } else if (commandID == 'sall') {
    TXNSelectAll(text);
  }
  return noErr;
}

OSStatus BZ_InitPreviewMenu() {
  MenuRef preview = GetMenuHandle(kBZ_PreviewMenuID);
  if (preview == nullptr) return menuNotFoundErr;
  OSStatus err = InstallPreviewMenuHandler(preview);
  if (err != noErr) return err;
  if ((err = InitPreviewSubmenu(preview, 1, kCropKeys)) != noErr) return err;
  return InitPreviewSubmenu(preview, 2, kSelectionKeys);
}

OSStatus BZ_PreviewMenuEventHandler(EventHandlerCallRef, EventRef event, void *userData) {
  if (GetEventClass(event) != kEventClassCommand) return eventNotHandledErr;
  HICommand command{};
  if (GetEventParameter(event, kEventParamDirectObject, typeHICommand, nullptr, sizeof command, nullptr, &command) !=
      noErr)
    return eventNotHandledErr;
  MenuRef menu = static_cast<MenuRef>(userData);
  if (!(command.attributes & kHICommandFromMenu) || command.menu.menuRef != menu) return eventNotHandledErr;
  switch (GetEventKind(event)) {
    case kEventCommandProcess:
      BZ_HandlePreviewCommand(menu, command.menu.menuItemIndex);
      return noErr;
    case kEventCommandUpdateStatus:
      BZ_EnablePreviewItem(menu, command.menu.menuItemIndex);
      return noErr;
    default:
      return eventNotHandledErr;
  }
}
