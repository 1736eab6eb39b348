// The preview's keyboard-shortcuts window and menu commands (not built yet; see the header).
#include "dialog/shortcuts_window.h"

OSStatus BZ_CreateShortcutsWindow(Point) { return noErr; }
OSStatus BZ_EnableShortcutsButton(WindowRef) { return noErr; }
OSStatus BZ_HandlePreviewCommand(MenuRef, MenuItemIndex) { return noErr; }
OSStatus BZ_EnablePreviewItem(MenuRef, MenuItemIndex) { return noErr; }
