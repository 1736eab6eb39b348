// The busy indicators, bottom buttons, defaults buttons and example window of the project dialog.
#include "dialog/busy_indicators.h"

#include "engine/runtime/dialog_items.h"
#include "toolkit/dialog_items.h"

namespace {
HIViewID Item(SInt32 n) { return HIViewID{kBZ_DialogItemSignature, n}; }
}  // namespace

OSStatus BZ_ActivateChasingArrows() { return noErr; }

OSStatus BZ_StopChasingArrows(WindowRef window) {
  for (SInt32 item : {2031, 2112, 2176, 2336, 2361, 2409, 2517, 2089})
    if (OSStatus err = GL_SetChasingArrowsAnimatingByID(window, Item(item), false); err != noErr) return err;
  return noErr;
}

OSStatus BZ_ActivateBottomButtons(WindowRef window, int processing) {
  const struct {
    SInt32 item;
    Boolean active;
  } steps[] = {{2000, false}, {2001, Boolean(processing != 0)}, {2002, false}, {2003, false},
               {2004, Boolean(processing == 0)}};
  for (const auto &step : steps)
    if (OSStatus err = GL_ActivateDialogItemByID(window, Item(step.item), step.active); err != noErr) return err;
  return noErr;
}

Boolean BZ_IsDefaultButton(SInt32 item) {
  switch (item) {
    case 2030: case 2088: case 2111: case 2175: case 2335: case 2360: case 2516:
      return true;
    default:
      return false;
  }
}

OSStatus BZ_HandleDefaultButtonHit(WindowRef, SInt32) { return noErr; }
OSStatus BZ_ActivateExampleButton(WindowRef) { return noErr; }
OSStatus BZ_SetExamplePictures(WindowRef) { return noErr; }
OSStatus BZ_ShowExample(WindowRef) { return noErr; }
OSStatus BZ_CloseExampleWindow() { return noErr; }
