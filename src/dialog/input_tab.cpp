// The Input pane of the project dialog.
#include "dialog/input_tab.h"

#include "engine/runtime/dialog_items.h"
#include "toolkit/dialog_items.h"

Boolean BZ_IsInputHit(SInt32 item) { return item >= 2020 && item <= 2049; }
Boolean BZ_IsCropHit(SInt32 item) { return item >= 2033 && item <= 2041; }

OSStatus BZ_EmbedCropItems(WindowRef window) {
  const HIViewID group{kBZ_DialogItemSignature, 2033};
  OSStatus err = GL_EmbedSubgroup(window, kBZ_DialogItemSignature, group, 2038, 2041, 2037);
  if (err != noErr) return err;
  return GL_EmbedSubgroup(window, kBZ_DialogItemSignature, group, 2035, 2037, 2034);
}

OSStatus BZ_HandleInputHit(WindowRef, SInt32) { return noErr; }
OSStatus BZ_SetMovieInfo(WindowRef) { return noErr; }
OSStatus BZ_SetProjDlgImageWellBackground(WindowRef) { return noErr; }
OSStatus BZ_ActivateAIC(WindowRef) { return noErr; }
