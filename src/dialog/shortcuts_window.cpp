// The preview's keyboard-shortcuts window (not built yet; see the header).
#include "dialog/shortcuts_window.h"

OSStatus BZ_CreateShortcutsWindow(Point) { return noErr; }
OSStatus BZ_EnableShortcutsButton(WindowRef) { return noErr; }
