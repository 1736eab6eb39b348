// Dialog items of the user-interface toolkit addressed by view identifier: each call finds the view under
// the window's root (HIViewFindByID) and returns that error unchanged when it is missing, else does its
// one action. Out-parameters are written only on success. Main thread only.
#pragma once

#include "platform/core/controls.h"

// The menu of the pop-up button (borrowed: the control owns it).
OSStatus GL_GetPopupMenuByID(WindowRef window, HIViewID viewID, MenuRef *menuRef);
// The 32-bit maximum of the control.
OSStatus GL_SetDialogItemMaxByID(WindowRef window, HIViewID viewID, SInt32 value);
OSStatus GL_GetDialogItemMaxByID(WindowRef window, HIViewID viewID, SInt32 *value);
