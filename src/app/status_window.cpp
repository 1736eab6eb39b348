// The status window (not built yet; see the header).
#include "app/status_window.h"

OSStatus BZ_CreateStatusWindow(Point) { return noErr; }
OSStatus BZ_UpdateStatus(Boolean) { return noErr; }
OSStatus BZ_DisposeStatusWindow() { return noErr; }
