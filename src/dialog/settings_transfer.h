// Settings transfer between the project dialog and the project. Main thread only.
#pragma once

#include "platform/core/quickdraw_ports.h"

// Reads the dialog's settings into the project (window given) and then stores the project settings as the
// project preferences, even when reading failed; the reading's result (noErr without a window or project).
OSStatus BZ_ProjDlgSaveProjSett(WindowRef window);
