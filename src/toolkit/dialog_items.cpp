// Dialog items of the user-interface toolkit addressed by view identifier.
#include "toolkit/dialog_items.h"

#include "platform/core/mac_errors.h"

namespace {
OSStatus Find(WindowRef window, HIViewID viewID, HIViewRef *view) {
  return HIViewFindByID(HIViewGetRoot(window), viewID, view);
}
}  // namespace

OSStatus GL_GetPopupMenuByID(WindowRef window, HIViewID viewID, MenuRef *menuRef) {
  if (menuRef == nullptr) return paramErr;
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  *menuRef = GetControlPopupMenuHandle(view);
  return noErr;
}

OSStatus GL_SetDialogItemMaxByID(WindowRef window, HIViewID viewID, SInt32 value) {
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  SetControl32BitMaximum(view, value);
  return noErr;
}

OSStatus GL_GetDialogItemMaxByID(WindowRef window, HIViewID viewID, SInt32 *value) {
  if (value == nullptr) return paramErr;
  HIViewRef view = nullptr;
  OSStatus err = Find(window, viewID, &view);
  if (err != noErr) return err;
  *value = GetControl32BitMaximum(view);
  return noErr;
}
