// The preferences dialog (not built yet; see the header).
#include "app/prefs_dialog.h"

OSStatus BZ_PrefsDialog() { return noErr; }
