// The checks of the project dialog's numeric edit texts (see the header).
#include "dialog/edit_text_checks.h"

OSStatus BZ_InstallProjDlgEtiFilters(WindowRef) { return noErr; }
void BZ_ProjDlgCheckETI(EventLoopTimerRef, void *) {}
OSStatus BZ_SetFocus(WindowRef) { return noErr; }
