// Settings transfer between the project dialog and the project. Main thread only.
#pragma once

#include "platform/core/quickdraw_ports.h"

// Reads the dialog's settings into the project (window given) and then stores the project settings as the
// project preferences, even when reading failed; the reading's result (noErr without a window or project).
OSStatus BZ_ProjDlgSaveProjSett(WindowRef window);
// Reads the whole dialog into the project's settings. Not built yet: noErr (the project's settings stay).
OSStatus BZ_ProjDlgGetSett(WindowRef window);
// Writes the settings groups marked in the dialog state's neededUpdates into the dialog and clears the
// marks. Not built yet: noErr.
OSStatus BZ_ProjDlgUpdateSettingsInDlg(WindowRef window);
// Loads the project's settings into the dialog when it opens. Not built yet: noErr.
OSStatus BZ_ProjDlgInitSettingsInDlg(WindowRef window);
